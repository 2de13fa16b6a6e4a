#include "declick/repair.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "dsp/block_copy.h"
#include "editor/editor.h"
#include "support/editor_fixture.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

// ---- The in-buffer repair ----

// Frames 0..n-1 with left = 10·f and right = -10·f, so every repaired value can be checked.
std::vector<int16_t> rampBuffer(int32_t n) {
  std::vector<int16_t> buf(2 * static_cast<size_t>(n));
  for (int32_t f = 0; f < n; ++f) {
    buf[2 * f] = static_cast<int16_t>(10 * f);
    buf[2 * f + 1] = static_cast<int16_t>(-10 * f);
  }
  return buf;
}

TEST(RepairClickInBufferTest, LinearJoinsTheAnchorsTruncatingTowardZero) {
  auto buf = rampBuffer(20);
  buf[2 * 10] = 5000;  // the click
  RepairClickInBuffer(buf.data(), 0, 19, 10, 0, RepairMethod::Linear, 4, false);
  // a = 8, b = 12: 80 + 40·(k − 8) div 4
  EXPECT_EQ(buf[2 * 8], 80);
  EXPECT_EQ(buf[2 * 9], 90);
  EXPECT_EQ(buf[2 * 10], 100);
  EXPECT_EQ(buf[2 * 11], 110);
  EXPECT_EQ(buf[2 * 12], 120);
  EXPECT_EQ(buf[2 * 10 + 1], -100);  // the other channel is left alone

  std::vector<int16_t> down(2 * 20, 0);
  down[2 * 12 + 1] = -10;
  RepairClickInBuffer(down.data(), 0, 19, 10, 1, RepairMethod::Linear, 4, false);
  EXPECT_EQ(down[2 * 9 + 1], -2);  // -10·1 div 4 truncates to -2, not -3
  EXPECT_EQ(down[2 * 10 + 1], -5);
  EXPECT_EQ(down[2 * 11 + 1], -7);
}

TEST(RepairClickInBufferTest, BezierFollowsTheSlopesAtBothEnds) {
  // Block frames 100..129 (the buffer need not start at frame 0).
  std::vector<int16_t> buf(2 * 30);
  for (int32_t f = 0; f < 30; ++f) buf[2 * f] = static_cast<int16_t>(10 * (f + 100) - 100);
  buf[2 * 10] = -20000;  // frame 110
  // Click at 110, width 10: a = 105 (950), b = 115 (1050), before 940, after 1060.
  RepairClickInBuffer(buf.data(), 100, 129, 110, 0, RepairMethod::Bezier, 10, false);
  const int16_t expected[] = {950, 958, 968, 978, 989, 1000, 1011, 1022, 1032, 1042, 1050};
  for (int k = 0; k <= 10; ++k) EXPECT_EQ(buf[2 * (5 + k)], expected[k]) << "frame " << 105 + k;
}

TEST(RepairClickInBufferTest, BezierAtTheBlockStartUsesTheAnchorAsItsOuterValue) {
  auto buf = rampBuffer(20);
  // a = 0, so the curve starts flat: P1 = P0. b = 6 (60), after = 70.
  RepairClickInBuffer(buf.data(), 0, 19, 3, 0, RepairMethod::Bezier, 6, false);
  const int16_t expected[] = {0, 3, 12, 24, 38, 50, 60};
  for (int k = 0; k <= 6; ++k) EXPECT_EQ(buf[2 * k], expected[k]) << "frame " << k;
}

TEST(RepairClickInBufferTest, CopyPrecedingCopiesTheBlockBeforeTheRange) {
  auto buf = rampBuffer(30);
  RepairClickInBuffer(buf.data(), 0, 29, 20, 0, RepairMethod::CopyPreceding, 4, false);
  // a = 18, b = 22: frames 14..17 land on 18..21; b itself stays.
  for (int k = 0; k < 4; ++k) EXPECT_EQ(buf[2 * (18 + k)], 10 * (14 + k));
  EXPECT_EQ(buf[2 * 22], 220);
  EXPECT_EQ(buf[2 * 17], 170);

  // Near the block start the source is cut at the block, and the copy with it.
  auto early = rampBuffer(30);
  RepairClickInBuffer(early.data(), 0, 29, 4, 0, RepairMethod::CopyPreceding, 4, false);
  // a = 2: j runs from 0 while j < 2, copying frames 0 and 1 onto 4 and 5.
  EXPECT_EQ(early[2 * 2], 20);
  EXPECT_EQ(early[2 * 4], 0);
  EXPECT_EQ(early[2 * 5], 10);
  EXPECT_EQ(early[2 * 6], 60);
}

TEST(RepairClickInBufferTest, CopyPrecedingWithSmoothEdgesCurvesBothSeams) {
  auto plain = rampBuffer(60);
  auto smoothed = rampBuffer(60);
  RepairClickInBuffer(plain.data(), 0, 59, 30, 0, RepairMethod::CopyPreceding, 10, false);
  RepairClickInBuffer(smoothed.data(), 0, 59, 30, 0, RepairMethod::CopyPreceding, 10, true);
  // Then Bezier over 20..30 around a = 25 and over 30..40 around b = 35, on the copied sound.
  auto expected = plain;
  RepairClickInBuffer(expected.data(), 0, 59, 25, 0, RepairMethod::Bezier, 10, false);
  RepairClickInBuffer(expected.data(), 0, 59, 35, 0, RepairMethod::Bezier, 10, false);
  EXPECT_EQ(smoothed, expected);
  EXPECT_NE(smoothed, plain);
}

TEST(RepairClickInBufferTest, SmoothRepeatsThreePointMeansOverTheWholeRange) {
  std::vector<int16_t> buf(2 * 10, 0);
  const int16_t left[] = {0, 0, 30, 0, 30, 0, 30, 0, 0, 0};
  for (int f = 0; f < 10; ++f) buf[2 * f] = left[f];
  // Click at 4, width 4: a = 2, b = 6, before x[1] = 0, after x[7] = 0.
  RepairClickInBuffer(buf.data(), 0, 9, 4, 0, RepairMethod::Smooth, 4, false, 1);
  // (0+30+0)/3, (30+0+30)/3, (0+30+0)/3, (30+0+30)/3, (0+30+0)/3
  const int16_t once[] = {0, 0, 10, 20, 10, 20, 10, 0, 0, 0};
  for (int f = 0; f < 10; ++f) EXPECT_EQ(buf[2 * f], once[f]) << "frame " << f;

  for (int f = 0; f < 10; ++f) buf[2 * f] = left[f];
  RepairClickInBuffer(buf.data(), 0, 9, 4, 0, RepairMethod::Smooth, 4, false, 2);
  // Second pass over 10,20,10,20,10: (0+10+20)/3, (10+20+10)/3, (20+10+20)/3, …, (20+10+0)/3
  const int16_t twice[] = {0, 0, 10, 13, 16, 13, 10, 0, 0, 0};
  for (int f = 0; f < 10; ++f) EXPECT_EQ(buf[2 * f], twice[f]) << "frame " << f;
}

TEST(RepairClickInBufferTest, AClickOutsideTheBlockChangesNothing) {
  auto buf = rampBuffer(10);
  const auto before = buf;
  RepairClickInBuffer(buf.data(), 100, 109, 99, 0, RepairMethod::Linear, 4, false);
  RepairClickInBuffer(buf.data(), 100, 109, 110, 1, RepairMethod::Smooth, 4, false);
  EXPECT_EQ(buf, before);
}

TEST(BezierCurveTest, RoundsHalvesToEvenAndReportsTheFirstLimitedValue) {
  std::vector<int16_t> got;
  auto put = [&](int32_t, int16_t v) { got.push_back(v); };
  EXPECT_EQ(bezierCurve(0, 1, 0, 1, 2, put), 0);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], 0);  // exactly 0.5

  got.clear();
  EXPECT_EQ(bezierCurve(0, 100, 0, 100, 4, put), 0);
  EXPECT_EQ(got, (std::vector<int16_t>{16, 50, 84}));  // 15.625, 50, 84.375

  got.clear();
  EXPECT_EQ(bezierCurve(32000, 32000, 20000, 20000, 10, put), 1);  // 40100 at k = 1
  EXPECT_EQ(got.front(), 32767);
  EXPECT_EQ(got.size(), 9u);

  got.clear();
  EXPECT_EQ(bezierCurve(5, 6, 0, 0, 1, put), 0);
  EXPECT_TRUE(got.empty());
}

// ---- Commands on a document ----

struct RepairCommandsTest : EditorTest {
  void open(const WavBuilder& b) {
    b.write(wav);
    ASSERT_TRUE(editor.OpenDocument(wav));
  }
  // left = 10·f, right = -10·f, with optional spikes.
  void openRamp(int32_t frames) {
    open(WavBuilder().frames(frames, [](int32_t f) {
      return Frame{static_cast<int16_t>(10 * f), static_cast<int16_t>(-10 * f)};
    }));
  }
  WaveFile& doc() { return *editor.doc; }
  int16_t at(int32_t frame, int channel) {
    int16_t v[2];
    doc().ReadFrames(true, v, frame, frame);
    return v[channel];
  }
  void select(int32_t s, int32_t e) {
    doc().selStart = s;
    doc().selEnd = e;
  }
  void store(std::initializer_list<Glitch> clicks) {
    editor.clicks.stored.emplace();
    for (const Glitch& g : clicks) editor.clicks.stored->Add(g.position, g.polarity, g.channel);
  }
  std::string lastCaption() { return doc().undoSteps.back()->caption; }
  int32_t lastCount() { return doc().undoSteps.back()->recordCount; }
};

TEST_F(RepairCommandsTest, LinearInterpolationDrawsALineBetweenTheSelectionEnds) {
  open(WavBuilder().frames(200, [](int32_t f) {
    const int16_t v = f == 105 ? 9999 : static_cast<int16_t>(10 * f);
    return Frame{v, static_cast<int16_t>(-v)};
  }));
  select(100, 110);
  editor.InterpLeftClick();
  EXPECT_EQ(at(105, 0), 1050);
  EXPECT_EQ(at(105, 1), -9999);
  EXPECT_EQ(lastCaption(), "Interpolate");
  EXPECT_EQ(lastCount(), 1);
  editor.InterpRightClick();
  EXPECT_EQ(at(105, 1), -1050);
  EXPECT_EQ(doc().undoSteps.size(), 2u);
  EXPECT_GE(host.repaints, 2);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(RepairCommandsTest, BothChannelsRespectTheEditSwitches) {
  openRamp(200);
  editor.ctx.editLeft = false;
  select(100, 110);
  editor.InterpBothClick();
  ASSERT_EQ(doc().undoSteps.size(), 1u);
  EXPECT_EQ(lastCount(), 1);
  EXPECT_EQ(doc().interps.back()->channel, 1);

  editor.ctx.editLeft = true;
  editor.ctx.editRight = false;
  select(20, 30);
  editor.BezierInterpolateBoth1Click();
  EXPECT_EQ(lastCount(), 1);
  EXPECT_EQ(doc().interps.back()->channel, 0);

  editor.ctx.editLeft = false;
  select(40, 50);
  editor.BezierInterpolateBoth1Click();
  editor.Silence1Click();
  EXPECT_EQ(doc().undoSteps.size(), 2u);  // nothing was written, so no step
}

TEST_F(RepairCommandsTest, BezierInterpolationUsesTheNeighboursOutsideTheSelection) {
  openRamp(200);
  select(105, 115);  // 1050 .. 1150 with 1040 before and 1160 after
  editor.BezierLeft1Click();
  // The same curve as 950..1050 shifted by 100.
  const int16_t expected[] = {1058, 1068, 1078, 1089, 1100, 1111, 1122, 1132, 1142};
  for (int k = 0; k < 9; ++k) EXPECT_EQ(at(106 + k, 0), expected[k]);
  const Interpolation& rec = *doc().interps.back();
  EXPECT_EQ(rec.start, 106);  // the anchors are not part of the record
  EXPECT_EQ(rec.end, 114);

  select(0, 6);  // at the file start the first sample is its own outer neighbour
  editor.BezierRight1Click();
  const int16_t start[] = {-3, -12, -24, -38, -50};
  for (int k = 0; k < 5; ++k) EXPECT_EQ(at(1 + k, 1), start[k]);
}

TEST_F(RepairCommandsTest, BezierOverTwoAdjacentFramesMakesNoRecord) {
  openRamp(50);
  select(10, 11);
  editor.BezierInterpolateBoth1Click();
  EXPECT_TRUE(doc().interps.empty());
  EXPECT_FALSE(doc().canUndo());
  editor.InterpBothClick();  // the line keeps both samples but is still a record
  EXPECT_EQ(lastCount(), 2);
  EXPECT_EQ(at(10, 0), 100);
  EXPECT_EQ(at(11, 0), 110);
}

TEST_F(RepairCommandsTest, ClippedCurvesAreMarkedOncePerChannel) {
  open(WavBuilder().frames(100, [](int32_t f) {
    const int16_t v = (f == 39 || f == 51) ? 20000 : 32000;
    return Frame{v, static_cast<int16_t>(-v)};
  }));
  select(40, 50);
  editor.BezierLeft1Click();
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].kind, MsgKind::Warning);
  EXPECT_EQ(host.messages[0].text, "Interpolation has resulted in clipping; marker added");
  ASSERT_EQ(editor.markers.size(), 1u);
  EXPECT_EQ(editor.markers.items[0].position, 41);
  EXPECT_EQ(editor.markers.items[0].kind, Marker::Left);
  EXPECT_EQ(editor.markers.items[0].count, 1);
  EXPECT_EQ(at(45, 0), 32767);

  editor.BezierInterpolateBoth1Click();
  EXPECT_EQ(host.messages.back().text, "Interpolation has resulted in clipping; markers added");
  ASSERT_EQ(editor.markers.size(), 3u);
  EXPECT_EQ(editor.markers.items[2].kind, Marker::Right);
  EXPECT_EQ(at(45, 1), -32768);

  // A channel that is not written is not marked.
  editor.ctx.editRight = false;
  editor.BezierRight1Click();
  EXPECT_EQ(editor.markers.size(), 3u);
  EXPECT_EQ(host.messages.size(), 2u);
}

TEST_F(RepairCommandsTest, SilenceIsAPairOfZeroLines) {
  openRamp(100);
  select(10, 20);
  editor.Silence1Click();
  ASSERT_EQ(doc().interps.size(), 2u);
  for (int c = 0; c < 2; ++c) {
    const Interpolation& r = *doc().interps[c];
    EXPECT_EQ(r.kind, Interpolation::Line);
    EXPECT_EQ(r.channel, c);
    EXPECT_EQ(r.start, 10);
    EXPECT_EQ(r.end, 20);
    EXPECT_EQ(r.startValue, 0);
    EXPECT_EQ(r.endValue, 0);
  }
  EXPECT_EQ(lastCaption(), "Silence");
  EXPECT_EQ(at(15, 0), 0);
  EXPECT_EQ(at(21, 0), 210);

  select(30, 30);
  editor.Silence1Click();
  EXPECT_EQ(doc().interps.size(), 2u);
}

// Left alternates 0, 30; right alternates 0, -31 (odd frames).
WavBuilder zigzag(int32_t frames) {
  return WavBuilder().frames(frames, [](int32_t f) {
    return f % 2 ? Frame{30, -31} : Frame{0, 0};
  });
}

TEST_F(RepairCommandsTest, SmoothAbrasionAveragesEachFrameWithItsOriginalNeighbours) {
  open(zigzag(100));
  select(10, 15);
  editor.SmoothSelection1Click();
  // prev = frame 9 (30); each mean uses the previous frame's value before this pass.
  const int16_t left[] = {20, 10, 20, 10, 20, 30};
  const int16_t right[] = {-20, -10, -20, -10, -20, -31};  // -62 div 3 truncates to -20
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(at(10 + k, 0), left[k]) << "frame " << 10 + k;
    EXPECT_EQ(at(10 + k, 1), right[k]) << "frame " << 10 + k;
  }
  EXPECT_EQ(lastCaption(), "Smooth");
  EXPECT_EQ(lastCount(), 2);
  EXPECT_EQ(host.progressCaptions.back(), " Smoothing:");
}

TEST_F(RepairCommandsTest, SmoothingPassesRestartFromTheContext) {
  open(zigzag(100));
  editor.ctx.settings.nsmoothings = 2;
  select(10, 15);
  editor.SmoothSelection1Click();
  const int16_t left[] = {20, 16, 13, 16, 20, 30};
  for (int k = 0; k < 6; ++k) EXPECT_EQ(at(10 + k, 0), left[k]) << "frame " << 10 + k;
}

TEST_F(RepairCommandsTest, SmoothAbrasionChunksReadTheirContextThroughTheNewRecords) {
  open(zigzag(30000));
  select(0, 20000);
  editor.SmoothSelection1Click();
  // Chunks 0..8998, 8999..17997, 17998..19999. Frame 0 is its own context.
  EXPECT_EQ(at(0, 0), 10);      // (0 + 0 + 30) / 3
  EXPECT_EQ(at(8998, 0), 20);   // (30 + 0 + 30) / 3
  EXPECT_EQ(at(8999, 0), 16);   // context is the smoothed 8998: (20 + 30 + 0) / 3
  EXPECT_EQ(at(19999, 0), 10);  // (0 + 30 + 0) / 3
  EXPECT_EQ(at(20000, 0), 0);   // the selection's last frame stays
  EXPECT_EQ(lastCount(), 6);
}

TEST_F(RepairCommandsTest, CancelledSmoothAbrasionKeepsTheChunksDone) {
  open(zigzag(30000));
  select(0, 20000);
  host.pumps = 0;
  host.cancelAtPump = 2;  // during the second chunk's progress step
  editor.SmoothSelection1Click();
  ASSERT_EQ(doc().undoSteps.size(), 1u);
  EXPECT_EQ(lastCaption(), "Smooth");
  EXPECT_EQ(lastCount(), 4);  // the second chunk's records hold its frames unsmoothed
  EXPECT_EQ(at(8998, 0), 20);
  EXPECT_EQ(at(9001, 0), 30);
  EXPECT_EQ(at(18001, 0), 30);
  EXPECT_EQ(doc().interps.back()->end, 17997);
}

// ---- Click repairs ----

TEST_F(RepairCommandsTest, RemoveCurrentClickByLineAndCurve) {
  open(WavBuilder().frames(300, [](int32_t f) {
    const int16_t v = f == 100 ? 20000 : static_cast<int16_t>(10 * f);
    return Frame{v, static_cast<int16_t>(-10 * f)};
  }));
  store({{100, 1, 0}});
  editor.params.repairWidth = 10;
  editor.params.repairMethod = RepairMethod::Linear;
  editor.clicks.current = 0;
  editor.RemoveCurrentClick1Click();
  EXPECT_EQ(at(100, 0), 1000);
  EXPECT_EQ(lastCaption(), "Remove Click");
  EXPECT_EQ(doc().interps.back()->start, 95);
  EXPECT_EQ(doc().interps.back()->end, 105);
  EXPECT_EQ(editor.clicks.storedCount(), 1);  // the click stays listed

  doc().Undo();
  editor.params.repairMethod = RepairMethod::Bezier;
  editor.RemoveCurrentClick1Click();
  const int16_t expected[] = {958, 968, 978, 989, 1000, 1011, 1022, 1032, 1042};
  for (int k = 0; k < 9; ++k) EXPECT_EQ(at(96 + k, 0), expected[k]);
  EXPECT_EQ(lastCount(), 1);
}

TEST_F(RepairCommandsTest, RemoveCurrentClickNeedsAValidIndex) {
  openRamp(300);
  store({{100, 1, 0}});
  editor.clicks.current = -1;
  editor.RemoveCurrentClick1Click();
  EXPECT_FALSE(doc().canUndo());
  EXPECT_TRUE(host.messages.empty());

  editor.clicks.current = 1;
  editor.RemoveCurrentClick1Click();
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "List Index Error (MAIN/9)");
  EXPECT_FALSE(doc().canUndo());

  store({{5000, 1, 0}});  // beyond the file (a click file of another recording)
  editor.clicks.current = 0;
  editor.RemoveCurrentClick1Click();
  EXPECT_TRUE(doc().interps.empty());
}

TEST_F(RepairCommandsTest, ClickNearTheFileStartStartsItsRangeAtZero) {
  openRamp(100);
  store({{2, 1, 1}});
  editor.params.repairWidth = 12;  // a = 0, b = 8
  editor.params.repairMethod = RepairMethod::Bezier;
  editor.clicks.current = 0;
  editor.RemoveCurrentClick1Click();
  // Right channel -10·f: before = the sample at 0, after = -90; P1 = 0, P2 = -80 + 20 = -60.
  std::vector<int16_t> expected;
  bezierCurve(0, -80, 0, -90, 8, [&](int32_t, int16_t v) { expected.push_back(v); });
  for (int k = 1; k < 8; ++k) EXPECT_EQ(at(k, 1), expected[k - 1]);
  EXPECT_EQ(doc().interps.back()->start, 1);
}

TEST_F(RepairCommandsTest, CopyPrecedingRepairBecomesTheRemoveClickStep) {
  open(WavBuilder().frames(300, [](int32_t f) {
    const int16_t v = f == 100 ? 20000 : static_cast<int16_t>(10 * f);
    return Frame{v, static_cast<int16_t>(-10 * f)};
  }));
  store({{100, 1, 0}});
  editor.params.repairWidth = 10;
  editor.params.repairMethod = RepairMethod::CopyPreceding;
  editor.clicks.current = 0;
  editor.RemoveCurrentClick1Click();
  // Frames 85..94 land on 95..104.
  for (int32_t f = 95; f <= 104; ++f) EXPECT_EQ(at(f, 0), 10 * (f - 10)) << "frame " << f;
  EXPECT_EQ(at(105, 0), 1050);
  EXPECT_EQ(at(100, 1), -1000);
  ASSERT_EQ(doc().undoSteps.size(), 1u);
  EXPECT_EQ(lastCaption(), "Remove Click");
  EXPECT_EQ(lastCount(), 1);
  EXPECT_EQ(host.progressCaptions.back(), " Copying:");

  doc().Undo();
  editor.smoothEdges = true;
  editor.RemoveCurrentClick1Click();
  // The copy and both seam curves (90..100, 100..110) form one step.
  ASSERT_EQ(doc().undoSteps.size(), 1u);
  EXPECT_EQ(lastCaption(), "Remove Click");
  EXPECT_EQ(lastCount(), 3);
  EXPECT_EQ(doc().interps.size(), 3u);
  doc().Undo();
  EXPECT_TRUE(doc().interps.empty());
  EXPECT_EQ(at(100, 0), 20000);
}

TEST_F(RepairCommandsTest, SmoothRepairUsesTheSmoothingCount) {
  open(zigzag(100));
  store({{20, 1, 0}});
  editor.params.repairWidth = 4;  // a = 18, b = 22: frames 18..21 are smoothed
  editor.params.repairMethod = RepairMethod::Smooth;
  editor.params.smoothingCount = 2;
  editor.clicks.current = 0;
  editor.RemoveCurrentClick1Click();
  // First pass from context 30 (frame 17): 20, 10, 20, 10; the second reads those through the
  // overlay, its context still frame 17: (30+20+10)/3, (20+10+20)/3, (10+20+10)/3, (20+10+0)/3.
  const int16_t expected[] = {20, 16, 13, 10};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(at(18 + k, 0), expected[k]) << "frame " << 18 + k;
  EXPECT_EQ(at(22, 0), 0);
  EXPECT_EQ(at(19, 1), -31);  // only the click's channel
  EXPECT_EQ(lastCount(), 2);
}

TEST_F(RepairCommandsTest, RemoveAllClicksReadsContextAsBeforeTheRunExceptTheLastRepair) {
  open(WavBuilder().frames(1000, [](int32_t f) {
    const int16_t v = f == 105 ? 5000 : static_cast<int16_t>(10 * f);
    return Frame{v, static_cast<int16_t>(-10 * f)};
  }));
  // A record from before the run under the last click's left anchor: it must be seen.
  auto rec = std::make_unique<Interpolation>();
  doc().BeginBlock(*rec, 394, 395, 0);
  doc().PutSample(*rec, 394, 7);
  doc().PutSample(*rec, 395, 7);
  doc().FinishBlock(*rec);
  doc().AddEdit(std::move(rec), 0);
  doc().CommitEdit(1, "Interpolate");

  // Lines over 95..105, 101..111, 195..205, 101..111 again (after an unrelated repair) and
  // 395..405.
  store({{100, 1, 0}, {106, 1, 0}, {200, 1, 0}, {106, 0, 0}, {400, 1, 0}});
  editor.params.repairWidth = 10;
  editor.params.repairMethod = RepairMethod::Linear;
  editor.RemoveAllClicks1Click();

  ASSERT_EQ(doc().interps.size(), 6u);
  const Interpolation& first = *doc().interps[1];
  EXPECT_EQ(first.startValue, 950);
  EXPECT_EQ(first.endValue, 5000);
  const Interpolation& second = *doc().interps[2];
  EXPECT_EQ(second.start, 101);
  EXPECT_EQ(second.startValue, 3380);  // the repair just before it: 950 + 4050·6 div 10
  EXPECT_EQ(second.endValue, 1110);
  const Interpolation& fourth = *doc().interps[4];
  EXPECT_EQ(fourth.start, 101);
  EXPECT_EQ(fourth.startValue, 1010);  // neither the first nor the second repair: the file
  EXPECT_EQ(doc().interps[5]->startValue, 7);
  EXPECT_EQ(doc().interps[5]->endValue, 4050);

  EXPECT_EQ(host.messages.back().text, "5 Clicks Removed");
  EXPECT_EQ(host.messages.back().kind, MsgKind::Information);
  ASSERT_EQ(doc().undoSteps.size(), 2u);
  EXPECT_EQ(lastCaption(), "Remove All Clicks");
  EXPECT_EQ(lastCount(), 5);
  EXPECT_EQ(editor.clicks.storedCount(), 5);
  EXPECT_EQ(host.progressCaptions.back(), " Removing:");
}

// A measured click at the start of a step: AR Interpolate rebuilds its frames and takes the
// decaying tail away after them, within the repair width, in one record.
TEST_F(RepairCommandsTest, RemoveAllClicksTakesAStepsTailAwayWithinTheRepairWidth) {
  const int32_t frames = 4000, jump = 2000;
  std::mt19937 rng(5);
  std::normal_distribution<double> noise(0.0, 20.0);
  std::vector<int16_t> clean(frames), damaged(frames);
  for (int32_t f = 0; f < frames; ++f) {
    clean[f] = static_cast<int16_t>(
        std::lround(3000 * std::sin(f * 0.17) + 1500 * std::sin(f * 0.55) + noise(rng)));
    damaged[f] = clean[f];
  }
  for (int k = 0; k < 60; ++k)
    damaged[jump + k] =
        static_cast<int16_t>(damaged[jump + k] + std::lround(6000 * std::exp(-k / 9.0)));
  open(WavBuilder().frames(frames, [&](int32_t f) { return Frame{damaged[f], clean[f]}; }));
  editor.clicks.stored.emplace();
  editor.clicks.stored->Add(jump, 1, 0, 2);  // two disturbed frames measured
  editor.params.repairWidth = 60;
  editor.params.repairMethod = RepairMethod::ArInterpolate;
  editor.RemoveAllClicks1Click();

  ASSERT_EQ(doc().interps.size(), 1u);
  const Interpolation& r = *doc().interps[0];
  EXPECT_EQ(r.start, jump - kSpanPad);
  EXPECT_GT(r.end, jump + 30);
  EXPECT_LE(r.end, jump + 2 + kSpanPad + 58);
  double before = 0, after = 0;
  for (int32_t f = 0; f < frames; ++f) {
    if (f < r.start || f > r.end) {
      ASSERT_EQ(at(f, 0), damaged[f]) << f;
      continue;
    }
    before += (damaged[f] - clean[f]) * (damaged[f] - clean[f]);
    after += (at(f, 0) - clean[f]) * (at(f, 0) - clean[f]);
  }
  EXPECT_LT(after * 50, before);
}

// An AR repair that is refused (it would reach far beyond the sound around the gap) leaves no
// record behind.
TEST_F(RepairCommandsTest, ARefusedArRepairMakesNoRecord) {
  // A slow tone whose peak is wiped out over more than a third of its period (see the model's
  // own test): the model would rebuild it three times above the frames around the gap.
  open(WavBuilder().frames(4000, [](int32_t f) {
    const auto v =
        f >= 1940 && f <= 2060
            ? int16_t{0}
            : static_cast<int16_t>(std::lround(10000 * std::cos(2 * M_PI * (f - 2000) / 300.0)));
    return Frame{v, v};
  }));
  editor.clicks.stored.emplace();
  editor.clicks.stored->Add(1942, 1, 0, 117);  // disturbed frames 1940 .. 2060
  editor.clicks.current = 0;
  editor.params.repairWidth = 117;
  editor.params.repairMethod = RepairMethod::ArInterpolate;
  editor.RemoveCurrentClick1Click();
  EXPECT_TRUE(doc().interps.empty());
  EXPECT_FALSE(doc().canUndo());
  editor.RemoveAllClicks1Click();
  EXPECT_TRUE(doc().interps.empty());
  EXPECT_FALSE(doc().canUndo());
  for (int32_t f = 1940; f <= 2060; ++f) ASSERT_EQ(at(f, 0), 0) << f;
}

TEST_F(RepairCommandsTest, RemoveAllClicksSkipsChannelsThatAreNotEdited) {
  openRamp(1000);
  store({{100, 1, 0}, {200, 1, 1}, {300, 1, 0}});
  editor.params.repairWidth = 10;
  editor.params.repairMethod = RepairMethod::Bezier;
  editor.ctx.editLeft = false;
  editor.RemoveAllClicks1Click();
  EXPECT_EQ(host.messages.back().text, "3 Clicks Removed");
  EXPECT_EQ(lastCount(), 1);
  EXPECT_EQ(doc().interps.back()->channel, 1);
}

TEST_F(RepairCommandsTest, RemoveAllClicksWithNoClicksMakesNoStep) {
  openRamp(100);
  editor.RemoveAllClicks1Click();  // no stored list: nothing at all
  EXPECT_TRUE(host.messages.empty());
  store({});
  editor.RemoveAllClicks1Click();
  EXPECT_EQ(host.messages.back().text, "0 Clicks Removed");
  EXPECT_FALSE(doc().canUndo());
}

TEST_F(RepairCommandsTest, CancelledRemoveAllClicksCommitsTheClicksVisited) {
  openRamp(1000);
  store({{100, 1, 0}, {200, 1, 0}, {300, 1, 0}, {400, 1, 0}});
  editor.params.repairWidth = 10;
  editor.params.repairMethod = RepairMethod::Linear;
  host.pumps = 0;
  host.cancelAtPump = 2;  // Cancel while the second click is reached: it is still repaired
  editor.RemoveAllClicks1Click();
  EXPECT_EQ(host.messages.back().text, "2 Clicks Removed");
  EXPECT_EQ(lastCaption(), "Remove All Clicks");
  EXPECT_EQ(lastCount(), 2);
}

TEST_F(RepairCommandsTest, CancelSurvivesACopyPrecedingRepair) {
  openRamp(1000);
  store({{100, 1, 0}, {200, 1, 0}, {300, 1, 0}});
  editor.params.repairWidth = 10;
  editor.params.repairMethod = RepairMethod::CopyPreceding;
  // The run's first pump is 1; the copy of click 0 pumps once (2); Cancel at the run's second.
  host.pumps = 0;
  host.cancelAtPump = 3;
  editor.RemoveAllClicks1Click();
  EXPECT_EQ(host.messages.back().text, "2 Clicks Removed");
  ASSERT_EQ(doc().undoSteps.size(), 1u);
  EXPECT_EQ(lastCount(), 2);
}

TEST_F(RepairCommandsTest, ManyClicksAreRemovedInOneStep) {
  open(WavBuilder().frames(30000, [](int32_t f) {
    return Frame{static_cast<int16_t>(f % 1000), static_cast<int16_t>(-(f % 1000))};
  }));
  editor.clicks.stored.emplace();
  for (int32_t p = 10; p < 30000 - 10; p += 5) editor.clicks.stored->Add(p, 1, p % 2);
  editor.params.repairWidth = 6;
  editor.params.repairMethod = RepairMethod::Bezier;
  editor.RemoveAllClicks1Click();
  const int32_t n = editor.clicks.storedCount();
  EXPECT_EQ(n, 5996);
  EXPECT_EQ(host.messages.back().text, std::to_string(n) + " Clicks Removed");
  ASSERT_EQ(doc().undoSteps.size(), 1u);
  EXPECT_EQ(lastCount(), n);
  EXPECT_EQ(doc().interps.size(), static_cast<size_t>(n));
}

// ---- The declick preview's buffers ----

TEST_F(RepairCommandsTest, PreviewBuffersAreDeclickedInPlaceAcrossSubBlocks) {
  openRamp(100);  // the preview reads nothing from the file
  std::vector<int16_t> buf(2 * 20000, 0);
  buf[2 * 100] = 9000;       // frame 1100
  buf[2 * 8998 + 1] = 9000;  // frame 9998, at the end of the first sub-block
  buf[2 * 15000] = -9000;    // frame 16000
  editor.params.shape = ClickShape::InstantRise;
  editor.params.relAmplitude = 2500;
  editor.params.clickWidth = 5;
  editor.params.repairWidth = 10;
  editor.params.repairMethod = RepairMethod::Linear;
  auto clean = buf;

  editor.params.declickingOn = false;
  EXPECT_EQ(editor.DeclickPreviewBuffer(buf.data(), 1000, 20999), 0);
  EXPECT_EQ(buf, clean);

  editor.params.declickingOn = true;
  editor.clicks.falseClicks.Add(16000, 0, 0);
  EXPECT_EQ(editor.DeclickPreviewBuffer(buf.data(), 1000, 20999), 2);
  EXPECT_EQ(buf[2 * 100], 0);
  EXPECT_EQ(buf[2 * 8998 + 1], 0);
  EXPECT_EQ(buf[2 * 15000], -9000);  // listed as false
  EXPECT_TRUE(doc().interps.empty());
}

// ---- The block copy under the Copy Preceding repair ----

TEST_F(RepairCommandsTest, BlockCopyStaysInsideTheFile) {
  openRamp(100);
  BlockCopyOptions options;
  // Source reaching before frame 0 and destination past the end are cut away.
  EXPECT_EQ(CopyEarlierBlock(doc(), editor.markers, -5, false, true, 0, 5, options), 1);
  EXPECT_EQ(doc().interps.back()->start, 5);
  EXPECT_EQ(doc().interps.back()->end, 9);
  EXPECT_EQ(at(5, 0), 0);
  EXPECT_EQ(CopyEarlierBlock(doc(), editor.markers, 80, true, true, 95, 90, options), 2);
  EXPECT_EQ(doc().interps.back()->end, 99);
  EXPECT_EQ(at(99, 1), -840);
  EXPECT_EQ(lastCaption(), "Copy Block");
  EXPECT_EQ(doc().interps[1]->partner, doc().interps[2].get());
  EXPECT_EQ(CopyEarlierBlock(doc(), editor.markers, 100, true, true, 0, 110, options), 0);
}

}  // namespace
}  // namespace tolmar::test
