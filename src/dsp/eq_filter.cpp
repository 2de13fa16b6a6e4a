#include "dsp/eq_filter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "document/wave_file.h"

namespace tolmar {

namespace {

// Peak, limit, clip test and write-back of one output sample.
inline void finishSample(double out, int16_t& sample, int channel, int32_t frame, bool mayCountClip,
                         CoreRun& run, ClipMarks& marks) {
  const double mag = std::abs(out);
  if (mag > run.peak) run.peak = mag;
  if (!run.writes(channel)) return;
  if (run.clipCheck) {
    const double r = roundEven(mag);
    if (r > 32767) {
      out = std::copysign(32767.0, out);
      if (r > 32769 && mayCountClip) marks.clip(channel, frame);
    }
  }
  sample = toSample(out);
}

}  // namespace

void EqualiseFrames(FilterState& st, int16_t* buf, int32_t frames, CoreRun& run,
                    const std::array<double, kEqualiserBands>& gains) {
  run.peak = 0;
  ClipMarks marks(run);
  // The history in locals for the whole buffer: the two channels' recurrences are independent,
  // and keeping them out of memory lets the processor overlap them.
  double x1[2] = {st.eqX1[0], st.eqX1[1]};
  double x2[2] = {st.eqX2[0], st.eqX2[1]};
  double y1[2][kEqualiserBands], y2[2][kEqualiserBands];
  std::copy(&st.eqY1[0][0], &st.eqY1[0][0] + 2 * kEqualiserBands, &y1[0][0]);
  std::copy(&st.eqY2[0][0], &st.eqY2[0][0] + 2 * kEqualiserBands, &y2[0][0]);
  for (int32_t i = 0; i < frames; ++i) {
    const int32_t frame = run.firstFrame + i;
    if (!run.inWindow(frame)) continue;
    double out[2];
    for (int c = 0; c < 2; ++c) {
      const double x0 = buf[2 * static_cast<size_t>(i) + c];
      const double d = x0 - x2[c];
      double y[kEqualiserBands];
      // Every band sees the same input; the bands are independent of one another.
      for (int b = 0; b < kEqualiserBands; ++b)
        y[b] = 2 * (kBandAlpha[b] * d + kBandGamma[b] * y1[c][b] - kBandBeta[b] * y2[c][b]);
      for (int b = 0; b < kEqualiserBands; ++b) {
        y2[c][b] = y1[c][b];
        y1[c][b] = y[b];
      }
      x2[c] = x1[c];
      x1[c] = x0;
      double sum = 0;
      for (int b = 0; b < kEqualiserBands; ++b) sum = sum + gains[b] * y[b];
      out[c] = sum * run.factor;
    }
    for (int c = 0; c < 2; ++c)
      finishSample(out[c], buf[2 * static_cast<size_t>(i) + c], c, frame, true, run, marks);
  }
  for (int c = 0; c < 2; ++c) {
    st.eqX1[c] = x1[c];
    st.eqX2[c] = x2[c];
  }
  std::copy(&y1[0][0], &y1[0][0] + 2 * kEqualiserBands, &st.eqY1[0][0]);
  std::copy(&y2[0][0], &y2[0][0] + 2 * kEqualiserBands, &st.eqY2[0][0]);
}

Biquad filterSection(int type, double freq, double q, int sampleRate) {
  Biquad s;
  if (type < kHighPass || type > kNotch) return s;
  const double Q = type == kNotch ? 10 * q : q;
  const double w0 = 2 * std::numbers::pi * freq / sampleRate;
  const double c = std::cos(w0);
  const double a = std::sin(w0) / (2 * Q);
  switch (type) {
    case kHighPass:
      s.b0 = s.b2 = (1 + c) / 2;
      s.b1 = -(1 + c);
      break;
    case kLowPass:
      s.b0 = s.b2 = (1 - c) / 2;
      s.b1 = 1 - c;
      break;
    default:
      s.b0 = s.b2 = 1;
      s.b1 = -2 * c;
      break;
  }
  s.a0 = 1 + a;
  s.a1 = -2 * c;
  s.a2 = 1 - a;
  s.active = true;
  return s;
}

void FilterFrames(FilterState& st, int16_t* buf, int32_t frames, CoreRun& run,
                  const Settings::Filter& params, int sampleRate) {
  Biquad sec[kFilterSections];
  for (int k = 0; k < kFilterSections; ++k)
    sec[k] = filterSection(params.type[k], params.freq[k], params.q[k], sampleRate);
  run.peak = 0;
  ClipMarks marks(run);
  for (int32_t i = 0; i < frames; ++i) {
    const int32_t frame = run.firstFrame + i;
    if (!run.inWindow(frame)) continue;
    for (int c = 0; c < 2; ++c) {
      int16_t& sample = buf[2 * static_cast<size_t>(i) + c];
      double(*h)[2] = st.fh[c];
      double v[kFilterSections + 1];
      v[0] = sample;
      for (int k = 1; k <= kFilterSections; ++k) {
        const Biquad& s = sec[k - 1];
        if (!s.active) {
          v[k] = v[k - 1];
          continue;
        }
        v[k] = (s.b0 * v[k - 1] + s.b1 * h[k - 1][0] + s.b2 * h[k - 1][1] - s.a1 * h[k][0] -
                s.a2 * h[k][1]) /
               s.a0;
      }
      for (int k = 0; k <= kFilterSections; ++k) {
        h[k][1] = h[k][0];
        h[k][0] = v[k];
      }
      finishSample(v[kFilterSections] * run.factor, sample, c, frame, i != frames - 1, run, marks);
    }
  }
}

namespace {

// The apply pass both commands share.
EffectOutcome applyFilterPass(WaveFile& doc, const std::string& caption, bool direct,
                              MarkerList* markers, double factor,
                              const std::function<void(int16_t*, int32_t, CoreRun&)>& core,
                              const std::string& undoCaption, const char* clipText) {
  Session& ctx = doc.ctx();
  EffectOutcome out;
  const PassSpec spec{caption, filterWalk(doc.selStart, doc.selEnd),
                      direct ? PassStore::Direct : PassStore::Records};
  const PassResult r = runEffectPass(doc, spec, [&](int16_t* buf, int32_t first, int32_t last) {
    CoreRun run;
    run.firstFrame = first;
    run.markers = markers;
    run.left = ctx.editLeft;
    run.right = ctx.editRight;
    run.factor = factor;
    core(buf, last - first + 1, run);
    out.clipped = out.clipped || run.clipped;
  });
  out.ran = !r.failed;
  out.stopped = r.stopped;
  out.records = r.records;
  if (r.records > 0) doc.CommitEdit(r.records, undoCaption);
  ctx.requestRepaint(doc.selectionSamples());
  if (out.clipped) ctx.warning(clipText);
  return out;
}

}  // namespace

EffectOutcome equaliseSelection(WaveFile& doc, FilterState& state, const Settings::Equalise& eq,
                                int passes, bool direct, MarkerList* markers) {
  if (!doc.hasSelection()) return {};
  double factor = kEqualiserLevel * eq.overallgain;
  auto core = [&](int16_t* buf, int32_t frames, CoreRun& run) {
    EqualiseFrames(state, buf, frames, run, eq.gain);
  };
  if (passes == 2) {
    ResetFilterState(state);
    double peak = 0;
    const PassResult scan =
        runEffectPass(doc, {" Scanning:", filterWalk(doc.selStart, doc.selEnd), PassStore::None},
                      [&](int16_t* buf, int32_t first, int32_t last) {
                        CoreRun run;
                        run.firstFrame = first;
                        run.left = run.right = false;  // only the peak is wanted
                        run.clipCheck = false;
                        run.factor = factor;
                        core(buf, last - first + 1, run);
                        peak = std::max(peak, run.peak);
                      });
    if (scan.stopped) {
      doc.ctx().requestRepaint(Repaint::all());
      EffectOutcome out;
      out.stopped = true;
      return out;
    }
    if (peak > 32767) factor = factor * (32767 / peak);
  }
  ResetFilterState(state);
  return applyFilterPass(doc, " Equalising:", direct, markers, factor, core, "Equalise",
                         kEqualiseClipText);
}

EffectOutcome filterSelection(WaveFile& doc, FilterState& state, const Settings::Filter& params,
                              bool direct, MarkerList* markers) {
  if (!doc.hasSelection()) return {};
  const int rate = doc.ctx().sampleRate;
  ResetFilterState(state);
  return applyFilterPass(
      doc, " Filtering:", direct, markers, params.overallgain,
      [&](int16_t* buf, int32_t frames, CoreRun& run) {
        FilterFrames(state, buf, frames, run, params, rate);
      },
      "Filter", kFilterClipText);
}

namespace {

CoreRun previewRun(int32_t bufferFirstFrame, int32_t S, int32_t E, bool left, bool right,
                   double factor) {
  CoreRun run;
  run.firstFrame = bufferFirstFrame;
  run.windowFirst = S;
  run.windowLast = E;
  run.left = left;
  run.right = right;
  run.factor = factor;
  return run;
}

}  // namespace

bool equalisePreview(FilterState& state, int16_t* buf, int32_t frames, int32_t bufferFirstFrame,
                     const Settings::Equalise& eq, int32_t S, int32_t E, bool left, bool right) {
  CoreRun run = previewRun(bufferFirstFrame, S, E, left, right, kEqualiserLevel * eq.overallgain);
  EqualiseFrames(state, buf, frames, run, eq.gain);
  return run.clipped;
}

bool filterPreview(FilterState& state, int16_t* buf, int32_t frames, int32_t bufferFirstFrame,
                   const Settings::Filter& params, int sampleRate, int32_t S, int32_t E, bool left,
                   bool right) {
  CoreRun run = previewRun(bufferFirstFrame, S, E, left, right, params.overallgain);
  FilterFrames(state, buf, frames, run, params, sampleRate);
  return run.clipped;
}

}  // namespace tolmar
