// Preset-capable effect steps run by tolmar-batch, checked against the same effects run in
// process with the preset loaded as a macro step loads it.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>

#include "dsp/channel_mix.h"
#include "dsp/eq_filter.h"
#include "editor/editor.h"
#include "support/run_batch.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

Frame hummy(int32_t i) {
  const double t = i / 44100.0;
  const double hum = 3000 * std::sin(2 * std::numbers::pi * 60 * t);
  const double tone = 7000 * std::sin(2 * std::numbers::pi * 700 * t);
  const auto v = static_cast<int16_t>(hum + tone);
  return {v, static_cast<int16_t>(i == 7 ? -32768 : tone - hum)};
}

struct EffectsE2E : ::testing::Test {
  TempDir dir;
  fs::path config = dir.path() / "config";  // no VESKOR.INI: the factory presets
  std::string wav = dir.file("side.wav");
  static constexpr int32_t kFrames = 30000;

  EffectsE2E() {
    fs::create_directories(config);
    WavBuilder().frames(kFrames, hummy).write(wav);
  }

  BatchRun run(const std::string& steps) {
    return runBatch("--config-dir " + shellQuoted(config.string()) + " " + steps + " " +
                    shellQuoted(wav));
  }

  // The file's frames as they are on disk.
  std::vector<int16_t> fileFrames() {
    ScriptedHost host;
    Editor e(host);
    e.ctx.settings.newstylewaveform = false;
    EXPECT_TRUE(e.OpenDocument(wav));
    std::vector<int16_t> buf(2 * static_cast<size_t>(kFrames));
    e.doc->ReadFrames(false, buf.data(), 0, kFrames - 1);
    return buf;
  }

  // The original material with an effect applied in process (With Undo, read through the
  // overlay), on a copy of the file.
  template <class Setup>
  std::vector<int16_t> expected(Setup setup) {
    const std::string copy = dir.file("copy.wav");
    WavBuilder().frames(kFrames, hummy).write(copy);
    ScriptedHost host;
    Editor e(host);
    host.ctx = &e.ctx;
    e.ctx.settings.newstylewaveform = false;
    e.ctx.silentMode = true;
    EXPECT_TRUE(e.OpenDocument(copy));
    setup(e);
    std::vector<int16_t> buf(2 * static_cast<size_t>(kFrames));
    e.doc->ReadFrames(true, buf.data(), 0, kFrames - 1);
    return buf;
  }
};

TEST_F(EffectsE2E, FilterWithUndoTakesTheHumPresetAndSaves) {
  const BatchRun r =
      run("--step '<Silent> Other Effects | Filter (With Undo) [Hum (60Hz)]' --step 'File | Save'");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const auto want = expected([](Editor& e) {
    e.ctx.settings.filter.type = {3, 0, 0};
    e.ctx.settings.filter.freq = {60, 1000, 1000};
    e.ctx.settings.filter.q = {1.0, 0.5, 0.5};
    e.FilterWithUndo1Click();
  });
  EXPECT_EQ(fileFrames(), want);
}

TEST_F(EffectsE2E, EqualiseDirectOverwriteLoadsGainsAtOnePointOneTwoPerDecibel) {
  const BatchRun r = run("--step 'Other Effects | Equalise (Direct Overwrite) [Bass Boost]'");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const auto want = expected([](Editor& e) {
    const double db[10] = {0, 4, 5.5, 4.5, 3, 0, 0, 0, 0, 0};
    for (int b = 0; b < 10; ++b) {
      e.ctx.settings.equalise.dbgain[b] = db[b];
      e.ctx.settings.equalise.gain[b] = std::pow(1.12, db[b]);
    }
    e.EqualiseWithUndo1Click();  // silent with eqpassprompt 0: two passes
  });
  EXPECT_EQ(fileFrames(), want);
}

TEST_F(EffectsE2E, ChannelMixDirectOverwriteSwapsWithThePreset) {
  const BatchRun r = run("--step 'Other Effects | Channel Mix (Direct Overwrite) [Swap Channels]'");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const std::vector<int16_t> got = fileFrames();
  for (int32_t i = 0; i < kFrames; ++i) {
    const Frame f = hummy(i);
    ASSERT_EQ(got[2 * i], f.right == -32768 ? -32767 : f.right) << i;
    ASSERT_EQ(got[2 * i + 1], f.left) << i;
  }
}

TEST_F(EffectsE2E, AnUnknownPresetRunsWithTheCurrentParameters) {
  const BatchRun r =
      run("--step 'Other Effects | Channel Mix (With Undo) [No Such Preset]' --step 'File | Save'");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const std::vector<int16_t> got = fileFrames();
  EXPECT_EQ(got[2 * 7 + 1], -32767) << "the default matrix only limits -32768";
  EXPECT_EQ(got[2 * 100], hummy(100).left);
}

}  // namespace
}  // namespace tolmar::test
