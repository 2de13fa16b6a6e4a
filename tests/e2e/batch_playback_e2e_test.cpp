// tolmar-batch playing through the real sound backend, with ALSA's file plugin as the sound
// card: what each play step sent lands in the plugin's file, in order, and the steps after it
// run once it has ended.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/played_file.h"
#include "support/run_batch.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

// Interleaved frames first..last of a sample run.
std::vector<int16_t> span(const std::vector<int16_t>& s, int32_t first, int32_t last) {
  return {s.begin() + 2 * first, s.begin() + 2 * (last + 1)};
}

std::vector<int16_t> cat(std::vector<int16_t> a, const std::vector<int16_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const char kPlay[] = "--step 'Play/Record | Output (Play) Selection'";
const char kAmplify[] = "--step 'Other Effects | Amplify/Compress (With Undo)'";
const char kPreview[] = "--step 'Other Effects | Amplify/Compress Preview'";
const char kSave[] = "--step 'File | Save'";
// 0.1 s to 0.5 s at 44.1 kHz.
constexpr int32_t kFirst = 4410;
constexpr int32_t kLast = 22050;

struct BatchPlayback : ::testing::Test {
  TempDir dir;
  fs::path config = dir.path() / "config";
  std::string side = (dir.path() / "side.wav").string();
  std::string played = (dir.path() / "played.raw").string();
  std::string alsaConfig = (dir.path() / "alsa.conf").string();
  std::vector<int16_t> original;

  BatchPlayback() {
#ifndef TOLMAR_BATCH_PLAYS
    GTEST_SKIP() << "tolmar-batch was built without PortAudio";
#else
    fs::create_directories(config);
    writeAppendingAlsaConfig(alsaConfig, played);
    setenv("ALSA_CONFIG_PATH", alsaConfig.c_str(), 1);
    // No silent frame, and room for +6 dB without clipping.
    WavBuilder()
        .frames(44100,
                [](int32_t f) {
                  return Frame{static_cast<int16_t>(f % 10000 + 1),
                               static_cast<int16_t>(-(f % 7000) - 1)};
                })
        .write(side);
    original = pluginWavSamples(side);
#endif
  }

  BatchRun run(const std::string& plan) {
    return runBatch("--config-dir " + shellQuoted(config.string()) +
                        " --set Options.amplifyfactorl=6 --set Options.amplifyfactorr=6 --select " +
                        "0.1-0.5 " + plan + " " + shellQuoted(side),
                    60);
  }
  std::vector<int16_t> heard() const {
    return heardFrames(rawSamples(played));
  }
};

TEST_F(BatchPlayback, APlayStepPlaysToItsEndBeforeTheNextStepRuns) {
  const BatchRun r = run(std::string(kPlay) + " " + kAmplify + " " + kPlay + " " + kSave);
  EXPECT_EQ(lines(r.out), (std::vector<std::string>{
                              "Batch Execution Started, using steps from the command line",
                              "  File " + side,
                              "    --select 0.1-0.5",
                              "    Play/Record | Output (Play) Selection",
                              "    Other Effects | Amplify/Compress (With Undo)",
                              "    Play/Record | Output (Play) Selection",
                              "    File | Save",
                              "Batch Finished",
                          }));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "") << "the sound system's probing stays off the terminal";
  // The first pass is the selection as it was; the second, after the amplification, is the
  // selection as saved.
  const std::vector<int16_t> saved = pluginWavSamples(side);
  ASSERT_EQ(saved.size(), original.size());
  EXPECT_NE(span(saved, kFirst, kLast), span(original, kFirst, kLast));
  const std::vector<int16_t> got = heard();
  const std::vector<int16_t> want = cat(span(original, kFirst, kLast), span(saved, kFirst, kLast));
  ASSERT_EQ(got.size(), want.size());
  EXPECT_TRUE(got == want);
}

TEST_F(BatchPlayback, APreviewStepPlaysItsSelectionOnceWithoutADialog) {
  const BatchRun r = run(std::string(kPreview) + " " + kPlay);
  EXPECT_EQ(r.status, 0) << r.out;
  const std::vector<int16_t> got = heard();
  const std::vector<int16_t> plain = span(original, kFirst, kLast);
  ASSERT_EQ(got.size(), 2 * plain.size()) << "one processed pass, then the plain play";
  const std::vector<int16_t> first(got.begin(), got.begin() + static_cast<long>(plain.size()));
  const std::vector<int16_t> second(got.begin() + static_cast<long>(plain.size()), got.end());
  EXPECT_EQ(second, plain);
  // +6 dB: the processed pass is louder than the file, frame for frame inside the selection.
  size_t louder = 0;
  for (size_t i = 0; i < plain.size(); ++i)
    if (std::abs(first[i]) > std::abs(plain[i])) ++louder;
  EXPECT_GT(louder, plain.size() * 9 / 10);
  EXPECT_EQ(pluginWavSamples(side), original) << "a preview changes nothing";
}

TEST_F(BatchPlayback, AFailingDeviceGivesItsMessageAndNothingElseChanges) {
  // A device number the sound system does not have: the run stops for that file.
  const BatchRun bad =
      run("--set Options.playdevno=999 " + std::string(kPlay) + " " + kAmplify + " " + kSave);
  EXPECT_EQ(lines(bad.out), (std::vector<std::string>{
                                "Batch Execution Started, using steps from the command line",
                                "  File " + side,
                                "    --select 0.1-0.5",
                                "    Play/Record | Output (Play) Selection",
                                "      Failed to open a suitable output device (Bad device ID)",
                                "Batch Finished",
                            }));
  EXPECT_EQ(bad.status, 1);
  EXPECT_TRUE(heard().empty());
  EXPECT_EQ(pluginWavSamples(side), original);

  // A machine whose only sound device names a card that is not there: the default device
  // is missing; going on after errors, the next steps still run.
  const std::string noCard = (dir.path() / "no-card.conf").string();
  std::ofstream(noCard) << "pcm.!default { type hw card 7 }\n";
  setenv("ALSA_CONFIG_PATH", noCard.c_str(), 1);
  const BatchRun none =
      run("--continue-on-error " + std::string(kPlay) + " " + kAmplify + " " + kSave);
  EXPECT_EQ(lines(none.out), (std::vector<std::string>{
                                 "Batch Execution Started, using steps from the command line",
                                 "  File " + side,
                                 "    --select 0.1-0.5",
                                 "    Play/Record | Output (Play) Selection",
                                 "      Failed to open a suitable output device (No device "
                                 "driver present)",
                                 "    Other Effects | Amplify/Compress (With Undo)",
                                 "    File | Save",
                                 "Batch Finished",
                             }));
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err, "");
  EXPECT_NE(pluginWavSamples(side), original);
}

}  // namespace
}  // namespace tolmar::test
