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

struct Peak {
  double hz = -1;
  double db = 0;
};

// The first "<channel> peak:" line; hz is -1 when there is none.
Peak firstPeak(const std::string& log, const std::string& channel) {
  std::smatch m;
  const std::regex line("      " + channel + " peak: ([0-9.]+) Hz, (-?[0-9.]+) dB");
  if (!std::regex_search(log, m, line)) return {};
  return {std::stod(m[1]), std::stod(m[2])};
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
  const Peak left = firstPeak(r.out, "Left"), right = firstPeak(r.out, "Right");
  EXPECT_NEAR(left.hz, 1000, 11) << r.out;
  EXPECT_NEAR(right.hz, 3000, 11) << r.out;
  // The left tone is 6 dB above the right one.
  EXPECT_NEAR(left.db - right.db, 6.0, 1.0) << r.out;
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
