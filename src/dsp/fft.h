#pragma once
// The spectral engine: one radix-2 complex transform of a process-wide length N over 16-bit
// stereo frames, with an optional Hann window on the way in and on the way out. The editor owns
// one engine; the noise features, decrackle, spectral replacement, the spectral view and
// Frequency Analysis all use it, one transform at a time.
//
// The transform evaluates exactly the butterflies of the textbook decimation-in-time loops:
// twiddles come from the per-stage recurrence w = w·(cos θ + i·sign·sin θ), butterflies are
// t = w·x[k], x[k] = x[i] − t, x[i] = x[i] + t, all in IEEE double without fused multiply-add.
// Only the order in which independent butterflies run differs (two stages share one pass over
// the points, two butterflies share one vector register, the bit reversal is folded into the
// loads), so ComplexFFT, ForwardStereoFFT and InverseStereoFFT are bit-identical to those
// loops.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tolmar {

struct Complex {
  double re = 0.0;
  double im = 0.0;
};

inline constexpr int kMinFFTSize = 128;
inline constexpr int kMaxFFTSize = 16384;
inline constexpr int kDefaultFFTSize = 4096;

// A power of two from 128 to 16384: the lengths the engine can hold.
bool isValidFFTSize(int64_t n);

// 0.5·(1 − cos(2π·n/(N − 1))), the symmetric Hann window.
double hannWindow(int n, int N);

class SpectralEngine {
 public:
  SpectralEngine();
  ~SpectralEngine();
  SpectralEngine(const SpectralEngine&) = delete;
  SpectralEngine& operator=(const SpectralEngine&) = delete;

  // Sets N, scale = 32768 div N, log2N and half. A length the engine cannot hold is ignored.
  void SetFFTSize(int n);
  int N() const { return n_; }
  int scale() const { return 32768 / n_; }
  int log2N() const { return log2n_; }
  int half() const { return n_ / 2; }

  // Transforms N points in place: sign −1 forward (X[k] = Σ x[n]·e^(−2πikn/N)), sign +1 the
  // unscaled inverse.
  void ComplexFFT(Complex* x, int sign);

  // Takes N frames (interleaved, left first); each sample / 32767, times the window when asked.
  // Spectra hold N points; magnitudes N values. Any output may be null when not wanted.
  void ForwardStereoFFT(const int16_t* frames, Complex* leftSpectrum, bool window,
                        double* rightMagnitudes, double* leftMagnitudes, Complex* rightSpectrum);
  // Inverse-transforms both spectra in place and writes the nearest integers (ties to even) to
  // scale·re[n]·window, limited to −32768 … 32767, as frames. At most capacityFrames frames are
  // written (N when the buffer holds them).
  void InverseStereoFFT(Complex* leftSpectrum, Complex* rightSpectrum, int16_t* frames, bool window,
                        int capacityFrames);

  // ---- The block processors' road ----
  // Both channels go through one complex transform (real-input packing), which halves the
  // work; the results stay within rounding of the separate transforms, so that no output
  // sample differs by more than 1 from the written loops (in practice none differs).
  // After forwardStereo, re(c)[k] and im(c)[k] hold bin k of channel c (0 left, 1 right), as
  // ForwardStereoFFT would give it, for all N bins.
  void forwardStereo(const int16_t* frames, bool window);
  const double* re(int channel) const { return spec_[channel][0]; }
  const double* im(int channel) const { return spec_[channel][1]; }
  // Multiplies bin k of each channel by gain[c][k], then does what InverseStereoFFT does and
  // writes the frames. Only the real part of each channel's inverse is kept, so a gain that
  // differs between bin k and bin N − k acts as the mean of the two. gainsSymmetric: the
  // caller's gains are already equal at k and N − k (makeSymmetric), so that need not be checked.
  void inverseStereoScaled(const double* gainLeft, const double* gainRight, int16_t* frames,
                           bool window, int capacityFrames, bool gainsSymmetric = false);
  // Scratch for the callers' per-bin gains: two arrays of kMaxFFTSize doubles.
  double* gainScratch(int channel) { return gain_[channel]; }

 private:
  struct Plan;
  const Plan& plan();
  // The gains, or their symmetric version in sym_ when bin k and bin N − k differ anywhere.
  const double* symmetricGains(const double* gain, int channel);

  int n_ = kDefaultFFTSize;
  int log2n_ = 12;
  // One plan per length, built the first time the length is set.
  std::array<std::unique_ptr<Plan>, 15> plans_;
  // Spectra in natural order: spec_[channel][0] re, [1] im; work_ is the inverse's input in
  // bit-reversed order. All sized for kMaxFFTSize.
  std::vector<double> storage_;
  double* spec_[2][2];
  double* work_[2][2];
  double* gain_[2];
  double* sym_[2];
};

// Replaces the gains of bins k and N − k (0 < k < N/2) by their mean where they differ; an
// exact copy where they agree.
void makeSymmetric(double* gain, int n);

// Keeps N for the life of a temporary user: sets the length it needs and restores the previous
// one on every way out.
class FFTSizeGuard {
 public:
  FFTSizeGuard(SpectralEngine& engine, int n) : engine_(engine), saved_(engine.N()) {
    engine_.SetFFTSize(n);
  }
  ~FFTSizeGuard() { engine_.SetFFTSize(saved_); }
  FFTSizeGuard(const FFTSizeGuard&) = delete;
  FFTSizeGuard& operator=(const FFTSizeGuard&) = delete;

 private:
  SpectralEngine& engine_;
  int saved_;
};

// ---- Set Precision dialog (id kSetPrecisionDialogId, model SetPrecisionModel) ----

inline constexpr char kSetPrecisionDialogId[] = "SetPrecision";
inline constexpr char kSetPrecisionCaption[] = "Set Precision";
inline constexpr char kSetPrecisionLabel[] = "Precision:";
inline constexpr char kSetPrecisionHelpTopic[] = "setprecision";

struct PrecisionEntry {
  const char* text;
  int n;
};
inline constexpr std::array<PrecisionEntry, 4> kPrecisionEntries{
    {{"Low", 2048}, {"Medium", 4096}, {"High", 8192}, {"Very High", 16384}}};

struct SetPrecisionModel {
  // The entry whose N equals the current N; −1 when none does (no entry selected).
  int selected = -1;

  static SetPrecisionModel forSize(int n);
  // The chosen N, or `current` when nothing is selected.
  int chosenSize(int current) const;
};

}  // namespace tolmar
