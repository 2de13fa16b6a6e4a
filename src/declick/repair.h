#pragma once
// Interpolation repair of clicks and selections: the curve and smoothing kernels, the in-buffer
// click repair used by the detection engine, and the selection operations on a document.

#include <cmath>
#include <cstdint>
#include <vector>

#include "base/declick_types.h"

namespace tolmar {

class WaveFile;
class MarkerList;

// The repair curve between the anchors p0 (at frame a) and p3 (at frame b = a + n), leaving
// each anchor along the slope it arrives with from its outer neighbour (`before` at a - 1,
// `after` at b + 1). Calls put(k, value) for k = 1 .. n - 1, the value for frame a + k limited
// to the 16-bit range. Returns the first k whose value had to be limited, or 0.
template <class Put>
int32_t bezierCurve(int32_t p0, int32_t p3, int32_t before, int32_t after, int32_t n, Put&& put) {
  if (n < 2) return 0;
  // Full width: the control points of a long selection lie far outside the 16-bit range.
  const int64_t half = n / 2;
  const int64_t p1 = p0 + (static_cast<int64_t>(p0 - before) * half) / 2;
  const int64_t p2 = p3 + (static_cast<int64_t>(p3 - after) * (n - half)) / 2;
  const double c0 = p0, c1 = static_cast<double>(p1), c2 = static_cast<double>(p2), c3 = p3;
  const double dt = 1.0 / n;
  // t is accumulated, not recomputed from k, so that every value matches the curve as drawn.
  double t = dt;
  int32_t firstClipped = 0;
  for (int32_t k = 1; k < n; ++k) {
    const double u = 1.0 - t;
    const double v = u * u * u * c0 + 3.0 * t * u * u * c1 + 3.0 * t * t * u * c2 + t * t * t * c3;
    double r = std::nearbyint(v);  // halves to even in the default rounding mode
    if (r > 32767.0 || r < -32768.0) {
      r = r > 0 ? 32767.0 : -32768.0;
      if (firstClipped == 0) firstClipped = k;
    }
    put(k, static_cast<int16_t>(r));
    t += dt;
  }
  return firstClipped;
}

// Repairs the click at `position` on `channel` inside an interleaved buffer holding frames
// blockStart..blockEnd, by `method` over `width` frames. smoothEdges: the Blocks menu's "Smooth
// Edges After Copying" check, used by the CopyPreceding method; smoothingCount: the passes of
// the Smooth method. A position outside the block changes nothing.
void RepairClickInBuffer(int16_t* buf, int32_t blockStart, int32_t blockEnd, int32_t position,
                         int channel, RepairMethod method, int width, bool smoothEdges,
                         int smoothingCount = 1);

// Frames repaired on either side of a measured click as well: its edges are seldom sharp.
inline constexpr int32_t kSpanPad = 2;

// Repairs a click whose disturbed frames first .. first + width - 1 are known (the Model
// shape), with kSpanPad more frames on either side; the frames just outside are the anchors.
// AR Interpolate also removes a decaying tail from up to maxTail frames after them.
void RepairSpanInBuffer(int16_t* buf, int32_t blockStart, int32_t blockEnd, int32_t first,
                        int32_t width, int channel, RepairMethod method, bool smoothEdges,
                        int smoothingCount = 1, int32_t maxTail = 0);

// One pass of three-point smoothing over frames 0 .. count - 1 of an interleaved buffer that
// holds count + 1 frames (the last one only as the right neighbour), both channels.
// prevLeft/prevRight: the frames before the range. Stops early, leaving the rest unchanged,
// when keepGoing turns false.
void smoothPass(int16_t* x, int32_t count, int16_t prevLeft, int16_t prevRight,
                const bool& keepGoing);

// The sample of a frame as the edited sound has it: the newest record covering it, else the file.
int16_t soundSampleAt(WaveFile& doc, int32_t frame, int channel);

// Autoregressive interpolation of frames first..last of one channel of the edited sound, from
// the model fitted to the sound around them, and removal of a decaying tail from up to maxTail
// frames after them; the new samples of frames first .. first + out.size() - 1 in `out`, none
// when the repair was refused as reaching far beyond the sound around it. False when the file
// has too little sound on either side (the caller then uses the curve).
bool arRepairFromDocument(WaveFile& doc, int32_t first, int32_t last, int channel,
                          std::vector<int16_t>& out, int32_t maxTail = 0);

// Straight-line or curve interpolation of the selection on the chosen channels, committed as
// "Interpolate". The curve marks its first limited sample per channel with a channel marker.
// Returns whether any sample had to be limited. Nothing happens without a selection.
bool Interpolate(WaveFile& doc, MarkerList& markers, bool left, bool right, bool bezier);

// Both channels of the selection become 0, committed as "Silence".
void Silence(WaveFile& doc);

}  // namespace tolmar
