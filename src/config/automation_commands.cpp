#include "config/automation_commands.h"

#include "core/editor.h"

namespace tolmar {

Editor& AutomationCommands::ed() {
  return static_cast<Editor&>(*this);
}
const Editor& AutomationCommands::ed() const {
  return static_cast<const Editor&>(*this);
}

}  // namespace tolmar
