#pragma once
// Reads a WAV image taken from the clipboard. The image comes from whatever program put it
// there, so every offset and size in it is checked against the image before it is used.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tolmar {

inline constexpr char kClipNotWavText[] = "Data in clipboard is not WAV format";
inline constexpr char kClipNotPcmText[] = "Data in clipboard is not PCM WAV format";
inline constexpr char kClipNotStereoText[] = "Data in clipboard is not stereo WAV format";
inline constexpr char kClipNot16BitText[] = "Data in clipboard is not 16 bit WAV format";

// "Data in clipboard is at sample rate <clip>, loaded file is <document>"
std::string clipRateText(uint32_t clipRate, int documentRate);

struct ClipboardImage {
  bool accepted = false;
  std::string error;      // the message for a refused image
  size_t dataOffset = 0;  // byte position of frame 0 in the image
  int32_t frames = 0;     // whole frames of the data chunk, all inside the image
};

// Checks the image in the order the messages are given: "RIFF" and "WAVEfmt ", PCM, two
// channels, the document's rate, 16 bits. A header cut short, a fmt chunk shorter than its
// fields, no data chunk, or a data chunk claiming more bytes than the image holds is "not WAV
// format". Chunks between fmt and data are stepped over.
ClipboardImage parseClipboardImage(const uint8_t* data, size_t size, int documentRate);

}  // namespace tolmar
