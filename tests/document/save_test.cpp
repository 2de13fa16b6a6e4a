#include <gtest/gtest.h>

#include <filesystem>

#include "support/doc_fixture.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

// Samples that cannot be read back (a failing disk, a store removed under the program) must
// stop the save with an error: writing the buffer anyway puts silence or stale samples into
// the file and reports the save as done.
TEST(SaveTest, SaveStopsWhenItCannotReadWhatItWrites) {
  {
    DocFixture fx;
    WaveFile& doc = fx.open(WavBuilder().staircase(3000));
    doc.bigEditMode = true;
    doc.chunkSize = 100;
    auto* l = fx.block(1000, 1999, 0, [](int32_t) { return 7; });
    auto* r = fx.block(1000, 1999, 1, [](int32_t) { return 8; });
    WaveFile::LinkChannels(l, r);
    doc.CommitEdit(2, "Replace From File");
    ASSERT_TRUE(l->spilled);
    fs::resize_file(doc.store.path(), 0);
    const auto before = fx.read(0, 2999, false);
    BinaryFile f(fx.wavPath, BinaryFile::Mode::ReadWrite);
    EXPECT_FALSE(doc.WriteEditsToFile(f));
    f.close();
    EXPECT_EQ(fx.read(0, 2999, false), before);
    EXPECT_TRUE(fx.host.said("Failed to read from " + doc.store.path()));
    EXPECT_EQ(doc.interps.size(), 2u);
  }
  DocFixture fx;
  WaveFile& doc = fx.open(WavBuilder().staircase(5000));
  fx.block(100, 110, 0, [](int32_t) { return 9; });
  doc.CommitEdit(1, "Interpolate");
  fx.block(4000, 4999, 0, [](int32_t) { return 7; });
  doc.CommitEdit(1, "Fade");
  fs::resize_file(fx.wavPath, 44 + 4500 * 4);  // the file's end can no longer be read
  const auto shrunk = fx.read(0, 4499, false);
  BinaryFile f(fx.wavPath, BinaryFile::Mode::ReadWrite);
  EXPECT_FALSE(doc.WriteEditsToFile(f));
  f.close();
  EXPECT_EQ(fs::file_size(fx.wavPath), 44u + 4500 * 4);
  EXPECT_TRUE(fx.host.said("Failed to read from " + fx.wavPath));
  // The journal could not hold the original bytes, so nothing was written, not even the step
  // before the unreadable one: both stay in the history and undo exactly.
  EXPECT_EQ(fx.read(0, 4499, false), shrunk);
  EXPECT_FALSE(fs::exists(journalPathFor(fx.wavPath)));
  EXPECT_EQ(doc.undoCaption(), "Undo Fade");
  ASSERT_TRUE(doc.Undo());
  EXPECT_EQ(doc.undoCaption(), "Undo Interpolate");
}

}  // namespace
}  // namespace tolmar::test
