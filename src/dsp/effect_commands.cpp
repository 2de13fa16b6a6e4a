#include "dsp/effect_commands.h"

#include "core/editor.h"

namespace tolmar {

Editor& EffectCommands::ed() {
  return static_cast<Editor&>(*this);
}
const Editor& EffectCommands::ed() const {
  return static_cast<const Editor&>(*this);
}

}  // namespace tolmar
