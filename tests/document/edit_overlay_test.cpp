#include <gtest/gtest.h>

#include <random>

#include "support/doc_fixture.h"

namespace tolmar::test {
namespace {

// Staircase file: frame i holds left = i, right = -i.
class OverlayTest : public ::testing::Test {
 protected:
  DocFixture fx;
  void SetUp() override { fx.open(WavBuilder().staircase(5000)); }
  WaveFile& doc() { return *fx.doc; }
};

TEST_F(OverlayTest, ReadsTheFileAndSilenceOutsideIt) {
  auto buf = fx.read(-10, 5);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(buf[2 * i], 0);
    EXPECT_EQ(buf[2 * i + 1], 0);
  }
  for (int f = 0; f <= 5; ++f) {
    EXPECT_EQ(buf[2 * (f + 10)], f);
    EXPECT_EQ(buf[2 * (f + 10) + 1], -f);
  }
  auto tail = fx.read(4998, 5003);
  EXPECT_EQ(tail[0], 4998);
  EXPECT_EQ(tail[2], 4999);
  for (size_t i = 4; i < tail.size(); ++i) EXPECT_EQ(tail[i], 0) << i;
  // Ranges wholly before or after the file: silence, and nothing written past the buffer
  // (the guard frames around it must survive).
  for (auto [first, last] : {std::pair{-300, -200}, std::pair{6000, 6100}}) {
    const size_t frames = static_cast<size_t>(last - first + 1);
    std::vector<int16_t> guarded(2 * (frames + 2), 7);
    doc().ReadFrames(false, guarded.data() + 2, first, last);
    for (size_t i = 0; i < guarded.size(); ++i)
      EXPECT_EQ(guarded[i], i < 2 || i >= guarded.size() - 2 ? 7 : 0) << first << " " << i;
  }
}

TEST_F(OverlayTest, NewerRecordWinsInTheOverlapAndOtherChannelIsUntouched) {
  fx.block(100, 199, 0, [](int32_t) { return 1111; });
  fx.block(150, 249, 0, [](int32_t) { return 2222; });
  auto buf = fx.read(90, 260);
  for (int32_t f = 90; f <= 260; ++f) {
    const int16_t l = buf[2 * (f - 90)];
    const int16_t r = buf[2 * (f - 90) + 1];
    if (f < 100 || f > 249)
      EXPECT_EQ(l, f);
    else if (f < 150)
      EXPECT_EQ(l, 1111);
    else
      EXPECT_EQ(l, 2222);
    EXPECT_EQ(r, -f);
  }
  int16_t v = 0;
  ASSERT_TRUE(doc().EditedSampleAt(160, 0, v));
  EXPECT_EQ(v, 2222);
  ASSERT_TRUE(doc().EditedSampleAt(120, 0, v));
  EXPECT_EQ(v, 1111);
  EXPECT_FALSE(doc().EditedSampleAt(120, 1, v));
  EXPECT_FALSE(doc().EditedSampleAt(250, 0, v));
}

TEST_F(OverlayTest, StraightLineRecordsInterpolateWithTruncation) {
  Interpolation* r = doc().AddLinearEdit(20, 10, 200, 100, 1);  // given backwards
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->start, 10);
  EXPECT_EQ(r->end, 20);
  EXPECT_EQ(doc().SampleAt(*r, 15), 150);
  EXPECT_EQ(doc().SampleAt(*r, 10), 100);
  EXPECT_EQ(doc().SampleAt(*r, 20), 200);
  // -7 * 1 / 3 truncates toward zero: 0 - 2 = -2.
  Interpolation* down = doc().AddLinearEdit(0, 3, 0, -7, 0);
  EXPECT_EQ(doc().SampleAt(*down, 1), -2);
  EXPECT_EQ(doc().AddLinearEdit(5, 5, 1, 2, 0), nullptr);
  // A long steep line must not overflow.
  Interpolation* steep = doc().AddLinearEdit(0, 4999, -32768, 32767, 0);
  EXPECT_EQ(doc().SampleAt(*steep, 4999), 32767);
  EXPECT_EQ(doc().SampleAt(*steep, 2500), static_cast<int16_t>(-32768 + 65535LL * 2500 / 4999));
  EXPECT_EQ(steep->peaks.front(), 32768);
}

TEST_F(OverlayTest, EditSwitchesDecideWhichRecordsAreKept) {
  fx.ctx.editLeft = false;
  EXPECT_EQ(fx.block(0, 9, 0, [](int32_t) { return 5; }), nullptr);
  EXPECT_NE(fx.block(0, 9, 1, [](int32_t) { return 5; }), nullptr);
  EXPECT_EQ(doc().interps.size(), 1u);
  fx.ctx.editLeft = true;
  fx.ctx.editRight = false;
  EXPECT_EQ(doc().AddLinearEdit(0, 9, 1, 2, 1), nullptr);
  EXPECT_NE(doc().AddLinearEdit(0, 9, 1, 2, 0), nullptr);
}

TEST_F(OverlayTest, CancelledBlockEndsAtTheLastFramePut) {
  auto rec = std::make_unique<Interpolation>();
  doc().BeginBlock(*rec, 1990, 2100, 0);
  for (int32_t f = 1990; f <= 2010; ++f) doc().PutSample(*rec, f, -3000);
  doc().FinishBlock(*rec);
  EXPECT_EQ(rec->end, 2010);
  EXPECT_EQ(rec->byteSize, 21 * 2);
  EXPECT_EQ(rec->firstBlock, 2);
  EXPECT_EQ(rec->lastBlock, 3);
  ASSERT_EQ(rec->peaks.size(), 2u);
  EXPECT_EQ(rec->peaks[0], 3000);
  EXPECT_EQ(rec->peaks[1], 3000);
  doc().AddEdit(std::move(rec), 0);
  auto buf = fx.read(2009, 2012);
  EXPECT_EQ(buf[0], -3000);
  EXPECT_EQ(buf[2], -3000);
  EXPECT_EQ(buf[4], 2011);  // the file again past the end of the record
}

// Any mix of records, read at any offset, must show the newest active record per frame.
TEST_F(OverlayTest, IndexedReadsMatchAPlainScanOverRandomRecords) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> startDist(-50, 5000);
  std::uniform_int_distribution<int> lenDist(1, 300);
  for (int i = 0; i < 600; ++i) {
    const int32_t s = std::max(0, startDist(rng));
    const int32_t e = std::min(4999, s + lenDist(rng) - 1);
    const int ch = static_cast<int>(rng() % 2);
    if (i % 7 == 0) {
      doc().AddLinearEdit(s, e == s ? s + 1 : e, static_cast<int16_t>(i), static_cast<int16_t>(-i),
                          ch);
    } else if (i % 97 == 0) {
      fx.block(0, 4999, ch, [i](int32_t f) { return (f * 3 + i) % 20000; });  // one long record
    } else {
      fx.block(s, e, ch, [i](int32_t f) { return (f + i * 13) % 30000; });
    }
    if (i % 50 == 0) {
      doc().interps[rng() % doc().interps.size()]->active = false;
    }
    if (i % 40 == 39) {
      // Reads in the middle of building exercise the index's unsorted tail.
      const int32_t a = static_cast<int32_t>(rng() % 5000);
      const int32_t b = std::min(4999, a + static_cast<int32_t>(rng() % 700));
      auto got = fx.read(a, b);
      for (int32_t f = a; f <= b; ++f) {
        for (int ch2 = 0; ch2 < 2; ++ch2) {
          int16_t want = static_cast<int16_t>(ch2 == 0 ? f : -f);
          for (const auto& r : doc().interps)
            if (r->active && r->channel == ch2 && r->covers(f)) want = doc().SampleAt(*r, f);
          ASSERT_EQ(got[2 * (f - a) + ch2], want) << "frame " << f << " channel " << ch2;
        }
      }
    }
  }
}

TEST(BigEditStoreTest, SpilledRecordsReadBackAndOrganiseRetiresHiddenOnes) {
  DocFixture fx;
  fx.ctx.settings.bigeditsinmemory = false;
  fx.ctx.settings.bigeditthresh = 0;
  WaveFile& doc = fx.open(WavBuilder().staircase(40000));
  ASSERT_TRUE(doc.BeginLargeEdit(0, 39999, 9000));
  EXPECT_TRUE(doc.bigEditMode);
  auto* a = fx.block(0, 8999, 0, [](int32_t f) { return f % 1000; });
  auto* b = fx.block(0, 8999, 0, [](int32_t f) { return -(f % 500); });  // hides a entirely
  auto* c = fx.block(9000, 17999, 0, [](int32_t) { return 7; });
  auto* d = fx.block(13000, 20000, 0, [](int32_t) { return 9; });  // hides c's upper part
  auto* small = fx.block(30000, 30100, 0, [](int32_t) { return 1; });
  EXPECT_TRUE(a->spilled);
  EXPECT_TRUE(a->samples.empty());
  EXPECT_TRUE(c->spilled);
  EXPECT_FALSE(small->spilled);  // below 2 x chunk - 2 bytes stays in memory
  ASSERT_TRUE(doc.store.isOpen());
  EXPECT_EQ(fx.read(4000, 4000)[0], -(4000 % 500));
  EXPECT_EQ(doc.SampleAt(*a, 4321), 321);
  EXPECT_EQ(fx.read(12000, 12000)[0], 7);

  doc.overlayNonEmpty = true;
  doc.EndLargeEdit();
  EXPECT_FALSE(doc.bigEditMode);
  EXPECT_FALSE(a->active);
  EXPECT_TRUE(c->active);
  EXPECT_EQ(c->effStart, 9000);
  EXPECT_EQ(c->effEnd, 12999);
  EXPECT_TRUE(b->active && d->active);
  // Retiring a hidden record changes nothing that is heard.
  EXPECT_EQ(fx.read(4000, 4000)[0], -(4000 % 500));
  const std::string storePath = doc.store.path();
  EXPECT_TRUE(std::filesystem::exists(storePath));
  fx.doc.reset();
  EXPECT_FALSE(std::filesystem::exists(storePath));
}

TEST(BigEditStoreTest, LargeEditWarningAsksBeforeProceeding) {
  DocFixture fx;
  fx.ctx.settings.bigeditsinmemory = false;
  fx.ctx.settings.bigeditthresh = 0;
  WaveFile& doc = fx.open(WavBuilder().staircase(20000));
  doc.BeginLargeEdit(0, 19999, 9000);
  fx.block(0, 8999, 0, [](int32_t) { return 1; });
  doc.CommitEdit(1, "Amplify/Compress");
  doc.EndLargeEdit();
  fx.host.answers = {Answer::No};
  EXPECT_FALSE(doc.BeginLargeEdit(0, 100, 9000));
  ASSERT_EQ(fx.host.questions.size(), 1u);
  EXPECT_EQ(fx.host.questions[0].text,
            "There are unsaved large edits (Amplify/Compress).\r\rThis means that this operation "
            "is likely to run very slowly. It would be better to review the current set of "
            "edits and save (or undo) them before proceeding.\r\rDo you wish to proceed anyway?");
  fx.ctx.batchRunning = true;  // automation never asks
  EXPECT_TRUE(doc.BeginLargeEdit(0, 100, 9000));
  EXPECT_EQ(fx.host.questions.size(), 1u);
}

TEST(BigEditStoreTest, SixtyOneSecondsSpillEachFullChunkAndKeepTheLastInMemory) {
  DocFixture fx;
  fx.ctx.settings.bigeditsinmemory = false;
  fx.ctx.settings.bigeditthresh = 60;
  const int32_t n = 61 * 44100;
  WaveFile& doc = fx.open(WavBuilder().frames(n, [](int32_t) { return Frame{1, 1}; }));
  ASSERT_TRUE(doc.BeginLargeEdit(0, n - 1, 9000));
  ASSERT_TRUE(doc.bigEditMode);
  int spilled = 0, inMemory = 0;
  for (int32_t s = 0; s < n; s += 9000) {
    auto* r = fx.block(s, std::min(n - 1, s + 8999), 0, [](int32_t) { return 2; });
    (r->spilled ? spilled : inMemory)++;
  }
  EXPECT_EQ(spilled, n / 9000);
  EXPECT_EQ(inMemory, 1);
}

}  // namespace
}  // namespace tolmar::test
