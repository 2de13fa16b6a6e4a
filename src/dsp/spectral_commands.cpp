#include "dsp/spectral_commands.h"

#include "core/editor.h"

namespace tolmar {

Editor& SpectralCommands::ed() {
  return static_cast<Editor&>(*this);
}
const Editor& SpectralCommands::ed() const {
  return static_cast<const Editor&>(*this);
}

}  // namespace tolmar
