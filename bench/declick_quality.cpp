// declick_quality [--seed N] [--seconds S] [--preset NAME]... [--no-noise-drums]
//
// Restoration quality of the declicker on rendered music with clicks of known position: for
// each declick factory preset (or the presets named), on clicks alone and on clicks with crackle
// and hiss, Find All Clicks then Remove All Clicks with the preset's repair method, scored
// against the clean sound. Prints one row per preset and material.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench_support.h"
#include "declick/detection.h"
#include "editor/editor.h"
#include "restoration_material.h"

namespace {

using namespace tolmar;
using namespace tolmar::bench;
namespace fs = std::filesystem;

// The clicks no detection matched, with their peak and the music's level around them: where
// the search falls short.
void printMissed(const Material& m, const GlitchList& found) {
  for (const KnownClick& c : m.clicks)
    for (int ch = 0; ch < 2; ++ch) {
      if (!c.channels[ch]) continue;
      bool hit = false;
      for (const Glitch& g : found.items)
        hit = hit || (g.channel == ch && g.position >= c.start - 5 &&
                      g.position <= c.start + c.length + 4);
      if (hit) continue;
      double peak = 0, level = 0;
      for (int32_t k = 0; k < c.length; ++k) {
        const size_t i = 2 * static_cast<size_t>(c.start + k) + ch;
        peak = std::max(peak, std::abs(m.damaged[i] - m.reference[i]));
      }
      for (int32_t f = c.start - 200; f < c.start + 200; ++f) {
        const double v = m.reference[2 * static_cast<size_t>(f) + ch];
        level += v * v;
      }
      std::printf("  missed %d ch%d %s len %d peak %.0f music rms %.0f\n", c.start, ch,
                  clickKindName(c.kind), c.length, peak, std::sqrt(level / 400));
    }
}

// The detections the scores count as false, with the music's level around them.
void printFalse(const Material& m, const GlitchList& found, const Scores& s) {
  for (size_t k : s.falseItems) {
    const Glitch& g = found.items[k];
    const int ch = g.channel;
    double level = 0;
    const int32_t a = std::max(0, g.position - 200), b = std::min(m.frames, g.position + 200);
    for (int32_t f = a; f < b; ++f) {
      const double v = m.reference[2 * static_cast<size_t>(f) + ch];
      level += v * v;
    }
    std::printf("  false %d ch%d w%d music rms %.0f\n", g.position, ch, g.width,
                std::sqrt(level / std::max(b - a, 1)));
  }
}

// The clicks the restoration left more than 1 dB worse.
void printWorse(const Material& m, const Scores& s) {
  for (const auto& [k, change] : s.worse) {
    const KnownClick& c = m.clicks[k];
    std::printf("  worse %d %s len %d L%d R%d: %.1f dB\n", c.start, clickKindName(c.kind), c.length,
                c.channels[0], c.channels[1], change);
  }
}

// The stretches away from every click that the restoration changed most, by error energy.
void printOutsideDamage(const Material& m, const std::vector<int16_t>& restored) {
  std::vector<uint8_t> near(static_cast<size_t>(m.frames));
  for (const KnownClick& c : m.clicks)
    for (int32_t f = std::max(0, c.start - 50);
         f <= std::min(m.frames - 1, c.start + c.length + 49); ++f)
      near[static_cast<size_t>(f)] = 1;
  std::vector<std::pair<double, int32_t>> worst;
  for (int32_t f0 = 0; f0 < m.frames; f0 += 100) {
    double added = 0;
    for (int32_t f = f0; f < std::min(m.frames, f0 + 100); ++f)
      for (int ch = 0; ch < 2; ++ch) {
        if (near[static_cast<size_t>(f)]) continue;
        const size_t i = 2 * static_cast<size_t>(f) + ch;
        const double r = restored[i] - m.reference[i], d = m.damaged[i] - m.reference[i];
        added += r * r - d * d;
      }
    if (added > 0) worst.push_back({added, f0});
  }
  std::sort(worst.rbegin(), worst.rend());
  for (size_t i = 0; i < std::min<size_t>(10, worst.size()); ++i)
    std::printf("  outside %d..%d error energy +%.0f\n", worst[i].second, worst[i].second + 99,
                worst[i].first);
}

// The clicks whose regions keep the most error energy after the restoration.
void printWorstClicks(const Material& m, const std::vector<int16_t>& restored) {
  std::vector<std::pair<double, size_t>> worst;
  for (size_t n = 0; n < m.clicks.size(); ++n) {
    const KnownClick& c = m.clicks[n];
    double after = 0;
    for (int32_t f = std::max(0, c.start - 50);
         f <= std::min(m.frames - 1, c.start + c.length + 49); ++f)
      for (int ch = 0; ch < 2; ++ch) {
        if (!c.channels[ch]) continue;
        const size_t i = 2 * static_cast<size_t>(f) + ch;
        after += (restored[i] - m.reference[i]) * (restored[i] - m.reference[i]);
      }
    worst.push_back({after, n});
  }
  std::sort(worst.rbegin(), worst.rend());
  for (size_t i = 0; i < std::min<size_t>(12, worst.size()); ++i) {
    const KnownClick& c = m.clicks[worst[i].second];
    double before = 0;
    for (int32_t f = std::max(0, c.start - 50);
         f <= std::min(m.frames - 1, c.start + c.length + 49); ++f)
      for (int ch = 0; ch < 2; ++ch) {
        if (!c.channels[ch]) continue;
        const size_t j = 2 * static_cast<size_t>(f) + ch;
        before += (m.damaged[j] - m.reference[j]) * (m.damaged[j] - m.reference[j]);
      }
    std::printf("  worst %d %s len %d L%d R%d error %.3g (before %.3g)\n", c.start,
                clickKindName(c.kind), c.length, c.channels[0], c.channels[1], worst[i].first,
                before);
  }
}

struct Run {
  Scores scores;
  double findSeconds = 0, removeSeconds = 0;
};

Run runPreset(const std::string& wav, const Material& m, const ClickPreset& p) {
  SilentHost host;
  Editor editor(host);
  editor.ctx.settings.newstylewaveform = false;
  editor.ctx.batchRunning = true;
  editor.ctx.silentMode = true;
  Run run;
  if (!editor.OpenDocument(wav)) {
    std::fprintf(stderr, "cannot open %s\n", wav.c_str());
    std::exit(1);
  }
  editor.doc->selStart = 0;
  editor.doc->selEnd = editor.doc->lastFrame;
  DeclickParams& d = editor.params;
  d.clickWidth = p.clickWidth;
  d.repairWidth = p.repairWidth;
  d.relAmplitude = p.relativeAmplitude;
  d.displayWidth = p.displayWidth;
  d.shape = p.shape;
  d.repairMethod = p.repairMethod;
  d.smoothingCount = p.smoothingCount;
  if (const char* r = std::getenv("QUALITY_RELAMP"))
    d.relAmplitude = static_cast<int16_t>(std::atoi(r));
  run.findSeconds =
      timed([&] { FindClicks(*editor.doc, d, editor.clicks, true, false, false); }).wall;
  scoreDetections(m, *editor.clicks.stored, run.scores);
  if (std::getenv("QUALITY_LIST")) {
    for (const Glitch& g : editor.clicks.stored->items)
      std::printf("  det %d ch%d w%d\n", g.position, g.channel, g.width);
    for (const KnownClick& c : m.clicks)
      std::printf("  click %d len %d %s L%d R%d\n", c.start, c.length, clickKindName(c.kind),
                  c.channels[0], c.channels[1]);
    for (const auto& c : m.crackle) std::printf("  crackle %d ch%d\n", c[0], c[1]);
  }
  if (std::getenv("QUALITY_MISSED")) printMissed(m, *editor.clicks.stored);
  if (std::getenv("QUALITY_FALSE")) printFalse(m, *editor.clicks.stored, run.scores);
  run.removeSeconds = timed([&] { editor.RemoveAllClicks1Click(); }).wall;
  const std::vector<int16_t> restored = readSound(*editor.doc);
  scoreRestoration(m, restored, run.scores);
  if (std::getenv("QUALITY_OUTSIDE")) printOutsideDamage(m, restored);
  if (std::getenv("QUALITY_WORST")) printWorstClicks(m, restored);
  if (std::getenv("QUALITY_WORSE")) printWorse(m, run.scores);
  if (const char* at = std::getenv("QUALITY_AT")) {
    const int32_t f0 = std::atoi(at);
    for (int32_t f = std::max(0, f0 - 12); f <= std::min(m.frames - 1, f0 + 24); ++f) {
      const size_t i = 2 * static_cast<size_t>(f);
      std::printf("  at %d  L %7.0f %7d %6d   R %7.0f %7d %6d\n", f, m.reference[i], m.damaged[i],
                  restored[i], m.reference[i + 1], m.damaged[i + 1], restored[i + 1]);
    }
  }
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  MaterialOptions opt;
  opt.seed = 1;
  std::vector<std::string> only;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--seed" && i + 1 < argc)
      opt.seed = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--seconds" && i + 1 < argc)
      opt.seconds = std::atoi(argv[++i]);
    else if (a == "--preset" && i + 1 < argc)
      only.push_back(argv[++i]);
    else if (a == "--no-noise-drums")
      opt.noiseDrums = false;
    else {
      std::fprintf(stderr,
                   "usage: declick_quality [--seed N] [--seconds S] [--preset NAME]... "
                   "[--no-noise-drums]\n");
      return 2;
    }
  }
  std::vector<ClickPreset> presets;
  for (const ClickPreset& p : ClickPresetFamily::factory())
    if (only.empty() || std::find(only.begin(), only.end(), p.name) != only.end())
      presets.push_back(p);
  // One folder per run: two runs at once must not read each other's material.
  const fs::path dir = fs::temp_directory_path() / ("tolmar-quality-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::printf("seed %llu, %d s of music\n", static_cast<unsigned long long>(opt.seed), opt.seconds);
  std::printf("%-24s %-8s %6s %6s %6s %6s %7s %7s %6s %6s %6s %6s %5s %7s %6s %6s\n", "preset",
              "material", "clicks", "prec", "recall", "F1", "regIn", "regGain", "spike", "burst",
              "step", "bump", "worse", "outside", "find_s", "rem_s");
  for (int full = 0; full < 2; ++full) {
    opt.crackleAndHiss = full == 1;
    const Material m = renderMaterial(opt);
    const std::string wav = (dir / (full ? "full.wav" : "clicks.wav")).string();
    writeWav(wav, m.damaged, m.rate);
    for (const ClickPreset& p : presets) {
      const Run r = runPreset(wav, m, p);
      const Scores& s = r.scores;
      std::printf(
          "%-24s %-8s %6d %6.3f %6.3f %6.3f %7.1f %+7.1f %+6.1f %+6.1f %+6.1f %+6.1f %5d %+7.2f "
          "%6.2f %6.2f\n",
          p.name.c_str(), full ? "full" : "clicks", s.targets, s.precision, s.recall, s.f1,
          s.regionSnrIn, s.regionSnrOut - s.regionSnrIn, s.kindGain[0], s.kindGain[1],
          s.kindGain[2], s.kindGain[3], s.worseClicks, s.outsideSnrOut - s.outsideSnrIn,
          r.findSeconds, r.removeSeconds);
      std::fflush(stdout);
    }
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return 0;
}
