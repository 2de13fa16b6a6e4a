#include "declick/declick_commands.h"

#include "core/editor.h"

namespace tolmar {

Editor& DeclickCommands::ed() {
  return static_cast<Editor&>(*this);
}
const Editor& DeclickCommands::ed() const {
  return static_cast<const Editor&>(*this);
}

}  // namespace tolmar
