#pragma once
// Marks for deletion and for silence insertion, what executing them does to a position, and the
// rebuild of the sample data that carries them out.
//
// Positions are frame indices of the file as it is; a deletion is inclusive; an insertion's
// silence goes immediately before its position, and a position equal to the frame count puts
// it after the last frame.

#include <cstdint>
#include <string>
#include <vector>

#include "document/marks.h"

namespace tolmar {

class BinaryFile;
class Session;

// Inserts the mark before the first mark that starts later, then merges every pair of
// neighbours that overlap or touch (end + 1 >= next start) until nothing merges.
void addDeletionMark(std::vector<Deletion>& marks, Deletion mark);
// Inserts the mark before the first mark with a greater position (equal positions keep the
// order in which they were added).
void addInsertionMark(std::vector<Insertion>& marks, Insertion mark);

bool insideDeletion(const std::vector<Deletion>& deletions, int64_t position);

// Sum over the marks of each mark's overlap with from..to.
int64_t countDeletedFrames(const std::vector<Deletion>& deletions, int64_t from, int64_t to);
// Sum of the lengths of insertion marks positioned in from..to and not inside a deletion.
int64_t countInsertedFrames(const std::vector<Insertion>& insertions,
                            const std::vector<Deletion>& deletions, int64_t from, int64_t to);

// Where the frame at `position` lands once the marks are executed:
// position - deleted(-1 .. position) + inserted(-1 .. position).
int64_t positionAfterEdits(const std::vector<Deletion>& deletions,
                           const std::vector<Insertion>& insertions, int64_t position);

// Milliseconds to frames: ms * 48 at 48000 Hz, else ms * 44 + ms div 10.
int64_t msToFrames(int64_t ms, int rate);
// One CD frame (1/75 s): 640 frames at 48000 Hz, else 588.
int32_t cdFrameFrames(int rate);
// The position rounded up to the next multiple of one CD frame.
int64_t roundUpToCdFrame(int64_t position, int rate);

// The marks that a rebuild of a file of `frameCount` frames actually carries out: deletions
// limited to the file, sorted and merged; insertions of positive length positioned in
// 0 .. frameCount, outside every deletion, in position order.
struct EditPlan {
  std::vector<Deletion> deletions;
  std::vector<Insertion> insertions;
  int32_t frameCount = 0;
  int64_t newFrameCount = 0;
};
EditPlan planEdits(const std::vector<Deletion>& deletions, const std::vector<Insertion>& insertions,
                   int32_t frameCount);

// Writes the frames of the rebuilt file at dst's current position: every stretch between
// deletions copied from `src` (frames starting at dataOffset) 5000 bytes at a time, each
// insertion's silence written 9000 frames at a time in front of its position. Progress runs
// under the caption " Writing temp file:". A short write shows "Failed to write to " + dstPath
// and clears the continue flag; so does a short read (with "Failed to read from " + srcPath).
// True when every frame was written and the run was not cancelled.
bool writeRebuiltFrames(Session& ctx, const EditPlan& plan, BinaryFile& src, int64_t dataOffset,
                        const std::string& srcPath, BinaryFile& dst, const std::string& dstPath);

// Where a WAV file's bytes around its frames lie: headerBytes before frame 0 (RIFF, fmt, the
// chunks before the data and the data chunk's own header) and, after the data, the well-formed
// chunks inside the RIFF size that follow it (trailerStart, trailerBytes).
struct WavLayout {
  int64_t headerBytes = 0;
  int64_t trailerStart = 0;
  int64_t trailerBytes = 0;
};
WavLayout wavLayoutOf(const std::string& path, int64_t dataOffset, uint32_t dataBytes);

// Copies the original's header to dst's current position (the start) with the RIFF size and
// the data size made right for `newDataBytes` of frames and the same trailer.
bool writeRebuiltHeader(BinaryFile& src, const WavLayout& layout, uint32_t newDataBytes,
                        BinaryFile& dst);
// Appends the original's trailer at dst's current position, which must be even.
bool copyTrailer(BinaryFile& src, const WavLayout& layout, BinaryFile& dst);

}  // namespace tolmar
