#pragma once
// The keyboard shortcut of every menu command as the user has set it, and the [Shortcut]
// section of VESKOR.INI that keeps it. Each value there is "menu path~shortcut text"; the
// built-in defaults of the command table apply to every item the section does not mention.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "config/ini_file.h"
#include "editor/command_table.h"

namespace tolmar {

class Session;

inline constexpr const char* kShortcutSection = "Shortcut";
inline constexpr const char* kBackOutClashQuestion =
    "Do you wish to back out this clashing shortcut change?";

class ShortcutTable {
 public:
  // Every command at its built-in default.
  ShortcutTable();

  // The current shortcut text of a command of the table ("" for none).
  const std::string& shortcut(const Command& c) const;
  // Assigns a shortcut ("" removes it); a change sets the changed flag.
  void set(const Command& c, std::string text);
  void resetToDefaults();

  // Whether the table differs from what [Shortcut] was last read as, so must be written.
  bool changed() const { return changed_; }
  void setChanged(bool changed) { changed_ = changed; }

  // Back to the defaults, then sc1, sc2, … until the first missing or empty value; each value
  // whose path names a command sets its shortcut from the text after the first "~". Values
  // without a "~" and paths that name nothing are ignored. Clears the changed flag, since the
  // table now matches the file.
  void read(const IniFile& ini);
  // Only when changed: erases [Shortcut] and writes every eligible item in menu order.
  // Returns whether it wrote.
  bool write(IniFile& ini, bool showDebugItems) const;

  // The Options dialog's clash check: the paths of the other eligible items whose shortcut is
  // the same as c's, in menu order. None when c has no shortcut.
  std::vector<std::string> clashes(const Command& c, bool showDebugItems) const;

 private:
  std::vector<std::string> keys_;  // parallel to commandTable()
  bool changed_ = false;
};

// The items the [Shortcut] section, the macro setup dialog and the Options shortcut tab list,
// in menu order: visible, not separators, not the recent files nor the view history.
std::vector<const Command*> eligibleCommands(bool showDebugItems);
std::vector<std::string> eligibleMenuPaths(bool showDebugItems);

// "Menu item \"File | Save\" has the same shortcut"
std::string shortcutClashText(const std::string& path);

// The Options dialog's "Set": assigns the shortcut, reports every clash, then asks whether to
// back the change out (Yes restores the previous shortcut). Returns whether the new shortcut
// stayed.
bool setShortcutChecked(ShortcutTable& table, const Command& c, const std::string& text,
                        Session& ctx, bool showDebugItems);

// The shortcut text the Options dialog builds: "Shift+", "Ctrl+", "Alt+" in that order, then
// the key name. No key gives no shortcut.
std::string composeShortcut(bool shift, bool ctrl, bool alt, std::string_view key);
// Whether two shortcut texts mean the same keys: modifiers in any order, names in any case.
bool sameShortcut(std::string_view a, std::string_view b);
// The key names the Options dialog offers.
const std::vector<std::string>& shortcutKeyNames();

}  // namespace tolmar
