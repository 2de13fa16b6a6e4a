#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "document/storage_sync.h"
#include "editor/editor.h"
#include "support/editor_fixture.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

TEST(StorageSync, CommitsFilesAndDirectoriesAndReportsWhatCannotBeCommitted) {
  TempDir dir;
  const std::string file = dir.file("a.bin");
  std::ofstream(file) << "bytes";
  EXPECT_TRUE(syncFileToStorage(file));
  EXPECT_TRUE(syncDirectoryOf(file));
  EXPECT_FALSE(syncFileToStorage(dir.file("missing.bin")));
  EXPECT_FALSE(syncDirectoryOf(dir.file("no-such-dir/a.bin")));
  EXPECT_FALSE(syncStreamToStorage(nullptr));

  BinaryFile f;
  ASSERT_TRUE(f.open(dir.file("b.bin"), BinaryFile::Mode::Create));
  ASSERT_TRUE(f.writeU32(0x01020304));
  EXPECT_TRUE(f.sync());
  EXPECT_EQ(fs::file_size(dir.file("b.bin")), 4u) << "sync pushes the stream's buffer out";
  f.close();
  EXPECT_FALSE(f.sync());
}

struct DirectWriteFixture : EditorTest {
  void SetUp() override {
    // Music-like material with a few sharp clicks, long enough for many progress pumps.
    WavBuilder()
        .frames(200000,
                [](int32_t i) {
                  auto v = static_cast<int16_t>(4000 * std::sin(i * 0.03));
                  if (i % 40000 == 20000) v = 30000;
                  return Frame{v, v};
                })
        .write(wav);
    ASSERT_TRUE(editor.OpenDocument(wav));
  }

  // A committed left-channel edit, undone, so that a Redo is pending.
  void pendingRedo() {
    auto rec = std::make_unique<Interpolation>();
    editor.doc->BeginBlock(*rec, 100, 199, 0);
    for (int32_t f = 100; f <= 199; ++f) editor.doc->PutSample(*rec, f, 1234);
    editor.doc->FinishBlock(*rec);
    editor.doc->AddEdit(std::move(rec), 0);
    editor.doc->CommitEdit(1, "Test Edit");
    editor.Undo1Click();
    ASSERT_TRUE(editor.doc->undoSteps.empty());
    ASSERT_EQ(editor.doc->redoSteps.size(), 1u);
  }
};

// The message pump runs inside a direct write; a Redo arriving there would lay records over a
// file that is being rewritten underneath them.
TEST_F(DirectWriteFixture, RedoDeliveredDuringFindAndRemoveIsRefusedAndWorksAfterwards) {
  pendingRedo();
  int pumpsWhileWriting = 0;
  host.onPump = [&](int) {
    if (editor.doc->directWriting) ++pumpsWhileWriting;
    editor.Redo1Click();
  };
  editor.FindandRemoveAllClicks1Click();
  host.onPump = nullptr;
  ASSERT_GT(pumpsWhileWriting, 0);
  EXPECT_FALSE(editor.doc->directWriting);
  EXPECT_TRUE(editor.doc->undoSteps.empty()) << "the Redo ran during the direct write";
  ASSERT_FALSE(host.messages.empty());
  EXPECT_EQ(host.messages.back().text, "10 Clicks Removed") << "five clicks in each channel";
  int16_t frame[2] = {};
  editor.doc->ReadFrames(false, frame, 20000, 20000);
  EXPECT_LT(frame[0], 10000) << "the repair reached the file";
  editor.Redo1Click();
  EXPECT_EQ(editor.doc->undoSteps.size(), 1u);
}

TEST_F(DirectWriteFixture, DirectEffectsClearTheFlagAndRefuseRedoWhileWriting) {
  pendingRedo();
  int pumpsWhileWriting = 0;
  host.onPump = [&](int) {
    if (editor.doc->directWriting) ++pumpsWhileWriting;
    editor.Redo1Click();
  };
  editor.ctx.silentMode = true;
  editor.CompressDirectOverwrite1Click();
  host.onPump = nullptr;
  ASSERT_GT(pumpsWhileWriting, 0);
  EXPECT_FALSE(editor.doc->directWriting);
  EXPECT_TRUE(editor.doc->undoSteps.empty());
}

}  // namespace
}  // namespace tolmar::test
