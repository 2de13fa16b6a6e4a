#include "editor/shortcut_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/context.h"
#include "support/scripted_host.h"

namespace tolmar::test {
namespace {

const Command& cmd(const std::string& path) {
  const Command* c = findCommand(path);
  if (!c) throw std::runtime_error("no command " + path);
  return *c;
}

TEST(ShortcutTableTest, StartsFromTheBuiltInDefaults) {
  ShortcutTable t;
  EXPECT_EQ(t.shortcut(cmd("File | Open WAV File...")), "Ctrl+O");
  EXPECT_EQ(t.shortcut(cmd("File | Save")), "Ctrl+S");
  EXPECT_EQ(t.shortcut(cmd("Edit | Undo")), "Ctrl+Del");
  EXPECT_EQ(t.shortcut(cmd("Edit | Redo")), "Ctrl+Ins");
  EXPECT_EQ(t.shortcut(cmd("Cue Points | Add Cue Point...")), "Ctrl+Q");
  EXPECT_EQ(t.shortcut(cmd("Cue Points | Delete Cue Point(s)")), "Shift+Ctrl+Q");
  EXPECT_EQ(t.shortcut(cmd("Cue Points | Goto Cue Point...")), "Q");
  EXPECT_EQ(t.shortcut(cmd("File | Exit")), "");
  EXPECT_FALSE(t.changed());
}

TEST(ShortcutTableTest, ReadingStopsAtTheFirstGap) {
  IniFile ini;
  ini.writeString("Shortcut", "sc1", "File | Save~Ctrl+W");
  ini.writeString("Shortcut", "sc2", "Edit | Undo~");  // no shortcut
  ini.writeString("Shortcut", "sc4", "File | Close WAV File~Ctrl+K");
  ShortcutTable t;
  t.read(ini);
  EXPECT_EQ(t.shortcut(cmd("File | Save")), "Ctrl+W");
  EXPECT_EQ(t.shortcut(cmd("Edit | Undo")), "");
  EXPECT_EQ(t.shortcut(cmd("File | Close WAV File")), "");  // sc4 is never reached
  EXPECT_EQ(t.shortcut(cmd("File | Open WAV File...")), "Ctrl+O");
}

TEST(ShortcutTableTest, ReadingTakesTheTextAfterTheFirstTildeAndSkipsWhatItCannotPlace) {
  IniFile ini;
  ini.writeString("shortcut", "SC1", "Declicking | Find All Clicks~Alt+~");
  ini.writeString("Shortcut", "sc2", "Declicking | No Such Command~Ctrl+J");
  ini.writeString("Shortcut", "sc3", "File | Save Ctrl+J");  // no "~"
  ini.writeString("Shortcut", "sc4", "file | save~Ctrl+J");  // paths are exact
  ini.writeString("Shortcut", "sc5", "File | Recent~Ctrl+J");
  ini.writeString("Shortcut", "sc6", "Markers | Clear All Markers~Ctrl+M");
  ShortcutTable t;
  t.set(cmd("File | Exit"), "Alt+X");
  t.read(ini);
  EXPECT_EQ(t.shortcut(cmd("Declicking | Find All Clicks")), "Alt+~");
  EXPECT_EQ(t.shortcut(cmd("File | Save")), "Ctrl+S");
  EXPECT_EQ(t.shortcut(cmd("Markers | Clear All Markers")), "Ctrl+M");
  // A re-read (the Options dialog's Cancel) undoes changes the file does not hold.
  EXPECT_EQ(t.shortcut(cmd("File | Exit")), "");
  EXPECT_FALSE(t.changed());
}

TEST(ShortcutTableTest, WritesOnlyWhenChanged) {
  IniFile ini;
  ini.writeString("Shortcut", "sc1", "File | Save~Ctrl+W");
  ShortcutTable t;
  EXPECT_FALSE(t.write(ini, false));
  EXPECT_EQ(ini.keyNames("Shortcut").size(), 1u);
  EXPECT_EQ(*ini.value("Shortcut", "sc1"), "File | Save~Ctrl+W");

  t.set(cmd("File | Save"), "Ctrl+S");  // the same text is no change
  EXPECT_FALSE(t.changed());
  t.set(cmd("File | Exit"), "Alt+X");
  EXPECT_TRUE(t.changed());
  ini.writeString("Shortcut", "sc999", "stale");
  ASSERT_TRUE(t.write(ini, false));

  const std::vector<std::string> paths = eligibleMenuPaths(false);
  const std::vector<std::string> keys = ini.keyNames("Shortcut");
  ASSERT_EQ(keys.size(), paths.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    EXPECT_EQ(keys[i], "sc" + std::to_string(i + 1));
    const std::string value = *ini.value("Shortcut", keys[i]);
    EXPECT_EQ(value.substr(0, value.find('~')), paths[i]);
  }
  EXPECT_EQ(*ini.value("Shortcut", "sc1"), "File | Open WAV File...~Ctrl+O");
  EXPECT_EQ(*ini.value("Shortcut", "sc2"), "File | Close WAV File~");
  EXPECT_FALSE(ini.value("Shortcut", "sc999"));
}

TEST(ShortcutTableTest, RoundTripThroughTheFile) {
  ShortcutTable t;
  t.set(cmd("File | Exit"), "Alt+X");
  t.set(cmd("Edit | Undo"), "");
  t.set(cmd("Blocks | Nudge Up (Left)"), "Shift+Alt+Up");
  IniFile ini;
  ASSERT_TRUE(t.write(ini, false));
  IniFile reread;
  reread.parse(ini.serialise());
  ShortcutTable back;
  back.set(cmd("File | Save"), "Ctrl+F");  // overwritten by the file
  back.read(reread);
  for (const Command& c : commandTable()) EXPECT_EQ(back.shortcut(c), t.shortcut(c)) << c.caption;
  EXPECT_EQ(back.shortcut(cmd("Blocks | Nudge Up (Left)")), "Shift+Alt+Up");
}

TEST(ShortcutTableTest, EligibleItemsLeaveOutSeparatorsAndHiddenItems) {
  const std::vector<const Command*> shown = eligibleCommands(false);
  const std::vector<const Command*> debug = eligibleCommands(true);
  EXPECT_EQ(debug.size(), shown.size() + 1);
  size_t items = 0;
  for (const Command& c : commandTable()) items += !isSeparator(c);
  EXPECT_EQ(debug.size(), items);
  for (const Command* c : shown) {
    EXPECT_FALSE(isSeparator(*c));
    EXPECT_NE(c->handler, "DecracklePreview1Click");
    if (cleanCaption(c->menu) == "File") {
      EXPECT_LT(menuPosition(*c), kFileMenuFixedItems);
    }
    if (cleanCaption(c->menu) == "View") {
      EXPECT_LT(menuPosition(*c), kViewMenuFixedItems);
    }
  }
  // Menu order.
  for (size_t i = 1; i < shown.size(); ++i)
    EXPECT_LT(commandIndex(*shown[i - 1]), commandIndex(*shown[i]));
  const std::vector<std::string> paths = eligibleMenuPaths(false);
  EXPECT_EQ(paths.front(), "File | Open WAV File...");
  EXPECT_EQ(paths.back(), "Play/Record | Input (Record) New WAV File");
}

TEST(ShortcutTableTest, ClashesCompareKeysNotSpelling) {
  ShortcutTable t;
  EXPECT_TRUE(t.clashes(cmd("File | Open WAV File..."), false).empty());
  EXPECT_TRUE(t.clashes(cmd("File | Exit"), false).empty());  // no shortcut, no clash
  t.set(cmd("File | Exit"), "ctrl+o");
  EXPECT_EQ(t.clashes(cmd("File | Exit"), false),
            std::vector<std::string>{"File | Open WAV File..."});
  EXPECT_EQ(t.clashes(cmd("File | Open WAV File..."), false),
            std::vector<std::string>{"File | Exit"});
  t.set(cmd("Markers | Clear All Markers"), "Ctrl+Shift+Q");
  EXPECT_EQ(t.clashes(cmd("Markers | Clear All Markers"), false),
            std::vector<std::string>{"Cue Points | Delete Cue Point(s)"});
  t.set(cmd("Markers | Clear All Markers"), "Ctrl+Alt+Q");
  EXPECT_TRUE(t.clashes(cmd("Markers | Clear All Markers"), false).empty());
  // A hidden item is not listed, so it clashes with nothing.
  t.set(cmd("Noise Reduction | Decrackle Preview"), "Ctrl+O");
  EXPECT_EQ(t.clashes(cmd("File | Open WAV File..."), false).size(), 1u);
  EXPECT_EQ(t.clashes(cmd("File | Open WAV File..."), true).size(), 2u);
}

TEST(ShortcutTableTest, SetButtonReportsClashesAndBacksOutOnYes) {
  ScriptedHost host;
  Context ctx{host};
  host.ctx = &ctx;
  ShortcutTable t;
  const Command& exit = cmd("File | Exit");

  host.answers = {Answer::Yes};
  EXPECT_FALSE(setShortcutChecked(t, exit, "Ctrl+S", ctx, false));
  EXPECT_EQ(t.shortcut(exit), "");
  EXPECT_TRUE(t.changed());
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Menu item \"File | Save\" has the same shortcut");
  EXPECT_TRUE(host.asked("Do you wish to back out this clashing shortcut change?"));

  host.answers = {Answer::No};
  EXPECT_TRUE(setShortcutChecked(t, exit, "Ctrl+S", ctx, false));
  EXPECT_EQ(t.shortcut(exit), "Ctrl+S");

  host.questions.clear();
  EXPECT_TRUE(setShortcutChecked(t, exit, "Alt+F4", ctx, false));
  EXPECT_TRUE(host.questions.empty());
}

TEST(ShortcutTableTest, ComposedTextsPutModifiersInOrder) {
  EXPECT_EQ(composeShortcut(true, true, true, "Del"), "Shift+Ctrl+Alt+Del");
  EXPECT_EQ(composeShortcut(false, true, false, "Q"), "Ctrl+Q");
  EXPECT_EQ(composeShortcut(true, false, false, ""), "");
  EXPECT_TRUE(sameShortcut("Alt+Shift+pgup", "Shift+Alt+PgUp"));
  EXPECT_FALSE(sameShortcut("Q", "Shift+Q"));
  const auto& keys = shortcutKeyNames();
  EXPECT_EQ(keys.front(), "A");
  EXPECT_NE(std::find(keys.begin(), keys.end(), "PgDn"), keys.end());
}

}  // namespace
}  // namespace tolmar::test
