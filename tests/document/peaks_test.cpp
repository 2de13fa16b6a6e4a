#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "document/peak_cache.h"
#include "support/doc_fixture.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

WavBuilder ramp(int32_t frames) {
  return WavBuilder().frames(frames, [](int32_t i) {
    return Frame{static_cast<int16_t>(i), static_cast<int16_t>(-2 * (i % 1000))};
  });
}

TEST(PeaksTest, BlockCountAndValuesFollowThe1000FrameGrid) {
  {
    DocFixture fx;
    WaveFile& doc = fx.open(ramp(999), true);
    ASSERT_EQ(doc.peakLeft.size(), 1u);
    EXPECT_EQ(doc.peakLeft[0], 998);
  }
  DocFixture fx;
  WaveFile& doc =
      fx.open(ramp(2500).trailing({0x7f, 0x7f, 0x7f, 0x7f, 0x7f, 0x7f, 0x7f, 0x7f}), true);
  ASSERT_EQ(doc.peakLeft.size(), 3u);
  EXPECT_EQ(doc.peakLeft[0], 999);
  EXPECT_EQ(doc.peakLeft[1], 1999);
  EXPECT_EQ(doc.peakLeft[2], 2499);  // trailing bytes after the data are not samples
  EXPECT_EQ(doc.peakRight[0], 1998);
  EXPECT_EQ(doc.peakRight[2], 998);
  DocFixture exact;
  EXPECT_EQ(exact.open(ramp(1000), true).peakLeft.size(), 2u);
}

TEST(PeaksTest, MinusFullScaleHasMagnitude32768) {
  DocFixture fx;
  WaveFile& doc = fx.open(WavBuilder().frames(10,
                                              [](int32_t) {
                                                return Frame{-32768, 32767};
                                              }),
                          true);
  EXPECT_EQ(doc.peakLeft[0], 32768);
  EXPECT_EQ(doc.peakRight[0], 32767);
}

TEST(PeaksTest, CacheIsReusedUntilTheWavIsNewerOrItsSizeIsWrong) {
  DocFixture fx;
  WaveFile& doc = fx.open(ramp(3000), true);
  const std::string cache = doc.peakCachePath();
  EXPECT_EQ(fs::path(cache).filename(), "side.qed");
  ASSERT_TRUE(fs::exists(cache));
  EXPECT_EQ(fs::file_size(cache), 4u + 4 * 4);
  EXPECT_EQ(fx.host.progressCaptions.size(), 1u);

  // Doctor the cache: a reopen that trusts it shows the doctored value.
  auto doctored = makePeakCache({1, 2, 3, 4}, {5, 6, 7, 8});
  std::ofstream(cache, std::ios::binary)
      .write(reinterpret_cast<const char*>(doctored.data()),
             static_cast<std::streamsize>(doctored.size()));
  fx.doc.reset();  // writes its own summary back
  std::ofstream(cache, std::ios::binary)
      .write(reinterpret_cast<const char*>(doctored.data()),
             static_cast<std::streamsize>(doctored.size()));
  fx.doc = std::make_unique<WaveFile>(fx.ctx);
  ASSERT_TRUE(fx.doc->Open(fx.wavPath, false, 0));
  fx.doc->BuildPeakSummary();
  EXPECT_EQ(fx.doc->peakLeft[2], 3);
  EXPECT_EQ(fx.host.progressCaptions.size(), 1u);  // no scan

  // A WAV newer than its cache is scanned again.
  fs::last_write_time(fx.wavPath, fs::last_write_time(cache) + std::chrono::seconds(5));
  fx.doc->BuildPeakSummary();
  EXPECT_EQ(fx.doc->peakLeft[2], 2999);
  EXPECT_EQ(fx.host.progressCaptions.back(), " Scanning:");

  // A cache for another length is ignored.
  auto wrongSize = makePeakCache({1, 2}, {3, 4});
  std::ofstream(cache, std::ios::binary)
      .write(reinterpret_cast<const char*>(wrongSize.data()),
             static_cast<std::streamsize>(wrongSize.size()));
  fs::last_write_time(cache, fs::last_write_time(fx.wavPath) + std::chrono::seconds(5));
  fx.doc->BuildPeakSummary();
  EXPECT_EQ(fx.doc->peakLeft.size(), 4u);
  EXPECT_EQ(fx.doc->peakLeft[2], 2999);

  fx.doc->DeletePeakCache();
  EXPECT_FALSE(fx.doc->hasPeaks());
  EXPECT_FALSE(fs::exists(cache));
}

TEST(PeaksTest, CancelledScanLeavesNoSummaryAndNoCache) {
  DocFixture fx;
  fx.host.cancelAtPump = 2;
  WaveFile& doc = fx.open(ramp(5000), true);
  EXPECT_FALSE(doc.hasPeaks());
  EXPECT_FALSE(fs::exists(doc.peakCachePath()));
  // Still usable.
  EXPECT_EQ(fx.read(4000, 4000)[0], 4000);
}

TEST(PeaksTest, ParserRefusesImagesOfTheWrongSize) {
  std::vector<uint16_t> l, r;
  auto good = makePeakCache({1, 2, 3}, {4, 5, 6});
  EXPECT_TRUE(parsePeakCache(good.data(), good.size(), 3, l, r));
  EXPECT_EQ(r[2], 6);
  EXPECT_FALSE(parsePeakCache(good.data(), good.size() - 1, 3, l, r));
  EXPECT_FALSE(parsePeakCache(good.data(), good.size(), 4, l, r));
  std::vector<uint8_t> huge = {0xff, 0xff, 0xff, 0xff};
  EXPECT_FALSE(parsePeakCache(huge.data(), huge.size(), 3, l, r));
}

TEST(PeaksTest, DirectWritesUpdateWholeBlocksAndQueueTheEdges) {
  DocFixture fx;
  WaveFile& doc = fx.open(ramp(5000), true);
  std::vector<int16_t> loud(2600 * 2, 0);
  for (size_t i = 0; i < loud.size(); i += 2) loud[i] = 12345;
  BinaryFile f;
  ASSERT_TRUE(f.open(fx.wavPath, BinaryFile::Mode::ReadWrite));
  ASSERT_TRUE(doc.WriteFramesDirect(f, 900, 3499, loud.data()));
  f.close();
  EXPECT_EQ(doc.peakLeft[1], 12345);
  EXPECT_EQ(doc.peakLeft[2], 12345);
  EXPECT_EQ(doc.peakRight[1], 0);
  EXPECT_EQ(doc.rescanQueue, (std::set<int32_t>{1, 4}));
  doc.ProcessRescanQueue();
  EXPECT_EQ(doc.peakLeft[0], 12345);
  EXPECT_EQ(doc.peakLeft[3], 12345);
  EXPECT_EQ(fx.read(3499, 3500)[0], 12345);  // the read stream sees the write
  EXPECT_EQ(fx.read(3499, 3500)[2], 3500);
}

TEST(PeaksTest, RescanSelectionCoversEveryBlockOfTheSelection) {
  DocFixture fx;
  WaveFile& doc = fx.open(ramp(5000), true);
  std::fill(doc.peakLeft.begin(), doc.peakLeft.end(), 0);
  doc.selStart = 1500;
  doc.selEnd = 1600;  // one block only: no division by zero in the progress
  doc.RescanSelection();
  EXPECT_EQ(doc.peakLeft[0], 0);
  EXPECT_EQ(doc.peakLeft[1], 1999);
  EXPECT_EQ(doc.peakLeft[2], 0);
}

TEST(PeaksTest, ClosingWithUnsavedEditsCachesTheFilesOwnPeaks) {
  DocFixture fx;
  WaveFile& doc = fx.open(ramp(3000), true);
  fx.block(1000, 1999, 0, [](int32_t) { return 30000; });
  doc.CommitEdit(1, "Amplify/Compress");
  EXPECT_EQ(doc.peakLeft[1], 30000);
  fx.doc.reset();
  fx.doc = std::make_unique<WaveFile>(fx.ctx);
  ASSERT_TRUE(fx.doc->Open(fx.wavPath, false, 0));
  fx.doc->BuildPeakSummary();
  EXPECT_EQ(
      std::count(fx.host.progressCaptions.begin(), fx.host.progressCaptions.end(), " Scanning:"),
      1);  // the cache served the reopen
  EXPECT_EQ(fx.doc->peakLeft[1], 1999);
}

}  // namespace
}  // namespace tolmar::test
