#pragma once
// Repair Clipping in Selection: the runs the clipping search found, rebuilt beyond the clip
// level from the sound on both sides, one edit record per run.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "declick/clip_repair.h"
#include "dsp/fft.h"
#include "dsp/statistics.h"

namespace tolmar {

class WaveFile;

// Sparse, consistent rebuilding of clipped runs: over overlapping frames that hold clipped
// samples, the sound is sought whose spectrum (a twice-oversampled DFT of the windowed frame)
// has the fewest strong bins while the unclipped samples keep their values and the clipped ones
// lie at or beyond the level with their sign. Music is sparse in frequency over a frame where an
// autoregressive model only remembers a few dozen samples, which is what rebuilds attacks.
struct SparseDeclipOptions {
  int level = 32767;
  int frame = 2048;         // samples per frame (a power of two, 128 … 8192)
  int hop = 1024;           // between frame starts
  int maxIterations = 400;  // per frame
  int firstBins = 1;        // bins kept at first; more each iteration
  double growth = 0.1;      // bins added per iteration as a share of those kept (at least 1)
  double tolerance = 0.01;  // stop when the coefficients miss the consistent set by this much
                            // (over the frame, as a share of full scale)
};

class SparseDeclipper {
 public:
  explicit SparseDeclipper(const SparseDeclipOptions& options);
  ~SparseDeclipper();
  SparseDeclipper(const SparseDeclipper&) = delete;
  SparseDeclipper& operator=(const SparseDeclipper&) = delete;

  // Rebuilds the spans of one channel of a window of int16 samples (`n` samples `stride` apart)
  // as repairClippedSpans does: only the spans are written, each sample keeping its sign and
  // reaching at least its clipped magnitude; every other clipped sample in a frame is a bound
  // too. Windows shorter than a frame are left to the autoregressive solver.
  ClipRepairResult repair(int16_t* x, int64_t n, int64_t stride,
                          const std::vector<ClipSpan>& spans);

  // Frames solved and iterations spent since construction, for measuring.
  int64_t frames() const { return frames_; }
  int64_t iterations() const { return iterations_; }

 private:
  struct Frame {
    std::vector<double> y, lo, hi;  // the windowed samples and their consistent interval
    std::vector<Complex> ax, u, z;  // bins 0 … N/2 of the analysis, its dual and its sparse part
    int k = 0;
    bool done = false;
  };
  // Solves frame_[0] and, when `both`, frame_[1]: the two share every transform, one as the
  // real part and one as the imaginary part. The results (windowed) replace their y.
  void solvePair(bool both);

  SparseDeclipOptions options_;
  std::unique_ptr<SpectralEngine> engine_;
  std::vector<double> window_, mag_, pick_;
  std::vector<Complex> buf_;
  Frame frame_[2];
  int64_t frames_ = 0, iterations_ = 0;
};

struct ClippingRepair {
  int64_t runs = 0;      // runs found, both channels
  int64_t repaired = 0;  // runs rebuilt
  int64_t limited = 0;   // rebuilt samples limited to the 16-bit range
  int32_t records = 0;   // records kept, for the caller's undo step
  bool stopped = false;  // Stop was pressed during the repair
};

// Runs that share model rows are solved together, up to this many frames from the first
// run's start to the last run's end.
inline constexpr int32_t kClipClusterFrames = 2048;
// Runs at most this far apart are rebuilt from the other channel together, from one fit.
inline constexpr int64_t kStereoGroupGap = 64;

// Rebuilds the runs `found` (by findClipping with `search` over the selection) on the channels
// being edited, with progress (" Repairing:") and Stop. The records are added, not committed.
// Groups of runs that the other channel tells well (noise it holds too) are rebuilt with it,
// the rest by the sparse solve.
ClippingRepair repairClipping(WaveFile& doc, const ClipSearch& search, const ClipScanState& found,
                              const ClipRepairOptions& options);

inline constexpr char kNothingToRepairText[] = "No clipping found; nothing to repair";
// "Clipping repaired at R of N places", and how many samples stayed at full scale.
std::string clippingRepairedText(const ClippingRepair& r);

}  // namespace tolmar
