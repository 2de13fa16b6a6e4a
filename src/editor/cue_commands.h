#pragma once
// Cue points, cue sheets, CD-Text, track finding and splitting.
// A part of the editor core: Editor inherits it, so these handlers are Editor's handlers.

#include <cstdint>
#include <string>
#include <vector>

namespace tolmar {

class Editor;

// Dialog "AddCue": the Add Cue Point dialog.
struct AddCueModel {
  enum Type { TrackWithMargin, TrackIndex1, TrackIndex0, Index };
  Type type = TrackWithMargin;
  int marginMs = 0;  // prefilled with the safety-margin setting
  bool setStartMark = true;
};

// Dialog "AddRegularCues": "Add Regular Cue Points".
struct RegularCuesModel {
  int seconds = 60;
  bool indexes = false;  // "Tracks" (default) or "Indexes"
};

// Dialog "GotoCue": the cue list; chosen is the line picked (-1 for none).
struct GotoCueModel {
  std::vector<std::string> lines;
  int chosen = 0;
  bool setStartMark = true;
};

// Dialog "DisplayTrack": one line per track; chosen is the line picked.
struct DisplayTrackModel {
  std::vector<std::string> lines;
  int chosen = 0;
};

// Dialog "CDTextSetup": row 0 is track 1, then one row per track cue.
struct CdTextModel {
  struct Row {
    std::string performer, title;
  };
  std::string discPerformer, discTitle;
  std::vector<Row> rows;
};

// Dialog "ExistingCueFile": text is the name followed by " already exists".
struct ExistingCueFileModel {
  enum Choice { Append, Overwrite };
  std::string text;
  Choice choice = Append;
};

class CueCommands {
 public:
  // Where Goto First / Next / Previous Cue Point stand in the list.
  int currentCue = 0;

  // Adds a track cue at position (minus the safety margin when applyOffset), rounded to a CD
  // frame (down when snapDown, else up). Nothing when that frame holds a cue.
  bool AddTrackCue(int32_t position, bool snapDown, bool applyOffset);

  void AddCue1Click();
  void RemoveDAOCuePoints1Click();
  void AddRegularCuePoints1Click();
  void GotoCuePoint1Click();
  void GotoFirstCuePoint1Click();
  void GotoNextCuePoint1Click();
  void GotoPreviousCuePoint1Click();
  void DisplayTrack1Click();
  void SetupCDTextData1Click();
  void CreateDAOCueSheet1Click();
  void ReadDAOCueSheet1Click();
  void ConvertMarkersClick();
  // Track finding and splitting (track_commands.cpp).
  void FindTracks1Click();
  void SplitTracks1Click();

  // Go To Cue Point's lines: " track 02, index 1 (mm:ss.mmm)".
  std::vector<std::string> cueListTexts() const;
  // Display Track's lines: "track 01 (time)" and one per track cue.
  std::vector<std::string> trackListTexts() const;
  // Writes the document's sheet to path (appending when asked). False after an error message.
  bool writeCueSheetFile(const std::string& path, bool append);
  // Reads a sheet into the document. False after an error message.
  bool readCueSheetFile(const std::string& path);

 protected:
  // The whole editor, for state that other parts own.
  Editor& ed();
  const Editor& ed() const;

 private:
  // Wider than a position: a margin from the INI file may span more than the 32-bit range.
  int64_t safetyMarginFrames(int marginMs) const;
  void showCue(int32_t position, bool setStart);
  std::string proposedCueSheetName() const;
};

}  // namespace tolmar
