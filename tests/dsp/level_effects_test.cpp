#include "dsp/level_effects.h"

#include <gtest/gtest.h>

#include "dsp/effect_fixture.h"

namespace tolmar::test {
namespace {

struct LevelEffects : ::testing::Test, EffectFixture {
  EffectOutcome amplify(bool direct = false) {
    return amplifyCompressSelection(doc(), AmplifyParams::fromSettings(ctx.settings), direct,
                                    &editor.markers);
  }
  void gain(double db) { ctx.settings.amplifyfactorl = ctx.settings.amplifyfactorr = db; }
};

TEST_F(LevelEffects, SixDecibelsLimitsAtFullScaleAndMarksOnlyRealClipping) {
  openConstant(100, 16384, -16384);
  gain(6);
  const EffectOutcome quiet = amplify();
  EXPECT_FALSE(quiet.clipped) << "16384 gives 32768 before limiting: not a clip";
  EXPECT_EQ(left(0), 32767);
  EXPECT_EQ(right(98), -32767);
  EXPECT_EQ(left(99), 16384) << "the frame at the selection end stays";
  EXPECT_TRUE(editor.markers.empty());
  EXPECT_EQ(doc().undoCaption(), "Undo Amplify/Compress");
  EXPECT_TRUE(host.messages.empty());

  openConstant(100, 20000, 20000);
  gain(6);
  EXPECT_TRUE(amplify().clipped);
  EXPECT_EQ(left(50), 32767);
  // One run, one marker at its first frame (frame 0 too); the right channel's clip at the same
  // frames shares the left's last-clipped frame.
  EXPECT_EQ(markerList(), (Markers{{1, 0, 1}}));
  EXPECT_EQ(host.messages.back().text, kAmplifyClipText);
  EXPECT_EQ(host.messages.back().kind, MsgKind::Warning);
}

TEST_F(LevelEffects, ClipMarkersRestartAtEveryChunkOf8999Frames) {
  openConstant(20000, 20000, 100);
  gain(6);
  amplify();
  EXPECT_EQ(markerList(), (Markers{{1, 0, 1}, {1, 8999, 1}, {1, 17998, 1}}));
}

TEST_F(LevelEffects, RightChannelMarkersAndRunsSeparatedByAQuietFrame) {
  open(10, [](int32_t i) {
    const int16_t r = (i == 4) ? 0 : 20000;
    return Frame{100, r};
  });
  gain(6);
  amplify();
  EXPECT_EQ(markerList(), (Markers{{2, 0, 1}, {2, 5, 1}}));
}

TEST_F(LevelEffects, CompressorMapsFullScaleToFullScale) {
  open(3, [](int32_t i) {
    const int16_t v[] = {32767, 16384, -32768};
    return Frame{v[i], v[i]};
  });
  select(0, 2);
  ctx.settings.compressthresh = 6;  // T = 16384
  ctx.settings.compressfactor = 2;  // M = 32767 / 24575.5
  amplify();
  EXPECT_EQ(left(0), 32767);
  EXPECT_EQ(left(1), 21845);

  openConstant(2, -32768, -32768);
  amplify();
  EXPECT_EQ(left(0), -32767) << "0 dB and ratio 1 still rewrite -32768 as -32767";
  EXPECT_TRUE(editor.markers.empty());
}

TEST_F(LevelEffects, GainRampsRunOverTheWholeSelection) {
  openConstant(4 * 44100 + 1, 1000, 1000);  // S = 0, E = 176400
  gain(6);
  ctx.settings.ampfadestartsecs = 1;
  ctx.settings.ampfadeendsecs = 1;
  amplify();
  EXPECT_EQ(left(0), 1000);
  EXPECT_EQ(left(22050), 1414) << "half way up the start ramp: +3 dB";
  EXPECT_EQ(left(88200), 2000);
  EXPECT_EQ(left(176400 - 22050), 1414);
  EXPECT_EQ(left(176399), 1000);
}

TEST_F(LevelEffects, EditRightOffChangesOnlyTheLeftInBothModes) {
  for (bool direct : {false, true}) {
    openConstant(50, 1000, 1000);
    ctx.editRight = false;
    gain(6);
    amplify(direct);
    EXPECT_EQ(left(10), 2000);
    EXPECT_EQ(right(10), 1000);
    ctx.editRight = true;
  }
  EXPECT_EQ(frames(10, 10, false)[0], 2000) << "the direct run wrote the file";
}

TEST_F(LevelEffects, NormaliseGivesBothChannelsTheLouderChannelsGain) {
  open(1000, [](int32_t i) {
    const int16_t s = i % 2 ? 1 : -1;
    return Frame{static_cast<int16_t>(s * 16384), static_cast<int16_t>(s * 8192)};
  });
  NormaliseSettings s;
  s.removeDc = false;
  normaliseSelection(doc(), s, false);
  EXPECT_EQ(left(0), -32767);
  EXPECT_EQ(right(1), 16384) << "8192 · 32767/16384 = 16383.5, ties to even";
  EXPECT_EQ(left(999), 16384) << "the frame at the selection end stays";
  EXPECT_EQ(doc().undoCaption(), "Undo Normalise");

  s.independent = true;
  s.targetDb = -6;  // DbToLevel(-6) = 16384
  doc().Undo();
  normaliseSelection(doc(), s, false);
  EXPECT_EQ(left(1), 16384);
  EXPECT_EQ(right(1), 16384);
}

TEST_F(LevelEffects, DcRemovalAloneKeepsTheGainAtExactlyOne) {
  open(101, [](int32_t i) {
    const int16_t v = static_cast<int16_t>(100 + (i % 2 ? 3000 : -3000));
    return Frame{v, 100};
  });
  select(0, 100);
  NormaliseSettings s;
  s.normalise = false;
  const NormaliseOutcome out = normaliseSelection(doc(), s, false);
  EXPECT_EQ(out.plan.gain[0], 1.0);
  EXPECT_EQ(out.plan.dc[0], 100);
  EXPECT_EQ(left(0), -3000);
  EXPECT_EQ(left(1), 3000);
  EXPECT_EQ(right(5), 0);
}

TEST_F(LevelEffects, SilentSelectionIsLeftAloneWithAMessage) {
  openConstant(500, 700, 0);  // after DC removal both channels are flat
  const NormaliseOutcome out = normaliseSelection(doc(), NormaliseSettings{}, false);
  EXPECT_TRUE(out.silent);
  EXPECT_FALSE(doc().canUndo());
  EXPECT_EQ(left(3), 700);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, kNothingToNormaliseText);
  EXPECT_EQ(host.messages[0].kind, MsgKind::Information);

  // Independently, only the silent channel is left as it is.
  open(500, [](int32_t i) { return Frame{static_cast<int16_t>(i % 2 ? 8192 : -8192), 0}; });
  NormaliseSettings indep;
  indep.independent = true;
  const NormaliseOutcome half = normaliseSelection(doc(), indep, false);
  EXPECT_TRUE(half.silent);
  EXPECT_EQ(left(1), 32767);
  EXPECT_EQ(right(1), 0);
  EXPECT_EQ(doc().interps.size(), 1u) << "no record for the silent channel";
}

TEST_F(LevelEffects, StopDuringTheScanSkipsTheApplyPass) {
  openConstant(40000, 1000, 1000);
  host.cancelAtPump = host.pumps + 1;
  const NormaliseOutcome out = normaliseSelection(doc(), NormaliseSettings{}, false);
  EXPECT_TRUE(out.stopped);
  EXPECT_FALSE(doc().canUndo());
}

TEST_F(LevelEffects, ScanLevelsResetsExtremesButAccumulatesSums) {
  LevelScan scan;
  const int16_t a[] = {-32768, 5, 10, -20};
  ScanLevels(a, 2, scan);
  EXPECT_EQ(scan.minimum[0], -32767);
  EXPECT_EQ(scan.sum[0], -32768 + 10);
  EXPECT_EQ(scan.squares[0], int64_t{32767} * 32767 + 100);
  const int16_t b[] = {3, 4};
  ScanLevels(b, 1, scan);
  EXPECT_EQ(scan.minimum[0], 3);
  EXPECT_EQ(scan.maximum[1], 4);
  EXPECT_EQ(scan.count, 3);
}

TEST_F(LevelEffects, FadesReachTheSelectionEndInChunksOf8999) {
  openConstant(17999, 1000, -1000);  // E = 17998
  ASSERT_TRUE(FadeSelection(doc(), false, 0).ran);
  EXPECT_EQ(left(0), 0);
  EXPECT_EQ(left(17998), 1000) << "fades change the end frame";
  EXPECT_EQ(right(8999), -500) << "f = 1/2 exactly";
  ASSERT_EQ(doc().interps.size(), 6u);
  EXPECT_EQ(doc().interps[0]->end, 8998);
  EXPECT_EQ(doc().interps[2]->start, 8999);
  EXPECT_EQ(doc().interps[4]->start, 17998);
  EXPECT_EQ(doc().undoCaption(), "Undo Fade");

  openConstant(11, 1000, 1000);
  FadeSelection(doc(), true, 0);
  EXPECT_EQ(left(0), 1000);
  EXPECT_EQ(left(1), 900);
  EXPECT_EQ(left(10), 0);
}

TEST_F(LevelEffects, PartialFadeInStartsThirtyDecibelsDown) {
  openConstant(1001, 32000, -3200);
  FadeSelection(doc(), false, -30);
  EXPECT_EQ(left(0), 1000) << "2^-5 of 32000";
  EXPECT_EQ(right(0), -100);
  EXPECT_EQ(left(500), 5657) << "-15 dB half way";
  EXPECT_EQ(left(1000), 32000);

  openConstant(1001, 32000, 32000);
  FadeSelection(doc(), true, -30);
  EXPECT_EQ(left(0), 32000);
  EXPECT_EQ(left(1000), 1000);
}

TEST_F(LevelEffects, AmplifyPreviewTouchesOnlyFramesStrictlyInsideTheSelection) {
  std::vector<int16_t> buf(20, 1000);  // frames 100 … 109
  AmplifyParams p;
  p.leftDb = p.rightDb = 6;
  EXPECT_FALSE(amplifyCompressPreview(buf.data(), 10, 100, p, 102, 105, 44100, true, false));
  EXPECT_EQ(buf[2 * 2], 1000) << "the selection start";
  EXPECT_EQ(buf[2 * 3], 2000);
  EXPECT_EQ(buf[2 * 3 + 1], 1000) << "right channel not edited";
  EXPECT_EQ(buf[2 * 5], 1000) << "the selection end";

  std::vector<int16_t> loud(4, 30000);
  EXPECT_TRUE(amplifyCompressPreview(loud.data(), 2, 0, p, -1, 5, 44100, true, true));
  AmplifyParams flat;
  std::vector<int16_t> same(4, -32768);
  amplifyCompressPreview(same.data(), 2, 0, flat, -1, 5, 44100, true, true);
  EXPECT_EQ(same[0], -32768) << "nothing is applied at 0 dB and ratio 1";
}

}  // namespace
}  // namespace tolmar::test
