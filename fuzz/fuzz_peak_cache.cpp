// The ".qed" peak cache loader: any bytes, any expected block count.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "document/peak_cache.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The first two bytes choose the document's block count; the rest is the file.
  const int32_t blocks = static_cast<int32_t>(data[0] | (data[1] << 8));
  std::vector<uint16_t> left, right;
  if (tolmar::parsePeakCache(data + 2, size - 2, blocks, left, right)) {
    if (left.size() != static_cast<size_t>(blocks) || right.size() != left.size()) std::abort();
    const auto image = tolmar::makePeakCache(left, right);
    if (image.size() != size - 2) std::abort();
    for (size_t i = 0; i < image.size(); ++i)
      if (image[i] != data[2 + i]) std::abort();
  }
  return 0;
}
