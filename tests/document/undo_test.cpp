#include <gtest/gtest.h>

#include "support/doc_fixture.h"

namespace tolmar::test {
namespace {

// 5000 frames whose magnitude is 100 everywhere, so that any peak change is visible.
WavBuilder flat() {
  return WavBuilder().frames(5000, [](int32_t i) {
    return Frame{static_cast<int16_t>(i % 2 ? 100 : -100), 50};
  });
}

// 3000 quiet frames with one loud left sample at frame 1500, inside overview block 1.
WavBuilder oneLoudFrame() {
  return WavBuilder().frames(3000, [](int32_t i) {
    return Frame{static_cast<int16_t>(i == 1500 ? 9000 : 10), 0};
  });
}

TEST(UndoTest, StepsMoveBetweenTheSidesWithTheirCaptions) {
  DocFixture fx;
  WaveFile& doc = fx.open(flat());
  EXPECT_EQ(doc.undoCaption(), "Undo");
  EXPECT_EQ(doc.redoCaption(), "Redo");
  fx.block(10, 20, 0, [](int32_t) { return 1; });
  doc.CommitEdit(1, "Interpolate");
  auto* l = fx.block(30, 40, 0, [](int32_t) { return 2; });
  auto* r = fx.block(30, 40, 1, [](int32_t) { return 3; });
  WaveFile::LinkChannels(l, r);
  doc.CommitEdit(2, "Silence");
  EXPECT_EQ(doc.undoCaption(), "Undo Silence");

  ASSERT_TRUE(doc.Undo());
  EXPECT_EQ(doc.interps.size(), 1u);  // the two-channel step went as a unit
  EXPECT_EQ(doc.undoCaption(), "Undo Interpolate");
  EXPECT_EQ(doc.redoCaption(), "Redo Silence");
  EXPECT_EQ(fx.read(35, 35)[0], 35 % 2 ? 100 : -100);

  ASSERT_TRUE(doc.Redo());
  EXPECT_EQ(doc.interps.size(), 3u);
  EXPECT_EQ(doc.interps[1].get(), l);  // original order restored
  EXPECT_EQ(doc.interps[2].get(), r);
  auto buf = fx.read(35, 35);
  EXPECT_EQ(buf[0], 2);
  EXPECT_EQ(buf[1], 3);

  ASSERT_TRUE(doc.Undo());
  fx.block(0, 5, 1, [](int32_t) { return 9; });
  doc.CommitEdit(1, "Fade");  // a new step empties the redo side
  EXPECT_EQ(doc.redoCaption(), "Redo");
  EXPECT_TRUE(doc.redoRecords.empty());
  EXPECT_FALSE(doc.Redo());
}

TEST(UndoTest, UndoIsRefusedWhilePaintingOrOrganising) {
  DocFixture fx;
  WaveFile& doc = fx.open(flat());
  fx.block(10, 20, 0, [](int32_t) { return 1; });
  doc.CommitEdit(1, "Interpolate");
  doc.painting = true;
  EXPECT_FALSE(doc.Undo());
  doc.painting = false;
  doc.organising = true;
  EXPECT_FALSE(doc.Undo());
  doc.organising = false;
  EXPECT_TRUE(doc.Undo());
  EXPECT_FALSE(doc.Undo());
}

// Committing a step pumps messages twice (discarding the redo side, rescanning the overview)
// between the records going on the list and their step going on the undo side.
TEST(UndoTest, UndoAndRedoDeliveredWhileAStepIsCommittedAreRefused) {
  DocFixture fx;
  WaveFile& doc = fx.open(flat(), true);
  fx.block(10, 20, 0, [](int32_t) { return 1; });
  doc.CommitEdit(1, "Interpolate");
  fx.block(30, 40, 0, [](int32_t) { return 2; });
  doc.CommitEdit(1, "Silence");
  ASSERT_TRUE(doc.Undo());  // leaves a redo side to discard
  int refused = 0;
  fx.host.onPump = [&](int) { refused += !doc.Undo() + !doc.Redo(); };
  fx.block(50, 60, 0, [](int32_t) { return 3; });
  doc.CommitEdit(1, "Fade");
  fx.host.onPump = nullptr;
  EXPECT_GT(refused, 0);
  EXPECT_FALSE(doc.directWriting);
  EXPECT_EQ(doc.undoCaption(), "Undo Fade");
  ASSERT_TRUE(doc.Undo());
  EXPECT_EQ(fx.read(55, 55)[0], 55 % 2 ? 100 : -100);
  EXPECT_EQ(fx.read(15, 15)[0], 1);

  // A command that holds the flag around its commit still holds it afterwards.
  {
    DirectWriteScope command(doc);
    fx.block(50, 60, 0, [](int32_t) { return 4; });
    doc.CommitEdit(1, "Fade");
    EXPECT_TRUE(doc.directWriting);
  }
  EXPECT_FALSE(doc.directWriting);
}

// A save pumps messages after every record it writes. An Undo taken then would leave the
// step's already written samples in the file while the save ends the history that could
// have taken them back.
TEST(UndoTest, UndoAndRedoDeliveredWhileSavingAreRefused) {
  DocFixture fx;
  WaveFile& doc = fx.open(flat());
  fx.block(10, 20, 0, [](int32_t) { return 1; });
  doc.CommitEdit(1, "Interpolate");
  fx.block(30, 40, 0, [](int32_t) { return 2; });
  doc.CommitEdit(1, "Silence");
  fx.block(50, 60, 0, [](int32_t) { return 3; });
  doc.CommitEdit(1, "Fade");
  ASSERT_TRUE(doc.Undo());  // a redo side too
  int taken = 0;
  fx.host.onPump = [&](int) { taken += doc.Undo() + doc.Redo(); };
  BinaryFile f(fx.wavPath, BinaryFile::Mode::ReadWrite);
  ASSERT_TRUE(doc.WriteEditsToFile(f));
  fx.host.onPump = nullptr;
  EXPECT_EQ(taken, 0);
  EXPECT_FALSE(doc.directWriting);
  EXPECT_EQ(fx.read(15, 15, false)[0], 1);
  EXPECT_EQ(fx.read(35, 35, false)[0], 2);
  EXPECT_EQ(fx.read(55, 55, false)[0], 55 % 2 ? 100 : -100);
}

// A save cancelled part-way has written the oldest steps into the file already. Undo can no
// longer take those back, so they leave the history; every step that stays must undo exactly.
// A cancel that comes too late to spare a step is a completed save.
TEST(UndoTest, CancelledSaveTakesTheStepsItWroteOutOfTheHistory) {
  DocFixture fx;
  WaveFile& doc = fx.open(flat());
  const auto original = fx.read(0, 99, false);
  fx.block(10, 20, 0, [](int32_t) { return 1; });
  doc.CommitEdit(1, "Interpolate");
  auto* l = fx.block(30, 40, 0, [](int32_t) { return 2; });
  auto* r = fx.block(30, 40, 1, [](int32_t) { return 2; });
  WaveFile::LinkChannels(l, r);
  doc.CommitEdit(2, "Silence");
  fx.block(50, 60, 0, [](int32_t) { return 3; });
  fx.block(70, 80, 1, [](int32_t) { return 4; });
  doc.CommitEdit(2, "Fade");

  fx.host.cancelAtPump = fx.host.pumps + 1;  // after the Interpolate record
  {
    BinaryFile f(fx.wavPath, BinaryFile::Mode::ReadWrite);
    EXPECT_FALSE(doc.WriteEditsToFile(f));
  }
  EXPECT_EQ(fx.read(15, 15, false)[0], 1);                 // in the file now
  EXPECT_EQ(fx.read(35, 35, false)[0], original[2 * 35]);  // the rest is not
  ASSERT_EQ(doc.undoSteps.size(), 2u);
  EXPECT_EQ(doc.interps.size(), 4u);
  ASSERT_TRUE(doc.Undo());
  ASSERT_TRUE(doc.Undo());
  EXPECT_FALSE(doc.Undo());
  auto undone = fx.read(0, 99);
  auto expected = original;
  for (int32_t i = 10; i <= 20; ++i) expected[2 * i] = 1;
  EXPECT_EQ(undone, expected);

  // A step whose record the save skipped as hidden is not in the file until the step that
  // hides it is: a cancel between the two must not take the first out of the history.
  {
    DocFixture hid;
    WaveFile& d = hid.open(flat());
    d.bigEditMode = true;
    d.chunkSize = 5;
    hid.block(100, 199, 0, [](int32_t) { return 5; });
    d.CommitEdit(1, "Fade");
    hid.block(300, 399, 0, [](int32_t) { return 6; });
    d.CommitEdit(1, "Silence");
    hid.block(100, 199, 0, [](int32_t) { return 7; });
    d.CommitEdit(1, "Equalise");
    d.OrganiseEdits();
    ASSERT_FALSE(d.interps[0]->active);
    const auto shown = hid.read(0, 499);
    hid.host.cancelAtPump = hid.host.pumps + 1;  // after the Silence record
    BinaryFile f(hid.wavPath, BinaryFile::Mode::ReadWrite);
    if (d.WriteEditsToFile(f)) d.EndHistory();
    f.close();
    EXPECT_EQ(hid.read(0, 499), shown);
    d.Undo();  // back to the Fade, or nothing left to undo once the save went to the end
    EXPECT_EQ(hid.read(150, 150)[0], d.canUndo() ? 5 : 7);
  }

  ASSERT_TRUE(doc.Redo());
  ASSERT_TRUE(doc.Redo());
  const auto edited = fx.read(0, 99);
  fx.host.cancelAtPump = fx.host.pumps + 2;  // after the first Fade record
  {
    BinaryFile f(fx.wavPath, BinaryFile::Mode::ReadWrite);
    EXPECT_TRUE(doc.WriteEditsToFile(f));
  }
  EXPECT_TRUE(doc.interps.empty());
  EXPECT_EQ(fx.read(0, 99, false), edited);
}

TEST(UndoTest, StepCountingMoreRecordsThanExistSaysBadUndo) {
  DocFixture fx;
  WaveFile& doc = fx.open(flat());
  fx.block(10, 20, 0, [](int32_t) { return 1; });
  doc.CommitEdit(1, "Interpolate");
  doc.undoSteps.back()->recordCount = 3;
  EXPECT_TRUE(doc.Undo());
  EXPECT_TRUE(fx.host.said("bad undo!"));
  EXPECT_EQ(doc.redoSteps.size(), 1u);
}

TEST(UndoTest, PeakOverviewFollowsEditsUndoAndRedoExactly) {
  DocFixture fx;
  WaveFile& doc = fx.open(flat(), true);
  ASSERT_TRUE(doc.hasPeaks());
  ASSERT_EQ(doc.peakLeft.size(), 6u);
  const auto before = doc.peakLeft;
  EXPECT_EQ(before[0], 100);
  EXPECT_EQ(before[5], 0);  // the sixth block is empty

  // Blocks 2 and 3 wholly replaced by a louder left channel, block 4 touched in part.
  fx.block(1000, 3499, 0, [](int32_t f) { return f == 2000 ? -20000 : 3000; });
  doc.CommitEdit(1, "Amplify/Compress");
  EXPECT_EQ(doc.peakLeft[1], 3000);
  EXPECT_EQ(doc.peakLeft[2], 20000);
  EXPECT_EQ(doc.peakRight[1], 50);
  EXPECT_TRUE(doc.rescanQueue.count(4));  // block 4 only partly covered
  const auto edited = doc.peakLeft;

  doc.ProcessRescanQueue();
  EXPECT_EQ(doc.peakLeft[3], 3000);  // part record, part file: the larger

  ASSERT_TRUE(doc.Undo());
  doc.ProcessRescanQueue();
  EXPECT_EQ(doc.peakLeft, before);
  ASSERT_TRUE(doc.Redo());
  doc.ProcessRescanQueue();
  EXPECT_EQ(doc.peakLeft[1], edited[1]);
  EXPECT_EQ(doc.peakLeft[2], edited[2]);
  EXPECT_EQ(doc.peakLeft[3], 3000);
}

TEST(UndoTest, ShortRepairInsideABlockDoesNotHideTheBlockPeak) {
  DocFixture fx;
  WaveFile& doc = fx.open(oneLoudFrame(), true);
  ASSERT_EQ(doc.peakLeft[1], 9000);
  fx.block(1600, 1610, 0, [](int32_t) { return 5; });  // a click repair far from the peak
  doc.CommitEdit(1, "Remove Click");
  doc.ProcessRescanQueue();
  EXPECT_EQ(doc.peakLeft[1], 9000);
}

// A step saves the overview entries it replaces so that Undo can put them back, and Undo
// saves the edited ones for Redo. An entry still waiting for its rescan (a block a record
// covers in part) must not be saved as it stands: put back after the queue has run, it would
// describe neither the file nor the edit, and the cache written at close would keep it.
TEST(UndoTest, UndoAndRedoPutBackMeasuredPeaksNotPendingOnes) {
  DocFixture fx;
  WaveFile& doc = fx.open(oneLoudFrame(), true);
  fx.block(1600, 1610, 0, [](int32_t) { return 5; });
  doc.CommitEdit(1, "Remove Click");
  fx.block(1700, 1710, 0, [](int32_t) { return 6; });
  doc.CommitEdit(1, "Remove Click");
  doc.ProcessRescanQueue();
  ASSERT_EQ(doc.peakLeft[1], 9000);
  ASSERT_TRUE(doc.Undo());
  doc.ProcessRescanQueue();
  EXPECT_EQ(doc.peakLeft[1], 9000);
  ASSERT_TRUE(doc.Undo());
  doc.ProcessRescanQueue();
  ASSERT_TRUE(doc.Redo());
  doc.ProcessRescanQueue();
  EXPECT_EQ(doc.peakLeft[1], 9000);
}

}  // namespace
}  // namespace tolmar::test
