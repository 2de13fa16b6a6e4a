#pragma once
// Test material for judging the declicker: music-like stereo sound from a seed, clicks of four
// kinds at known places, crackle and hiss, and the scores of a restoration against the clean
// sound (detection precision and recall, signal-to-noise ratios around and away from clicks).

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "declick/glitch_list.h"

namespace tolmar {
class WaveFile;
}

namespace tolmar::bench {

enum class ClickKind : uint8_t { Spike = 0, Burst = 1, Step = 2, Bump = 3 };
inline constexpr int kClickKinds = 4;
const char* clickKindName(ClickKind k);

struct KnownClick {
  int32_t start = 0;   // first disturbed frame
  int32_t length = 0;  // disturbed frames (for a step: until it has decayed to 1 %)
  ClickKind kind = ClickKind::Spike;
  bool channels[2] = {false, false};
};

// One channel-sample pair per frame, left then right, as doubles before rounding.
struct Material {
  int rate = 44100;
  int32_t frames = 0;
  std::vector<double> reference;  // what a perfect restoration gives back (music + hiss)
  std::vector<int16_t> damaged;   // the reference with clicks (and crackle)
  std::vector<KnownClick> clicks;
  std::vector<std::array<int32_t, 2>> crackle;  // frame, channel of each crackle impulse
};

struct MaterialOptions {
  uint64_t seed = 1;
  int seconds = 60;
  bool crackleAndHiss = false;
  double clicksPerSecond = 4.0;
  // False: the snare and hat (noise bursts) are rendered but left out of the mix, so that the
  // other voices stay as they are.
  bool noiseDrums = true;
};

// Music of several voices with attacks (plucked strings, a struck piano-like voice, bass, drums,
// a slow pad), then the faults.
Material renderMaterial(const MaterialOptions& opt);

// Hard clipping: every sample beyond +-level becomes +-level. Returns the clipped copy.
std::vector<int16_t> hardClip(const std::vector<double>& reference, int level);

struct Scores {
  int32_t targets = 0, found = 0, detections = 0, falseDetections = 0, crackleHits = 0;
  double precision = 0, recall = 0, f1 = 0;
  double regionSnrIn = 0, regionSnrOut = 0;      // +-50 frames around every click
  double outsideSnrIn = 0, outsideSnrOut = 0;    // everything else
  std::array<double, kClickKinds> kindGain{};    // region gain per kind, dB
  int32_t worseClicks = 0;                       // repaired clicks more than 1 dB worse
  double worstClickChange = 0;                   // dB, most negative
  std::vector<size_t> falseItems;                // indices of the false detections in the list
  std::vector<std::pair<size_t, double>> worse;  // clicks (index, dB change) more than 1 dB worse
};

// Detection scores: a detection on a channel matches a click on that channel when its frame lies
// within 5 frames of the click's extent; a detection within 5 frames of a crackle impulse that
// matches no click is not counted against precision. A second detection of a matched click is a
// false one.
void scoreDetections(const Material& m, const GlitchList& found, Scores& s);
// SNR scores of `restored` (interleaved, m.frames frames).
void scoreRestoration(const Material& m, const std::vector<int16_t>& restored, Scores& s);

// Signal-to-noise ratio of `test` against `reference` over the frames where mask is set, one
// entry per sample (interleaved), in dB.
double snrDb(const std::vector<double>& reference, const std::vector<int16_t>& test,
             const std::vector<uint8_t>& mask);

// A 16-bit stereo WAV file of interleaved samples; exits when it cannot be written.
void writeWav(const std::string& path, const std::vector<int16_t>& samples, int rate);
// The document's whole sound through its edits, interleaved.
std::vector<int16_t> readSound(WaveFile& doc);

}  // namespace tolmar::bench
