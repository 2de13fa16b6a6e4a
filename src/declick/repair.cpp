#include "declick/repair.h"

#include <algorithm>
#include <memory>

#include "declick/ar_model.h"
#include "document/marker_list.h"
#include "document/wave_file.h"

namespace tolmar {

namespace {

// Replaces frames a + 1 .. b - 1 of one channel (a and b inside the block) by `method`; `width`
// is the copy distance of CopyPreceding.
void repairRange(int16_t* buf, int32_t blockStart, int32_t blockEnd, int32_t a, int32_t b,
                 int channel, RepairMethod method, int width, bool smoothEdges, int smoothingCount,
                 int32_t maxTail = -1) {
  const int32_t n = b - a;
  int16_t* x = buf + channel;
  auto at = [&](int32_t f) -> int16_t& { return x[2 * static_cast<ptrdiff_t>(f - blockStart)]; };
  const int32_t before = a > blockStart ? at(a - 1) : at(a);
  const int32_t after = b < blockEnd ? at(b + 1) : at(b);

  switch (method) {
    case RepairMethod::ArInterpolate:
      if (n >= 2 && maxTail < 0 &&
          arRepairGap(buf + channel, blockEnd - blockStart + 1, 2, a + 1 - blockStart,
                      b - 1 - blockStart, kArContext))
        break;
      if (n >= 2 && maxTail >= 0 &&
          arRepairClick(buf + channel, blockEnd - blockStart + 1, 2, a + 1 - blockStart,
                        b - 1 - blockStart, kArContext, maxTail))
        break;
      // Too little sound around the gap for a model: the curve instead.
      bezierCurve(at(a), at(b), before, after, n, [&](int32_t k, int16_t v) { at(a + k) = v; });
      break;
    case RepairMethod::Linear: {
      const int32_t xa = at(a), xb = at(b);
      for (int32_t k = a + 1; k < b; ++k)
        at(k) = static_cast<int16_t>(xa + (xb - xa) * (k - a) / n);
      break;
    }
    case RepairMethod::Bezier:
      bezierCurve(at(a), at(b), before, after, n, [&](int32_t k, int16_t v) { at(a + k) = v; });
      break;
    case RepairMethod::CopyPreceding:
      for (int32_t j = std::max(blockStart, a - width); j < a && j + width < b; ++j)
        at(j + width) = at(j);
      if (smoothEdges) {
        RepairClickInBuffer(buf, blockStart, blockEnd, a, channel, RepairMethod::Bezier, 10, false);
        RepairClickInBuffer(buf, blockStart, blockEnd, b, channel, RepairMethod::Bezier, 10, false);
      }
      break;
    case RepairMethod::Smooth:
      for (int pass = 0; pass < smoothingCount; ++pass) {
        int32_t prev = before;
        for (int32_t k = a; k <= b; ++k) {
          const int32_t cur = at(k);
          const int32_t next = k < b ? at(k + 1) : after;
          at(k) = static_cast<int16_t>((prev + cur + next) / 3);
          prev = cur;
        }
      }
      break;
  }
}

}  // namespace

void RepairClickInBuffer(int16_t* buf, int32_t blockStart, int32_t blockEnd, int32_t position,
                         int channel, RepairMethod method, int width, bool smoothEdges,
                         int smoothingCount) {
  if (position < blockStart || position > blockEnd || blockEnd < blockStart) return;
  const int32_t a = std::max(blockStart, position - width / 2);
  const int32_t b = std::min(blockEnd, position + width / 2);
  repairRange(buf, blockStart, blockEnd, a, b, channel, method, width, smoothEdges, smoothingCount);
}

void RepairSpanInBuffer(int16_t* buf, int32_t blockStart, int32_t blockEnd, int32_t first,
                        int32_t width, int channel, RepairMethod method, bool smoothEdges,
                        int smoothingCount, int32_t maxTail) {
  if (first < blockStart || first > blockEnd || blockEnd < blockStart || width < 1) return;
  const int32_t a = std::max(blockStart, first - 1 - kSpanPad);
  const int32_t b = static_cast<int32_t>(
      std::min<int64_t>(blockEnd, static_cast<int64_t>(first) + width + kSpanPad));
  repairRange(buf, blockStart, blockEnd, a, b, channel, method, b - a, smoothEdges, smoothingCount,
              std::max<int32_t>(maxTail, 0));
}

void smoothPass(int16_t* x, int32_t count, int16_t prevLeft, int16_t prevRight,
                const bool& keepGoing) {
  int32_t prev[2] = {prevLeft, prevRight};
  for (int32_t k = 0; k < count && keepGoing; ++k) {
    for (int c = 0; c < 2; ++c) {
      int16_t& cur = x[2 * static_cast<ptrdiff_t>(k) + c];
      const int32_t old = cur;
      cur = static_cast<int16_t>((prev[c] + old + x[2 * static_cast<ptrdiff_t>(k + 1) + c]) / 3);
      prev[c] = old;
    }
  }
}

int16_t soundSampleAt(WaveFile& doc, int32_t frame, int channel) {
  int16_t v[2];
  doc.ReadFrames(true, v, frame, frame);
  return v[channel];
}

bool Interpolate(WaveFile& doc, MarkerList& markers, bool left, bool right, bool bezier) {
  const int32_t s = doc.selStart;
  const int32_t e = doc.selEnd;
  if (s < 0 || s >= e || e > doc.lastFrame) return false;
  const bool chosen[2] = {left, right};
  int16_t atS[2], atE[2];
  doc.ReadFrames(true, atS, s, s);
  doc.ReadFrames(true, atE, e, e);
  int32_t kept = 0;
  bool clipped = false;

  if (!bezier) {
    for (int c = 0; c < 2; ++c)
      if (chosen[c] && doc.AddLinearEdit(s, e, atS[c], atE[c], c)) ++kept;
  } else if (e - s >= 2) {
    int16_t before[2], after[2];
    doc.ReadFrames(true, before, s > 0 ? s - 1 : s, s > 0 ? s - 1 : s);
    doc.ReadFrames(true, after, e < doc.lastFrame ? e + 1 : e, e < doc.lastFrame ? e + 1 : e);
    for (int c = 0; c < 2; ++c) {
      if (!chosen[c]) continue;
      auto rec = std::make_unique<Interpolation>();
      Interpolation& r = *rec;
      doc.BeginBlock(r, s + 1, e - 1, c);
      const int32_t clip = bezierCurve(atS[c], atE[c], before[c], after[c], e - s,
                                       [&](int32_t k, int16_t v) { doc.PutSample(r, s + k, v); });
      doc.FinishBlock(r);
      // A channel that is not written never reports clipping.
      if (!doc.AddEdit(std::move(rec), c)) continue;
      ++kept;
      if (clip) {
        markers.Add(c == 0 ? Marker::Left : Marker::Right, s + clip, 1);
        clipped = true;
      }
    }
  }
  if (kept > 0) doc.CommitEdit(kept, "Interpolate");
  return clipped;
}

void Silence(WaveFile& doc) {
  const int32_t s = doc.selStart;
  const int32_t e = doc.selEnd;
  if (s < 0 || s >= e) return;
  int32_t kept = 0;
  for (int c = 0; c < 2; ++c)
    if (doc.AddLinearEdit(s, e, 0, 0, c)) ++kept;
  if (kept > 0) doc.CommitEdit(kept, "Silence");
}

}  // namespace tolmar
