#include "editor/macro_dialogs.h"

#include <algorithm>

#include "editor/batch_mode.h"
#include "editor/editor.h"

namespace tolmar {

namespace {

constexpr const char* kModifierTexts[] = {"", "Shift+", "Ctrl+", "Alt+"};

bool validSlot(int slot) {
  return slot >= 1 && slot <= MacroTable::kSlots;
}

}  // namespace

// ---- Keys and buttons ----

int macroSlotForKey(int fkey, bool shift, bool ctrl, bool alt) {
  if (fkey < 1 || fkey > 12) return 0;
  if (alt) return fkey + 36;
  if (ctrl) return fkey + 24;
  if (shift) return fkey + 12;
  return fkey;
}

std::string macroKeyText(int slot) {
  if (!validSlot(slot)) return "";
  return std::string(kModifierTexts[(slot - 1) / 12]) + "F" + std::to_string((slot - 1) % 12 + 1);
}

std::string macroSlotCaption(int slot) {
  return std::to_string(slot) + " (" + macroKeyText(slot) + ")";
}

MacroButtonBar::MacroButtonBar(int buttons)
    : buttons_(buttons == 24 || buttons == 48 ? buttons : 12) {}

void MacroButtonBar::toggleShift() {
  if (hasShiftButton()) shifted_ = !shifted_;
}

std::string MacroButtonBar::shiftHint() const {
  return shifted_ ? "Switch Buttons to Macros 1-12" : "Switch Buttons to Macros 13-24";
}

int MacroButtonBar::slotOf(int button) const {
  if (button < 1 || button > buttons_) return 0;
  return shifted_ ? button + 12 : button;
}

std::string MacroButtonBar::caption(int button) const {
  const int slot = slotOf(button);
  return slot == 0 ? "" : "F" + std::to_string(slot);
}

std::string MacroButtonBar::hint(int button, const MacroTable& macros) const {
  const int slot = slotOf(button);
  if (slot == 0) return "";
  const MacroDefinition* m = macros.get(slot);
  if (m && !m->name.empty()) return m->name;
  return "Macro " + std::to_string(slot);
}

bool MacroButtonBar::enabled(int button, const MacroTable& macros,
                             const CommandState& state) const {
  const int slot = slotOf(button);
  return slot != 0 && macroButtonEnabled(macros.get(slot) != nullptr, state);
}

// ---- User Macros Setup ----

MacroSetupModel::MacroSetupModel(Context& ctx, MacroTable& macros, const PresetStore& presets,
                                 IniFile& ini, std::vector<std::string> operations)
    : ctx_(ctx), macros_(macros), presets_(presets), ini_(ini), operations_(std::move(operations)) {
  load();
}

std::vector<std::string> MacroSetupModel::slotCaptions() {
  std::vector<std::string> captions;
  for (int slot = 1; slot <= MacroTable::kSlots; ++slot) captions.push_back(macroSlotCaption(slot));
  return captions;
}

void MacroSetupModel::load() {
  const MacroDefinition* m = macros_.get(slot_);
  steps_ = m ? m->steps : std::vector<std::string>{};
  name_ = m ? m->name : std::string();
  modified_ = false;
}

bool MacroSetupModel::settleChanges() {
  if (!modified_) return true;
  switch (ctx_.ask(MsgKind::Information, Buttons::YesNoCancel, "Save Changes?")) {
    case Answer::Yes:
    case Answer::Ok:
      store();
      return true;
    case Answer::No:
      modified_ = false;
      return true;
    case Answer::Cancel:
      break;
  }
  return false;
}

bool MacroSetupModel::selectSlot(int slot) {
  if (!validSlot(slot)) return false;
  if (slot == slot_) return true;
  if (!settleChanges()) return false;
  slot_ = slot;
  load();
  return true;
}

void MacroSetupModel::setName(std::string name) {
  if (name == name_) return;
  name_ = std::move(name);
  modified_ = true;
}

void MacroSetupModel::append(std::string step) {
  steps_.push_back(std::move(step));
  modified_ = true;
}

bool MacroSetupModel::add(int operation) {
  if (operation < 0 || operation >= static_cast<int>(operations_.size())) return false;
  const std::string& path = operations_[static_cast<std::size_t>(operation)];
  std::string step = path;
  const PresetKind kind = presetKindOf(path);
  if (kind != PresetKind::None) {
    PresetPickerModel picker{kind, presetNames(presets_, kind), -1};
    DialogRequest request{kPresetPickerDialogId, &picker};
    if (ctx_.host().runDialog(request) && picker.chosen >= 0 &&
        picker.chosen < static_cast<int>(picker.names.size()))
      step += " [" + picker.names[static_cast<std::size_t>(picker.chosen)] + "]";
  }
  if (silent_) step = std::string(kSilentPrefix) + step;
  append(std::move(step));
  return true;
}

void MacroSetupModel::addRefresh() {
  append(std::string(kRefreshDisplayStep));
}

bool MacroSetupModel::callMacro() {
  MacroPickerModel picker{macros_.listLines(), -1};
  DialogRequest request{kMacroPickerDialogId, &picker};
  if (!ctx_.host().runDialog(request)) return false;
  if (picker.chosen < 0 || picker.chosen >= static_cast<int>(picker.lines.size())) return false;
  const int slot =
      MacroTable::slotFromListText(picker.lines[static_cast<std::size_t>(picker.chosen)]);
  if (slot == 0) return false;
  append(callMacroStep(slot));
  return true;
}

bool MacroSetupModel::remove(int index) {
  if (index < 0 || index >= static_cast<int>(steps_.size())) return false;
  steps_.erase(steps_.begin() + index);
  modified_ = true;
  return true;
}

bool MacroSetupModel::moveUp(int index) {
  if (index < 1 || index >= static_cast<int>(steps_.size())) return false;
  std::swap(steps_[static_cast<std::size_t>(index)], steps_[static_cast<std::size_t>(index - 1)]);
  modified_ = true;
  return true;
}

bool MacroSetupModel::moveDown(int index) {
  if (index < 0 || index + 1 >= static_cast<int>(steps_.size())) return false;
  return moveUp(index + 1);
}

void MacroSetupModel::store() {
  macros_.store(slot_, steps_, name_);
  modified_ = false;
}

bool MacroSetupModel::done() {
  if (!settleChanges()) return false;
  macros_.write(ini_);
  std::string error;
  if (!ini_.path().empty() && !ini_.save(&error)) ctx_.error(error);
  return true;
}

// ---- Batch Mode ----

BatchModeModel::BatchModeModel(Editor& editor) : editor_(editor) {
  refreshMacros();
}

std::string BatchModeModel::pageTitle() const {
  switch (page_) {
    case Page::SelectFiles:
      return "1. Select File(s) to Process";
    case Page::PickMacro:
      return "2. Pick Macro to Run";
    case Page::Progress:
      return "3. Batch Progress";
  }
  return "";
}

bool BatchModeModel::canGoBack() const {
  return page_ != Page::SelectFiles && !editor_.ctx.batchRunning;
}

bool BatchModeModel::canGoNext() const {
  switch (page_) {
    case Page::SelectFiles:
      return true;
    case Page::PickMacro:
      // A run needs files and a macro that still exists.
      return !paths_.empty() && chosenLine_ >= 0 &&
             chosenLine_ < static_cast<int>(macroLines_.size()) &&
             editor_.macros.get(MacroTable::slotFromListText(
                 macroLines_[static_cast<std::size_t>(chosenLine_)])) != nullptr;
    case Page::Progress:
      return false;
  }
  return false;
}

std::string BatchModeModel::nextCaption() const {
  return page_ == Page::PickMacro ? "Run Batch" : "Next >>";
}

void BatchModeModel::back() {
  if (!canGoBack()) return;
  page_ = page_ == Page::Progress ? Page::PickMacro : Page::SelectFiles;
}

void BatchModeModel::next() {
  if (!canGoNext()) return;
  if (page_ == Page::SelectFiles) {
    page_ = Page::PickMacro;
    return;
  }
  page_ = Page::Progress;
  run();
}

void BatchModeModel::select(const std::string& directory, const std::vector<std::string>& names) {
  const bool hasSeparator = !directory.empty() && directory.back() == '/';
  for (const std::string& name : names)
    paths_.push_back(hasSeparator ? directory + name : directory + "/" + name);
}

void BatchModeModel::removePaths(std::vector<int> indices) {
  std::sort(indices.begin(), indices.end());
  indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
  for (auto it = indices.rbegin(); it != indices.rend(); ++it)
    if (*it >= 0 && *it < static_cast<int>(paths_.size())) paths_.erase(paths_.begin() + *it);
}

void BatchModeModel::refreshMacros() {
  const std::string chosen = chosenLine_ >= 0 && chosenLine_ < static_cast<int>(macroLines_.size())
                                 ? macroLines_[static_cast<std::size_t>(chosenLine_)]
                                 : std::string();
  macroLines_ = editor_.macros.listLines();
  chosenLine_ = -1;
  // Keep the choice when its slot is still defined (its name may have changed).
  const int slot = MacroTable::slotFromListText(chosen);
  for (std::size_t i = 0; i < macroLines_.size(); ++i)
    if (slot != 0 && MacroTable::slotFromListText(macroLines_[i]) == slot)
      chosenLine_ = static_cast<int>(i);
}

void BatchModeModel::defineMacro() {
  editor_.Macros1Click();
  refreshMacros();
}

void BatchModeModel::run() {
  const int slot = MacroTable::slotFromListText(macroLines_[static_cast<std::size_t>(chosenLine_)]);
  BatchRun batch(editor_, log_, continueOnError);
  batch.start(editor_.macros.listText(slot));
  for (const std::string& path : paths_) batch.file(path, slot);
  batch.finish();
  failedFiles_ = batch.failedFiles();
  ran_ = true;
}

}  // namespace tolmar
