#include "document/peak_cache.h"

#include <algorithm>

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
  // Written so that the compiler can vectorise it: this runs over every frame of a file that
  // is opened without a cache.
  int32_t ml = 0, mr = 0;
  for (size_t i = 0; i < count; ++i) {
    int32_t l = frames[2 * i];
    int32_t r = frames[2 * i + 1];
    l = l < 0 ? -l : l;
    r = r < 0 ? -r : r;
    ml = ml > l ? ml : l;
    mr = mr > r ? mr : r;
  }
  left = static_cast<uint16_t>(ml);
  right = static_cast<uint16_t>(mr);
}

}  // namespace tolmar
