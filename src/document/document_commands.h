#pragma once
// Saving as, marks for deletion and insertion, clipboard and file replacement.
// A part of the editor core: Editor inherits it, so these handlers are Editor's handlers.

namespace tolmar {

class Editor;

class DocumentCommands {
 public:
  // The guard every "(Direct Overwrite)" command calls first: refuses while unsaved edits
  // exist, asks for confirmation outside macro and batch runs. wholeFile: the operation would
  // normally apply to the entire file; strong: the stronger warning text.
  bool VerifyDirectOverwrite(bool wholeFile, bool strong);

 protected:
  // The whole editor, for state that other parts own.
  Editor& ed();
  const Editor& ed() const;
};

}  // namespace tolmar
