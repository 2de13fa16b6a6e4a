#pragma once
// Spectral subtraction against a noise fingerprint: the fingerprint itself, the block core that
// decrackle shares, Reduce Noise over the selection, the sensitivity scale and the dialog model.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/settings.h"
#include "document/wave_file.h"
#include "dsp/fft.h"

namespace tolmar {

class BinaryFile;
class WaveFile;

// The mean magnitude spectrum of a passage that holds only noise, per channel, all N bins.
struct NoiseFingerprint {
  int n = kDefaultFFTSize;  // the engine's N when it was taken or loaded
  // kMaxFFTSize values each; bins n … kMaxFFTSize − 1 are zero.
  std::vector<double> left = std::vector<double>(kMaxFFTSize, 0.0);
  std::vector<double> right = std::vector<double>(kMaxFFTSize, 0.0);
  bool present = false;
  // Changes whenever the values do, so that a running command can tell.
  uint64_t generation = 0;

  // Takes n values from each array and marks the fingerprint present.
  void set(int size, const double* leftValues, const double* rightValues);
};

// ---- Sensitivity scale: the dialog's scroll bar positions 1 … 35 ----

inline constexpr std::array<double, 35> kSensitivityValues{
    0.1, 0.15, 0.2, 0.3,  0.4, 0.5,  0.6, 0.7, 0.8, 0.9, 1.0, 1.2, 1.3, 1.4, 1.5, 1.75, 2.0, 2.25,
    2.5, 2.75, 3.0, 3.25, 3.5, 3.75, 4.0, 4.5, 5.0, 5.5, 6.0, 6.5, 7.0, 7.5, 8.0, 9.0,  10.0};

// The position whose value equals `value` exactly, else 1.
int sensitivityPosition(double value);
// The value at a position (positions outside 1 … 35 are taken to the nearest end).
double sensitivityValue(int position);
// The value as the label beside the bar shows it: two decimals.
std::string sensitivityText(double value);

// ---- The block core ----

// The level-dependence distance of one channel of N frames: the absolute value of LevelToDb of
// the rms taken to the nearest integer, read back from its one-decimal text (96.0 for silence).
double levelDistance(const int16_t* frames, int n, int channel);

// Reduces the noise of N interleaved frames in place: forward transform without window, each
// bin's gain 1 − p·fc/m (at least 0; 0 for an empty bin) against the fingerprint value p, then
// the inverse with or without the synthesis window. fc is f, or (0.025·f)·d per channel with
// level dependence. A buffer of fewer than N frames is left alone.
void ReduceNoiseBlock(SpectralEngine& engine, const NoiseFingerprint& fingerprint, int16_t* frames,
                      int capacityFrames, bool levelDependent, bool synthesisWindow, double f);

// ---- Reduce Noise over the selection ----

struct NoiseParams {
  double factor = 3.0;     // sensitivity f
  bool keepNoise = false;  // leave only what the reduction removed
  bool levelDependent = false;
  bool window = true;  // 50 % overlap-add of Hann-windowed blocks

  static NoiseParams fromSettings(const Settings& s);
};

// Where the blocks of a spectral pass go. Direct Overwrite writes them into the file, a channel
// whose editing is off left as it was read; With Undo stores two linked records per block and
// commits them as one undo step when the pass ends.
class SpectralOutput {
 public:
  SpectralOutput(WaveFile& doc, bool direct);
  SpectralOutput(const SpectralOutput&) = delete;
  SpectralOutput& operator=(const SpectralOutput&) = delete;

  // False, with the message shown, when the file cannot be opened for writing.
  bool open();
  // The stream the pass reads through (its own read-write one when writing directly).
  BinaryFile& stream() { return *stream_; }
  // Frames first … last of `buf` (N frames as read in `asRead`); false, with the message
  // shown, when the file could not be written.
  bool put(int16_t* buf, const int16_t* asRead, int32_t first, int32_t last);
  int32_t records() const { return records_; }
  // Brings the peaks up to date (direct), or commits the records as the undo step `step`.
  void finish(const std::string& step);

 private:
  WaveFile& doc_;
  // Each block's records go on the edit list before their step does: an Undo or Redo let
  // through by the pump meanwhile would pair them with an earlier step.
  DirectWriteScope busy_;
  bool direct_;
  std::unique_ptr<BinaryFile> own_;
  BinaryFile* stream_ = nullptr;
  int32_t records_ = 0;
};

struct NoiseOutcome {
  int32_t records = 0;  // records accepted (With Undo)
  int32_t blocks = 0;   // blocks processed
  bool stopped = false;
  bool failed = false;  // the file could not be opened or written
};

// Runs the selection in blocks of N frames from its start; the last block may reach past the
// selection end, but only frames up to the end are stored. With Undo (direct false) stores
// linked sample-block records and commits the undo step "Reduce Noise" when any was accepted;
// Direct Overwrite writes into the file, leaving a channel whose editing is off as it was.
// The caller has run BeginLargeEdit or the direct-overwrite guard.
NoiseOutcome reduceNoiseSelection(WaveFile& doc, SpectralEngine& engine,
                                  const NoiseFingerprint& fingerprint, const NoiseParams& params,
                                  bool direct);

// ---- TReduceNoise dialog (id kReduceNoiseDialogId, model ReduceNoiseModel) ----
// One dialog serves noise reduction (noise mode) and decrackle (crackle mode).

inline constexpr char kReduceNoiseDialogId[] = "ReduceNoise";
inline constexpr char kSensitivityLabel[] = "Sensitivity:";
inline constexpr char kLevelDependentLabel[] = "Level Dependent";
inline constexpr char kThresholdLabel[] = "Threshold:";
inline constexpr char kDecracklingGroup[] = "Decrackling ";
inline constexpr char kReduceNoiseCaption[] = "Reduce Noise";
inline constexpr char kKeepNoiseLabel[] = "Keep Noise Only";
inline constexpr char kReduceNoiseHelpTopic[] = "reducenoise";
inline constexpr char kReduceCrackleCaption[] = "Reduce Crackle";
inline constexpr char kKeepCrackleLabel[] = "Keep Crackle Only";
inline constexpr char kReduceCrackleHelpTopic[] = "reducecrackle";

inline constexpr char kKeepNoiseDirectQuestion[] =
    "You have chosen to overwrite the file on disk with just the noise.\r\r"
    "This means that the original music will be lost, which is probably not what you "
    "intended.\r\rAbandon this operation?";

struct ReduceNoiseModel {
  std::string caption;    // "Reduce Noise" / "Reduce Crackle"
  std::string keepLabel;  // "Keep Noise Only" / "Keep Crackle Only"
  std::string helpTopic;
  // Unless [Debug] full is on, the dialog is shown at 180/360 of its designed height.
  bool fullHeight = false;
  bool showLevelDependent = true;  // noise mode
  bool showDecrackle = false;      // the "Decrackling " group and the "Threshold:" bar

  int sensitivityPosition = 1;  // 1 … 35
  bool keep = false;
  bool levelDependent = false;
  // Crackle mode only.
  int relativeAmplitude = 400;  // "Threshold:", shown / 100 with two decimals
  int clickWidth = 5;
  int repairWidth = 20;
  int shape = 0;
  int repairMethod = 1;

  double sensitivity() const { return sensitivityValue(sensitivityPosition); }
  std::string sensitivityLabel() const { return sensitivityText(sensitivity()); }

  static ReduceNoiseModel forNoise(const Settings& s);
  // OK in noise mode: sensitivity, Keep Noise Only and Level Dependent.
  void storeNoise(Settings& s) const;
  static ReduceNoiseModel forCrackle(const Settings& s);
  // OK in crackle mode: every value the dialog shows.
  void storeCrackle(Settings& s) const;
};

}  // namespace tolmar
