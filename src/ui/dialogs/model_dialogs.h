#pragma once
// Factories for the dialogs over the core's plain models. Each returns the dialog filled from
// its model; OK writes the model in place.

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
