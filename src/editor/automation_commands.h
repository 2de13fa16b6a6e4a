#pragma once
// Macros, batch mode and options.
// A part of the editor core: Editor inherits it, so these handlers are Editor's handlers.

#include <string>
#include <vector>

#include "base/session.h"
#include "base/settings.h"
#include "config/ini_file.h"
#include "config/macro_store.h"
#include "editor/macro_runner.h"
#include "editor/shortcut_table.h"

namespace tolmar {

class Editor;

// ---- The Options dialog (id kOptionsDialogId, model OptionsModel) ----
inline constexpr char kOptionsDialogId[] = "Options";

// The tabs in their order.
enum class OptionsTab {
  FilesMenus,
  Interface,
  Operations,
  TrackSplitting,
  PlaybackRecording,
  Colours,
  MenuShortcuts
};

// OK writes the fields into `settings`. The shortcut tab changes `shortcuts` as the user sets
// them (the clash check speaks through `session`); after Cancel the owner re-reads the table
// from the file.
struct OptionsModel {
  Settings& settings;
  ShortcutTable& shortcuts;
  Session& session;
  bool showDebugItems = false;
  OptionsTab first = OptionsTab::FilesMenus;
};

class AutomationCommands {
 public:
  // VESKOR.INI as read at start-up; the macro setup dialog writes [Macros] back into it.
  IniFile iniFile;
  MacroTable macros;
  // The menu shortcuts as the user set them ([Shortcut]).
  ShortcutTable shortcuts;

  // Runs the slot's macro (nothing when the slot is empty). log: the batch log, or null.
  MacroRunStats RunMacro(int slot, std::vector<std::string>* log = nullptr);
  // Runs steps that belong to no slot, as a macro.
  MacroRunStats RunMacro(MacroDefinition& macro, std::vector<std::string>* log = nullptr);
  // A function key or a macro button: the run counts as a macro run (no close questions, one
  // repaint at its end).
  void runMacroFromKeyOrButton(int slot);
  // The main window's key handler for F1 … F12 (fkey 1 … 12) with modifiers: runs the bound
  // macro when a file is open and nothing plays. Returns whether the key was consumed.
  bool macroKeyDown(int fkey, bool shift, bool ctrl, bool alt);

  // "Options...": the Options dialog on its first tab.
  void Options1Click();
  // The Options dialog opened on `first`. Whichever button closes it, the settings are then
  // written and read back (Cancel having re-read the shortcut table first) and the window
  // repaints with the colours. Returns whether OK was pressed.
  bool runOptionsDialog(OptionsTab first);

  // "Macros...": the User Macros Setup dialog. Nothing in silent mode.
  void Macros1Click();
  // "Batch Mode...": the Batch Mode dialog. Nothing in silent mode.
  void BatchMode1Click();

 protected:
  // The whole editor, for state that other parts own.
  Editor& ed();
  const Editor& ed() const;
};

}  // namespace tolmar
