// The Model shape and AR interpolation through tolmar-batch: chosen in [Declick] of VESKOR.INI,
// and through each of the two model presets named in a Find All Clicks step. Every click is
// found once and repaired to near the clean sound; no other sample of the file changes.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "support/run_batch.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

struct Side {
  std::vector<int16_t> clean[2];
  std::vector<int32_t> clicks;  // bursts of five frames, both channels
};

// Ten seconds of two tones and a little noise, with strong five-frame bursts.
Side makeSide(int32_t frames) {
  Side s;
  std::mt19937 rng(17);
  std::normal_distribution<double> noise(0.0, 30.0);
  for (int ch = 0; ch < 2; ++ch) {
    s.clean[ch].resize(static_cast<size_t>(frames));
    for (int32_t f = 0; f < frames; ++f) {
      const double t = f / 44100.0;
      s.clean[ch][f] =
          static_cast<int16_t>(std::lround(6000 * std::sin(2 * M_PI * 220 * t + ch) +
                                           2500 * std::sin(2 * M_PI * 587 * t) + noise(rng)));
    }
  }
  for (int32_t f = 7000; f < frames - 7000; f += 23456) s.clicks.push_back(f);
  return s;
}

int16_t damaged(const Side& s, int32_t f, int ch) {
  int v = s.clean[ch][f];
  for (int32_t c : s.clicks)
    if (f >= c && f < c + 5) v += (f - c) % 2 ? -6000 : 9000;
  return static_cast<int16_t>(std::clamp(v, -32768, 32767));
}

int16_t sampleAt(const std::vector<uint8_t>& wav, int32_t frame, int channel) {
  const size_t at = 44 + 4 * static_cast<size_t>(frame) + 2 * static_cast<size_t>(channel);
  return static_cast<int16_t>(wav[at] | (wav[at + 1] << 8));
}

void runAndCheck(const std::string& ini, const std::string& findStep) {
  TempDir dir;
  const fs::path config = dir.path() / "config";
  fs::create_directories(config);
  std::ofstream(config / "VESKOR.INI") << ini;
  const std::string wav = dir.file("side.wav");
  const int32_t frames = 441000;
  const Side side = makeSide(frames);
  WavBuilder()
      .frames(frames,
              [&](int32_t f) {
                return Frame{damaged(side, f, 0), damaged(side, f, 1)};
              })
      .write(wav);
  const std::vector<uint8_t> before = readFileBytes(wav);
  const BatchRun r =
      runBatch("--config-dir '" + config.string() + "' --step '" + findStep +
               "' --step 'Declicking | Remove All Clicks' --step 'File | Save' '" + wav + "'");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const std::string count = std::to_string(2 * side.clicks.size());
  EXPECT_NE(r.out.find("      " + count + " potential clicks found\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("      " + count + " Clicks Removed\n"), std::string::npos) << r.out;

  const std::vector<uint8_t> after = readFileBytes(wav);
  ASSERT_EQ(after.size(), before.size());
  int changedOutside = 0;
  double errBefore = 0, errAfter = 0;
  for (int32_t f = 0; f < frames; ++f) {
    bool inClick = false;
    for (int32_t c : side.clicks) inClick = inClick || (f >= c - 8 && f < c + 13);
    for (int ch = 0; ch < 2; ++ch) {
      if (!inClick) {
        if (sampleAt(after, f, ch) != sampleAt(before, f, ch)) ++changedOutside;
        continue;
      }
      const double d0 = sampleAt(before, f, ch) - side.clean[ch][f];
      const double d1 = sampleAt(after, f, ch) - side.clean[ch][f];
      errBefore += d0 * d0;
      errAfter += d1 * d1;
      EXPECT_LT(std::abs(d1), 600) << "frame " << f << " channel " << ch;
    }
  }
  EXPECT_EQ(changedOutside, 0);
  EXPECT_GT(10 * std::log10(errBefore / std::max(errAfter, 1.0)), 20.0);
}

TEST(ModelDeclickE2E, DeclickSectionChoosesTheModelShapeAndArInterpolation) {
  runAndCheck("[Declick]\nclkwid=40\nrepwid=60\nrelamp=1000\nclktype=5\nreptype=4\n",
              "Declicking | Find All Clicks");
}

// A preset in a step sets the shape and widths; the repair method stays the user's.
TEST(ModelDeclickE2E, EachModelPresetFindsAndRepairsTheClicks) {
  runAndCheck("[Declick]\nreptype=4\n", "Declicking | Find All Clicks [Model Clicks]");
  runAndCheck("[Declick]\nreptype=4\n", "Declicking | Find All Clicks [Model Clicks + Crackle]");
}

}  // namespace
}  // namespace tolmar::test
