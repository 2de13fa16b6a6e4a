#pragma once
// Rebuilding clipped runs: an autoregressive model fitted only where nothing is clipped, and a
// least-squares interpolation of the runs held on their own side of the clip level.

#include <cstdint>
#include <vector>

#include "declick/ar_model.h"

namespace tolmar {

// A run of samples to rebuild: indices first … last of the window given to the repair.
struct ClipSpan {
  int64_t first = 0;
  int64_t last = 0;
};

struct ClipRepairOptions {
  int level = 32767;      // a sample of this magnitude or more is clipped
  int order = kArOrder;   // the most coefficients fitted; fewer when the window is short
  int fitContext = 1024;  // samples on each side of the spans the model is fitted over
  int refits = 1;         // rounds of fitting again with the rebuilt samples in place
};

// Fits the model a (a[0] = 1) of order `order` over the rows t of x[0 … n − 1] whose samples
// x[t − order … t] are all below the clip level in magnitude. False when there are fewer such
// rows than coefficients.
bool fitUnclipped(const int32_t* x, int64_t n, int order, int level, std::vector<double>& a);

// Least squares under bounds: the values of x at `unknown` (ascending indices) that make the
// prediction-error energy over every row of x they reach least, subject to
// sign[j] · x[unknown[j]] >= bound[j]. Rows that would reach outside x are left out. Solved by
// an active set: violators are held at their bound, and a held sample is let go again while the
// error still falls by moving it inward. Returns the number of samples held at their bound.
int64_t boundedArInterpolate(std::vector<double>& x, const std::vector<int64_t>& unknown,
                             const std::vector<double>& a, const std::vector<double>& bound,
                             const std::vector<int8_t>& sign);

struct ClipRepairResult {
  bool repaired = false;  // false: too little unclipped sound to fit a model; x is unchanged
  int64_t limited = 0;    // rebuilt samples that had to be limited to the 16-bit range
};

// Rebuilds the spans of one channel of a window of int16 samples (`n` samples `stride` apart),
// each span's samples keeping their sign and reaching at least their clipped magnitude. Every
// other clipped sample within the model's reach of a span is rebuilt with it, so that it does
// not pose as known sound, but only the spans are written back.
ClipRepairResult repairClippedSpans(int16_t* x, int64_t n, int64_t stride,
                                    const std::vector<ClipSpan>& spans,
                                    const ClipRepairOptions& options);

// Rebuilding from the other channel: a stereo recording carries the same sources in both
// channels, and where one channel is clipped the other often is not, so that even noise, which no
// model of one channel can foresee, is known there. Each channel is predicted from its own past
// and the other channel's samples around the same instant, both fitted only where nothing is
// clipped.
struct StereoClipOptions {
  int level = 32767;
  int order = 12;         // samples of the channel's own past
  int cross = 12;         // samples of the other channel's past (and the same instant)
  int fitContext = 1024;  // samples on each side of the spans the models are fitted over
  // The cross-channel fit must leave at most this share of the error energy that the
  // channel's own past leaves, or the channels are taken as telling too little of each other.
  double maxShare = 0.5;
  // And the own past must leave at least this share of the sound's energy: sound it foretells
  // well (tones) is rebuilt better by the sparse solve.
  double minOwnShare = 0.3;
  int refits = 1;  // rounds of fitting again with the rebuilt samples in place
};

struct StereoClipResult {
  bool repaired = false;  // false: x is unchanged (too little to fit on, or the fit was poor)
  int64_t limited = 0;    // rebuilt samples that had to be limited to the 16-bit range
  double share = 1;       // the cross-channel fit's error energy over the own-past fit's
  double ownShare = 1;    // the own-past fit's error energy over the sound's energy
};

// Rebuilds the spans of `channel` in an interleaved stereo window of `n` frames under the same
// bounds as repairClippedSpans. The channel is predicted from its own past and the other's past
// and present, the other channel from both pasts only (so that the two predictions together
// are one model of the pair); the clipped samples of both channels that they reach are solved
// together, each prediction's errors weighed by its fit. Only the spans are written back.
StereoClipResult repairClippedFromOther(int16_t* x, int64_t n, int channel,
                                        const std::vector<ClipSpan>& spans,
                                        const StereoClipOptions& options);

}  // namespace tolmar
