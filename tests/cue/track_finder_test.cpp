#include "cue/track_finder.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/settings.h"
#include "support/doc_fixture.h"

namespace tolmar::test {
namespace {

// Loud passages are a ±8000 square wave, so one loud frame makes any 99-frame sub-block loud
// and the refinement's answer is known to the frame.
struct Gap {
  int32_t from, to;  // silent frames from .. to - 1
};

Frame sideFrame(int32_t i, const std::vector<Gap>& gaps, int16_t quiet) {
  for (const Gap& g : gaps)
    if (i >= g.from && i < g.to) return {quiet, static_cast<int16_t>(-quiet)};
  const int16_t v = (i / 50) % 2 ? 8000 : -8000;
  return {v, static_cast<int16_t>(-v)};
}

struct TrackFinderTest : ::testing::Test {
  DocFixture fx;
  std::vector<int32_t> placed;

  void open(int32_t frames, const std::vector<Gap>& gaps, int16_t quiet = 0) {
    fx.open(WavBuilder().frames(frames, [&](int32_t i) { return sideFrame(i, gaps, quiet); }));
  }
  TrackFindResult find(const TrackFinding& f, int32_t start = 0, int32_t end = -1) {
    placed.clear();
    return findTrackBoundaries(*fx.doc, start, end < 0 ? fx.doc->lastFrame : end, f,
                               [&](int32_t at) { placed.push_back(at); });
  }
};

const std::vector<Gap> kThreeGaps = {{900000, 1035000}, {1935000, 2070000}, {2970000, 3105000}};

TEST(SilenceAmplitude, ConvertsDecibelsBelowFullScale) {
  EXPECT_EQ(silenceAmplitude(36.0), 512);
  EXPECT_EQ(silenceAmplitude(37.0), 456);  // 2^(53/6) = 456.1
  EXPECT_EQ(silenceAmplitude(90.0), 1);
  EXPECT_EQ(silenceAmplitude(0.0), 32767);  // 32768 is out of range
}

TEST(TrackFindingSettings, DefaultsAt44100) {
  const TrackFinding f = TrackFinding::fromSettings(Settings{}, 44100);
  EXPECT_EQ(f.threshold, 512);
  EXPECT_EQ(f.minSilenceBlocks, 7);
  EXPECT_EQ(f.minTrackFrames, 441000);
  EXPECT_EQ(f.place, 0);
  const TrackFinding g = TrackFinding::fromSettings(Settings{}, 48000);
  EXPECT_EQ(g.minSilenceBlocks, 8);  // 72000 div 9000
  EXPECT_EQ(g.minTrackFrames, 480000);
}

TEST_F(TrackFinderTest, RefinesEachGapToTheFirstLoudSubBlockLessOneHundred) {
  open(4000000, kThreeGaps);
  TrackFinding f = TrackFinding::fromSettings(Settings{}, 44100);
  TrackFindResult r = find(f);
  EXPECT_EQ(r.found, 3);
  EXPECT_FALSE(r.cancelled);
  // 1035000 lies 115 frames into the block at 1034885: the sub-block at 1034984 is loud.
  EXPECT_EQ(placed, (std::vector<int32_t>{1034884, 2069868, 3104852}));
  EXPECT_EQ(fx.host.progressCaptions.front(), " Scanning:");

  // Each gap counts 14 silent blocks: the middle is 63000 frames back, the start 126000.
  f.place = 1;
  find(f);
  EXPECT_EQ(placed, (std::vector<int32_t>{971884, 2006868, 3041852}));
  f.place = 2;
  find(f);
  EXPECT_EQ(placed, (std::vector<int32_t>{908884, 1943868, 2978852}));
}

TEST_F(TrackFinderTest, SilenceMustBeBelowTheThresholdInBothChannelsAndLongEnough) {
  open(4000000, kThreeGaps, 511);
  const TrackFinding f = TrackFinding::fromSettings(Settings{}, 44100);
  EXPECT_EQ(find(f).found, 3);
  open(4000000, kThreeGaps, 512);  // RMS 512 is not below 512
  EXPECT_EQ(find(f).found, 0);

  // Eight silent blocks are needed: seven (plus the partly loud ones around them) are not.
  open(4000000, {{900000, 900000 + 8 * 8999 + 50}, {2000000, 2000000 + 10 * 8999}});
  EXPECT_EQ(find(f).found, 1);
  EXPECT_GT(placed.at(0), 2000000);
}

TEST_F(TrackFinderTest, ABoundaryTooCloseToThePreviousOneIsPassedOver) {
  // Track 2 lasts 5 s: its end is within 10 s of the first boundary.
  open(3000000, {{900000, 1035000}, {1255500, 1390500}});
  const TrackFinding f = TrackFinding::fromSettings(Settings{}, 44100);
  EXPECT_EQ(find(f).found, 1);
  EXPECT_EQ(placed, (std::vector<int32_t>{1034884}));
  // Nor within 10 s of the selection start.
  EXPECT_EQ(find(f, 700000, 1200000).found, 0);
  // Nor within 14 hours, a minimum track length beyond the 32-bit frame range.
  Settings s;
  s.mintracklen = 50'000'000;
  EXPECT_EQ(find(TrackFinding::fromSettings(s, 44100)).found, 0);
}

TEST_F(TrackFinderTest, ReadsThroughTheOverlayAndStopsOnCancel) {
  open(4000000, kThreeGaps);
  // An edit that fills the second gap with loud samples removes its boundary.
  fx.block(1935000, 2070000, 0, [](int32_t i) { return (i / 50) % 2 ? 8000 : -8000; });
  const TrackFinding f = TrackFinding::fromSettings(Settings{}, 44100);
  EXPECT_EQ(find(f).found, 2);
  EXPECT_EQ(placed, (std::vector<int32_t>{1034884, 3104852}));

  // About 445 blocks in all, the last boundary in block 345: Cancel at the 300th keeps one.
  fx.host.cancelAtPump = fx.host.pumps + 300;
  const TrackFindResult r = find(f);
  EXPECT_TRUE(r.cancelled);
  EXPECT_EQ(r.found, 1);
}

}  // namespace
}  // namespace tolmar::test
