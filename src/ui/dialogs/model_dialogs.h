#pragma once
// Factories for the dialogs over the core's plain models. Each returns the dialog filled from
// its model; OK writes the model in place.

#include <cstdint>
#include <functional>
#include <memory>

#include "ui/dialogs/form_dialog.h"

namespace tolmar {
struct RewriteHeaderModel;
struct UnsupportedFormatModel;
struct ConfirmTruncationModel;
struct SetInsertionLengthModel;
struct AddSurroundingSilenceModel;
struct SelectReplacementDataModel;
struct FindClicksResultModel;
struct GotoClickModel;
struct AddCueModel;
struct RegularCuesModel;
struct GotoCueModel;
struct DisplayTrackModel;
struct CdTextModel;
struct ExistingCueFileModel;
struct CompatParamsModel;
struct PresetPickerModel;
struct MacroPickerModel;
}  // namespace tolmar

namespace tolmar::ui {

using DialogPtr = std::unique_ptr<FormDialog>;

DialogPtr makeRewriteHeaderDialog(RewriteHeaderModel& m, QWidget* parent, const DialogEnv& env);
// OK ("Rewrite Header...") opens the rewrite dialog; the dialog is accepted only when that one is.
DialogPtr makeUnsupportedFormatDialog(UnsupportedFormatModel& m, QWidget* parent,
                                      const DialogEnv& env);
DialogPtr makeConfirmTruncationDialog(ConfirmTruncationModel& m, QWidget* parent,
                                      const DialogEnv& env);
DialogPtr makeSetInsertionLengthDialog(SetInsertionLengthModel& m, QWidget* parent,
                                       const DialogEnv& env);
DialogPtr makeAddSurroundingSilenceDialog(AddSurroundingSilenceModel& m, QWidget* parent,
                                          const DialogEnv& env);
DialogPtr makeSelectReplacementDataDialog(SelectReplacementDataModel& m, QWidget* parent,
                                          const DialogEnv& env);
// "Find Clicks Result": the count and OK, with Remove enabled when the count is at least 1.
// Remove calls `remove`; when that ran, the window closes as by OK. The window may stay open
// beside the editor while the user goes on working.
class FindClicksResultWindow : public FormDialog {
 public:
  FindClicksResultWindow(int32_t count, std::function<bool()> remove, QWidget* parent,
                         const DialogEnv& env);
  QPushButton* removeButton() const { return removeButton_; }
  int32_t count() const { return count_; }
  // Whether Remove could run now (the owner's idle pass): enabled only with a count of 1 or more.
  void setRemoveAvailable(bool available);

 private:
  int32_t count_;
  std::function<bool()> remove_;
  QPushButton* removeButton_;
};

// The modal form over the model: Remove sets removeRequested.
DialogPtr makeFindClicksResultDialog(FindClicksResultModel& m, QWidget* parent,
                                     const DialogEnv& env);
DialogPtr makeGotoClickDialog(GotoClickModel& m, QWidget* parent, const DialogEnv& env);
DialogPtr makeAddCueDialog(AddCueModel& m, QWidget* parent, const DialogEnv& env);
DialogPtr makeRegularCuesDialog(RegularCuesModel& m, QWidget* parent, const DialogEnv& env);
DialogPtr makeGotoCueDialog(GotoCueModel& m, QWidget* parent, const DialogEnv& env);
DialogPtr makeDisplayTrackDialog(DisplayTrackModel& m, QWidget* parent, const DialogEnv& env);
DialogPtr makeCdTextDialog(CdTextModel& m, QWidget* parent, const DialogEnv& env);
DialogPtr makeExistingCueFileDialog(ExistingCueFileModel& m, QWidget* parent, const DialogEnv& env);
DialogPtr makeCompatParamsDialog(CompatParamsModel& m, QWidget* parent, const DialogEnv& env);
DialogPtr makePresetPickerDialog(PresetPickerModel& m, QWidget* parent, const DialogEnv& env);
DialogPtr makeMacroPickerDialog(MacroPickerModel& m, QWidget* parent, const DialogEnv& env);

}  // namespace tolmar::ui
