#include "editor/command_table.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "config/settings_io.h"
#include "editor/editor.h"
#include "support/editor_fixture.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

const Command& cmd(const std::string& path) {
  const Command* c = findCommand(path);
  if (!c) throw std::runtime_error("no command " + path);
  return *c;
}

// Paths whose predicate holds in the state (whether or not the command is built yet).
std::set<std::string> available(const CommandState& s) {
  std::set<std::string> out;
  for (const Command& c : commandTable())
    if (!isSeparator(c) && c.available(s)) out.insert(menuPath(c));
  return out;
}

bool holds(const std::string& path, const CommandState& s) {
  return cmd(path).available(s);
}

TEST(CommandTableTest, HandlersAndPathsAreUniqueAndFindable) {
  std::set<std::string_view> handlers;
  std::set<std::string> paths;
  for (const Command& c : commandTable()) {
    if (isSeparator(c)) {
      EXPECT_EQ(c.available, nullptr);
      EXPECT_EQ(c.action, nullptr);
      continue;
    }
    ASSERT_FALSE(c.handler.empty()) << c.caption;
    ASSERT_NE(c.available, nullptr) << c.caption;
    EXPECT_TRUE(handlers.insert(c.handler).second) << c.handler;
    const std::string path = menuPath(c);
    EXPECT_TRUE(paths.insert(path).second) << path;
    EXPECT_EQ(findCommand(path), &c) << path;
    EXPECT_EQ(findHandler(c.handler), &c) << c.handler;
    if (c.checked) {
      EXPECT_TRUE(c.checkItem) << path;
    }
  }
  EXPECT_GT(paths.size(), 150u);
}

TEST(CommandTableTest, EachTopLevelMenuIsOneRunOfItems) {
  const std::vector<std::string_view> menus = topLevelMenus();
  EXPECT_EQ(std::set<std::string_view>(menus.begin(), menus.end()).size(), menus.size());
  EXPECT_EQ(menus.front(), "&File");
  std::map<std::string_view, int> counts;
  for (const Command& c : commandTable()) {
    EXPECT_EQ(menuPosition(c), counts[c.menu]++);
  }
}

TEST(CommandTableTest, RecentFilesAndViewHistoryStartWhereTheMenusEnd) {
  std::map<std::string, int> counts;
  for (const Command& c : commandTable()) ++counts[cleanCaption(c.menu)];
  EXPECT_EQ(counts["File"], kFileMenuFixedItems);
  EXPECT_EQ(kFileMenuFixedItems, 14);
  EXPECT_EQ(counts["View"], kViewMenuFixedItems);
  EXPECT_EQ(kViewMenuFixedItems, 21);
  EXPECT_EQ(menuPosition(cmd("File | Open WAV File...")), 0);
  EXPECT_EQ(menuPosition(cmd("View | Next View")), 19);
}

TEST(CommandTableTest, PresetCapableAndMigratedPathsExist) {
  for (const char* path :
       {"Declicking | Find All Clicks", "Declicking | Find and Remove All Clicks",
        "Other Effects | Equalise (With Undo)", "Other Effects | Equalise (Direct Overwrite)",
        "Other Effects | Filter (With Undo)", "Other Effects | Filter (Direct Overwrite)",
        "Other Effects | Channel Mix (With Undo)", "Other Effects | Channel Mix (Direct Overwrite)",
        // Where the settings file's old paths are moved to at start-up.
        "Play/Record | Output (Play) Selection", "Play/Record | Play Selection With Context",
        "Play/Record | Play Context Around Selection", "Play/Record | Kill (Stop) Output",
        "Play/Record | Play Left Channel", "Play/Record | Play Right Channel",
        "Play/Record | Input (Record) New WAV File", "Noise Reduction | Get Fingerprint",
        "Noise Reduction | Decrackle (With Undo)", "Noise Reduction | Decrackle (Direct Overwrite)",
        "Noise Reduction | Save Fingerprint in File...",
        "Noise Reduction | Load Fingerprint from File..."})
    EXPECT_NE(findCommand(path), nullptr) << path;
}

// The eight preset-capable commands carry their family on their row, and no other row does.
TEST(CommandTableTest, PresetFamiliesSitOnExactlyTheEightPresetCapableRows) {
  const std::map<std::string, PresetKind> expected{
      {"Declicking | Find All Clicks", PresetKind::Declick},
      {"Declicking | Find and Remove All Clicks", PresetKind::Declick},
      {"Other Effects | Equalise (With Undo)", PresetKind::Equaliser},
      {"Other Effects | Equalise (Direct Overwrite)", PresetKind::Equaliser},
      {"Other Effects | Filter (With Undo)", PresetKind::Filter},
      {"Other Effects | Filter (Direct Overwrite)", PresetKind::Filter},
      {"Other Effects | Channel Mix (With Undo)", PresetKind::ChannelMix},
      {"Other Effects | Channel Mix (Direct Overwrite)", PresetKind::ChannelMix}};
  std::map<std::string, PresetKind> found;
  for (const Command& c : commandTable())
    if (c.presets != PresetKind::None) found[menuPath(c)] = c.presets;
  EXPECT_EQ(found, expected);
}

TEST(CommandTableTest, PathsAreMatchedExactly) {
  EXPECT_EQ(cleanCaption("Find &All Clicks"), "Find All Clicks");
  EXPECT_EQ(menuPath(cmd("Declicking | Find All Clicks")), "Declicking | Find All Clicks");
  EXPECT_EQ(findCommand("declicking | find all clicks"), nullptr);
  EXPECT_EQ(findCommand("Declicking | Find &All Clicks"), nullptr);
  EXPECT_EQ(findCommand("Declicking |Find All Clicks"), nullptr);
  EXPECT_EQ(findCommand("Declicking"), nullptr);
  EXPECT_EQ(findCommand("File | -"), nullptr);
  EXPECT_EQ(findCommand("File | 1: /tmp/a.wav"), nullptr);
  EXPECT_EQ(findHandler(""), nullptr);
}

TEST(CommandTableTest, ACommandThatIsNotBuiltIsNeverEnabled) {
  CommandState all;
  all.file = all.sel = all.point = all.undo = all.redo = all.clicks = all.falseClicks = true;
  all.currentClick = all.markers = all.cues = all.deletions = all.insertions = true;
  all.views = all.remembered = all.compat = all.overlay = all.fingerprint = true;
  all.clipwave = all.playdev = all.recdev = all.editl = all.editr = true;
  all.direct = all.showDebugItems = true;
  all.sellen = 5000;
  for (const Command& c : commandTable()) {
    if (isSeparator(c) || !c.action) {
      EXPECT_FALSE(isEnabled(c, all)) << menuPath(c);
    }
  }
  Command undo = cmd("Edit | Undo");
  EXPECT_TRUE(isEnabled(undo, all));
  // While playing only Kill (Stop) Output is enabled.
  all.playing = true;
  EXPECT_FALSE(isEnabled(undo, all));
  EXPECT_TRUE(isEnabled(cmd("Play/Record | Kill (Stop) Output"), all));
  all.playing = false;
  undo.action = nullptr;
  EXPECT_FALSE(isEnabled(undo, all));
  undo = cmd("Edit | Undo");
  all.undo = false;
  EXPECT_FALSE(isEnabled(undo, all));
}

TEST(CommandTableTest, DebugItemsAreHiddenUnlessAskedFor) {
  const Command& preview = cmd("Noise Reduction | Decrackle Preview");
  EXPECT_FALSE(isVisible(preview, false));
  EXPECT_TRUE(isVisible(preview, true));
  EXPECT_TRUE(isVisible(cmd("Noise Reduction | Decrackle (With Undo)"), false));
}

TEST(CommandTableTest, MacroButtonsNeedADefinedSlotAndNoRecording) {
  CommandState s;
  EXPECT_TRUE(macroButtonEnabled(true, s));
  EXPECT_FALSE(macroButtonEnabled(false, s));
  s.recording = true;
  EXPECT_FALSE(macroButtonEnabled(true, s));
}

// ---- Availability of a real editor ----

struct AvailabilityTest : EditorTest {
  void open(int32_t frames = 20000) {
    WavBuilder().staircase(frames).write(wav);
    ASSERT_TRUE(editor.OpenDocument(wav));
  }
  void select(int32_t start, int32_t end) {
    editor.doc->selStart = start;
    editor.doc->selEnd = end;
  }
  void edit(const std::string& caption) {
    auto rec = std::make_unique<Interpolation>();
    editor.doc->BeginBlock(*rec, 10, 20, 0);
    for (int32_t f = 10; f <= 20; ++f) editor.doc->PutSample(*rec, f, 7);
    editor.doc->FinishBlock(*rec);
    editor.doc->AddEdit(std::move(rec), 0);
    editor.doc->CommitEdit(1, caption);
  }
  CommandState state() { return computeCommandState(editor); }
};

TEST_F(AvailabilityTest, WithoutAFileOnlyTheFileIndependentCommandsApply) {
  EXPECT_EQ(available(state()),
            (std::set<std::string>{"File | Open WAV File...", "File | Options...",
                                   "File | Macros...", "File | Batch Mode...", "File | Exit",
                                   "Blocks | Set Compatible Block Params..."}));
  EXPECT_TRUE(isEnabled(cmd("File | Open WAV File..."), state()));
  EXPECT_FALSE(isEnabled(cmd("File | Close WAV File"), state()));
}

TEST_F(AvailabilityTest, OneFrameIsAPointButNoSelection) {
  open();
  select(500, 500);
  const CommandState s = state();
  EXPECT_TRUE(s.file);
  EXPECT_FALSE(s.sel);
  EXPECT_TRUE(s.point);
  EXPECT_EQ(s.sellen, 1);
  EXPECT_FALSE(holds("Declicking | Find All Clicks", s));
  EXPECT_TRUE(holds("Cue Points | Add Cue Point...", s));
  EXPECT_TRUE(holds("Edit | Add Silence Insertion Mark", s));
  const Command& add = cmd("Cue Points | Add Cue Point...");
  EXPECT_EQ(isEnabled(add, s), add.action != nullptr);

  // An end without a start is no selection either.
  select(-1, 900);
  EXPECT_FALSE(state().sel);
  EXPECT_FALSE(state().point);
  select(100, 900);
  EXPECT_TRUE(state().sel);
  EXPECT_EQ(state().sellen, 801);
}

TEST_F(AvailabilityTest, AnEditWithUndoDisablesEveryDirectOverwrite) {
  open();
  select(0, 9999);
  std::vector<const Command*> direct;
  for (const Command& c : commandTable())
    if (cleanCaption(c.caption).find("Direct Overwrite") != std::string::npos ||
        c.handler == "FindandRemoveAllClicks1Click")
      direct.push_back(&c);
  ASSERT_EQ(direct.size(), 9u);

  CommandState s = state();
  s.fingerprint = true;  // reduce noise and decrackle need one too
  for (const Command* c : direct) EXPECT_TRUE(c->available(s)) << menuPath(*c);
  EXPECT_TRUE(holds("Edit | Append Other File at End", s));
  EXPECT_FALSE(holds("File | Save", s));

  edit("Interpolate");
  s = state();
  s.fingerprint = true;
  EXPECT_FALSE(s.direct);
  for (const Command* c : direct) EXPECT_FALSE(c->available(s)) << menuPath(*c);
  EXPECT_FALSE(holds("Edit | Append Other File at End", s));
  EXPECT_TRUE(holds("File | Save", s));
  EXPECT_TRUE(isEnabled(cmd("File | Save"), s));
  EXPECT_TRUE(isEnabled(cmd("Edit | Undo"), s));
  EXPECT_FALSE(isEnabled(cmd("Edit | Redo"), s));

  invoke(editor, cmd("Edit | Undo"));
  s = state();
  EXPECT_TRUE(s.direct);
  EXPECT_TRUE(isEnabled(cmd("Edit | Redo"), s));
}

TEST_F(AvailabilityTest, ReadOnlyFilesRefuseWritingCommands) {
  open();
  select(0, 9999);
  editor.doc->deletions.push_back({100, 200});
  CommandState s = state();
  EXPECT_TRUE(holds("Edit | Execute Deletions/Insertions", s));
  EXPECT_TRUE(holds("Edit | Clear Deletion Mark(s)", s));
  EXPECT_FALSE(holds("Edit | Remove Silence Insertion Mark(s)", s));
  EXPECT_TRUE(holds("File | Truncate Extra Data", s));
  editor.ctx.readOnly = true;
  edit("Silence");
  s = state();
  EXPECT_TRUE(s.readonly);
  EXPECT_FALSE(holds("File | Save", s));
  EXPECT_FALSE(holds("File | Truncate Extra Data", s));
  EXPECT_FALSE(holds("Edit | Execute Deletions/Insertions", s));
  EXPECT_TRUE(holds("File | Save As...", s));
}

TEST_F(AvailabilityTest, SelectionLengthLimitsSpectralReplacementAndAnalysis) {
  open(20000);
  select(0, 16383);
  EXPECT_TRUE(holds("Blocks | Spectral Replacement (Left)", state()));
  EXPECT_TRUE(holds("Blocks | Spectral Replacement (Right)", state()));
  select(0, 16384);
  EXPECT_EQ(state().sellen, 16385);
  EXPECT_FALSE(holds("Blocks | Spectral Replacement (Left)", state()));
  EXPECT_FALSE(holds("Blocks | Spectral Replacement (Right)", state()));

  select(100, 4195);
  EXPECT_TRUE(holds("Selection | Frequency Analysis...", state()));
  select(100, 4194);
  EXPECT_FALSE(holds("Selection | Frequency Analysis...", state()));

  // The channel switches gate the one-channel commands.
  select(0, 1000);
  invoke(editor, cmd("Edit | Edit Left"));
  const CommandState s = state();
  EXPECT_FALSE(s.editl);
  EXPECT_FALSE(holds("Blocks | Spectral Replacement (Left)", s));
  EXPECT_FALSE(holds("Edit | Interpolate Left", s));
  EXPECT_TRUE(holds("Edit | Interpolate Right", s));
  EXPECT_FALSE(holds("Blocks | Copy Right to Left", s));
  EXPECT_TRUE(holds("Blocks | Copy Left to Right", s));
}

TEST_F(AvailabilityTest, RecordingDisablesFileCommandsAndOpen) {
  open();
  select(0, 1000);
  editor.markers.Add(0, 50, 0);
  editor.ctx.recording = true;
  const CommandState s = state();
  EXPECT_FALSE(s.file);
  EXPECT_FALSE(s.sel);
  EXPECT_FALSE(s.markers);
  EXPECT_EQ(available(s),
            (std::set<std::string>{"File | Options...", "File | Macros...", "File | Batch Mode...",
                                   "File | Exit", "Blocks | Set Compatible Block Params...",
                                   "Play/Record | Kill (Stop) Output"}));
  EXPECT_FALSE(macroButtonEnabled(true, s));
}

TEST_F(AvailabilityTest, MarksCuesClipboardAndRememberedSelection) {
  open();
  select(100, 200);
  CommandState s = state();
  EXPECT_FALSE(holds("Markers | Clear All Markers", s));
  EXPECT_FALSE(holds("Edit | Replace From Clipboard (With Undo)", s));
  EXPECT_FALSE(holds("Selection | Reinstate Selection", s));
  EXPECT_FALSE(holds("Cue Points | Goto Cue Point...", s));

  editor.audibleMarker = 5000;  // a pending playback marker counts as a marker
  host.hasClipWave = true;
  editor.doc->rememberedStart = 0;
  editor.doc->rememberedEnd = 10;
  editor.doc->cues.push_back(Cue{});
  s = state();
  EXPECT_TRUE(holds("Markers | Clear All Markers", s));
  EXPECT_TRUE(holds("Markers | Clear Markers in Selection", s));
  EXPECT_TRUE(holds("Edit | Replace From Clipboard (With Undo)", s));
  EXPECT_TRUE(holds("Selection | Reinstate Selection", s));
  EXPECT_TRUE(holds("Cue Points | Goto Cue Point...", s));
  EXPECT_TRUE(holds("Cue Points | Delete Cue Point(s)", s));

  select(100, 100);
  s = state();
  EXPECT_FALSE(holds("Markers | Clear Markers in Selection", s));
  EXPECT_FALSE(holds("Cue Points | Delete Cue Point(s)", s));
  EXPECT_TRUE(holds("Edit | Replace From Clipboard (With Undo)", s));
}

TEST_F(AvailabilityTest, UndoAndRedoCaptionsNameTheirSteps) {
  const Command& undo = cmd("Edit | Undo");
  const Command& redo = cmd("Edit | Redo");
  EXPECT_EQ(cleanCaption(commandCaption(editor, undo)), "Undo");
  open();
  EXPECT_EQ(cleanCaption(commandCaption(editor, undo)), "Undo");
  edit("Interpolate");
  EXPECT_EQ(commandCaption(editor, undo), "&Undo Interpolate");
  EXPECT_EQ(cleanCaption(commandCaption(editor, redo)), "Redo");
  editor.Undo1Click();
  EXPECT_EQ(cleanCaption(commandCaption(editor, undo)), "Undo");
  EXPECT_EQ(cleanCaption(commandCaption(editor, redo)), "Redo Interpolate");
  // The path does not follow the caption.
  EXPECT_EQ(menuPath(undo), "Edit | Undo");
  const Command& save = cmd("File | Save");
  EXPECT_EQ(commandCaption(editor, save), save.caption);
}

TEST_F(AvailabilityTest, TableActionsRunTheEditorsHandlers) {
  open();
  const Command& left = cmd("Edit | Edit Left");
  const Command& right = cmd("Edit | Edit Right");
  EXPECT_TRUE(left.checkItem);
  EXPECT_TRUE(isChecked(editor, left));
  invoke(editor, left);
  EXPECT_FALSE(editor.ctx.editLeft);
  EXPECT_FALSE(isChecked(editor, left));
  EXPECT_TRUE(isChecked(editor, right));
  invoke(editor, right);
  EXPECT_FALSE(editor.ctx.editRight);
  invoke(editor, left);
  EXPECT_TRUE(editor.ctx.editLeft);
  EXPECT_GE(host.repaints, 3);
  EXPECT_FALSE(isChecked(editor, cmd("File | Save")));

  edit("Fade");
  invoke(editor, cmd("File | Save"));
  EXPECT_FALSE(editor.doc->canUndo());  // written into the file

  invoke(editor, cmd("File | Close WAV File"));
  EXPECT_EQ(editor.doc, nullptr);
}

// The batch log says why a step could not run; the reason must name what is missing, and only
// that, for single, alternative and combined conditions.
TEST(CommandTableTest, UnavailableReasonNamesWhatIsMissing) {
  auto why = [](std::string_view path, const CommandState& s) {
    const Command* c = findCommand(path);
    EXPECT_NE(c, nullptr) << path;
    return c ? unavailableReason(*c, s) : std::string("(no such command)");
  };
  CommandState s;
  s.file = true;
  s.editl = s.editr = true;
  EXPECT_EQ(why("File | Save", s), "needs unsaved edits");
  EXPECT_EQ(why("Edit | Undo", s), "needs unsaved edits");
  EXPECT_EQ(why("Declicking | Save Clicks in File...", s),
            "needs stored clicks or stored false clicks");
  EXPECT_EQ(why("Edit | Execute Deletions/Insertions", s),
            "needs pending deletions or pending insertions");
  EXPECT_EQ(why("Edit | Clear Deletion Mark(s)", s), "needs a selection and pending deletions");
  EXPECT_EQ(why("Noise Reduction | Reduce Noise (Direct Overwrite)", s),
            "needs a selection and a noise fingerprint");
  EXPECT_EQ(why("Selection | Frequency Analysis...", s),
            "needs a selection of at least 4096 frames");

  s.sel = s.point = true;
  s.sellen = 100;
  s.undo = true;
  s.fingerprint = true;
  EXPECT_EQ(why("File | Save", s), "");
  EXPECT_EQ(why("Noise Reduction | Reduce Noise (Direct Overwrite)", s),
            "needs no unsaved edits (save or undo them first)");
  EXPECT_EQ(why("Selection | Frequency Analysis...", s),
            "needs a selection of at least 4096 frames");
  s.sellen = 20000;
  EXPECT_EQ(why("Blocks | Spectral Replacement (Left)", s),
            "needs a selection of at most 16384 frames");
  s.sellen = 100;
  s.editl = false;
  EXPECT_EQ(why("Blocks | Spectral Replacement (Left)", s), "needs Edit Left on");
  s.readonly = true;
  EXPECT_EQ(why("File | Save", s), "needs a file that is not read-only");

  for (const Command& c : commandTable())
    if (!isSeparator(c) && !c.action) {
      EXPECT_EQ(unavailableReason(c, s), "not built in this version") << menuPath(c);
      break;
    }
}

// Macros written by older versions name moved items by their old paths; each rename must land
// on an item that exists, or those macro steps are skipped without a word.
TEST(CommandTableTest, EveryLegacyMenuPathRenameNamesARealItem) {
  for (const auto& [from, to] : legacyMenuPathRenames()) {
    EXPECT_EQ(findCommand(from), nullptr) << from;
    EXPECT_NE(findCommand(to), nullptr) << from << " -> " << to;
  }
}

}  // namespace
}  // namespace tolmar::test
