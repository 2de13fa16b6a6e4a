#include "declick/clip_repair.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace tolmar::test {
namespace {

// Three partials and a little noise, so that the process is rich enough for any model order.
std::vector<double> tones(int64_t n, double peak, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> phase(0, 2 * std::numbers::pi), noise(-30, 30);
  const double hz[3] = {220, 331, 587}, amp[3] = {0.5, 0.3, 0.2};
  double ph[3];
  for (double& p : ph) p = phase(rng);
  std::vector<double> x(static_cast<size_t>(n));
  for (int64_t t = 0; t < n; ++t) {
    double v = noise(rng);
    for (int k = 0; k < 3; ++k)
      v += peak * amp[k] * std::sin(2 * std::numbers::pi * hz[k] * t / 44100.0 + ph[k]);
    x[static_cast<size_t>(t)] = v;
  }
  return x;
}

std::vector<int16_t> clipAt(const std::vector<double>& x, int level) {
  std::vector<int16_t> out(x.size());
  for (size_t i = 0; i < x.size(); ++i)
    out[i] = static_cast<int16_t>(std::clamp(std::nearbyint(x[i]), -double(level), double(level)));
  return out;
}

// Runs of at least `shortest` samples at the level.
std::vector<ClipSpan> runsOf(const std::vector<int16_t>& x, int level, int shortest) {
  std::vector<ClipSpan> spans;
  int64_t start = -1;
  for (int64_t i = 0; i <= static_cast<int64_t>(x.size()); ++i) {
    const bool at =
        i < static_cast<int64_t>(x.size()) && std::abs(x[static_cast<size_t>(i)]) >= level;
    if (at && start < 0) start = i;
    if (!at && start >= 0) {
      if (i - start >= shortest) spans.push_back({start, i - 1});
      start = -1;
    }
  }
  return spans;
}

// Prediction-error energy of x under a over every row that lies inside x.
double errorEnergy(const std::vector<double>& x, const std::vector<double>& a) {
  const int p = static_cast<int>(a.size()) - 1;
  double e = 0;
  for (size_t t = static_cast<size_t>(p); t < x.size(); ++t) {
    double s = 0;
    for (int i = 0; i <= p; ++i) s += a[static_cast<size_t>(i)] * x[t - static_cast<size_t>(i)];
    e += s * s;
  }
  return e;
}

TEST(ClipRepair, RebuiltRunsAreFarNearerTheSoundAndStayBeyondTheLevel) {
  const int level = 14000;
  const std::vector<double> clean = tones(20000, 22000, 7);
  std::vector<int16_t> x = clipAt(clean, level);
  const std::vector<int16_t> clipped = x;
  const std::vector<ClipSpan> spans = runsOf(x, level, 4);
  ASSERT_GT(spans.size(), 20u);

  // One call per run, each seeing the runs before it already rebuilt.
  std::vector<uint8_t> inRun(x.size(), 0);
  for (const ClipSpan& s : spans) {
    for (int64_t i = s.first; i <= s.last; ++i) inRun[static_cast<size_t>(i)] = 1;
    ASSERT_TRUE(
        repairClippedSpans(x.data(), static_cast<int64_t>(x.size()), 1, {s}, {level}).repaired);
  }
  double before = 0, after = 0;
  size_t shortRunSamples = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    if (!inRun[i]) {
      // Outside the runs nothing moves, the clipped samples of shorter runs included.
      ASSERT_EQ(x[i], clipped[i]) << i;
      shortRunSamples += std::abs(clipped[i]) >= level;
      continue;
    }
    const int sign = clipped[i] < 0 ? -1 : 1;
    ASSERT_GE(sign * x[i], level) << i;
    before += (clipped[i] - clean[i]) * (clipped[i] - clean[i]);
    after += (x[i] - clean[i]) * (x[i] - clean[i]);
  }
  EXPECT_GT(shortRunSamples, 0u) << "the material should also hold runs too short to repair";
  const double gainDb = 10 * std::log10(before / after);
  EXPECT_GT(gainDb, 12.0) << "before " << before << " after " << after;
}

TEST(ClipRepair, TheModelIsFittedOnlyWhereNothingIsClipped) {
  const int level = 9000;
  const std::vector<double> clean = tones(8000, 20000, 3);
  const std::vector<int16_t> clipped = clipAt(clean, level);
  std::vector<int32_t> xi(clipped.begin(), clipped.end());
  std::vector<int32_t> ci(clean.size());
  for (size_t i = 0; i < clean.size(); ++i) ci[i] = static_cast<int32_t>(std::nearbyint(clean[i]));

  std::vector<double> fromClipped, fromClean, fromAll;
  ASSERT_TRUE(fitUnclipped(xi.data(), static_cast<int64_t>(xi.size()), 16, level, fromClipped));
  ASSERT_TRUE(fitUnclipped(ci.data(), static_cast<int64_t>(ci.size()), 16, 32767, fromClean));
  // The same fit with every row taken, clipped or not.
  ASSERT_TRUE(fitUnclipped(xi.data(), static_cast<int64_t>(xi.size()), 16, 32767, fromAll));
  // Judged on the clean sound: the model fitted around the clipping predicts it almost as well
  // as the one fitted on the clean sound, the one fitted through the flat tops much worse.
  const double best = errorEnergy(clean, fromClean);
  EXPECT_LT(errorEnergy(clean, fromClipped), 1.5 * best);
  EXPECT_GT(errorEnergy(clean, fromAll), 2 * best) << errorEnergy(clean, fromAll) / best;

  // Nothing but clipping: no row to fit on.
  std::vector<int32_t> flat(400, 12000);
  std::vector<double> a;
  EXPECT_FALSE(fitUnclipped(flat.data(), 400, 8, level, a));
}

// Optimality of the bounded solution, checked from outside: no single sample can move, within
// its bound, to a lower error, and the result is never worse than pinning the violators of the
// free solution once and solving the rest again.
TEST(ClipRepair, BoundedInterpolationIsOptimalUnderItsBounds) {
  const std::vector<double> clean = tones(3000, 18000, 11);
  std::vector<int32_t> ci(clean.size());
  for (size_t i = 0; i < clean.size(); ++i) ci[i] = static_cast<int32_t>(std::nearbyint(clean[i]));
  std::vector<double> a;
  ASSERT_TRUE(fitUnclipped(ci.data(), static_cast<int64_t>(ci.size()), 12, 32767, a));

  // A gap of 24 around a positive peak, bounded well above what the sound there holds, so
  // that many samples are held and some must be let go again.
  int64_t peakAt = 1000;
  for (int64_t i = 1000; i < 1400; ++i)
    if (clean[static_cast<size_t>(i)] > clean[static_cast<size_t>(peakAt)]) peakAt = i;
  std::vector<int64_t> unknown;
  std::vector<double> bound;
  std::vector<int8_t> sign;
  for (int64_t i = peakAt - 12; i < peakAt + 12; ++i) {
    unknown.push_back(i);
    bound.push_back(0.9 * clean[static_cast<size_t>(peakAt)]);
    sign.push_back(1);
  }
  std::vector<double> x = clean;
  for (int64_t i : unknown) x[static_cast<size_t>(i)] = 0;
  const int64_t held = boundedArInterpolate(x, unknown, a, bound, sign);
  EXPECT_GT(held, 0);
  EXPECT_LT(held, static_cast<int64_t>(unknown.size()));
  const double e = errorEnergy(x, a);
  for (size_t j = 0; j < unknown.size(); ++j) {
    const size_t i = static_cast<size_t>(unknown[j]);
    ASSERT_GE(x[i], bound[j] - 1e-6) << j;
    for (double step : {-1.0, 1.0, -0.01, 0.01}) {
      std::vector<double> moved = x;
      moved[i] += step;
      if (moved[i] < bound[j]) continue;
      EXPECT_GE(errorEnergy(moved, a), e - 1e-6 * e) << "sample " << j << " step " << step;
    }
  }
  // Pin once, never release.
  std::vector<double> once = clean;
  arInterpolate(once, unknown.front(), unknown.back(), a, &bound, &sign);
  EXPECT_LE(e, errorEnergy(once, a) * (1 + 1e-9));

  // A sign of 0 leaves a sample free; the free solution of all of them is the unbounded one.
  std::vector<double> freeX = clean, plain = clean;
  const std::vector<int8_t> none(unknown.size(), 0);
  EXPECT_EQ(boundedArInterpolate(freeX, unknown, a, bound, none), 0);
  arInterpolate(plain, unknown.front(), unknown.back(), a);
  for (int64_t i : unknown)
    EXPECT_NEAR(freeX[static_cast<size_t>(i)], plain[static_cast<size_t>(i)], 0.5) << i;
}

TEST(ClipRepair, RunsAtTheWindowEdgesShortWindowsAndFullScale) {
  const int level = 9000;
  std::vector<double> clean = tones(3000, 15000, 5);
  // Start and end the window on a clipped top.
  std::vector<int16_t> x = clipAt(clean, level);
  x[0] = x[1] = x[2] = x[3] = x[4] = level;
  x[2995] = x[2996] = x[2997] = x[2998] = x[2999] = -level;
  const std::vector<int16_t> clipped = x;
  const std::vector<ClipSpan> edges = {{0, 4}, {2995, 2999}};
  ASSERT_TRUE(repairClippedSpans(x.data(), 3000, 1, edges, {level}).repaired);
  for (int64_t i : {0, 1, 2, 3, 4}) EXPECT_GE(x[static_cast<size_t>(i)], level) << i;
  for (int64_t i : {2995, 2996, 2997, 2998, 2999})
    EXPECT_LE(x[static_cast<size_t>(i)], -level) << i;
  for (int64_t i = 5; i < 2995; ++i)
    ASSERT_EQ(x[static_cast<size_t>(i)], clipped[static_cast<size_t>(i)]);

  // Interleaved: only the chosen channel changes; a window of 60 samples takes a smaller model.
  std::vector<int16_t> stereo(120, 0), leftOnly(60);
  for (int i = 0; i < 60; ++i) {
    leftOnly[i] = static_cast<int16_t>(std::clamp(12000 * std::sin(i * 0.3), -9000.0, 9000.0));
    stereo[2 * i] = leftOnly[i];
    stereo[2 * i + 1] = 9000;
  }
  const std::vector<ClipSpan> tops = runsOf(leftOnly, level, 2);
  ASSERT_GE(tops.size(), 2u);
  ASSERT_TRUE(repairClippedSpans(stereo.data(), 60, 2, {tops[1]}, {level}).repaired);
  for (int i = 0; i < 60; ++i) {
    ASSERT_EQ(stereo[2 * i + 1], 9000) << i;
    if (i < tops[1].first || i > tops[1].last) {
      ASSERT_EQ(stereo[2 * i], leftOnly[i]) << i;
    }
  }
  bool rose = false;
  for (int64_t i = tops[1].first; i <= tops[1].last; ++i) {
    const int16_t v = stereo[2 * static_cast<size_t>(i)];
    EXPECT_GE(leftOnly[i] < 0 ? -v : v, level) << i;
    rose = rose || std::abs(v) > level;
  }
  EXPECT_TRUE(rose);

  // All clipped: nothing to fit on, nothing changes.
  std::vector<int16_t> flat(500, 9000);
  EXPECT_FALSE(repairClippedSpans(flat.data(), 500, 1, {{100, 120}}, {level}).repaired);
  EXPECT_EQ(flat, std::vector<int16_t>(500, 9000));

  // At full scale the rebuilt top cannot go beyond the 16-bit range: it stays, counted.
  std::vector<int16_t> loud = clipAt(tones(4000, 50000, 9), 32767);
  const std::vector<ClipSpan> loudRuns = runsOf(loud, 32767, 4);
  ASSERT_FALSE(loudRuns.empty());
  const std::vector<int16_t> loudBefore = loud;
  const ClipRepairResult r = repairClippedSpans(loud.data(), 4000, 1, {loudRuns[0]}, {32767});
  EXPECT_TRUE(r.repaired);
  EXPECT_GT(r.limited, 0);
  for (int64_t i = loudRuns[0].first; i <= loudRuns[0].last; ++i) {
    const int v = loud[static_cast<size_t>(i)];
    EXPECT_GE(loudBefore[static_cast<size_t>(i)] < 0 ? -v : v, 32767) << i;
  }
}

// A noise source panned between the channels with a tone on each, as a mix of mono sources:
// left = gl·noise + tone, right = gr·noise + another tone (gr = 0 for unrelated channels, whose
// right then holds a noise of its own).
struct Pair {
  std::vector<double> left, right;
};
Pair noiseMix(int64_t n, double gl, double gr, uint32_t seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> white(0, 7000);
  Pair p{std::vector<double>(static_cast<size_t>(n)), std::vector<double>(static_cast<size_t>(n))};
  double lowpassed = 0, own = 0;
  for (int64_t t = 0; t < n; ++t) {
    // A little smoothing, as a drum's body has, so that runs are several samples long.
    lowpassed = 0.6 * lowpassed + white(rng);
    own = 0.6 * own + white(rng);
    const double w = 2 * std::numbers::pi * t / 44100.0;
    p.left[static_cast<size_t>(t)] = gl * lowpassed + 3000 * std::sin(w * 220);
    p.right[static_cast<size_t>(t)] =
        (gr > 0 ? gr * lowpassed : 0.7 * own) + 2500 * std::sin(w * 330 + 1);
  }
  return p;
}

// Interleaved, each channel clipped at its own level.
std::vector<int16_t> interleave(const Pair& p, int leftLevel, int rightLevel) {
  const std::vector<int16_t> l = clipAt(p.left, leftLevel), r = clipAt(p.right, rightLevel);
  std::vector<int16_t> x(2 * l.size());
  for (size_t i = 0; i < l.size(); ++i) {
    x[2 * i] = l[i];
    x[2 * i + 1] = r[i];
  }
  return x;
}

std::vector<int16_t> channelOf(const std::vector<int16_t>& x, int c) {
  std::vector<int16_t> out(x.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) out[i] = x[2 * i + c];
  return out;
}

// Squared error of the left channel against the truth over the spans' samples.
double spanError(const std::vector<int16_t>& x, const std::vector<double>& truth,
                 const std::vector<ClipSpan>& spans) {
  double e = 0;
  for (const ClipSpan& s : spans)
    for (int64_t t = s.first; t <= s.last; ++t)
      e += std::pow(x[2 * static_cast<size_t>(t)] - truth[static_cast<size_t>(t)], 2);
  return e;
}

TEST(ClipRepairFromOther, NoiseClippedInOneChannelIsRebuiltFromTheOther) {
  const int64_t n = 6000;
  const int level = 11000;
  // Panned to the left, so that mostly the left is clipped and the right holds the noise.
  const Pair p = noiseMix(n, 0.8, 0.2, 21);
  std::vector<int16_t> x = interleave(p, level, level);
  const std::vector<int16_t> clipped = x;
  const std::vector<ClipSpan> spans = runsOf(channelOf(x, 0), level, 2);
  ASSERT_GT(spans.size(), 20u);
  ASSERT_TRUE(runsOf(channelOf(x, 1), level, 1).empty());

  StereoClipOptions options;
  options.level = level;
  const StereoClipResult r = repairClippedFromOther(x.data(), n, 0, spans, options);
  ASSERT_TRUE(r.repaired);
  EXPECT_LT(r.share, 0.1) << "the right channel tells most of the left";
  EXPECT_GT(r.ownShare, options.minOwnShare)
      << "noise, which the left's own past does not foretell";

  std::vector<uint8_t> inSpan(static_cast<size_t>(n), 0);
  for (const ClipSpan& s : spans)
    std::fill(inSpan.begin() + s.first, inSpan.begin() + s.last + 1, uint8_t{1});
  for (int64_t t = 0; t < n; ++t) {
    const size_t i = static_cast<size_t>(t);
    ASSERT_EQ(x[2 * i + 1], clipped[2 * i + 1]) << "the right channel, at " << t;
    if (!inSpan[i]) {
      ASSERT_EQ(x[2 * i], clipped[2 * i]) << t;
      continue;
    }
    ASSERT_GE(clipped[2 * i] < 0 ? -x[2 * i] : x[2 * i], level) << t;
  }

  // The single-channel solve on the same spans, for comparison.
  std::vector<int16_t> alone = clipped;
  ASSERT_TRUE(repairClippedSpans(alone.data(), n, 2, spans, {level}).repaired);
  const double before = spanError(clipped, p.left, spans);
  const double gain = 10 * std::log10(before / spanError(x, p.left, spans));
  const double aloneGain = 10 * std::log10(before / spanError(alone, p.left, spans));
  EXPECT_GT(gain, 20.0);
  EXPECT_GT(gain, aloneGain + 10) << "alone " << aloneGain;
}

TEST(ClipRepairFromOther, ChannelsThatTellLittleOfEachOtherAreLeftAlone) {
  const int64_t n = 6000;
  const int level = 11000;
  // The right holds a noise of its own.
  const Pair unrelated = noiseMix(n, 0.65, 0, 22);
  std::vector<int16_t> x = interleave(unrelated, level, 32767);
  const std::vector<int16_t> before = x;
  const std::vector<ClipSpan> spans = runsOf(channelOf(x, 0), level, 2);
  ASSERT_FALSE(spans.empty());
  StereoClipOptions options;
  options.level = level;
  StereoClipResult r = repairClippedFromOther(x.data(), n, 0, spans, options);
  EXPECT_FALSE(r.repaired);
  EXPECT_GT(r.share, 0.8);
  EXPECT_EQ(x, before);

  // Tones the left's own past foretells: left to the sparse solve, however alike the channels.
  std::vector<double> tone = tones(n, 22000, 4);
  x = interleave({tone, tone}, 14000, 32767);
  const std::vector<int16_t> toneBefore = x;
  const std::vector<ClipSpan> tops = runsOf(channelOf(x, 0), 14000, 4);
  ASSERT_FALSE(tops.empty());
  options.level = 14000;
  r = repairClippedFromOther(x.data(), n, 0, tops, options);
  EXPECT_FALSE(r.repaired);
  EXPECT_LT(r.ownShare, options.minOwnShare);
  EXPECT_EQ(x, toneBefore);

  // Spans outside the window are refused.
  EXPECT_FALSE(repairClippedFromOther(x.data(), n, 0, {{n - 2, n}}, options).repaired);
  EXPECT_FALSE(repairClippedFromOther(x.data(), n, 2, tops, options).repaired);
  EXPECT_EQ(x, toneBefore);
}

TEST(ClipRepairFromOther, NoiseClippedInBothChannelsIsTakenBeyondTheLevel) {
  const int64_t n = 6000;
  const int level = 9000;
  // Nearly alike, so that both are clipped at once.
  const Pair p = noiseMix(n, 0.72, 0.76, 23);
  std::vector<int16_t> x = interleave(p, level, level);
  const std::vector<int16_t> clipped = x;
  const std::vector<ClipSpan> spans = runsOf(channelOf(x, 0), level, 2);
  size_t both = 0, samples = 0;
  for (const ClipSpan& s : spans)
    for (int64_t t = s.first; t <= s.last; ++t, ++samples)
      both += std::abs(x[2 * static_cast<size_t>(t) + 1]) >= level;
  ASSERT_GT(both, samples / 2);

  StereoClipOptions options;
  options.level = level;
  ASSERT_TRUE(repairClippedFromOther(x.data(), n, 0, spans, options).repaired);
  // No sample of the noise is foretold, yet beyond the level it lies further out on the whole:
  // the rebuilt tops do not stay at the level, and come nearer the truth than it.
  double mean = 0;
  for (const ClipSpan& s : spans)
    for (int64_t t = s.first; t <= s.last; ++t) {
      const int v = x[2 * static_cast<size_t>(t)];
      const int sign = clipped[2 * static_cast<size_t>(t)] < 0 ? -1 : 1;
      ASSERT_GE(sign * v, level) << t;
      mean += sign * v;
    }
  mean /= static_cast<double>(samples);
  EXPECT_GT(mean, level * 1.05);
  const double gain =
      10 * std::log10(spanError(clipped, p.left, spans) / spanError(x, p.left, spans));
  EXPECT_GT(gain, 1.6) << "dB; held at the level it would be about 1";
  // Fitted once more with the rebuilt tops in place, the models know the loud burst better.
  std::vector<int16_t> once = clipped;
  options.refits = 0;
  ASSERT_TRUE(repairClippedFromOther(once.data(), n, 0, spans, options).repaired);
  const double onceGain =
      10 * std::log10(spanError(clipped, p.left, spans) / spanError(once, p.left, spans));
  EXPECT_GT(gain, onceGain + 0.5) << "fitted once " << onceGain;
}

// A snare-like burst near the middle and three tones in both channels: the channels' pasts are
// nearly the same regressors, the fit that a runaway solve comes from.
TEST(ClipRepairFromOther, TheSameNoiseInBothChannelsDoesNotRunAway) {
  const int64_t n = 20000;
  const int level = 7000;
  std::mt19937 rng(31);
  std::normal_distribution<double> white(0, 1);
  Pair p{std::vector<double>(n), std::vector<double>(n)};
  const double gl = std::cos(0.55 * std::numbers::pi / 2),
               gr = std::sin(0.55 * std::numbers::pi / 2);
  double body = 0;
  for (int64_t t = 0; t < n; ++t) {
    const double s = (t % 5000) / 44100.0, env = 20000 * std::exp(-s / 0.06);
    body = 0.5 * body + 0.5 * white(rng);
    const double w = 2 * std::numbers::pi * t / 44100.0;
    const double a = 4000 * std::sin(w * 110), b = 3000 * std::sin(w * 440 + 1),
                 c = 2000 * std::sin(w * 660);
    p.left[t] = gl * env * body + 0.8 * a + 0.3 * b + 0.6 * c;
    p.right[t] = gr * env * body + 0.6 * a + 0.95 * b + 0.8 * c;
  }
  std::vector<int16_t> x = interleave(p, level, level);
  const std::vector<int16_t> clipped = x;
  const std::vector<ClipSpan> spans = runsOf(channelOf(x, 0), level, 4);
  ASSERT_GT(spans.size(), 40u);
  StereoClipOptions options;
  options.level = level;
  int wild = 0, rebuilt = 0;
  for (const ClipSpan& s : spans) {
    if (!repairClippedFromOther(x.data(), n, 0, {s}, options).repaired) continue;
    ++rebuilt;
    for (int64_t t = s.first; t <= s.last; ++t)
      wild += std::abs(x[2 * t]) > 2.5 * std::max<double>(level, std::abs(p.left[t]));
  }
  EXPECT_GE(rebuilt, 30) << "of " << spans.size();
  EXPECT_LE(wild, 4) << "samples rebuilt beyond 2.5 times both the level and the truth";
  // Neither channel tells what the noise did, but no worse than the tops left at the level.
  const double gain =
      10 * std::log10(spanError(clipped, p.left, spans) / spanError(x, p.left, spans));
  EXPECT_GT(gain, -0.5);
}

}  // namespace
}  // namespace tolmar::test
