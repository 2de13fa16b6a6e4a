#pragma once
// Selection, navigation, views and markers.
// A part of the editor core: Editor inherits it, so these handlers are Editor's handlers.

#include "view/marker_list.h"

namespace tolmar {

class Editor;

class ViewCommands {
 public:
  MarkerList markers;
  int32_t audibleMarker = -1;
  int32_t currentMarker = -1;

 protected:
  // The whole editor, for state that other parts own.
  Editor& ed();
  const Editor& ed() const;
};

}  // namespace tolmar
