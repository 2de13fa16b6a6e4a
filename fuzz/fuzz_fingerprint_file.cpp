// Feeds arbitrary bytes to the noise fingerprint file reader and checks what it promises: only
// an image of exactly 16·N + 4 bytes with N a power of two from 128 to 16384 is accepted, and an
// accepted image writes back to exactly the bytes it came from.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "dsp/fft.h"
#include "dsp/fingerprint_file.h"

using namespace tolmar;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto parsed = parseFingerprintFile(data, size);
  if (!parsed) return 0;
  if (!isValidFFTSize(parsed->n)) std::abort();
  if (static_cast<int64_t>(size) != fingerprintFileBytes(parsed->n)) std::abort();
  if (parsed->left.size() != static_cast<size_t>(parsed->n) ||
      parsed->right.size() != parsed->left.size())
    std::abort();
  const std::vector<uint8_t> back =
      fingerprintFileImage(parsed->n, parsed->left.data(), parsed->right.data());
  if (back.size() != size || std::memcmp(back.data(), data, size) != 0) std::abort();
  return 0;
}
