#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

#include "document/binary_file.h"
#include "document/marker_list.h"
#include "editor/editor.h"
#include "support/editor_fixture.h"
#include "support/file_size_limit.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

std::vector<int32_t> positions(const MarkerList& list) {
  std::vector<int32_t> out;
  for (const auto& m : list.items) out.push_back(m.position);
  return out;
}

TEST(MarkerListTest, SortKeepsTheOrderOfEqualPositions) {
  MarkerList list;
  list.Add(0, 500, 1);
  list.Add(1, 100, 2);
  list.Add(2, 500, 3);
  list.Add(0, 100, 4);
  list.Add(0, -3, 5);
  list.Add(1, 500, 6);
  list.sortByPosition();
  std::vector<int32_t> counts;
  for (const auto& m : list.items) counts.push_back(m.count);
  EXPECT_EQ(counts, (std::vector<int32_t>{5, 2, 4, 1, 3, 6}));
}

TEST(MarkerListTest, FileRoundTripAndTruncatedFiles) {
  TempDir dir;
  MarkerList list;
  list.Add(0, 0, 0);
  list.Add(1, 123456789, 15);
  list.Add(2, -1, -7);
  const std::string path = dir.file("a.mkr");
  {
    BinaryFile f(path, BinaryFile::Mode::Create);
    ASSERT_TRUE(list.Write(f));
  }
  auto bytes = readFileBytes(path);
  ASSERT_EQ(bytes.size(), 27u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 9, bytes.begin() + 18),
            (std::vector<uint8_t>{1, 0x15, 0xCD, 0x5B, 0x07, 15, 0, 0, 0}));

  MarkerList back;
  {
    BinaryFile f(path, BinaryFile::Mode::Read);
    EXPECT_EQ(back.Read(f), 3u);
  }
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back.items[2].kind, 2);
  EXPECT_EQ(back.items[2].position, -1);
  EXPECT_EQ(back.items[2].count, -7);
  EXPECT_EQ(back.items[1].position, 123456789);

  // 20 bytes: two records and two bytes of a third.
  bytes.resize(20);
  MarkerList cut;
  EXPECT_EQ(cut.readBytes(bytes.data(), bytes.size()), 2u);
  EXPECT_EQ(positions(cut), (std::vector<int32_t>{0, 123456789}));
  for (size_t n : {0u, 1u, 5u, 8u}) {
    MarkerList tiny;
    EXPECT_EQ(tiny.readBytes(bytes.data(), n), 0u) << n << " bytes";
  }
}

struct MarkerCommandsTest : EditorTest {
  void SetUp() override {
    WavBuilder().staircase(100000).write(wav);
    ASSERT_TRUE(editor.OpenDocument(wav));
    editor.doc->viewWidth = 4000;
  }
};

TEST_F(MarkerCommandsTest, GotoFirstAndNextWalkTheListInItsOrder) {
  editor.GotoFirstMarker1Click();  // empty: nothing moves
  EXPECT_EQ(editor.doc->viewStart, 0);
  EXPECT_EQ(host.beeps, 0);
  editor.AddMarkerAt(0);
  editor.AddMarkerAt(50000);
  editor.AddMarkerAt(20000);
  editor.doc->viewStart = 777;
  editor.GotoFirstMarker1Click();
  EXPECT_EQ(editor.doc->viewStart, 0);  // frame 0 shows at the start, not before it
  editor.GotoNextMarker1Click();
  EXPECT_EQ(editor.currentMarker, 50000);
  EXPECT_EQ(editor.doc->viewStart, 49000);
  editor.GotoNextMarker1Click();  // 20000 is not after 50000 in position
  EXPECT_EQ(host.beeps, 1);
  EXPECT_EQ(editor.doc->viewStart, 49000);
  editor.ctx.settings.emitbeeps = false;
  editor.GotoNextMarker1Click();
  EXPECT_EQ(host.beeps, 1);
}

TEST_F(MarkerCommandsTest, AFileMarkerFarBeforeTheStartShowsFrameZero) {
  const std::string path = dir.file("far.mkr");
  MarkerList far;
  far.Add(Marker::Both, INT32_MIN, 0);
  writeFileBytes(path, far.toBytes());
  ASSERT_TRUE(editor.loadMarkerFile(path));
  editor.doc->viewStart = 777;
  editor.GotoFirstMarker1Click();
  EXPECT_EQ(editor.doc->viewStart, 0);
}

TEST_F(MarkerCommandsTest, ClearingBySelectionAndAll) {
  for (int32_t p : {10, 100, 200, 300}) editor.AddMarkerAt(p);
  editor.AddMarkerAt(-50);  // limited to frame 0
  EXPECT_EQ(editor.markers.items.back().position, 0);
  editor.setAudibleMarker(150);
  editor.doc->selStart = 300;
  editor.doc->selEnd = 100;  // inverted: nothing goes
  editor.ClearPlaybackMarkers1Click();
  EXPECT_EQ(editor.markers.size(), 5u);
  editor.doc->selStart = editor.doc->selEnd = -1;
  editor.ClearPlaybackMarkers1Click();
  EXPECT_EQ(editor.markers.size(), 5u);
  editor.doc->selStart = 100;
  editor.doc->selEnd = 200;
  editor.ClearPlaybackMarkers1Click();
  EXPECT_EQ(positions(editor.markers), (std::vector<int32_t>{10, 300, 0}));
  EXPECT_EQ(editor.audibleMarker, -1);
  editor.setAudibleMarker(-9);
  EXPECT_EQ(editor.audibleMarker, 0);
  editor.ClearAllMarkers1Click();
  EXPECT_TRUE(editor.markers.empty());
  EXPECT_EQ(editor.audibleMarker, -1);
}

TEST_F(MarkerCommandsTest, SaveAndLoadThroughTheDialogsAndInBatch) {
  editor.AddMarkerAt(300);
  editor.AddMarkerAt(100);
  const std::string proposed = dir.file("side.mkr");
  host.saveAnswers = {proposed};
  editor.SaveMarkersinFile1Click();
  ASSERT_EQ(host.fileDialogs.size(), 1u);
  EXPECT_EQ(host.fileDialogs[0].fileName, proposed);
  EXPECT_EQ(fs::file_size(proposed), 18u);

  editor.markers.Clear();
  editor.AddMarkerAt(5);
  host.answers = {Answer::Cancel};
  editor.LoadMarkersfromFile1Click();
  EXPECT_EQ(host.questions.back().text, "Existing markers will be lost; continue?");
  EXPECT_EQ(positions(editor.markers), std::vector<int32_t>{5});

  host.answers = {Answer::Ok};
  host.openAnswers = {proposed};
  editor.LoadMarkersfromFile1Click();
  EXPECT_EQ(positions(editor.markers), (std::vector<int32_t>{100, 300}));  // sorted on load

  EXPECT_FALSE(editor.loadMarkerFile(dir.file("absent.mkr")));
  EXPECT_EQ(editor.markers.size(), 2u);  // unchanged when the file cannot be opened
  EXPECT_EQ(host.messages.back().kind, MsgKind::Error);

  editor.ctx.batchRunning = true;  // no dialogs, no question, the proposed name
  const size_t dialogs = host.fileDialogs.size();
  const size_t asked = host.questions.size();
  editor.AddMarkerAt(7);
  editor.SaveMarkersinFile1Click();
  editor.LoadMarkersfromFile1Click();
  EXPECT_EQ(host.fileDialogs.size(), dialogs);
  EXPECT_EQ(host.questions.size(), asked);
  EXPECT_EQ(positions(editor.markers), (std::vector<int32_t>{7, 100, 300}));
}

TEST_F(MarkerCommandsTest, AFailedSaveLeavesThePreviousFileWhole) {
  const std::string path = dir.file("side.mkr");
  editor.AddMarkerAt(300);
  ASSERT_TRUE(editor.saveMarkerFile(path));
  const std::vector<uint8_t> before = readFileBytes(path);
  for (int32_t p = 1; p <= 100; ++p) editor.AddMarkerAt(p * 1000);

  // A file-size limit makes the write fail part way, as a full disk would.
  {
    const FileSizeLimit limit(100);
    EXPECT_FALSE(editor.saveMarkerFile(path));
  }
  EXPECT_EQ(host.messages.back().text, "Failed to write file " + path);
  EXPECT_EQ(readFileBytes(path), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(path).parent_path()), {}), 2);
}

TEST_F(MarkerCommandsTest, SavingThroughALinkWritesTheFileItNames) {
  const std::string real = dir.file("real.mkr");
  const std::string link = dir.file("side.mkr");
  writeFileBytes(real, {});
  fs::create_symlink(real, link);
  editor.AddMarkerAt(300);
  ASSERT_TRUE(editor.saveMarkerFile(link));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(readFileBytes(real), editor.markers.toBytes());
}

TEST_F(MarkerCommandsTest, OpeningAnotherFileForgetsTheMarkers) {
  editor.AddMarkerAt(10);
  editor.setAudibleMarker(20);
  ASSERT_TRUE(editor.OpenDocument(wav, true));
  EXPECT_TRUE(editor.markers.empty());
  EXPECT_EQ(editor.audibleMarker, -1);
}

}  // namespace
}  // namespace tolmar::test
