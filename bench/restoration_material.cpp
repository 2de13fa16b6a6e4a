#include "restoration_material.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>

#include "document/binary_file.h"
#include "document/wav_format.h"
#include "document/wave_file.h"

namespace tolmar::bench {

namespace {

constexpr double kPi = std::numbers::pi;

// splitmix64: the same sequence on every platform.
struct Rng {
  uint64_t state;
  uint64_t next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  double range(double lo, double hi) { return lo + (hi - lo) * uniform(); }
  int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }
  double gauss() {
    const double u = std::max(uniform(), 1e-300), v = uniform();
    return std::sqrt(-2 * std::log(u)) * std::cos(2 * kPi * v);
  }
  double sign() { return next() & 1 ? 1.0 : -1.0; }
};

double midiHz(double note) {
  return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

// Frames over which a voice dies away at its end. A voice cut off mid-swing would put a step
// into the reference, the very fault the declicker is there to remove.
constexpr size_t kRelease = 441;

// Adds a mono voice into the stereo mix at `pan` (0 left .. 1 right).
void addVoice(std::vector<double>& mix, int32_t frames, int32_t at, const std::vector<double>& v,
              double pan) {
  const double gl = std::cos(pan * kPi / 2), gr = std::sin(pan * kPi / 2);
  const size_t release = std::min(kRelease, v.size());
  for (size_t i = 0; i < v.size() && at + static_cast<int64_t>(i) < frames; ++i) {
    const size_t left = v.size() - i;
    const double fade = left > release
                            ? 1.0
                            : 0.5 - 0.5 * std::cos(kPi * static_cast<double>(left) / (release + 1));
    mix[2 * (at + i)] += gl * fade * v[i];
    mix[2 * (at + i) + 1] += gr * fade * v[i];
  }
}

// A plucked string (Karplus-Strong): a noise burst circulating in a delay line that loses its
// highs a little on every pass.
std::vector<double> pluck(Rng& rng, double hz, double seconds, int rate) {
  const int period = std::max(2, static_cast<int>(rate / hz));
  std::vector<double> line(static_cast<size_t>(period));
  for (double& s : line) s = rng.range(-1, 1);
  std::vector<double> out(static_cast<size_t>(seconds * rate));
  size_t k = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    const size_t j = (k + 1) % line.size();
    const double y = 0.996 * 0.5 * (line[k] + line[j]);
    out[i] = line[k];
    line[k] = y;
    k = j;
  }
  return out;
}

// A struck voice: slightly inharmonic partials, a 2 ms attack, each partial decaying faster
// than the one below.
std::vector<double> struck(double hz, double seconds, int rate) {
  std::vector<double> out(static_cast<size_t>(seconds * rate));
  for (int p = 1; p <= 7; ++p) {
    const double f = hz * p * std::sqrt(1 + 0.0004 * p * p);
    if (f > rate / 2.5) break;
    const double amp = 1.0 / p, tau = 1.2 / p;
    for (size_t i = 0; i < out.size(); ++i) {
      const double t = static_cast<double>(i) / rate;
      const double attack = std::min(1.0, t / 0.002);
      out[i] += amp * attack * std::exp(-t / tau) * std::sin(2 * kPi * f * t);
    }
  }
  return out;
}

// Bass: a band-limited sawtooth with a soft attack and a long decay.
std::vector<double> bass(double hz, double seconds, int rate) {
  std::vector<double> out(static_cast<size_t>(seconds * rate));
  for (int p = 1; p <= 10; ++p) {
    const double f = hz * p;
    for (size_t i = 0; i < out.size(); ++i) {
      const double t = static_cast<double>(i) / rate;
      const double env = std::min(1.0, t / 0.01) * std::exp(-t / 0.6);
      out[i] += env * std::sin(2 * kPi * f * t) / p;
    }
  }
  return out;
}

// Kick: a falling sine; snare and hat: noise through a one-pole filter, decaying fast.
std::vector<double> kick(double seconds, int rate) {
  std::vector<double> out(static_cast<size_t>(seconds * rate));
  double phase = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    const double t = static_cast<double>(i) / rate;
    phase += (50 + 90 * std::exp(-t / 0.03)) / rate;
    out[i] = std::exp(-t / 0.15) * std::sin(2 * kPi * phase);
  }
  return out;
}
std::vector<double> noiseHit(Rng& rng, double seconds, double decay, double pole, int rate) {
  std::vector<double> out(static_cast<size_t>(seconds * rate));
  double y = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    const double t = static_cast<double>(i) / rate;
    y = pole * y + (1 - pole) * rng.range(-1, 1);
    out[i] = std::exp(-t / decay) * (rng.range(-1, 1) * 0.3 + y * 2);
  }
  return out;
}

// Pad: three detuned sines with vibrato and a slow swell.
std::vector<double> pad(double hz, double seconds, int rate) {
  std::vector<double> out(static_cast<size_t>(seconds * rate));
  const double detune[3] = {1.0, 1.003, 0.997};
  for (double d : detune) {
    double phase = 0;
    for (size_t i = 0; i < out.size(); ++i) {
      const double t = static_cast<double>(i) / rate;
      phase += hz * d * (1 + 0.003 * std::sin(2 * kPi * 5 * t)) / rate;
      const double env = std::min(1.0, t / 0.4) * std::min(1.0, (seconds - t) / 0.4);
      out[i] += env * std::sin(2 * kPi * phase) / 3;
    }
  }
  return out;
}

std::vector<double> renderMusic(Rng& rng, int32_t frames, int rate, bool noiseDrums) {
  std::vector<double> mix(2 * static_cast<size_t>(frames));
  const double beat = 0.5;  // seconds
  const int scale[7] = {0, 2, 4, 5, 7, 9, 11};
  const double seconds = static_cast<double>(frames) / rate;
  for (double t = 0; t < seconds; t += beat) {
    const int32_t at = static_cast<int32_t>(t * rate);
    const int bar = static_cast<int>(t / (4 * beat));
    const int root = 48 + scale[(bar * 3) % 7];
    if (static_cast<int>(t / beat) % 2 == 0)
      addVoice(mix, frames, at, kick(0.5, rate), 0.5);
    else if (auto v = noiseHit(rng, 0.3, 0.06, 0.5, rate); noiseDrums)
      addVoice(mix, frames, at, v, 0.55);
    if (auto v = noiseHit(rng, 0.1, 0.015, 0.05, rate); noiseDrums)
      addVoice(mix, frames, at + rate / 4, v, 0.7);
    for (int n = 0; n < 2; ++n) {
      const double note = root + 12 + scale[rng.below(7)] + 12 * rng.below(2);
      const int32_t off = static_cast<int32_t>(rng.below(2) * beat / 2 * rate);
      auto v = pluck(rng, midiHz(note), 1.0, rate);
      for (double& s : v) s *= 0.5;
      addVoice(mix, frames, at + off, v, 0.2 + 0.6 * rng.uniform());
    }
    if (rng.below(3) == 0) {
      auto v = struck(midiHz(root + 24 + scale[rng.below(7)]), 2.0, rate);
      for (double& s : v) s *= 0.35;
      addVoice(mix, frames, at, v, 0.35);
    }
    if (static_cast<int>(t / beat) % 4 == 0) {
      auto v = bass(midiHz(root - 12), 2.0, rate);
      for (double& s : v) s *= 0.25;
      addVoice(mix, frames, at, v, 0.5);
      auto p = pad(midiHz(root + 12), 4 * beat, rate);
      for (double& s : p) s *= 0.2;
      addVoice(mix, frames, at, p, 0.65);
    }
  }
  double peak = 1e-9;
  for (double s : mix) peak = std::max(peak, std::abs(s));
  for (double& s : mix) s *= 14000 / peak;
  return mix;
}

// The disturbance of a click of `kind`, k frames after its start; shaped by its own parameters.
struct Shape {
  ClickKind kind;
  double amp, tau, freq;
  int length;
  double at(int k) const {
    switch (kind) {
      case ClickKind::Spike:
        return k == 0 ? amp : 0;
      case ClickKind::Burst:
        return k < length ? amp * std::exp(-k / tau) * std::cos(kPi * freq * k) : 0;
      case ClickKind::Step:
        return k < length ? amp * std::exp(-k / tau) : 0;
      case ClickKind::Bump:
        return k < length ? amp * std::sin(kPi * (k + 1) / (length + 1)) : 0;
    }
    return 0;
  }
};

int16_t toSample(double v) {
  return static_cast<int16_t>(std::clamp(std::nearbyint(v), -32768.0, 32767.0));
}

}  // namespace

const char* clickKindName(ClickKind k) {
  switch (k) {
    case ClickKind::Spike:
      return "spike";
    case ClickKind::Burst:
      return "burst";
    case ClickKind::Step:
      return "step";
    case ClickKind::Bump:
      return "bump";
  }
  return "?";
}

Material renderMaterial(const MaterialOptions& opt) {
  Material m;
  m.frames = opt.seconds * m.rate;
  Rng music{opt.seed * 0x100 + 1};
  Rng faults{opt.seed * 0x100 + 2};
  m.reference = renderMusic(music, m.frames, m.rate, opt.noiseDrums);
  if (opt.crackleAndHiss)
    for (double& s : m.reference) s += 25 * faults.gauss();

  std::vector<double> dirty = m.reference;
  // Clicks at least 200 frames apart, so that their +-50 frame regions stay apart.
  const double meanGap = m.rate / opt.clicksPerSecond;
  for (double pos = 1000 + faults.range(0, meanGap); pos < m.frames - 1000;
       pos += 200 + faults.range(0, 2 * (meanGap - 200))) {
    KnownClick c;
    c.start = static_cast<int32_t>(pos);
    c.kind = static_cast<ClickKind>(faults.below(kClickKinds));
    Shape sh{c.kind, faults.sign() * std::exp(faults.range(std::log(300.0), std::log(20000.0))), 0,
             0, 1};
    switch (c.kind) {
      case ClickKind::Spike:
        sh.length = 1;
        break;
      case ClickKind::Burst:
        sh.length = 2 + faults.below(9);
        sh.tau = sh.length / 3.0;
        sh.freq = faults.range(0.3, 0.9);
        break;
      case ClickKind::Step:
        sh.length = 20 + faults.below(41);
        sh.tau = sh.length / std::log(100.0);
        break;
      case ClickKind::Bump:
        sh.length = 3 + faults.below(6);
        break;
    }
    c.length = sh.length;
    const int which = faults.below(3);  // left, right or both
    c.channels[0] = which != 1;
    c.channels[1] = which != 0;
    const double otherScale = faults.range(0.5, 1.0);
    for (int ch = 0; ch < 2; ++ch) {
      if (!c.channels[ch]) continue;
      const double g = (which == 2 && ch == 1) ? otherScale : 1.0;
      for (int k = 0; k < sh.length; ++k) dirty[2 * (c.start + k) + ch] += g * sh.at(k);
    }
    m.clicks.push_back(c);
  }
  if (opt.crackleAndHiss) {
    // About 150 tiny impulses a second on each channel.
    for (int ch = 0; ch < 2; ++ch) {
      for (double pos = faults.range(0, 600); pos < m.frames - 10; pos += faults.range(10, 580)) {
        const int32_t f = static_cast<int32_t>(pos);
        const int len = 1 + faults.below(4);
        const double amp = faults.sign() * faults.range(50, 800);
        for (int k = 0; k < len; ++k)
          dirty[2 * (f + k) + ch] += amp * std::sin(kPi * (k + 1) / (len + 1));
        m.crackle.push_back({f, ch});
      }
    }
    std::sort(m.crackle.begin(), m.crackle.end());
  }
  m.damaged.resize(dirty.size());
  for (size_t i = 0; i < dirty.size(); ++i) m.damaged[i] = toSample(dirty[i]);
  return m;
}

std::vector<int16_t> hardClip(const std::vector<double>& reference, int level) {
  std::vector<int16_t> out(reference.size());
  for (size_t i = 0; i < reference.size(); ++i)
    out[i] =
        toSample(std::clamp(reference[i], -static_cast<double>(level), static_cast<double>(level)));
  return out;
}

double snrDb(const std::vector<double>& reference, const std::vector<int16_t>& test,
             const std::vector<uint8_t>& mask) {
  double sig = 0, err = 0;
  for (size_t i = 0; i < reference.size(); ++i) {
    if (!mask[i]) continue;
    sig += reference[i] * reference[i];
    const double d = test[i] - reference[i];
    err += d * d;
  }
  return 10 * std::log10(std::max(sig, 1e-9) / std::max(err, 1e-9));
}

void scoreDetections(const Material& m, const GlitchList& found, Scores& s) {
  constexpr int32_t kTolerance = 5;
  s.targets = 0;
  for (const KnownClick& c : m.clicks) s.targets += c.channels[0] + c.channels[1];
  // Clicks are sorted by start; a detection looks at the clicks around its frame.
  std::vector<uint8_t> matched(2 * m.clicks.size());
  s.found = s.detections = s.falseDetections = s.crackleHits = 0;
  s.falseItems.clear();
  for (const Glitch& g : found.items) {
    ++s.detections;
    const int ch = g.channel;
    auto it = std::lower_bound(m.clicks.begin(), m.clicks.end(), g.position - 200,
                               [](const KnownClick& c, int32_t f) { return c.start < f; });
    bool hit = false;
    for (; it != m.clicks.end() && it->start <= g.position + kTolerance; ++it) {
      if (!it->channels[ch]) continue;
      if (g.position < it->start - kTolerance ||
          g.position > it->start + it->length - 1 + kTolerance)
        continue;
      uint8_t& seen = matched[2 * static_cast<size_t>(it - m.clicks.begin()) + ch];
      if (!seen) {
        seen = 1;
        ++s.found;
        hit = true;
      }
      break;
    }
    if (hit) continue;
    const auto ck = std::lower_bound(m.crackle.begin(), m.crackle.end(),
                                     std::array<int32_t, 2>{g.position - kTolerance - 4, 0});
    bool crackle = false;
    for (auto c = ck; c != m.crackle.end() && (*c)[0] <= g.position + kTolerance; ++c)
      if ((*c)[1] == ch) crackle = true;
    if (crackle) {
      ++s.crackleHits;
    } else {
      ++s.falseDetections;
      s.falseItems.push_back(static_cast<size_t>(&g - found.items.data()));
    }
  }
  const int32_t counted = s.found + s.falseDetections;
  s.precision = counted ? static_cast<double>(s.found) / counted : 0;
  s.recall = s.targets ? static_cast<double>(s.found) / s.targets : 0;
  s.f1 = s.precision + s.recall > 0 ? 2 * s.precision * s.recall / (s.precision + s.recall) : 0;
}

void scoreRestoration(const Material& m, const std::vector<int16_t>& restored, Scores& s) {
  constexpr int32_t kRegion = 50;
  const size_t n = m.reference.size();
  std::vector<uint8_t> region(n), outside(n, 1);
  std::array<std::vector<uint8_t>, kClickKinds> byKind;
  for (auto& k : byKind) k.assign(n, 0);
  for (const KnownClick& c : m.clicks) {
    const int32_t a = std::max(0, c.start - kRegion);
    const int32_t b = std::min(m.frames - 1, c.start + c.length - 1 + kRegion);
    for (int32_t f = a; f <= b; ++f)
      for (int ch = 0; ch < 2; ++ch) {
        outside[2 * f + ch] = 0;
        if (!c.channels[ch]) continue;
        region[2 * f + ch] = 1;
        byKind[static_cast<int>(c.kind)][2 * f + ch] = 1;
      }
  }
  s.regionSnrIn = snrDb(m.reference, m.damaged, region);
  s.regionSnrOut = snrDb(m.reference, restored, region);
  s.outsideSnrIn = snrDb(m.reference, m.damaged, outside);
  s.outsideSnrOut = snrDb(m.reference, restored, outside);
  for (int k = 0; k < kClickKinds; ++k)
    s.kindGain[k] =
        snrDb(m.reference, restored, byKind[k]) - snrDb(m.reference, m.damaged, byKind[k]);
  // Per click: the error energy over its region before and after.
  s.worseClicks = 0;
  s.worstClickChange = 0;
  s.worse.clear();
  for (const KnownClick& c : m.clicks) {
    const int32_t a = std::max(0, c.start - kRegion);
    const int32_t b = std::min(m.frames - 1, c.start + c.length - 1 + kRegion);
    double before = 0, after = 0;
    for (int32_t f = a; f <= b; ++f)
      for (int ch = 0; ch < 2; ++ch) {
        if (!c.channels[ch]) continue;
        const size_t i = 2 * static_cast<size_t>(f) + ch;
        before += (m.damaged[i] - m.reference[i]) * (m.damaged[i] - m.reference[i]);
        after += (restored[i] - m.reference[i]) * (restored[i] - m.reference[i]);
      }
    const double change = 10 * std::log10(std::max(before, 1e-9) / std::max(after, 1e-9));
    if (change < -1) {
      ++s.worseClicks;
      s.worse.push_back({static_cast<size_t>(&c - m.clicks.data()), change});
    }
    s.worstClickChange = std::min(s.worstClickChange, change);
  }
}

void writeWav(const std::string& path, const std::vector<int16_t>& samples, int rate) {
  std::vector<uint8_t> bytes(kWavHeaderBytes + 2 * samples.size());
  const auto header = makeWavHeader(static_cast<uint32_t>(2 * samples.size()), rate);
  std::memcpy(bytes.data(), header.data(), header.size());
  for (size_t i = 0; i < samples.size(); ++i)
    storeU16(&bytes[kWavHeaderBytes + 2 * i], static_cast<uint16_t>(samples[i]));
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
  std::fclose(f);
}

std::vector<int16_t> readSound(WaveFile& doc) {
  std::vector<int16_t> out(2 * static_cast<size_t>(doc.frameCount));
  for (int32_t f = 0; f < doc.frameCount; f += 9000) {
    const int32_t last = std::min(doc.frameCount - 1, f + 8999);
    doc.ReadFrames(true, out.data() + 2 * static_cast<size_t>(f), f, last);
  }
  return out;
}

}  // namespace tolmar::bench
