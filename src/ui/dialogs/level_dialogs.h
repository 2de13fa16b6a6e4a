#pragma once
// The Normalise and Specify Fade Amount dialogs.

#include <memory>

#include "ui/dialogs/form_dialog.h"

namespace tolmar {
struct NormaliseModel;
struct FadeFactorModel;
}  // namespace tolmar

namespace tolmar::ui {

std::unique_ptr<FormDialog> makeNormaliseDialog(NormaliseModel& m, QWidget* parent,
                                                const DialogEnv& env);
std::unique_ptr<FormDialog> makeFadeFactorDialog(FadeFactorModel& m, QWidget* parent,
                                                 const DialogEnv& env);

}  // namespace tolmar::ui
