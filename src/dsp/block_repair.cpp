#include "dsp/block_repair.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "document/time_text.h"
#include "document/wave_file.h"
#include "dsp/block_copy.h"
#include "dsp/effect_road.h"
#include "dsp/fft.h"

namespace tolmar {

namespace {

// Within the tolerance, in whole percent of the reference, truncated toward zero.
bool withinTolerance(int32_t candidate, int32_t reference, int tolerance) {
  return std::abs(((candidate - reference) * 100) / reference) < tolerance;
}

int16_t shifted(int16_t v, int64_t by) {
  return static_cast<int16_t>(std::clamp<int64_t>(v + by, -32768, 32767));
}

// Smoothing follows only a step the operation made itself: it folds into the newest step.
int32_t finishStep(WaveFile& doc, MarkerList& markers, int32_t records, const char* caption,
                   bool smoothEdges, int32_t first, int32_t last, bool left, bool right) {
  if (records <= 0) return 0;
  doc.CommitEdit(records, caption);
  if (smoothEdges) SmoothCopyEdges(doc, markers, first, last, left, right);
  return doc.undoSteps.back()->recordCount;
}

}  // namespace

void CompatibleBlockSearch::reset() {
  displayLeft.clear();
  displayLeft.shrink_to_fit();
  displayRight.clear();
  displayRight.shrink_to_fit();
  offset = 0;
  foundStart = foundEnd = -1;
}

std::string searchCaption(WaveFile& doc, int64_t distance) {
  const Session& ctx = doc.ctx();
  // A distance, not a position: no track prefix.
  return std::string(distance >= 0 ? " Searching; offset now: +" : " Searching; offset now: -") +
         formatTime(distance >= 0 ? distance : -distance, ctx.sampleRate, ctx.settings.timeinframes,
                    false, doc.cues);
}

bool FindNextCompatibleBlock(WaveFile& doc, CompatibleBlockSearch& search,
                             const CompatibleSearchParams& params, int32_t displayStep) {
  Session& ctx = doc.ctx();
  const int32_t S = doc.selStart;
  const int32_t E = doc.selEnd;
  if (!doc.hasSelection()) {
    if (ctx.settings.emitbeeps) ctx.beep();
    return false;
  }
  const int64_t L = static_cast<int64_t>(E) - S;
  const int64_t limit = params.timeLimitFrames;
  const int64_t low = std::max<int64_t>(0, S - limit);
  int64_t high = S + limit;
  if (high + L > doc.frameCount) high = doc.frameCount - L;

  int16_t atS[2], atE[2];
  doc.ReadFrames(true, atS, S, S);
  doc.ReadFrames(true, atE, E, E);
  int32_t refS[2], refE[2];
  for (int ch = 0; ch < 2; ++ch) {
    refS[ch] = atS[ch] == 0 ? 1 : atS[ch];
    refE[ch] = atE[ch] == 0 ? 1 : atE[ch];
  }
  const bool tested[2] = {ctx.editLeft, ctx.editRight};

  int64_t c = static_cast<int64_t>(S) + search.offset;
  if (params.forwards) {
    c = std::max<int64_t>(c + L / 10, E);
  } else {
    c -= L / 10;
    if (c > S - L) c = S - L;
  }

  bool found = false;
  {
    Progress stop(ctx, "", false);
    while (low <= c && c <= high && !found && ctx.continueFlag) {
      ctx.progressDetail(searchCaption(doc, c - S));
      stop.pump();
      const int32_t at = static_cast<int32_t>(c);
      int16_t first[2], last[2];
      doc.ReadFrames(true, first, at, at);
      doc.ReadFrames(true, last, static_cast<int32_t>(c + L), static_cast<int32_t>(c + L));
      bool pass = true;
      for (int ch = 0; ch < 2 && pass; ++ch)
        pass = !tested[ch] || (withinTolerance(first[ch], refS[ch], params.tolerance) &&
                               withinTolerance(last[ch], refE[ch], params.tolerance));
      if (pass) {
        found = true;
        search.foundStart = at;
        search.foundEnd = static_cast<int32_t>(c + L);
        search.offset = static_cast<int32_t>(c - S);
        search.displayLeft.clear();
        search.displayRight.clear();
        const int32_t step = std::max(displayStep, 1);
        std::vector<int16_t> buf;
        for (int64_t p = c; p <= c + L; p += kChunkFrames) {
          const int64_t q = std::min<int64_t>(p + kChunkFrames - 1, c + L);
          buf.resize(static_cast<size_t>(q - p + 1) * 2);
          doc.ReadFrames(true, buf.data(), static_cast<int32_t>(p), static_cast<int32_t>(q));
          // The list positions run from c in whole steps, across chunk seams.
          for (int64_t f = p + ((c - p) % step + step) % step; f <= q; f += step) {
            search.displayLeft.push_back(buf[static_cast<size_t>(f - p) * 2]);
            search.displayRight.push_back(buf[static_cast<size_t>(f - p) * 2 + 1]);
          }
        }
      }
      c += params.forwards ? 1 : -1;
    }
  }
  if (!found) ctx.warning(kNoCompatibleBlockText);
  ctx.requestRepaint(Repaint::all());
  return found;
}

void OverlayBlock::setup(int32_t selStart, int32_t selEnd) {
  active = true;
  sourceStart = selStart;
  length = selEnd - selStart + 1;
  position = selStart;
}

void OverlayBlock::move(int64_t frames) {
  position = std::clamp<int64_t>(position + frames, INT32_MIN, INT32_MAX);
}

int32_t CopyOverlay(WaveFile& doc, MarkerList& markers, const OverlayBlock& overlay, bool right,
                    bool left, bool smoothEdges) {
  if (!overlay.active) return 0;
  int64_t source = overlay.position;
  int64_t sourceEnd = overlay.position + overlay.length - 1;
  int64_t dest = overlay.sourceStart;
  // Frames before the file are never copied; starting at frame 0 instead keeps every other
  // frame's destination and keeps the arithmetic within 32 bits.
  if (source < 0) {
    dest -= source;
    source = 0;
  }
  sourceEnd = std::min<int64_t>(sourceEnd, static_cast<int64_t>(doc.lastFrame) + 1);
  if (source >= sourceEnd || dest > doc.lastFrame) return 0;
  BlockCopyOptions options;
  options.smoothEdges = smoothEdges;
  return CopyEarlierBlock(doc, markers, static_cast<int32_t>(source), right, left,
                          static_cast<int32_t>(dest), static_cast<int32_t>(sourceEnd), options);
}

int32_t CopyOtherChannel(WaveFile& doc, MarkerList& markers, int32_t first, int32_t last,
                         bool destinationRight, bool smoothEdges) {
  Session& ctx = doc.ctx();
  if (first < 0 || first >= last) return 0;
  if (!doc.BeginLargeEdit(first, last, kChunkFrames)) return 0;
  const int dest = destinationRight ? 1 : 0;
  const int source = 1 - dest;
  const bool both = ctx.editLeft && ctx.editRight;
  const PassSpec spec{" Copying:", levelWalk(first, last), PassStore::Records,
                      both || !destinationRight, both || destinationRight};
  const PassResult r = runEffectPass(doc, spec, [&](int16_t* buf, int32_t from, int32_t to) {
    for (int32_t i = 0; i <= to - from; ++i) buf[2 * i + dest] = buf[2 * i + source];
  });
  const int32_t result = finishStep(doc, markers, r.records, "Copy Other Channel", smoothEdges,
                                    first, last, !destinationRight, destinationRight);
  ctx.requestRepaint(Repaint::samples(first - kEdgeSmoothFrames, last + kEdgeSmoothFrames));
  doc.EndLargeEdit();
  return result;
}

int32_t MoveBlockVertically(WaveFile& doc, MarkerList& markers, int32_t first, int32_t last,
                            int64_t step, bool up, bool right, bool left, bool smoothEdges) {
  Session& ctx = doc.ctx();
  if (first < 0 || first >= last || !(left || right)) return 0;
  if (!doc.BeginLargeEdit(first, last, kChunkFrames)) return 0;
  const int64_t by = up ? -step : step;
  const PassSpec spec{" Nudging:", levelWalk(first, last), PassStore::Records, left, right};
  const PassResult r = runEffectPass(doc, spec, [&](int16_t* buf, int32_t from, int32_t to) {
    for (int32_t i = 0; i <= to - from; ++i) {
      if (left) buf[2 * i] = shifted(buf[2 * i], by);
      if (right) buf[2 * i + 1] = shifted(buf[2 * i + 1], by);
    }
  });
  const int32_t result =
      finishStep(doc, markers, r.records, "Nudge Block", smoothEdges, first, last, left, right);
  ctx.requestRepaint(Repaint::samples(first - kEdgeSmoothFrames, last + kEdgeSmoothFrames));
  doc.EndLargeEdit();
  return result;
}

int SpectralReplacementSize(int32_t start, int32_t end) {
  // Every one of the selection's frames must come out of one inverse transform, so N covers
  // the whole selection (end − start + 1 frames), not only its span.
  const int64_t frames = static_cast<int64_t>(end) - start + 1;
  int n = kMinFFTSize;
  while (n < frames && n <= kMaxFFTSize) n *= 2;
  return n > kMaxFFTSize ? 0 : n;
}

bool SpectralReplace(WaveFile& doc, SpectralEngine& engine, int channel) {
  Session& ctx = doc.ctx();
  if (!doc.hasSelection()) return false;
  const int32_t S = doc.selStart;
  const int32_t E = doc.selEnd;
  const int n = SpectralReplacementSize(S, E);
  if (n == 0) return false;
  FFTSizeGuard size(engine, n);
  const int32_t L = E - S + 1;
  const int32_t T = L / 8;
  const size_t points = static_cast<size_t>(n);

  // The block before reaches into the selection when N > L; the one after may run past the
  // end of the file, which reads as silence.
  std::vector<int16_t> before(points * 2), after(points * 2);
  doc.ReadFrames(true, before.data(), S - L, S - L + n - 1);
  doc.ReadFrames(true, after.data(), E + 1, E + n);
  std::vector<Complex> aLeft(points), aRight(points), bLeft(points), bRight(points);
  engine.ForwardStereoFFT(before.data(), aLeft.data(), false, nullptr, nullptr, aRight.data());
  engine.ForwardStereoFFT(after.data(), bLeft.data(), false, nullptr, nullptr, bRight.data());
  for (size_t k = 0; k < points; ++k) {
    aLeft[k].re = (aLeft[k].re + bLeft[k].re) / 2;
    aLeft[k].im = (aLeft[k].im + bLeft[k].im) / 2;
    aRight[k].re = (aRight[k].re + bRight[k].re) / 2;
    aRight[k].im = (aRight[k].im + bRight[k].im) / 2;
  }
  std::vector<int16_t> frames(points * 2);
  engine.InverseStereoFFT(aLeft.data(), aRight.data(), frames.data(), false, n);

  std::vector<int16_t> R(static_cast<size_t>(L));
  for (int32_t i = 0; i < L; ++i)
    R[i] = toSample(frames[2 * static_cast<size_t>(i) + channel] * std::sqrt(2.0));

  std::vector<int16_t> X(static_cast<size_t>(L) * 2);
  doc.ReadFrames(true, X.data(), S, E);
  auto current = [&](int32_t frame) { return X[2 * static_cast<size_t>(frame - S) + channel]; };
  for (int32_t i = 0; i < T; ++i) {
    const double f = static_cast<double>(i) / T;
    R[i] = toSample(f * R[i] + (1 - f) * current(S + i));
  }
  for (int32_t i = 0; i < T; ++i) {
    const double f = static_cast<double>(i) / T;
    const size_t k = static_cast<size_t>(L - T + i);
    R[k] = toSample((1 - f) * R[k] + f * current(E - T + 1 + i));
  }

  auto rec = std::make_unique<Interpolation>();
  doc.BeginBlock(*rec, S, E, channel);
  for (int32_t i = 0; i < L; ++i) doc.PutSample(*rec, S + i, R[i]);
  doc.FinishBlock(*rec);
  const bool kept = doc.AddEdit(std::move(rec), channel) != nullptr;
  if (kept) doc.CommitEdit(1, "Spectral Replacement");
  ctx.requestRepaint(Repaint::samples(S, S + L - 1));
  return kept;
}

}  // namespace tolmar
