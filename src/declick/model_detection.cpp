#include "declick/model_detection.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "declick/ar_model.h"
#include "declick/wide_vectors.h"

namespace tolmar {

namespace {

// Fewer rows than this give no trustworthy model; such a stretch (only ever cut short by the
// block's edge) borrows its neighbour's.
constexpr int32_t kMinFitRows = 4 * kArOrder;
// Silence and digital zero: an error this small is never a click.
constexpr float kMinThreshold = 4.0f;
// A run of kWindow frames whose error energy exceeds kWindowLoad squared thresholds marks its
// first (forwards) or last (backwards) frame when that frame's own error reaches kWindowStart
// of the threshold: wider clicks spread their energy over several smaller errors.
constexpr int32_t kWindow = 4;
constexpr float kWindowLoad = 1.5f;
constexpr float kWindowStart = 0.5f;
// A step's jump shows less backwards than forwards: the frame before it is predicted from the
// step's level. An error of this share of the threshold completes a group of the other kind.
constexpr float kWeakShare = 0.8f;
// The other channel's error takes part only where it explains at least this share of the
// channel's error energy.
constexpr double kCrossShare = 0.5;
// There, a frame whose own error reaches this share of the threshold is marked when what is
// left of it stands above the threshold of what is left: the other channel's click shows in
// what is left too, but not in this channel's own error.
constexpr float kCrossOwnShare = 0.5f;
constexpr int32_t kScaleHop = 64;
constexpr float kMedianPerClippedMean = 0.9f;
constexpr int32_t kScaleReach = 2;
// A candidate stays a click only when rebuilding it from the model leaves at most this share
// of the prediction error energy over the rows it reaches.
constexpr double kMaxRepairedShare = 0.5;
// ... or when what it leaves is no more than this many times the noise the rows would hold.
constexpr double kNoiseLoad = 4.0;
constexpr double kMedianPerSigma = 0.6745;

struct Segment {
  int32_t first, last;  // rows (frames whose forward prediction has its history in the block)
  std::vector<double> a;
};

struct ChannelErrors {
  std::vector<int32_t> x;
  std::vector<float> xf, ef, eb;  // the samples, the forward and the backward error
  std::vector<Segment> segs;
};

struct Scratch {
  ChannelErrors ce[2];
  std::vector<float> hopMedian, crossMedian, cf, cb;
  std::vector<double> hopSums;
  ChannelMarks marks;
};

// Frames whose errors are summed side by side.
constexpr int32_t kErrorLanes = 16;

// out[t] += sum over i = 0 .. taps - 1 of c[i] * x[t + dir * i] for t = first .. last, each
// sum taken in the order of i.
TOLMAR_WIDE_VECTORS void addFilterOutput(const float* x, const float* c, int taps, int dir,
                                         int32_t first, int32_t last, float* out) {
  int32_t t = first;
  for (; t + kErrorLanes - 1 <= last; t += kErrorLanes) {
    float acc[kErrorLanes] = {};
    for (int i = 0; i < taps; ++i) {
      const float ci = c[i];
      const float* xs = x + t + dir * i;
      for (int32_t k = 0; k < kErrorLanes; ++k) acc[k] += ci * xs[k];
    }
    for (int32_t k = 0; k < kErrorLanes; ++k) out[t + k] += acc[k];
  }
  for (; t <= last; ++t) {
    float s = 0;
    for (int i = 0; i < taps; ++i) s += c[i] * x[t + dir * i];
    out[t] += s;
  }
}

// The typical size of |e| over n values, as the median would give it for Gaussian errors, but
// without sorting: the mean of |e| clipped at twice the previous estimate, three times over,
// so that a click among the values raises it by a few per cent only.
float clippedSum(const float* e, int32_t n, float clip) {
  constexpr int32_t kLanes = 8;
  float acc[kLanes] = {};
  int32_t i = 0;
  for (; i + kLanes <= n; i += kLanes)
    for (int32_t k = 0; k < kLanes; ++k) acc[k] += std::min(std::abs(e[i + k]), clip);
  float sum = 0;
  for (; i < n; ++i) sum += std::min(std::abs(e[i]), clip);
  for (float a : acc) sum += a;
  return sum;
}

float typicalAbs(const float* e, int32_t n) {
  float level = clippedSum(e, n, std::numeric_limits<float>::infinity()) / static_cast<float>(n);
  for (int pass = 0; pass < 3; ++pass)
    level = clippedSum(e, n, 2.0f * level) / static_cast<float>(n);
  // For Gaussian errors the clipped mean is 1.11 times the median of |e|.
  return level * kMedianPerClippedMean;
}

}  // namespace

RepairedError repairedError(const int32_t* x, int32_t n, int32_t first, int32_t last,
                            const std::vector<double>& a) {
  const int p = static_cast<int>(a.size()) - 1;
  // The rows the gap reaches, and their histories: p frames before the gap, p after.
  const int32_t from = first - p, to = last + 2 * p;
  if (from < 0 || to >= n || last < first) return {};
  std::vector<double> w(static_cast<size_t>(to - from + 1));
  for (size_t i = 0; i < w.size(); ++i) w[i] = x[from + static_cast<int32_t>(i)];
  const auto energy = [&] {
    double e = 0;
    for (int32_t t = p; t <= last - from + p; ++t) {
      double s = 0;
      for (int i = 0; i <= p; ++i) s += a[static_cast<size_t>(i)] * w[static_cast<size_t>(t - i)];
      e += s * s;
    }
    return e;
  };
  RepairedError r;
  r.rows = last - first + 1 + p;
  r.before = energy();
  arInterpolate(w, p, last - from, a);
  r.after = energy();
  return r;
}

void groupMarks(const ChannelMarks& marks, int32_t blockStart, int32_t maxWidth, uint8_t channel,
                std::vector<ModelClick>& out) {
  const int32_t n = static_cast<int32_t>(marks.fwd.size());
  int32_t firstMark = -1, lastMark = -1, firstFwd = -1, lastBwd = -1;
  const auto close = [&] {
    // A cluster with only forward marks trails an earlier disturbance, one with only
    // backward marks leads a later one: a click shows in both, if only weakly in one.
    const int32_t from = std::max(0, firstMark - 1), to = std::min(n - 1, lastMark + 1);
    for (int32_t t = from; firstFwd < 0 && t <= to; ++t)
      if (marks.fwd[static_cast<size_t>(t)] == kWeakMark) firstFwd = t;
    for (int32_t t = to; lastBwd < 0 && t >= from; --t)
      if (marks.bwd[static_cast<size_t>(t)] == kWeakMark) lastBwd = t;
    if (firstFwd >= 0 && lastBwd >= 0) {
      ModelClick c;
      c.first = blockStart + firstFwd;
      c.last = blockStart + std::clamp(lastBwd, firstFwd, firstFwd + std::max(maxWidth, 1) - 1);
      c.polarity = marks.errFwd[static_cast<size_t>(firstFwd)] > 0 ? 1 : 0;
      c.channel = channel;
      out.push_back(c);
    }
    firstMark = lastMark = firstFwd = lastBwd = -1;
  };
  for (int32_t t = 0; t < n; ++t) {
    const bool f = marks.fwd[static_cast<size_t>(t)] == kMark;
    const bool b = marks.bwd[static_cast<size_t>(t)] == kMark;
    if (!f && !b) continue;
    if (lastMark >= 0 && t - lastMark > kModelGroupGap) close();
    if (f && firstFwd < 0) firstFwd = t;
    if (b) lastBwd = t;
    if (firstMark < 0) firstMark = t;
    lastMark = t;
  }
  if (lastMark >= 0) close();
}

void findModelClicks(const int16_t* buf, int32_t blockStart, int32_t blockEnd, int32_t ownFrom,
                     int32_t ownTo, const ModelScanParams& params, const bool& keepGoing,
                     std::vector<ModelClick>& out) {
  const int p = kArOrder;
  const int32_t n = blockEnd - blockStart + 1;
  if (n < kMinFitRows + p) return;
  const float k = static_cast<float>(params.relAmplitude) / 100.0f;
  std::vector<ModelClick> found[2];
  // Both channels' errors first: a weaker error of one channel counts where the other channel
  // explains the sound around it, as when a noisy source sits in both.
  // Kept from block to block of a search: fresh buffers of this size cost a page fault per
  // page every time.
  thread_local Scratch scratch;
  ChannelErrors* ce = scratch.ce;
  for (int ch = 0; ch < 2; ++ch) {
    if (!keepGoing) return;
    ChannelErrors& e = ce[ch];
    e.x.resize(static_cast<size_t>(n));
    e.xf.resize(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
      e.x[static_cast<size_t>(i)] = buf[2 * static_cast<size_t>(i) + ch];
      e.xf[static_cast<size_t>(i)] = static_cast<float>(e.x[static_cast<size_t>(i)]);
    }
    // Stretches aligned to the file; rows p .. n - 1 of the block have a full history.
    std::vector<Segment>& segs = e.segs;
    segs.clear();
    const int64_t firstRow = static_cast<int64_t>(blockStart) + p;
    for (int64_t s = firstRow - (firstRow % kModelFitFrames + kModelFitFrames) % kModelFitFrames;
         s <= blockEnd; s += kModelFitFrames) {
      const int64_t a = std::max<int64_t>(s, firstRow);
      const int64_t b = std::min<int64_t>(s + kModelFitFrames - 1, blockEnd);
      if (b >= a)
        segs.push_back(
            {static_cast<int32_t>(a - blockStart), static_cast<int32_t>(b - blockStart), {}});
    }
    for (Segment& sg : segs) {
      if (sg.last - sg.first + 1 < kMinFitRows) continue;
      ArSums sums(p);
      sums.addRows(e.x.data(), sg.first, sg.last);
      solveAr(sums, sg.a);
    }
    // A short stretch at either edge of the block borrows the model next to it.
    for (size_t i = 0; i < segs.size(); ++i) {
      if (!segs[i].a.empty()) continue;
      const size_t j = i + 1 < segs.size() && !segs[i + 1].a.empty() ? i + 1 : (i > 0 ? i - 1 : i);
      segs[i].a = segs[j].a;
      if (segs[i].a.empty()) segs[i].a.assign(static_cast<size_t>(p + 1), 0.0), segs[i].a[0] = 1;
    }
    e.ef.assign(static_cast<size_t>(n), 0.0f);
    e.eb.assign(static_cast<size_t>(n), 0.0f);
    for (const Segment& sg : segs) {
      float c[kArOrder + 1];
      for (int i = 0; i <= p; ++i) c[i] = static_cast<float>(sg.a[static_cast<size_t>(i)]);
      addFilterOutput(e.xf.data(), c, p + 1, -1, sg.first, sg.last, e.ef.data());
      addFilterOutput(e.xf.data(), c, p + 1, 1, sg.first, std::min(sg.last, n - 1 - p),
                      e.eb.data());
    }
  }
  std::vector<float>&hopMedian = scratch.hopMedian, &crossMedian = scratch.crossMedian,
  &cf = scratch.cf, &cb = scratch.cb;
  cf.resize(static_cast<size_t>(n));
  cb.resize(static_cast<size_t>(n));
  std::vector<double>& hopSums = scratch.hopSums;
  ChannelMarks& marks = scratch.marks;
  for (int ch = 0; ch < 2; ++ch) {
    if (!params.channels[ch] || !keepGoing) continue;
    float firstThreshold = kMinThreshold;
    const std::vector<int32_t>& x = ce[ch].x;
    const std::vector<float>& xf = ce[ch].xf;
    const std::vector<Segment>& segs = ce[ch].segs;
    const ChannelErrors& other = ce[1 - ch];
    // Borrowed for the grouping, and given back before the other channel needs it.
    marks.errFwd.swap(ce[ch].ef);
    const std::vector<float>& errBwd = ce[ch].eb;
    // The typical error size around each frame: its typical size over hops of kScaleHop
    // frames, the largest of the hop and its neighbours within kScaleReach hops. An attack of
    // the music raises the error after it for long, and so its own threshold; a click does not.
    marks.fwd.assign(static_cast<size_t>(n), 0);
    marks.bwd.assign(static_cast<size_t>(n), 0);
    const int32_t rowsFirst = segs.empty() ? n : segs.front().first;
    hopMedian.clear();
    for (int32_t h = rowsFirst; h < n; h += kScaleHop)
      hopMedian.push_back(typicalAbs(marks.errFwd.data() + h, std::min(kScaleHop, n - h)));
    const int32_t hops = static_cast<int32_t>(hopMedian.size());
    // The error left once the other channel's error, scaled by their regression over the hop
    // and its neighbours, is taken away; only where the two go together closely. The test is
    // the same for both channels, so each reads only the hops it wrote itself.
    hopSums.assign(3 * static_cast<size_t>(hops), 0.0);
    for (int32_t i = 0; i < hops; ++i)
      for (int32_t t = rowsFirst + i * kScaleHop; t < std::min(n, rowsFirst + (i + 1) * kScaleHop);
           ++t) {
        const double a = marks.errFwd[static_cast<size_t>(t)], b = other.ef[static_cast<size_t>(t)];
        hopSums[3 * static_cast<size_t>(i)] += a * b;
        hopSums[3 * static_cast<size_t>(i) + 1] += b * b;
        hopSums[3 * static_cast<size_t>(i) + 2] += a * a;
      }
    std::vector<uint8_t> crossed(static_cast<size_t>(hops), 0);
    crossMedian.assign(static_cast<size_t>(hops), 0.0f);
    for (int32_t i = 0; i < hops; ++i) {
      double ab = 0, bb = 0, aa = 0;
      for (int32_t j = std::max(0, i - kScaleReach); j <= std::min(hops - 1, i + kScaleReach); ++j)
        ab += hopSums[3 * static_cast<size_t>(j)], bb += hopSums[3 * static_cast<size_t>(j) + 1],
            aa += hopSums[3 * static_cast<size_t>(j) + 2];
      if (bb <= 0 || aa <= 0 || ab * ab < kCrossShare * aa * bb) continue;
      crossed[static_cast<size_t>(i)] = 1;
      const float beta = static_cast<float>(ab / bb);
      const int32_t h = rowsFirst + i * kScaleHop, hEnd = std::min(n, h + kScaleHop);
      for (int32_t t = h; t < hEnd; ++t) {
        cf[static_cast<size_t>(t)] =
            marks.errFwd[static_cast<size_t>(t)] - beta * other.ef[static_cast<size_t>(t)];
        cb[static_cast<size_t>(t)] =
            errBwd[static_cast<size_t>(t)] - beta * other.eb[static_cast<size_t>(t)];
      }
      crossMedian[static_cast<size_t>(i)] = typicalAbs(cf.data() + h, hEnd - h);
    }
    for (int32_t i = 0; i < hops; ++i) {
      float scale = 0;
      for (int32_t j = std::max(0, i - kScaleReach); j <= std::min(hops - 1, i + kScaleReach); ++j)
        scale = std::max(scale, hopMedian[static_cast<size_t>(j)]);
      const float th = std::max(kMinThreshold, k * scale);
      if (i == 0) firstThreshold = th;
      const int32_t h = rowsFirst + i * kScaleHop;
      const int32_t hEnd = std::min(n, h + kScaleHop);
      const float* ef = marks.errFwd.data();
      const float* eb = errBwd.data();
      const float windowMin = kWindowLoad * th * th;
      const bool isCrossed = crossed[static_cast<size_t>(i)] != 0;
      float cs = 0;
      for (int32_t j = std::max(0, i - kScaleReach); j <= std::min(hops - 1, i + kScaleReach); ++j)
        cs = std::max(cs, crossMedian[static_cast<size_t>(j)]);
      const float thc = std::max(kMinThreshold, k * cs), own = kCrossOwnShare * th;
      for (int32_t t = h; t < hEnd; ++t) {
        bool f = std::abs(ef[t]) > th, b = std::abs(eb[t]) > th;
        // Smaller errors over a few frames in a row: a wider click, or a step.
        if (!f && std::abs(ef[t]) > kWindowStart * th && t + kWindow <= n) {
          float e = 0;
          for (int32_t j = 0; j < kWindow; ++j) e += ef[t + j] * ef[t + j];
          f = e > windowMin;
        }
        if (!b && std::abs(eb[t]) > kWindowStart * th && t - kWindow + 1 >= rowsFirst) {
          float e = 0;
          for (int32_t j = 0; j < kWindow; ++j) e += eb[t - j] * eb[t - j];
          b = e > windowMin;
        }
        const float weak = kWeakShare * th;
        if (isCrossed) {
          f = f || (std::abs(ef[t]) > own && std::abs(cf[static_cast<size_t>(t)]) > thc);
          b = b || (std::abs(eb[t]) > own && std::abs(cb[static_cast<size_t>(t)]) > thc);
        }
        marks.fwd[static_cast<size_t>(t)] = f ? kMark : std::abs(ef[t]) > weak ? kWeakMark : 0;
        marks.bwd[static_cast<size_t>(t)] = b ? kMark : std::abs(eb[t]) > weak ? kWeakMark : 0;
      }
    }
    // Frames before the first row have no forward error; their backward one still counts.
    if (!segs.empty()) {
      const float th = firstThreshold;
      for (int32_t t = 0; t < std::min(segs.front().first, n - p); ++t) {
        float s = 0;
        for (int i = 0; i <= p; ++i)
          s += static_cast<float>(segs.front().a[static_cast<size_t>(i)]) *
               xf[static_cast<size_t>(t + i)];
        marks.bwd[static_cast<size_t>(t)] = std::abs(s) > th                ? kMark
                                            : std::abs(s) > kWeakShare * th ? kWeakMark
                                                                            : 0;
      }
    }
    groupMarks(marks, blockStart, params.maxWidth, static_cast<uint8_t>(ch), found[ch]);
    marks.errFwd.swap(ce[ch].ef);
    // An attack of the music goes on exciting the model after the marked frames, so that
    // rebuilding them removes little of the error; rebuilding a click removes nearly all of it.
    std::vector<ModelClick>& list = found[ch];
    size_t kept = 0;
    for (const ModelClick& c : list) {
      const int32_t f = c.first - blockStart;
      if (segs.empty()) break;
      // The stretch holding f (the first one for frames before its rows).
      const auto after = std::upper_bound(segs.begin() + 1, segs.end(), f,
                                          [](int32_t v, const Segment& s) { return v < s.first; });
      const RepairedError r = repairedError(x.data(), n, f, c.last - blockStart, (after - 1)->a);
      // The error level before the candidate: an attack raises the level after it.
      const int32_t hop = std::clamp((f - rowsFirst) / kScaleHop, 0, std::max(0, hops - 1));
      float level = std::numeric_limits<float>::infinity();
      for (int32_t j = std::max(0, hop - kScaleReach); j <= hop && j < hops; ++j)
        level = std::min(level, hopMedian[static_cast<size_t>(j)]);
      const double sigma = hops > 0 ? level / kMedianPerSigma : 0.0;
      if (r.after <= kMaxRepairedShare * r.before || r.after <= kNoiseLoad * r.rows * sigma * sigma)
        list[kept++] = c;
    }
    list.resize(kept);
  }
  if (!keepGoing) return;
  // Link the channels where their clicks overlap: both take the union.
  std::vector<ModelClick>& l = found[0];
  std::vector<ModelClick>& r = found[1];
  for (size_t i = 0, j = 0; i < l.size() && j < r.size();) {
    if (l[i].last < r[j].first) {
      ++i;
    } else if (r[j].last < l[i].first) {
      ++j;
    } else {
      const int32_t first = std::min(l[i].first, r[j].first);
      const int32_t last = std::max(l[i].last, r[j].last);
      l[i].first = r[j].first = first;
      l[i].last = r[j].last = last;
      ++i, ++j;
    }
  }
  std::vector<ModelClick> all(l.begin(), l.end());
  all.insert(all.end(), r.begin(), r.end());
  // Linking can move a click's start back past its neighbour's.
  std::stable_sort(all.begin(), all.end(), [](const ModelClick& a, const ModelClick& b) {
    return a.first != b.first ? a.first < b.first : a.channel < b.channel;
  });
  for (const ModelClick& c : all)
    if (c.first >= ownFrom && c.first <= ownTo) out.push_back(c);
}

}  // namespace tolmar
