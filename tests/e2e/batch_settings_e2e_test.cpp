// What the user set in VESKOR.INI reaches a batch run: the declick parameters of [Declick]
// decide what Find All Clicks finds, as they do in the window.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "support/run_batch.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

// A quiet tone with clicks of four heights: 600, 1500, 3000 and 15000 above it. The 1500 ones
// lie between the default threshold and the top of its range.
void writeClickySide(const std::string& path) {
  WavBuilder()
      .frames(88200,
              [](int32_t f) {
                const double tone = 3000 * std::sin(2 * M_PI * 220 * f / 44100.0);
                int extra = 0;
                if (f % 8000 == 1000) extra = 600;
                if (f % 8000 == 3000) extra = 3000;
                if (f % 8000 == 5000) extra = 15000;
                if (f % 8000 == 7000) extra = 1500;
                const auto v = static_cast<int16_t>(std::lround(tone) + extra);
                return Frame{v, v};
              })
      .write(path);
}

// The count of "N potential clicks found", or -1.
int clicksFound(const std::string& log) {
  std::smatch m;
  static const std::regex kFound("      (\\d+) potential clicks found");
  if (!std::regex_search(log, m, kFound)) return -1;
  return std::stoi(m[1]);
}

struct BatchSettingsE2E : ::testing::Test {
  TempDir dir;
  fs::path config = dir.path() / "config";
  std::string wav = dir.file("side.wav");

  BatchSettingsE2E() {
    fs::create_directories(config);
    writeClickySide(wav);
  }

  void writeIni(const std::string& text) { std::ofstream(config / "VESKOR.INI") << text; }

  BatchRun findClicks(const std::string& extra = "") {
    return runBatch("--config-dir '" + config.string() + "' " + extra +
                    " --step 'Declicking | Find All Clicks' '" + wav + "'");
  }
};

TEST_F(BatchSettingsE2E, DeclickSectionOfTheIniFileDecidesWhatFindAllClicksFinds) {
  writeIni("[Declick]\nrelamp=300\n");
  const BatchRun sensitive = findClicks();
  ASSERT_EQ(sensitive.status, 0) << sensitive.out << sensitive.err;
  writeIni("[Declick]\nrelamp=2500\n");
  const BatchRun deaf = findClicks();
  ASSERT_EQ(deaf.status, 0) << deaf.out << deaf.err;
  writeIni("");
  const BatchRun defaults = findClicks();

  const int many = clicksFound(sensitive.out), none = clicksFound(deaf.out),
            usual = clicksFound(defaults.out);
  ASSERT_GE(many, 0) << sensitive.out;
  // Eleven clicks of each height: the low threshold finds every one of them.
  EXPECT_GE(many, 33) << sensitive.out;
  EXPECT_LT(usual, many) << defaults.out;
  EXPECT_LT(none, usual) << deaf.out;
}

}  // namespace
}  // namespace tolmar::test
