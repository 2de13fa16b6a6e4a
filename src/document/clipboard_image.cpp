#include "document/clipboard_image.h"

#include <cstring>

#include "document/binary_file.h"

namespace tolmar {

namespace {

// Everything up to and including the bits field.
constexpr size_t kFieldsEnd = 36;
constexpr size_t kFmtFieldsBytes = 16;

ClipboardImage refused(std::string text) {
  ClipboardImage r;
  r.error = std::move(text);
  return r;
}

}  // namespace

std::string clipRateText(uint32_t clipRate, int documentRate) {
  return "Data in clipboard is at sample rate " + std::to_string(clipRate) + ", loaded file is " +
         std::to_string(documentRate);
}

ClipboardImage parseClipboardImage(const uint8_t* data, size_t size, int documentRate) {
  if (size < kFieldsEnd || std::memcmp(data, "RIFF", 4) != 0 ||
      std::memcmp(data + 8, "WAVEfmt ", 8) != 0)
    return refused(kClipNotWavText);
  if (loadU16(data + 20) != 1) return refused(kClipNotPcmText);
  if (loadU16(data + 22) != 2) return refused(kClipNotStereoText);
  const uint32_t rate = loadU32(data + 24);
  if (rate != static_cast<uint32_t>(documentRate)) return refused(clipRateText(rate, documentRate));
  if (loadU16(data + 34) != 16) return refused(kClipNot16BitText);

  const uint32_t fmtBytes = loadU32(data + 16);
  // A shorter fmt chunk would make its own fields part of the next chunk.
  if (fmtBytes < kFmtFieldsBytes) return refused(kClipNotWavText);
  // 64-bit positions: no size field can wrap them.
  uint64_t pos = 20 + static_cast<uint64_t>(fmtBytes);
  while (pos + 8 <= size) {
    const uint32_t chunkBytes = loadU32(data + pos + 4);
    if (std::memcmp(data + pos, "data", 4) == 0) {
      const uint64_t offset = pos + 8;
      if (chunkBytes > size - offset) return refused(kClipNotWavText);
      ClipboardImage r;
      r.accepted = true;
      r.dataOffset = static_cast<size_t>(offset);
      r.frames = static_cast<int32_t>(chunkBytes / 4);
      return r;
    }
    pos += 8 + static_cast<uint64_t>(chunkBytes);
  }
  return refused(kClipNotWavText);
}

}  // namespace tolmar
