#pragma once
// "User Macros Setup" and "Batch Mode": the widgets over the core's MacroSetupModel and
// BatchModeModel, which own every rule of the two dialogs.

#include <memory>

#include "ui/dialogs/form_dialog.h"

namespace tolmar {
class MacroSetupModel;
class BatchModeModel;
}  // namespace tolmar

namespace tolmar::ui {

// Done (or Escape) settles unsaved edits ("Save Changes?") and writes [Macros]; Cancel in that
// question keeps the dialog open.
std::unique_ptr<FormDialog> makeMacroSetupDialog(MacroSetupModel& m, QWidget* parent,
                                                 const DialogEnv& env);

// Three pages shown one at a time; "Run Batch" runs the batch and shows its log.
std::unique_ptr<FormDialog> makeBatchModeDialog(BatchModeModel& m, QWidget* parent,
                                                const DialogEnv& env);

}  // namespace tolmar::ui
