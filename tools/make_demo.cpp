// make-demo OUT.wav [--seconds N]
//
// Writes the demo recording: a 16-bit stereo 44100 Hz side of two short "tracks" of synthetic
// music, dressed with the faults a transfer from a worn record brings, each at a known place so
// that what the editor finds can be checked by eye: clicks, a stretch of crackle, hiss, 50 Hz
// hum, a quiet lead-in (a clean noise fingerprint) and a silent gap between the tracks.
// The output is the same bytes on every run; it is written in one-second blocks, so an hour
// takes no more memory than a minute.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "document/time_text.h"
#include "document/wav_format.h"

namespace {

constexpr int kRate = 44100;
constexpr int64_t kMinSeconds = 10;
// The data chunk's byte count is 32 bits wide.
constexpr int64_t kMaxSeconds = tolmar::kMaxWavDataBytes / 4 / kRate;

constexpr double kPi = 3.14159265358979323846;
constexpr int kHumPeak = 30;
constexpr int kHissPeak = 40;
constexpr uint64_t kHissSeed = 0x7E57'5EED'0001ull;
constexpr uint64_t kCrackleSeed = 0x7E57'5EED'0002ull;
constexpr uint64_t kClickSeed = 0x7E57'5EED'0003ull;
constexpr uint64_t kMelodySeed = 0x7E57'5EED'0004ull;

// splitmix64: tiny, and the same sequence on every platform.
struct Rng {
  uint64_t state;
  uint64_t next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }
};

// One table lookup per oscillator sample keeps an hour-long file quick to make.
class SineTable {
 public:
  SineTable() {
    for (int i = 0; i <= kSize; ++i) table_[i] = std::sin(2 * kPi * i / kSize);
  }
  // phase in cycles, 0 <= phase < 1
  double at(double phase) const {
    const double x = phase * kSize;
    const int i = static_cast<int>(x);
    return table_[i] + (table_[i + 1] - table_[i]) * (x - i);
  }

 private:
  static constexpr int kSize = 4096;
  std::array<double, kSize + 1> table_{};
};

double midiHz(int note) {
  return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

// A plucked voice: short linear attack, then exponential decay; fundamental plus one overtone.
struct Voice {
  double phase = 0, step = 0, env = 0, decay = 1, attackStep = 0, peak = 0;
  int attackLeft = 0;
  int overtone = 2;
  double overtoneGain = 0.3;

  void strike(double hz, double amplitude, double attackSeconds, double decaySeconds) {
    step = hz / kRate;
    peak = amplitude;
    attackLeft = std::max(1, static_cast<int>(attackSeconds * kRate));
    attackStep = amplitude / attackLeft;
    env = 0;
    decay = std::exp(-1.0 / (decaySeconds * kRate));
  }
  double next(const SineTable& sine) {
    if (attackLeft > 0) {
      env += attackStep;
      --attackLeft;
    } else {
      env *= decay;
    }
    double over = phase * overtone;
    over -= std::floor(over);
    const double v = env * (sine.at(phase) + overtoneGain * sine.at(over));
    phase += step;
    if (phase >= 1) phase -= 1;
    return v;
  }
};

struct Track {
  int64_t first, end;  // frames [first, end)
  std::vector<std::array<int, 3>> chords;
  int64_t barFrames, noteFrames;
};

struct Click {
  int64_t frame;
  int width;    // samples
  int channel;  // 0 left, 1 right, 2 both
  int peak;     // signed
};

const char* channelName(int channel) {
  static const char* const names[] = {"left", "right", "both"};
  return names[channel];
}

// Clicks ring for a few samples: alternating signs, each about half the one before.
double clickShape(const Click& c, int64_t frame) {
  const int64_t k = frame - c.frame;
  if (k < 0 || k >= c.width) return 0;
  double v = c.peak;
  for (int64_t i = 0; i < k; ++i) v *= -0.55;
  return v;
}

std::string timeText(int64_t frame) {
  return tolmar::formatTime(frame, kRate, false, false, {});
}

int usage() {
  std::fprintf(stderr, "usage: make-demo OUT.wav [--seconds N]   (N from %lld to %lld)\n",
               static_cast<long long>(kMinSeconds), static_cast<long long>(kMaxSeconds));
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string out;
  int64_t seconds = 60;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      char* end = nullptr;
      const long long n = std::strtoll(argv[++i], &end, 10);
      if (*end != '\0' || n < kMinSeconds || n > kMaxSeconds) return usage();
      seconds = n;
    } else if (out.empty() && argv[i][0] != '-') {
      out = argv[i];
    } else {
      return usage();
    }
  }
  if (out.empty()) return usage();

  // Layout, in whole seconds: lead-in, track 1, gap in the middle, track 2 to the end.
  const int64_t frames = seconds * kRate;
  const int64_t leadInEnd = 2 * kRate;
  const int64_t gapFirst = (seconds / 2 - 1) * kRate;
  const int64_t gapEnd = gapFirst + 2 * kRate;
  const int64_t track2Seconds = seconds - gapEnd / kRate;
  const int64_t crackleFirst = gapEnd + std::max<int64_t>(1, track2Seconds / 3) * kRate;
  const int64_t crackleEnd = crackleFirst + std::min<int64_t>(5, track2Seconds / 3) * kRate;

  // C - Am - F - G, bright and quick; then Dm - Bb - F - A, slower.
  const std::array<Track, 2> tracks = {{
      {leadInEnd,
       gapFirst,
       {{60, 64, 67}, {57, 60, 64}, {53, 57, 60}, {55, 59, 62}},
       kRate * 2,
       kRate / 2},
      {gapEnd, frames, {{62, 65, 69}, {58, 62, 65}, {53, 57, 60}, {57, 61, 64}}, kRate * 3, kRate},
  }};

  // Clicks: one in every 2.5 s step of the music, somewhere in the step's first half second,
  // kept clear of the crackle and of the track edges so that each one stands alone.
  std::vector<Click> clicks;
  {
    Rng rng{kClickSeed};
    int n = 0;
    for (const Track& t : tracks) {
      for (int64_t at = t.first + kRate; at < t.end - kRate; at += kRate * 5 / 2) {
        const int64_t frame = at + rng.below(kRate / 2);
        const int peak = 12000 + rng.below(8000);
        if (frame >= crackleFirst - kRate / 2 && frame < crackleEnd + kRate / 2) continue;
        if (frame >= t.end - kRate) continue;
        clicks.push_back({frame, 1 + n % 4, n % 3, n % 2 ? -peak : peak});
        ++n;
      }
    }
  }

  std::FILE* f = std::fopen(out.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "make-demo: cannot create %s\n", out.c_str());
    return 1;
  }
  const auto header = tolmar::makeWavHeader(static_cast<uint32_t>(frames * 4), kRate);
  std::fwrite(header.data(), 1, header.size(), f);

  const SineTable sine;
  Rng hiss{kHissSeed};
  Rng crackle{kCrackleSeed};
  Rng melodyRng{kMelodySeed};
  std::array<Voice, 3> chord;
  Voice bass, melody;
  bass.overtoneGain = 0.15;
  melody.overtone = 3;
  melody.overtoneGain = 0.25;
  size_t nextClick = 0;
  int64_t nextCrackle = crackleFirst;
  Click crackleNow{-1, 0, 0, 0};
  int crackleCount = 0;

  std::vector<unsigned char> block(static_cast<size_t>(kRate) * 4);
  for (int64_t blockFirst = 0; blockFirst < frames; blockFirst += kRate) {
    const int64_t blockEnd = std::min(frames, blockFirst + kRate);
    for (int64_t frame = blockFirst; frame < blockEnd; ++frame) {
      double left = 0, right = 0;

      for (const Track& t : tracks) {
        if (frame < t.first || frame >= t.end) continue;
        const int64_t rel = frame - t.first;
        if (rel % t.barFrames == 0) {
          const auto& c = t.chords[(rel / t.barFrames) % t.chords.size()];
          for (int k = 0; k < 3; ++k) chord[k].strike(midiHz(c[k]), 2000, 0.03, 1.2);
          bass.strike(midiHz(c[0] - 24), 3500, 0.02, 1.5);
        }
        if (rel % t.noteFrames == 0) {
          // The melody picks chord tones, an octave up.
          const auto& c = t.chords[(rel / t.barFrames) % t.chords.size()];
          melody.strike(midiHz(c[melodyRng.below(3)] + 12), 3000, 0.015, 0.45);
        }
        double c = 0;
        for (Voice& v : chord) c += v.next(sine);
        const double b = bass.next(sine);
        const double m = melody.next(sine);
        // Fade the track in over 50 ms and out over its last 1.5 s, so the gap stays empty.
        const double fadeIn = std::min(1.0, rel / (0.05 * kRate));
        const double fadeOut = std::min(1.0, (t.end - frame) / (1.5 * kRate));
        const double g = std::min(fadeIn, fadeOut);
        left = g * (0.6 * c + b + m);
        right = g * (c + b + 0.5 * m);
      }

      const double hum =
          kHumPeak * sine.at(static_cast<double>(frame % (kRate / 50)) / (kRate / 50));
      left += hum + (hiss.below(kHissPeak + 1) + hiss.below(kHissPeak + 1) - kHissPeak);
      right += hum + (hiss.below(kHissPeak + 1) + hiss.below(kHissPeak + 1) - kHissPeak);

      if (frame == nextCrackle && frame < crackleEnd) {
        const int peak = 600 + crackle.below(1900);
        crackleNow = {frame, 1 + crackle.below(2), crackle.below(3),
                      crackle.below(2) ? peak : -peak};
        nextCrackle = frame + 150 + crackle.below(900);
        ++crackleCount;
      }
      while (nextClick < clicks.size() &&
             clicks[nextClick].frame + clicks[nextClick].width <= frame)
        ++nextClick;
      for (const Click* c :
           {&crackleNow, nextClick < clicks.size() ? &clicks[nextClick] : nullptr}) {
        if (!c) continue;
        const double v = clickShape(*c, frame);
        if (c->channel != 1) left += v;
        if (c->channel != 0) right += v;
      }

      unsigned char* p = &block[static_cast<size_t>(frame - blockFirst) * 4];
      for (double v : {left, right}) {
        const auto s = static_cast<int16_t>(std::clamp(std::nearbyint(v), -32768.0, 32767.0));
        const auto u = static_cast<uint16_t>(s);
        *p++ = static_cast<unsigned char>(u & 0xFF);
        *p++ = static_cast<unsigned char>(u >> 8);
      }
    }
    const size_t bytes = static_cast<size_t>(blockEnd - blockFirst) * 4;
    if (std::fwrite(block.data(), 1, bytes, f) != bytes) break;
  }
  if (std::ferror(f) | std::fclose(f)) {
    std::fprintf(stderr, "make-demo: writing %s failed\n", out.c_str());
    std::remove(out.c_str());
    return 1;
  }

  std::printf("%s: %lld s, %lld frames, %d Hz, 16-bit stereo\n", out.c_str(),
              static_cast<long long>(seconds), static_cast<long long>(frames), kRate);
  auto range = [](const char* what, int64_t first, int64_t end) {
    std::printf("%-36s frames %lld-%lld (%s-%s)\n", what, static_cast<long long>(first),
                static_cast<long long>(end - 1), timeText(first).c_str(), timeText(end).c_str());
  };
  range("lead-in, hiss and hum only:", 0, leadInEnd);
  range("track 1 (C Am F G, 2 s bars):", tracks[0].first, tracks[0].end);
  range("gap, hiss and hum only:", gapFirst, gapEnd);
  range("track 2 (Dm Bb F A, 3 s bars):", tracks[1].first, tracks[1].end);
  range("crackle:", crackleFirst, crackleEnd);
  std::printf("  %d tiny clicks, 1-2 samples, peak 600-2499, 150-1049 frames apart\n",
              crackleCount);
  std::printf("hum: 50 Hz, peak %d (%.1f dB), both channels, throughout\n", kHumPeak,
              6 * std::log2(kHumPeak) - 90);
  std::printf("hiss: triangular noise, peak %d (%.1f dB), each channel, throughout\n", kHissPeak,
              6 * std::log2(kHissPeak) - 90);
  std::printf("clicks: %zu, each 1-4 samples ringing with alternating sign, peak 12000-19999\n",
              clicks.size());
  const size_t shown = std::min<size_t>(clicks.size(), 40);
  for (size_t i = 0; i < shown; ++i) {
    const Click& c = clicks[i];
    std::printf("  frame %10lld  %s  %d sample%s  %-5s  %+d\n", static_cast<long long>(c.frame),
                timeText(c.frame).c_str(), c.width, c.width == 1 ? " " : "s",
                channelName(c.channel), c.peak);
  }
  if (shown < clicks.size()) std::printf("  ... and %zu more\n", clicks.size() - shown);
  return 0;
}
