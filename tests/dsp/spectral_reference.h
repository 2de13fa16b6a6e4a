#pragma once
// The spectral engine's loops exactly as they are written: 1-based points, the bit reversal
// with its running j, twiddles from the per-stage recurrence, everything evaluated left to
// right in double. The engine is checked against these, and both against a direct DFT.

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "dsp/effect_road.h"
#include "dsp/fft.h"
#include "dsp/noise_reduction.h"

namespace tolmar::test {

inline constexpr double kRefPi = 3.14159265358979323846;

// x holds N + 1 points; x[0] is not used.
inline void refComplexFFT(std::vector<Complex>& x, int N, int sign) {
  const int half = N / 2;
  int log2N = 0;
  while ((1 << log2N) < N) ++log2N;
  int j = 1;
  for (int i = 1; i <= N - 1; ++i) {
    if (i < j) std::swap(x[static_cast<size_t>(i)], x[static_cast<size_t>(j)]);
    int m = half;
    while (m >= 1 && m < j) {
      j = j - m;
      m = m / 2;
    }
    j = j + m;
  }
  for (int s = 1; s <= log2N; ++s) {
    const int span = 1 << s;
    const int h = span / 2;
    const double theta = kRefPi / h;
    const double wpr = std::cos(theta);
    const double wpi = sign * std::sin(theta);
    double wr = 1.0, wi = 0.0;
    for (int m = 1; m <= h; ++m) {
      for (int i = m; i <= N; i += span) {
        const int k = i + h;
        Complex& xi = x[static_cast<size_t>(i)];
        Complex& xk = x[static_cast<size_t>(k)];
        const double tr = wr * xk.re - wi * xk.im;
        const double ti = wr * xk.im + wi * xk.re;
        xk.re = xi.re - tr;
        xk.im = xi.im - ti;
        xi.re = xi.re + tr;
        xi.im = xi.im + ti;
      }
      const double nr = wr * wpr - wi * wpi;
      const double ni = wr * wpi + wi * wpr;
      wr = nr;
      wi = ni;
    }
  }
}

inline double refWindow(int n, int N) {
  return 0.5 * (1 - std::cos(2 * kRefPi * n / (N - 1)));
}

struct RefSpectra {
  std::vector<Complex> left, right;  // 1-based, N + 1 points
  std::vector<double> magLeft, magRight;
};

inline RefSpectra refForward(const int16_t* frames, int N, bool window) {
  RefSpectra r;
  r.left.assign(static_cast<size_t>(N) + 1, {});
  r.right.assign(static_cast<size_t>(N) + 1, {});
  for (int n = 0; n < N; ++n) {
    const double w = window ? refWindow(n, N) : 1.0;
    r.left[static_cast<size_t>(n) + 1] = {(frames[2 * n] / 32767.0) * w, 0.0};
    r.right[static_cast<size_t>(n) + 1] = {(frames[2 * n + 1] / 32767.0) * w, 0.0};
  }
  refComplexFFT(r.left, N, -1);
  refComplexFFT(r.right, N, -1);
  for (int k = 1; k <= N; ++k) {
    const Complex& l = r.left[static_cast<size_t>(k)];
    const Complex& q = r.right[static_cast<size_t>(k)];
    r.magLeft.push_back(std::sqrt(l.re * l.re + l.im * l.im));
    r.magRight.push_back(std::sqrt(q.re * q.re + q.im * q.im));
  }
  return r;
}

inline void refInverse(RefSpectra& r, int16_t* frames, int N, bool window) {
  refComplexFFT(r.left, N, 1);
  refComplexFFT(r.right, N, 1);
  const double scale = 32768 / N;
  for (int n = 0; n < N; ++n) {
    const double w = window ? refWindow(n, N) : 1.0;
    frames[2 * n] = toSample(scale * r.left[static_cast<size_t>(n) + 1].re * w);
    frames[2 * n + 1] = toSample(scale * r.right[static_cast<size_t>(n) + 1].re * w);
  }
}

// The block core as written, with the fingerprint's first N values.
inline void refReduceNoiseBlock(int16_t* frames, int N, const std::vector<double>& printLeft,
                                const std::vector<double>& printRight, bool levelDependent,
                                bool synthesisWindow, double f) {
  double factor[2] = {f, f};
  if (levelDependent)
    for (int c = 0; c < 2; ++c) factor[c] = (0.025 * f) * levelDistance(frames, N, c);
  RefSpectra r = refForward(frames, N, false);
  std::vector<Complex>* spectra[2] = {&r.left, &r.right};
  const std::vector<double>* mags[2] = {&r.magLeft, &r.magRight};
  const std::vector<double>* prints[2] = {&printLeft, &printRight};
  for (int c = 0; c < 2; ++c) {
    for (int k = 0; k < N; ++k) {
      const double m = (*mags[c])[static_cast<size_t>(k)];
      double gain = 0.0;
      if (m > 0) {
        gain = 1 - (*prints[c])[static_cast<size_t>(k)] * factor[c] / m;
        if (gain < 0) gain = 0;
      }
      Complex& x = (*spectra[c])[static_cast<size_t>(k) + 1];
      x.re = x.re * gain;
      x.im = x.im * gain;
    }
  }
  refInverse(r, frames, N, synthesisWindow);
}

}  // namespace tolmar::test

#include <algorithm>
#include <cstring>
#include <string>

#include "support/wav_builder.h"

namespace tolmar::test {

// splitmix64, so that every run sees the same material.
struct TestRng {
  uint64_t state;
  uint64_t next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
};

// Music-like material: decaying plucked tones that change every few thousand frames, hiss,
// hum, clicks and a few stretches driven into clipping. Interleaved, `frames` frames.
inline std::vector<int16_t> realisticFrames(int32_t frames, uint64_t seed) {
  TestRng rng{seed};
  std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
  double phase[2][3] = {}, step[3] = {}, env = 0;
  for (int32_t n = 0; n < frames; ++n) {
    if (n % 3000 == 0) {
      for (double& s : step) s = (60 + 1800 * rng.uniform()) / 44100.0;
      env = 2000 + 30000 * rng.uniform();
    }
    env *= 0.9997;
    for (int c = 0; c < 2; ++c) {
      double v = 0;
      for (int t = 0; t < 3; ++t) {
        phase[c][t] += step[t] * (1 + 0.001 * c);
        v += env / (t + 1) * std::sin(2 * kRefPi * phase[c][t]);
      }
      v += 30 * std::sin(2 * kRefPi * 50 * n / 44100.0);
      v += 80 * (rng.uniform() + rng.uniform() - 1);
      if (rng.next() % 5000 == 0) v += (rng.uniform() < 0.5 ? -1 : 1) * 20000;
      out[2 * static_cast<size_t>(n) + c] = toSample(v);
    }
  }
  return out;
}

// The demo recording's frames (interleaved), or nothing when it was not generated.
inline std::vector<int16_t> demoFrames() {
#ifdef TOLMAR_DEMO_WAV
  std::vector<uint8_t> bytes;
  try {
    bytes = readFileBytes(TOLMAR_DEMO_WAV);
  } catch (...) {
    return {};
  }
  for (size_t i = 12; i + 8 <= bytes.size(); ++i) {
    if (std::memcmp(&bytes[i], "data", 4) != 0) continue;
    const size_t declared = bytes[i + 4] | (bytes[i + 5] << 8) | (bytes[i + 6] << 16) |
                            (static_cast<size_t>(bytes[i + 7]) << 24);
    const size_t count = std::min(declared, bytes.size() - i - 8) / 2;
    std::vector<int16_t> out(count);
    for (size_t k = 0; k < count; ++k)
      out[k] = static_cast<int16_t>(bytes[i + 8 + 2 * k] | (bytes[i + 9 + 2 * k] << 8));
    return out;
  }
#endif
  return {};
}

}  // namespace tolmar::test
