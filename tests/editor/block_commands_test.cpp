#include "editor/block_commands.h"

#include <gtest/gtest.h>

#include "dsp/effect_fixture.h"
#include "editor/command_table.h"

namespace tolmar::test {
namespace {

Frame staircase(int32_t i) {
  return {static_cast<int16_t>(i % 30000), static_cast<int16_t>(-(i % 30000))};
}

struct BlockCommandsTest : ::testing::Test, EffectFixture {
  void openStaircase(int32_t count = 30000) { open(count, staircase); }
  const Command& command(const std::string& handler) {
    for (const Command& c : commandTable())
      if (c.handler == handler) return c;
    throw std::runtime_error("no command " + handler);
  }
  bool enabled(const std::string& handler) {
    return isEnabled(command(handler), computeCommandState(editor));
  }
};

TEST_F(BlockCommandsTest, CopyPrecedingBlockCopiesTheFramesJustBeforeTheSelection) {
  openStaircase();
  select(1000, 1099);
  invoke(editor, command("CopyPrecedingBlock1Click"));
  ASSERT_EQ(doc().undoSteps.size(), 1u);
  EXPECT_EQ(doc().undoSteps.back()->caption, "Copy Block");
  // Frames S − L … S − 2 land on S … E − 1; the selection's last frame keeps its sample.
  for (int32_t f = 1000; f <= 1098; ++f) ASSERT_EQ(left(f), f - 100) << f;
  EXPECT_EQ(left(1099), 1099);
  EXPECT_EQ(left(999), 999);
  EXPECT_EQ(right(1000), -1000);
  editor.Undo1Click();
  EXPECT_EQ(left(1000), 1000);

  editor.CopyPrecedingBlockRight1Click();
  EXPECT_EQ(right(1000), -900);
  EXPECT_EQ(left(1000), 1000);

  // Not a whole block before the selection (S must exceed its length): nothing.
  select(100, 199);
  editor.CopyPrecedingBlock1Click();
  EXPECT_EQ(left(150), 150);
  EXPECT_EQ(doc().undoSteps.size(), 1u);
}

// A long copy pumps between its chunks while its records are on the list and its step is not.
TEST_F(BlockCommandsTest, UndoDeliveredDuringALongCopyIsRefused) {
  openStaircase(60000);
  select(0, 59999);
  editor.FadeIn1Click();
  const std::vector<int16_t> faded = frames(0, 59999);
  select(30000, 49999);
  int refused = 0;
  host.onPump = [&](int) { refused += doc().Undo() ? 0 : 1; };
  editor.CopyPrecedingBlock1Click();
  host.onPump = nullptr;
  EXPECT_GT(refused, 1);
  EXPECT_EQ(doc().undoCaption(), "Undo Copy Block");
  editor.Undo1Click();
  EXPECT_EQ(frames(0, 59999), faded);
  EXPECT_TRUE(doc().canUndo());
}

TEST_F(BlockCommandsTest, EdgeSmoothingFoldsIntoTheCopysUndoStep) {
  openStaircase();
  select(5000, 5099);
  editor.CopyPrecedingBlock1Click();
  const std::vector<int16_t> plain = frames(4990, 5110);
  editor.Undo1Click();

  invoke(editor, command("SmoothEdgesClick"));
  ASSERT_TRUE(isChecked(editor, command("SmoothEdgesClick")));
  editor.CopyPrecedingBlock1Click();
  ASSERT_EQ(doc().undoSteps.size(), 1u);
  EXPECT_EQ(doc().undoSteps.back()->caption, "Copy Block");
  EXPECT_EQ(doc().undoSteps.back()->recordCount, 3);  // the copy and one curve per edge
  EXPECT_EQ(doc().selStart, 5000);
  EXPECT_EQ(doc().selEnd, 5099);
  const std::vector<int16_t> smoothed = frames(4990, 5110);
  EXPECT_NE(smoothed[2 * (4999 - 4990)], plain[2 * (4999 - 4990)]);  // around the start
  EXPECT_NE(smoothed[2 * (5100 - 4990)], plain[2 * (5100 - 4990)]);  // around the end
  EXPECT_EQ(smoothed[2 * (5050 - 4990)], plain[2 * (5050 - 4990)]);  // the middle is the copy
  EXPECT_EQ(smoothed[2 * (5050 - 4990) + 1], -5050);                 // right untouched
  editor.Undo1Click();
  EXPECT_TRUE(doc().undoSteps.empty());
  EXPECT_EQ(frames(4990, 5110), frames(4990, 5110, false));

  // The channel copy and the nudge fold their smoothing in the same way.
  editor.CopyLefttoRight1Click();
  ASSERT_EQ(doc().undoSteps.size(), 1u);
  EXPECT_EQ(doc().undoSteps.back()->caption, "Copy Other Channel");
  EXPECT_EQ(doc().undoSteps.back()->recordCount, 4);
  editor.NudgeUpLeft1Click();
  ASSERT_EQ(doc().undoSteps.size(), 2u);
  EXPECT_EQ(doc().undoSteps.back()->caption, "Nudge Block");
  EXPECT_EQ(doc().undoSteps.back()->recordCount, 3);
  editor.Undo1Click();
  editor.Undo1Click();
  EXPECT_EQ(frames(4990, 5110), frames(4990, 5110, false));
}

TEST_F(BlockCommandsTest, FindThenCopyCompatibleBlock) {
  openStaircase();
  select(10000, 10100);
  EXPECT_FALSE(enabled("CopyCompatibleBlock1Click"));
  invoke(editor, command("FindCompatibleBlock1Click"));
  ASSERT_TRUE(editor.compatible.found());
  EXPECT_EQ(editor.compatible.foundStart, 9900);  // 1 % away at both ends
  EXPECT_TRUE(enabled("CopyCompatibleBlock1Click"));
  EXPECT_TRUE(enabled("ResetCompatibleBlock1Click"));

  editor.CopyCompatibleBlockRight1Click();
  for (int32_t f = 10000; f <= 10099; ++f) ASSERT_EQ(right(f), -(f - 100)) << f;
  EXPECT_EQ(right(10100), -10100);
  EXPECT_EQ(left(10000), 10000);
  editor.Undo1Click();
  EXPECT_EQ(right(10000), -10000);

  invoke(editor, command("ResetCompatibleBlock1Click"));
  EXPECT_FALSE(editor.compatible.found());
  EXPECT_FALSE(enabled("CopyCompatibleBlockRight1Click"));
  editor.CopyCompatibleBlock1Click();  // nothing held: nothing happens
  EXPECT_TRUE(doc().undoSteps.empty());
}

TEST_F(BlockCommandsTest, TheFoundBlockIsDroppedWhenTheSelectionMovesOrAFileOpens) {
  openStaircase();
  select(10000, 10100);
  editor.FindCompatibleBlock1Click();
  ASSERT_TRUE(editor.compatible.found());
  editor.clicks.stored.emplace();
  editor.clicks.stored->Add(20000, 1, 0);
  editor.FindNextClick1Click();
  EXPECT_FALSE(editor.compatible.found());

  select(10000, 10100);
  editor.FindCompatibleBlock1Click();
  editor.SetupOverlayBlockClick();
  EXPECT_FALSE(editor.compatible.found());
  EXPECT_TRUE(editor.overlayBlock.active);

  editor.FindCompatibleBlock1Click();
  ASSERT_TRUE(editor.compatible.found());
  openStaircase(1000);
  EXPECT_FALSE(editor.compatible.found());
  EXPECT_EQ(editor.compatible.offset, 0);
  EXPECT_FALSE(editor.overlayBlock.active);
  EXPECT_FALSE(enabled("CopyOverlayLeftClick"));
}

TEST_F(BlockCommandsTest, OverlayCommandsMoveCopyAndReselect) {
  openStaircase();
  select(2000, 2049);
  EXPECT_FALSE(enabled("ForwardbyBlockWidthClick"));
  editor.SetupOverlayBlockClick();
  EXPECT_TRUE(enabled("ForwardbyBlockWidthClick"));
  EXPECT_TRUE(enabled("CopyOverlayRightClick"));
  editor.ForwardbyBlockWidthClick();
  editor.ForwardbyBlockWidthClick();
  editor.BackbyBlockWidthClick();
  editor.ForwardOneSampleClick();
  editor.ForwardOneSampleClick();
  editor.BackOneSampleClick();
  EXPECT_EQ(editor.overlayBlock.position, 2051);
  select(7, 9);
  editor.CopyOverlayLeftClick();
  for (int32_t f = 2000; f <= 2048; ++f) ASSERT_EQ(left(f), f + 51) << f;
  EXPECT_EQ(left(2049), 2049);
  editor.ReselectOriginalBlockClick();
  EXPECT_EQ(doc().selStart, 2000);
  EXPECT_EQ(doc().selEnd, 2049);
  editor.DiscardOverlayBlockClick();
  EXPECT_FALSE(enabled("ReselectOriginalBlockClick"));
  editor.CopyOverlayRightClick();
  EXPECT_EQ(doc().undoSteps.size(), 1u);
}

TEST_F(BlockCommandsTest, NudgesStepByTheDisplaysSampleUnitsPerPixel) {
  openStaircase();
  select(100, 110);
  editor.blockDisplay.sampleUnitsPerPixel = 40;
  editor.NudgeDownRight1Click();
  EXPECT_EQ(right(100), -60);
  EXPECT_EQ(left(100), 100);
  editor.blockDisplay.magnified = true;
  editor.NudgeUpLeft1Click();
  EXPECT_EQ(left(100), 99);
  EXPECT_EQ(left(110), 110);
  editor.Undo1Click();
  editor.Undo1Click();
  EXPECT_EQ(right(100), -100);
}

TEST_F(BlockCommandsTest, SpectralReplacementCommandsRestoreTheTransformLength) {
  open(3000, [](int32_t) { return Frame{1000, -1000}; });
  select(1000, 1099);
  editor.spectral.SetFFTSize(2048);
  editor.SpectralReplacementRight1Click();
  EXPECT_EQ(editor.spectral.N(), 2048);
  ASSERT_EQ(doc().undoSteps.size(), 1u);
  // A steady signal comes back √2 louder in the middle (the engine's fixed gain).
  EXPECT_EQ(right(1050), -1414);
  EXPECT_EQ(left(1050), 1000);
  editor.Undo1Click();
  EXPECT_EQ(right(1050), -1000);
}

TEST_F(BlockCommandsTest, TheParametersDialogStoresAllThreeOrRaisesTheAbortFlag) {
  openStaircase();
  CompatParamsModel seen;
  host.dialogs[kCompatParamsDialogId] = [&](tolmar::test::ModelRef m) {
    auto& model = *static_cast<CompatParamsModel*>(m);
    seen = model;
    model.relativeSampleSize = " 20 ";
    model.timeLimit = "00:01.500";
    model.forwards = true;
    return true;
  };
  invoke(editor, command("SetCompatibleBlockParams1Click"));
  EXPECT_EQ(seen.relativeSampleSize, "50");
  EXPECT_EQ(seen.timeLimit, "00:00.100");
  EXPECT_FALSE(seen.forwards);
  EXPECT_EQ(editor.compatTolerance, 20);
  EXPECT_EQ(ctx.compatibleSearchSpan, 66150);
  EXPECT_TRUE(editor.compatForwards);

  host.dialogs[kCompatParamsDialogId] = [](tolmar::test::ModelRef m) {
    static_cast<CompatParamsModel*>(m)->relativeSampleSize = "2x";
    return true;
  };
  editor.SetCompatibleBlockParams1Click();
  EXPECT_TRUE(host.said("\"2x\" is not a whole number"));
  EXPECT_EQ(editor.compatTolerance, 20);

  host.dialogs[kCompatParamsDialogId] = [](tolmar::test::ModelRef) { return false; };
  editor.SetCompatibleBlockParams1Click();
  EXPECT_TRUE(ctx.abortFlag);

  ctx.abortFlag = false;
  ctx.silentMode = true;
  const size_t shown = host.dialogIds.size();
  editor.SetCompatibleBlockParams1Click();
  EXPECT_EQ(host.dialogIds.size(), shown);
  EXPECT_FALSE(ctx.abortFlag);
}

}  // namespace
}  // namespace tolmar::test
