#include "editor/audio_commands.h"

#include "editor/editor.h"

namespace tolmar {

Editor& AudioCommands::ed() {
  return static_cast<Editor&>(*this);
}
const Editor& AudioCommands::ed() const {
  return static_cast<const Editor&>(*this);
}

}  // namespace tolmar
