#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "document/save_journal.h"
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

std::string headOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string head(44, '\0');
  in.read(head.data(), 44);
  return head;
}

int boundariesSeen = 0;
void countBoundary() {
  ++boundariesSeen;
}

// Random steps of every kind of record (short and long blocks, some spilled, linked pairs,
// lines, silence pairs, records running past the end, gaps of one frame between records)
// stacked over one another: after the save the file holds what the overlay showed, frame by
// frame, and nothing outside the data moved.
TEST(SaveTest, SavedFileHoldsTheViewThroughEveryRecord) {
  for (unsigned seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    DocFixture fx;
    const int32_t n = 50000;
    WaveFile& doc = fx.open(WavBuilder().staircase(n));
    std::mt19937 rng(seed);
    const auto pick = [&](int32_t lo, int32_t hi) {
      return lo + static_cast<int32_t>(rng() % static_cast<uint32_t>(hi - lo + 1));
    };
    for (int step = 0; step < 14; ++step) {
      doc.bigEditMode = step % 3 == 0;
      doc.chunkSize = 50;
      int32_t count = 0;
      const int records = pick(1, 5);
      for (int k = 0; k < records; ++k) {
        const int32_t first = pick(0, n - 10);
        const int32_t last = std::min(first + pick(1, k == 0 ? 30000 : 300), n + 40);
        const int kind = pick(0, 3);
        const int16_t v = static_cast<int16_t>(pick(-9000, 9000));
        if (kind == 0) {
          count += doc.AddLinearEdit(first, last, v, static_cast<int16_t>(-v), pick(0, 1)) != 0;
        } else if (kind == 1) {
          count += doc.AddLinearEdit(first, last, 0, 0, 0) != nullptr;
          count += doc.AddLinearEdit(first, last, 0, 0, 1) != nullptr;
        } else if (kind == 2) {
          const int32_t to = std::min(last, n - 1);
          auto* l = fx.block(first, to, 0, [&](int32_t f) { return v + f % 13; });
          auto* r = fx.block(first, to, 1, [&](int32_t f) { return v - f % 7; });
          WaveFile::LinkChannels(l, r);
          count += 2;
        } else {
          const int32_t to = std::min(last, n - 1);
          const int channel = pick(0, 1);
          fx.block(first, to, channel, [&](int32_t f) { return v ^ f; });
          // The next one leaves a single frame between them.
          if (to + 2 < n - 1)
            fx.block(to + 2, std::min(to + 200, n - 1), channel, [](int32_t) { return 77; });
          count += 1 + (to + 2 < n - 1);
        }
      }
      ASSERT_TRUE(doc.CommitEdit(count, "Step " + std::to_string(step)));
      if (step % 4 == 3) doc.OrganiseEdits();
    }
    const auto shown = fx.read(0, n - 1);
    const std::string header = headOf(fx.wavPath);
    BinaryFile f(fx.wavPath, BinaryFile::Mode::ReadWrite);
    ASSERT_TRUE(doc.WriteEditsToFile(f));
    f.close();
    EXPECT_TRUE(doc.interps.empty());
    EXPECT_EQ(fs::file_size(fx.wavPath), 44u + 4u * n);
    EXPECT_EQ(headOf(fx.wavPath), header);
    const auto saved = fx.read(0, n - 1, false);
    ASSERT_EQ(saved.size(), shown.size());
    size_t wrong = 0;
    for (size_t k = 0; k < saved.size(); ++k) wrong += saved[k] != shown[k];
    EXPECT_EQ(wrong, 0u);
    EXPECT_FALSE(fs::exists(journalPathFor(fx.wavPath)));
  }
}

// Twenty steps over the same frames cost the save what one does: the frames are written once,
// with their final values, and the journal holds them once.
TEST(SaveTest, StackedStepsAreWrittenOnce) {
  const auto boundariesOfSave = [](int steps, int64_t& journalBytes) {
    DocFixture fx;
    WaveFile& doc = fx.open(WavBuilder().staircase(60000));
    for (int k = 0; k < steps; ++k) {
      auto* l = fx.block(10000, 39999, 0, [k](int32_t f) { return f % 100 + k; });
      auto* r = fx.block(10000, 39999, 1, [k](int32_t f) { return f % 50 - k; });
      WaveFile::LinkChannels(l, r);
      doc.CommitEdit(2, "Amplify");
    }
    const auto shown = fx.read(0, 59999);
    journalBytes = 0;
    for (const JournalRegion& r : doc.regionsToOverwrite()) journalBytes += r.bytes;
    boundariesSeen = 0;
    saveBoundaryHook = countBoundary;
    BinaryFile f(fx.wavPath, BinaryFile::Mode::ReadWrite);
    const bool ok = doc.WriteEditsToFile(f);
    saveBoundaryHook = nullptr;
    f.close();
    EXPECT_TRUE(ok);
    EXPECT_EQ(fx.read(0, 59999, false), shown);
    return boundariesSeen;
  };
  int64_t oneBytes = 0, stackedBytes = 0;
  const int one = boundariesOfSave(1, oneBytes);
  const int stacked = boundariesOfSave(20, stackedBytes);
  EXPECT_EQ(oneBytes, 30000 * 4);
  EXPECT_EQ(stackedBytes, oneBytes);
  EXPECT_GT(one, 4);  // 30,000 frames take several write chunks
  EXPECT_EQ(stacked, one);
}

// A cancel stops the save only where the file then holds whole steps and nothing of the
// rest: steps whose frames overlap, even on different channels, go in together.
TEST(SaveTest, CancelNeverSplitsStepsThatShareFrames) {
  DocFixture fx;
  WaveFile& doc = fx.open(WavBuilder().staircase(1000));
  const auto original = fx.read(0, 999, false);
  fx.block(10, 20, 0, [](int32_t) { return 1; });
  doc.CommitEdit(1, "Interpolate");
  fx.block(15, 30, 1, [](int32_t) { return 2; });
  doc.CommitEdit(1, "Silence");
  fx.block(500, 600, 0, [](int32_t) { return 3; });
  doc.CommitEdit(1, "Fade");
  fx.block(590, 700, 0, [](int32_t) { return 4; });
  doc.CommitEdit(1, "Equalise");
  const auto firstTwo = [&] {
    auto v = original;
    for (int32_t i = 10; i <= 20; ++i) v[2 * i] = 1;
    for (int32_t i = 15; i <= 30; ++i) v[2 * i + 1] = 2;
    return v;
  }();

  fx.host.cancelAtPump = fx.host.pumps + 1;  // after the first write
  BinaryFile f(fx.wavPath, BinaryFile::Mode::ReadWrite);
  EXPECT_FALSE(doc.WriteEditsToFile(f));
  EXPECT_EQ(fx.read(0, 999, false), firstTwo);
  ASSERT_EQ(doc.undoSteps.size(), 2u);
  EXPECT_EQ(doc.undoCaption(), "Undo Equalise");
  ASSERT_TRUE(doc.Undo());
  ASSERT_TRUE(doc.Undo());
  EXPECT_FALSE(doc.Undo());
  EXPECT_EQ(fx.read(0, 999), firstTwo);

  // Cancelled again inside the two that overlap: the save goes on to their end.
  ASSERT_TRUE(doc.Redo());
  ASSERT_TRUE(doc.Redo());
  const auto edited = fx.read(0, 999);
  fx.ctx.continueFlag = true;
  fx.host.cancelAtPump = fx.host.pumps + 1;
  EXPECT_TRUE(doc.WriteEditsToFile(f));
  EXPECT_TRUE(doc.interps.empty());
  EXPECT_EQ(fx.read(0, 999, false), edited);
}

}  // namespace
}  // namespace tolmar::test
