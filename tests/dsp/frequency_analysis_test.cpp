#include "dsp/frequency_analysis.h"

#include <gtest/gtest.h>

#include <cmath>

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

}  // namespace
}  // namespace tolmar::test
