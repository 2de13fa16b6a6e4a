#include "dsp/level_effects.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "document/wave_file.h"

namespace tolmar {

AmplifyParams AmplifyParams::fromSettings(const Settings& s) {
  AmplifyParams p;
  p.leftDb = s.amplifyfactorl;
  p.rightDb = s.amplifyfactorr;
  p.startRampSecs = s.ampfadestartsecs;
  p.endRampSecs = s.ampfadeendsecs;
  p.thresholdX = s.compressthresh;
  p.ratio = s.compressfactor;
  return p;
}

namespace {

// What amplifyCompressFrames works out once per buffer.
struct AmplifyPlan {
  double T;  // threshold as a magnitude, an integer held in 16 bits
  double M;  // make-up gain that maps full scale to full scale
  double g[2];
  double G[2];
  int64_t Ps, Pe;
};

AmplifyPlan planAmplify(const AmplifyParams& p, int32_t S, int32_t E, int rate) {
  AmplifyPlan a;
  const double t = roundEven(std::exp2((90 - p.thresholdX) / 6));
  a.T = std::clamp(t, -32768.0, 32767.0);
  a.M = 32767 / ((32767 - a.T) / p.ratio + a.T);
  a.G[0] = p.leftDb;
  a.G[1] = p.rightDb;
  a.g[0] = dbGainFactor(p.leftDb);
  a.g[1] = dbGainFactor(p.rightDb);
  a.Ps = S + static_cast<int64_t>(rate) * p.startRampSecs;
  a.Pe = E - static_cast<int64_t>(rate) * p.endRampSecs;
  return a;
}

}  // namespace

void amplifyCompressFrames(int16_t* buf, int32_t frames, CoreRun& run, const AmplifyParams& p,
                           int32_t S, int32_t E, int rate) {
  const AmplifyPlan a = planAmplify(p, S, E, rate);
  const bool compress = p.ratio != 1.0;
  ClipMarks marks(run);
  for (int32_t i = 0; i < frames; ++i) {
    const int32_t frame = run.firstFrame + i;
    if (!run.inWindow(frame)) continue;
    for (int c = 0; c < 2; ++c) {
      if (!run.writes(c)) continue;
      int16_t& x = buf[2 * static_cast<size_t>(i) + c];
      const double sign = x < 0 ? -1.0 : 1.0;
      double v = std::abs(static_cast<double>(x));
      const double G = a.G[c];
      if (G != 0.0) {
        if (p.startRampSecs >= 1 && frame < a.Ps) {
          const double f = static_cast<double>(frame - S) / static_cast<double>(a.Ps - S);
          v = v * dbGainFactor(f * G);
        } else if (p.endRampSecs >= 1 && frame > a.Pe) {
          const double f = static_cast<double>(E - frame) / static_cast<double>(E - a.Pe);
          v = v * dbGainFactor(f * G);
        } else {
          v = v * a.g[c];
        }
      }
      if (compress) {
        if (v > a.T) v = (v - a.T) / p.ratio + a.T;
        v = v * a.M;
      }
      const double r = roundEven(v);
      if (r > 32767) {
        v = 32767;
        if (r > 32768) marks.clip(c, frame);
      }
      x = toSample(v * sign);
    }
  }
}

bool amplifyCompressPreview(int16_t* buf, int32_t frames, int32_t bufferFirstFrame,
                            const AmplifyParams& p, int32_t S, int32_t E, int rate, bool left,
                            bool right) {
  if (p.isIdentity() || E - S < 2) return false;
  CoreRun run;
  run.firstFrame = bufferFirstFrame;
  run.left = left;
  run.right = right;
  run.windowFirst = S + 1;
  run.windowLast = E - 1;
  amplifyCompressFrames(buf, frames, run, p, S, E, rate);
  return run.clipped;
}

EffectOutcome amplifyCompressSelection(WaveFile& doc, const AmplifyParams& p, bool direct,
                                       MarkerList* markers) {
  EffectOutcome out;
  if (!doc.hasSelection()) return out;
  Session& ctx = doc.ctx();
  const int32_t S = doc.selStart;
  const int32_t E = doc.selEnd;
  const int rate = ctx.sampleRate;
  PassSpec spec{" Compress/Amplify:", levelWalk(S, E),
                direct ? PassStore::Direct : PassStore::Records};
  const PassResult r = runEffectPass(doc, spec, [&](int16_t* buf, int32_t first, int32_t last) {
    CoreRun run;
    run.firstFrame = first;
    run.markers = markers;
    run.left = ctx.editLeft;
    run.right = ctx.editRight;
    amplifyCompressFrames(buf, last - first + 1, run, p, S, E, rate);
    out.clipped = out.clipped || run.clipped;
  });
  out.ran = !r.failed;
  out.stopped = r.stopped;
  out.records = r.records;
  if (r.records > 0) doc.CommitEdit(r.records, "Amplify/Compress");
  ctx.requestRepaint(doc.selectionSamples());
  if (out.clipped) ctx.warning(kAmplifyClipText);
  return out;
}

void ScanLevels(const int16_t* buf, int32_t frames, LevelScan& scan) {
  // Sixteen interleaved lanes (even left, odd right) with their own accumulators, so that the
  // compiler can keep them in vector registers without unpacking the channels. All the sums are
  // exact integers; the 32-bit sums are emptied every 4096 frames.
  constexpr int kLanes = 16;
  constexpr size_t kSpan = 2 * 4096;
  int32_t mn[kLanes], mx[kLanes];
  uint64_t sq[kLanes] = {};
  for (int k = 0; k < kLanes; ++k) {
    mn[k] = 32767;
    mx[k] = -32768;
  }
  const size_t samples = 2 * static_cast<size_t>(std::max(frames, 0));
  for (size_t base = 0; base < samples; base += kSpan) {
    const size_t end = std::min(samples, base + kSpan);
    int32_t sum[kLanes] = {};
    size_t i = base;
    for (; i + kLanes <= end; i += kLanes) {
      for (int k = 0; k < kLanes; ++k) {
        const int32_t raw = buf[i + static_cast<size_t>(k)];
        sum[k] += raw;
        const int32_t v = std::max(raw, -32767);  // -32768 counts as -32767 from here on
        mn[k] = std::min(mn[k], v);
        mx[k] = std::max(mx[k], v);
        sq[k] += static_cast<uint32_t>(v * v);  // at most 32767², within 32 bits
      }
    }
    for (int k = 0; i < end; ++i, ++k) {
      const int32_t raw = buf[i];
      sum[k] += raw;
      const int32_t v = std::max(raw, -32767);
      mn[k] = std::min(mn[k], v);
      mx[k] = std::max(mx[k], v);
      sq[k] += static_cast<uint32_t>(v * v);
    }
    for (int k = 0; k < kLanes; ++k) scan.sum[k % 2] += sum[k];
  }
  for (int c = 0; c < 2; ++c) {
    int32_t lo = 32767, hi = -32768;
    for (int k = c; k < kLanes; k += 2) {
      scan.squares[c] += static_cast<int64_t>(sq[k]);
      lo = std::min(lo, mn[k]);
      hi = std::max(hi, mx[k]);
    }
    scan.minimum[c] = lo;
    scan.maximum[c] = hi;
  }
  scan.count += frames;
}

NormaliseSettings NormaliseSettings::fromSettings(const Settings& s) {
  NormaliseSettings n;
  n.normalise = s.donormalise;
  n.independent = s.normindep;
  n.removeDc = s.removedc;
  n.targetDb = s.normaliseto;
  return n;
}

NormalisePlan planNormalise(const NormaliseSettings& s, const LevelScan& totals,
                            const int minimum[2], const int maximum[2]) {
  NormalisePlan plan;
  constexpr double kInf = std::numeric_limits<double>::infinity();
  double peak[2];
  for (int c = 0; c < 2; ++c) {
    if (s.removeDc && totals.count > 0)
      plan.dc[c] = static_cast<int>(
          roundEven(static_cast<double>(totals.sum[c]) / static_cast<double>(totals.count)));
    const int lo = minimum[c] - plan.dc[c];
    const int hi = maximum[c] - plan.dc[c];
    peak[c] = std::max(std::abs(lo), std::abs(hi));
  }
  const double T = s.normalise ? DbToLevel(s.targetDb) : DbToLevel(0);
  // A zero peak has no finite gain; carried as infinity and sorted out below.
  auto over = [&](double p) { return p == 0 ? kInf : T / p; };
  double g[2];
  if (s.independent) {
    g[0] = over(peak[0]);
    g[1] = over(peak[1]);
  } else {
    g[0] = g[1] = over(std::max(peak[0], peak[1]));
  }
  if (!s.normalise) {
    // DC removal only: one gain for both, and none at all while nothing would clip.
    const double both = std::min(g[0], g[1]);
    g[0] = g[1] = both;
    if (peak[0] <= 32767 && peak[1] <= 32767) g[0] = g[1] = 1.0;
  }
  for (int c = 0; c < 2; ++c) {
    plan.defined[c] = std::isfinite(g[c]);
    plan.gain[c] = plan.defined[c] ? g[c] : 1.0;
  }
  return plan;
}

void NormaliseFrames(int16_t* buf, int32_t frames, const NormalisePlan& plan, bool left,
                     bool right) {
  const bool writes[2] = {left && plan.defined[0], right && plan.defined[1]};
  for (int c = 0; c < 2; ++c) {
    if (!writes[c]) continue;
    const int dc = plan.dc[c];
    const double g = plan.gain[c];
    int16_t* x = buf + c;
    for (int32_t i = 0; i < frames; ++i, x += 2) *x = toSample(static_cast<double>(*x - dc) * g);
  }
}

NormaliseOutcome normaliseSelection(WaveFile& doc, const NormaliseSettings& s, bool direct) {
  NormaliseOutcome out;
  if (!doc.hasSelection() || (!s.normalise && !s.removeDc)) return out;
  Session& ctx = doc.ctx();
  const ChunkWalk walk = levelWalk(doc.selStart, doc.selEnd);

  LevelScan totals;
  int lo[2] = {32767, 32767};
  int hi[2] = {-32768, -32768};
  const PassResult scan = runEffectPass(doc, {" Scanning:", walk, PassStore::None},
                                        [&](int16_t* buf, int32_t first, int32_t last) {
                                          ScanLevels(buf, last - first + 1, totals);
                                          for (int c = 0; c < 2; ++c) {
                                            lo[c] = std::min(lo[c], totals.minimum[c]);
                                            hi[c] = std::max(hi[c], totals.maximum[c]);
                                          }
                                        });
  ctx.requestRepaint(Repaint::all());
  if (scan.stopped) {
    out.stopped = true;
    return out;
  }
  out.plan = planNormalise(s, totals, lo, hi);
  out.silent = !out.plan.defined[0] || !out.plan.defined[1];
  if (out.silent) ctx.info(kNothingToNormaliseText);
  if (!out.plan.defined[0] && !out.plan.defined[1]) return out;

  PassSpec spec{" Normalizing:", walk, direct ? PassStore::Direct : PassStore::Records,
                out.plan.defined[0], out.plan.defined[1]};
  const PassResult r = runEffectPass(doc, spec, [&](int16_t* buf, int32_t first, int32_t last) {
    NormaliseFrames(buf, last - first + 1, out.plan, ctx.editLeft, ctx.editRight);
  });
  out.ran = !r.failed;
  out.stopped = r.stopped;
  out.records = r.records;
  if (r.records > 0) doc.CommitEdit(r.records, "Normalise");
  ctx.requestRepaint(doc.selectionSamples());
  return out;
}

void FadeFrames(int16_t* buf, int32_t frames, int32_t firstFrame, int32_t S, int32_t E,
                bool fadeOut, double F, bool left, bool right) {
  const double span = static_cast<double>(E) - S;
  for (int32_t i = 0; i < frames; ++i) {
    const int32_t p = firstFrame + i;
    double m;
    if (F == 0.0) {
      const double f = (static_cast<double>(p) - S) / span;
      m = fadeOut ? 1 - f : f;
    } else {
      const double f =
          fadeOut ? (static_cast<double>(p) - S) / span : (static_cast<double>(E) - p) / span;
      m = dbGainFactor(f * F);
    }
    int16_t* x = buf + 2 * static_cast<size_t>(i);
    if (left) x[0] = toSample(x[0] * m);
    if (right) x[1] = toSample(x[1] * m);
  }
}

EffectOutcome FadeSelection(WaveFile& doc, bool fadeOut, double F) {
  EffectOutcome out;
  if (!doc.hasSelection()) return out;
  Session& ctx = doc.ctx();
  const int32_t S = doc.selStart;
  const int32_t E = doc.selEnd;
  const PassResult r = runEffectPass(doc, {" Fading:", fadeWalk(S, E), PassStore::Records},
                                     [&](int16_t* buf, int32_t first, int32_t last) {
                                       FadeFrames(buf, last - first + 1, first, S, E, fadeOut, F,
                                                  ctx.editLeft, ctx.editRight);
                                     });
  out.ran = !r.failed;
  out.stopped = r.stopped;
  out.records = r.records;
  if (r.records > 0) doc.CommitEdit(r.records, "Fade");
  ctx.requestRepaint(doc.selectionSamples());
  return out;
}

}  // namespace tolmar
