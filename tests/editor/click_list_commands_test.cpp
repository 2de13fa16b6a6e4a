// The click list commands through the editor: searching, the result report, navigation, false
// clicks, the click file and markers.

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>
#include <vector>

#include "declick/click_file.h"
#include "editor/command_table.h"
#include "editor/editor.h"
#include "support/click_tuples.h"
#include "support/editor_fixture.h"
#include "support/file_size_limit.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

struct ClickListTest : EditorTest {
  void SetUp() override {
    // Spikes of 8000 in the left channel at 1000 and 30000, in the right at 20000.
    WavBuilder()
        .frames(44100,
                [](int32_t f) {
                  return Frame{static_cast<int16_t>(f == 1000 || f == 30000 ? 8000 : 0),
                               static_cast<int16_t>(f == 20000 ? -8000 : 0)};
                })
        .write(wav);
    ASSERT_TRUE(editor.OpenDocument(wav));
    editor.doc->viewWidth = 1000;
  }

  void setStored(std::vector<Glitch> items) {
    editor.clicks.stored.emplace();
    editor.clicks.stored->items = std::move(items);
  }
  WaveFile& doc() { return *editor.doc; }
  std::vector<std::string> warnings() const {
    std::vector<std::string> out;
    for (const auto& m : host.messages)
      if (m.kind == MsgKind::Warning) out.push_back(m.text);
    return out;
  }
};

// ---- Searching ----

TEST_F(ClickListTest, FindAllClicksShowsTheResultDialogWithTheCount) {
  editor.clicks.current = 5;
  int32_t shown = -1;
  host.dialogs[kFindClicksResultDialogId] = [&](tolmar::test::ModelRef model) {
    shown = static_cast<FindClicksResultModel*>(model)->count;
    return true;
  };
  editor.FindAllClicks1Click();
  EXPECT_EQ(shown, 3);
  EXPECT_EQ(findClicksResultText(shown), "3 Potential Clicks Found");
  ASSERT_TRUE(editor.clicks.stored);
  // InstantRise: each spike is the sample after a jump that reverses.
  EXPECT_EQ(clicksOf(*editor.clicks.stored),
            (std::vector<Click>{{1000, 1, 0}, {20000, 0, 1}, {30000, 1, 0}}));
  EXPECT_EQ(editor.clicks.current, -1);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(host.progressCaptions, std::vector<std::string>{" Searching:"});
  EXPECT_EQ(host.progressDetails.back(), "#Clicks Found: 3");
}

TEST_F(ClickListTest, FindAllClicksInSilentModeLogsTheCount) {
  std::vector<std::string> log;
  editor.ctx.silentMode = true;
  editor.ctx.batchLog = &log;
  editor.FindAllClicks1Click();
  EXPECT_TRUE(host.dialogIds.empty());
  EXPECT_EQ(log, std::vector<std::string>{"      3 potential clicks found"});
}

TEST_F(ClickListTest, TheResultDialogsRemoveButtonRemovesAllClicks) {
  host.dialogs[kFindClicksResultDialogId] = [](tolmar::test::ModelRef model) {
    static_cast<FindClicksResultModel*>(model)->removeRequested = true;
    return true;
  };
  editor.FindAllClicks1Click();
  EXPECT_TRUE(host.said("3 Clicks Removed"));
  EXPECT_EQ(doc().undoCaption(), "Undo Remove All Clicks");
  EXPECT_EQ(editor.clicks.storedCount(), 3);  // the list stays
}

TEST_F(ClickListTest, FindAndRemoveAllClicksOverwritesTheFileAfterConfirmation) {
  host.answers = {Answer::No};
  editor.FindandRemoveAllClicks1Click();
  EXPECT_EQ(host.questions.size(), 1u);
  EXPECT_FALSE(editor.clicks.stored);  // refused: nothing ran

  host.answers = {Answer::Yes};
  editor.FindandRemoveAllClicks1Click();
  EXPECT_TRUE(host.said("3 Clicks Removed"));
  ASSERT_TRUE(editor.clicks.stored);
  EXPECT_TRUE(editor.clicks.stored->empty());
  EXPECT_FALSE(doc().canUndo());
  std::vector<int16_t> frames(2 * 44100);
  doc().ReadFrames(false, frames.data(), 0, 44099);
  EXPECT_EQ(frames[2 * 1000], 0);
  EXPECT_EQ(frames[2 * 20000 + 1], 0);
  EXPECT_EQ(frames[2 * 30000], 0);

  // Nothing left to find.
  host.answers = {Answer::Yes};
  editor.FindandRemoveAllClicks1Click();
  EXPECT_TRUE(host.said("0 Clicks Removed"));
}

// A write that failed part-way ended the run with a beep at most, and the count of the blocks
// written before it was then reported as the result.
TEST_F(ClickListTest, FindAndRemoveAllClicksReportsAWriteThatFailedPartWay) {
  {
    const FileSizeLimit limit(44 + 4 * 15000);
    host.answers = {Answer::Yes};
    editor.FindandRemoveAllClicks1Click();
  }
  EXPECT_TRUE(host.said("Failed to write to " + wav));
  int16_t frame[2] = {};
  doc().ReadFrames(false, frame, 1000, 1000);
  EXPECT_EQ(frame[0], 0) << "the first block was repaired";
}

// A read that came back short was taken as silence, and the block was then written back over
// the file: the frames that could not be read became zeros on disk.
TEST_F(ClickListTest, FindAndRemoveAllClicksNeverWritesBackWhatItCouldNotRead) {
  bool shrunk = false;
  host.onPump = [&](int) {
    if (!shrunk) std::filesystem::resize_file(wav, 44 + 4 * 20000);  // the reads fail from here
    shrunk = true;
  };
  host.answers = {Answer::Yes};
  editor.FindandRemoveAllClicks1Click();
  host.onPump = nullptr;
  EXPECT_EQ(std::filesystem::file_size(wav), 44u + 4 * 20000) << "nothing written past the read";
  EXPECT_TRUE(host.said("Failed to write to " + wav));
}

TEST_F(ClickListTest, FindAndRemoveAllClicksIsRefusedWithUnsavedEdits) {
  doc().AddLinearEdit(10, 20, 0, 0, 0);
  doc().CommitEdit(1, "Interpolate");
  editor.FindandRemoveAllClicks1Click();
  EXPECT_TRUE(host.said("This operation is not available when there are unsaved changes"));
  EXPECT_FALSE(editor.clicks.stored);
}

// ---- Navigation ----

// Click width 5 and display width 30: a click at p selects p - 32 .. p + 32.
TEST_F(ClickListTest, GotoNextClickWalksTheListAndStartsAgainAfterTheEnd) {
  setStored({{1000, 1, 0}, {1000, 1, 1}, {5000, 0, 0}});
  editor.FindNextClick1Click();
  EXPECT_EQ(editor.clicks.current, 0);
  EXPECT_EQ(doc().selStart, 968);
  EXPECT_EQ(doc().selEnd, 1032);
  EXPECT_EQ(doc().viewStart, 500);
  editor.FindNextClick1Click();
  EXPECT_EQ(editor.clicks.current, 1);
  editor.FindNextClick1Click();
  EXPECT_EQ(editor.clicks.current, 2);
  EXPECT_EQ(doc().selStart, 4968);
  EXPECT_TRUE(warnings().empty());

  editor.FindNextClick1Click();
  EXPECT_EQ(editor.clicks.current, -1);
  EXPECT_EQ(warnings(), std::vector<std::string>{"No more potential clicks"});
  EXPECT_EQ(doc().selStart, 4968);  // nothing moved
  editor.NextClickButtonClick();
  EXPECT_EQ(editor.clicks.current, 0);
  EXPECT_EQ(doc().selStart, 968);
}

TEST_F(ClickListTest, GotoPreviousClickStartsAtTheLastClick) {
  setStored({{1000, 1, 0}, {5000, 0, 0}});
  editor.GotoPreviousClick1Click();
  EXPECT_EQ(editor.clicks.current, 1);
  EXPECT_EQ(doc().selStart, 4968);
  editor.GotoPreviousClick1Click();
  EXPECT_EQ(editor.clicks.current, 0);
  EXPECT_TRUE(warnings().empty());
  editor.GotoPreviousClick1Click();
  EXPECT_EQ(editor.clicks.current, -1);
  EXPECT_EQ(warnings(), std::vector<std::string>{"No more potential clicks"});
  EXPECT_EQ(doc().selStart, 968);
}

TEST_F(ClickListTest, WithoutAStoredListNavigationOnlyWarns) {
  editor.FindNextClick1Click();
  editor.GotoPreviousClick1Click();
  EXPECT_EQ(warnings(),
            (std::vector<std::string>{"No more potential clicks", "No more potential clicks"}));
  EXPECT_EQ(editor.clicks.current, -1);
}

TEST_F(ClickListTest, TheSelectionAroundAClickStaysInsideTheFile) {
  setStored({{3, 1, 0}, {44098, 0, 1}});
  editor.FindNextClick1Click();
  EXPECT_EQ(doc().selStart, 0);
  EXPECT_EQ(doc().selEnd, 35);
  EXPECT_EQ(doc().viewStart, 0);
  editor.params.displayWidth = 100;
  editor.params.clickWidth = 40;
  editor.FindNextClick1Click();
  EXPECT_EQ(doc().selStart, 44098 - 120);
  EXPECT_EQ(doc().selEnd, 44099);
  EXPECT_EQ(doc().viewStart, 44098 - 500);
}

TEST_F(ClickListTest, GotoSpecificClickTakesANumberFromOne) {
  setStored({{1000, 1, 0}, {5000, 0, 0}, {9000, 0, 1}});
  std::string typed;
  host.dialogs[kGotoClickDialogId] = [&](tolmar::test::ModelRef model) {
    static_cast<GotoClickModel*>(model)->number = typed;
    return true;
  };
  typed = " 2";
  editor.GotoSpecificClick1Click();
  EXPECT_EQ(editor.clicks.current, 1);
  EXPECT_EQ(doc().selStart, 4968);

  for (const char* bad : {"0", "4", "-1"}) {
    editor.clicks.current = 2;
    typed = bad;
    editor.GotoSpecificClick1Click();
    EXPECT_EQ(editor.clicks.current, -1) << bad;
    EXPECT_EQ(host.messages.back().kind, MsgKind::Error);
    EXPECT_EQ(host.messages.back().text, "Invalid Click Number");
  }
  EXPECT_EQ(doc().selStart, 4968);

  editor.clicks.current = 2;
  typed = "two";
  editor.GotoSpecificClick1Click();
  EXPECT_EQ(host.messages.back().text, "\"two\" is not a whole number");
  EXPECT_EQ(editor.clicks.current, 2);

  host.dialogs[kGotoClickDialogId] = [](tolmar::test::ModelRef) { return false; };
  editor.GotoSpecificClick1Click();
  EXPECT_TRUE(editor.ctx.abortFlag);
}

TEST_F(ClickListTest, GotoSpecificClickNeedsAListAndAWindow) {
  editor.GotoSpecificClick1Click();
  setStored({{1000, 1, 0}});
  editor.ctx.silentMode = true;
  editor.GotoSpecificClick1Click();
  EXPECT_TRUE(host.dialogIds.empty());
}

TEST_F(ClickListTest, GotoClickAfterStartOfSelectionFindsTheFirstLaterPosition) {
  // Not sorted across channels: the first click after 1000 in list order is taken.
  setStored({{1000, 1, 0}, {7000, 1, 0}, {5000, 0, 1}, {9000, 0, 0}});
  doc().selStart = 1000;
  editor.GotoClickAfterSelClick();
  EXPECT_EQ(editor.clicks.current, 1);
  EXPECT_EQ(doc().selStart, 6968);
  doc().selStart = 9000;
  editor.GotoClickAfterSelClick();
  EXPECT_EQ(editor.clicks.current, -1);
  EXPECT_EQ(warnings(), std::vector<std::string>{"No more potential clicks"});
}

// ---- False clicks ----

TEST_F(ClickListTest, SettingTheCurrentClickFalseMovesItToTheFalseList) {
  setStored({{1000, 1, 0}, {5000, 0, 0}, {9000, 0, 1}});
  editor.clicks.current = 1;
  editor.MarkCurrentClickasFalse1Click();
  EXPECT_EQ(clicksOf(*editor.clicks.stored), (std::vector<Click>{{1000, 1, 0}, {9000, 0, 1}}));
  EXPECT_EQ(clicksOf(editor.clicks.falseClicks), (std::vector<Click>{{5000, 0, 0}}));
  EXPECT_EQ(editor.clicks.current, 0);
  editor.FindNextClick1Click();  // the click that followed the one removed
  EXPECT_EQ(doc().selStart, 8968);

  // A twin of the false list's last item is not added again, but still leaves the list.
  editor.clicks.stored->items.push_back({5000, 0, 0});
  editor.clicks.current = 2;
  editor.MarkCurrentClickasFalse1Click();
  EXPECT_EQ(editor.clicks.falseClicks.size(), 1u);
  EXPECT_EQ(editor.clicks.storedCount(), 2);
}

TEST_F(ClickListTest, MarkingTheOnlyClickFalseLeavesAnEmptyList) {
  setStored({{1000, 1, 0}});
  editor.clicks.current = 0;
  editor.MarkCurrentClickasFalse1Click();
  ASSERT_TRUE(editor.clicks.stored);
  EXPECT_TRUE(editor.clicks.stored->empty());
  EXPECT_EQ(editor.clicks.current, -1);
  EXPECT_TRUE(host.messages.empty());
  // No current click now: a list-index error, and nothing changes.
  editor.MarkCurrentClickasFalse1Click();
  EXPECT_EQ(host.messages.back().text, "List Index Error (MAIN/39)");
  EXPECT_EQ(editor.clicks.falseClicks.size(), 1u);
}

TEST_F(ClickListTest, FalseClicksAreNotFoundAgain) {
  editor.clicks.falseClicks.Add(20000, 1, 1);
  editor.FindAllClicks1Click();
  EXPECT_EQ(clicksOf(*editor.clicks.stored), (std::vector<Click>{{1000, 1, 0}, {30000, 1, 0}}));
  editor.ClearFalseClicks1Click();
  EXPECT_TRUE(editor.clicks.falseClicks.empty());
  editor.FindAllClicks1Click();
  EXPECT_EQ(editor.clicks.storedCount(), 3);
}

TEST_F(ClickListTest, ClearingAListKeepsTheCurrentIndex) {
  setStored({{1000, 1, 0}});
  editor.clicks.current = 0;
  editor.ClearStoredClicks1Click();
  EXPECT_FALSE(editor.clicks.stored);
  EXPECT_EQ(editor.clicks.current, 0);
  EXPECT_GT(host.repaints, 0);
}

TEST_F(ClickListTest, OpeningADocumentDiscardsBothLists) {
  setStored({{1000, 1, 0}});
  editor.clicks.falseClicks.Add(5, 0, 0);
  editor.clicks.current = 0;
  ASSERT_TRUE(editor.OpenDocument(wav));
  EXPECT_FALSE(editor.clicks.stored);
  EXPECT_TRUE(editor.clicks.falseClicks.empty());
  EXPECT_EQ(editor.clicks.current, -1);
}

// ---- The click file ----

TEST_F(ClickListTest, SaveAndLoadUseTheWavFilesNameWithClk) {
  setStored({{1000, 1, 0}, {5000, 0, 1}});
  editor.clicks.falseClicks.Add(7, 1, 1);
  const std::string clk = dir.file("side.clk");
  host.saveAnswers = {clk};
  editor.SaveClicksinFile1Click();
  ASSERT_EQ(host.fileDialogs.size(), 1u);
  EXPECT_EQ(host.fileDialogs[0].fileName, "side.clk");
  EXPECT_EQ(std::filesystem::path(host.fileDialogs[0].directory), dir.path());
  EXPECT_EQ(readFileBytes(clk).size(), 4 + 12 + 4 + 6u);

  // Loading over an existing list asks first; Cancel ends the command.
  setStored({{1, 1, 1}});
  host.answers = {Answer::Cancel};
  editor.LoadClicksfromFile1Click();
  EXPECT_TRUE(host.asked("Existing list of clicks will be lost; continue?"));
  EXPECT_EQ(editor.clicks.storedCount(), 1);

  host.answers = {Answer::Ok};
  host.openAnswers = {clk};
  editor.clicks.current = 0;
  editor.LoadClicksfromFile1Click();
  EXPECT_EQ(clicksOf(*editor.clicks.stored), (std::vector<Click>{{1000, 1, 0}, {5000, 0, 1}}));
  EXPECT_EQ(clicksOf(editor.clicks.falseClicks), (std::vector<Click>{{7, 1, 1}}));
  EXPECT_EQ(editor.clicks.current, -1);
}

TEST_F(ClickListTest, InSilentModeTheProposedNameIsUsedWithoutDialogs) {
  editor.clicks.falseClicks.Add(7, 1, 1);
  editor.ctx.silentMode = true;
  editor.SaveClicksinFile1Click();
  const std::string clk = dir.file("side.clk");
  EXPECT_EQ(readFileBytes(clk), (std::vector<uint8_t>{0, 0, 0, 0, 1, 0, 0, 0, 7, 0, 0, 0, 1, 1}));
  editor.clicks.falseClicks = GlitchList{};
  setStored({{1, 1, 1}});
  editor.LoadClicksfromFile1Click();
  EXPECT_TRUE(host.fileDialogs.empty());
  EXPECT_TRUE(host.questions.empty());
  ASSERT_TRUE(editor.clicks.stored);
  EXPECT_TRUE(editor.clicks.stored->empty());
  EXPECT_EQ(editor.clicks.falseClicks.size(), 1u);
}

TEST_F(ClickListTest, NothingToSaveMeansNoDialog) {
  setStored({});
  editor.SaveClicksinFile1Click();
  EXPECT_TRUE(host.fileDialogs.empty());
}

TEST_F(ClickListTest, AClickFileThatCannotBeOpenedLeavesTheListsAlone) {
  setStored({{1000, 1, 0}});
  editor.clicks.falseClicks.Add(7, 1, 1);
  editor.ctx.silentMode = false;
  host.answers = {Answer::Ok};
  host.openAnswers = {dir.file("missing.clk")};
  editor.LoadClicksfromFile1Click();
  ASSERT_FALSE(host.messages.empty());
  EXPECT_EQ(host.messages.back().kind, MsgKind::Error);
  EXPECT_NE(host.messages.back().text.find("missing.clk"), std::string::npos);
  EXPECT_EQ(editor.clicks.storedCount(), 1);
  EXPECT_EQ(editor.clicks.falseClicks.size(), 1u);

  // A save that cannot create its file says so.
  host.saveAnswers = {dir.file("no/such/dir/side.clk")};
  editor.SaveClicksinFile1Click();
  EXPECT_EQ(host.messages.back().kind, MsgKind::Error);
}

// ---- Markers and availability ----

TEST_F(ClickListTest, ConvertingClicksGivesOneMarkerPerRunOfEqualPositions) {
  setStored({{1000, 1, 0}, {1000, 1, 1}, {5000, 0, 0}, {1000, 0, 0}});
  editor.PlaceMarkersatClickPositions1Click();
  ASSERT_EQ(editor.markers.size(), 3u);
  const int32_t expected[] = {1000, 5000, 1000};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(editor.markers.items[i].position, expected[i]);
    EXPECT_EQ(editor.markers.items[i].kind, Marker::Both);
    EXPECT_EQ(editor.markers.items[i].count, 0);
  }
  EXPECT_FALSE(editor.clicks.stored);
}

TEST_F(ClickListTest, CommandStateFollowsTheLists) {
  CommandState s = computeCommandState(editor);
  EXPECT_FALSE(s.clicks);
  EXPECT_FALSE(s.falseClicks);
  EXPECT_FALSE(s.currentClick);
  setStored({});
  EXPECT_FALSE(computeCommandState(editor).clicks);  // an empty list is no clicks
  setStored({{1000, 1, 0}});
  s = computeCommandState(editor);
  EXPECT_TRUE(s.clicks);
  EXPECT_FALSE(s.currentClick);
  editor.clicks.current = 0;
  editor.clicks.falseClicks.Add(5, 0, 0);
  s = computeCommandState(editor);
  EXPECT_TRUE(s.currentClick);
  EXPECT_TRUE(s.falseClicks);
  for (const char* handler :
       {"FindAllClicks1Click", "FindNextClick1Click", "MarkCurrentClickasFalse1Click",
        "SaveClicksinFile1Click", "PlaceMarkersatClickPositions1Click"}) {
    const Command* c = findHandler(handler);
    ASSERT_NE(c, nullptr) << handler;
    EXPECT_TRUE(isEnabled(*c, s)) << handler;
  }
}

// The window redraws only what a request names: a repair names its frames, a list change its
// marks, a move of the page everything.
TEST_F(ClickListTest, RepaintRequestsNameWhatChanged) {
  setStored({{1000, 1, 0}, {30000, 1, 0}});
  editor.clicks.current = 0;
  editor.RemoveCurrentClick1Click();
  ASSERT_FALSE(host.repaintLog.empty());
  const Repaint repair = host.repaintLog.back();
  EXPECT_EQ(repair.parts, Repaint::kSamples);
  EXPECT_LE(repair.first, 1000);
  EXPECT_GE(repair.last, 1000);
  EXPECT_LT(repair.last - repair.first, 200);

  doc().selStart = 5000;
  doc().selEnd = 6000;
  editor.Silence1Click();
  EXPECT_EQ(host.repaintLog.back(), Repaint::samples(5000, 6000));

  editor.ClearStoredClicks1Click();
  EXPECT_EQ(host.repaintLog.back(), Repaint::overlays());
  setStored({{30000, 1, 0}});
  editor.clicks.current = -1;
  editor.FindNextClick1Click();
  EXPECT_EQ(host.repaintLog.back(), Repaint::all());
  editor.Undo1Click();
  EXPECT_EQ(host.repaintLog.back(), Repaint::all());
  // Samples joined with anything else lose their range: the window then redraws it all.
  EXPECT_EQ((Repaint::samples(5, 9) | Repaint::selection()).last, INT64_MAX);
  EXPECT_EQ((Repaint::samples(5, 9) | Repaint::samples(20, 30)), Repaint::samples(5, 30));
}

}  // namespace
}  // namespace tolmar::test
