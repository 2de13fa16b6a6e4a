#pragma once
// Cue points, cue sheets, CD-Text, track finding and splitting.
// A part of the editor core: Editor inherits it, so these handlers are Editor's handlers.

namespace tolmar {

class Editor;

class CueCommands {
 public:
 protected:
  // The whole editor, for state that other parts own.
  Editor& ed();
  const Editor& ed() const;
};

}  // namespace tolmar
