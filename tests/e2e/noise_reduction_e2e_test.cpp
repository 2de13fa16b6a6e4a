// Noise reduction through tolmar-batch: the menu paths reach the commands, the [Noise] fftsize
// of VESKOR.INI becomes the transform length at start-up, and the file on disk changes.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/run_batch.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

TEST(NoiseReductionE2E, FingerprintSaveAndDirectOverwriteInABatch) {
  TempDir dir;
  const fs::path config = dir.path() / "config";
  fs::create_directories(config);
  std::ofstream(config / "VESKOR.INI") << "[Noise]\nfftsize=2048\n";
  const std::string wav = dir.file("side.wav");
  // A tone over a little deterministic hiss.
  uint32_t noise = 1;
  WavBuilder()
      .frames(20000,
              [&](int32_t f) {
                noise = noise * 1664525u + 1013904223u;
                const int hiss = static_cast<int>(noise >> 26) - 32;
                const auto v = static_cast<int16_t>(3000 * std::sin(f * 0.05) + hiss);
                return Frame{v, static_cast<int16_t>(-v)};
              })
      .write(wav);
  const std::vector<uint8_t> before = readFileBytes(wav);
  const BatchRun r = runBatch("--config-dir '" + config.string() +
                              "' --step 'Noise Reduction | Get Fingerprint'"
                              " --step 'Noise Reduction | Save Fingerprint in File...'"
                              " --step 'Noise Reduction | Reduce Noise (Direct Overwrite)' '" +
                              wav + "'");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const fs::path fpr = dir.path() / "side.fpr";
  ASSERT_TRUE(fs::exists(fpr)) << r.out;
  EXPECT_EQ(fs::file_size(fpr), 16u * 2048 + 4) << "fftsize from VESKOR.INI";
  const std::vector<uint8_t> after = readFileBytes(wav);
  ASSERT_EQ(after.size(), before.size());
  EXPECT_NE(after, before);
  EXPECT_TRUE(std::equal(after.begin(), after.begin() + 44, before.begin())) << "header kept";
}

}  // namespace
}  // namespace tolmar::test
