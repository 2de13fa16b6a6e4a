#pragma once
// Macros, batch mode and options.
// A part of the editor core: Editor inherits it, so these handlers are Editor's handlers.

#include "config/shortcut_table.h"

namespace tolmar {

class Editor;

class AutomationCommands {
 public:
  // The menu shortcuts as the user set them ([Shortcut]).
  ShortcutTable shortcuts;

 protected:
  // The whole editor, for state that other parts own.
  Editor& ed();
  const Editor& ed() const;
};

}  // namespace tolmar
