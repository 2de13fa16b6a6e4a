#pragma once
// Playback and recording.
// A part of the editor core: Editor inherits it, so these handlers are Editor's handlers.

namespace tolmar {

class Editor;

class AudioCommands {
 public:
 protected:
  // The whole editor, for state that other parts own.
  Editor& ed();
  const Editor& ed() const;
};

}  // namespace tolmar
