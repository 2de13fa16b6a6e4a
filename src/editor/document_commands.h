#pragma once
// Saving as, marks for deletion and insertion, clipboard and file replacement.
// A part of the editor core: Editor inherits it, so these handlers are Editor's handlers.

#include <string>

namespace tolmar {

class BinaryFile;
class Editor;

// Set Insertion Length dialog (id kSetInsertionLengthDialogId, model SetInsertionLengthModel).
inline constexpr char kSetInsertionLengthDialogId[] = "SetInsertionLength";
inline constexpr char kSetInsertionLengthCaption[] = "Set Insertion Length";
inline constexpr char kSetInsertionLengthLabel[] = "Length:";
inline constexpr char kSetInsertionLengthGroup[] = "Type of Insertion ";
inline constexpr char kSetInsertionLengthTime[] = "Time (min:sec.frac)";
inline constexpr char kSetInsertionLengthSamples[] = "Exact Number of Samples";

struct SetInsertionLengthModel {
  std::string length;         // the "Length:" text
  bool exactSamples = false;  // "Exact Number of Samples" chosen instead of the time
};

// Add Surrounding Silence dialog (id kAddSurroundingSilenceDialogId).
inline constexpr char kAddSurroundingSilenceDialogId[] = "AddSurroundingSilence";
inline constexpr char kAddSurroundingSilenceCaption[] = "Add Surrounding Silence";
inline constexpr char kAddSurroundingSilenceStart[] = "Milliseconds at Start:";
inline constexpr char kAddSurroundingSilenceEnd[] = "Milliseconds at End:";

struct AddSurroundingSilenceModel {
  int startMs = 0;
  int endMs = 0;
};

inline constexpr char kUnsavedChangesText[] =
    "This operation is not available when there are unsaved changes";
inline constexpr char kWholeFileQuestion[] =
    "This operation would normally be applied to the entire file;\rare you sure you wish to "
    "apply it to this selection?";

class DocumentCommands {
 public:
  // The guard every "(Direct Overwrite)" command calls first: refuses while unsaved edits
  // exist, asks for confirmation outside macro and batch runs. wholeFile: the operation would
  // normally apply to the entire file; strong: the stronger warning text.
  bool VerifyDirectOverwrite(bool wholeFile, bool strong);

  // Copies the file under a new name (a numbered one by default), then saves the edits into
  // the copy, which becomes the document. The original file is not touched.
  void SaveAs1Click();
  // Writes the selection, as the overlay shows it, to a new WAV file; the document is unchanged.
  void SaveSelectedSamples1Click();
  // Puts the selection on the clipboard as a complete WAV image.
  void CopySelectedSampletoClipboard1Click();
  // Replaces frames from the selection start with the clipboard's WAV image, as one undo step.
  void ReplaceFromClipboardWithUndo1Click();
  // Replaces frames from the selection start with frames of another WAV file, as one undo step.
  void ReplaceFromFile1Click();
  // The same, written straight into the document's file without undo.
  void ReplaceFromFileDirectOverwrite1Click();
  // Appends another WAV file's frames to the document's file with a track cue at the join,
  // then reopens the document. A failed append leaves the file as it was.
  void AppendOtherFiletoEnd1Click();

  void MarkforDeletion1Click();
  void ClearDeletionMarks1Click();
  void InsertSilence1Click();
  void RemoveSilenceClick();
  void AddSurroundingSilence1Click();
  // Rebuilds the file without the sections marked for deletion and with the marked silences,
  // through a temporary file; markers, cue points and clicks move with the audio.
  void ExecuteDeletions1Click();

  // The text the Set Insertion Length dialog starts with (the last length entered).
  SetInsertionLengthModel insertionLength;

 protected:
  // The whole editor, for state that other parts own.
  Editor& ed();
  const Editor& ed() const;

 private:
  // Moves the rebuilt file over the document's file; false (with the messages shown) when the
  // document's file could not be replaced. A copy from another filesystem comes back in
  // `placed`, open and locked under the document's name.
  bool replaceWithRebuilt(const std::string& tempPath, BinaryFile& placed);
};

}  // namespace tolmar
