#include "editor/effect_commands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>

#include "dsp/effect_controls.h"
#include "dsp/effect_fixture.h"
#include "dsp/level_effects.h"
#include "editor/command_table.h"
#include "support/file_size_limit.h"

namespace tolmar::test {
namespace {

Frame music(int32_t i) {
  const double t = i / 44100.0;
  const double a = 14000 * std::sin(2 * std::numbers::pi * 220 * t) +
                   9000 * std::sin(2 * std::numbers::pi * 3100 * t) + 300;
  return {static_cast<int16_t>(a), static_cast<int16_t>(0.6 * a - 2000)};
}

struct EffectCommandsTest : ::testing::Test, EffectFixture {
  void SetUp() override {
    Settings& s = ctx.settings;
    s.amplifyfactorl = 4.5;
    s.amplifyfactorr = -2;
    s.compressthresh = 6;
    s.compressfactor = 1.5;
    s.ampfadestartsecs = 1;
    s.eqpassprompt = 1;
    equaliser_controls::applyPreset(s.equalise, *editor.presets.eq.get("Add Sparkle"));
    filter_controls::applyPreset(s.filter, *editor.presets.filter.get("Hum (50+100Hz)"));
    s.filter.overallgain = 0.8;
    mix_controls::applyPreset(s.mixer, *editor.presets.chanmix.get("Wide Stereo"));
  }
  // Opens a fresh copy of the material over 20000 frames with a selection crossing chunk seams.
  void fresh() {
    open(100000, music);
    select(1234, 99000);
  }
};

TEST_F(EffectCommandsTest, WithUndoAndDirectOverwriteGiveTheSameSamples) {
  using Handler = void (Editor::*)();
  struct Pair {
    Handler undo, direct;
    const char* caption;
  };
  const Pair pairs[] = {
      {&Editor::Compress1Click, &Editor::CompressDirectOverwrite1Click, "Amplify/Compress"},
      {&Editor::Normalize1Click, &Editor::NormalizedirectOverwrite1Click, "Normalise"},
      {&Editor::EqualiseWithUndo1Click, &Editor::EqualiseDirectOverwrite1Click, "Equalise"},
      {&Editor::FilterWithUndo1Click, &Editor::FilterDirectOverwrite1Click, "Filter"},
      {&Editor::ChannelMixWithUndo1Click, &Editor::ChannelMixDirectOverwrite1Click, "Channel Mix"},
  };
  for (bool editRight : {true, false}) {
    for (const Pair& p : pairs) {
      SCOPED_TRACE(std::string(p.caption) + (editRight ? "" : ", Edit Right off"));
      ctx.editRight = editRight;
      fresh();
      const std::vector<int16_t> original = frames(0, 99999);
      (editor.*p.undo)();
      EXPECT_EQ(doc().undoCaption(), std::string("Undo ") + p.caption);
      const std::vector<int16_t> viaUndo = frames(0, 99999);
      EXPECT_NE(viaUndo, original);
      EXPECT_EQ(frames(0, 99999, false), original) << "With Undo leaves the file alone";

      fresh();
      (editor.*p.direct)();
      EXPECT_FALSE(doc().canUndo());
      EXPECT_EQ(frames(0, 99999, false), viaUndo);
      if (!editRight) {
        for (size_t i = 1; i < original.size(); i += 2) ASSERT_EQ(viaUndo[i], original[i]) << i;
      }
    }
  }
}

// The pass puts its records on the edit list chunk by chunk and pumps between chunks: an Undo
// let through then would take the pass's records away with the earlier step.
TEST_F(EffectCommandsTest, UndoDeliveredDuringAPassIsRefused) {
  fresh();
  const std::vector<int16_t> original = frames(0, 99999);
  editor.FadeIn1Click();
  const std::vector<int16_t> faded = frames(0, 99999);
  int pumps = 0;
  host.onPump = [&](int) {
    ++pumps;
    editor.Undo1Click();
  };
  editor.Compress1Click();
  host.onPump = nullptr;
  ASSERT_GT(pumps, 2);
  EXPECT_EQ(doc().undoCaption(), "Undo Amplify/Compress");
  EXPECT_NE(frames(0, 99999), faded);
  editor.Undo1Click();
  EXPECT_EQ(frames(0, 99999), faded);
  editor.Undo1Click();
  EXPECT_EQ(frames(0, 99999), original);
  EXPECT_FALSE(doc().canUndo());
}

// A full disk under the big-edit store stops the effect part-way: none of its records may stay
// on the list, where Save would write half an effect into the file.
TEST_F(EffectCommandsTest, AFullBigEditStoreLeavesTheFileAndTheEditListAsBefore) {
  ctx.settings.bigeditsinmemory = false;
  ctx.settings.bigeditthresh = 0;
  fresh();
  const std::vector<int16_t> original = frames(0, 99999);
  editor.FadeIn1Click();
  ASSERT_TRUE(doc().store.isOpen());
  const std::vector<int16_t> faded = frames(0, 99999);
  const size_t recordsBefore = doc().interps.size();
  const auto storeBytes = std::filesystem::file_size(doc().store.path());
  {
    // Room for two more chunk records, not for the whole effect.
    const FileSizeLimit limit(storeBytes + 40000);
    editor.Compress1Click();
  }
  ASSERT_FALSE(host.texts().empty());
  for (const std::string& t : host.texts())
    EXPECT_EQ(t, "Failed to write edit data to file (disk full?)");
  EXPECT_EQ(doc().interps.size(), recordsBefore);
  EXPECT_EQ(doc().undoCaption(), "Undo Fade");
  EXPECT_EQ(frames(0, 99999), faded);
  EXPECT_TRUE(editor.Save1Click());
  EXPECT_EQ(frames(0, 99999, false), faded);
  EXPECT_NE(faded, original);
}

TEST_F(EffectCommandsTest, DirectOverwriteAsksFirstAndIsRefusedOverUnsavedEdits) {
  fresh();
  host.answers = {Answer::No};
  editor.FilterDirectOverwrite1Click();
  EXPECT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(frames(5000, 5000, false), frames(5000, 5000));
  const std::vector<int16_t> original = frames(0, 99999, false);
  editor.FilterDirectOverwrite1Click();
  EXPECT_NE(frames(0, 99999, false), original);

  fresh();
  editor.FadeIn1Click();
  const std::vector<int16_t> before = frames(0, 99999, false);
  editor.ChannelMixDirectOverwrite1Click();
  EXPECT_EQ(frames(0, 99999, false), before);
  EXPECT_TRUE(host.said("This operation is not available when there are unsaved changes"));
}

TEST_F(EffectCommandsTest, NormaliseAndPartialFadeDialogsEditTheSettings) {
  openConstant(1001, 16000, -8000);
  host.dialogs[kNormaliseDialogId] = [](tolmar::test::ModelRef m) {
    auto* model = static_cast<NormaliseModel*>(m);
    model->removedc = false;
    model->step(-0.1);
    model->step(-1);  // -1.10 dB
    return true;
  };
  editor.Normalize1Click();
  EXPECT_FALSE(ctx.settings.removedc);
  EXPECT_DOUBLE_EQ(ctx.settings.normaliseto, -1.1);
  EXPECT_EQ(left(0), DbToLevel(-1.1));

  host.dialogs[kNormaliseDialogId] = [](tolmar::test::ModelRef) { return false; };
  ctx.abortFlag = false;
  editor.Normalize1Click();
  EXPECT_TRUE(ctx.abortFlag) << "Cancel stops a running macro";
  EXPECT_EQ(doc().undoSteps.size(), 1u);

  openConstant(1001, 3200, 3200);
  host.dialogs[kFadeFactorDialogId] = [](tolmar::test::ModelRef m) {
    static_cast<FadeFactorModel*>(m)->fadefactor = 6;
    return true;
  };
  editor.PartialFadeIn1Click();
  EXPECT_EQ(left(0), 1600);
  EXPECT_EQ(ctx.settings.fadefactor, 6);

  // Silent mode skips the dialogs and uses the settings as they are.
  ctx.silentMode = true;
  host.dialogIds.clear();
  openConstant(1001, 3200, 3200);
  editor.PartialFadeOut1Click();
  EXPECT_TRUE(host.dialogIds.empty());
  EXPECT_EQ(left(1000), 1600);
}

TEST_F(EffectCommandsTest, EveryCommandOfTheseEffectsIsInTheCommandTable) {
  const char* handlers[] = {"Compress1Click",
                            "CompressDirectOverwrite1Click",
                            "Normalize1Click",
                            "NormalizedirectOverwrite1Click",
                            "FadeIn1Click",
                            "FadeOut1Click",
                            "PartialFadeIn1Click",
                            "PartialFadeOut1Click",
                            "EqualiseWithUndo1Click",
                            "EqualiseDirectOverwrite1Click",
                            "FilterWithUndo1Click",
                            "FilterDirectOverwrite1Click",
                            "ChannelMixWithUndo1Click",
                            "ChannelMixDirectOverwrite1Click",
                            "SelectionStatistics1Click",
                            "FindClippinginSelection1Click",
                            "RepairClippinginSelection1Click"};
  for (const char* h : handlers) {
    const Command* c = findHandler(h);
    ASSERT_NE(c, nullptr) << h;
    EXPECT_NE(c->action, nullptr) << h;
  }
  // Run through the table as a macro step would.
  openConstant(100, 1000, 1000);
  ctx.settings.ampfadestartsecs = 0;
  const Command* c = findCommand("Other Effects | Amplify/Compress (With Undo)");
  ASSERT_NE(c, nullptr);
  ctx.settings.compressfactor = 1;
  ctx.settings.amplifyfactorl = ctx.settings.amplifyfactorr = 6;
  invoke(editor, *c);
  EXPECT_EQ(left(0), 2000);
}

}  // namespace
}  // namespace tolmar::test
