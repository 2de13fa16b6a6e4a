// WAV files as other programs write them: an odd-sized chunk with its pad byte, a JUNK chunk
// before "fmt ", and the extensible format holding 16-bit stereo PCM. Each opens with its
// true length, and declicking and saving it changes the sample data and nothing else.

#include <gtest/gtest.h>

#include <cmath>
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

constexpr int32_t kFrames = 44100 * 2 + 1;  // last frame at 00:02.000

Frame clickyFrame(int32_t f) {
  const auto tone =
      static_cast<int16_t>(std::lround(4000 * std::sin(2 * M_PI * 330 * f / 44100.0)));
  const int16_t click = f == 30000 ? 15000 : 0;
  return Frame{static_cast<int16_t>(tone + click), tone};
}

struct Variant {
  const char* name;
  WavBuilder wav;
};

// The bytes of a literal that holds zeros.
template <size_t N>
std::vector<uint8_t> body(const char (&text)[N]) {
  return std::vector<uint8_t>(text, text + N - 1);
}

std::vector<Variant> variants() {
  return {
      {"odd_chunk", WavBuilder().chunk("LIST", body("INFOINAM\x05\0\0\0side\0")).padOddChunks()},
      {"junk_first", WavBuilder().chunkBeforeFmt("JUNK", std::vector<uint8_t>(28, 0))},
      {"extensible", WavBuilder()
                         .formatTag(0xFFFE)
                         .fmtExtension(extensibleFmtExtension())
                         .chunk("LIST", body("INFOISFT\x07\0\0\0Tolmar\0"))
                         .padOddChunks()},
  };
}

TEST(WavVariantsE2E, OpenWithTheirLengthAndSaveWithoutLosingTheirChunks) {
  TempDir dir;
  const fs::path config = dir.path() / "config";
  fs::create_directories(config);
  std::ofstream(config / "VESKOR.INI") << "";
  for (Variant& v : variants()) {
    SCOPED_TRACE(v.name);
    const std::string path = dir.file(std::string(v.name) + ".wav");
    v.wav.frames(kFrames, clickyFrame).write(path);
    const std::vector<uint8_t> before = readFileBytes(path);
    const auto dataAt = static_cast<size_t>(v.wav.dataOffset());

    const BatchRun info = runBatch("--info '" + path + "'");
    EXPECT_EQ(info.status, 0) << info.out << info.err;
    EXPECT_EQ(info.out, path + " (length 00:02.000; samplerate 44100)\n");

    const BatchRun r = runBatch("--config-dir '" + config.string() +
                                "' --step 'Declicking | Find All Clicks'"
                                " --step 'Declicking | Remove All Clicks' --step 'File | Save' '" +
                                path + "'");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("      1 Clicks Removed\n"), std::string::npos) << r.out;

    const std::vector<uint8_t> after = readFileBytes(path);
    ASSERT_EQ(after.size(), before.size());
    // Every header byte and chunk stays; only the repaired frames near the click change.
    for (size_t i = 0; i < after.size(); ++i) {
      const bool repairable = i >= dataAt + 4 * (30000 - 20) && i < dataAt + 4 * (30000 + 20);
      if (repairable) continue;
      ASSERT_EQ(after[i], before[i]) << "byte " << i;
    }
    EXPECT_NE(after, before);
  }
}

}  // namespace
}  // namespace tolmar::test
