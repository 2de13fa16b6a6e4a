// declick_quality [--seed N] [--seconds S] [--preset NAME]...
//
// Restoration quality of the declicker on rendered music with clicks of known position: for
// each declick factory preset (or the presets named), on clicks alone and on clicks with crackle
// and hiss, Find All Clicks then Remove All Clicks with the preset's repair method, scored
// against the clean sound. Prints one row per preset and material.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "declick/detection.h"
#include "document/binary_file.h"
#include "document/wav_format.h"
#include "editor/editor.h"
#include "restoration_material.h"

namespace {

using namespace tolmar;
using namespace tolmar::bench;
namespace fs = std::filesystem;

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
  }
  run.removeSeconds = timed([&] { editor.RemoveAllClicks1Click(); }).wall;
  scoreRestoration(m, readSound(*editor.doc), run.scores);
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
    else {
      std::fprintf(stderr, "usage: declick_quality [--seed N] [--seconds S] [--preset NAME]...\n");
      return 2;
    }
  }
  std::vector<ClickPreset> presets;
  for (const ClickPreset& p : ClickPresetFamily::factory())
    if (only.empty() || std::find(only.begin(), only.end(), p.name) != only.end())
      presets.push_back(p);
  const fs::path dir = fs::temp_directory_path() / "tolmar-quality";
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
  return 0;
}
