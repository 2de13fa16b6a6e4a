#pragma once
// CD frames, the ordered cue list, and the cue sheet text: writing it and reading it back.
// A cue sheet is outside text: the reader takes any bytes and never trusts a number in them.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "document/cue.h"
#include "document/deletions.h"  // cdFrameFrames

namespace tolmar {

// A position on a CD-frame boundary, never before frame 0 nor past the 32-bit range.
int32_t snapUpToCdFrame(int64_t position, int rate);
int32_t snapDownToCdFrame(int64_t position, int rate);

// Frame 0 always starts track 1, so it counts as holding a cue.
bool cueOccupied(const std::vector<Cue>& cues, int32_t position);
// Inserts in position order; false (nothing inserted) when the frame is occupied.
bool insertCue(std::vector<Cue>& cues, Cue cue);

// "mm:ss:ff", the time a cue sheet gives.
std::string cueSheetTime(int32_t position, int rate);

// The document's CD-Text and cues, as the sheet writer and reader see them.
struct CueSheetData {
  std::string discPerformer, discTitle, track1Performer, track1Title;
  std::vector<Cue> cues;  // ordered, one per frame
};

// File names in a sheet are compared without regard to letter case.
bool equalIgnoringCase(const std::string& a, const std::string& b);

// The last TRACK number in an existing sheet, or 1 when it has none.
int lastTrackNumber(std::string_view sheet);

// The text of a new sheet (firstTrack 1, with the disc lines) or of an appended part (the
// tracks numbered from firstTrack, under its own REM line).
std::string cueSheetText(const CueSheetData& data, const std::string& wavPath, int rate,
                         bool append, int firstTrack);

// An INDEX line whose number or time could not be read: its line number (from 1) and its
// text, blanks trimmed, cut to 80 characters, unprintable bytes shown as '?'.
struct UnreadableCueLine {
  int number = 0;
  std::string text;
};
// "Lines of the cue sheet that could not be read were left out:" and one "\rLine N: text"
// per line (the first 20, then "\r... and K more").
std::string unreadableCueLinesText(const std::vector<UnreadableCueLine>& lines);

// Reads a sheet into data. fileLine gets the name of each FILE line and says whether to go
// on; the cue list is emptied after it agrees. Cues beyond lastFrame, lines with impossible
// times or indexes (listed in unreadable when given), and cues on an occupied frame are left
// out. True when a FILE line emptied the list and reading went on to the end: the list is
// then exactly the sheet's.
bool readCueSheet(std::string_view sheet, int rate, int32_t lastFrame, CueSheetData& data,
                  const std::function<bool(const std::string&)>& fileLine,
                  std::vector<UnreadableCueLine>* unreadable = nullptr);

}  // namespace tolmar
