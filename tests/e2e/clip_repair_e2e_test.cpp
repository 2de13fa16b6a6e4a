// Repair Clipping in Selection as a batch step: the clip level comes from VESKOR.INI, the
// result is saved, and it is what the same command gives in process.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "editor/editor.h"
#include "support/run_batch.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

constexpr int kLevel = 12000;
constexpr int32_t kFrames = 20000;

double sound(int32_t i, int channel) {
  const double t = i / 44100.0, w = 2 * std::numbers::pi;
  return 11000 * std::sin(w * (200 + 90 * channel) * t) + 6000 * std::sin(w * 510 * t + 0.7);
}

Frame clippedFrame(int32_t i) {
  const auto clip = [](double v) {
    return static_cast<int16_t>(std::clamp(std::lround(v), -long(kLevel), long(kLevel)));
  };
  return {clip(sound(i, 0)), clip(sound(i, 1))};
}

std::vector<int16_t> readAll(const std::string& wav, bool edits, Editor* in = nullptr) {
  ScriptedHost host;
  Editor own(host);
  Editor& e = in ? *in : own;
  e.ctx.settings.newstylewaveform = false;
  if (!in) {
    EXPECT_TRUE(e.OpenDocument(wav));
  }
  std::vector<int16_t> buf(2 * static_cast<size_t>(kFrames));
  e.doc->ReadFrames(edits, buf.data(), 0, kFrames - 1);
  return buf;
}

TEST(ClipRepairBatch, RepairsWithTheIniLevelSavesAndMatchesTheCommandInProcess) {
  TempDir dir;
  const fs::path config = dir.path() / "config";
  fs::create_directories(config);
  std::ofstream(config / "VESKOR.INI")
      << "[Options]\nclippingvalue=" << kLevel << "\nclippingsamples=4\n";
  const std::string wav = dir.file("side.wav");
  WavBuilder().frames(kFrames, clippedFrame).write(wav);

  const BatchRun r = runBatch("--config-dir " + shellQuoted(config.string()) +
                              " --step 'Selection | Repair Clipping in Selection (With Undo)'"
                              " --step 'File | Save' " +
                              shellQuoted(wav));
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const size_t at = r.out.find("      Clipping repaired at ");
  ASSERT_NE(at, std::string::npos) << r.out;
  const std::string line = r.out.substr(at + 6, r.out.find('\n', at) - at - 6);
  // Every run found is repaired: "R of R places".
  const std::string count = line.substr(21, line.find(' ', 21) - 21);
  EXPECT_EQ(line, "Clipping repaired at " + count + " of " + count + " places") << r.out;
  EXPECT_GT(std::stoi(count), 40);

  const std::vector<int16_t> saved = readAll(wav, false);
  double before = 0, after = 0;
  for (int32_t i = 0; i < kFrames; ++i) {
    const Frame f = clippedFrame(i);
    for (int c = 0; c < 2; ++c) {
      const int16_t was = c ? f.right : f.left, now = saved[2 * static_cast<size_t>(i) + c];
      if (std::abs(was) < kLevel) {
        ASSERT_EQ(now, was) << i;
        continue;
      }
      ASSERT_GE(was < 0 ? -now : now, kLevel) << i;
      before += std::pow(was - sound(i, c), 2);
      after += std::pow(now - sound(i, c), 2);
    }
  }
  EXPECT_GT(10 * std::log10(before / after), 10.0);

  // The same command in process on the same material.
  const std::string copy = dir.file("copy.wav");
  WavBuilder().frames(kFrames, clippedFrame).write(copy);
  ScriptedHost host;
  Editor e(host);
  host.ctx = &e.ctx;
  e.ctx.settings.newstylewaveform = false;
  e.ctx.silentMode = true;
  e.ctx.settings.clippingvalue = kLevel;
  ASSERT_TRUE(e.OpenDocument(copy));
  e.SelectEntireFile1Click();
  e.RepairClippinginSelection1Click();
  EXPECT_EQ(readAll(copy, true, &e), saved);
}

}  // namespace
}  // namespace tolmar::test
