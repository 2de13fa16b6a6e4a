#include "declick/repair_commands.h"

#include "core/editor.h"

namespace tolmar {

Editor& RepairCommands::ed() {
  return static_cast<Editor&>(*this);
}
const Editor& RepairCommands::ed() const {
  return static_cast<const Editor&>(*this);
}

}  // namespace tolmar
