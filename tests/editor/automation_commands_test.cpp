#include "editor/automation_commands.h"

#include <gtest/gtest.h>

#include "editor/editor.h"
#include "editor/macro_dialogs.h"
#include "editor/shortcut_table.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar {
namespace {

using test::ScriptedHost;

struct AutomationFixture : ::testing::Test {
  test::TempDir dir;
  ScriptedHost host;
  Editor editor{host};

  AutomationFixture() {
    host.ctx = &editor.ctx;
    editor.ctx.settings.newstylewaveform = false;
  }
};

TEST_F(AutomationFixture, MacroCommandsDoNothingInSilentModeAndKeysNeedAnOpenFile) {
  editor.ctx.silentMode = true;
  editor.Macros1Click();
  editor.BatchMode1Click();
  EXPECT_TRUE(host.dialogIds.empty());
  editor.ctx.silentMode = false;
  host.dialogs[kMacroSetupDialogId] = [](tolmar::test::ModelRef p) {
    auto* setup = static_cast<MacroSetupModel*>(p);
    // The operations are the eligible menu paths.
    EXPECT_EQ(setup->operations(), eligibleMenuPaths(false));
    return true;
  };
  editor.Macros1Click();
  editor.BatchMode1Click();
  EXPECT_EQ(host.dialogIds, (std::vector<std::string>{kMacroSetupDialogId, kBatchModeDialogId}));

  bool ranDuringMacro = false;
  editor.macros.store(39, {"Edit | Edit Left"}, "");
  EXPECT_FALSE(editor.macroKeyDown(3, false, true, true)) << "no file open";
  test::WavBuilder().staircase(100).write(dir.file("k.wav"));
  ASSERT_TRUE(editor.OpenDocument(dir.file("k.wav")));
  editor.ctx.playing = true;
  EXPECT_FALSE(editor.macroKeyDown(3, false, true, true)) << "playback runs";
  editor.ctx.playing = false;
  const int repaints = host.repaints;
  host.onPump = [&](int) { ranDuringMacro = editor.ctx.macroRunning; };
  editor.macros.store(39, {"[Refresh Display]", "Edit | Edit Left"}, "");
  EXPECT_TRUE(editor.macroKeyDown(3, false, true, true));
  EXPECT_TRUE(ranDuringMacro);
  EXPECT_FALSE(editor.ctx.macroRunning);
  EXPECT_FALSE(editor.ctx.editLeft) << "Ctrl+Alt+F3 ran macro 39";
  EXPECT_GT(host.repaints, repaints);
  EXPECT_TRUE(editor.macroKeyDown(4, false, false, false)) << "an empty slot still eats the key";
}

TEST_F(AutomationFixture, RunMacroGoesThroughTheCommandTable) {
  test::WavBuilder().staircase(100).trailing({9, 9, 9}).write(dir.file("t.wav"));
  ASSERT_TRUE(editor.OpenDocument(dir.file("t.wav")));
  // Undo is disabled, Truncate Extra Data enabled, a made-up path is skipped.
  editor.macros.store(1, {"File | Truncate Extra Data", "Edit | Undo", "File | No Such Item"}, "");
  host.answers = {Answer::No};
  const MacroRunStats stats = editor.RunMacro(1);
  EXPECT_EQ(stats.invoked, 1);
  EXPECT_EQ(stats.refused, 1);
  EXPECT_EQ(stats.skipped, 1);
  EXPECT_TRUE(host.asked(
      "Macro error: operation \"Edit | Undo\" not valid in this context. Abort macro execution?"));
  EXPECT_EQ(std::filesystem::file_size(dir.file("t.wav")), 44u + 400u);
}

}  // namespace
}  // namespace tolmar
