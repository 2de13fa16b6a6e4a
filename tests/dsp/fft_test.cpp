#include "dsp/fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "dsp/spectral_reference.h"

namespace tolmar::test {
namespace {

std::vector<Complex> randomPoints(int n, uint64_t seed) {
  TestRng rng{seed};
  std::vector<Complex> x(static_cast<size_t>(n));
  for (Complex& c : x) c = {rng.uniform() * 2 - 1, rng.uniform() * 2 - 1};
  return x;
}

TEST(SpectralEngine, SizeSetsScaleLogAndHalfAndIgnoresLengthsItCannotHold) {
  SpectralEngine e;
  EXPECT_EQ(e.N(), 4096);
  for (int n = 128; n <= 16384; n *= 2) {
    e.SetFFTSize(n);
    EXPECT_EQ(e.N(), n);
    EXPECT_EQ(e.scale(), 32768 / n);
    EXPECT_EQ(1 << e.log2N(), n);
    EXPECT_EQ(e.half(), n / 2);
  }
  for (int bad : {0, 64, 100, 3000, 32768, -4096}) {
    e.SetFFTSize(bad);
    EXPECT_EQ(e.N(), 16384) << bad;
  }
  EXPECT_TRUE(isValidFFTSize(128));
  EXPECT_FALSE(isValidFFTSize(int64_t{1} << 33));
}

TEST(SpectralEngine, SizeGuardRestoresTheLengthOnEveryWayOut) {
  SpectralEngine e;
  e.SetFFTSize(8192);
  {
    FFTSizeGuard g(e, 128);
    EXPECT_EQ(e.N(), 128);
  }
  EXPECT_EQ(e.N(), 8192);
  try {
    FFTSizeGuard g(e, 4096);
    throw std::runtime_error("leave early");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(e.N(), 8192);
}

// The fast loops run the same butterflies with the same twiddles: every value is the same
// double as the written loops give, for every length and both directions.
TEST(SpectralEngine, ComplexTransformIsBitIdenticalToTheWrittenLoops) {
  SpectralEngine e;
  for (int n = 128; n <= 16384; n *= 2) {
    e.SetFFTSize(n);
    for (int sign : {-1, 1}) {
      std::vector<Complex> x = randomPoints(n, 17u * static_cast<unsigned>(n) + sign);
      std::vector<Complex> ref(static_cast<size_t>(n) + 1);
      for (int k = 0; k < n; ++k) ref[static_cast<size_t>(k) + 1] = x[static_cast<size_t>(k)];
      refComplexFFT(ref, n, sign);
      e.ComplexFFT(x.data(), sign);
      int differ = 0;
      for (int k = 0; k < n; ++k) {
        if (x[static_cast<size_t>(k)].re != ref[static_cast<size_t>(k) + 1].re ||
            x[static_cast<size_t>(k)].im != ref[static_cast<size_t>(k) + 1].im)
          ++differ;
      }
      EXPECT_EQ(differ, 0) << "N = " << n << ", sign " << sign;
    }
  }
}

// The transform computes X[k] = Σ x[n]·e^(∓2πikn/N): checked against the sum itself in long
// double, over every bin for shorter lengths and a spread of bins at the longest.
TEST(SpectralEngine, ComplexTransformMatchesADirectDft) {
  SpectralEngine e;
  const long double twoPi = 6.283185307179586476925286766559L;
  for (int n : {128, 512, 2048, 16384}) {
    e.SetFFTSize(n);
    for (int sign : {-1, 1}) {
      const std::vector<Complex> x = randomPoints(n, 99u + static_cast<unsigned>(n));
      std::vector<Complex> y = x;
      e.ComplexFFT(y.data(), sign);
      std::vector<long double> cosT(static_cast<size_t>(n)), sinT(static_cast<size_t>(n));
      for (int t = 0; t < n; ++t) {
        cosT[static_cast<size_t>(t)] = std::cos(twoPi * t / n);
        sinT[static_cast<size_t>(t)] = sign * std::sin(twoPi * t / n);
      }
      const int step = n > 2048 ? 257 : 1;
      long double worst = 0;
      for (int k = 0; k < n; k += step) {
        long double sr = 0, si = 0;
        for (int t = 0; t < n; ++t) {
          const size_t a = static_cast<size_t>((int64_t{k} * t) % n);
          const long double c = cosT[a], s = sinT[a];
          sr += x[static_cast<size_t>(t)].re * c - x[static_cast<size_t>(t)].im * s;
          si += x[static_cast<size_t>(t)].re * s + x[static_cast<size_t>(t)].im * c;
        }
        worst = std::max(worst, std::hypot(sr - y[static_cast<size_t>(k)].re,
                                           si - y[static_cast<size_t>(k)].im));
      }
      // Inputs of magnitude ≤ √2 give bins of order √N; the recurrence's twiddle error grows
      // with the stage length and stays far below this.
      EXPECT_LT(static_cast<double>(worst), 1e-9 * n) << "N = " << n << ", sign " << sign;
    }
  }
}

TEST(SpectralEngine, SineOnABinGivesHalfNAtItsTwoBinsAndNearlyNothingElsewhere) {
  SpectralEngine e;
  const int n = 4096, k = 93;
  std::vector<int16_t> frames(2 * n);
  for (int t = 0; t < n; ++t) {
    frames[2 * t] = toSample(32767 * std::sin(2 * kRefPi * k * t / n));
    frames[2 * t + 1] = toSample(32767 * std::cos(2 * kRefPi * k * t / n));
  }
  std::vector<double> magL(n), magR(n);
  std::vector<Complex> specL(n), specR(n);
  e.ForwardStereoFFT(frames.data(), specL.data(), false, magR.data(), magL.data(), specR.data());
  for (const auto* mag : {&magL, &magR}) {
    EXPECT_NEAR((*mag)[k], n / 2.0, 0.01);
    EXPECT_NEAR((*mag)[n - k], n / 2.0, 0.01);
    double elsewhere = 0;
    for (int b = 0; b < n; ++b)
      if (b != k && b != n - k) elsewhere = std::max(elsewhere, (*mag)[b]);
    EXPECT_LT(elsewhere, 0.01);
  }
  // The spectra are the magnitudes' complex values: a cosine is real at its bin.
  EXPECT_NEAR(specR[k].re, n / 2.0, 0.01);
  EXPECT_NEAR(specL[k].im, -n / 2.0, 0.01);
}

TEST(SpectralEngine, ForwardThenInverseWithoutWindowsScalesBy32768Over32767) {
  SpectralEngine e;
  for (int n : {128, 4096, 16384}) {
    e.SetFFTSize(n);
    std::vector<int16_t> in = realisticFrames(n, 5u + static_cast<unsigned>(n));
    in[0] = 32767;
    in[1] = -32768;
    std::vector<int16_t> out(in.size());
    std::vector<Complex> l(n), r(n);
    e.ForwardStereoFFT(in.data(), l.data(), false, nullptr, nullptr, r.data());
    e.InverseStereoFFT(l.data(), r.data(), out.data(), false, n);
    int wrong = 0;
    for (size_t i = 0; i < in.size(); ++i)
      if (out[i] != toSample(in[i] * 32768.0 / 32767.0)) ++wrong;
    EXPECT_EQ(wrong, 0) << "N = " << n;
    EXPECT_EQ(out[0], 32767) << "full scale is limited";
    // The inverse works in place: the spectra now hold the time-domain values.
    EXPECT_NEAR(l[5].re * e.scale(), in[10] * 32768.0 / 32767.0, 1e-6);
  }
}

TEST(SpectralEngine, BothWindowsGiveTheSignalTimesTheSquaredSymmetricHann) {
  SpectralEngine e;
  const int n = 2048;
  e.SetFFTSize(n);
  std::vector<int16_t> in = realisticFrames(n, 77);
  std::vector<int16_t> out(in.size());
  std::vector<Complex> l(n), r(n);
  e.ForwardStereoFFT(in.data(), l.data(), true, nullptr, nullptr, r.data());
  e.InverseStereoFFT(l.data(), r.data(), out.data(), true, n);
  for (int t = 0; t < n; ++t) {
    const double w = refWindow(t, n);
    for (int c = 0; c < 2; ++c) {
      const double expected = in[2 * t + c] * 32768.0 / 32767.0 * w * w;
      EXPECT_LE(std::abs(out[2 * t + c] - expected), 0.5 + 1e-6) << t;
    }
  }
  // Symmetric: N − 1 in the denominator, zero at both ends, mirror images about the middle.
  EXPECT_EQ(hannWindow(0, n), 0.0);
  EXPECT_NEAR(hannWindow(n - 1, n), 0.0, 1e-15);
  EXPECT_NEAR(hannWindow(100, n), hannWindow(n - 1 - 100, n), 1e-15);
  // A constant signal's bin 0 is the window's sum, (N − 1)/2 for this window (N/2 for the
  // periodic one).
  std::vector<int16_t> dc(2 * n, 32767);
  std::vector<double> mag(n);
  e.ForwardStereoFFT(dc.data(), nullptr, true, nullptr, mag.data(), nullptr);
  EXPECT_NEAR(mag[0], (n - 1) / 2.0, 1e-9);
}

TEST(SpectralEngine, InverseWritesNoMoreFramesThanTheBufferHolds) {
  SpectralEngine e;
  const int n = 128;
  e.SetFFTSize(n);
  std::vector<Complex> l(n), r(n);
  l[0] = r[0] = {1.0, 0.0};  // a constant 256 after scaling
  std::vector<int16_t> out(2 * n, 7);
  e.InverseStereoFFT(l.data(), r.data(), out.data(), false, 100);
  EXPECT_EQ(out[0], 256);
  EXPECT_EQ(out[199], 256);
  EXPECT_EQ(out[200], 7);
  EXPECT_EQ(out[2 * n - 1], 7);
}

// Long realistic material through the forward and inverse transforms with and without
// windows: the engine and the written loops give the same samples (never more than 1 apart)
// and the same magnitudes.
TEST(SpectralEngine, RoundTripsOfRealisticMaterialMatchTheWrittenLoops) {
  std::vector<int16_t> material = demoFrames();
  if (material.size() < 2u * 44100 * 20) material = realisticFrames(44100 * 20, 2024);
  SpectralEngine e;
  int64_t samples = 0, differ = 0, worst = 0;
  for (int n : {2048, 4096, 16384}) {
    e.SetFFTSize(n);
    std::vector<Complex> l(n), r(n);
    std::vector<double> magL(n), magR(n);
    std::vector<int16_t> out(2 * static_cast<size_t>(n)), ref(out.size());
    // Blocks spread over the whole material, music and quiet passages alike.
    const size_t blocks = material.size() / 2 / static_cast<size_t>(n);
    for (size_t b = 0; b < blocks; b += 7) {
      const int16_t* in = material.data() + b * 2 * static_cast<size_t>(n);
      const bool window = (b / 7) % 2 == 1;
      e.ForwardStereoFFT(in, l.data(), window, magR.data(), magL.data(), r.data());
      RefSpectra rs = refForward(in, n, window);
      ASSERT_EQ(magL, rs.magLeft);
      ASSERT_EQ(magR, rs.magRight);
      e.InverseStereoFFT(l.data(), r.data(), out.data(), window, n);
      refInverse(rs, ref.data(), n, window);
      for (size_t i = 0; i < out.size(); ++i) {
        const int64_t d = std::abs(static_cast<int64_t>(out[i]) - ref[i]);
        worst = std::max(worst, d);
        differ += d != 0;
        ++samples;
      }
    }
  }
  EXPECT_GT(samples, 1000000);
  EXPECT_LE(worst, 1);
  EXPECT_EQ(differ, 0) << "the engine evaluates the same operations";
}

TEST(SetPrecision, SelectsTheEntryOfTheCurrentLength) {
  EXPECT_EQ(SetPrecisionModel::forSize(2048).selected, 0);
  EXPECT_EQ(SetPrecisionModel::forSize(4096).selected, 1);
  EXPECT_EQ(SetPrecisionModel::forSize(16384).selected, 3);
  const SetPrecisionModel none = SetPrecisionModel::forSize(1024);
  EXPECT_EQ(none.selected, -1);
  EXPECT_EQ(none.chosenSize(1024), 1024) << "no entry chosen keeps N";
  SetPrecisionModel m = SetPrecisionModel::forSize(4096);
  m.selected = 2;
  EXPECT_EQ(m.chosenSize(4096), 8192);
  EXPECT_STREQ(kPrecisionEntries[3].text, "Very High");
}

}  // namespace
}  // namespace tolmar::test
