#include "document/peak_cache.h"

#include <algorithm>
#include <cstring>

#include "document/binary_file.h"

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

void framePeaks(const int16_t* frames, size_t count, uint16_t& left, uint16_t& right) {
  // This runs over every frame of a file opened without a cache, so it must vectorise at -O2
  // too (which vectorises only loops of a known trip count): a fixed group of eight interleaved
  // samples keeps a signed maximum and minimum per lane, which baseline SIMD has for 16-bit
  // values, and the largest magnitude is max(highest, -lowest), folded per channel at the end.
  constexpr size_t kLanes = 8;  // even, so lane j always holds channel j % 2
  int16_t hi[kLanes] = {}, lo[kLanes] = {};
  const size_t samples = 2 * count;
  size_t i = 0;
  for (; i + kLanes <= samples; i += kLanes) {
    int16_t v[kLanes];
    std::memcpy(v, frames + i, sizeof v);
    for (size_t j = 0; j < kLanes; ++j) {
      hi[j] = v[j] > hi[j] ? v[j] : hi[j];
      lo[j] = v[j] < lo[j] ? v[j] : lo[j];
    }
  }
  int32_t m[2] = {0, 0};
  for (size_t j = 0; j < kLanes; ++j)
    m[j % 2] = std::max({m[j % 2], static_cast<int32_t>(hi[j]), -static_cast<int32_t>(lo[j])});
  for (; i < samples; ++i) {
    const int32_t v = frames[i];
    m[i % 2] = std::max(m[i % 2], v < 0 ? -v : v);
  }
  left = static_cast<uint16_t>(m[0]);
  right = static_cast<uint16_t>(m[1]);
}

}  // namespace tolmar
