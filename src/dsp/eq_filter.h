#pragma once
// The ten-band octave equaliser (a bank of band-pass sections whose outputs are summed) and the
// three-section filter cascade (high pass, low pass, notch). The cores work on one buffer at a
// time and carry their history in a FilterState from call to call, so that a pass runs on across
// chunk seams; the preview calls the same cores on its playback buffers.

#include <array>
#include <cstdint>

#include "base/settings.h"
#include "dsp/effect_road.h"
#include "dsp/level_effects.h"

namespace tolmar {

class WaveFile;

inline constexpr int kEqualiserBands = 10;
// Band centres as the dialog labels them.
inline constexpr std::array<const char*, kEqualiserBands> kBandLabels{
    "31", "62", "125", "250", "500", "1k", "2k", "4k", "8k", "16k"};
// One coefficient set for every sample rate.
inline constexpr std::array<double, kEqualiserBands> kBandAlpha{
    0.000787462865, 0.00157244917, 0.00316016172, 0.00628062774, 0.0124054279,
    0.0242101804,   0.0461841095,  0.0845577687,  0.1199464,     0.159603};
inline constexpr std::array<double, kEqualiserBands> kBandBeta{
    0.498425074, 0.496855102, 0.493679677, 0.487438745, 0.475189144,
    0.451579639, 0.407631781, 0.330884463, 0.2601072,   0.1800994};
inline constexpr std::array<double, kEqualiserBands> kBandGamma{
    0.998415336, 0.996816209, 0.993522095, 0.986812425, 0.972715729,
    0.941937749, 0.871031797, 0.699565951, 0.3176087,   -0.4435172};
inline constexpr double kEqualiserLevel = 0.7;  // K

inline constexpr int kFilterSections = 3;
enum FilterType { kFilterOff = 0, kHighPass = 1, kLowPass = 2, kNotch = 3 };

inline constexpr char kEqualiseClipText[] =
    "Markers have been added to indicate where equalisation has produced clipping";
inline constexpr char kFilterClipText[] =
    "Markers have been added to indicate where clipping has resulted";
inline constexpr char kEqualisePassesText[] =
    "This operation can be performed in one or two passes.\r\r"
    "A single pass is quicker, but mey result in clipping if large amounts of boost are applied, "
    "especially at low frequencies.\r\r"
    "Using two passes, any clipping is measured on an initial scan, and a suitable level "
    "reduction is made on the second pass to ensure no clipping is produced.\r\r"
    "Do you wish to use the (slower but safer) two-pass method?";

// The history both cores keep, per channel: the last inputs and the outputs of every band or
// section. One state is shared by the equaliser and the filter; a pass starts by clearing it.
struct FilterState {
  // Equaliser: inputs x[n−1], x[n−2]; per band y[n−1], y[n−2].
  double eqX1[2] = {0, 0};
  double eqX2[2] = {0, 0};
  double eqY1[2][kEqualiserBands] = {};
  double eqY2[2][kEqualiserBands] = {};
  // Filter: level 0 is the input, level k the output of section k; [.][0] is n−1, [.][1] n−2.
  double fh[2][kFilterSections + 1][2] = {};

  void reset() { *this = FilterState(); }
};

inline void ResetFilterState(FilterState& state) {
  state.reset();
}

// Processes the frames of buf inside run's window: each channel through the band bank, the
// band outputs weighted by `gains` (linear) summed from 31 Hz up, times run.factor. run.peak is
// the largest |output| of this call. With run.clipCheck, outputs whose rounded magnitude
// exceeds 32767 are limited to ±32767 and those over 32769 count as clipped. Written back to
// the channels run writes.
void EqualiseFrames(FilterState& state, int16_t* buf, int32_t frames, CoreRun& run,
                    const std::array<double, kEqualiserBands>& gains);

// Coefficients of one section, as the filter computes them for a sample rate.
struct Biquad {
  double b0 = 1, b1 = 0, b2 = 0, a0 = 1, a1 = 0, a2 = 0;
  bool active = false;  // types 1 … 3; anything else passes its input through
};
Biquad filterSection(int type, double freq, double q, int sampleRate);

// The three sections in cascade, the last output times run.factor; peak, limiting and clip
// test as EqualiseFrames, except that the buffer's last frame is never counted as clipped.
void FilterFrames(FilterState& state, int16_t* buf, int32_t frames, CoreRun& run,
                  const Settings::Filter& params, int sampleRate);

// Equalise over the selection ("Equalise" undo step) with one or two passes; two passes scan
// the equalised peak first and lower the factor so that nothing clips. Stop during the scan
// abandons the command.
EffectOutcome equaliseSelection(WaveFile& doc, FilterState& state, const Settings::Equalise& eq,
                                int passes, bool direct, MarkerList* markers);

// Filter over the selection ("Filter" undo step), one pass with the overall gain.
EffectOutcome filterSelection(WaveFile& doc, FilterState& state, const Settings::Filter& params,
                              bool direct, MarkerList* markers);

// The previews' work on one playback buffer: the frames inside S … E, clip check on, no
// markers. Return whether a sample clipped.
bool equalisePreview(FilterState& state, int16_t* buf, int32_t frames, int32_t bufferFirstFrame,
                     const Settings::Equalise& eq, int32_t S, int32_t E, bool left, bool right);
bool filterPreview(FilterState& state, int16_t* buf, int32_t frames, int32_t bufferFirstFrame,
                   const Settings::Filter& params, int sampleRate, int32_t S, int32_t E, bool left,
                   bool right);

}  // namespace tolmar
