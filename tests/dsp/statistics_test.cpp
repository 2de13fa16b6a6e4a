#include "dsp/statistics.h"

#include <gtest/gtest.h>

#include "dsp/effect_fixture.h"

namespace tolmar::test {
namespace {

struct Statistics : ::testing::Test, EffectFixture {
  // Samples of the left channel (right silent), one frame each, then `pad` quiet frames.
  void openLeft(std::vector<int16_t> left, int pad = 2) {
    for (int i = 0; i < pad; ++i) left.push_back(0);
    open(static_cast<int32_t>(left.size()), [left](int32_t i) {
      return Frame{left[static_cast<size_t>(i)], 0};
    });
  }
  ClipScanState clips() { return findClipping(doc(), ClipSearch::fromSettings(ctx.settings)); }
};

TEST_F(Statistics, PeakRmsAndDcWithTheirTextsAndTheClipboardLines) {
  open(11, [](int32_t i) {
    if (i == 10) return Frame{30000, 30000};  // the selection end is not measured
    return Frame{static_cast<int16_t>(i == 0 ? -32768 : 0), 1000};
  });
  const SelectionStats s = measureSelection(doc());
  EXPECT_EQ(s.scan.count, 10);
  EXPECT_EQ(s.peak[0], 32767) << "-32768 counts as -32767";
  EXPECT_EQ(s.peak[1], 1000);
  EXPECT_EQ(s.dc(0), -3277);
  EXPECT_NEAR(s.rms(0), 10361.835, 0.001);

  const SelectionStatsModel m =
      statisticsModel(s, "00:00.000", "00:00.000", "00:00.000", "00:00.000");
  EXPECT_EQ(m.left.peakPercent, "100.00");
  EXPECT_EQ(m.left.rms, "10362");
  EXPECT_EQ(m.left.rmsDb, "-10.0");
  EXPECT_EQ(m.right.peakDb, "-30.2");
  EXPECT_EQ(m.left.dcPercent, "-10.00");
  EXPECT_EQ(m.clipboardText(),
            "Display: 00:00.000-00:00.000\r\n"
            "Selection: 00:00.000-00:00.000\r\n"
            "Peak: L=32767(100.00%/-0.0dB); R=1000(3.05%/-30.2dB)\r\n"
            "RMS: L=10362(31.62%/-10.0dB); R=1000(3.05%/-30.2dB)\r\n"
            "DC: L=-3277(-10.00%); R=1000(3.05%)\r\n");
}

TEST_F(Statistics, CommandShowsTheDialogWithTimesAndNothingInSilentMode) {
  openConstant(88201, 0, 0);
  select(44100, 88200);
  doc().viewStart = 0;
  doc().viewWidth = 441;
  SelectionStatsModel seen;
  host.dialogs[kSelectionStatsDialogId] = [&](tolmar::test::ModelRef model) {
    seen = *static_cast<SelectionStatsModel*>(model);
    return true;
  };
  editor.SelectionStatistics1Click();
  EXPECT_EQ(seen.displayFrom, "00:00.000");
  EXPECT_EQ(seen.displayTo, "00:00.010");
  EXPECT_EQ(seen.selectionFrom, "00:01.000");
  EXPECT_EQ(seen.selectionTo, "00:02.000");
  EXPECT_EQ(seen.left.peakDb, "-96.0");

  ctx.silentMode = true;
  host.dialogIds.clear();
  editor.SelectionStatistics1Click();
  EXPECT_TRUE(host.dialogIds.empty());
}

TEST_F(Statistics, RunsOfFourAtFullScaleAreMarkedAtTheirFourthFrame) {
  // Runs: 4 frames at 1, 3 frames at 7 (too short), 6 frames at 12 (with -32768), an open run.
  std::vector<int16_t> l(30, 0);
  for (int i = 1; i <= 4; ++i) l[i] = 32767;
  for (int i = 7; i <= 9; ++i) l[i] = 32767;
  for (int i = 12; i <= 17; ++i) l[i] = i % 2 ? 32767 : -32768;
  for (int i = 25; i <= 29; ++i) l[i] = -32767;
  openLeft(l, 0);
  select(0, 29);  // frame 29 is not scanned: the last run is still open
  const ClipScanState found = clips();
  ASSERT_EQ(found.found[0].size(), 3u);
  EXPECT_EQ(found.found[0].items[0].position, 4);
  EXPECT_EQ(found.found[0].items[0].count, 4);
  EXPECT_EQ(found.found[0].items[1].position, 15);
  EXPECT_EQ(found.found[0].items[1].count, 6);
  EXPECT_EQ(found.found[0].items[2].position, 28);
  EXPECT_EQ(found.found[0].items[2].count, 1) << "still open at the end of the scan";
  EXPECT_TRUE(found.found[1].empty());
}

TEST_F(Statistics, FlatTopsBreakWhereTheLevelMoves) {
  ctx.settings.clippingvalue = 32000;
  openLeft({32000, 32767, 32767, 32767, 32767, 0});
  select(0, 7);
  ClipScanState plain = clips();
  ASSERT_EQ(plain.found[0].size(), 1u);
  EXPECT_EQ(plain.found[0].items[0].position, 3);
  EXPECT_EQ(plain.found[0].items[0].count, 5);

  ctx.settings.flattopsonly = true;
  ClipScanState flat = clips();
  ASSERT_EQ(flat.found[0].size(), 1u);
  EXPECT_EQ(flat.found[0].items[0].position, 4) << "32000 -> 32767 starts a new run of 1";
  EXPECT_EQ(flat.found[0].items[0].count, 4);

  ctx.settings.clippingvalue = 32767;
  openLeft({32767, -32768, 32767, -32768, 32767, 0});
  select(0, 7);
  flat = clips();
  ASSERT_EQ(flat.found[0].size(), 1u) << "+32767 and -32768 are one flat top";
  EXPECT_EQ(flat.found[0].items[0].count, 5);
}

TEST_F(Statistics, RunsCarryAcrossChunkSeams) {
  open(20000, [](int32_t i) {
    return Frame{static_cast<int16_t>(i >= 8996 && i <= 9003 ? 32767 : 0), 0};
  });
  const ClipScanState found = clips();
  ASSERT_EQ(found.runs(), 1u);
  EXPECT_EQ(found.found[0].items[0].position, 8999);
  EXPECT_EQ(found.found[0].items[0].count, 8);
}

TEST_F(Statistics, FindingTwiceLeavesOneSetAndKeepsOtherMarkers) {
  std::vector<int16_t> l(40, 0);
  for (int i = 10; i <= 15; ++i) l[i] = 32767;
  open(42, [l](int32_t i) {
    const int16_t v = i < 40 ? l[static_cast<size_t>(i)] : 0;
    return Frame{v, static_cast<int16_t>(i >= 20 && i <= 24 ? -32768 : 0)};
  });
  select(5, 30);
  editor.markers.Add(Marker::Both, 12, 0);
  editor.markers.Add(Marker::Left, 2, 1);   // outside the selection: stays
  editor.markers.Add(Marker::Right, 7, 3);  // inside: replaced
  editor.FindClippinginSelection1Click();
  const Markers once = markerList();
  EXPECT_EQ(once, (Markers{{1, 2, 1}, {0, 12, 0}, {1, 13, 6}, {2, 23, 5}}));
  EXPECT_EQ(host.messages.back().text, "Clipping found at 2 places");
  editor.FindClippinginSelection1Click();
  EXPECT_EQ(markerList(), once);

  select(30, 40);
  editor.FindClippinginSelection1Click();
  EXPECT_EQ(host.messages.back().text, kNoClippingText);
}

TEST_F(Statistics, OptionsFirstAndTheHistogramInsteadOfTheCount) {
  std::vector<int16_t> l(60, 0);
  for (int i = 1; i <= 30; ++i) l[i] = 32767;  // 30 frames: "24+"
  for (int i = 40; i <= 44; ++i) l[i] = 32767;
  openLeft(l);
  ctx.settings.showonclipdetect = true;
  ctx.settings.showcliphistogram = true;
  host.dialogs[kOptionsDialogId] = [](tolmar::test::ModelRef m) {
    EXPECT_EQ(static_cast<OptionsModel*>(m)->first, OptionsTab::Operations);
    return false;
  };
  editor.FindClippinginSelection1Click();
  EXPECT_TRUE(editor.markers.empty()) << "Cancel in the Options dialog ends the command";

  ClippingHistogramModel shown;
  host.dialogs[kOptionsDialogId] = [](tolmar::test::ModelRef) { return true; };
  host.dialogs[kClippingDialogId] = [&](tolmar::test::ModelRef model) {
    shown = *static_cast<ClippingHistogramModel*>(model);
    return true;
  };
  editor.FindClippinginSelection1Click();
  EXPECT_EQ(shown.count[24], 1);
  EXPECT_EQ(shown.count[5], 1);
  EXPECT_EQ(shown.largest(), 1);
  EXPECT_TRUE(host.messages.empty());

  const auto bars = shown.layout(500, 314);  // c = 20, scale 200
  EXPECT_EQ(bars[4].left, 4 * 20 + 23);
  EXPECT_EQ(bars[4].right, 5 * 20 + 13);
  EXPECT_EQ(bars[4].top, 314 - 84 - 200);
  EXPECT_EQ(bars[4].countY, 314 - 102 - 200);
  EXPECT_EQ(bars[0].top, bars[0].bottom) << "an empty bin has no height";
  EXPECT_EQ(bars[23].label, "24+");
  EXPECT_EQ(ClippingHistogramModel::labelX(3, 8, 500), 3 * 20 - (8 + 6) + 20);
}

}  // namespace
}  // namespace tolmar::test
