#include "dsp/clipping_repair.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <numbers>
#include <vector>

#include "document/wave_file.h"

namespace tolmar {

namespace {

struct Run {
  int32_t first = 0, last = 0;
};

// The runs of one channel, first frame to last: a marker stands at a run's K-th frame and
// counts its width once the run has ended; a run still open at the end of the scan is as long
// as the scan's run count says.
std::vector<Run> runsOf(const ClipScanState& found, int channel, int32_t minimumRun) {
  const std::vector<Marker>& items = found.found[channel].items;
  std::vector<Run> runs;
  for (size_t i = 0; i < items.size(); ++i) {
    const Marker& m = items[i];
    const bool open = i + 1 == items.size() && found.run[channel] >= minimumRun;
    const int32_t width = open ? found.run[channel] : std::max(m.count, minimumRun);
    const int32_t first = m.position - (minimumRun - 1);
    runs.push_back({first, first + width - 1});
  }
  return runs;
}

}  // namespace

SparseDeclipper::SparseDeclipper(const SparseDeclipOptions& options)
    : options_(options), engine_(std::make_unique<SpectralEngine>()) {
  const int L = options_.frame;
  window_.resize(static_cast<size_t>(L));
  // Never zero, so that every sample of a frame has a say in the overlap-add.
  for (int i = 0; i < L; ++i)
    window_[static_cast<size_t>(i)] = std::sin(std::numbers::pi * (i + 0.5) / L);
  const size_t N = 2 * static_cast<size_t>(L);
  buf_.resize(N);
  mag_.resize(N / 2 + 1);
  for (Frame& f : frame_) {
    f.y.resize(static_cast<size_t>(L));
    f.lo.resize(static_cast<size_t>(L));
    f.hi.resize(static_cast<size_t>(L));
    f.ax.resize(N / 2 + 1);
    f.u.resize(N / 2 + 1);
    f.z.resize(N / 2 + 1);
  }
  engine_->SetFFTSize(2 * L);
}

SparseDeclipper::~SparseDeclipper() = default;

void SparseDeclipper::solvePair(bool both) {
  const int L = options_.frame;
  const int N = 2 * L;
  const int half = L;
  const double unit = 1 / std::sqrt(static_cast<double>(N));
  const auto at = [](auto& v, int i) -> auto& {
    return v[static_cast<size_t>(i)];
  };
  Frame& f0 = frame_[0];
  Frame& f1 = frame_[1];
  f1.done = !both;
  // Zero-padded to twice its length and scaled so that the analysis keeps energy: its adjoint
  // (the first L samples of the inverse) is then its left inverse. Both frames are real, so
  // one transform of y0 + i·y1 holds both spectra.
  const auto analyse = [&]() {
    for (int i = 0; i < N; ++i) at(buf_, i) = i < L ? Complex{at(f0.y, i), at(f1.y, i)} : Complex{};
    engine_->ComplexFFT(buf_.data(), -1);
    const double h = unit / 2;
    for (int b = 0; b <= half; ++b) {
      const Complex p = at(buf_, b), q = at(buf_, (N - b) & (N - 1));
      at(f0.ax, b) = {(p.re + q.re) * h, (p.im - q.im) * h};
      at(f1.ax, b) = {(p.im + q.im) * h, (q.re - p.re) * h};
    }
  };
  // z = the k strongest bins of ax + u.
  const auto keepStrongest = [&](Frame& f) {
    for (int b = 0; b <= half; ++b) {
      const Complex a{at(f.ax, b).re + at(f.u, b).re, at(f.ax, b).im + at(f.u, b).im};
      at(f.z, b) = a;
      at(mag_, b) = a.re * a.re + a.im * a.im;
    }
    if (f.k > half) return;
    pick_ = mag_;
    std::nth_element(pick_.begin(), pick_.begin() + (f.k - 1), pick_.end(), std::greater<>());
    const double threshold = at(pick_, f.k - 1);
    for (int b = 0; b <= half; ++b)
      if (at(mag_, b) < threshold) at(f.z, b) = {0, 0};
  };
  // y = the consistent samples nearest the synthesis of z − u, for the frames not done.
  const auto synthesiseAndProject = [&]() {
    for (int b = 0; b <= half; ++b) {
      Complex v0{}, v1{};
      if (!f0.done) v0 = {at(f0.z, b).re - at(f0.u, b).re, at(f0.z, b).im - at(f0.u, b).im};
      if (!f1.done) v1 = {at(f1.z, b).re - at(f1.u, b).re, at(f1.z, b).im - at(f1.u, b).im};
      at(buf_, b) = {v0.re - v1.im, v0.im + v1.re};
      if (b > 0 && b < half) at(buf_, N - b) = {v0.re + v1.im, v1.re - v0.im};
    }
    engine_->ComplexFFT(buf_.data(), +1);
    for (int i = 0; i < L; ++i) {
      if (!f0.done) at(f0.y, i) = std::clamp(at(buf_, i).re * unit, at(f0.lo, i), at(f0.hi, i));
      if (!f1.done) at(f1.y, i) = std::clamp(at(buf_, i).im * unit, at(f1.lo, i), at(f1.hi, i));
    }
  };

  const double tolerance = options_.tolerance * 32768;
  for (Frame& f : frame_) {
    if (f.done) continue;
    std::fill(f.u.begin(), f.u.end(), Complex{});
    f.k = std::max(1, options_.firstBins);
    ++frames_;
  }
  analyse();
  for (Frame& f : frame_)
    if (!f.done) keepStrongest(f);
  synthesiseAndProject();
  for (int iteration = 1; iteration < options_.maxIterations && !(f0.done && f1.done);
       ++iteration) {
    analyse();
    for (Frame& f : frame_) {
      if (f.done) continue;
      ++iterations_;
      // Bins strictly between 0 and N/2 stand for their mirror images too.
      double miss = 0;
      for (int b = 0; b <= half; ++b) {
        const double dr = at(f.ax, b).re - at(f.z, b).re, di = at(f.ax, b).im - at(f.z, b).im;
        miss += (b > 0 && b < half ? 2 : 1) * (dr * dr + di * di);
        at(f.u, b).re += dr;
        at(f.u, b).im += di;
      }
      if (std::sqrt(miss) <= tolerance) {
        f.done = true;
        continue;
      }
      f.k += std::max(1, static_cast<int>(options_.growth * f.k));
      keepStrongest(f);
    }
    if (!(f0.done && f1.done)) synthesiseAndProject();
  }
}

ClipRepairResult SparseDeclipper::repair(int16_t* x, int64_t n, int64_t stride,
                                         const std::vector<ClipSpan>& spans) {
  ClipRepairResult result;
  const int L = options_.frame;
  const int level = options_.level;
  if (spans.empty() || n <= 0 || level < 1) return result;
  for (const ClipSpan& s : spans)
    if (s.first < 0 || s.last >= n || s.last < s.first) return result;
  if (n < L) {
    ClipRepairOptions ar;
    ar.level = level;
    return repairClippedSpans(x, n, stride, spans, ar);
  }
  const auto magnitude = [](int v) { return std::min(std::abs(v), 32767); };
  const int64_t hop = std::max(1, options_.hop);
  std::vector<int64_t> starts;
  for (const ClipSpan& s : spans) {
    // The frames on the grid that hold a sample of the span, kept inside the window.
    int64_t g = s.first - L + 1;
    g = g <= 0 ? 0 : (g + hop - 1) / hop * hop;
    for (; g <= s.last; g += hop) starts.push_back(std::min<int64_t>(g, n - L));
  }
  std::sort(starts.begin(), starts.end());
  starts.erase(std::unique(starts.begin(), starts.end()), starts.end());

  std::vector<uint8_t> write(static_cast<size_t>(n), 0);
  for (const ClipSpan& s : spans)
    std::fill(write.begin() + s.first, write.begin() + s.last + 1, uint8_t{1});
  std::vector<double> num(static_cast<size_t>(n), 0.0), den(static_cast<size_t>(n), 0.0);
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const auto load = [&](Frame& f, int64_t start) {
    for (int i = 0; i < L; ++i) {
      const int v = x[(start + i) * stride];
      const double w = window_[static_cast<size_t>(i)];
      f.y[static_cast<size_t>(i)] = w * v;
      if (magnitude(v) < level) {
        f.lo[static_cast<size_t>(i)] = f.hi[static_cast<size_t>(i)] = w * v;
      } else if (v > 0) {
        f.lo[static_cast<size_t>(i)] = w * magnitude(v);
        f.hi[static_cast<size_t>(i)] = kInf;
      } else {
        f.lo[static_cast<size_t>(i)] = -kInf;
        f.hi[static_cast<size_t>(i)] = -w * magnitude(v);
      }
    }
    f.done = false;
  };
  const auto add = [&](const Frame& f, int64_t start) {
    for (int i = 0; i < L; ++i) {
      const size_t t = static_cast<size_t>(start + i);
      if (!write[t]) continue;
      num[t] += window_[static_cast<size_t>(i)] * f.y[static_cast<size_t>(i)];
      den[t] += window_[static_cast<size_t>(i)] * window_[static_cast<size_t>(i)];
    }
  };
  for (size_t j = 0; j < starts.size(); j += 2) {
    const bool both = j + 1 < starts.size();
    load(frame_[0], starts[j]);
    if (both) load(frame_[1], starts[j + 1]);
    solvePair(both);
    add(frame_[0], starts[j]);
    if (both) add(frame_[1], starts[j + 1]);
  }
  for (const ClipSpan& s : spans) {
    for (int64_t t = s.first; t <= s.last; ++t) {
      const int v0 = x[t * stride];
      const int sign = v0 < 0 ? -1 : 1;
      const double bound = std::max(level, magnitude(v0));
      double v = std::nearbyint(num[static_cast<size_t>(t)] / den[static_cast<size_t>(t)]);
      if (v > 32767 || v < -32768) {
        ++result.limited;
        v = std::clamp(v, -32768.0, 32767.0);
      }
      if (sign * v < bound) v = std::clamp(sign * bound, -32768.0, 32767.0);
      x[t * stride] = static_cast<int16_t>(v);
    }
  }
  result.repaired = true;
  return result;
}

ClippingRepair repairClipping(WaveFile& doc, const ClipSearch& search, const ClipScanState& found,
                              const ClipRepairOptions& options) {
  ClippingRepair out;
  out.runs = static_cast<int64_t>(found.runs());
  Session& ctx = doc.ctx();
  const int32_t K = std::max(1, search.minimumRun);
  const bool editable[2] = {ctx.editLeft, ctx.editRight};
  const int32_t lastFrame = doc.lastFrame;

  SparseDeclipOptions so;
  so.level = options.level;
  // Runs close enough to share a frame go into one solve, so that no frame is solved twice.
  struct Cluster {
    int channel;
    std::vector<Run> runs;
  };
  std::vector<Cluster> clusters;
  for (int c = 0; c < 2; ++c) {
    if (!editable[c]) continue;
    for (const Run& r : runsOf(found, c, K)) {
      Cluster* last = clusters.empty() || clusters.back().channel != c ? nullptr : &clusters.back();
      if (last && r.first - last->runs.back().last <= so.frame &&
          r.last - last->runs.front().first < kClipClusterFrames)
        last->runs.push_back(r);
      else
        clusters.push_back({c, {r}});
    }
  }
  if (clusters.empty()) return out;

  // The records join the edit list as they are made, their step only after the pass.
  DirectWriteScope busy(doc);
  Progress progress(ctx, " Repairing:");
  const int64_t reach = std::max<int64_t>(options.fitContext + options.order, so.frame);
  SparseDeclipper declipper(so);
  StereoClipOptions stereo;
  stereo.level = options.level;
  std::vector<int16_t> buf;
  for (size_t k = 0; k < clusters.size(); ++k) {
    if (!progress.step(percentOf(static_cast<int64_t>(k), static_cast<int64_t>(clusters.size())))) {
      out.stopped = true;
      break;
    }
    const Cluster& cl = clusters[k];
    const int32_t from = static_cast<int32_t>(std::max<int64_t>(0, cl.runs.front().first - reach));
    const int32_t to =
        static_cast<int32_t>(std::min<int64_t>(lastFrame, cl.runs.back().last + reach));
    buf.assign(2 * (static_cast<size_t>(to - from) + 1), 0);
    // Through the edits, this pass's own included: its rebuilt tops are still at or beyond
    // the level, so they are bounds again, never known sound.
    doc.ReadFrames(true, buf.data(), from, to);
    std::vector<ClipSpan> spans;
    for (const Run& r : cl.runs) spans.push_back({r.first - from, r.last - from});
    // Each group of nearby runs is fitted on its own surroundings, the sound there being the
    // same mix of sources; what the other channel cannot tell goes to the sparse solve.
    std::vector<uint8_t> done(spans.size(), 0);
    std::vector<ClipSpan> rest;
    std::vector<size_t> restAt;
    for (size_t g0 = 0; g0 < spans.size();) {
      size_t g1 = g0 + 1;
      while (g1 < spans.size() && spans[g1].first - spans[g1 - 1].last <= kStereoGroupGap) ++g1;
      const std::vector<ClipSpan> group(spans.begin() + g0, spans.begin() + g1);
      const StereoClipResult st =
          repairClippedFromOther(buf.data(), to - from + 1, cl.channel, group, stereo);
      for (size_t i = g0; i < g1; ++i) {
        if (st.repaired) {
          done[i] = 1;
        } else {
          rest.push_back(spans[i]);
          restAt.push_back(i);
        }
      }
      if (st.repaired) out.limited += st.limited;
      g0 = g1;
    }
    if (!rest.empty()) {
      const ClipRepairResult r = declipper.repair(buf.data() + cl.channel, to - from + 1, 2, rest);
      if (r.repaired) {
        out.limited += r.limited;
        for (size_t i : restAt) done[i] = 1;
      }
    }
    for (size_t i = 0; i < cl.runs.size(); ++i) {
      if (!done[i]) continue;
      const Run& run = cl.runs[i];
      auto rec = std::make_unique<Interpolation>();
      if (!doc.BeginBlock(*rec, run.first, run.last, cl.channel)) continue;
      for (int32_t f = run.first; f <= run.last; ++f)
        doc.PutSample(*rec, f, buf[2 * static_cast<size_t>(f - from) + cl.channel]);
      doc.FinishBlock(*rec);
      if (doc.AddEdit(std::move(rec), cl.channel)) {
        ++out.records;
        ++out.repaired;
      }
    }
  }
  return out;
}

std::string clippingRepairedText(const ClippingRepair& r) {
  std::string text = "Clipping repaired at " + std::to_string(r.repaired) + " of " +
                     std::to_string(r.runs) + " places";
  if (r.limited > 0) text += "; " + std::to_string(r.limited) + " samples stayed at full scale";
  return text;
}

}  // namespace tolmar
