#pragma once
// The one entry the window's host calls to show the dialog for a core request.

#include <memory>
#include <string>

#include "editor/host.h"
#include "ui/dialogs/form_dialog.h"

class QWidget;

namespace tolmar::ui {

// The [Dialogpos] key of a dialog: its id in lower case, letters and digits only.
std::string dialogPositionKey(const std::string& id);

// The dialog for a request, filled from its model and placed where it was last closed when the
// environment keeps positions; none for an id without a dialog.
std::unique_ptr<FormDialog> createDialog(DialogRequest& request, QWidget* parent,
                                         const DialogEnv& env);

// Shows the request's dialog modally. True for OK: the model then holds the dialog's values.
// False for Cancel (the model is unchanged) and for an id without a dialog.
bool runDialog(DialogRequest& request, QWidget* parent, const DialogEnv& env);

}  // namespace tolmar::ui
