#pragma once
// The ".qed" peak cache beside a WAV file: 4 bytes N (the byte length of one peak array), then
// N bytes of left peaks and N bytes of right peaks, 16-bit little-endian entries.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tolmar {

// Accepts the image only when it holds exactly `blocks` entries per channel.
bool parsePeakCache(const uint8_t* data, size_t size, int32_t blocks, std::vector<uint16_t>& left,
                    std::vector<uint16_t>& right);

std::vector<uint8_t> makePeakCache(const std::vector<uint16_t>& left,
                                   const std::vector<uint16_t>& right);

// Largest magnitude of each channel over `count` interleaved frames.
void framePeaks(const int16_t* frames, size_t count, uint16_t& left, uint16_t& right);

}  // namespace tolmar
