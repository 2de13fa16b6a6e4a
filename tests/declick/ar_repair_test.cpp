// AR click repair against what the model can tell: a click left alone where it is small beside
// the interpolation's own error, a partial repair where they are alike, a gap grown over ringing
// found too short, and a fit kept clear of much louder sound.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "declick/ar_model.h"

namespace tolmar::test {
namespace {

// A resonant AR(2) process: poles at radius 0.995, 20 samples a period.
const std::vector<double> kResonance = {1.0, -1.892592, 0.990025};

std::vector<double> resonance(size_t n, double sigma, std::mt19937& rng) {
  std::normal_distribution<double> noise(0.0, sigma);
  std::vector<double> x(n + 300, 0.0);
  for (size_t t = 2; t < x.size(); ++t)
    x[t] = noise(rng) - kResonance[1] * x[t - 1] - kResonance[2] * x[t - 2];
  return {x.begin() + 300, x.end()};
}

std::vector<int16_t> toSamples(const std::vector<double>& x) {
  std::vector<int16_t> out(x.size());
  for (size_t i = 0; i < x.size(); ++i)
    out[i] = static_cast<int16_t>(std::clamp(std::lround(x[i]), -32768L, 32767L));
  return out;
}

double errorEnergy(const std::vector<int16_t>& x, const std::vector<int16_t>& truth, int64_t first,
                   int64_t last) {
  double e = 0;
  for (int64_t f = first; f <= last; ++f) e += double(x[f] - truth[f]) * (x[f] - truth[f]);
  return e;
}

// In loud white noise nothing predicts the gap. A click well below the noise is left about as
// it was (replacing it would leave the noise's whole energy as error), one about as large as the
// noise is repaired in part, better than either, and a large one is taken out.
TEST(ArRepair, HowMuchOfAClickInLoudNoiseIsRepairedFollowsItsSize) {
  std::mt19937 rng(11);
  std::normal_distribution<double> noise(0.0, 3000.0);
  const int64_t g0 = 1000, g1 = 1006;
  const std::vector<double> sizes = {400, 4500, 15000};
  std::vector<double> before(3, 0.0), after(3, 0.0), replaced(3, 0.0);
  for (int trial = 0; trial < 40; ++trial) {
    std::vector<double> raw(2000);
    for (double& v : raw) v = noise(rng);
    const std::vector<int16_t> clean = toSamples(raw);
    for (size_t s = 0; s < sizes.size(); ++s) {
      std::vector<double> clicked = raw;
      for (int64_t f = g0 + 1; f < g1; ++f) clicked[f] += sizes[s] * (f % 2 ? 1 : -1);
      const std::vector<int16_t> damaged = toSamples(clicked);
      std::vector<int16_t> repaired = damaged, interpolated = damaged;
      ASSERT_TRUE(arRepairClick(repaired.data(), 2000, 1, g0, g1, kArContext, 0));
      ASSERT_TRUE(arRepairGap(interpolated.data(), 2000, 1, g0, g1, kArContext));
      for (int64_t f = 0; f < 2000; ++f) {
        if (f < g0 || f > g1) {
          ASSERT_EQ(repaired[f], damaged[f]) << f;
        }
      }
      before[s] += errorEnergy(damaged, clean, g0, g1);
      after[s] += errorEnergy(repaired, clean, g0, g1);
      replaced[s] += errorEnergy(interpolated, clean, g0, g1);
    }
  }
  // Plain interpolation would make the small clicks far worse; the repair stays within 1 dB.
  EXPECT_GT(replaced[0], 10 * before[0]);
  EXPECT_LT(after[0], 1.26 * before[0]);
  EXPECT_LT(after[1], std::min(before[1], replaced[1]));
  EXPECT_LT(after[2], 0.1 * before[2]);
  EXPECT_LT(after[2], 1.1 * replaced[2]);
}

// Where the sound is predictable a click far below the music's level is still far beyond the
// model's uncertainty: it is replaced about as well as plain interpolation replaces it.
TEST(ArRepair, AClickInPredictableSoundIsReplacedWhole) {
  std::mt19937 rng(3);
  const std::vector<int16_t> clean = toSamples(resonance(3000, 20.0, rng));
  const int64_t g0 = 1500, g1 = 1503;
  std::vector<int16_t> damaged = clean;
  for (int64_t f = g0; f <= g1; ++f) damaged[f] = static_cast<int16_t>(damaged[f] + 150);
  std::vector<int16_t> repaired = damaged, replaced = damaged;
  ASSERT_TRUE(arRepairClick(repaired.data(), 3000, 1, g0, g1, kArContext, 0));
  ASSERT_TRUE(arRepairGap(replaced.data(), 3000, 1, g0, g1, kArContext));
  const double after = errorEnergy(repaired, clean, g0, g1);
  EXPECT_LT(after, 1.5 * errorEnergy(replaced, clean, g0, g1));
  EXPECT_LT(after, 0.02 * errorEnergy(damaged, clean, g0, g1));
}

// A burst found shorter than it is: an interpolation anchored on its last ringing frames swings
// far from the music. The gap grows over them (within the frames the repair may change), and the
// frames beyond the ringing stay as they were.
TEST(ArRepair, TheGapGrowsOverAClicksRingingFoundTooShort) {
  std::mt19937 rng(21);
  const std::vector<int16_t> clean = toSamples(resonance(3000, 20.0, rng));
  const int64_t g0 = 1500, found = 1503, ringsTo = 1509;
  std::vector<int16_t> damaged = clean;
  for (int64_t f = g0; f <= ringsTo; ++f)
    damaged[f] = static_cast<int16_t>(damaged[f] + (f % 2 ? 1 : -1) * 3000 * std::pow(0.7, f - g0));
  std::vector<int16_t> repaired = damaged, shortGap = damaged;
  int64_t last = 0;
  ASSERT_TRUE(arRepairClick(repaired.data(), 3000, 1, g0, found, kArContext, 20, &last));
  ASSERT_TRUE(arRepairGap(shortGap.data(), 3000, 1, g0, found, kArContext));
  EXPECT_GE(last, ringsTo - 1);
  EXPECT_LE(last, found + 8);
  for (int64_t f = last + 1; f < 3000; ++f) ASSERT_EQ(repaired[f], damaged[f]) << f;
  const double before = errorEnergy(damaged, clean, g0, ringsTo + 40);
  EXPECT_LT(errorEnergy(repaired, clean, g0, ringsTo + 40), 0.01 * before);
  EXPECT_GT(errorEnergy(shortGap, clean, g0, ringsTo + 40), 0.05 * before);
}

// A spike whose tail window ends where a step jumps: the rows after the window hold the jump,
// and a decay fitted over the window would explain that, not anything next to the spike. The
// spike's repair leaves the frames after its gap alone.
TEST(ArRepair, ATailDoesNotReachForTheNextClick) {
  std::mt19937 rng(4);
  const std::vector<int16_t> clean = toSamples(resonance(3000, 20.0, rng));
  const int64_t g0 = 1499, g1 = 1501, maxTail = 58, jump = g1 + maxTail + 1;
  std::vector<int16_t> damaged = clean;
  damaged[1500] = static_cast<int16_t>(damaged[1500] + 3000);
  for (int64_t f = jump; f < 1800; ++f)
    damaged[f] = static_cast<int16_t>(damaged[f] + std::lround(2500 * std::exp(-(f - jump) / 9.0)));
  std::vector<int16_t> repaired = damaged;
  int64_t last = 0;
  ASSERT_TRUE(arRepairClick(repaired.data(), 3000, 1, g0, g1, kArContext, maxTail, &last));
  EXPECT_EQ(last, g1);
  for (int64_t f = g1 + 1; f < 3000; ++f) ASSERT_EQ(repaired[f], damaged[f]) << f;
  EXPECT_LT(errorEnergy(repaired, clean, g0, g1), 0.01 * errorEnergy(damaged, clean, g0, g1));
}

// A loud burst of noise (a drum) starting a little after the gap would make the whole context
// look unpredictable, and a clear click in the quiet sound before it look small: the fit stops
// short of the burst, and the click is repaired.
TEST(ArRepair, TheFitStopsShortOfMuchLouderSound) {
  std::mt19937 rng(8);
  std::vector<double> raw = resonance(3000, 10.0, rng);
  std::normal_distribution<double> drum(0.0, 6000.0);
  for (size_t f = 1620; f < raw.size(); ++f) raw[f] += drum(rng);
  const std::vector<int16_t> clean = toSamples(raw);
  const int64_t g0 = 1500, g1 = 1505;
  std::vector<int16_t> damaged = clean;
  for (int64_t f = g0; f <= g1; ++f) damaged[f] = static_cast<int16_t>(damaged[f] - 1500);
  std::vector<int16_t> repaired = damaged;
  ASSERT_TRUE(arRepairClick(repaired.data(), 3000, 1, g0, g1, kArContext, 0));
  EXPECT_LT(errorEnergy(repaired, clean, g0, g1), 0.01 * errorEnergy(damaged, clean, g0, g1));
}

}  // namespace
}  // namespace tolmar::test
