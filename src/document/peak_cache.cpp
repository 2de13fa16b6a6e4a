#include "document/peak_cache.h"

#include <algorithm>

#include "document/binary_file.h"
#include "document/interpolation.h"

namespace tolmar {

bool parsePeakCache(const uint8_t* data, size_t size, int32_t blocks, std::vector<uint16_t>& left,
                    std::vector<uint16_t>& right) {
  if (blocks <= 0 || size < 4) return false;
  const uint64_t n = loadU32(data);
  const uint64_t expected = static_cast<uint64_t>(blocks) * 2;
  if (n != expected || size != 4 + 2 * n) return false;
  left.resize(static_cast<size_t>(blocks));
  right.resize(static_cast<size_t>(blocks));
  const uint8_t* p = data + 4;
  for (size_t i = 0; i < left.size(); ++i) left[i] = loadU16(p + 2 * i);
  p += n;
  for (size_t i = 0; i < right.size(); ++i) right[i] = loadU16(p + 2 * i);
  return true;
}

std::vector<uint8_t> makePeakCache(const std::vector<uint16_t>& left,
                                   const std::vector<uint16_t>& right) {
  const size_t n = left.size() * 2;
  std::vector<uint8_t> out(4 + 2 * n);
  storeU32(out.data(), static_cast<uint32_t>(n));
  for (size_t i = 0; i < left.size(); ++i) storeU16(&out[4 + 2 * i], left[i]);
  for (size_t i = 0; i < right.size() && i < left.size(); ++i)
    storeU16(&out[4 + n + 2 * i], right[i]);
  return out;
}

namespace {

// Signed extremes of each channel: the largest magnitude is max(highest, -lowest), and 16-bit
// signed min/max is what baseline SIMD has.
struct Extremes {
  int16_t highL = 0, lowL = 0, highR = 0, lowR = 0;
  void add(const int16_t* frames, size_t count) {
    for (size_t i = 0; i < count; ++i) {
      const int16_t l = frames[2 * i];
      const int16_t r = frames[2 * i + 1];
      highL = l > highL ? l : highL;
      lowL = l < lowL ? l : lowL;
      highR = r > highR ? r : highR;
      lowR = r < lowR ? r : lowR;
    }
  }
};

uint16_t magnitude(int16_t high, int16_t low) {
  return static_cast<uint16_t>(std::max<int32_t>(high, -static_cast<int32_t>(low)));
}

}  // namespace

void framePeaks(const int16_t* frames, size_t count, uint16_t& left, uint16_t& right) {
  // This runs over every frame of a file opened without a cache. -O2 vectorises only loops
  // whose trip count it knows, so whole peak blocks, the usual call, get a loop of constant
  // length; only a file's last, short block takes the loop with a runtime count.
  constexpr size_t kBlock = kPeakBlockFrames;
  Extremes e;
  size_t i = 0;
  for (; i + kBlock <= count; i += kBlock) e.add(frames + 2 * i, kBlock);
  e.add(frames + 2 * i, count - i);
  left = magnitude(e.highL, e.lowL);
  right = magnitude(e.highR, e.lowR);
}

}  // namespace tolmar
