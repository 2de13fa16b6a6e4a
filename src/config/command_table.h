#pragma once
// The command table: every menu command of the program, once. Menus, tool buttons, the
// [Shortcut] section, macros (which name items by menu path), tolmar-batch and the availability
// pass all read this table; nothing else lists commands.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tolmar {

class Editor;

// The state predicates of one availability pass.
struct CommandState {
  bool file = false;  // a document is open and no recording runs
  bool sel = false;   // selection start < end
  int64_t sellen = 0;
  bool point = false;  // selection start >= 0
  bool undo = false, redo = false;
  bool clicks = false, falseClicks = false, currentClick = false;
  bool markers = false, cues = false;
  bool deletions = false, insertions = false;
  bool views = false, remembered = false;
  bool compat = false, overlay = false, fingerprint = false;
  bool clipwave = false, readonly = false;
  bool playdev = false, recdev = false, playing = false, recording = false;
  bool editl = false, editr = false;
  bool direct = false;  // sel and not undo and not readonly
};

using Availability = bool (*)(const CommandState&);
using Action = void (Editor::*)();
using CheckedState = bool (*)(const Editor&);

struct Command {
  std::string_view menu;             // top-level caption with its "&", e.g. "&Declicking"
  std::string_view caption;          // item caption with its "&"; "-" for a separator
  std::string_view handler;          // established handler name, e.g. "FindAllClicks1Click"
  std::string_view shortcut;         // default shortcut text ("Ctrl+O"), empty for none
  Availability available = nullptr;  // null for separators
  Action action = nullptr;           // null while the command is not built: never enabled
  CheckedState checked = nullptr;    // non-null for check items
  bool visible = true;
};

// Every item of every top-level menu, in menu order (separators included, so that positions
// within a menu are those of the menu).
const std::vector<Command>& commandTable();

// "&Declicking" + "Find &All Clicks" -> "Declicking | Find All Clicks".
std::string cleanCaption(std::string_view caption);
std::string menuPath(const Command& c);
// Looks a command up by its menu path (captions compared without their "&").
const Command* findCommand(std::string_view path);
const Command* findHandler(std::string_view handler);

CommandState computeCommandState(const Editor& editor);
// Built, visible, not a separator, and its predicate holds.
bool isEnabled(const Command& c, const CommandState& state);
// Runs the command's action (nothing for a command that is not built).
void invoke(Editor& editor, const Command& c);

}  // namespace tolmar
