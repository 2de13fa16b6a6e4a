#pragma once
// Block repairs: the search for a compatible block near the selection, the overlay block moved
// by hand, copying one channel over the other, nudging a block vertically and rebuilding a
// block from the spectra on both sides of it. Copying one block onto another is block_copy.h.

#include <cstdint>
#include <string>
#include <vector>

namespace tolmar {

class WaveFile;
class MarkerList;
class SpectralEngine;

inline constexpr char kNoCompatibleBlockText[] = "No compatible block found";

// The block a search found and where the next search goes on from. Found start and end are −1
// while nothing is held; the display lists hold the found block's samples every display step.
struct CompatibleBlockSearch {
  int32_t foundStart = -1;
  int32_t foundEnd = -1;
  int32_t offset = 0;  // found start − selection start
  std::vector<int16_t> displayLeft;
  std::vector<int16_t> displayRight;

  bool found() const { return foundStart >= 0 && foundEnd >= 0; }
  void reset();
};

struct CompatibleSearchParams {
  int tolerance = 50;              // "Relative Sample Size:", percent
  int32_t timeLimitFrames = 4410;  // the largest distance searched from the selection start
  bool forwards = false;           // "Search Forwards in File"
};

// " Searching; offset now: +00:00.100": the progress text for a candidate at `distance` frames
// after (or, negative, before) the selection start.
std::string searchCaption(WaveFile& doc, int64_t distance);

// Looks for a block of the selection's length whose first and last samples lie within the
// tolerance of the selection's, per channel whose editing is on, walking away from the
// selection (or from the block found last) one frame at a time, within the time limit.
// Shows the candidate's distance in the progress panel, stops on Cancel, warns when nothing
// was found. Without a selection it only beeps (when beeps are on). displayStep: frames per
// display column, the spacing of the display lists. Returns whether a block was found.
bool FindNextCompatibleBlock(WaveFile& doc, CompatibleBlockSearch& search,
                             const CompatibleSearchParams& params, int32_t displayStep);

// A block positioned by hand over the sound, whose audio can be copied onto the block it was
// set up from.
struct OverlayBlock {
  bool active = false;
  int32_t sourceStart = 0;
  int32_t length = 0;
  // Where the overlay lies now. Moves saturate instead of overflowing; only the part of the
  // overlay inside the file is ever copied.
  int64_t position = 0;

  void setup(int32_t selStart, int32_t selEnd);
  void discard() { active = false; }
  void move(int64_t frames);
};

// Copies the overlay's frames position … position + length − 2 onto the source block, as
// CopyEarlierBlock does (one frame less than the block, as every block copy). Returns the
// number of records committed; nothing happens without an active overlay.
int32_t CopyOverlay(WaveFile& doc, MarkerList& markers, const OverlayBlock& overlay, bool right,
                    bool left, bool smoothEdges);

// Frames first … last − 1 of the other channel are copied into the destination channel
// ("Copy Other Channel"); with both channels' editing on, the source channel is rewritten
// unchanged beside its copy. Returns the records committed.
int32_t CopyOtherChannel(WaveFile& doc, MarkerList& markers, int32_t first, int32_t last,
                         bool destinationRight, bool smoothEdges);

// Shifts frames first … last − 1 of the chosen channels by `step` sample units: up subtracts
// (larger values lie lower on the screen), down adds; results are limited to the 16-bit range
// ("Nudge Block"). Returns the records committed.
int32_t MoveBlockVertically(WaveFile& doc, MarkerList& markers, int32_t first, int32_t last,
                            int64_t step, bool up, bool right, bool left, bool smoothEdges);

// The transform length spectral replacement uses for selection start..end: the smallest power
// of two from 128 that is at least end − start; 0 when that exceeds the engine's largest.
int SpectralReplacementSize(int32_t start, int32_t end);

// Replaces the selection of one channel by the mean of the spectra of the blocks before and
// after it, tapered into the current sound at both ends ("Spectral Replacement"). The engine's
// length is restored afterwards. Returns whether a record was committed.
bool SpectralReplace(WaveFile& doc, SpectralEngine& engine, int channel);

}  // namespace tolmar
