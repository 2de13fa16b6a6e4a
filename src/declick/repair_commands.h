#pragma once
// Interpolation repair, declick parameters and presets, click analysis and preview.
// A part of the editor core: Editor inherits it, so these handlers are Editor's handlers.

namespace tolmar {

class Editor;

class RepairCommands {
 public:
 protected:
  // The whole editor, for state that other parts own.
  Editor& ed();
  const Editor& ed() const;
};

}  // namespace tolmar
