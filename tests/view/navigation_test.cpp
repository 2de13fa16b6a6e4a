#include <gtest/gtest.h>

#include "editor/command_table.h"
#include "editor/editor.h"
#include "support/editor_fixture.h"
#include "support/run_batch.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "view/view_state.h"

namespace tolmar::test {
namespace {

struct NavigationTest : EditorTest {
  WaveFile& d() { return *editor.doc; }
  ViewState& view() { return editor.view; }

  void openFrames(int32_t frames) {
    WavBuilder().staircase(frames).write(wav);
    ASSERT_TRUE(editor.OpenDocument(wav));
    view().layout.clientWidth = 800;
    view().layout.clientHeight = 422;
  }
  void run(const char* path) {
    const Command* c = findCommand(path);
    ASSERT_NE(c, nullptr) << path;
    ASSERT_TRUE(isEnabled(*c, computeCommandState(editor))) << path;
    invoke(editor, *c);
  }
};

TEST_F(NavigationTest, ZoomStopsAtSixFramesAndZoomOutShowsTheWholeFileFromZero) {
  openFrames(100000);
  d().viewStart = 50000;
  d().viewWidth = 1000;
  run("View | Zoom In");
  EXPECT_EQ(d().viewWidth, 500);
  EXPECT_EQ(d().viewStart, 50250) << "zoomcenter 1 keeps the centre";
  for (int i = 0; i < 10; ++i) run("View | Zoom In");
  EXPECT_EQ(d().viewWidth, 6);
  editor.ctx.settings.zoomcenter = 2;
  d().viewWidth = 1000;
  run("View | Zoom Out");
  EXPECT_EQ(d().viewWidth, 2000);
  for (int i = 0; i < 8; ++i) run("View | Zoom Out");
  EXPECT_EQ(d().viewWidth, 100000);
  EXPECT_EQ(d().viewStart, 0);
}

TEST_F(NavigationTest, PageDisplayRoundsToWholeAreaWidths) {
  openFrames(100000);
  editor.ctx.settings.pagedisplay = 1;
  setPageWidth(d(), view(), editor.ctx.settings, 1000);
  EXPECT_EQ(d().viewWidth, 1600);
  setPageWidth(d(), view(), editor.ctx.settings, 300);
  EXPECT_EQ(d().viewWidth, 400);
  setPageWidth(d(), view(), editor.ctx.settings, 1 << 30);
  EXPECT_EQ(d().viewWidth, 100000) << "never wider than the file";
  EXPECT_EQ(view().scrollerStep, 4) << "100000 / 4 < 32768";
}

TEST_F(NavigationTest, PagesFragmentsRevolutionsAndTheEnds) {
  openFrames(441000);
  d().viewWidth = 10000;
  d().viewStart = 0;
  run("Navigate | Next Page");
  EXPECT_EQ(d().viewStart, 10000);
  run("Navigate | Next Fragment");
  EXPECT_EQ(d().viewStart, 11600);
  run("Navigate | Previous Fragment");
  run("Navigate | Previous Page");
  EXPECT_EQ(d().viewStart, 0);
  run("Navigate | Next Revolution");
  EXPECT_EQ(d().viewStart, 79380) << "441 * 1800 div 10 at 44100 Hz";
  run("Navigate | End of File");
  EXPECT_EQ(d().viewStart, 441000 - 1 - 10000);
  run("Navigate | Next Page");
  EXPECT_EQ(d().viewStart, 441000 - 1 - 10000) << "next page at the end stays";
  run("Navigate | Beginning of File");
  EXPECT_EQ(d().viewStart, 0);

  editor.ctx.settings.pageoverlap = 10.0;
  run("View | Zoom Out");
  run("Navigate | Next Page");
  EXPECT_EQ(d().viewStart, 20000 - 2000);
}

TEST_F(NavigationTest, SelectionCommandsAndTheirMessages) {
  openFrames(100000);
  d().viewStart = 1000;
  d().viewWidth = 5000;
  run("Selection | Select Displayed Samples");
  EXPECT_EQ(d().selStart, 1000);
  EXPECT_EQ(d().selEnd, 6000);
  run("Selection | Remember Selection");
  run("Selection | Select Entire File");
  EXPECT_EQ(d().selEnd, 99999);
  run("Selection | Reinstate Selection");
  EXPECT_EQ(d().selStart, 1000);
  run("Selection | Selection Details...");
  EXPECT_TRUE(host.said("Selection is from sample 1001 to 6001 (length: 5001)"));
  run("View | Selected Samples");
  EXPECT_EQ(d().viewStart, 1000);
  EXPECT_EQ(d().viewWidth, 5000);
  run("View | Middle of Selection");
  EXPECT_EQ(d().viewStart, 1000 + 2500 - 2500);
  run("View | End of Selection");
  EXPECT_EQ(d().viewStart, 1000);

  // Goto Time: the dialog's time sets the end mark and brings it on the page.
  host.dialogs[kGotoTimeDialogId] = [](tolmar::test::ModelRef m) {
    auto* g = static_cast<GotoTimeModel*>(m);
    g->time = "00:02.000";
    g->mark = GotoTimeModel::SetEnd;
    return true;
  };
  run("Navigate | Goto Position...");
  EXPECT_EQ(d().selEnd, 88200);
  EXPECT_EQ(d().viewStart, 88200 - 5000 / 4);

  // Mark Region by sample number; a number that is not one leaves the selection.
  host.dialogs[kMarkRegionDialogId] = [](tolmar::test::ModelRef m) {
    auto* r = static_cast<MarkRegionModel*>(m);
    r->startTime = "11";
    r->endTime = "x20";
    r->markType = MarkRegionModel::BySample;
    return true;
  };
  run("Selection | Mark Region...");
  EXPECT_EQ(d().selStart, 1000);
  EXPECT_TRUE(host.said("'x20' is not a valid whole number"));
  host.dialogs[kMarkRegionDialogId] = [](tolmar::test::ModelRef m) {
    auto* r = static_cast<MarkRegionModel*>(m);
    r->startTime = "11";
    r->endTime = "20";
    r->markType = MarkRegionModel::BySample;
    return true;
  };
  run("Selection | Mark Region...");
  EXPECT_EQ(d().selStart, 10);
  EXPECT_EQ(d().selEnd, 19);
}

TEST_F(NavigationTest, MarkRegionChecksBothEndsBeforeChangingAnything) {
  openFrames(44100 * 4);
  d().selStart = 100;
  d().selEnd = 200;
  // A good start with a bad end used to move the start alone.
  editor.markRegionApply({"00:01.000", "1:x", MarkRegionModel::ByTime, {}});
  EXPECT_TRUE(host.said("Invalid time specification"));
  EXPECT_EQ(d().selStart, 100);
  EXPECT_EQ(d().selEnd, 200);

  const MarkRegionModel reversed{"00:02.000", "00:01.000", MarkRegionModel::ByTime, {}};
  ASSERT_TRUE(editor.markRegionProblem(reversed));
  EXPECT_EQ(editor.markRegionProblem(reversed)->text, kRegionEndBeforeStartText);
  EXPECT_EQ(editor.markRegionProblem(reversed)->field, 1);
  editor.markRegionApply(reversed);
  EXPECT_EQ(d().selStart, 100);

  // Sample numbers run from 1 to the frame count; the start is named when it is outside.
  const auto outside = editor.markRegionProblem({"0", "5", MarkRegionModel::BySample, {}});
  ASSERT_TRUE(outside);
  EXPECT_EQ(outside->text, "\"Start\" must be a whole number from 1 to 176400");
  EXPECT_EQ(outside->field, 0);
  EXPECT_FALSE(editor.markRegionProblem({"1", "176400", MarkRegionModel::BySample, {}}));
  editor.markRegionApply({"1", "176400", MarkRegionModel::BySample, {}});
  EXPECT_EQ(d().selStart, 0);
  EXPECT_EQ(d().selEnd, 176399);

  // A time past the end stands for the last frame, as Goto Time holds it.
  editor.markRegionApply({"00:03.000", "09:00.000", MarkRegionModel::ByTime, {}});
  EXPECT_EQ(d().selStart, 3 * 44100);
  EXPECT_EQ(d().selEnd, 176399);
  EXPECT_FALSE(editor.gotoTimeProblem({"00:01.500", GotoTimeModel::SetStart, {}}));
  EXPECT_EQ(editor.gotoTimeProblem({"later", GotoTimeModel::SetStart, {}})->text,
            "Invalid time specification");
}

TEST_F(NavigationTest, HistoryWrapsAfterTenAndRevisitingAddsNothing) {
  ViewHistory h;
  for (int i = 0; i < 12; ++i) h.record(i * 10, i * 10 + 5);
  EXPECT_EQ(h.count(), 10);
  EXPECT_EQ(h.current(), 2) << "entries 11 and 12 overwrote slots 1 and 2";
  EXPECT_EQ(h.at(1).first, 100);
  h.record(50, 55);
  EXPECT_EQ(h.count(), 10);
  EXPECT_EQ(h.current(), 6);
  const auto menu = h.menuEntries();
  ASSERT_EQ(menu.size(), 9u);
  EXPECT_EQ(menu[0].first, 40);
  EXPECT_EQ(menu[3].first, 110) << "slot 2 holds the twelfth view";
  EXPECT_EQ(menu[4].first, 100);
  EXPECT_EQ(menu[5].first, 90) << "wraps from slot 1 to slot 10";
  EXPECT_EQ(h.goBack(7)->first, 80);
  EXPECT_EQ(h.current(), 9);
  EXPECT_EQ(h.next()->first, 90);
  EXPECT_EQ(h.next()->first, 100) << "next wraps from the last slot to the first";
  EXPECT_EQ(h.previous()->first, 90);

  // Through the editor: each painted page enters the history; Previous View goes back.
  openFrames(100000);
  d().viewWidth = 1000;
  editor.paintDisplay();
  run("View | Zoom In");
  editor.paintDisplay();
  EXPECT_TRUE(computeCommandState(editor).views);
  run("View | Previous View");
  EXPECT_EQ(d().viewStart, 0);
  EXPECT_EQ(d().viewWidth, 1000);
  ASSERT_EQ(editor.viewHistoryCaptions().size(), 1u);
  EXPECT_EQ(editor.viewHistoryCaptions()[0], "&1: 00:00.005 - 00:00.017");
}

TEST_F(NavigationTest, SnapSelectionFindsMatchingShapesOrSaysSo) {
  // The same six-sample shape near both ends of the selection.
  WavBuilder()
      .frames(2000,
              [](int32_t i) {
                const int16_t shape[] = {100, 300, 700, 900, 500, 200};
                // A background that never repeats a six-sample shape.
                int16_t v = static_cast<int16_t>(1000 + (int64_t{i} * 7919 + i * i * 31) % 4001);
                if (i >= 497 && i < 503) v = shape[i - 497];
                if (i >= 1207 && i < 1213) v = shape[i - 1207];
                return Frame{v, 0};
              })
      .write(wav);
  ASSERT_TRUE(editor.OpenDocument(wav));
  d().selStart = 505;
  d().selEnd = 1200;
  run("Selection | Snap Selection (Left)");
  EXPECT_EQ(d().selStart, 500);
  EXPECT_EQ(d().selEnd, 1210);

  // A silent right channel gives scores of 0 everywhere: the first candidate wins.
  d().selStart = 600;
  d().selEnd = 603;  // d = 1
  run("Selection | Snap Selection (Right)");
  EXPECT_EQ(d().selStart, 599);
  EXPECT_EQ(d().selEnd, 602);
}

}  // namespace
}  // namespace tolmar::test

namespace tolmar::test {
namespace {

TEST(NavigationBatchTest, ViewAndSelectionStepsRunFromTolmarBatch) {
  TempDir dir;
  const std::string wav = dir.file("side.wav");
  WavBuilder().staircase(100000).write(wav);
  const BatchRun r = runBatch("--config-dir '" + dir.file("cfg") +
                              "' --step 'View | Zoom In' --step 'Selection | Select Displayed "
                              "Samples' --step 'Selection | Selection Details...' '" +
                              wav + "'");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("      Selection is from sample 25001 to 75001 (length: 50001)"),
            std::string::npos)
      << r.out;
}

}  // namespace
}  // namespace tolmar::test
