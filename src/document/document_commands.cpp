#include "document/document_commands.h"

#include "core/editor.h"

namespace tolmar {

Editor& DocumentCommands::ed() {
  return static_cast<Editor&>(*this);
}
const Editor& DocumentCommands::ed() const {
  return static_cast<const Editor&>(*this);
}

}  // namespace tolmar
