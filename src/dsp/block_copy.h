#pragma once
// Copying one block of the sound onto another place, with undo, and smoothing the edges of a
// copied block.

#include <cstdint>

namespace tolmar {

class WaveFile;
class MarkerList;

struct BlockCopyOptions {
  bool smoothEdges = false;    // the Blocks menu's "Smooth Edges After Copying"
  bool refreshDisplay = true;  // click repairs defer the repaint to their caller
};

// Copies the frames sourceStart .. sourceEnd - 1 of the requested channels so that frame f
// lands on f + (destStart - sourceStart), in chunks with progress, and commits the records as
// "Copy Block"; with smoothEdges the edges of the copy are smoothed into the same step.
// Frames whose source or destination lies outside the file are not copied. Returns the
// number of records in the step made, or 0 when none was made.
int32_t CopyEarlierBlock(WaveFile& doc, MarkerList& markers, int32_t sourceStart, bool right,
                         bool left, int32_t destStart, int32_t sourceEnd,
                         const BlockCopyOptions& options);

// How far either side of a copied block's edges the smoothing reaches.
inline constexpr int32_t kEdgeSmoothFrames = 5;
// Curve interpolation over the 11 frames around `first` and around `last` on the given
// channels, each folded into the newest undo step. Needs a selection (which it restores) and
// at least one given channel whose editing is on.
void SmoothCopyEdges(WaveFile& doc, MarkerList& markers, int32_t first, int32_t last, bool left,
                     bool right);

// Folds the newest undo step into the one before it (records and saved peaks). Needs two steps.
bool MergeNewestUndoStep(WaveFile& doc);

// Takes the newest undo step off the list, leaving its records in the edit list and the peak
// summary as it was before the step, so that a later step can claim the records.
int32_t TakeNewestUndoStep(WaveFile& doc);

}  // namespace tolmar
