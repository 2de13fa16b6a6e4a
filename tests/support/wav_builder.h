#pragma once
// Builds WAV files for tests, byte by byte, so that every sample and every header field is
// known. The defaults give the canonical 44-byte header (RIFF, "WAVEfmt ", fmt size 16, PCM,
// 2 channels, 44100 Hz, 16 bits, "data") followed by the frames; each setter changes one thing:
//
//   auto bytes = WavBuilder().staircase(1000).bytes();                 // plain 44100 file
//   WavBuilder().rate(48000).frames(n, [](int32_t i) { return Frame{...}; }).write(path);
//   WavBuilder().chunk("LIST", listBytes).fmtSize(18).staircase(10).bytes();
//   WavBuilder().staircase(10).dataSizeField(1000000).bytes();          // size that lies
//
// Fields the builder derives (byte rate, block align, RIFF size, data size) follow the
// settings unless overridden.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tolmar::test {

struct Frame {
  int16_t left = 0;
  int16_t right = 0;
};

class WavBuilder {
 public:
  // Format fields. byteRate and blockAlign follow rate, channels and bits unless set.
  WavBuilder& rate(uint32_t hz);
  WavBuilder& channels(uint16_t n);
  WavBuilder& bits(uint16_t n);
  WavBuilder& formatTag(uint16_t tag);
  WavBuilder& byteRate(uint32_t v);
  WavBuilder& blockAlign(uint16_t v);
  // fmt chunk size; sizes above 16 add zero bytes after the 16 bytes of fields. Below 16 only
  // the size field changes (the 16 bytes of fields are still written).
  WavBuilder& fmtSize(uint32_t bytes);

  // A chunk between fmt and data, written as id, size, body (no pad byte). Repeatable.
  // `sizeField` overrides the stored size (for sizes that lie).
  WavBuilder& chunk(const std::string& id, std::vector<uint8_t> body,
                    std::optional<uint32_t> sizeField = std::nullopt);
  // A chunk between "WAVE" and "fmt ". Repeatable.
  WavBuilder& chunkBeforeFmt(const std::string& id, std::vector<uint8_t> body);
  // Bytes written after the 16 bytes of fmt fields; the fmt size becomes 16 + their count.
  WavBuilder& fmtExtension(std::vector<uint8_t> bytes);
  // Writes the pad byte (0) after every chunk body of odd size, as RIFF requires.
  WavBuilder& padOddChunks();
  // Replaces the "data" identifier (e.g. to build a file that has none).
  WavBuilder& dataId(const std::string& id);

  // Sample data. Each call replaces the previous data.
  WavBuilder& samples(const std::vector<int16_t>& interleaved);  // written as 16-bit LE
  WavBuilder& frames(int32_t count, const std::function<Frame(int32_t)>& gen);
  // Frame i holds left = i, right = -i (both wrapped to 16 bits).
  WavBuilder& staircase(int32_t count);
  WavBuilder& rawData(std::vector<uint8_t> bytes);  // any bytes at all (8-bit, odd lengths)

  // Header fields that lie. Unset, they describe what was built.
  WavBuilder& dataSizeField(uint32_t v);
  WavBuilder& riffSizeField(uint32_t v);
  // Bytes after the data; by default the RIFF size counts them (as trailing chunks would).
  WavBuilder& trailing(std::vector<uint8_t> bytes, bool countInRiffSize = true);

  std::vector<uint8_t> bytes() const;
  void write(const std::filesystem::path& path) const;
  // Offset of frame 0 in what bytes() returns.
  int64_t dataOffset() const;

 private:
  uint32_t rate_ = 44100;
  uint16_t channels_ = 2;
  uint16_t bits_ = 16;
  uint16_t formatTag_ = 1;
  std::optional<uint32_t> byteRate_;
  std::optional<uint16_t> blockAlign_;
  uint32_t fmtSize_ = 16;
  struct Chunk {
    std::string id;
    std::vector<uint8_t> body;
    std::optional<uint32_t> sizeField;
  };
  std::vector<Chunk> chunks_;
  std::vector<Chunk> chunksBeforeFmt_;
  std::optional<std::vector<uint8_t>> fmtExtension_;
  bool padOdd_ = false;
  std::string dataId_ = "data";
  std::vector<uint8_t> data_;
  std::optional<uint32_t> dataSizeField_;
  std::optional<uint32_t> riffSizeField_;
  std::vector<uint8_t> trailing_;
  bool trailingCounted_ = true;
};

// The 24-byte extension of WAVE_FORMAT_EXTENSIBLE (to go with formatTag(0xFFFE)): cbSize 22,
// the valid bits, channel mask 3 (front left and right) and the PCM subformat GUID, or the
// IEEE float one.
std::vector<uint8_t> extensibleFmtExtension(uint16_t validBits = 16, bool pcm = true);

// A text chunk body: the characters of `s`, nothing added.
std::vector<uint8_t> bytesOf(const std::string& s);

void writeFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> readFileBytes(const std::filesystem::path& path);

}  // namespace tolmar::test
