#include "document/deletions.h"

#include <gtest/gtest.h>

#include "document/binary_file.h"
#include "editor/context.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

std::vector<std::pair<int32_t, int32_t>> spans(const std::vector<Deletion>& d) {
  std::vector<std::pair<int32_t, int32_t>> out;
  for (const auto& m : d) out.emplace_back(m.start, m.end);
  return out;
}

TEST(DeletionMarksTest, OverlappingAndTouchingMarksBecomeOne) {
  std::vector<Deletion> marks;
  addDeletionMark(marks, {500, 600});
  addDeletionMark(marks, {100, 200});
  addDeletionMark(marks, {900, 950});
  EXPECT_EQ(spans(marks), (decltype(spans(marks)){{100, 200}, {500, 600}, {900, 950}}));
  addDeletionMark(marks, {150, 520});  // bridges two marks
  EXPECT_EQ(spans(marks), (decltype(spans(marks)){{100, 600}, {900, 950}}));
  addDeletionMark(marks, {601, 700});  // adjacent: one frame after the end
  addDeletionMark(marks, {850, 899});
  EXPECT_EQ(spans(marks), (decltype(spans(marks)){{100, 700}, {850, 950}}));
  addDeletionMark(marks, {200, 300});  // wholly inside: the larger end stays
  EXPECT_EQ(spans(marks), (decltype(spans(marks)){{100, 700}, {850, 950}}));
}

TEST(DeletionMarksTest, InsertionsKeepPositionOrderAndTheOrderOfEqualOnes) {
  std::vector<Insertion> marks;
  addInsertionMark(marks, {300, 1});
  addInsertionMark(marks, {100, 2});
  addInsertionMark(marks, {300, 3});
  addInsertionMark(marks, {200, 4});
  std::vector<int32_t> lengths;
  for (const auto& m : marks) lengths.push_back(m.length);
  EXPECT_EQ(lengths, (std::vector<int32_t>{2, 4, 1, 3}));
}

TEST(DeletionMarksTest, CountsAndMovedPositions) {
  const std::vector<Deletion> dels{{100, 199}, {500, 549}};
  const std::vector<Insertion> ins{{50, 10}, {150, 1000}, {200, 7}, {600, 3}};
  EXPECT_EQ(countDeletedFrames(dels, -1, 99), 0);
  EXPECT_EQ(countDeletedFrames(dels, -1, 150), 51);
  EXPECT_EQ(countDeletedFrames(dels, 120, 520), 80 + 21);
  // The insertion inside the deletion contributes nothing.
  EXPECT_EQ(countInsertedFrames(ins, dels, -1, 10000), 10 + 7 + 3);
  EXPECT_EQ(countInsertedFrames(ins, dels, 51, 199), 0);
  EXPECT_EQ(positionAfterEdits(dels, ins, 49), 49);
  EXPECT_EQ(positionAfterEdits(dels, ins, 50), 60);    // the silence goes before frame 50
  EXPECT_EQ(positionAfterEdits(dels, ins, 200), 117);  // 200 - 100 + 10 + 7
  EXPECT_EQ(positionAfterEdits(dels, ins, 700), 700 - 150 + 20);
  EXPECT_TRUE(insideDeletion(dels, 100));
  EXPECT_TRUE(insideDeletion(dels, 549));
  EXPECT_FALSE(insideDeletion(dels, 550));
}

TEST(DeletionMarksTest, CueRoundingAndMillisecondConversion) {
  const std::vector<Deletion> dels{{0, 499}};
  EXPECT_EQ(roundUpToCdFrame(positionAfterEdits(dels, {}, 1000), 44100), 588);
  EXPECT_EQ(roundUpToCdFrame(588, 44100), 588);
  EXPECT_EQ(roundUpToCdFrame(641, 48000), 1280);
  EXPECT_EQ(roundUpToCdFrame(0, 44100), 0);
  EXPECT_EQ(msToFrames(100, 44100), 4410);
  EXPECT_EQ(msToFrames(3000, 44100), 132300);
  EXPECT_EQ(msToFrames(1, 44100), 44);
  EXPECT_EQ(msToFrames(3000, 48000), 144000);
}

TEST(DeletionMarksTest, PlanKeepsOnlyWhatTheRebuildCarriesOut) {
  const std::vector<Deletion> dels{{-5, 9}, {90, 150}, {40, 45}};
  const std::vector<Insertion> ins{{5, 100}, {20, 0}, {30, -4}, {100, 9}, {60, 2}, {101, 1}};
  const EditPlan plan = planEdits(dels, ins, 100);  // frames 0..99
  EXPECT_EQ(spans(plan.deletions), (decltype(spans(plan.deletions)){{0, 9}, {40, 45}, {90, 99}}));
  // 5 is deleted, 20 and 30 insert nothing, 101 is past the end; 100 ends the file.
  ASSERT_EQ(plan.insertions.size(), 2u);
  EXPECT_EQ(plan.insertions[0].position, 60);
  EXPECT_EQ(plan.insertions[1].position, 100);
  EXPECT_EQ(plan.newFrameCount, 100 - 10 - 6 - 10 + 2 + 9);
  // At the end of the file a silence is appended.
  EXPECT_EQ(planEdits({}, {{100, 9}}, 100).newFrameCount, 109);
}

TEST(DeletionMarksTest, RebuiltFramesFollowThePlanAndCancelStops) {
  TempDir dir;
  const std::string srcPath = dir.file("a.wav");
  const std::string dstPath = dir.file("b.raw");
  WavBuilder().staircase(20000).write(srcPath);
  ScriptedHost host;
  Context ctx(host);
  host.ctx = &ctx;
  const EditPlan plan =
      planEdits({{10, 19}, {15000, 19999}}, {{0, 3}, {12000, 9001}, {20000, 5}}, 20000);
  {
    BinaryFile src(srcPath, BinaryFile::Mode::Read);
    BinaryFile dst(dstPath, BinaryFile::Mode::Create);
    ASSERT_TRUE(writeRebuiltFrames(ctx, plan, src, 44, srcPath, dst, dstPath));
  }
  EXPECT_EQ(host.progressCaptions.back(), " Writing temp file:");
  std::vector<int16_t> expected;
  auto frames = [&](int a, int b) {
    for (int i = a; i <= b; ++i) {
      expected.push_back(static_cast<int16_t>(i));
      expected.push_back(static_cast<int16_t>(-i));
    }
  };
  auto silence = [&](int n) { expected.insert(expected.end(), static_cast<size_t>(n) * 2, 0); };
  silence(3);
  frames(0, 9);
  frames(20, 11999);
  silence(9001);  // more than one 9000-frame block
  frames(12000, 14999);
  // Position 20000 lies just past the deleted tail: that silence ends the file.
  silence(5);
  const auto bytes = readFileBytes(dstPath);
  ASSERT_EQ(bytes.size(), expected.size() * 2);
  EXPECT_EQ(static_cast<int64_t>(expected.size() / 2), plan.newFrameCount);
  for (size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(static_cast<int16_t>(loadU16(&bytes[2 * i])), expected[i]) << "sample " << i;
  }

  host.cancelAtPump = host.pumps + 2;
  BinaryFile src(srcPath, BinaryFile::Mode::Read);
  BinaryFile dst(dstPath, BinaryFile::Mode::Create);
  EXPECT_FALSE(writeRebuiltFrames(ctx, plan, src, 44, srcPath, dst, dstPath));
}

}  // namespace
}  // namespace tolmar::test
