// Feeds arbitrary bytes to the WAV header parser, strict and not, and checks what an accepted
// header promises: frame 0 follows a "data" chunk header and every frame lies inside the input.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "document/wav_format.h"

using namespace tolmar;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

bool printable(const std::string& s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
      return false;
    }
  }
  return true;
}

void parseOnce(const uint8_t* data, size_t size, bool strict, int currentRate) {
  MemoryByteSource src(data, size);
  HeaderCopy copy;
  copy.riffSize = 0xDEADBEEF;  // must be zeroed by the parse
  const WavParseResult r = parseWavHeader(src, strict, currentRate, copy);
  if (size < 8) check(copy.riffSize == 0);

  const auto lines = unsupportedFormatLines(copy);
  check(lines.size() == 11);
  for (const auto& line : lines) check(printable(line));

  if (r.adoptRate) check(!strict && (r.sampleRate == 44100 || r.sampleRate == 48000));
  if (!r.accepted) return;

  const auto n = static_cast<int64_t>(size);
  check(size >= 44);
  check(std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WAVE", 4) == 0);
  // Other chunks may stand before "fmt "; where it comes first, its fields are checkable here.
  if (std::memcmp(data + 12, "fmt ", 4) == 0) {
    const uint16_t tag = loadU16(data + 20);
    check(tag == 1 || tag == 0xFFFE);
    check(loadU16(data + 22) == 2 && loadU16(data + 34) == 16);
  }
  check(r.sampleRate == 44100 || r.sampleRate == 48000);
  check(!strict || r.sampleRate == currentRate);
  check(r.adoptRate == !strict);
  check(r.dataOffset >= 44 && r.dataOffset <= n);
  check(std::memcmp(data + r.dataOffset - 8, "data", 4) == 0);
  check(loadU32(data + r.dataOffset - 4) == r.dataBytes);
  check(std::memcmp(copy.dataId.data(), "data", 4) == 0);
  check(r.frameCount >= 0);
  check(r.dataOffset + static_cast<int64_t>(r.frameCount) * 4 <= n);
  check(r.frameCount == std::min<int64_t>(r.dataBytes / 4, (n - r.dataOffset) / 4));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  parseOnce(data, size, false, 44100);
  parseOnce(data, size, true, 44100);
  parseOnce(data, size, true, 48000);

  // The spurious-byte texts take whatever bytes a file holds.
  const std::vector<uint8_t> bytes(data, data + std::min<size_t>(size, kSpuriousBytesShown));
  check(spuriousBytesAsText(bytes).size() == bytes.size());
  check(spuriousBytesAsHex(bytes).size() == bytes.size() * 3);
  check(printable(spuriousBytesAsText(bytes)));
  return 0;
}
