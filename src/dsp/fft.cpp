#include "dsp/fft.h"

#include <bit>
#include <cmath>

#include "dsp/simd2.h"

namespace tolmar {

namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

bool isValidFFTSize(int64_t n) {
  return n >= kMinFFTSize && n <= kMaxFFTSize && std::has_single_bit(static_cast<uint64_t>(n));
}

double hannWindow(int n, int N) {
  return 0.5 * (1 - std::cos(2 * kPi * n / (N - 1)));
}

// Everything that depends on N alone.
struct SpectralEngine::Plan {
  int n = 0;
  // Stage with half-span h uses entries h − 1 … 2h − 2: w_0 = (1, 0), w_{m+1} = w_m·(wpr, wpi).
  std::vector<double> twr, twi;        // sign −1
  std::vector<double> twrInv, twiInv;  // sign +1
  std::vector<int32_t> rev;            // bit-reversed index
  std::vector<double> window;

  explicit Plan(int size) : n(size) {
    twr.resize(static_cast<size_t>(n));
    twi.resize(static_cast<size_t>(n));
    twrInv.resize(static_cast<size_t>(n));
    twiInv.resize(static_cast<size_t>(n));
    for (int sign : {-1, 1}) {
      double* wr = sign < 0 ? twr.data() : twrInv.data();
      double* wi = sign < 0 ? twi.data() : twiInv.data();
      for (int h = 1; h < n; h *= 2) {
        const double theta = kPi / h;
        const double wpr = std::cos(theta);
        const double wpi = sign * std::sin(theta);
        double r = 1.0, i = 0.0;
        for (int m = 0; m < h; ++m) {
          wr[h - 1 + m] = r;
          wi[h - 1 + m] = i;
          const double nr = r * wpr - i * wpi;
          const double ni = r * wpi + i * wpr;
          r = nr;
          i = ni;
        }
      }
    }
    const int bits = std::countr_zero(static_cast<unsigned>(n));
    rev.resize(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
      int r = 0;
      for (int b = 0; b < bits; ++b) r |= ((k >> b) & 1) << (bits - 1 - b);
      rev[static_cast<size_t>(k)] = r;
    }
    window.resize(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) window[static_cast<size_t>(k)] = hannWindow(k, n);
  }
};

namespace {

using simd2::D2;
using simd2::high;
using simd2::load;
using simd2::low;
using simd2::splat;
using simd2::store;

// Two complex points per lane pair.
struct C2 {
  D2 re, im;
};

// t = w·b; b = a − t; a = a + t.
inline void butterfly(C2& a, C2& b, D2 wr, D2 wi) {
  const D2 tr = wr * b.re - wi * b.im;
  const D2 ti = wr * b.im + wi * b.re;
  b.re = a.re - tr;
  b.im = a.im - ti;
  a.re = a.re + tr;
  a.im = a.im + ti;
}

inline C2 loadC(const double* re, const double* im, int k) {
  return {load(re + k), load(im + k)};
}
inline void storeC(double* re, double* im, int k, const C2& x) {
  store(re + k, x.re);
  store(im + k, x.im);
}

// Stages h = 1 and h = 2 together, two groups of four points in the two lanes.
void firstStages(double* re, double* im, int n, const double* twr, const double* twi) {
  const D2 w1r = splat(twr[0]), w1i = splat(twi[0]);
  const D2 w20r = splat(twr[1]), w20i = splat(twi[1]);
  const D2 w21r = splat(twr[2]), w21i = splat(twi[2]);
  for (int g = 0; g < n; g += 8) {
    const C2 a = loadC(re, im, g), b = loadC(re, im, g + 4);
    const C2 c = loadC(re, im, g + 2), d = loadC(re, im, g + 6);
    C2 x0{low(a.re, b.re), low(a.im, b.im)}, x1{high(a.re, b.re), high(a.im, b.im)};
    C2 x2{low(c.re, d.re), low(c.im, d.im)}, x3{high(c.re, d.re), high(c.im, d.im)};
    butterfly(x0, x1, w1r, w1i);
    butterfly(x2, x3, w1r, w1i);
    butterfly(x0, x2, w20r, w20i);
    butterfly(x1, x3, w21r, w21i);
    storeC(re, im, g, {low(x0.re, x1.re), low(x0.im, x1.im)});
    storeC(re, im, g + 4, {high(x0.re, x1.re), high(x0.im, x1.im)});
    storeC(re, im, g + 2, {low(x2.re, x3.re), low(x2.im, x3.im)});
    storeC(re, im, g + 6, {high(x2.re, x3.re), high(x2.im, x3.im)});
  }
}

// Stages h and 2h in one pass over the points (h ≥ 2): each group of 4h points is four runs of
// h, and the four butterflies of one m touch only the four points at m.
void twoStages(double* re, double* im, int n, int h, const double* twr, const double* twi) {
  const double* w1r = twr + (h - 1);
  const double* w1i = twi + (h - 1);
  const double* w2r = twr + (2 * h - 1);
  const double* w2i = twi + (2 * h - 1);
  for (int g = 0; g < n; g += 4 * h) {
    for (int m = 0; m < h; m += 2) {
      const D2 ar = load(w1r + m), ai = load(w1i + m);
      const D2 br = load(w2r + m), bi = load(w2i + m);
      const D2 cr = load(w2r + h + m), ci = load(w2i + h + m);
      C2 x0 = loadC(re, im, g + m), x1 = loadC(re, im, g + h + m);
      C2 x2 = loadC(re, im, g + 2 * h + m), x3 = loadC(re, im, g + 3 * h + m);
      butterfly(x0, x1, ar, ai);
      butterfly(x2, x3, ar, ai);
      butterfly(x0, x2, br, bi);
      butterfly(x1, x3, cr, ci);
      storeC(re, im, g + m, x0);
      storeC(re, im, g + h + m, x1);
      storeC(re, im, g + 2 * h + m, x2);
      storeC(re, im, g + 3 * h + m, x3);
    }
  }
}

// The last stage alone (h = n/2) when the stage count is odd.
void lastStage(double* re, double* im, int n, const double* twr, const double* twi) {
  const int h = n / 2;
  for (int m = 0; m < h; m += 2) {
    C2 x0 = loadC(re, im, m), x1 = loadC(re, im, h + m);
    butterfly(x0, x1, load(twr + h - 1 + m), load(twi + h - 1 + m));
    storeC(re, im, m, x0);
    storeC(re, im, h + m, x1);
  }
}

// Every stage of one channel; the input is in bit-reversed order.
void stages(double* re, double* im, int n, const double* twr, const double* twi) {
  firstStages(re, im, n, twr, twi);
  int h = 4;
  for (; 4 * h <= n; h *= 4) twoStages(re, im, n, h, twr, twi);
  if (h < n) lastStage(re, im, n, twr, twi);
}

// A value as a sample: nearest integer, ties to even, limited to −32768 … 32767, NaN as 0.
// Adding and taking away 1.5·2^52 rounds in the current (nearest-even) mode, as nearbyint does.
inline int16_t sampleOf(double v) {
  if (!(v == v)) return 0;
  v = v > 32767.0 ? 32767.0 : v;
  v = v < -32768.0 ? -32768.0 : v;
  constexpr double kRound = 6755399441055744.0;
  return static_cast<int16_t>((v + kRound) - kRound);
}

}  // namespace

// Arrays sit one cache line further apart than their length, so that the same index in
// different arrays does not land in the same cache set.
constexpr size_t kArrayStride = static_cast<size_t>(kMaxFFTSize) + 8;

SpectralEngine::SpectralEngine() : storage_(kArrayStride * 12) {
  double* p = storage_.data();
  for (int c = 0; c < 2; ++c) {
    for (int part = 0; part < 2; ++part) {
      spec_[c][part] = p;
      p += kArrayStride;
      work_[c][part] = p;
      p += kArrayStride;
    }
    gain_[c] = p;
    p += kArrayStride;
    sym_[c] = p;
    p += kArrayStride;
  }
  SetFFTSize(kDefaultFFTSize);
}

SpectralEngine::~SpectralEngine() = default;

void SpectralEngine::SetFFTSize(int n) {
  if (!isValidFFTSize(n)) return;
  n_ = n;
  log2n_ = std::countr_zero(static_cast<unsigned>(n));
  auto& slot = plans_[static_cast<size_t>(log2n_)];
  if (!slot) slot = std::make_unique<Plan>(n);
}

const SpectralEngine::Plan& SpectralEngine::plan() {
  return *plans_[static_cast<size_t>(log2n_)];
}

void SpectralEngine::ComplexFFT(Complex* x, int sign) {
  const Plan& p = plan();
  double* r = work_[0][0];
  double* i = work_[0][1];
  for (int k = 0; k < n_; ++k) {
    const size_t j = static_cast<size_t>(p.rev[static_cast<size_t>(k)]);
    r[j] = x[k].re;
    i[j] = x[k].im;
  }
  stages(r, i, n_, sign < 0 ? p.twr.data() : p.twrInv.data(),
         sign < 0 ? p.twi.data() : p.twiInv.data());
  for (int k = 0; k < n_; ++k) x[k] = {r[k], i[k]};
}

void SpectralEngine::ForwardStereoFFT(const int16_t* frames, Complex* leftSpectrum, bool window,
                                      double* rightMagnitudes, double* leftMagnitudes,
                                      Complex* rightSpectrum) {
  const Plan& p = plan();
  Complex* spectra[2] = {leftSpectrum, rightSpectrum};
  double* mags[2] = {leftMagnitudes, rightMagnitudes};
  for (int c = 0; c < 2; ++c) {
    double* r = spec_[c][0];
    double* i = spec_[c][1];
    for (int k = 0; k < n_; ++k) {
      const size_t j = static_cast<size_t>(p.rev[static_cast<size_t>(k)]);
      double v = frames[2 * k + c] / 32767.0;
      if (window) v = v * p.window[static_cast<size_t>(k)];
      r[j] = v;
      i[j] = 0.0;
    }
    stages(r, i, n_, p.twr.data(), p.twi.data());
    if (spectra[c])
      for (int k = 0; k < n_; ++k) spectra[c][k] = {r[k], i[k]};
    if (mags[c])
      for (int k = 0; k < n_; ++k) mags[c][k] = std::sqrt(r[k] * r[k] + i[k] * i[k]);
  }
}

void SpectralEngine::InverseStereoFFT(Complex* leftSpectrum, Complex* rightSpectrum,
                                      int16_t* frames, bool window, int capacityFrames) {
  const Plan& p = plan();
  const double s = scale();
  const int count = capacityFrames < n_ ? capacityFrames : n_;
  Complex* spectra[2] = {leftSpectrum, rightSpectrum};
  for (int c = 0; c < 2; ++c) {
    double* r = work_[c][0];
    double* i = work_[c][1];
    for (int k = 0; k < n_; ++k) {
      const size_t j = static_cast<size_t>(p.rev[static_cast<size_t>(k)]);
      r[j] = spectra[c][k].re;
      i[j] = spectra[c][k].im;
    }
    stages(r, i, n_, p.twrInv.data(), p.twiInv.data());
    // The spectra are transformed in place, as the callers of the loops expect.
    for (int k = 0; k < n_; ++k) spectra[c][k] = {r[k], i[k]};
    for (int k = 0; k < count; ++k) {
      double v = s * r[k];
      if (window) v = v * p.window[static_cast<size_t>(k)];
      frames[2 * k + c] = sampleOf(v);
    }
  }
}

// The block road transforms both channels with one complex transform of l + i·r. The two
// spectra are taken apart again by symmetry: L[k] = (Z[k] + conj Z[N−k])/2 and
// R[k] = (Z[k] − conj Z[N−k])/2i, each exactly the conjugate of its mirror bin. On the way back
// Z' = L·gL + i·R·gR: its real part is the left channel and its imaginary part the right one,
// provided each channel's gains are symmetric; a channel's gains are therefore replaced by the
// mean of bin k and bin N − k, which changes nothing in the real part the written inverse keeps
// (and nothing at all when the gains are symmetric already, as a fingerprint measured by the
// engine makes them). The results stay within rounding of the two separate transforms.
void SpectralEngine::forwardStereo(const int16_t* frames, bool window) {
  const Plan& p = plan();
  double* zr = work_[0][0];
  double* zi = work_[0][1];
  const int32_t* rev = p.rev.data();
  const double* win = p.window.data();
  const D2 full = splat(32767.0);
  for (int k = 0; k < n_; k += 2) {
    D2 l, r;
    simd2::loadFrames(frames + 2 * k, l, r);
    l = l / full;
    r = r / full;
    if (window) {
      const D2 w = load(win + k);
      l = l * w;
      r = r * w;
    }
    simd2::storeLow(zr + rev[k], l);
    simd2::storeHigh(zr + rev[k + 1], l);
    simd2::storeLow(zi + rev[k], r);
    simd2::storeHigh(zi + rev[k + 1], r);
  }
  stages(zr, zi, n_, p.twr.data(), p.twi.data());
  double* lr = spec_[0][0];
  double* li = spec_[0][1];
  double* rr = spec_[1][0];
  double* ri = spec_[1][1];
  const int half = n_ / 2;
  const auto one = [&](int k) {
    const int m = (n_ - k) & (n_ - 1);
    const double a = (zr[k] + zr[m]) * 0.5;
    const double b = (zi[k] - zi[m]) * 0.5;
    const double c = (zi[k] + zi[m]) * 0.5;
    const double d = (zr[m] - zr[k]) * 0.5;
    lr[k] = a;
    li[k] = b;
    rr[k] = c;
    ri[k] = d;
    lr[m] = a;
    li[m] = -b;
    rr[m] = c;
    ri[m] = -d;
  };
  one(0);
  one(half);
  // Bins k, k + 1 against their mirrors N − k, N − k − 1, read and written as a swapped pair.
  const D2 h = splat(0.5), zero = splat(0.0);
  int k = 1;
  for (; k + 1 < half; k += 2) {
    const int m = n_ - k - 1;
    const D2 ar = load(zr + k), ai = load(zi + k);
    const D2 br = simd2::swap(load(zr + m)), bi = simd2::swap(load(zi + m));
    const D2 a = (ar + br) * h, b = (ai - bi) * h, c = (ai + bi) * h, d = (br - ar) * h;
    store(lr + k, a);
    store(li + k, b);
    store(rr + k, c);
    store(ri + k, d);
    store(lr + m, simd2::swap(a));
    store(li + m, simd2::swap(zero - b));
    store(rr + m, simd2::swap(c));
    store(ri + m, simd2::swap(zero - d));
  }
  for (; k < half; ++k) one(k);
}

const double* SpectralEngine::symmetricGains(const double* gain, int channel) {
  const int half = n_ / 2;
  simd2::Differ differ;
  int k = 1;
  for (; k + 1 < half; k += 2) differ.add(load(gain + k), simd2::swap(load(gain + n_ - k - 1)));
  for (; k < half; ++k) differ.add(splat(gain[k]), splat(gain[n_ - k]));
  if (!differ.any()) return gain;
  double* out = sym_[channel];
  for (int i = 0; i < n_; ++i) out[i] = gain[i];
  makeSymmetric(out, n_);
  return out;
}

void makeSymmetric(double* gain, int n) {
  const int half = n / 2;
  int k = 1;
  for (; k + 1 < half; k += 2) {
    const D2 g = simd2::meanUnlessEqual(load(gain + k), simd2::swap(load(gain + n - k - 1)));
    store(gain + k, g);
    store(gain + n - k - 1, simd2::swap(g));
  }
  for (; k < half; ++k) {
    const D2 g = simd2::meanUnlessEqual(splat(gain[k]), splat(gain[n - k]));
    simd2::storeLow(gain + k, g);
    simd2::storeLow(gain + n - k, g);
  }
}

void SpectralEngine::inverseStereoScaled(const double* gainLeft, const double* gainRight,
                                         int16_t* frames, bool window, int capacityFrames,
                                         bool gainsSymmetric) {
  const Plan& p = plan();
  const double* gl = gainsSymmetric ? gainLeft : symmetricGains(gainLeft, 0);
  const double* gr = gainsSymmetric ? gainRight : symmetricGains(gainRight, 1);
  const double* lr = spec_[0][0];
  const double* li = spec_[0][1];
  const double* rr = spec_[1][0];
  const double* ri = spec_[1][1];
  double* zr = work_[0][0];
  double* zi = work_[0][1];
  const int32_t* rev = p.rev.data();
  for (int k = 0; k < n_; k += 2) {
    const D2 a = load(gl + k), b = load(gr + k);
    const D2 re = load(lr + k) * a - load(ri + k) * b;
    const D2 im = load(li + k) * a + load(rr + k) * b;
    simd2::storeLow(zr + rev[k], re);
    simd2::storeHigh(zr + rev[k + 1], re);
    simd2::storeLow(zi + rev[k], im);
    simd2::storeHigh(zi + rev[k + 1], im);
  }
  stages(zr, zi, n_, p.twrInv.data(), p.twiInv.data());
  const D2 s = splat(scale());
  const int count = capacityFrames < n_ ? capacityFrames : n_;
  const double* win = p.window.data();
  int k = 0;
  for (; k + 1 < count; k += 2) {
    D2 l = s * load(zr + k), r = s * load(zi + k);
    if (window) {
      const D2 w = load(win + k);
      l = l * w;
      r = r * w;
    }
    simd2::storeFrames(frames + 2 * k, l, r);
  }
  for (; k < count; ++k) {
    const double w = window ? win[k] : 1.0;
    frames[2 * k] = sampleOf(scale() * zr[k] * w);
    frames[2 * k + 1] = sampleOf(scale() * zi[k] * w);
  }
}

SetPrecisionModel SetPrecisionModel::forSize(int n) {
  SetPrecisionModel m;
  for (size_t i = 0; i < kPrecisionEntries.size(); ++i)
    if (kPrecisionEntries[i].n == n) m.selected = static_cast<int>(i);
  return m;
}

int SetPrecisionModel::chosenSize(int current) const {
  if (selected < 0 || selected >= static_cast<int>(kPrecisionEntries.size())) return current;
  return kPrecisionEntries[static_cast<size_t>(selected)].n;
}

}  // namespace tolmar
