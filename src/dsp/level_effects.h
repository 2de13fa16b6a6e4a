#pragma once
// The level effects: Amplify/Compress (gains with ramps and a soft-knee-free compressor with
// make-up gain), level scans, Normalise with optional DC removal, and the linear and partial
// fades. Per-buffer functions serve the preview; the selection drivers travel the effect road.

#include <cstdint>
#include <string>

#include "base/settings.h"
#include "dsp/effect_road.h"

namespace tolmar {

class WaveFile;

inline constexpr char kAmplifyClipText[] =
    "Markers have been added to indicate where amplification has produced clipping";
inline constexpr char kNothingToNormaliseText[] = "Nothing to normalise: the selection is silent";

// ---- Amplify/Compress

struct AmplifyParams {
  double leftDb = 0.0;   // amplifyfactorl
  double rightDb = 0.0;  // amplifyfactorr
  int startRampSecs = 0;
  int endRampSecs = 0;
  double thresholdX = 3.0;  // the threshold is −X dB
  double ratio = 1.0;       // R:1

  static AmplifyParams fromSettings(const Settings& s);
  // Both gains 0 and ratio 1: the preview leaves the audio alone.
  bool isIdentity() const { return leftDb == 0.0 && rightDb == 0.0 && ratio == 1.0; }
};

// Applies the gains, ramps and compression to the frames of buf (those inside run's window),
// S and E being the selection's bounds and rate the sample rate. A result over 32768 counts as
// clipped (marker limit 32768); results are limited to ±32767.
void amplifyCompressFrames(int16_t* buf, int32_t frames, CoreRun& run, const AmplifyParams& p,
                           int32_t S, int32_t E, int rate);

// The preview's work on one playback buffer: the frames strictly between S and E, no markers.
// Returns whether a sample clipped.
bool amplifyCompressPreview(int16_t* buf, int32_t frames, int32_t bufferFirstFrame,
                            const AmplifyParams& p, int32_t S, int32_t E, int rate, bool left,
                            bool right);

struct EffectOutcome {
  bool ran = false;  // the pass went through (not refused, not failed)
  bool stopped = false;
  bool clipped = false;
  int32_t records = 0;
};

// Amplify/Compress over the selection ("Amplify/Compress" undo step; the clip warning).
EffectOutcome amplifyCompressSelection(WaveFile& doc, const AmplifyParams& p, bool direct,
                                       MarkerList* markers);

// ---- Level scan

struct LevelScan {
  int64_t count = 0;
  int64_t sum[2] = {0, 0};      // raw samples
  int64_t squares[2] = {0, 0};  // with −32768 taken as −32767
  // Of the last call only (−32768 taken as −32767).
  int minimum[2] = {32767, 32767};
  int maximum[2] = {-32768, -32768};
};

// Accumulates count, sums and squares over the frames; resets and fills the minimum and
// maximum.
void ScanLevels(const int16_t* buf, int32_t frames, LevelScan& scan);

// ---- Normalise

struct NormaliseSettings {
  bool normalise = true;  // donormalise
  bool independent = false;
  bool removeDc = true;
  double targetDb = 0.0;  // normaliseto

  static NormaliseSettings fromSettings(const Settings& s);
};

struct NormalisePlan {
  int dc[2] = {0, 0};
  double gain[2] = {1.0, 1.0};
  // False where the gain is undefined: the channel's peak after DC removal is 0 with
  // "Normalise to" on. Such a channel is left as it is.
  bool defined[2] = {true, true};
};

// Offsets and gains from a whole-selection scan (count, sums) and its overall extremes.
NormalisePlan planNormalise(const NormaliseSettings& s, const LevelScan& totals,
                            const int minimum[2], const int maximum[2]);

// (x − dc)·g, to the nearest integer, limited to the 16-bit range.
void NormaliseFrames(int16_t* buf, int32_t frames, const NormalisePlan& plan, bool left,
                     bool right);

struct NormaliseOutcome {
  bool ran = false;
  bool stopped = false;
  bool silent = false;  // some channel had nothing to normalise
  NormalisePlan plan;
  int32_t records = 0;
};

// Scan pass and apply pass ("Normalise" undo step).
NormaliseOutcome normaliseSelection(WaveFile& doc, const NormaliseSettings& s, bool direct);

// ---- Fades

// Frames of buf (numbered from firstFrame) faded over the selection S … E. F = 0: linear in
// amplitude; F < 0: linear in dB from F to 0 (fade in) or 0 to F (fade out).
void FadeFrames(int16_t* buf, int32_t frames, int32_t firstFrame, int32_t S, int32_t E,
                bool fadeOut, double F, bool left, bool right);

// The fade over the selection, always With Undo ("Fade" undo step). Does nothing when the
// selection end is not after its start.
EffectOutcome FadeSelection(WaveFile& doc, bool fadeOut, double F);

}  // namespace tolmar
