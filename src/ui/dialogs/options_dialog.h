#pragma once
// The Options dialog: seven tabs over the settings record (edited in place on OK), the colour
// table and the menu shortcuts.

#include <memory>

#include "editor/automation_commands.h"
#include "ui/dialogs/form_dialog.h"

namespace tolmar::ui {

// The Options dialog opened on the model's first tab; OK writes the settings, Cancel leaves
// them. Shortcut changes go into the model's table at once (its owner re-reads it on Cancel).
std::unique_ptr<FormDialog> makeOptionsDialog(OptionsModel& model, QWidget* parent,
                                              const DialogEnv& env);

// The colour table in the order of the Colours tab, with its captions and INI keys.
struct ColourEntry {
  const char* caption;
  const char* key;
  uint32_t Settings::Colours::*field;
};
const std::vector<ColourEntry>& colourEntries();

// Splits "Shift+Ctrl+Del" into the modifier boxes and the key name.
struct ShortcutParts {
  bool shift = false, ctrl = false, alt = false;
  QString key;
};
ShortcutParts splitShortcut(const QString& text);

}  // namespace tolmar::ui
