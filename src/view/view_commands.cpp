#include "view/view_commands.h"

#include "core/editor.h"

namespace tolmar {

Editor& ViewCommands::ed() {
  return static_cast<Editor&>(*this);
}
const Editor& ViewCommands::ed() const {
  return static_cast<const Editor&>(*this);
}

}  // namespace tolmar
