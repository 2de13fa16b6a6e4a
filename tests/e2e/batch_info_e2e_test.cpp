#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/run_batch.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

TEST(BatchInfo, PrintsTitleLinesAndHeaderSummariesAndFailsOnBadFiles) {
  TempDir dir;
  const std::string good = dir.file("good.wav");
  const std::string bad = dir.file("mono.wav");
  WavBuilder().rate(48000).staircase(48000 * 2 + 24).write(good);
  WavBuilder().channels(1).rate(22050).staircase(10).write(bad);

  BatchRun ok = runBatch("--info '" + good + "'");
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.out, good + " (length 00:02.000; samplerate 48000)\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("good.qed")));  // --info leaves no cache

  BatchRun mixed = runBatch("--info '" + good + "' '" + bad + "'");
  EXPECT_NE(mixed.status, 0);
  EXPECT_NE(mixed.out.find(good + " (length"), std::string::npos);
  EXPECT_NE(mixed.out.find(bad + ": File is not a 44.1kHz or 48kHz 16bit stereo WAV file"),
            std::string::npos);
  EXPECT_NE(mixed.out.find("Channels (should be 2): 1"), std::string::npos);
  EXPECT_NE(mixed.out.find("Samples/sec (should be 44100 or 48000): 22050"), std::string::npos);
}

TEST(BatchInfo, OpensTheBundledDemoRecording) {
  BatchRun r = runBatch(std::string("--info ") + TOLMAR_DEMO_WAV);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("samplerate 44100"), std::string::npos);
}

TEST(BatchInfo, UsageErrorsExitWithStatusTwo) {
  EXPECT_EQ(runBatch("").status, 2);
  EXPECT_EQ(runBatch("--info").status, 2);
  EXPECT_EQ(runBatch("--bogus").status, 2);
  EXPECT_EQ(runBatch("--help").status, 0);
}

}  // namespace
}  // namespace tolmar::test
