// Declicking through tolmar-batch: Find All Clicks finds one-frame clicks at known frames of a
// ten-second side (some at block, chunk and stretch seams), the click file holds exactly
// them, and Remove All Clicks followed by Save repairs those frames and leaves every other
// sample of the file as it was.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "declick/click_file.h"
#include "support/run_batch.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

struct Click {
  int32_t frame;
  int channel;  // 0 left, 1 right
};

// Two tones a little apart in each channel, with a faint deterministic hiss.
int16_t cleanSample(int32_t frame, int channel) {
  const double t = frame / 44100.0;
  const double tone = 5000 * std::sin(2 * M_PI * 220 * t + channel) +
                      2000 * std::sin(2 * M_PI * 330 * t + 2 * channel);
  const uint32_t h = (static_cast<uint32_t>(frame) * 2654435761u) ^ (channel ? 0x9e37u : 0u);
  return static_cast<int16_t>(std::lround(tone) + static_cast<int>(h >> 29) - 4);
}

int16_t sampleAt(const std::vector<uint8_t>& wav, int32_t frame, int channel) {
  const size_t at = 44 + 4 * static_cast<size_t>(frame) + 2 * static_cast<size_t>(channel);
  return static_cast<int16_t>(wav[at] | (wav[at + 1] << 8));
}

TEST(DeclickE2E, FindAllClicksThenRemoveAllClicksAndSave) {
  TempDir dir;
  const fs::path config = dir.path() / "config";
  fs::create_directories(config);
  std::ofstream(config / "VESKOR.INI") << "";
  const std::string wav = dir.file("side.wav");
  const int32_t frames = 441000;
  // 8999: the last frame of the first block; 11025: the first frame of the second progress
  // chunk; 71957 and 71962: either side of the seam of the eighth and ninth blocks; 287790
  // and 287842: either side of the seam of the 32nd and 33rd blocks, where the first stretch
  // of blocks read together ends; one click in both channels.
  const std::vector<Click> clicks = {{5000, 0},   {8999, 0},   {11025, 1},  {71957, 0},
                                     {71962, 1},  {100000, 0}, {200000, 0}, {200000, 1},
                                     {287790, 0}, {287842, 1}, {300007, 1}, {439000, 0}};
  const auto isClick = [&](int32_t f, int ch) {
    for (const Click& c : clicks)
      if (c.frame == f && c.channel == ch) return true;
    return false;
  };
  WavBuilder()
      .frames(frames,
              [&](int32_t f) {
                int16_t v[2];
                for (int ch = 0; ch < 2; ++ch)
                  v[ch] = static_cast<int16_t>(cleanSample(f, ch) + (isClick(f, ch) ? 15000 : 0));
                return Frame{v[0], v[1]};
              })
      .write(wav);
  const std::vector<uint8_t> before = readFileBytes(wav);

  const BatchRun r = runBatch("--config-dir '" + config.string() +
                              "' --step 'Declicking | Find All Clicks'"
                              " --step 'Declicking | Save Clicks in File...'"
                              " --step 'Declicking | Remove All Clicks'"
                              " --step 'File | Save' '" +
                              wav + "'");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("      12 potential clicks found\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("      12 Clicks Removed\n"), std::string::npos) << r.out;

  // The click file: the twelve clicks in scan order (by frame, left before right), upwards.
  std::vector<std::tuple<int32_t, int, int>> want, got;
  for (const Click& c : clicks) want.emplace_back(c.frame, 1, c.channel);
  const std::vector<uint8_t> clk = readFileBytes(dir.path() / "side.clk");
  const ClickFileContents lists = parseClickFile(clk.data(), clk.size());
  for (const Glitch& g : lists.stored.items) got.emplace_back(g.position, g.polarity, g.channel);
  EXPECT_EQ(got, want);
  EXPECT_TRUE(lists.falseClicks.empty());

  // The saved file: each click's repair range (frames p - 7 + 1 .. p + 7 - 1 of its channel)
  // follows the tones again; every other sample, and the header, is unchanged.
  const std::vector<uint8_t> after = readFileBytes(wav);
  ASSERT_EQ(after.size(), before.size());
  EXPECT_TRUE(std::equal(after.begin(), after.begin() + 44, before.begin()));
  const auto repaired = [&](int32_t f, int ch) {
    for (const Click& c : clicks)
      if (c.channel == ch && f > c.frame - 7 && f < c.frame + 7) return true;
    return false;
  };
  int changedOutside = 0;
  for (int32_t f = 0; f < frames; ++f)
    for (int ch = 0; ch < 2; ++ch)
      if (!repaired(f, ch) && sampleAt(after, f, ch) != sampleAt(before, f, ch)) ++changedOutside;
  EXPECT_EQ(changedOutside, 0);
  for (const Click& c : clicks) {
    EXPECT_EQ(sampleAt(before, c.frame, c.channel) - cleanSample(c.frame, c.channel), 15000);
    EXPECT_LT(std::abs(sampleAt(after, c.frame, c.channel) - cleanSample(c.frame, c.channel)), 1500)
        << "click at " << c.frame << " channel " << c.channel;
  }
}

}  // namespace
}  // namespace tolmar::test
