// The Model click shape and AR interpolation: the least-squares fit against a long-double
// solution of the same normal equations, the residual threshold, the grouping of marks into
// clicks, seams between search blocks, and interpolation of a known AR process.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "declick/ar_model.h"
#include "declick/detection.h"
#include "declick/model_detection.h"
#include "declick/repair.h"
#include "support/doc_fixture.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

// A resonant AR(2) process: poles at radius 0.995, 20 samples a period.
const std::vector<double> kProcess = {1.0, -1.892592, 0.990025};

// A realisation of kProcess driven by Gaussian noise, as 16-bit samples.
std::vector<int32_t> arProcess(size_t n, double sigma, uint32_t seed,
                               std::vector<double>* raw = nullptr) {
  const auto& a = kProcess;
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0.0, sigma);
  std::vector<double> x(n + 200, 0.0);
  for (size_t t = 2; t < x.size(); ++t) x[t] = noise(rng) - a[1] * x[t - 1] - a[2] * x[t - 2];
  std::vector<int32_t> out(n);
  if (raw) raw->assign(x.begin() + 200, x.end());
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<int32_t>(std::lround(x[i + 200]));
  return out;
}

TEST(ArModel, FitMatchesALongDoubleSolutionOfTheNormalEquations) {
  const int p = 8;
  const auto x = arProcess(3000, 300.0, 7);
  ArSums sums(p);
  // Two stretches, as a gap's surroundings are fitted.
  sums.addRows(x.data(), p, 1199);
  sums.addRows(x.data(), 1400 + p, 2999);
  std::vector<double> a;
  ASSERT_TRUE(solveAr(sums, a));

  // The same sums row by row, with the same light diagonal load, solved by Gaussian
  // elimination in long double.
  long double trace = 0;
  std::vector<std::vector<long double>> m(p, std::vector<long double>(p + 1, 0.0L));
  const auto addRow = [&](size_t t) {
    for (int i = 1; i <= p; ++i) {
      for (int j = 1; j <= p; ++j) m[i - 1][j - 1] += static_cast<long double>(x[t - i]) * x[t - j];
      m[i - 1][p] -= static_cast<long double>(x[t - i]) * x[t];
    }
  };
  for (size_t t = p; t <= 1199; ++t) addRow(t);
  for (size_t t = 1400 + p; t <= 2999; ++t) addRow(t);
  for (int i = 0; i < p; ++i) trace += m[i][i];
  for (int i = 0; i < p; ++i) m[i][i] += kArRidge * trace / p + 1e-9L;
  for (int c = 0; c < p; ++c)
    for (int r = c + 1; r < p; ++r) {
      const long double f = m[r][c] / m[c][c];
      for (int k = c; k <= p; ++k) m[r][k] -= f * m[c][k];
    }
  std::vector<long double> ref(p);
  for (int r = p - 1; r >= 0; --r) {
    long double s = m[r][p];
    for (int k = r + 1; k < p; ++k) s -= m[r][k] * ref[k];
    ref[r] = s / m[r][r];
  }
  EXPECT_EQ(a[0], 1.0);
  for (int i = 0; i < p; ++i) EXPECT_NEAR(a[i + 1], static_cast<double>(ref[i]), 1e-9) << i;
  // And the model is the process's: its two coefficients, the rest near zero.
  for (int i = 1; i <= 2; ++i) EXPECT_NEAR(a[i], kProcess[i], 0.05) << i;
  for (int i = 3; i <= p; ++i) EXPECT_NEAR(a[i], 0.0, 0.15) << i;
}

TEST(ArModel, SilenceFitsToTheTrivialModel) {
  const std::vector<int32_t> x(600, 0);
  ArSums sums(kArOrder);
  sums.addRows(x.data(), kArOrder, 599);
  std::vector<double> a;
  ASSERT_TRUE(solveAr(sums, a));
  for (int i = 1; i <= kArOrder; ++i) EXPECT_EQ(a[i], 0.0);
  ArSums tooFew(kArOrder);
  tooFew.addRows(x.data(), kArOrder, kArOrder + 3);
  EXPECT_FALSE(solveAr(tooFew, a));
}

// Forty gaps of seven samples in a realisation of a known AR process: interpolation with the
// model misses by far less than the straight line or the curve over the same frames.
TEST(ArModel, InterpolationOfAKnownProcessBeatsTheLineAndTheCurve) {
  std::vector<double> raw;
  const auto xi = arProcess(20000, 100.0, 11, &raw);
  const int64_t len = 7;
  double errAr = 0, errLine = 0, errCurve = 0, errFit = 0;
  std::vector<int16_t> stereo(2 * xi.size());
  for (size_t i = 0; i < xi.size(); ++i) stereo[2 * i] = static_cast<int16_t>(xi[i]);
  std::vector<int16_t> mono(xi.begin(), xi.end());
  for (int64_t g0 = 400; g0 + 400 < 20000; g0 += 480) {
    const int64_t g1 = g0 + len - 1;
    std::vector<double> x = raw;
    for (int64_t f = g0; f <= g1; ++f) x[f] = 0;  // nothing of the truth left in the gap
    arInterpolate(x, g0, g1, kProcess);
    // The curve between frames g0 - 1 and g1 + 1.
    RepairClickInBuffer(stereo.data(), 0, 19999, static_cast<int32_t>(g0 + 3), 0,
                        RepairMethod::Bezier, 8, false);
    // And from the samples alone, the model fitted around the gap.
    for (int64_t f = g0; f <= g1; ++f) mono[f] = 20000;
    ASSERT_TRUE(arRepairGap(mono.data(), 20000, 1, g0, g1, kArContext));
    EXPECT_EQ(mono[g0 - 1], xi[g0 - 1]);
    EXPECT_EQ(mono[g1 + 1], xi[g1 + 1]);
    for (int64_t f = g0; f <= g1; ++f) {
      const double line = raw[g0 - 1] + (raw[g1 + 1] - raw[g0 - 1]) * (f - g0 + 1) / (len + 1.0);
      errAr += (x[f] - raw[f]) * (x[f] - raw[f]);
      errLine += (line - raw[f]) * (line - raw[f]);
      errCurve += (stereo[2 * f] - raw[f]) * (stereo[2 * f] - raw[f]);
      errFit += (mono[f] - raw[f]) * (mono[f] - raw[f]);
    }
  }
  EXPECT_LT(errAr * 10, errLine);
  EXPECT_LT(errAr * 5, errCurve);
  EXPECT_LT(errFit * 5, errLine);
  EXPECT_LT(errFit * 3, errCurve);

  // Too little sound on one side: nothing changes and the caller is told.
  std::vector<int16_t> edge(mono);
  EXPECT_FALSE(arRepairGap(edge.data(), 20000, 1, 10, 20, kArContext));
  EXPECT_EQ(edge, mono);
}

TEST(ArModel, BoundedInterpolationKeepsTheSignAndTheLevel) {
  std::vector<double> raw;
  arProcess(1000, 300.0, 3, &raw);
  const std::vector<double>& a = kProcess;
  std::vector<double> x = raw;
  const int64_t g0 = 400, g1 = 409;
  std::vector<double> bound(10, 1e6);
  std::vector<int8_t> sign(10, 1);
  arInterpolate(x, g0, g1, a, &bound, &sign);
  for (int64_t f = g0; f <= g1; ++f) EXPECT_EQ(x[f], 1e6);
  x = raw;
  std::vector<double> low(10, -1e6);
  std::vector<int8_t> down(10, -1);
  arInterpolate(x, g0, g1, a, &low, &down);
  for (int64_t f = g0; f <= g1; ++f) EXPECT_EQ(x[f], -1e6);
}

// A step: a jump decaying over some forty frames on top of the process. Repairing only the
// jump leaves the tail; the click repair takes the tail away as well, and leaves a lone spike's
// surroundings alone.
TEST(ArModel, AClickRepairRemovesADecayingTail) {
  std::vector<double> raw;
  const auto xi = arProcess(4000, 100.0, 13, &raw);
  const int64_t g0 = 2000, g1 = 2001;
  const double tau = 9.0;
  std::vector<int16_t> stepped(xi.begin(), xi.end());
  for (int k = 0; k < 60; ++k)
    stepped[g0 + k] =
        static_cast<int16_t>(stepped[g0 + k] + std::lround(6000 * std::exp(-k / tau)));
  std::vector<int16_t> jumpOnly = stepped, withTail = stepped;
  ASSERT_TRUE(arRepairGap(jumpOnly.data(), 4000, 1, g0, g1, kArContext));
  int64_t last = -1;
  ASSERT_TRUE(arRepairClick(withTail.data(), 4000, 1, g0, g1, kArContext, 58, &last));
  EXPECT_GT(last, g1 + 20);
  EXPECT_LE(last, g1 + 58);
  double errJump = 0, errTail = 0;
  for (int64_t f = g0; f < g0 + 80; ++f) {
    errJump += (jumpOnly[f] - raw[f]) * (jumpOnly[f] - raw[f]);
    errTail += (withTail[f] - raw[f]) * (withTail[f] - raw[f]);
  }
  EXPECT_LT(errTail * 20, errJump);
  for (int64_t f = last + 1; f < 4000; ++f) ASSERT_EQ(withTail[f], stepped[f]) << f;

  // A spike has no tail: only the gap changes, about as the gap repair changes it (the model
  // is fitted a little further away).
  std::vector<int16_t> spiked(xi.begin(), xi.end());
  spiked[g0] = static_cast<int16_t>(spiked[g0] + 5000);
  std::vector<int16_t> gapOnly = spiked, repaired = spiked;
  ASSERT_TRUE(arRepairGap(gapOnly.data(), 4000, 1, g0 - 1, g0 + 1, kArContext));
  ASSERT_TRUE(arRepairClick(repaired.data(), 4000, 1, g0 - 1, g0 + 1, kArContext, 58, &last));
  EXPECT_EQ(last, g0 + 1);
  for (int64_t f = 0; f < 4000; ++f) {
    if (f >= g0 - 1 && f <= g0 + 1) {
      EXPECT_NEAR(repaired[f], gapOnly[f], 30) << f;
      EXPECT_NEAR(repaired[f], raw[f], 150) << f;
    } else {
      ASSERT_EQ(repaired[f], spiked[f]) << f;
    }
  }
}

// A repair that would reach far beyond the sound around the gap and beyond the click itself is
// not made, and says so: nothing changed, the last frame changed is before the gap.
TEST(ArModel, ARefusedClickRepairChangesNothingAndSaysSo) {
  // A slow tone whose peak is wiped out over more than a third of its period: what the model
  // rebuilds there stands three times above the frames around the gap.
  std::vector<int16_t> x(4000);
  for (size_t i = 0; i < x.size(); ++i)
    x[i] = static_cast<int16_t>(std::lround(10000 * std::cos(2 * M_PI * (double(i) - 2000) / 300)));
  const int64_t g0 = 1940, g1 = 2060;
  for (int64_t f = g0; f <= g1; ++f) x[static_cast<size_t>(f)] = 0;
  std::vector<int16_t> repaired = x;
  int64_t last = 0;
  ASSERT_TRUE(arRepairClick(repaired.data(), 4000, 1, g0, g1, kArContext, 0, &last));
  EXPECT_EQ(repaired, x);
  EXPECT_EQ(last, g0 - 1);
}

// A burst in music (frames 72..76 of a recording), where the best decaying tail the repair can
// find after the gap is tens of thousands high: the frames it would change count against the
// sound as it was, not as the tail left it, so the repair stays within reach of the music.
TEST(ArModel, ARunawayTailIsNotWritten) {
  const std::vector<int16_t> music = {
      248,   1070,  1890,  2555,  2984,  3136,  3018,  2757,  2625,  2899,  3601,  4398,  4797,
      4532,  3773,  2988,  2583,  2650,  2996,  3353,  3563,  3598,  3486,  3287,  3110,  3043,
      3012,  2785,  2184,  1242,  144,   -916,  -1816, -2512, -3006, -3267, -3181, -2668, -1882,
      -1207, -941,  -1001, -1042, -837,  -479,  -210,  -111,  -13,   283,   769,   1255,  1613,
      1931,  2389,  3058,  3822,  4464,  4787,  4719,  4374,  3989,  3760,  3711,  3712,  3601,
      3304,  2875,  2455,  2144,  1860,  1364,  513,   -3859, 1162,  -2308, 300,   913,   1340,
      2381,  1572,  2162,  1479,  1376,  1018,  837,   981,   1312,  1500,  1350,  1031,  938,
      1294,  1912,  2377,  2405,  2006,  1381,  771,   373,   293,   498,   835,   1122,  1217,
      1005,  419,   -495,  -1551, -2486, -3071, -3189, -2844, -2145, -1246, -282,  663,   1527,
      2211,  2562,  2490,  2123,  1791,  1775,  2065,  2425,  2669,  2840,  3115,  3578,  4130,
      4570,  4748,  4638,  4302,  3796,  3127,  2306,  1445,  735,   306,   103,   -80,   -441,
      -1030, -1747, -2433, -2927, -3088, -2807, -2090, -1113, -158,  541,   920,   1060,  1065,
      975,   804,   636,   630,   864,   1194,  1358,  1252,  1047,  1021,  1304,  1808,  2333,
      2685};
  const int16_t loudest = 4797;
  for (int64_t g1 = 76; g1 <= 78; ++g1) {
    std::vector<int16_t> repaired = music;
    int64_t last = 0;
    ASSERT_TRUE(arRepairClick(repaired.data(), static_cast<int64_t>(music.size()), 1, 70, g1,
                              kArContext, 23, &last));
    for (size_t f = 0; f < music.size(); ++f) {
      EXPECT_LE(std::abs(repaired[f]), 2 * loudest) << "gap end " << g1 << ", frame " << f;
      if (static_cast<int64_t>(f) > last) {
        EXPECT_EQ(repaired[f], music[f]) << f;
      }
    }
  }
}

// ---- Grouping and the threshold ----

ChannelMarks marksOf(size_t n, std::vector<int> fwd, std::vector<int> bwd, float sign = 1.0f) {
  ChannelMarks m;
  m.fwd.assign(n, 0);
  m.bwd.assign(n, 0);
  m.errFwd.assign(n, 0.0f);
  for (int f : fwd) m.fwd[f] = 1, m.errFwd[f] = sign * 100.0f;
  for (int b : bwd) m.bwd[b] = 1;
  return m;
}

TEST(ModelGrouping, MarksCloseTogetherAreOneClickFromTheFirstForwardToTheLastBackwardMark) {
  std::vector<ModelClick> out;
  // A burst over 10..14: backward marks lead it, forward marks trail it.
  groupMarks(marksOf(100, {10, 12, 14, 17, 21}, {4, 8, 10, 11, 14}), 1000, 40, 1, out);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].first, 1010);
  EXPECT_EQ(out[0].last, 1014);
  EXPECT_EQ(out[0].channel, 1);
  EXPECT_EQ(out[0].polarity, 1);

  // A gap of more than six frames starts a new group, one of six does not (the two ends of a
  // bump); a group with marks of one kind only trails or leads a disturbance elsewhere and is
  // no click.
  out.clear();
  groupMarks(marksOf(100, {10, 30, 31, 60, 80}, {10, 31, 50, 86}, -1.0f), 0, 40, 0, out);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].first, 10);
  EXPECT_EQ(out[0].last, 10);
  EXPECT_EQ(out[0].polarity, 0);
  EXPECT_EQ(out[1].first, 30);
  EXPECT_EQ(out[1].last, 31);
  EXPECT_EQ(out[2].first, 80);
  EXPECT_EQ(out[2].last, 86);
  out.clear();
  groupMarks(marksOf(100, {10, 17}, {10, 17}), 0, 40, 0, out);
  ASSERT_EQ(out.size(), 2u);

  // A step: the backward mark lies before the forward one; the click is one frame wide.
  // And the width never exceeds the largest click width.
  out.clear();
  groupMarks(marksOf(100, {20, 70}, {19, 70, 71, 72, 73, 74, 75, 76}), 0, 3, 0, out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].first, 20);
  EXPECT_EQ(out[0].last, 20);
  EXPECT_EQ(out[1].first, 70);
  EXPECT_EQ(out[1].last, 72);
}

// A weak mark supplies the direction a group lacks, within a frame of the group; it makes no
// group of its own, and a group of one kind far from any weak mark is still no click.
TEST(ModelGrouping, AWeakMarkCompletesAGroupButMakesNone) {
  ChannelMarks m = marksOf(100, {20, 60}, {40});
  m.bwd[19] = kWeakMark;  // a step: the jump shows weakly backwards, the frame before it
  m.fwd[41] = kWeakMark;  // and a forward error just after a backward mark
  m.fwd[80] = m.bwd[80] = kWeakMark;  // weak marks alone
  m.bwd[70] = kWeakMark;              // too far from the forward mark at 60
  std::vector<ModelClick> out;
  groupMarks(m, 0, 40, 0, out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].first, 20);
  EXPECT_EQ(out[0].last, 20);
  EXPECT_EQ(out[1].first, 41);
  EXPECT_EQ(out[1].last, 41);
}

// Stereo frames of an AR process (left) and its negative with other noise (right).
std::vector<int16_t> stereoProcess(size_t frames, double sigma, uint32_t seed) {
  const auto l = arProcess(frames, sigma, seed);
  const auto r = arProcess(frames, sigma, seed + 1);
  std::vector<int16_t> out(2 * frames);
  for (size_t i = 0; i < frames; ++i) {
    out[2 * i] = static_cast<int16_t>(l[i]);
    out[2 * i + 1] = static_cast<int16_t>(r[i]);
  }
  return out;
}

std::vector<ModelClick> scan(const std::vector<int16_t>& buf, int relAmp, bool left = true,
                             bool right = true) {
  ModelScanParams p;
  p.relAmplitude = relAmp;
  p.channels[0] = left;
  p.channels[1] = right;
  const bool go = true;
  std::vector<ModelClick> out;
  const int32_t frames = static_cast<int32_t>(buf.size() / 2);
  findModelClicks(buf.data(), 0, frames - 1, 0, frames - 1, p, go, out);
  return out;
}

TEST(ModelDetection, TheThresholdScalesWithRelativeAmplitude) {
  auto buf = stereoProcess(8000, 100.0, 5);
  ASSERT_TRUE(scan(buf, 1000).empty()) << "the process alone has no clicks";
  // The process's prediction error is its driving noise: median |e| about 67. A spike of 2000
  // is 30 times that.
  buf[2 * 3000] = static_cast<int16_t>(buf[2 * 3000] + 2000);
  auto found = scan(buf, 1000);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].first, 3000);
  EXPECT_EQ(found[0].last, 3000);
  EXPECT_EQ(found[0].channel, 0);
  EXPECT_EQ(found[0].polarity, 1);
  EXPECT_TRUE(scan(buf, 2500).size() == 1u);
  EXPECT_TRUE(scan(buf, 1000, false, true).empty()) << "the left channel is not examined";
  // The same spike at a tenth of the size stays under ten medians.
  buf = stereoProcess(8000, 100.0, 5);
  buf[2 * 3000] = static_cast<int16_t>(buf[2 * 3000] + 200);
  EXPECT_TRUE(scan(buf, 1000).empty());
  EXPECT_EQ(scan(buf, 200).size() >= 1u, true) << "but not under two";
}

// White noise: the model predicts nothing, every error is the noise itself.
std::vector<int16_t> stereoNoise(size_t frames, double sigma, uint32_t seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0.0, sigma);
  std::vector<int16_t> out(2 * frames);
  for (int16_t& v : out) v = static_cast<int16_t>(std::lround(noise(rng)));
  return out;
}

// Ten medians of |e| are about 6.7 sigma of the noise. A single frame of 5 sigma stays under
// it; four frames of 5 sigma in a row hold the energy of a single frame of 10 sigma.
TEST(ModelDetection, AWiderClickOfSmallerErrorsIsFoundFromItsEnergy) {
  const double sigma = 200.0;
  auto single = stereoNoise(8000, sigma, 17);
  single[2 * 3000] = static_cast<int16_t>(single[2 * 3000] + 5 * sigma);
  EXPECT_TRUE(scan(single, 1000, true, false).empty());
  auto burst = stereoNoise(8000, sigma, 17);
  for (int k = 0; k < 4; ++k)
    burst[2 * (3000 + k)] = static_cast<int16_t>(burst[2 * (3000 + k)] + (k % 2 ? -5 : 5) * sigma);
  const auto found = scan(burst, 1000, true, false);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_GE(found[0].first, 2999);
  EXPECT_LE(found[0].first, 3001);
  EXPECT_GE(found[0].last, 3002);
  EXPECT_LE(found[0].last, 3004);
}

TEST(ModelDetection, ABurstInBothChannelsIsLinked) {
  auto buf = stereoProcess(8000, 100.0, 9);
  for (int k = 0; k < 6; ++k)
    buf[2 * (4000 + k)] = static_cast<int16_t>(buf[2 * (4000 + k)] + (k % 2 ? -3000 : 3000));
  for (int k = 2; k < 9; ++k)
    buf[2 * (4000 + k) + 1] =
        static_cast<int16_t>(buf[2 * (4000 + k) + 1] + (k % 2 ? -2500 : 2500));
  const auto found = scan(buf, 1000);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].channel, 0);
  EXPECT_EQ(found[1].channel, 1);
  for (const ModelClick& c : found) {
    EXPECT_EQ(c.first, 4000);
    EXPECT_EQ(c.last, 4008);
  }
}

// Loud noise that both channels share (a drum in the middle) hides a spike of three quarters of the
// threshold from each channel's own error. Where the other channel explains most of the error,
// what is left of it shows the spike, and only in its own channel; with unrelated noise in the
// other channel nothing is gained.
TEST(ModelDetection, NoiseSharedByTheChannelsGivesUpAClickInOne) {
  constexpr int32_t kFrames = 48000, kSpikes = 20;
  const auto render = [&](bool shared) {
    std::mt19937 rng(23);
    std::normal_distribution<double> drum(0.0, 1500.0), hiss(0.0, 30.0);
    std::vector<int16_t> buf(2 * kFrames);
    for (int32_t t = 0; t < kFrames; ++t) {
      const double d = drum(rng), other = drum(rng);
      buf[2 * t] = static_cast<int16_t>(std::lround(0.7 * d + hiss(rng)));
      buf[2 * t + 1] = static_cast<int16_t>(std::lround(0.6 * (shared ? d : other) + hiss(rng)));
    }
    for (int32_t i = 0; i < kSpikes; ++i) {
      int16_t& v = buf[2 * static_cast<size_t>(1000 + 2300 * i)];
      v = static_cast<int16_t>(v + (i % 2 ? -4500 : 4500));
    }
    return buf;
  };
  const auto count = [&](const std::vector<ModelClick>& found, uint8_t channel) {
    int hits = 0;
    for (const ModelClick& c : found)
      for (int32_t i = 0; i < kSpikes; ++i)
        if (c.channel == channel && std::abs(c.first - (1000 + 2300 * i)) <= 1) ++hits;
    return hits;
  };
  const auto shared = scan(render(true), 700);
  EXPECT_GE(count(shared, 0), kSpikes - 4);
  EXPECT_EQ(count(shared, 1), 0) << "the spike shows in what is left of the right channel too";
  EXPECT_LE(shared.size(), static_cast<size_t>(kSpikes + 2));
  const auto apart = scan(render(false), 700);
  EXPECT_LE(count(apart, 0), kSpikes / 2);
}

// The search keeps its buffers from one block to the next: what it searched before, longer or
// shorter, must not change what it finds now.
TEST(ModelDetection, EarlierSearchesLeaveNoTrace) {
  auto shortBuf = stereoProcess(6000, 100.0, 31);
  shortBuf[2 * 2500] = static_cast<int16_t>(shortBuf[2 * 2500] + 3000);
  shortBuf[2 * 4100 + 1] = static_cast<int16_t>(shortBuf[2 * 4100 + 1] - 2500);
  std::vector<ModelClick> fresh;
  std::thread([&] { fresh = scan(shortBuf, 1000); }).join();
  ASSERT_EQ(fresh.size(), 2u);
  auto longBuf = stereoNoise(30000, 2000.0, 37);
  for (int32_t t = 1000; t < 30000; t += 1500) longBuf[2 * t] = 30000;
  // Searched as frames 777 on of a file, so that its model stretches lie elsewhere.
  ModelScanParams params;
  params.relAmplitude = 300;
  const bool go = true;
  std::vector<ModelClick> earlier;
  findModelClicks(longBuf.data(), 777, 777 + 29999, 777, 777 + 29999, params, go, earlier);
  EXPECT_FALSE(earlier.empty());
  const auto after = scan(shortBuf, 1000);
  ASSERT_EQ(after.size(), fresh.size());
  for (size_t i = 0; i < after.size(); ++i) {
    EXPECT_EQ(after[i].first, fresh[i].first);
    EXPECT_EQ(after[i].last, fresh[i].last);
    EXPECT_EQ(after[i].channel, fresh[i].channel);
  }
}

// A plucked note entering over the process: a decaying tone that starts at full size. Both
// prediction errors leap at its onset, as at a click, but the tone goes on after it.
std::vector<int16_t> withPluck(std::vector<int16_t> buf, int32_t at, uint8_t channel) {
  const int32_t frames = static_cast<int32_t>(buf.size() / 2);
  for (int32_t t = at; t < frames; ++t) {
    const double v = 12000.0 * std::exp(-(t - at) / 900.0) * std::sin(0.11 * (t - at));
    buf[2 * static_cast<size_t>(t) + channel] = static_cast<int16_t>(
        std::clamp(buf[2 * static_cast<size_t>(t) + channel] + v, -32768.0, 32767.0));
  }
  return buf;
}

TEST(ModelVerification, RebuildingAClickRemovesItsErrorAndRebuildingAnAttackDoesNot) {
  std::vector<double> a;
  const auto fitted = [&](const std::vector<int32_t>& x) {
    ArSums sums(kArOrder);
    sums.addRows(x.data(), kArOrder, 2047);
    ASSERT_TRUE(solveAr(sums, a));
  };
  std::vector<int32_t> x = arProcess(4000, 100.0, 21);
  fitted(x);
  for (int k = 0; k < 3; ++k) x[3000 + k] += k == 1 ? -2500 : 2500;
  const RepairedError click = repairedError(x.data(), 4000, 3000, 3002, a);
  EXPECT_EQ(click.rows, 3 + kArOrder);
  EXPECT_LT(click.after, 0.05 * click.before);
  // What is left is about the noise the rows hold (sigma 100).
  EXPECT_LT(click.after, 3.0 * click.rows * 100.0 * 100.0);

  std::vector<int16_t> plucked = withPluck(stereoProcess(4000, 100.0, 21), 3000, 0);
  std::vector<int32_t> y(4000);
  for (size_t i = 0; i < y.size(); ++i) y[i] = plucked[2 * i];
  const RepairedError attack = repairedError(y.data(), 4000, 3000, 3002, a);
  EXPECT_GT(attack.after, 0.5 * attack.before);
  EXPECT_GT(attack.after, 20.0 * attack.rows * 100.0 * 100.0);
  // Rows beyond the samples: nothing to judge.
  EXPECT_EQ(repairedError(y.data(), 4000, 3990, 3995, a).rows, 0);
}

TEST(ModelDetection, AnAttackOfTheMusicIsNoClickButAClickOnTheNoteIs) {
  auto buf = withPluck(stereoProcess(8000, 100.0, 23), 4000, 0);
  EXPECT_TRUE(scan(buf, 700, true, false).empty());
  buf[2 * 4600] = static_cast<int16_t>(buf[2 * 4600] - 6000);
  const auto found = scan(buf, 700, true, false);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].first, 4600);
}

// ---- Searching a document ----

struct ModelSearchTest : ::testing::Test {
  DocFixture fx;
  ClickLists lists;
  DeclickParams params;
  ModelSearchTest() {
    params.shape = ClickShape::Model;
    params.clickWidth = 40;
    params.repairWidth = 60;
    params.relAmplitude = 1000;
  }
};

// Clicks on both sides of and right on the seams of the search's blocks (every block reports
// the clicks between its margins) are each found once, at their first frame.
TEST_F(ModelSearchTest, AClickAtABlockSeamIsFoundOnce) {
  // The first block is 0 .. B - 1 and reports up to B - 1 - margin; the second starts at
  // B - 2 * margin and reports from there on.
  const int32_t seam = kModelBlockFrames - 1 - kModelMargin;
  const int32_t seam2 = 2 * (kModelBlockFrames - 2 * kModelMargin) + kModelMargin - 1;
  const int32_t frames = seam2 + 40000;
  const auto l = arProcess(frames, 100.0, 21);
  const std::vector<int32_t> at = {5000,        seam - 1, seam,      seam + 1,
                                   seam + 3000, seam2,    seam2 + 1, seam2 + 20000};
  std::vector<int16_t> left(frames);
  for (int32_t f = 0; f < frames; ++f) left[f] = static_cast<int16_t>(l[f]);
  // The clicks at each seam are next to each other: one click, from its first frame.
  for (int32_t f : at) left[f] = static_cast<int16_t>(left[f] + 4000);
  fx.open(WavBuilder().frames(frames, [&](int32_t f) { return Frame{left[f], 0}; }));
  fx.doc->selStart = 0;
  fx.doc->selEnd = frames - 1;
  const int32_t n = FindClicks(*fx.doc, params, lists, true, false, false);
  std::vector<int32_t> got;
  for (const Glitch& g : lists.stored->items) {
    EXPECT_EQ(g.channel, 0);
    got.push_back(g.position);
  }
  const std::vector<int32_t> want = {5000, seam - 1, seam + 3000, seam2, seam2 + 20000};
  EXPECT_EQ(got, want);
  EXPECT_EQ(n, 5);
  EXPECT_EQ(lists.stored->items[1].width, 3);

  // The same from a selection starting one frame later: the blocks move, the clicks do not.
  fx.doc->selStart = 1;
  FindClicks(*fx.doc, params, lists, true, false, false);
  got.clear();
  for (const Glitch& g : lists.stored->items) got.push_back(g.position);
  EXPECT_EQ(got, want);
}

TEST_F(ModelSearchTest, FindAndRemoveRepairsOnlyTheClicks) {
  const int32_t frames = 100000;
  const auto l = arProcess(frames, 100.0, 31);
  std::vector<int16_t> clean(frames);
  for (int32_t f = 0; f < frames; ++f) clean[f] = static_cast<int16_t>(l[f]);
  const std::vector<int32_t> at = {3000, 40000, 70000};
  fx.open(WavBuilder().frames(frames, [&](int32_t f) {
    int v = clean[f];
    for (int32_t c : at)
      if (f >= c && f < c + 4) v += 3000;
    return Frame{static_cast<int16_t>(v), 0};
  }));
  params.repairMethod = RepairMethod::ArInterpolate;
  fx.doc->selStart = 0;
  fx.doc->selEnd = frames - 1;
  EXPECT_EQ(FindClicks(*fx.doc, params, lists, false, false, true), 3);
  std::vector<int16_t> after(2 * static_cast<size_t>(frames));
  fx.doc->ReadFrames(false, after.data(), 0, frames - 1);
  for (int32_t f = 0; f < frames; ++f) {
    bool near = false;
    for (int32_t c : at) near = near || (f >= c - kSpanPad && f < c + 4 + kSpanPad);
    if (!near) {
      ASSERT_EQ(after[2 * f], clean[f]) << f;
    } else {
      EXPECT_LT(std::abs(after[2 * f] - clean[f]), 400) << f;
    }
  }
}

}  // namespace
}  // namespace tolmar::test
