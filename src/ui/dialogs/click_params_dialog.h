#pragma once
// The "Click Detection/Repair Parameters" dialog.

#include <memory>

#include "ui/dialogs/form_dialog.h"

namespace tolmar {
class ClickParamsDialog;
}

namespace tolmar::ui {

// Accepted by OK and by "Save Settings & Find All Clicks" (the model's choice says which).
std::unique_ptr<FormDialog> makeClickParamsDialog(ClickParamsDialog& m, QWidget* parent,
                                                  const DialogEnv& env);

}  // namespace tolmar::ui
