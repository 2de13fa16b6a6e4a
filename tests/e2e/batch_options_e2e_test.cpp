// The options of tolmar-batch that scripts rely on: --select between steps, --copy-to, --set,
// --list-presets and --version, and the "Wrote" lines of the log.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "support/run_batch.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

int16_t sampleAt(const std::vector<uint8_t>& wav, int32_t frame, int channel) {
  const size_t at = 44 + 4 * static_cast<size_t>(frame) + 2 * static_cast<size_t>(channel);
  return static_cast<int16_t>(wav[at] | (wav[at + 1] << 8));
}

double rms(const std::vector<uint8_t>& wav, int32_t first, int32_t last) {
  double sum = 0;
  for (int32_t f = first; f <= last; ++f)
    for (int ch = 0; ch < 2; ++ch) sum += std::pow(sampleAt(wav, f, ch), 2);
  return std::sqrt(sum / (2.0 * (last - first + 1)));
}

// Hiss throughout; a tone from 3 s on. A click at 1.5 s.
void writeSide(const std::string& path, int32_t frames = 44100 * 6) {
  std::mt19937 rng(7);
  std::normal_distribution<double> hiss(0, 300);
  WavBuilder()
      .frames(frames,
              [&](int32_t f) {
                const double tone =
                    f >= 44100 * 3 ? 6000 * std::sin(2 * M_PI * 440 * f / 44100.0) : 0;
                const int click = f == 66150 ? 20000 : 0;
                return Frame{static_cast<int16_t>(std::lround(tone + hiss(rng)) + click),
                             static_cast<int16_t>(std::lround(tone + hiss(rng)))};
              })
      .write(path);
}

struct BatchOptionsE2E : ::testing::Test {
  TempDir dir;
  fs::path config = dir.path() / "config";
  std::string wav = dir.file("side.wav");

  BatchOptionsE2E() {
    fs::create_directories(config);
    std::ofstream(config / "VESKOR.INI") << "[Declick]\nrelamp=2000\n";
    writeSide(wav);
  }
  BatchRun run(const std::string& args) {
    return runBatch("--config-dir '" + config.string() + "' " + args + " '" + wav + "'");
  }
};

TEST_F(BatchOptionsE2E, FingerprintFromTheLeadInLowersItsHiss) {
  const std::vector<uint8_t> before = readFileBytes(wav);
  const BatchRun r =
      run("--select 0-3 --step 'Noise Reduction | Get Fingerprint' --select all"
          " --step 'Noise Reduction | Reduce Noise (With Undo)' --step 'File | Save'");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("    --select 0-3\n    Noise Reduction | Get Fingerprint\n"
                       "    --select all\n    Noise Reduction | Reduce Noise (With Undo)\n"),
            std::string::npos)
      << r.out;
  const std::vector<uint8_t> after = readFileBytes(wav);
  ASSERT_EQ(after.size(), before.size());
  const double hissBefore = rms(before, 8192, 44100 * 3 - 8192);
  const double hissAfter = rms(after, 8192, 44100 * 3 - 8192);
  EXPECT_LT(hissAfter, hissBefore / 2) << hissBefore << " -> " << hissAfter;
  // The tone stays.
  EXPECT_GT(rms(after, 44100 * 4, 44100 * 5), 3500);
}

TEST_F(BatchOptionsE2E, SelectionPastTheEndFailsTheFileAndWritesNothing) {
  const std::string before = slurp(wav);
  const BatchRun r =
      run("--continue-on-error --select 5-7 --step 'Declicking | Find All Clicks'"
          " --step 'Declicking | Save Clicks in File...'");
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("    --select 5-7\n      Cannot select 5-7: the file runs from 00:00.000 "
                       "to 00:06.000\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("Find All Clicks"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(dir.file("side.clk")));
  EXPECT_EQ(slurp(wav), before);

  // A range inside the file selects it: the click at 1.5 s is in 1-2, not in 2-6 (the end may
  // be the file's length).
  BatchRun inside = run("--select 1-2 --step 'Declicking | Find All Clicks'");
  EXPECT_NE(inside.out.find("      1 potential clicks found"), std::string::npos) << inside.out;
  inside = run("--select 2-6 --step 'Declicking | Find All Clicks'");
  EXPECT_NE(inside.out.find("      0 potential clicks found"), std::string::npos) << inside.out;
  // Not a range at all: refused before anything runs.
  EXPECT_EQ(run("--select 3 --step 'Declicking | Find All Clicks'").status, 2);
  EXPECT_EQ(run("--select 1-x --step 'Declicking | Find All Clicks'").status, 2);
}

TEST_F(BatchOptionsE2E, CopyToProcessesACopyAndLeavesTheOriginalAsItWas) {
  const fs::path out = dir.path() / "out";
  fs::create_directories(out);
  std::ofstream(dir.file("side.mkr")) << "";
  const std::string before = slurp(wav);
  const std::string steps =
      "--step 'Declicking | Find All Clicks' --step 'Declicking | Remove All Clicks'"
      " --step 'Declicking | Save Clicks in File...' --step 'File | Save'";
  const BatchRun r = run("--copy-to '" + out.string() + "' " + steps);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(slurp(wav), before);
  EXPECT_FALSE(fs::exists(dir.file("side.clk")));
  const fs::path copy = out / "side.wav";
  EXPECT_NE(slurp(copy), before);
  EXPECT_EQ(slurp(copy).size(), before.size());
  EXPECT_TRUE(fs::exists(out / "side.mkr"));
  EXPECT_NE(r.out.find("      Wrote " + copy.string() + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("      Wrote " + (out / "side.clk").string() + "\n"), std::string::npos)
      << r.out;

  // The copy is there now: it is not overwritten, and nothing is done to that file.
  const std::string processed = slurp(copy);
  const BatchRun again = run("--copy-to '" + out.string() + "' " + steps);
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.out.find("a file of that name exists already, and it is not overwritten"),
            std::string::npos)
      << again.out;
  EXPECT_EQ(again.out.find("Find All Clicks"), std::string::npos) << again.out;
  EXPECT_EQ(slurp(copy), processed);
  EXPECT_EQ(slurp(wav), before);
}

TEST_F(BatchOptionsE2E, SetChangesOneRunAndNotTheNextNorTheFile) {
  const std::string ini = slurp(config / "VESKOR.INI");
  const std::string find = "--step 'Declicking | Find All Clicks'";
  // So sensitive that the hiss counts: far more than the one real click.
  const BatchRun sensitive = run("--set Declick.relamp=200 " + find);
  std::smatch found;
  ASSERT_TRUE(
      std::regex_search(sensitive.out, found, std::regex("      (\\d+) potential clicks found")))
      << sensitive.out;
  EXPECT_GT(std::stol(found[1]), 100) << sensitive.out;
  const BatchRun usual = run(find);
  EXPECT_NE(usual.out.find("      1 potential clicks found"), std::string::npos) << usual.out;
  EXPECT_EQ(slurp(config / "VESKOR.INI"), ini);

  // Checked like the file's values: unknown keys and values of the wrong type are refused.
  for (const char* bad : {"Declick.nosuchkey=1", "Declick.relamp=loud", "Options.openselect=2",
                          "relamp=300", "Noise.factor=x"}) {
    const BatchRun r = run(std::string("--set ") + bad + " " + find);
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_NE(r.err.find(bad), std::string::npos) << r.err;
  }
}

TEST(BatchOptions, VersionAndPresetListing) {
  const BatchRun version = runBatch("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(version.out.starts_with("tolmar-batch ")) << version.out;

  TempDir dir;
  std::ofstream(dir.path() / "VESKOR.INI") << "";
  const BatchRun presets = runBatch("--config-dir '" + dir.path().string() + "' --list-presets");
  EXPECT_EQ(presets.status, 0) << presets.err;
  for (const char* heading :
       {"Declick presets", "Equaliser presets", "Filter presets", "Channel mix presets"})
    EXPECT_NE(presets.out.find(heading), std::string::npos) << heading << "\n" << presets.out;
  EXPECT_NE(presets.out.find("click width "), std::string::npos) << presets.out;
}

}  // namespace
}  // namespace tolmar::test
