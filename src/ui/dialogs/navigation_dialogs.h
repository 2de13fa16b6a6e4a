#pragma once
// Go to a time and mark a region by times or sample numbers.

#include "ui/dialogs/form_dialog.h"

namespace tolmar {
struct GotoTimeModel;
struct MarkRegionModel;
}  // namespace tolmar

namespace tolmar::ui {

// OK runs the model's check first: a time that is not one (or a region whose end lies before
// its start) gets its message, the field it names takes the focus, and the dialog stays open.
std::unique_ptr<FormDialog> makeGotoTimeDialog(GotoTimeModel& m, QWidget* parent,
                                               const DialogEnv& env);
std::unique_ptr<FormDialog> makeMarkRegionDialog(MarkRegionModel& m, QWidget* parent,
                                                 const DialogEnv& env);

}  // namespace tolmar::ui
