// Commands that only show something in the window write it to the batch log instead, and a step
// that cannot run says why.

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <string>

#include "support/run_batch.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

// Two seconds: 1 kHz at half scale on the left, 3 kHz at a quarter on the right.
void writeTones(const std::string& path) {
  WavBuilder()
      .frames(88200,
              [](int32_t f) {
                const double t = f / 44100.0;
                return Frame{
                    static_cast<int16_t>(std::lround(16384 * std::sin(2 * M_PI * 1000 * t))),
                    static_cast<int16_t>(std::lround(8192 * std::sin(2 * M_PI * 3000 * t)))};
              })
      .write(path);
}

// The frequency of the first "<channel> peak:" line, or -1.
double firstPeak(const std::string& log, const std::string& channel) {
  std::smatch m;
  const std::regex line("      " + channel + " peak: ([0-9.]+) Hz, (-?[0-9.]+) dB");
  if (!std::regex_search(log, m, line)) return -1;
  return std::stod(m[1]);
}

TEST(BatchAnalysis, StatisticsAndSpectrumPeaksGoToTheLog) {
  TempDir dir;
  const std::string wav = dir.file("tones.wav");
  writeTones(wav);
  const BatchRun r = runBatch(
      "--step 'Selection | Selection Statistics...' --step "
      "'Selection | Frequency Analysis...' '" +
      wav + "'");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("    Selection | Selection Statistics...\n      Display: "),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("      Peak: L=16384("), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("; R=8192("), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("      DC: L=0("), std::string::npos) << r.out;
  // 4096-point bins are 10.8 Hz wide.
  EXPECT_NEAR(firstPeak(r.out, "Left"), 1000, 11) << r.out;
  EXPECT_NEAR(firstPeak(r.out, "Right"), 3000, 11) << r.out;
  // The left tone is 6 dB above the right one.
  std::smatch l, rr;
  const std::string out = r.out;
  ASSERT_TRUE(std::regex_search(out, l, std::regex("Left peak: [0-9.]+ Hz, (-?[0-9.]+) dB")));
  ASSERT_TRUE(std::regex_search(out, rr, std::regex("Right peak: [0-9.]+ Hz, (-?[0-9.]+) dB")));
  EXPECT_NEAR(std::stod(l[1]) - std::stod(rr[1]), 6.0, 1.0) << r.out;
}

TEST(BatchAnalysis, AStepThatCannotRunSaysWhatItNeeds) {
  TempDir dir;
  const std::string wav = dir.file("tones.wav");
  writeTones(wav);
  const BatchRun r = runBatch(
      "--continue-on-error --step 'File | Save' --step "
      "'Noise Reduction | Reduce Noise (With Undo)' '" +
      wav + "'");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("      Macro error: operation \"File | Save\" not valid in this context: "
                       "needs unsaved edits\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("operation \"Noise Reduction | Reduce Noise (With Undo)\" not valid in "
                       "this context: needs a noise fingerprint\n"),
            std::string::npos)
      << r.out;
}

}  // namespace
}  // namespace tolmar::test
