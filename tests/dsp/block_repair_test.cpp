#include "dsp/block_repair.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "dsp/effect_fixture.h"
#include "dsp/fft.h"

namespace tolmar::test {
namespace {

Frame staircase(int32_t i) {
  return {static_cast<int16_t>(i % 30000), static_cast<int16_t>(-(i % 30000))};
}

struct BlockRepairTest : ::testing::Test, EffectFixture {
  CompatibleBlockSearch search;
  CompatibleSearchParams params;

  // A file whose frames are 5000 except the given ones (both channels alike).
  void openWith(int32_t count, std::map<int32_t, int16_t> values) {
    open(count, [values](int32_t i) {
      const auto it = values.find(i);
      const int16_t v = it == values.end() ? 5000 : it->second;
      return Frame{v, v};
    });
  }
  bool find(int32_t step = 1) { return FindNextCompatibleBlock(doc(), search, params, step); }
};

// Selection 10000 … 10100 (L = 100) with reference samples 1000 at both ends. Searching
// backwards, 9700 starts 50 % away (rejected), 9600 ends 50 % away, 9500 is within 49 %.
TEST_F(BlockRepairTest, FindAcceptsCandidatesWithinTheToleranceOnEveryEditedChannel) {
  openWith(20000,
           {{10000, 1000}, {10100, 1000}, {9700, 1500}, {9800, 1000}, {9600, 1499}, {9500, 1499}});
  select(10000, 10100);
  ASSERT_TRUE(find());
  EXPECT_EQ(search.foundStart, 9500);
  EXPECT_EQ(search.foundEnd, 9600);
  EXPECT_EQ(search.offset, -500);
  ASSERT_FALSE(host.progressDetails.empty());
  EXPECT_EQ(host.progressDetails.front(), " Searching; offset now: -00:00.002");  // 100 frames
  EXPECT_EQ(host.progressDetails.size(), 401u);                                   // 9900 … 9500
  EXPECT_TRUE(host.messages.empty());

  // A channel whose editing is off is not compared: the right samples may be anything.
  open(20000, [](int32_t i) {
    const int16_t l = (i == 10000 || i == 10100 || i == 9900 || i == 9800) ? 1000 : 5000;
    return Frame{l, static_cast<int16_t>(i == 9900 ? -32768 : 7)};
  });
  select(10000, 10100);
  search.reset();
  ctx.editRight = false;
  ASSERT_TRUE(find());
  EXPECT_EQ(search.foundStart, 9900);
  ctx.editRight = true;
  search.reset();
  EXPECT_FALSE(find());
}

TEST_F(BlockRepairTest, AZeroReferenceComparesAgainstOne) {
  // Selection ends hold 0: only a candidate of exactly 1 at both ends is within 50 % of 1.
  openWith(5000, {{3000, 0}, {3050, 0}, {2950, 0}, {2900, 1}, {2850, 1}});
  select(3000, 3050);
  ASSERT_TRUE(find());
  EXPECT_EQ(search.foundStart, 2850);
}

TEST_F(BlockRepairTest, RepeatedFindWalksOnFromTheFoundBlockByATenthOfTheLength) {
  // Matches every 100 frames; each search starts L div 10 = 10 beyond the last found block.
  std::map<int32_t, int16_t> v;
  for (int32_t f = 0; f < 20000; f += 100) v[f] = 1000;
  openWith(20000, v);
  select(10000, 10100);
  ASSERT_TRUE(find());
  EXPECT_EQ(search.foundStart, 9900);
  host.progressDetails.clear();
  ASSERT_TRUE(find());
  EXPECT_EQ(search.foundStart, 9800);
  EXPECT_EQ(host.progressDetails.front(), searchCaption(doc(), 9890 - 10000));

  // Forwards: the first candidate is the selection end, then 10 beyond each block found.
  search.reset();
  params.forwards = true;
  host.progressDetails.clear();
  ASSERT_TRUE(find());
  EXPECT_EQ(search.foundStart, 10100);
  EXPECT_EQ(host.progressDetails.front(), " Searching; offset now: +00:00.002");
  host.progressDetails.clear();
  ASSERT_TRUE(find());
  EXPECT_EQ(search.foundStart, 10200);
  EXPECT_EQ(host.progressDetails.front(), searchCaption(doc(), 110));
  EXPECT_EQ(host.progressDetails.size(), 91u);
}

TEST_F(BlockRepairTest, SearchesThatFindNothingWarn) {
  std::map<int32_t, int16_t> v;
  for (int32_t f = 0; f < 20000; f += 100) v[f] = 1000;
  openWith(20000, v);

  // Backwards with S < L: the first candidate lies before the file, nothing is examined.
  select(50, 200);
  EXPECT_FALSE(find());
  EXPECT_TRUE(host.progressDetails.empty());
  EXPECT_EQ(host.texts(), std::vector<std::string>{kNoCompatibleBlockText});

  // The time limit bounds the window: the nearest match is 100 frames away.
  host.messages.clear();
  select(10000, 10100);
  params.timeLimitFrames = 99;
  EXPECT_FALSE(find());
  EXPECT_FALSE(search.found());
  EXPECT_TRUE(host.said(kNoCompatibleBlockText));

  // Stop ends the search at once.
  host.messages.clear();
  host.progressDetails.clear();
  params.timeLimitFrames = 4410;
  openWith(20000, {{10000, 1000}, {10100, 1000}});
  select(10000, 10100);
  host.cancelAtPump = host.pumps + 3;
  EXPECT_FALSE(find());
  EXPECT_EQ(host.progressDetails.size(), 3u);
  EXPECT_TRUE(host.said(kNoCompatibleBlockText));

  // No selection: a beep when beeps are on, nothing else.
  host.messages.clear();
  ctx.settings.emitbeeps = true;
  select(100, 100);
  EXPECT_FALSE(find());
  EXPECT_EQ(host.beeps, 1);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(BlockRepairTest, TheFoundBlockKeepsItsSamplesEveryDisplayStep) {
  // A long block, so that the list crosses the 9000-frame read seams.
  open(100000, [](int32_t i) {
    return Frame{static_cast<int16_t>(i / 4), static_cast<int16_t>(-i / 4)};
  });
  select(40000, 60000);
  params.tolerance = 60;
  params.timeLimitFrames = 30000;
  ASSERT_TRUE(find(7));
  EXPECT_EQ(search.foundStart, 20000);
  ASSERT_EQ(search.displayLeft.size(), 20000u / 7 + 1);
  ASSERT_EQ(search.displayRight.size(), search.displayLeft.size());
  for (size_t k = 0; k < search.displayLeft.size(); ++k) {
    ASSERT_EQ(search.displayLeft[k], (20000 + 7 * static_cast<int32_t>(k)) / 4) << k;
    ASSERT_EQ(search.displayRight[k], -(20000 + 7 * static_cast<int32_t>(k)) / 4) << k;
  }
  search.reset();
  EXPECT_FALSE(search.found());
  EXPECT_EQ(search.offset, 0);
  EXPECT_TRUE(search.displayLeft.empty());
}

TEST_F(BlockRepairTest, CopyOverlayAfterAForwardMoveCopiesTheFollowingBlock) {
  open(5000, staircase);
  OverlayBlock overlay;
  overlay.setup(1000, 1099);
  overlay.move(overlay.length);
  EXPECT_EQ(overlay.position, 1100);
  EXPECT_EQ(CopyOverlay(doc(), editor.markers, overlay, false, true, false), 1);
  for (int32_t f = 1000; f <= 1098; ++f) ASSERT_EQ(left(f), f + 100) << f;
  EXPECT_EQ(left(1099), 1099);  // one frame shorter than the block
  EXPECT_EQ(right(1000), -1000);
  ASSERT_TRUE(doc().Undo());
  EXPECT_EQ(left(1000), 1000);

  // Moved partly before the file: only the frames inside it are copied, each to its place.
  overlay.setup(10, 109);
  overlay.move(-60);
  EXPECT_EQ(CopyOverlay(doc(), editor.markers, overlay, true, false, false), 1);
  EXPECT_EQ(right(59), -59);
  for (int32_t f = 60; f <= 108; ++f) ASSERT_EQ(right(f), -(f - 60)) << f;
  EXPECT_EQ(right(109), -109);

  // Wholly outside, or discarded: nothing.
  overlay.move(INT32_MIN);
  overlay.move(INT32_MIN);
  EXPECT_EQ(overlay.position, INT32_MIN);
  EXPECT_EQ(CopyOverlay(doc(), editor.markers, overlay, true, false, false), 0);
  overlay.setup(10, 109);
  overlay.discard();
  EXPECT_EQ(CopyOverlay(doc(), editor.markers, overlay, true, false, false), 0);
  EXPECT_EQ(doc().undoSteps.size(), 1u);
}

TEST_F(BlockRepairTest, CopyOtherChannelCopiesTheSelectionBarItsLastFrame) {
  open(30000, staircase);
  // Both channels on: both records, the source rewritten unchanged.
  EXPECT_EQ(CopyOtherChannel(doc(), editor.markers, 100, 20000, true, false), 6);  // 3 chunks
  EXPECT_EQ(doc().undoSteps.back()->caption, "Copy Other Channel");
  for (int32_t f : {100, 9098, 9099, 19999}) {
    EXPECT_EQ(right(f), f) << f;
    EXPECT_EQ(left(f), f) << f;
  }
  EXPECT_EQ(right(20000), -20000);
  EXPECT_EQ(right(99), -99);
  ASSERT_TRUE(doc().Undo());
  EXPECT_EQ(right(5000), -5000);

  // Only the destination's switch on: one record per chunk, for the destination.
  ctx.editRight = false;
  EXPECT_EQ(CopyOtherChannel(doc(), editor.markers, 100, 200, false, false), 1);
  EXPECT_EQ(left(150), -150);
  // Destination switched off: no record, no step.
  EXPECT_EQ(CopyOtherChannel(doc(), editor.markers, 100, 200, true, false), 0);
  EXPECT_EQ(doc().undoSteps.size(), 1u);
}

TEST_F(BlockRepairTest, NudgesShiftOneChannelWithinTheSixteenBitRange) {
  open(1000, [](int32_t i) {
    return Frame{static_cast<int16_t>(i == 10 ? 32767 : i),
                 static_cast<int16_t>(i == 10 ? -32768 : -i)};
  });
  EXPECT_EQ(MoveBlockVertically(doc(), editor.markers, 10, 20, 1, false, false, true, false), 1);
  EXPECT_EQ(doc().undoSteps.back()->caption, "Nudge Block");
  EXPECT_EQ(left(10), 32767);  // Nudge Down at 32767 stays there
  EXPECT_EQ(left(11), 12);
  EXPECT_EQ(left(19), 20);
  EXPECT_EQ(left(20), 20);  // the selection's last frame is left alone
  EXPECT_EQ(right(11), -11);

  EXPECT_EQ(MoveBlockVertically(doc(), editor.markers, 10, 20, 300, true, true, false, false), 1);
  EXPECT_EQ(right(10), -32768);
  EXPECT_EQ(right(11), -311);
  ASSERT_TRUE(doc().Undo());
  ASSERT_TRUE(doc().Undo());
  EXPECT_EQ(left(11), 11);
  EXPECT_EQ(right(11), -11);
  EXPECT_EQ(MoveBlockVertically(doc(), editor.markers, 10, 10, 1, true, true, true, false), 0);
}

TEST_F(BlockRepairTest, SpectralReplacementSizeCoversTheWholeSelection) {
  EXPECT_EQ(SpectralReplacementSize(500, 599), 128);
  EXPECT_EQ(SpectralReplacementSize(0, 127), 128);
  EXPECT_EQ(SpectralReplacementSize(0, 128), 256);  // 129 frames need more than 128 points
  EXPECT_EQ(SpectralReplacementSize(0, 16383), 16384);
  EXPECT_EQ(SpectralReplacementSize(0, 16384), 0);
}

// A 100-frame selection S … E: the block before (S − 100 … S + 27) holds 1000, the block after
// (E + 1 … E + 128) 2000, everything further away 9000. With N = 128 the replacement's middle
// is the mean DC, 1500, times √2; the first and last 12 frames blend into the current sound.
TEST_F(BlockRepairTest, SpectralReplacementOfAHundredFramesUsesN128AndTwelveFrameTapers) {
  constexpr int32_t S = 1000, E = 1099;
  open(3000, [](int32_t i) -> Frame {
    int16_t v = 9000;
    if (i >= S - 100 && i <= S + 27)
      v = 1000;
    else if (i > S + 27 && i <= E)
      v = static_cast<int16_t>(20000 + i);
    else if (i > E && i <= E + 128)
      v = 2000;
    return {v, static_cast<int16_t>(-v)};
  });
  select(S, E);
  editor.spectral.SetFFTSize(8192);
  ASSERT_TRUE(SpectralReplace(doc(), editor.spectral, 0));
  EXPECT_EQ(editor.spectral.N(), 8192);
  EXPECT_EQ(doc().undoSteps.back()->caption, "Spectral Replacement");
  EXPECT_EQ(doc().undoSteps.back()->recordCount, 1);

  for (int32_t f = S + 12; f <= E - 12; ++f) ASSERT_EQ(left(f), 2121) << f;
  for (int32_t i = 0; i < 12; ++i) {
    const double t = i / 12.0;
    EXPECT_EQ(left(S + i), std::nearbyint(t * 2121 + (1 - t) * 1000)) << i;
    const int32_t f = E - 12 + 1 + i;
    EXPECT_EQ(left(f), std::nearbyint((1 - t) * 2121 + t * (20000 + f))) << i;
  }
  EXPECT_EQ(right(S + 50), -(20000 + S + 50));  // the other channel is untouched
  EXPECT_EQ(left(E + 1), 2000);

  ASSERT_TRUE(doc().Undo());
  EXPECT_EQ(left(S + 50), 20000 + S + 50);

  // Too long: nothing happens, N stays.
  select(0, 16384);
  EXPECT_FALSE(SpectralReplace(doc(), editor.spectral, 1));
  EXPECT_EQ(editor.spectral.N(), 8192);
  EXPECT_TRUE(doc().undoSteps.empty());
}

TEST_F(BlockRepairTest, SpectralReplacementAtTheFileEdgesReadsSilenceOutside) {
  open(300, staircase);
  select(5, 204);  // the block before starts before the file, the one after runs past it
  ASSERT_TRUE(SpectralReplace(doc(), editor.spectral, 1));
  EXPECT_EQ(right(5), -5);  // the taper starts at the current sound
  select(250, 299);
  ASSERT_TRUE(SpectralReplace(doc(), editor.spectral, 0));
  EXPECT_EQ(doc().undoSteps.size(), 2u);
}

}  // namespace
}  // namespace tolmar::test
