#pragma once
// The Options dialog's pages over the settings record, edited in place on OK.

#include <memory>

#include "ui/dialogs/form_dialog.h"

namespace tolmar {
struct Settings;
}

namespace tolmar::ui {

enum class OptionsTab { Operations, TrackSplitting };

// The Options dialog opened on one tab; OK writes the settings, Cancel leaves them.
std::unique_ptr<FormDialog> makeOptionsDialog(Settings& s, OptionsTab first, QWidget* parent,
                                              const DialogEnv& env);

}  // namespace tolmar::ui
