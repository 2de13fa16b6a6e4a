// Built on the document floor, this reaches up to the editor: it must not compile.
#include "editor/editor.h"

int upwardIncludeProbe() {
  return sizeof(tolmar::Editor) > 0;
}
