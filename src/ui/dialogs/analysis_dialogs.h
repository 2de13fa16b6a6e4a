#pragma once
// Selection Statistics and the spectral precision choice.

#include <memory>

#include "ui/dialogs/form_dialog.h"

namespace tolmar {
struct SelectionStatsModel;
struct SetPrecisionModel;
}  // namespace tolmar

namespace tolmar::ui {

// Read-only texts; "To Clipboard" copies them as text, "Close" closes.
std::unique_ptr<FormDialog> makeSelectionStatsDialog(SelectionStatsModel& m, QWidget* parent,
                                                     const DialogEnv& env);
std::unique_ptr<FormDialog> makeSetPrecisionDialog(SetPrecisionModel& m, QWidget* parent,
                                                   const DialogEnv& env);

}  // namespace tolmar::ui
