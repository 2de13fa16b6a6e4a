#include "document/range_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "document/wav_format.h"
#include "support/doc_fixture.h"
#include "support/file_size_limit.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The image the writer should make: the canonical header, then the given interleaved frames.
std::vector<uint8_t> expectedImage(const std::vector<int16_t>& frames, int rate) {
  const auto header = makeWavHeader(static_cast<uint32_t>(frames.size() * 2), rate);
  std::vector<uint8_t> out(header.begin(), header.end());
  for (int16_t v : frames) {
    out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) & 0xFF));
    out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
  }
  return out;
}

// Staircase frames first..last: left = i, right = -i.
std::vector<int16_t> staircase(int32_t first, int32_t last) {
  std::vector<int16_t> v;
  for (int32_t i = first; i <= last; ++i) {
    v.push_back(static_cast<int16_t>(i));
    v.push_back(static_cast<int16_t>(-i));
  }
  return v;
}

TEST(RangeWriter, ClipboardImageHoldsTheRangeWithTheOverlayAndSilence) {
  DocFixture fx;
  fx.open(WavBuilder().staircase(30000));
  // Two records on the left, the newer one wins where they overlap; one reaches past the range.
  fx.block(100, 200, 0, [](int32_t) { return 7; });
  fx.block(150, 25000, 0, [](int32_t f) { return f % 1000; });
  fx.block(50, 60, 1, [](int32_t) { return -9; });
  fx.doc->interps[1]->active = false;  // an undone record stays out of the copy

  ASSERT_TRUE(writeRange(*fx.doc, "", 40, 3, 20039));
  std::vector<int16_t> want = staircase(40, 20039);
  for (int32_t f = 100; f <= 200; ++f) want[2 * static_cast<size_t>(f - 40)] = 7;
  for (int32_t f = 50; f <= 60; ++f) want[2 * static_cast<size_t>(f - 40) + 1] = -9;
  want.insert(want.end(), 6, 0);
  ASSERT_TRUE(fx.host.hasClipWave);
  EXPECT_EQ(fx.host.clipWave, expectedImage(want, 44100));
  EXPECT_EQ(fx.host.progressCaptions,
            (std::vector<std::string>{" Copying to Clipboard:", " Updating:"}));
  EXPECT_EQ(fx.host.progressValues.back(), 100);
  EXPECT_TRUE(fx.host.messages.empty());
}

TEST(RangeWriter, FileMatchesTheClipboardImageAndUsesItsNameAsCaption) {
  DocFixture fx;
  fx.open(WavBuilder().rate(48000).staircase(500));
  fx.ctx.sampleRate = 48000;
  fx.block(10, 20, 1, [](int32_t f) { return 3 * f; });
  const std::string out = fx.dir.file("part.wav");
  ASSERT_TRUE(writeRange(*fx.doc, out, 5, 0, 30));
  std::vector<int16_t> want = staircase(5, 30);
  for (int32_t f = 10; f <= 20; ++f) want[2 * static_cast<size_t>(f - 5) + 1] = 3 * f;
  EXPECT_EQ(fileBytes(out), expectedImage(want, 48000));
  EXPECT_EQ(fx.host.progressCaptions, (std::vector<std::string>{" part.wav:", " Updating:"}));
  EXPECT_EQ(fx.doc->interps.size(), 1u);  // the document keeps its edit
  EXPECT_EQ(fx.read(15, 15, false), (std::vector<int16_t>{15, -15}));
}

TEST(RangeWriter, NamesWithForbiddenCharactersAreRefusedUntouched) {
  DocFixture fx;
  fx.open(WavBuilder().staircase(100));
  const std::string text =
      "Invalid Filename: \"a?b.wav\".\rA file name may not contain any of these characters:\r"
      "\\ / : * ? \" < > |";
  EXPECT_EQ(invalidFileNameText(fx.dir.file("a?b.wav")), text);
  for (const char* bad :
       {"a\\b.wav", "a:b.wav", "a*b.wav", "a\"b.wav", "a<b.wav", "a>b.wav", "a|b.wav", "a?b.wav"}) {
    const std::string path = fx.dir.file(bad);
    EXPECT_FALSE(validFileName(path)) << bad;
    EXPECT_FALSE(writeRange(*fx.doc, path, 0, 0, 9)) << bad;
    EXPECT_FALSE(fs::exists(path)) << bad;
  }
  EXPECT_TRUE(validFileName(fx.dir.file("plain name.wav")));
  ASSERT_EQ(fx.host.messages.size(), 8u);
  EXPECT_EQ(fx.host.messages.back().text, text);
  EXPECT_EQ(fx.host.messages.back().kind, MsgKind::Error);
}

TEST(RangeWriter, FailedOrCancelledFilesAreDeletedAndCancelledImagesNeverReachTheClipboard) {
  DocFixture fx;
  fx.open(WavBuilder().staircase(100000));
  const std::string missingDir = fx.dir.file("no/such/dir/x.wav");
  EXPECT_FALSE(writeRange(*fx.doc, missingDir, 0, 0, 9));
  ASSERT_EQ(fx.host.messages.size(), 1u);
  EXPECT_EQ(fx.host.messages[0].text, "Failed to write to " + missingDir);

  const std::string out = fx.dir.file("cancelled.wav");
  fx.host.cancelAtPump = 1;
  EXPECT_FALSE(writeRange(*fx.doc, out, 0, 0, 99999));
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(fx.host.messages.size(), 1u);  // Cancel is not an error

  fx.host.pumps = 0;
  fx.host.cancelAtPump = 1;
  EXPECT_FALSE(writeRange(*fx.doc, "", 0, 0, 99999));
  EXPECT_FALSE(fx.host.hasClipWave);
}

// The window stays alive while the range is written; an Undo pressed then must not pull the
// records from under the overlay being laid.
TEST(RangeWriter, UndoIsRefusedWhileTheRangeIsWritten) {
  DocFixture fx;
  fx.open(WavBuilder().staircase(1000));
  for (int32_t k = 0; k < 3; ++k) {
    fx.block(100 * k, 100 * k + 9, 0, [](int32_t) { return 1234; });
    fx.doc->CommitEdit(1, "Interpolate");
  }
  int undone = 0;
  fx.host.onPump = [&](int) { undone += fx.doc->Undo() ? 1 : 0; };
  const std::string out = fx.dir.file("during.wav");
  ASSERT_TRUE(writeRange(*fx.doc, out, 0, 0, 999));
  ASSERT_TRUE(writeRange(*fx.doc, "", 0, 0, 999));
  EXPECT_EQ(undone, 0);
  std::vector<int16_t> want = staircase(0, 999);
  for (int32_t k = 0; k < 3; ++k)
    for (int32_t f = 100 * k; f <= 100 * k + 9; ++f) want[2 * static_cast<size_t>(f)] = 1234;
  EXPECT_EQ(fileBytes(out), expectedImage(want, 44100));
  EXPECT_EQ(fx.host.clipWave, expectedImage(want, 44100));
  fx.host.onPump = nullptr;
  EXPECT_TRUE(fx.doc->Undo());  // and allowed again afterwards
}

// Only a file the writer made is deleted on failure: what stood under the name before and
// could not be opened for writing (a read-only file, a folder) stays as it was.
TEST(RangeWriter, WhatCouldNotBeOpenedIsNeverDeleted) {
  DocFixture fx;
  fx.open(WavBuilder().staircase(100));
  const std::string folder = fx.dir.file("taken.wav");
  fs::create_directory(folder);
  EXPECT_FALSE(writeRange(*fx.doc, folder, 0, 0, 9));
  EXPECT_TRUE(fs::is_directory(folder));

  const std::string locked = fx.dir.file("locked.wav");
  WavBuilder().staircase(5).write(locked);
  const auto before = fileBytes(locked);
  fs::permissions(locked, fs::perms::owner_read, fs::perm_options::replace);
  if (geteuid() != 0) {  // root may write any file
    EXPECT_FALSE(writeRange(*fx.doc, locked, 0, 0, 9));
    EXPECT_EQ(fileBytes(locked), before);
  }
  EXPECT_EQ(fx.host.messages.size(), geteuid() != 0 ? 2u : 1u);
}

// The file-size limit lets every buffered write succeed and fails the last flush, as a full
// disk can: the file is gone, so the user must be told, with and without the commit.
int scratchFiles(const fs::path& dir) {
  int n = 0;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().filename().string().find(".tmp-") != std::string::npos) ++n;
  return n;
}

// A write that fails keeps the file that had the name before, whole.
TEST(RangeWriter, AFailedWriteLeavesThePreviousFileUnderTheName) {
  DocFixture fx;
  fx.open(WavBuilder().staircase(100));
  const std::string out = fx.dir.file("track.wav");
  ASSERT_TRUE(writeRange(*fx.doc, out, 0, 0, 49));
  const std::vector<uint8_t> before = readFileBytes(out);
  {
    const FileSizeLimit limit(100);
    EXPECT_FALSE(writeRange(*fx.doc, out, 0, 0, 99));
  }
  EXPECT_EQ(readFileBytes(out), before);
  EXPECT_EQ(scratchFiles(fx.dir.path()), 0);
  ASSERT_TRUE(writeRange(*fx.doc, out, 0, 0, 99));
  EXPECT_EQ(fs::file_size(out), 444u);
}

TEST(RangeWriter, AFileThatFailsAtTheFinalFlushIsReported) {
  DocFixture fx;
  fx.open(WavBuilder().staircase(100));
  const std::string out = fx.dir.file("short.wav");
  bool committed = true;
  bool flushed = true;
  {
    const FileSizeLimit limit(60);
    committed = writeRange(*fx.doc, out, 0, 0, 9);
    UncommittedFile written;
    flushed = writeRange(*fx.doc, out, 0, 0, 9, &written);
  }
  EXPECT_FALSE(committed);
  EXPECT_FALSE(flushed);
  EXPECT_FALSE(fs::exists(out));
  // No scratch file is left behind either.
  EXPECT_EQ(scratchFiles(fx.dir.path()), 0);
  EXPECT_EQ(fx.host.texts(), std::vector<std::string>(2, "Failed to write to " + out));
}

// Frames the document holds but that can no longer be read (the file cut short under the
// program, a failing disk) must fail the write, not come out as silence.
TEST(RangeWriter, ADocumentThatRunsShortFailsTheWrite) {
  DocFixture fx;
  const int32_t frames = 1'200'000;
  fx.open(WavBuilder().staircase(frames));
  const std::string out = fx.dir.file("short.wav");
  // First the calling thread's share runs short (600000 frames go by it alone), then only the
  // second thread's (the whole file is split at frame 524288).
  for (int64_t kept : {100'000, 524'288}) {
    WavBuilder().staircase(frames).write(fx.wavPath);
    fs::resize_file(fx.wavPath, 44 + 4 * kept);
    fx.doc->invalidateReadStream();
    fx.host.messages.clear();
    EXPECT_FALSE(writeRange(*fx.doc, out, 0, 0, kept == 100'000 ? 599'999 : frames - 1)) << kept;
    EXPECT_FALSE(fs::exists(out)) << kept;
    EXPECT_EQ(fx.host.texts(), std::vector<std::string>{"Failed to write to " + out}) << kept;
  }
  fx.host.messages.clear();
  EXPECT_FALSE(writeRange(*fx.doc, "", 0, 0, 599'999));
  EXPECT_FALSE(fx.host.hasClipWave);
  EXPECT_EQ(fx.host.texts(), std::vector<std::string>{"Failed to write to clipboard"});
}

// Long ranges are copied by two threads, the second one through handles of its own: the file
// must still be the same frames in the same places, the overlay laid over both halves, and a
// Cancel must stop both before the file is removed.
TEST(RangeWriter, LongRangesSplitAcrossThreadsMatchFrameForFrame) {
  DocFixture fx;
  const int32_t frames = 1'200'000;  // several 1 MiB pieces on each side of the split
  fx.open(WavBuilder().staircase(frames));
  fx.block(520'000, 700'000, 0, [](int32_t f) { return f % 977; });  // across the split
  fx.block(1'150'000, 1'150'100, 1, [](int32_t) { return 5; });
  const std::string out = fx.dir.file("long.wav");
  ASSERT_TRUE(writeRange(*fx.doc, out, 3, 11, frames - 1));
  std::vector<int16_t> want = staircase(3, frames - 1);
  for (int32_t f = 520'000; f <= 700'000; ++f) want[2 * static_cast<size_t>(f - 3)] = f % 977;
  for (int32_t f = 1'150'000; f <= 1'150'100; ++f) want[2 * static_cast<size_t>(f - 3) + 1] = 5;
  want.insert(want.end(), 22, 0);
  EXPECT_TRUE(fileBytes(out) == expectedImage(want, 44100));
  EXPECT_TRUE(fx.host.messages.empty());
  EXPECT_EQ(fx.host.progressValues.back(), 100);

  // A cancelled write leaves the file that had the name before, and no scratch file.
  const std::vector<uint8_t> before = fileBytes(out);
  for (int pump = 1; pump <= 3; ++pump) {
    fx.host.progressValues.clear();
    fx.host.cancelAtPump = fx.host.pumps + pump;
    EXPECT_FALSE(writeRange(*fx.doc, out, 0, 0, frames - 1)) << pump;
    EXPECT_TRUE(fileBytes(out) == before) << pump;
    EXPECT_EQ(scratchFiles(fx.dir.path()), 0) << pump;
  }
}

}  // namespace
}  // namespace tolmar::test
