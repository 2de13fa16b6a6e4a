#pragma once
// The display-point cache: one 16-bit value per pixel step and channel for the page on show,
// taken from the file (one frame per step, never the whole range) or, above 1000 frames per
// step, from the peak summary alone.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tolmar {

class WaveFile;

struct DisplayCache {
  std::vector<int16_t> left, right;
  // The key: the range and step the points were taken with.
  int32_t keyFirst = -1;
  int32_t keyLast = -1;
  int32_t keyStep = 0;
  // Counts the changes of the lists: at the start and at the end of every build, so a picture
  // taken while a build pumps messages is not taken for the finished one.
  uint64_t generation = 0;
  size_t size() const { return left.size(); }
  void clear() {
    left.clear();
    right.clear();
    keyFirst = keyLast = -1;
    keyStep = 0;
    ++generation;
  }
};

// Fills `cache` with the points of first ... last at `step` frames apart. Returns true when
// the lists were rebuilt; false when the key matches and the document is up to date, or while a
// direct overwrite runs. With `showProgress`, a range of more than 1,000,000 frames shows
// " Reading:" (and " Add Edits:") with Cancel; a cancelled build keeps its key and the points
// read so far. Counts the frames it read into `framesRead` when given.
bool BuildDisplayPoints(WaveFile& doc, int32_t first, int32_t last, bool showProgress,
                        DisplayCache& cache, int32_t step, int64_t* framesRead = nullptr);

// Whether building first ... last at `step` reads a range long enough to show progress.
bool DisplayPointsShowProgress(const WaveFile& doc, int32_t first, int32_t last, int32_t step);

// The largest magnitude among the points of the channels not ignored; 0 when both are.
int RecalcDisplayPeak(const DisplayCache& cache, bool ignoreLeft, bool ignoreRight);

}  // namespace tolmar
