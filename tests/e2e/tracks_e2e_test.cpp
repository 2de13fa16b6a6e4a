// A side with three silent gaps, cut into tracks by tolmar-batch: Find Tracks places the cues,
// Write Cue Sheet records them, Split Tracks writes one file per track.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/run_batch.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kFrames = 4000000;

// A loud square wave (different in each channel) with three silent gaps of about 3 s.
Frame side(int32_t i) {
  for (int32_t g : {900000, 1935000, 2970000})
    if (i >= g && i < g + 135000) return {};
  const int16_t v = static_cast<int16_t>((i / 50) % 2 ? 8000 : -8000);
  return {v, static_cast<int16_t>(i % 7000 - 3500 + v / 2)};
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(TracksE2E, FindWriteSheetAndSplitASideWithThreeGaps) {
  TempDir dir;
  const fs::path config = dir.path() / "config";  // no VESKOR.INI: the default settings
  fs::create_directories(config);
  const std::string wav = dir.file("side.wav");
  WavBuilder().frames(kFrames, side).write(wav);

  const BatchRun r = runBatch("--config-dir '" + config.string() +
                              "' --step 'Cue Points | Find Tracks'"
                              " --step 'Cue Points | Write Cue Sheet...'"
                              " --step 'Cue Points | Split Tracks...' '" +
                              wav + "'");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("3 possible track boundaries detected"), std::string::npos) << r.out;

  // Each gap's end less 100 frames, less the 200 ms margin, down to a CD frame.
  EXPECT_EQ(slurp(dir.file("side.cue")),
            "REM Cue Sheet written by Tolmar\n"
            "FILE \"" +
                wav +
                "\" WAVE\n"
                "  TRACK 01 AUDIO\n"
                "    INDEX 01 00:00:00\n"
                "  TRACK 02 AUDIO\n"
                "    INDEX 01 00:23:20\n"
                "  TRACK 03 AUDIO\n"
                "    INDEX 01 00:46:55\n"
                "  TRACK 04 AUDIO\n"
                "    INDEX 01 01:10:15\n");

  const int32_t starts[] = {0, 1745 * 588, 3505 * 588, 5265 * 588, kFrames};
  const std::vector<uint8_t> source = WavBuilder().frames(kFrames, side).bytes();
  for (int t = 0; t < 4; ++t) {
    const std::string name = dir.file("side 0" + std::to_string(t + 1) + ".wav");
    ASSERT_TRUE(fs::exists(name)) << name;
    const std::string bytes = slurp(name);
    // The same 44-byte header a WAV of that length gets, then exactly the track's frames.
    const std::vector<uint8_t> want =
        WavBuilder()
            .frames(starts[t + 1] - starts[t], [&](int32_t i) { return side(starts[t] + i); })
            .bytes();
    ASSERT_EQ(bytes.size(), want.size()) << name;
    EXPECT_TRUE(std::equal(want.begin(), want.end(), bytes.begin(), [](uint8_t a, char b) {
      return a == static_cast<uint8_t>(b);
    })) << name;
  }
  EXPECT_FALSE(fs::exists(dir.file("side 05.wav")));
  // The side itself is untouched.
  EXPECT_EQ(slurp(wav), std::string(source.begin(), source.end()));
}

// Track titles from a cue sheet, named by title only: two tracks called "Reprise" would land
// in one file, so nothing is written; a line of the sheet that cannot be read is named.
TEST(TracksE2E, ClashingTrackNamesAreRefusedAndUnreadableSheetLinesNamed) {
  TempDir dir;
  const fs::path config = dir.path() / "config";
  fs::create_directories(config);
  std::ofstream(config / "VESKOR.INI")
      << "[Options]\nsplitstub=0\nsplittrackno=0\nsplitcdtexttype=2\n";
  const std::string wav = dir.file("side.wav");
  WavBuilder().staircase(44100 * 10).write(wav);
  std::ofstream(dir.file("side.cue")) << "FILE \"" << wav << "\" WAVE\n"
                                      << "  TRACK 01 AUDIO\n    TITLE \"Reprise\"\n"
                                      << "    INDEX 01 00:00:00\n"
                                      << "  TRACK 02 AUDIO\n    TITLE \"Song\"\n"
                                      << "    INDEX 01 00:03:00\n"
                                      << "  TRACK 03 AUDIO\n    TITLE \"Reprise\"\n"
                                      << "    INDEX 01 00:06:00\n"
                                      << "    INDEX 02 99:99:99\n";
  const BatchRun r = runBatch("--config-dir '" + config.string() +
                              "' --step 'Cue Points | Read Cue Sheet...'"
                              " --step 'Cue Points | Split Tracks...' '" +
                              wav + "'");
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  // A line break inside a message continues the log line's indent.
  EXPECT_NE(r.out.find("      Lines of the cue sheet that could not be read were left out:\n"
                       "      Line 11: INDEX 02 99:99:99\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("      Tracks 01 and 03 would both be written to \"" +
                       dir.file("Reprise.wav") + "\". Change the track naming"),
            std::string::npos)
      << r.out;
  EXPECT_FALSE(fs::exists(dir.file("Reprise.wav")));
  EXPECT_FALSE(fs::exists(dir.file("Song.wav")));
}

}  // namespace
}  // namespace tolmar::test
