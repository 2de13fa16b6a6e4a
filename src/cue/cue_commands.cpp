#include "cue/cue_commands.h"

#include "core/editor.h"

namespace tolmar {

Editor& CueCommands::ed() {
  return static_cast<Editor&>(*this);
}
const Editor& CueCommands::ed() const {
  return static_cast<const Editor&>(*this);
}

}  // namespace tolmar
