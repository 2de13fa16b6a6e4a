#pragma once
// The command table: every menu command of the program, once. Menus, tool buttons, the
// [Shortcut] section, macros (which name items by menu path), tolmar-batch and the availability
// pass all read this table; nothing else lists commands.

#include <cstddef>
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
  // [Debug] dcp: the items hidden for debugging are shown (and may then be enabled).
  bool showDebugItems = false;
};

// The preset families a macro step may name after a command, by the preset picker's kind codes.
enum class PresetKind { None = -1, Declick = 0, Filter = 1, Equaliser = 2, ChannelMix = 3 };

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
  CheckedState checked = nullptr;    // the check mark, once the state it shows exists
  bool visible = true;
  bool checkItem = false;  // shows a check mark
  bool debugItem = false;  // hidden unless [Debug] dcp is on
  // The family a step's " [preset name]" loads from before the command runs.
  PresetKind presets = PresetKind::None;
};

// Every item of every top-level menu, in menu order (separators included, so that positions
// within a menu are those of the menu).
const std::vector<Command>& commandTable();
// The top-level captions (with their "&") in menu order.
std::vector<std::string_view> topLevelMenus();

// The File menu's fixed items; the recent files follow from this position on.
inline constexpr int kFileMenuFixedItems = 14;
// The View menu's fixed items; the view history follows from this position on.
inline constexpr int kViewMenuFixedItems = 21;

// "&Declicking" + "Find &All Clicks" -> "Declicking | Find All Clicks".
std::string cleanCaption(std::string_view caption);
std::string menuPath(const Command& c);
// Looks a command up by its menu path (captions compared without their "&", exactly as typed:
// the case counts). Separators are never found.
const Command* findCommand(std::string_view path);
const Command* findHandler(std::string_view handler);
// Position of the row in commandTable(), and of the item within its top-level menu.
size_t commandIndex(const Command& c);
int menuPosition(const Command& c);

bool isSeparator(const Command& c);
bool isVisible(const Command& c, bool showDebugItems);

CommandState computeCommandState(const Editor& editor);
// Built, visible, not a separator, and its predicate holds.
bool isEnabled(const Command& c, const CommandState& state);
// Why a command is not enabled in that state, from its availability predicate: "needs a
// selection", "needs stored clicks or stored false clicks", "not built in this version"; empty
// when it is enabled.
std::string unavailableReason(const Command& c, const CommandState& state);
// The check mark (false for plain items and for check items whose state is not built).
bool isChecked(const Editor& editor, const Command& c);
// The caption the menu shows now: Undo and Redo name the step they would take ("&Undo
// Interpolate"); every other item shows its table caption. Menu paths always use the table
// caption, so that "Edit | Undo" stays one name whatever the undo list holds.
std::string commandCaption(const Editor& editor, const Command& c);
// Runs the command's action (nothing for a command that is not built).
void invoke(Editor& editor, const Command& c);

// Macro button k: enabled when its slot holds a macro and no recording runs.
bool macroButtonEnabled(bool slotDefined, const CommandState& state);

}  // namespace tolmar
