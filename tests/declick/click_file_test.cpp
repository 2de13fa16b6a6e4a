#include "declick/click_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <tuple>
#include <vector>

#include "document/binary_file.h"
#include "support/click_tuples.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

// Little-endian bytes, written out by hand.
struct Bytes {
  std::vector<uint8_t> v;
  Bytes& i32(int32_t x) {
    for (int i = 0; i < 4; ++i)
      v.push_back(static_cast<uint8_t>(static_cast<uint32_t>(x) >> (8 * i)));
    return *this;
  }
  Bytes& rec(int32_t pos, uint8_t polarity, uint8_t channel) {
    i32(pos);
    v.push_back(polarity);
    v.push_back(channel);
    return *this;
  }
};

ClickFileContents parse(const Bytes& b) {
  return parseClickFile(b.v.data(), b.v.size());
}

TEST(ClickFile, LayoutIsCountsAndPackedSixByteRecords) {
  GlitchList stored, falseClicks;
  stored.Add(0x01020304, 1, 0);
  stored.Add(-2, 0, 1);
  falseClicks.Add(700, 1, 1);
  const std::vector<uint8_t> image = clickFileImage(&stored, falseClicks);
  const std::vector<uint8_t> expected = {2,    0,    0,    0,            // n
                                         4,    3,    2,    1,    1, 0,   // 0x01020304, up, left
                                         0xFE, 0xFF, 0xFF, 0xFF, 0, 1,   // -2, down, right
                                         1,    0,    0,    0,            // m
                                         0xBC, 0x02, 0,    0,    1, 1};  // 700, up, right
  EXPECT_EQ(image, expected);
}

TEST(ClickFile, OnlyFalseClicksWriteAZeroCountFirst) {
  GlitchList falseClicks;
  falseClicks.Add(5, 0, 0);
  EXPECT_EQ(clickFileImage(nullptr, falseClicks),
            (std::vector<uint8_t>{0, 0, 0, 0, 1, 0, 0, 0, 5, 0, 0, 0, 0, 0}));
  const GlitchList empty;
  EXPECT_EQ(clickFileImage(&empty, falseClicks), clickFileImage(nullptr, falseClicks));
}

TEST(ClickFile, RoundTripKeepsBothListsButDropsARepeatedRecord) {
  // A list can hold a repeat that is not adjacent to its twin when written...
  GlitchList stored, falseClicks;
  stored.items = {{10, 1, 0}, {10, 1, 1}, {10, 1, 1}, {25, 0, 0}, {10, 1, 0}};
  falseClicks.items = {{3, 0, 1}, {3, 0, 1}};
  const auto image = clickFileImage(&stored, falseClicks);
  const ClickFileContents back = parseClickFile(image.data(), image.size());
  // ...and reading adds through Add, which drops a record equal to the one before it.
  EXPECT_EQ(clicksOf(back.stored),
            (std::vector<Click>{{10, 1, 0}, {10, 1, 1}, {25, 0, 0}, {10, 1, 0}}));
  EXPECT_EQ(clicksOf(back.falseClicks), (std::vector<Click>{{3, 0, 1}}));
}

TEST(ClickFile, WrittenFileReadsBackThroughTheStream) {
  TempDir dir;
  const std::string path = dir.file("side.clk");
  GlitchList stored, falseClicks;
  for (int32_t i = 0; i < 1000; ++i) stored.Add(i * 441, static_cast<uint8_t>(i % 2), 0);
  falseClicks.Add(12, 1, 1);
  writeClickFile(path, &stored, falseClicks);
  EXPECT_EQ(readFileBytes(path).size(), 4 + 6 * 1000 + 4 + 6u);
  BinaryFile f(path, BinaryFile::Mode::Read);
  const ClickFileContents back = readClickFile(f);
  EXPECT_EQ(clicksOf(back.stored), clicksOf(stored));
  EXPECT_EQ(clicksOf(back.falseClicks), clicksOf(falseClicks));

  EXPECT_THROW(writeClickFile(dir.file("no/such/dir.clk"), &stored, falseClicks), FileError);
}

TEST(ClickFile, AFailedWriteLeavesThePreviousFileWhole) {
  TempDir dir;
  const std::string path = dir.file("side.clk");
  GlitchList stored, falseClicks;
  stored.Add(441, 1, 0);
  writeClickFile(path, &stored, falseClicks);
  const std::vector<uint8_t> before = readFileBytes(path);
  for (int32_t i = 1; i < 1000; ++i) stored.Add(i * 441, 0, 1);

  // A file-size limit makes the write fail part way, as a full disk would.
  {
    const FileSizeLimit limit(100);
    EXPECT_THROW(writeClickFile(path, &stored, falseClicks), FileError);
  }

  EXPECT_EQ(readFileBytes(path), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(ClickFile, SavingThroughALinkWritesTheFileItNames) {
  TempDir dir;
  const std::string real = dir.file("real.clk");
  const std::string link = dir.file("side.clk");
  writeFileBytes(real, {});
  std::filesystem::create_symlink(real, link);
  GlitchList stored, falseClicks;
  stored.Add(441, 1, 0);
  writeClickFile(link, &stored, falseClicks);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(readFileBytes(real), clickFileImage(&stored, falseClicks));
}

// ---- Files that do not hold what they say ----

TEST(ClickFile, CountsBeyondTheFileReadUpToItsEnd) {
  // n says a million: the two records there are read, and there is no false list.
  const auto r = parse(Bytes().i32(1000000).rec(1, 1, 0).rec(2, 0, 1));
  EXPECT_EQ(clicksOf(r.stored), (std::vector<Click>{{1, 1, 0}, {2, 0, 1}}));
  EXPECT_TRUE(r.falseClicks.empty());
  // m says a million: its one record is read.
  const auto s = parse(Bytes().i32(1).rec(1, 1, 0).i32(1000000).rec(9, 0, 0));
  EXPECT_EQ(clicksOf(s.stored), (std::vector<Click>{{1, 1, 0}}));
  EXPECT_EQ(clicksOf(s.falseClicks), (std::vector<Click>{{9, 0, 0}}));
  // The largest count there is, with nothing after it.
  EXPECT_TRUE(parse(Bytes().i32(2147483647)).stored.empty());
}

TEST(ClickFile, NegativeCountsReadRecordsToTheEndOfTheFile) {
  const auto r = parse(Bytes().i32(-1).rec(1, 1, 0).rec(2, 0, 1).i32(0));
  // The bytes that would have been m are the start of a partial record.
  EXPECT_EQ(clicksOf(r.stored), (std::vector<Click>{{1, 1, 0}, {2, 0, 1}}));
  EXPECT_TRUE(r.falseClicks.empty());
  const auto s = parse(Bytes().i32(0).i32(-2147483647 - 1).rec(4, 1, 1).rec(5, 1, 1));
  EXPECT_TRUE(s.stored.empty());
  EXPECT_EQ(clicksOf(s.falseClicks), (std::vector<Click>{{4, 1, 1}, {5, 1, 1}}));
}

TEST(ClickFile, TruncatedFilesKeepWhatWasReadSoFar) {
  const Bytes full = Bytes().i32(2).rec(100, 1, 0).rec(200, 0, 1).i32(1).rec(300, 1, 1);
  for (size_t cut = 0; cut <= full.v.size(); ++cut) {
    const auto r = parseClickFile(full.v.data(), cut);
    const size_t storedRead = cut < 10 ? 0 : cut < 16 ? 1 : 2;
    const size_t falseRead = cut < 26 ? 0 : 1;
    EXPECT_EQ(r.stored.size(), storedRead) << cut;
    EXPECT_EQ(r.falseClicks.size(), falseRead) << cut;
  }
  EXPECT_TRUE(parseClickFile(nullptr, 0).stored.empty());
}

TEST(ClickFile, RecordsForNeitherChannelAreSkipped) {
  // Channel bytes other than 0 and 1 would send a repair outside its frame.
  const auto r = parse(Bytes().i32(3).rec(1, 1, 0).rec(2, 1, 2).rec(3, 0, 255).i32(1).rec(4, 0, 7));
  EXPECT_EQ(clicksOf(r.stored), (std::vector<Click>{{1, 1, 0}}));
  EXPECT_TRUE(r.falseClicks.empty());
}

}  // namespace
}  // namespace tolmar::test
