#include "document/peak_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

namespace tolmar::test {
namespace {

// The scan kernel takes whole 1000-frame blocks and a shorter rest by different loops, so every
// length and every place of the extreme values must give what a plain frame-by-frame maximum of
// magnitudes gives.
TEST(FramePeaksTest, MatchesThePlainMaximumForEveryLengthAndPosition) {
  std::mt19937 rng(99);
  std::vector<size_t> counts;
  for (size_t count = 0; count <= 40; ++count) counts.push_back(count);
  for (size_t count : {999, 1000, 1001, 1999, 2000, 2500}) counts.push_back(count);
  for (size_t count : counts) {
    std::vector<int16_t> frames(2 * count + 2);
    for (int trial = 0; trial < 20; ++trial) {
      for (auto& v : frames) v = static_cast<int16_t>(static_cast<int32_t>(rng() % 2001) - 1000);
      if (count > 0) {
        // A full-scale sample on either channel, sometimes negative, at a random frame.
        const size_t at = 2 * (rng() % count) + rng() % 2;
        frames[at] = trial % 3 == 0 ? -32768 : trial % 3 == 1 ? 32767 : -30000;
      }
      // Beyond the frames given: must never be looked at.
      frames[2 * count] = frames[2 * count + 1] = -32768;
      int32_t wantL = 0, wantR = 0;
      for (size_t i = 0; i < count; ++i) {
        wantL = std::max(wantL, std::abs(static_cast<int32_t>(frames[2 * i])));
        wantR = std::max(wantR, std::abs(static_cast<int32_t>(frames[2 * i + 1])));
      }
      uint16_t l = 1, r = 1;
      framePeaks(frames.data(), count, l, r);
      ASSERT_EQ(l, wantL) << "count " << count << " trial " << trial;
      ASSERT_EQ(r, wantR) << "count " << count << " trial " << trial;
    }
  }
}

TEST(FramePeaksTest, AllNegativeAndSilentFrames) {
  std::vector<int16_t> frames(2 * 1000, -5);
  frames[2 * 999 + 1] = -32768;
  uint16_t l = 0, r = 0;
  framePeaks(frames.data(), 1000, l, r);
  EXPECT_EQ(l, 5);
  EXPECT_EQ(r, 32768);
  std::fill(frames.begin(), frames.end(), 0);
  framePeaks(frames.data(), 1000, l, r);
  EXPECT_EQ(l, 0);
  EXPECT_EQ(r, 0);
}

}  // namespace
}  // namespace tolmar::test
