#include "editor/macro_dialogs.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "editor/editor.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar {
namespace {

using test::ScriptedHost;

TEST(MacroKeys, FunctionKeysMapToSlotsWithAltThenCtrlThenShiftWinning) {
  EXPECT_EQ(macroSlotForKey(1, false, false, false), 1);
  EXPECT_EQ(macroSlotForKey(12, true, false, false), 24);
  EXPECT_EQ(macroSlotForKey(1, false, true, false), 25);
  EXPECT_EQ(macroSlotForKey(12, false, false, true), 48);
  EXPECT_EQ(macroSlotForKey(3, false, true, true), 39) << "Ctrl+Alt+F3: Alt wins";
  EXPECT_EQ(macroSlotForKey(3, true, true, false), 27) << "Ctrl wins over Shift";
  EXPECT_EQ(macroSlotForKey(5, true, true, true), 41);
  EXPECT_EQ(macroSlotForKey(0, false, false, false), 0);
  EXPECT_EQ(macroSlotForKey(13, false, false, false), 0);

  const auto captions = MacroSetupModel::slotCaptions();
  ASSERT_EQ(captions.size(), 48u);
  EXPECT_EQ(captions[0], "1 (F1)");
  EXPECT_EQ(captions[11], "12 (F12)");
  EXPECT_EQ(captions[12], "13 (Shift+F1)");
  EXPECT_EQ(captions[35], "36 (Ctrl+F12)");
  EXPECT_EQ(captions[47], "48 (Alt+F12)");
  // Every caption's key runs its own slot.
  for (int slot = 1; slot <= 48; ++slot) {
    const int group = (slot - 1) / 12;
    EXPECT_EQ(macroSlotForKey((slot - 1) % 12 + 1, group == 1, group == 2, group == 3), slot);
  }
}

TEST(MacroButtonBar, ShiftButtonSwitchesCaptionsHintsAndSlots) {
  MacroTable macros;
  macros.store(2, {"File | Save"}, "Save It");
  macros.store(14, {"File | Save"}, "");
  MacroButtonBar bar;
  EXPECT_TRUE(bar.hasShiftButton());
  EXPECT_EQ(bar.caption(1), "F1");
  EXPECT_EQ(bar.caption(12), "F12");
  EXPECT_EQ(bar.caption(13), "") << "no thirteenth button";
  EXPECT_EQ(bar.shiftHint(), "Switch Buttons to Macros 13-24");
  EXPECT_EQ(bar.hint(2, macros), "Save It");
  EXPECT_EQ(bar.hint(3, macros), "Macro 3");

  CommandState state;
  EXPECT_TRUE(bar.enabled(2, macros, state));
  EXPECT_FALSE(bar.enabled(3, macros, state)) << "slot 3 is empty";
  state.recording = true;
  EXPECT_FALSE(bar.enabled(2, macros, state));
  state.recording = false;

  bar.toggleShift();
  EXPECT_EQ(bar.slotOf(2), 14);
  EXPECT_EQ(bar.caption(1), "F13");
  EXPECT_EQ(bar.caption(12), "F24");
  EXPECT_EQ(bar.shiftHint(), "Switch Buttons to Macros 1-12");
  EXPECT_EQ(bar.hint(2, macros), "Macro 14");
  EXPECT_TRUE(bar.enabled(2, macros, state));
  EXPECT_FALSE(bar.enabled(1, macros, state));

  MacroButtonBar wide(48);
  EXPECT_FALSE(wide.hasShiftButton());
  wide.toggleShift();
  EXPECT_EQ(wide.slotOf(40), 40);
  EXPECT_EQ(wide.caption(48), "F48");
  EXPECT_EQ(MacroButtonBar(30).buttonCount(), 12);
}

TEST(MacroKeys, ListTextReadsBackTheSlotNumber) {
  MacroTable macros;
  macros.store(7, {"File | Save"}, "Seven");
  macros.store(42, {"File | Save"}, "");
  for (const std::string& line : macros.listLines()) {
    const int slot = MacroTable::slotFromListText(line);
    EXPECT_EQ(macros.listText(slot), line);
  }
  EXPECT_EQ(macros.listText(7), "Macro #7 [Seven]");
  EXPECT_EQ(MacroTable::slotFromListText("Macro #42"), 42);
}

struct SetupFixture : ::testing::Test {
  test::TempDir dir;
  ScriptedHost host;
  Context ctx{host};
  MacroTable macros;
  PresetStore presets;
  IniFile ini{dir.path() / "VESKOR.INI"};
  std::vector<std::string> operations = {"File | Save", "Other Effects | Filter (With Undo)"};

  SetupFixture() {
    host.ctx = &ctx;
    presets.filter.installFactory();
    macros.store(1, {"File | Save"}, "One");
  }
  MacroSetupModel model() { return MacroSetupModel(ctx, macros, presets, ini, operations); }
};

TEST_F(SetupFixture, AddOffersPresetsForPresetCommandsAndPrefixesSilentSteps) {
  MacroSetupModel m = model();
  EXPECT_EQ(m.slot(), 1);
  EXPECT_EQ(m.steps(), std::vector<std::string>{"File | Save"});
  EXPECT_EQ(m.name(), "One");

  std::vector<std::string> offered;
  host.dialogs[kPresetPickerDialogId] = [&](tolmar::test::ModelRef p) {
    auto* picker = static_cast<PresetPickerModel*>(p);
    EXPECT_EQ(picker->kind, PresetKind::Filter);
    offered = picker->names;
    picker->chosen = 0;
    return true;
  };
  m.setSilent(true);
  EXPECT_TRUE(m.add(1));
  ASSERT_FALSE(offered.empty());
  EXPECT_EQ(offered[0], "Rumble");
  EXPECT_EQ(m.steps().back(), "<Silent> Other Effects | Filter (With Undo) [Rumble]");

  // Cancelled picker: the command without a preset.
  host.dialogs[kPresetPickerDialogId] = [](tolmar::test::ModelRef) { return false; };
  m.setSilent(false);
  EXPECT_TRUE(m.add(1));
  EXPECT_EQ(m.steps().back(), "Other Effects | Filter (With Undo)");
  EXPECT_TRUE(m.add(0));
  EXPECT_EQ(m.steps().back(), "File | Save");
  EXPECT_EQ(host.dialogIds.size(), 2u) << "no picker for a command without presets";
  EXPECT_FALSE(m.add(2));
  EXPECT_FALSE(m.add(-1));

  m.addRefresh();
  EXPECT_EQ(m.steps().back(), "[Refresh Display]");
  host.dialogs[kMacroPickerDialogId] = [](tolmar::test::ModelRef p) {
    auto* picker = static_cast<MacroPickerModel*>(p);
    EXPECT_EQ(picker->lines, std::vector<std::string>{"Macro #1 [One]"});
    picker->chosen = 0;
    return true;
  };
  EXPECT_TRUE(m.callMacro());
  EXPECT_EQ(m.steps().back(), "[Call Macro #1]");
  EXPECT_EQ(m.steps().size(), 6u);
  EXPECT_EQ(macros.get(1)->steps.size(), 1u) << "nothing is stored before Store";
}

TEST_F(SetupFixture, RemoveAndArrowsEditTheStepList) {
  MacroSetupModel m = model();
  m.addRefresh();
  m.add(0);
  // Save, Refresh, Save -> move Refresh up, then down past the end fails.
  EXPECT_TRUE(m.moveUp(1));
  EXPECT_EQ(m.steps()[0], "[Refresh Display]");
  EXPECT_FALSE(m.moveUp(0));
  EXPECT_TRUE(m.moveDown(0));
  EXPECT_EQ(m.steps()[1], "[Refresh Display]");
  EXPECT_FALSE(m.moveDown(2));
  EXPECT_TRUE(m.remove(1));
  EXPECT_FALSE(m.remove(5));
  EXPECT_EQ(m.steps(), (std::vector<std::string>{"File | Save", "File | Save"}));
}

TEST_F(SetupFixture, ChangingSlotWithEditsAsksSaveChanges) {
  MacroSetupModel m = model();
  m.addRefresh();
  host.answers = {Answer::Cancel};
  EXPECT_FALSE(m.selectSlot(2));
  EXPECT_EQ(m.slot(), 1);
  EXPECT_TRUE(host.asked("Save Changes?"));
  EXPECT_EQ(m.steps().size(), 2u) << "Cancel keeps the edits";

  host.answers = {Answer::No};
  EXPECT_TRUE(m.selectSlot(2));
  EXPECT_EQ(macros.get(1)->steps.size(), 1u) << "No discards";
  EXPECT_TRUE(m.steps().empty());

  m.setName("Two");
  m.addRefresh();
  host.answers = {Answer::Yes};
  EXPECT_TRUE(m.selectSlot(1));
  ASSERT_NE(macros.get(2), nullptr);
  EXPECT_EQ(macros.get(2)->name, "Two");
  EXPECT_EQ(m.name(), "One");

  // No edits, no question.
  host.questions.clear();
  EXPECT_TRUE(m.selectSlot(2));
  EXPECT_TRUE(host.questions.empty());
  EXPECT_FALSE(m.selectSlot(49));
}

TEST_F(SetupFixture, StoringNoStepsFreesTheSlotAndDoneWritesTheFile) {
  MacroSetupModel m = model();
  m.remove(0);
  m.store();
  EXPECT_EQ(macros.get(1), nullptr);
  m.selectSlot(5);
  m.setName("Five");
  m.addRefresh();
  host.answers = {Answer::Yes};
  EXPECT_TRUE(m.done());
  IniFile saved{dir.path() / "VESKOR.INI"};
  saved.load();
  EXPECT_EQ(saved.readString("Macros", "macro5.nm", ""), "Five");
  EXPECT_EQ(saved.readString("Macros", "macro5.1", ""), "[Refresh Display]");
  EXPECT_FALSE(saved.hasKey("Macros", "macro1.1"));

  m.addRefresh();
  host.answers = {Answer::Cancel};
  EXPECT_FALSE(m.done()) << "Cancel keeps the dialog open";
}

struct BatchDialogFixture : ::testing::Test {
  test::TempDir dir;
  ScriptedHost host;
  Editor editor{host};
  std::filesystem::path startDir = std::filesystem::current_path();

  BatchDialogFixture() {
    host.ctx = &editor.ctx;
    editor.ctx.settings.newstylewaveform = false;
  }
  ~BatchDialogFixture() override { std::filesystem::current_path(startDir); }
};

TEST_F(BatchDialogFixture, PagesCollectFilesAndMacroThenRunTheBatch) {
  test::WavBuilder().staircase(100).trailing({1, 2}).write(dir.file("a.wav"));
  test::WavBuilder().staircase(100).write(dir.file("b.wav"));
  editor.macros.store(4, {"File | Truncate Extra Data"}, "Trim");
  editor.macros.store(9, {"File | Save"}, "");

  BatchModeModel m(editor);
  EXPECT_EQ(m.pageTitle(), "1. Select File(s) to Process");
  EXPECT_FALSE(m.canGoBack());
  EXPECT_EQ(m.nextCaption(), "Next >>");
  m.select(dir.path().string() + "/", {"a.wav", "gone.wav"});
  m.select(dir.path().string(), {"b.wav"});
  EXPECT_EQ(m.paths(),
            (std::vector<std::string>{dir.file("a.wav"), dir.file("gone.wav"), dir.file("b.wav")}));
  m.removePaths({1, 1, 7});
  EXPECT_EQ(m.paths().size(), 2u);

  m.next();
  EXPECT_EQ(m.pageTitle(), "2. Pick Macro to Run");
  EXPECT_EQ(m.nextCaption(), "Run Batch");
  EXPECT_EQ(m.macroLines(), (std::vector<std::string>{"Macro #4 [Trim]", "Macro #9"}));
  EXPECT_FALSE(m.canGoNext()) << "no macro chosen yet";
  m.chooseMacro(0);

  // "Define Macro..." renames the chosen macro; the choice follows it.
  host.dialogs[kMacroSetupDialogId] = [&](tolmar::test::ModelRef p) {
    auto* setup = static_cast<MacroSetupModel*>(p);
    setup->selectSlot(4);
    setup->setName("Trim Ends");
    setup->store();
    return true;
  };
  m.defineMacro();
  EXPECT_EQ(m.macroLines()[0], "Macro #4 [Trim Ends]");
  EXPECT_EQ(m.chosenMacroLine(), 0);

  m.continueOnError = true;
  m.next();
  EXPECT_EQ(m.pageTitle(), "3. Batch Progress");
  EXPECT_TRUE(m.ran());
  EXPECT_EQ(m.log().front(), "Batch Execution Started, using Macro #4 [Trim Ends]");
  EXPECT_EQ(m.log().back(), "Batch Finished");
  EXPECT_EQ(m.log().size(), 8u);
  EXPECT_EQ(m.failedFiles(), 0);
  EXPECT_TRUE(editor.ctx.continueOnError);
  EXPECT_FALSE(editor.ctx.silentMode);
  EXPECT_EQ(std::filesystem::file_size(dir.file("a.wav")),
            std::filesystem::file_size(dir.file("b.wav")));
  m.back();
  EXPECT_EQ(m.page(), BatchModeModel::Page::PickMacro);
}

}  // namespace
}  // namespace tolmar
