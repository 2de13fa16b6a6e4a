#pragma once
// Mean magnitude spectra of the selection (Frequency Analysis and the noise fingerprint) and the
// plot of the Frequency Analysis window, computed without drawing anything.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "dsp/fft.h"

namespace tolmar {

class WaveFile;

inline constexpr int kFrequencyAnalysisSize = 4096;

// "Selected Region too short; at least 4096 samples required"
std::string regionTooShortText(int n);

// Adds the magnitude of every bin of `blocks` consecutive, non-overlapping blocks of N frames
// from `first` (read through the edit overlay) and divides by the blocks processed, under the
// caption " Scanning:". Stop ends the scan after the current block; the mean is then over the
// blocks done. left and right receive N values. Returns the blocks processed (at least 1 when
// blocks > 0); a change of the engine's N meanwhile ends the scan before the next block.
int32_t meanMagnitudes(WaveFile& doc, SpectralEngine& engine, int32_t first, int32_t blocks,
                       bool window, double* left, double* right);

// ---- TSpectrumForm (id kFrequencyAnalysisDialogId, model SpectrumModel) ----

inline constexpr char kFrequencyAnalysisDialogId[] = "FrequencyAnalysis";
inline constexpr char kFrequencyAnalysisCaption[] = "Frequency Analysis of Selected Region";
inline constexpr char kFrequencyAnalysisClose[] = "Close";

struct SpectrumModel {
  int n = kFrequencyAnalysisSize;
  int sampleRate = 44100;
  std::vector<double> left;  // mean magnitude per bin, n values
  std::vector<double> right;
  // The noise fingerprint, when one is present: fingerprintN bins per channel, each the mean
  // magnitude of unwindowed blocks of fingerprintN frames. Empty otherwise.
  int fingerprintN = 0;
  std::vector<double> fingerprintLeft;
  std::vector<double> fingerprintRight;
};

// Colours as 0x00BBGGRR.
inline constexpr uint32_t kSpectrumBackground = 0x000000;
inline constexpr uint32_t kSpectrumGrid = 0x808080;
inline constexpr uint32_t kSpectrumLabels = 0xC0C0C0;
inline constexpr uint32_t kSpectrumLeft = 0x00FF00;
inline constexpr uint32_t kSpectrumRight = 0x0000FF;
inline constexpr uint32_t kSpectrumFingerprintLeft = 0x808000;
inline constexpr uint32_t kSpectrumFingerprintRight = 0x800080;
inline constexpr char kFingerprintCaption[] = "Fingerprint";

inline constexpr std::array<const char*, 10> kFrequencyLabels{
    "20Hz", "50Hz", "100Hz", "200Hz", "500Hz", "1kHz", "2kHz", "5kHz", "10kHz", "20kHz"};
inline constexpr std::array<int, 10> kFrequencyBins48000{2, 4, 9, 17, 43, 85, 171, 427, 853, 1707};
inline constexpr std::array<int, 10> kFrequencyBinsOther{2, 5, 9, 19, 46, 93, 186, 464, 929, 1858};

struct PlotPoint {
  int x = 0;
  int y = 0;
};

struct PlotLine {
  PlotPoint from, to;
  std::string label;
  // Vertical lines: the label's centre x and top y. Horizontal lines: the label's right edge
  // and the y its middle sits on.
  PlotPoint labelAt;
};

struct SpectrumPlot {
  std::vector<PlotLine> verticals;    // 20 Hz … 20 kHz
  std::vector<PlotLine> horizontals;  // 0 dB … −144 dB
  std::vector<PlotPoint> left;        // the curves' points, joined in order
  std::vector<PlotPoint> right;
  PlotPoint leftCaption;  // "Left" / "Right", top-left corners
  PlotPoint rightCaption;
  // The fingerprint on the same axes, when the model has one, and its caption's corner.
  std::vector<PlotPoint> fingerprintLeft;
  std::vector<PlotPoint> fingerprintRight;
  PlotPoint fingerprintCaption;
};

// A fingerprint magnitude as the analysis would measure the same steady noise: the analysis
// sums Hann-windowed blocks of n frames, the fingerprint plain blocks of fingerprintN, and the
// mean magnitude of noise grows with the root of the window's energy.
double fingerprintOnAnalysisScale(double magnitude, int fingerprintN, int n);

// The plot's level of a mean magnitude, in dB (its 0 dB line is the top of the plot).
double spectrumLevelDb(double magnitude);
// The `count` strongest peaks of each channel (bins above both neighbours, from bin 1 to N/2-1),
// strongest first, as lines for the batch log: "Left peak: 1001.3 Hz, -6.2 dB".
std::vector<std::string> spectrumPeakLines(const SpectrumModel& model, int count = 5);

// Horizontal position of bin k in a client area W wide, for a transform of length n.
int spectrumX(int k, int n, int width);
// Vertical position of a mean magnitude in a client area H high. A magnitude of 0 (digital
// silence) has no logarithm and sits at the bottom of the plot.
int spectrumY(double magnitude, int height);
SpectrumPlot spectrumPlot(const SpectrumModel& model, int width, int height);

}  // namespace tolmar
