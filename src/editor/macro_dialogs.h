#pragma once
// The models behind the macro dialogs and the macro keys: the User Macros Setup dialog, the
// Batch Mode dialog, the preset and macro pickers, the function-key binding and the macro button
// bar. The window only draws them: its widgets call these methods, and each dialog is shown
// through Host::runDialog with its model.

#include <string>
#include <vector>

#include "config/macro_store.h"
#include "config/presets.h"
#include "editor/command_table.h"
#include "editor/context.h"
#include "editor/macro_runner.h"

namespace tolmar {

class Editor;

inline constexpr char kMacroSetupDialogId[] = "UserMacrosSetup";  // MacroSetupModel
inline constexpr char kBatchModeDialogId[] = "BatchMode";         // BatchModeModel
inline constexpr char kPresetPickerDialogId[] = "PresetPicker";   // PresetPickerModel
inline constexpr char kMacroPickerDialogId[] = "MacroPicker";     // MacroPickerModel

// ---- Keys and buttons ----

// F1 … F12 alone run macros 1 … 12; with Shift 13 … 24, Ctrl 25 … 36, Alt 37 … 48. Alt wins
// over Ctrl and Ctrl over Shift. 0 for a key outside F1 … F12.
int macroSlotForKey(int fkey, bool shift, bool ctrl, bool alt);
// "F1", "Shift+F1", "Ctrl+F1", "Alt+F12" for slots 1 … 48.
std::string macroKeyText(int slot);
// The setup dialog's slot captions: "1 (F1)" … "13 (Shift+F1)" … "48 (Alt+F12)".
std::string macroSlotCaption(int slot);

// The macro button bar: 12 buttons with a shift button that switches them between macros 1–12
// and 13–24, or the wider layouts of 24 and 48 buttons that run macro k directly.
class MacroButtonBar {
 public:
  // 12, 24 or 48 buttons; anything else is taken as 12.
  explicit MacroButtonBar(int buttons = 12);
  int buttonCount() const { return buttons_; }
  // The shift button exists only on the 12-button bar.
  bool hasShiftButton() const { return buttons_ == 12; }
  bool shifted() const { return shifted_; }
  void toggleShift();
  // "Switch Buttons to Macros 13-24", or "... 1-12" while shifted.
  std::string shiftHint() const;
  // Button k (1 … buttonCount) runs this slot; 0 for a button that does not exist.
  int slotOf(int button) const;
  // "F1" … "F12", "F13" … "F24" while shifted; "F" and the slot on the wider bars.
  std::string caption(int button) const;
  // The macro's name, or "Macro " and its number when it has none.
  std::string hint(int button, const MacroTable& macros) const;
  bool enabled(int button, const MacroTable& macros, const CommandState& state) const;

 private:
  int buttons_;
  bool shifted_ = false;
};

// ---- Pickers ----

// Lists one preset family's names; OK with `chosen` the index of a name.
struct PresetPickerModel {
  PresetKind kind = PresetKind::None;
  std::vector<std::string> names;
  int chosen = -1;
};

// Lists the defined macros ("Macro #7 [Name]"); OK with `chosen` the index of a line.
struct MacroPickerModel {
  std::vector<std::string> lines;
  int chosen = -1;
};

// ---- "User Macros Setup" ----

class MacroSetupModel {
 public:
  static constexpr const char* kCaption = "User Macros Setup";

  // Works on the table in place; Done writes [Macros] into `ini` and saves it. operations: the
  // menu paths a step may name (eligibleMenuPaths of the shortcut table).
  MacroSetupModel(Context& ctx, MacroTable& macros, const PresetStore& presets, IniFile& ini,
                  std::vector<std::string> operations);

  static std::vector<std::string> slotCaptions();
  int slot() const { return slot_; }
  // Changing the slot with unsaved edits asks "Save Changes?": Yes stores, No discards, Cancel
  // keeps the current slot and returns false.
  bool selectSlot(int slot);

  const std::vector<std::string>& operations() const { return operations_; }
  const std::vector<std::string>& steps() const { return steps_; }
  const std::string& name() const { return name_; }
  void setName(std::string name);
  bool silent() const { return silent_; }
  void setSilent(bool on) { silent_ = on; }
  bool modified() const { return modified_; }

  // "Add  >>": appends the operation; a preset-capable one offers its family's presets first
  // (" [name]" is appended on OK). "<Silent> " goes in front when Silent Mode is checked.
  // False for an index outside the list.
  bool add(int operation);
  // "Add Refresh >>"
  void addRefresh();
  // "Call Macro >>": picks a defined macro; false when none was picked.
  bool callMacro();
  // "Remove" and the arrows act on the step at `index`; false when nothing moved.
  bool remove(int index);
  bool moveUp(int index);
  bool moveDown(int index);
  // "Store": the steps and the name go into the slot; no steps frees it.
  void store();
  // "Done": unsaved edits ask "Save Changes?" first (Cancel keeps the dialog open: false);
  // then [Macros] is written and the file saved.
  bool done();

 private:
  void load();
  // Yes stores, No discards; false for Cancel.
  bool settleChanges();
  void append(std::string step);

  Context& ctx_;
  MacroTable& macros_;
  const PresetStore& presets_;
  IniFile& ini_;
  std::vector<std::string> operations_;
  int slot_ = 1;
  std::vector<std::string> steps_;
  std::string name_;
  bool silent_ = false;
  bool modified_ = false;
};

// ---- "Batch Mode" ----

class BatchModeModel {
 public:
  static constexpr const char* kCaption = "Batch Mode";
  enum class Page { SelectFiles = 1, PickMacro = 2, Progress = 3 };

  explicit BatchModeModel(Editor& editor);

  Page page() const { return page_; }
  // "1. Select File(s) to Process", "2. Pick Macro to Run", "3. Batch Progress"
  std::string pageTitle() const;
  bool canGoBack() const;
  bool canGoNext() const;
  // "Next >>", or "Run Batch" on the second page.
  std::string nextCaption() const;
  void back();
  // From the first page to the second; on the second, "Run Batch" runs and shows the third.
  void next();

  // Page 1: "Select" adds directory + "/" + name for each name (no doubled separator);
  // "Remove" deletes the paths at the given indices.
  void select(const std::string& directory, const std::vector<std::string>& names);
  void removePaths(std::vector<int> indices);
  const std::vector<std::string>& paths() const { return paths_; }

  // Page 2: the defined macros' list texts, the chosen line, "Define Macro...", and the
  // "Continue Macro Execution After Errors" box.
  const std::vector<std::string>& macroLines() const { return macroLines_; }
  void chooseMacro(int line) { chosenLine_ = line; }
  int chosenMacroLine() const { return chosenLine_; }
  void defineMacro();
  bool continueOnError = false;

  // Page 3: the log, growing while the batch runs.
  const std::vector<std::string>& log() const { return log_; }
  bool ran() const { return ran_; }
  // Files whose run refused a step, failed to open, or logged an error.
  int failedFiles() const { return failedFiles_; }

 private:
  void refreshMacros();
  void run();

  Editor& editor_;
  Page page_ = Page::SelectFiles;
  std::vector<std::string> paths_;
  std::vector<std::string> macroLines_;
  int chosenLine_ = -1;
  std::vector<std::string> log_;
  bool ran_ = false;
  int failedFiles_ = 0;
};

}  // namespace tolmar
