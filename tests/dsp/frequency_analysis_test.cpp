#include "dsp/frequency_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "dsp/spectral_reference.h"

namespace tolmar::test {
namespace {

// At the designed size (740 × 560) the scale factors are 1.
TEST(SpectrumPlot, PositionsAtTheDesignedSize) {
  EXPECT_EQ(spectrumX(1, 4096, 740), 40) << "log10(1) = 0";
  EXPECT_EQ(spectrumX(2048, 4096, 740), 40 + 690);
  // 40 + ⟨log10(93)·690/log10(2048)⟩ = 40 + ⟨410.18…⟩
  EXPECT_EQ(spectrumX(93, 4096, 740), 450);
  // 560 − 40 − lg·(520/log10(2000)/2.5) − 280 for lg = 3.45: 22.6 → 23
  EXPECT_EQ(spectrumY(std::pow(10.0, 3.45), 560), 23);
  EXPECT_EQ(spectrumY(1.0, 560), 240);
  EXPECT_EQ(spectrumY(0.0, 560), 500) << "silence sits at the bottom of the plot";
  EXPECT_EQ(spectrumY(std::nan(""), 560), 500);
}

TEST(SpectrumPlot, GridLabelsCurvesAndCaptionsFollowTheRateAndSize) {
  SpectrumModel m;
  m.n = 4096;
  m.left.assign(4096, 1.0);
  m.right.assign(4096, 10.0);
  m.left[0] = 0.0;
  const SpectrumPlot p = spectrumPlot(m, 740, 560);
  ASSERT_EQ(p.verticals.size(), 10u);
  EXPECT_EQ(p.verticals[5].label, "1kHz");
  EXPECT_EQ(p.verticals[5].from.x, spectrumX(93, 4096, 740));
  EXPECT_EQ(p.verticals[5].from.y, 0);
  EXPECT_EQ(p.verticals[5].to.y, 500);
  EXPECT_EQ(p.verticals[5].labelAt.y, 502);
  ASSERT_EQ(p.horizontals.size(), 13u);
  EXPECT_EQ(p.horizontals[0].label, "0dB");
  EXPECT_EQ(p.horizontals[12].label, "-144dB");
  EXPECT_EQ(p.horizontals[0].from.y, 23);
  EXPECT_EQ(p.horizontals[0].from.x, 40);
  EXPECT_EQ(p.horizontals[0].to.x, 740);
  EXPECT_EQ(p.horizontals[0].labelAt.x, 36);
  // Bin 0 at x(1), then bins 2 … N/2 − 1.
  ASSERT_EQ(p.left.size(), 2047u);
  EXPECT_EQ(p.left[0].x, 40);
  EXPECT_EQ(p.left[0].y, 500);
  EXPECT_EQ(p.left[1].x, spectrumX(2, 4096, 740));
  EXPECT_EQ(p.right[5].y, spectrumY(10.0, 560));
  EXPECT_EQ(p.leftCaption.x, 740 - 420);
  EXPECT_EQ(p.rightCaption.x, 740 - 390);
  EXPECT_EQ(p.leftCaption.y, 4);

  m.sampleRate = 48000;
  const SpectrumPlot q = spectrumPlot(m, 1480, 1120);
  EXPECT_EQ(q.verticals[9].from.x, spectrumX(1707, 4096, 1480));
  EXPECT_EQ(q.verticals[9].label, "20kHz");
  EXPECT_EQ(q.leftCaption.x, 1480 - 850);
  EXPECT_EQ(q.rightCaption.x, 1480 - 790);
  EXPECT_EQ(q.verticals[0].to.y, 1120 - 120);
}

// Steady noise measured both ways: the fingerprint (plain blocks of 8192) drawn on the
// analysis' axes (Hann blocks of 4096) lies on the analysis curve of the same noise.
TEST(SpectrumPlot, AFingerprintOfTheSameNoiseLiesOnTheAnalysisCurve) {
  std::mt19937 rng(3);
  std::normal_distribution<double> noise(0.0, 1000.0);
  std::vector<int16_t> frames(2 * 8192 * 24);
  for (int16_t& s : frames) s = static_cast<int16_t>(std::lround(noise(rng)));
  auto mean = [&](int n, bool window, std::vector<double>& left, std::vector<double>& right) {
    SpectralEngine engine;
    engine.SetFFTSize(n);
    left.assign(static_cast<size_t>(n), 0.0);
    right.assign(static_cast<size_t>(n), 0.0);
    std::vector<double> l(static_cast<size_t>(n)), r(static_cast<size_t>(n));
    const int blocks = static_cast<int>(frames.size() / 2) / n;
    for (int b = 0; b < blocks; ++b) {
      engine.ForwardStereoFFT(frames.data() + 2 * static_cast<size_t>(b) * n, nullptr, window,
                              r.data(), l.data(), nullptr);
      for (int k = 0; k < n; ++k) {
        left[k] += l[k] / blocks;
        right[k] += r[k] / blocks;
      }
    }
  };
  SpectrumModel m;
  m.n = 4096;
  mean(4096, true, m.left, m.right);
  m.fingerprintN = 8192;
  mean(8192, false, m.fingerprintLeft, m.fingerprintRight);
  const SpectrumPlot p = spectrumPlot(m, 740, 560);
  ASSERT_FALSE(p.fingerprintLeft.empty());
  ASSERT_EQ(p.fingerprintLeft.size(), p.fingerprintRight.size());
  EXPECT_EQ(p.fingerprintCaption.y, 4);
  // Compare each fingerprint point above 200 Hz with the curve point at the same x.
  double offset = 0;
  int compared = 0;
  for (const PlotPoint& f : p.fingerprintRight) {
    if (f.x < spectrumX(19, 4096, 740)) continue;
    for (const PlotPoint& c : p.right)
      if (c.x == f.x) {
        offset += f.y - c.y;
        ++compared;
        break;
      }
  }
  ASSERT_GT(compared, 500);
  EXPECT_LT(std::abs(offset / compared), 1.5) << "mean vertical gap in pixels";
  // The fingerprint's first point is where bin 1 of the analysis sits: 8192's bin 2.
  EXPECT_EQ(p.fingerprintLeft.front().x, spectrumX(1, 4096, 740));

  SpectrumModel plain = m;
  plain.fingerprintN = 0;
  EXPECT_TRUE(spectrumPlot(plain, 740, 560).fingerprintLeft.empty());
}

}  // namespace
}  // namespace tolmar::test
