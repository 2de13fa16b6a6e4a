// A side with hiss and crackle restored through tolmar-batch: a fingerprint of the lead-in,
// then Reduce Noise, Decrackle and Save leave a quieter noise floor and the music in place.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/run_batch.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kRate = 44100;
constexpr int32_t kLeadIn = 2 * kRate;  // groove noise only
constexpr int32_t kFrames = 8 * kRate;

int16_t tone(int32_t f) {
  if (f < kLeadIn) return 0;
  return static_cast<int16_t>(6000 * std::sin(2 * M_PI * 440.0 * f / kRate));
}

std::vector<int16_t> leftChannel(const std::vector<uint8_t>& wav) {
  std::vector<int16_t> left;
  for (size_t i = 44; i + 3 < wav.size(); i += 4)
    left.push_back(static_cast<int16_t>(wav[i] | (wav[i + 1] << 8)));
  return left;
}

double rms(const std::vector<int16_t>& x, int32_t first, int32_t last, bool minusTone) {
  double sum = 0;
  for (int32_t f = first; f <= last; ++f) {
    const double d = x[static_cast<size_t>(f)] - (minusTone ? tone(f) : 0);
    sum += d * d;
  }
  return std::sqrt(sum / (last - first + 1));
}

TEST(RestorationE2E, FingerprintReduceNoiseDecrackleAndSaveLowerTheNoiseFloor) {
  TempDir dir;
  const fs::path config = dir.path() / "config";
  fs::create_directories(config);
  std::ofstream(config / "VESKOR.INI") << "[Noise]\nfftsize=2048\n";
  const std::string wav = dir.file("side.wav");
  uint32_t seed = 7;
  std::vector<Frame> side;
  for (int32_t f = 0; f < kFrames; ++f) {
    seed = seed * 1664525u + 1013904223u;
    int v = tone(f) + static_cast<int>(seed >> 23) - 256;  // hiss of about ±256
    // Crackle: short sharp ticks every 331 frames through the music.
    if (f > 3 * kRate && f < 6 * kRate && f % 331 == 0) v += (f % 662 ? 2500 : -2500);
    side.push_back(Frame{static_cast<int16_t>(v), static_cast<int16_t>(v)});
  }
  WavBuilder().frames(kFrames, [&](int32_t f) { return side[static_cast<size_t>(f)]; }).write(wav);
  const std::vector<int16_t> before = leftChannel(readFileBytes(wav));

  // The fingerprint comes from the lead-in groove, cut out as a file of its own.
  const fs::path leadDir = dir.path() / "lead-in";
  fs::create_directories(leadDir);
  WavBuilder()
      .frames(kLeadIn, [&](int32_t f) { return side[static_cast<size_t>(f)]; })
      .write(leadDir / "side.wav");
  const BatchRun fp = runBatch("--config-dir '" + config.string() +
                               "' --step 'Noise Reduction | Get Fingerprint'"
                               " --step 'Noise Reduction | Save Fingerprint in File...' '" +
                               (leadDir / "side.wav").string() + "'");
  ASSERT_EQ(fp.status, 0) << fp.out << fp.err;
  fs::copy_file(leadDir / "side.fpr", dir.path() / "side.fpr");

  const BatchRun r = runBatch("--config-dir '" + config.string() +
                              "' --step 'Noise Reduction | Load Fingerprint from File...'"
                              " --step 'Noise Reduction | Reduce Noise (With Undo)'"
                              " --step 'Noise Reduction | Decrackle (With Undo)'"
                              " --step 'File | Save' '" +
                              wav + "'");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find("Macro error"), std::string::npos) << r.out;
  const std::vector<int16_t> after = leftChannel(readFileBytes(wav));
  ASSERT_EQ(after.size(), before.size());

  // Measured away from the edges of the lead-in, where blocks straddle the music.
  const double floorBefore = rms(before, 4096, kLeadIn - 4096, false);
  const double floorAfter = rms(after, 4096, kLeadIn - 4096, false);
  EXPECT_LT(floorAfter, floorBefore / 2) << "noise floor " << floorBefore << " -> " << floorAfter;

  // The music keeps its level, and what differs from the clean tone shrinks in the crackle.
  const double musicBefore = rms(before, 6 * kRate + 4096, kFrames - 4096, false);
  const double musicAfter = rms(after, 6 * kRate + 4096, kFrames - 4096, false);
  EXPECT_NEAR(musicAfter / musicBefore, 1.0, 0.1);
  const double crackleBefore = rms(before, 3 * kRate + 4096, 6 * kRate - 4096, true);
  const double crackleAfter = rms(after, 3 * kRate + 4096, 6 * kRate - 4096, true);
  EXPECT_LT(crackleAfter, crackleBefore / 2)
      << "residual in the crackle " << crackleBefore << " -> " << crackleAfter;
}

}  // namespace
}  // namespace tolmar::test
