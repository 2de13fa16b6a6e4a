// clip_quality [--seed N] [--seconds S] [--clip DB] [--drive DB] [--no-noise-drums]
//
// Repair Clipping in Selection on rendered music: the music brought to full scale and DRIVE dB
// beyond (a hot recording level), then hard-clipped at DB dBFS (−3.4 by default). Scores the
// rebuilt sound against the unclipped one over the clipped samples (all of them, and those of the
// runs the command repairs), before and after, and the same for the runs rebuilt one by one by the
// declicker's AR gap repair held at the level (fitted over clipped surroundings), for comparison.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "declick/ar_model.h"
#include "dsp/statistics.h"
#include "editor/editor.h"
#include "restoration_material.h"

namespace {

using namespace tolmar;
using namespace tolmar::bench;
namespace fs = std::filesystem;

// The runs the command repairs: four or more samples at the level, per channel.
std::vector<uint8_t> runMask(const std::vector<int16_t>& x, int level, std::vector<int>& widths) {
  std::vector<uint8_t> mask(x.size(), 0);
  for (int c = 0; c < 2; ++c) {
    size_t start = 0;
    bool in = false;
    for (size_t f = 0; f <= x.size() / 2; ++f) {
      const bool at = f < x.size() / 2 && std::abs(x[2 * f + c]) >= level;
      if (at && !in) start = f;
      if (!at && in && f - start >= 4) {
        for (size_t k = start; k < f; ++k) mask[2 * k + c] = 1;
        widths.push_back(static_cast<int>(f - start));
      }
      in = at;
    }
  }
  return mask;
}

// Each run rebuilt alone by the gap repair of the declicker, held at the level.
std::vector<int16_t> gapRepair(const std::vector<int16_t>& clipped, int level) {
  std::vector<int16_t> out = clipped;
  const int64_t frames = static_cast<int64_t>(clipped.size() / 2);
  for (int c = 0; c < 2; ++c) {
    int64_t start = -1;
    for (int64_t f = 0; f <= frames; ++f) {
      const bool at = f < frames && std::abs(clipped[2 * static_cast<size_t>(f) + c]) >= level;
      if (at && start < 0) start = f;
      if (!at && start >= 0) {
        if (f - start >= 4) {
          std::vector<double> bound;
          std::vector<int8_t> sign;
          for (int64_t k = start; k < f; ++k) {
            const int8_t s = clipped[2 * static_cast<size_t>(k) + c] < 0 ? -1 : 1;
            sign.push_back(s);
            bound.push_back(s * static_cast<double>(level));
          }
          arRepairGap(out.data() + c, frames, 2, start, f - 1, kArContext, &bound, &sign);
        }
        start = -1;
      }
    }
  }
  return out;
}

struct LoggingHost : SilentHost {
  std::string last;
  void message(MsgKind, const std::string& text) override { last = text; }
};

}  // namespace

int main(int argc, char** argv) {
  MaterialOptions opt;
  opt.seed = 1;
  opt.seconds = 60;
  opt.clicksPerSecond = 0;
  double clipDb = -3.4, driveDb = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--seed" && i + 1 < argc)
      opt.seed = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--seconds" && i + 1 < argc)
      opt.seconds = std::atoi(argv[++i]);
    else if (a == "--clip" && i + 1 < argc)
      clipDb = std::atof(argv[++i]);
    else if (a == "--drive" && i + 1 < argc)
      driveDb = std::atof(argv[++i]);
    else if (a == "--no-noise-drums")
      opt.noiseDrums = false;
    else {
      std::fprintf(stderr,
                   "usage: clip_quality [--seed N] [--seconds S] [--clip DB] [--drive DB] "
                   "[--no-noise-drums]\n");
      return 2;
    }
  }
  Material m = renderMaterial(opt);
  double peak = 1e-9;
  for (double v : m.reference) peak = std::max(peak, std::abs(v));
  const double gain = 32767 / peak * std::pow(10.0, driveDb / 20);
  for (double& v : m.reference) v *= gain;
  const int level = static_cast<int>(std::lround(32768 * std::pow(10.0, clipDb / 20)));
  const std::vector<int16_t> clipped = hardClip(m.reference, level);

  std::vector<uint8_t> all(clipped.size(), 0);
  size_t clippedSamples = 0;
  for (size_t i = 0; i < clipped.size(); ++i) {
    all[i] = std::abs(m.reference[i]) > level;
    clippedSamples += all[i];
  }
  std::vector<int> widths;
  const std::vector<uint8_t> runs = runMask(clipped, level, widths);
  std::sort(widths.begin(), widths.end());
  const auto pct = [&](double q) {
    return widths.empty() ? 0 : widths[static_cast<size_t>(q * (widths.size() - 1))];
  };

  const fs::path dir = fs::temp_directory_path() / "tolmar-quality";
  fs::create_directories(dir);
  const std::string wav = (dir / "clipped.wav").string();
  writeWav(wav, clipped, m.rate);

  LoggingHost host;
  Editor editor(host);
  editor.ctx.settings.newstylewaveform = false;
  editor.ctx.batchRunning = true;
  editor.ctx.silentMode = true;
  editor.ctx.settings.clippingvalue = level;
  editor.ctx.settings.clippingsamples = 4;
  if (!editor.OpenDocument(wav)) {
    std::fprintf(stderr, "cannot open %s\n", wav.c_str());
    return 1;
  }
  editor.doc->selStart = 0;
  editor.doc->selEnd = editor.doc->frameCount;
  const double seconds = timed([&] { editor.RepairClippinginSelection1Click(); }).wall;
  const std::vector<int16_t> repaired = readSound(*editor.doc);
  const std::vector<int16_t> gap = gapRepair(clipped, level);

  std::printf("seed %llu, %d s of music at full scale %+.1f dB, clipped at %.1f dBFS (level %d)\n",
              static_cast<unsigned long long>(opt.seed), opt.seconds, driveDb, clipDb, level);
  std::printf(
      "clipped samples %zu (%.2f %%), runs of 4 or more: %zu, widths 5/50/95 %%: %d/%d/%d\n",
      clippedSamples, 100.0 * clippedSamples / clipped.size(), widths.size(), pct(0.05), pct(0.5),
      pct(0.95));
  std::printf("%-28s %9s %9s %9s %9s\n", "", "all_in", "all_gain", "runs_in", "runs_gain");
  const double allIn = snrDb(m.reference, clipped, all), runsIn = snrDb(m.reference, clipped, runs);
  std::printf("%-28s %9.2f %+9.2f %9.2f %+9.2f\n", "Repair Clipping", allIn,
              snrDb(m.reference, repaired, all) - allIn, runsIn,
              snrDb(m.reference, repaired, runs) - runsIn);
  std::printf("%-28s %9.2f %+9.2f %9.2f %+9.2f\n", "gap repair held at level", allIn,
              snrDb(m.reference, gap, all) - allIn, runsIn, snrDb(m.reference, gap, runs) - runsIn);
  if (std::getenv("CLIP_DEBUG")) {
    size_t atLevel = 0, inRuns = 0, above = 0, below = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
      if (!runs[i]) continue;
      ++inRuns;
      atLevel += std::abs(repaired[i]) == level;
      const double truth = std::abs(m.reference[i]), got = std::abs(repaired[i]);
      above += got > truth;
      below += got < truth;
    }
    std::printf("in runs %zu, held at level %zu, over truth %zu, under %zu\n", inRuns, atLevel,
                above, below);
    // The best a 16-bit file can hold: the truth limited to the range.
    std::vector<int16_t> ceiling(m.reference.size());
    for (size_t i = 0; i < ceiling.size(); ++i)
      ceiling[i] =
          static_cast<int16_t>(std::clamp(std::nearbyint(m.reference[i]), -32768.0, 32767.0));
    std::printf("the truth limited to 16 bits: runs gain %+.2f dB\n",
                snrDb(m.reference, ceiling, runs) - runsIn);
    // Where the error lies: by how far beyond the level the rebuilt sample went.
    double err[4] = {}, count[4] = {};
    for (size_t i = 0; i < runs.size(); ++i) {
      if (!runs[i]) continue;
      const double over = std::abs(repaired[i]) / static_cast<double>(level);
      const int k = over < 1.25 ? 0 : over < 1.6 ? 1 : over < 2.5 ? 2 : 3;
      err[k] += std::pow(repaired[i] - m.reference[i], 2);
      ++count[k];
    }
    const double total = err[0] + err[1] + err[2] + err[3];
    std::printf(
        "rebuilt below 1.25 x level: %.0f samples, %.0f %% of the error; 1.25-1.6: %.0f, "
        "%.0f %%; 1.6-2.5: %.0f, %.0f %%; beyond: %.0f, %.0f %%\n",
        count[0], 100 * err[0] / total, count[1], 100 * err[1] / total, count[2],
        100 * err[2] / total, count[3], 100 * err[3] / total);
    // The run samples split by whether the other channel is clipped at the same instant.
    std::vector<uint8_t> alone(runs.size(), 0), both(runs.size(), 0);
    for (size_t i = 0; i < runs.size(); ++i) {
      if (!runs[i]) continue;
      (std::abs(clipped[i ^ 1]) >= level ? both : alone)[i] = 1;
    }
    const auto gainOver = [&](const std::vector<uint8_t>& mask) {
      return snrDb(m.reference, repaired, mask) - snrDb(m.reference, clipped, mask);
    };
    size_t nAlone = 0, nBoth = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
      nAlone += alone[i];
      nBoth += both[i];
    }
    std::printf("other channel unclipped: %zu samples, gain %+.2f dB; clipped too: %zu, %+.2f dB\n",
                nAlone, gainOver(alone), nBoth, gainOver(both));
  }
  std::printf("repair took %.2f s for %d s of sound (%.0f x realtime); %s\n", seconds, opt.seconds,
              opt.seconds / std::max(seconds, 1e-9), host.last.c_str());
  return 0;
}
