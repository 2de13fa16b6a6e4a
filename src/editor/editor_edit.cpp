// The Edit menu's channel switches.

#include "editor/editor.h"

namespace tolmar {

// The display greys out a channel whose editing is off, so each toggle repaints.
void Editor::EditLeftClick() {
  ctx.editLeft = !ctx.editLeft;
  ctx.host().requestRepaint(Repaint::all());
  ctx.host().refreshCommands();
}

void Editor::EditRightClick() {
  ctx.editRight = !ctx.editRight;
  ctx.host().requestRepaint(Repaint::all());
  ctx.host().refreshCommands();
}

}  // namespace tolmar
