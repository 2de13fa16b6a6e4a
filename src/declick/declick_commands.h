#pragma once
// Click detection, click lists, repair, declick parameters and decrackle.
// A part of the editor core: Editor inherits it, so these handlers are Editor's handlers.

namespace tolmar {

class Editor;

class DeclickCommands {
 public:
 protected:
  // The whole editor, for state that other parts own.
  Editor& ed();
  const Editor& ed() const;
};

}  // namespace tolmar
