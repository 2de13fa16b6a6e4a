#include "declick/detection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <tuple>
#include <vector>

#include "support/click_tuples.h"
#include "support/doc_fixture.h"

namespace tolmar::test {
namespace {

// An interleaved buffer of `frames` silent frames; the first frame is `start`.
struct Buffer {
  explicit Buffer(int32_t frames, int32_t start = 0)
      : samples(2 * static_cast<size_t>(frames), 0), first(start) {}
  int16_t& at(int32_t frame, int channel) {
    return samples[2 * static_cast<size_t>(frame - first) + static_cast<size_t>(channel)];
  }
  int16_t at(int32_t frame, int channel) const {
    return samples[2 * static_cast<size_t>(frame - first) + static_cast<size_t>(channel)];
  }
  int32_t last() const { return first + static_cast<int32_t>(samples.size() / 2) - 1; }
  std::vector<int16_t> samples;
  int32_t first;
};

struct Result {
  int32_t count = 0;
  GlitchList stored;
};

DeclickParams paramsFor(ClickShape shape) {
  DeclickParams p;
  p.shape = shape;
  return p;
}

Result scan(Buffer& b, const DeclickParams& p, const GlitchList& falseClicks = {}) {
  const bool keepGoing = true;
  ClickDetector detector(p, falseClicks, keepGoing);
  Result r;
  r.count = detector.FindClicksInBlock(b.samples.data(), b.samples.size() / 2, b.first, b.last(),
                                       &r.stored, false);
  return r;
}

// ---- Window statistics and the jump pre-test ----

// One window of 250 frames, a step of `height` at frame 100 of the left channel. The window's
// steps add up to `height`, below the 249 differences, so the average step is 1 and any jump of
// relative amplitude / 100 = 20 counts.
TEST(Detection, NearlySilentWindowHasAverageStepOne) {
  for (int height : {20, 19}) {
    Buffer b(250);
    for (int32_t f = 100; f < 250; ++f) b.at(f, 0) = static_cast<int16_t>(height);
    const Result r = scan(b, paramsFor(ClickShape::Step));
    if (height == 20) {
      EXPECT_EQ(r.count, 1);
      EXPECT_EQ(clicksOf(r.stored), (std::vector<Click>{{100, 1, 0}}));  // the frame after
    } else {
      EXPECT_EQ(r.count, 0) << "2000 div 1 reaches 2000, 1900 does not";
    }
  }
}

// The same step of 20: frames 100..248 add up to 2980, so the mean level is 2980 div 249 = 11,
// and the jump's 2000 div 11 is 181: a level threshold of 181 lets it through, 182 does not.
TEST(Detection, LevelThresholdComparesWithTheWindowsMeanLevel) {
  for (int threshold : {181, 182}) {
    Buffer b(250);
    for (int32_t f = 100; f < 250; ++f) b.at(f, 0) = 20;
    DeclickParams p = paramsFor(ClickShape::Step);
    p.levelThreshold = static_cast<int16_t>(threshold);
    EXPECT_EQ(scan(b, p).count, threshold == 181 ? 1 : 0) << threshold;
  }
}

// Samples adding up to 0 give mean level 1: the jump 0 -> 30 at 100 is 3000 "percent", the
// jump 30 -> -30 at 101 is 6000 (and is skipped when the first one was a click).
TEST(Detection, AWindowWithoutLevelHasMeanLevelOne) {
  const std::vector<std::pair<int, std::vector<Click>>> cases = {
      {3000, {{101, 1, 0}}}, {3001, {{102, 0, 0}}}, {6000, {{102, 0, 0}}}, {6001, {}}};
  for (const auto& [threshold, expected] : cases) {
    Buffer b(250);
    b.at(101, 0) = 30;
    b.at(102, 0) = -30;
    DeclickParams p = paramsFor(ClickShape::Step);
    p.levelThreshold = static_cast<int16_t>(threshold);
    EXPECT_EQ(clicksOf(scan(b, p).stored), expected) << threshold;
  }
}

// ---- The shapes ----

TEST(Detection, StepCountsEveryLargeJumpWhateverFollows) {
  Buffer b(250);
  for (int32_t f = 50; f < 250; ++f) b.at(f, 1) = 1000;   // right: up and stays up
  for (int32_t f = 150; f < 250; ++f) b.at(f, 1) = 3000;  // and again
  const Result r = scan(b, paramsFor(ClickShape::Step));
  EXPECT_EQ(clicksOf(r.stored), (std::vector<Click>{{50, 1, 1}, {150, 1, 1}}));
}

// Average step: the pulse at 200..209 gives 2 * 1245 and the spike 6 + 2 + 22 + 30, so
// 2550 div 249 = 10. At pos 50 the jump 0 -> 6 passes (600 div 10 = 60 >= 50), but only
// x[3] - x[0] = 30 exceeds 10: r = 3, the click is at 50 + 3 - 2 = 51. The pulse's edges are
// met at c = 1: 199 + 1 - 2 = 198 upwards and 209 + 1 - 2 = 208 downwards.
TEST(Detection, SpikeReportsTheFirstFrameBeyondTheAverageStep) {
  Buffer b(250);
  b.at(51, 0) = 6;
  b.at(52, 0) = 8;
  b.at(53, 0) = 30;
  for (int32_t f = 200; f <= 209; ++f) b.at(f, 0) = 1245;
  DeclickParams p = paramsFor(ClickShape::Spike);
  p.relAmplitude = 50;
  const Result r = scan(b, p);
  EXPECT_EQ(clicksOf(r.stored), (std::vector<Click>{{51, 1, 0}, {198, 1, 0}, {208, 0, 0}}));
  EXPECT_EQ(r.count, 3);
}

TEST(Detection, SpikeAtTheFirstFrameOfTheFileIsPlacedOnFrameZero) {
  Buffer b(250);
  b.at(1, 0) = 1000;
  b.at(2, 0) = 0;
  Result r = scan(b, paramsFor(ClickShape::Spike));
  EXPECT_EQ(clicksOf(r.stored), (std::vector<Click>{{0, 1, 0}}));  // 0 + 1 - 2 would be -1

  // Repaired there too: a straight line over frames 0..7 (repair width 15) flattens frame 1.
  DeclickParams p = paramsFor(ClickShape::Spike);
  p.repairMethod = RepairMethod::Linear;
  const bool keepGoing = true;
  const GlitchList none;
  ClickDetector detector(p, none, keepGoing);
  EXPECT_EQ(detector.FindClicksInBlock(b.samples.data(), 250, 0, 249, nullptr, true), 1);
  EXPECT_EQ(b.at(1, 0), 0);
}

// At pos 100: x[1] = 0, then -20, -50, -10, 5. The trough (-50 at c = 3) comes before the
// peak (5 at c = 5): polarity 0, a = |0 - (-50)| = 50, b = 55, the click sits on the trough.
// Average step 110 div 249 and mean level 75 div 249 are both 0, so both are 1.
TEST(Detection, HillReportsTheFrameOfTheExtreme) {
  Buffer b(250);
  const int16_t hill[] = {-20, -50, -10, 5};
  for (int i = 0; i < 4; ++i) b.at(102 + i, 0) = hill[i];
  const Result r = scan(b, paramsFor(ClickShape::Hill));
  EXPECT_EQ(clicksOf(r.stored), (std::vector<Click>{{103, 0, 0}}));
}

TEST(Detection, HillNeedsSamplesBothAboveAndBelowTheSecondOne) {
  // A dip back to exactly the level before it: nothing after x[1] = 0 rises above it.
  Buffer b(250);
  b.at(120, 0) = -1000;
  EXPECT_EQ(scan(b, paramsFor(ClickShape::Hill)).count, 0);
  // A step down: nothing after it rises, nothing before it falls.
  Buffer s(250);
  for (int32_t f = 120; f < 250; ++f) s.at(f, 0) = -1000;
  EXPECT_EQ(scan(s, paramsFor(ClickShape::Hill)).count, 0);
}

// With the level threshold at 0 the test is still "greater than": over a DC level of 10000 the
// mean level is 9999 and 50 * 100 div 9999 = 0 is not greater than 0.
TEST(Detection, HillLevelTestIsStrictEvenAtThresholdZero) {
  for (int dc : {0, 10000}) {
    Buffer b(250);
    for (int32_t f = 0; f < 250; ++f) b.at(f, 0) = static_cast<int16_t>(dc);
    const int16_t hill[] = {-20, -50, -10, 5};
    for (int i = 0; i < 4; ++i) b.at(102 + i, 0) = static_cast<int16_t>(dc + hill[i]);
    EXPECT_EQ(scan(b, paramsFor(ClickShape::Hill)).count, dc == 0 ? 1 : 0) << dc;
  }
}

// The Hill scan written out from its definition (windows, statistics with their divisions,
// the running maximum and minimum), to check the engine's faster one against.
GlitchList referenceHills(const Buffer& b, const DeclickParams& p) {
  GlitchList out;
  const int32_t w = p.clickWidth, be = b.last();
  int32_t ws = b.first;
  for (;;) {
    const int32_t we = std::min(ws + p.windowSize - 1, be);
    int32_t average[2], mean[2];
    for (int ch = 0; ch < 2; ++ch) {
      int64_t steps = 0, sum = 0;
      for (int32_t i = ws; i < we; ++i) {
        steps += std::abs(b.at(i, ch) - b.at(i + 1, ch));
        sum += b.at(i, ch);
      }
      average[ch] = std::max<int32_t>(1, static_cast<int32_t>(steps / (we - ws)));
      mean[ch] = std::max<int32_t>(1, static_cast<int32_t>(std::abs(sum / (we - ws))));
    }
    int32_t skipUntil[2] = {-1, -1};
    for (int32_t pos = ws; pos <= we - (w + 1); ++pos) {
      for (int ch = 0; ch < 2; ++ch) {
        if ((ch == 0 ? !p.processLeft : !p.processRight) || skipUntil[ch] >= pos) continue;
        const auto x = [&](int32_t k) { return static_cast<int32_t>(b.at(pos + k, ch)); };
        int32_t max = x(1), min = x(1), imax = -1, imin = -1;
        for (int32_t c = 2; c <= w; ++c) {
          if (x(c) > max) max = x(c), imax = c;
          if (x(c) < min) min = x(c), imin = c;
        }
        if (imax == -1 || imin == -1) continue;
        const bool troughFirst = imax > imin;
        const int32_t a = troughFirst ? std::abs(x(0) - min) : std::abs(max - x(0));
        const int32_t k = troughFirst ? imin : imax;
        const int32_t bb = std::abs(max - min);
        if (a * 100 / average[ch] > p.relAmplitude && bb * 100 / average[ch] > p.relAmplitude &&
            a * 100 / mean[ch] > p.levelThreshold && bb * 100 / mean[ch] > p.levelThreshold) {
          out.Add(pos + k, troughFirst ? 0 : 1, static_cast<uint8_t>(ch));
          skipUntil[ch] = pos + w;
        }
      }
    }
    if (we == be) break;
    ws = we - (w + 2);
  }
  return out;
}

TEST(Detection, HillAgreesWithItsDefinitionOnNoisySound) {
  std::mt19937 rng(7);
  size_t total = 0;
  for (int round = 0; round < 60; ++round) {
    const int32_t frames = round % 3 == 0 ? 9000 : 700;
    Buffer b(frames, round % 2 ? 12345 : 0);
    std::normal_distribution<double> noise(0.0, 50.0 + 40.0 * (round % 5));
    for (int32_t f = b.first; f <= b.last(); ++f)
      for (int ch = 0; ch < 2; ++ch) {
        double v = noise(rng) + (ch ? -1 : 1) * 3000.0 * std::sin(f * 0.01);
        if (rng() % 97 == 0) v += (rng() % 2 ? 1 : -1) * 8000.0;  // clicks
        b.at(f, ch) = static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
      }
    DeclickParams p = paramsFor(ClickShape::Hill);
    const int16_t widths[] = {2, 3, 5, 9, 17, 40};
    const int16_t amplitudes[] = {50, 300, 2000};
    p.clickWidth = widths[round % 6];
    p.relAmplitude = amplitudes[round % 3];
    p.levelThreshold = static_cast<int16_t>(round % 4 == 0 ? 50 : 0);
    p.processLeft = round % 7 != 3;
    const Result r = scan(b, p);
    const GlitchList expected = referenceHills(b, p);
    ASSERT_EQ(clicksOf(r.stored), clicksOf(expected)) << "round " << round;
    EXPECT_EQ(r.count, static_cast<int32_t>(expected.size()));
    total += expected.size();
  }
  EXPECT_GT(total, 1000u);
}

// Block 0..499, click width 5: the second window starts at 249 - 7 = 242. The first window
// finds the reversal at 239 (a click at 240) and skips positions up to 244; the second window
// starts afresh at 242, where the jump -1000 -> 0 reverses only the sample before it (241).
// That backward look is allowed because 242 is not the block's first frame.
TEST(Detection, InstantRiseLooksBackAtAWindowStartInsideTheBlock) {
  Buffer b(500);
  b.at(240, 0) = 1000;
  b.at(242, 0) = -1000;
  const Result r = scan(b, paramsFor(ClickShape::InstantRise));
  EXPECT_EQ(clicksOf(r.stored), (std::vector<Click>{{240, 1, 0}, {243, 1, 0}}));
}

TEST(Detection, InstantRiseDoesNotLookBeforeTheBlock) {
  // The jump at the block's first frame goes on level: nothing before it may be read.
  Buffer b(250, 1000);
  b.at(1000, 0) = -1000;
  b.at(1100, 0) = 500;  // reversal after the jump: a click at 1100
  const Result r = scan(b, paramsFor(ClickShape::InstantRise));
  EXPECT_EQ(clicksOf(r.stored), (std::vector<Click>{{1100, 1, 0}}));
}

// A one-frame blip in flat sound: no half-period is long enough to count, so the mean
// half-period is the window size (250). Turns at 100 and 101 (h = 1, a = |0 - 100|): the click
// sits at 100 + (102 - 100) div 2. The left channel is scanned to its end before the right.
TEST(Detection, BlipScansTheLeftChannelBeforeTheRight) {
  Buffer b(250);
  b.at(101, 0) = 100;
  b.at(61, 1) = 100;
  const Result r = scan(b, paramsFor(ClickShape::Blip));
  EXPECT_EQ(clicksOf(r.stored), (std::vector<Click>{{101, 1, 0}, {61, 1, 1}}));
}

// Flat sound starts "falling" (x[ws + 1] is not above x[ws]), so a dip's way down is no turn:
// its only turn is the way back up, and one turn makes no half-period.
TEST(Detection, ADipInFlatSoundHasOnlyOneTurn) {
  Buffer b(250);
  b.at(61, 1) = -100;
  EXPECT_EQ(scan(b, paramsFor(ClickShape::Blip)).count, 0);
  // Starting "rising" (0 then 1), the way down is a turn too: turns at 60 and 61.
  for (int32_t f = 1; f < 250; ++f) b.at(f, 1) = f == 61 ? -100 : 1;
  EXPECT_EQ(clicksOf(scan(b, paramsFor(ClickShape::Blip)).stored),
            (std::vector<Click>{{61, 0, 1}}));
}

// A triangle of slope 1 turning every 20 frames, with frame 130 pulled down to -51. Half
// periods counted: 20 five times, 9 (120..129), 10 (130..140), 20 five times: 219 div 12 = 18.
// The blip's turn pair (129, 130) has h = 1: 100 div 18 = 5, which is below a click width of 6
// but not of 5. Its amplitude |11 - (-51)| = 62 against an average step of 369 div 249 = 1.
TEST(Detection, BlipMeasuresHalfPeriodsAgainstTheWindowsMean) {
  for (int width : {5, 6}) {
    Buffer b(250);
    for (int32_t f = 0; f < 250; ++f) {
      const int32_t m = f % 40;
      b.at(f, 0) = static_cast<int16_t>(m < 20 ? m : 40 - m);
    }
    b.at(130, 0) = -51;
    DeclickParams p = paramsFor(ClickShape::Blip);
    p.clickWidth = static_cast<int16_t>(width);
    const Result r = scan(b, p);
    if (width == 6)
      EXPECT_EQ(clicksOf(r.stored), (std::vector<Click>{{130, 0, 0}}));
    else
      EXPECT_EQ(r.count, 0);
  }
}

// ---- Seams, channels, false clicks ----

// Block 0..499: the second window starts at 242, so the step at 242 is met by both windows.
TEST(Detection, AClickMetTwiceAcrossAWindowSeamIsStoredOnce) {
  Buffer b(500);
  for (int32_t f = 243; f < 500; ++f) b.at(f, 0) = 1000;
  const Result r = scan(b, paramsFor(ClickShape::Step));
  EXPECT_EQ(r.count, 1);
  EXPECT_EQ(clicksOf(r.stored), (std::vector<Click>{{243, 1, 0}}));
}

TEST(Detection, NothingIsFoundWithBothChannelsSwitchedOff) {
  Buffer b(600);
  for (int ch = 0; ch < 2; ++ch) {
    b.at(50, ch) = 3000;                                     // spike / blip
    for (int32_t f = 300; f < 600; ++f) b.at(f, ch) = 2000;  // step
    b.at(400, ch) = -3000;                                   // hill
    b.at(401, ch) = 4000;
  }
  for (ClickShape shape : {ClickShape::InstantRise, ClickShape::Spike, ClickShape::Step,
                           ClickShape::Hill, ClickShape::Blip}) {
    DeclickParams p = paramsFor(shape);
    EXPECT_GT(scan(b, p).count, 0) << static_cast<int>(shape);
    p.processLeft = p.processRight = false;
    EXPECT_EQ(scan(b, p).count, 0) << static_cast<int>(shape);
    p.processRight = true;
    for (const Glitch& g : scan(b, p).stored.items) EXPECT_EQ(g.channel, 1);
  }
}

// Steps at 100 and 103: the first is found, and the second falls within its click width.
TEST(Detection, AFalseClickIsNotCountedButStillSkips) {
  Buffer b(250);
  for (int32_t f = 101; f < 250; ++f) b.at(f, 0) = 1000;
  for (int32_t f = 104; f < 250; ++f) b.at(f, 0) = 2000;
  const DeclickParams p = paramsFor(ClickShape::Step);
  EXPECT_EQ(clicksOf(scan(b, p).stored), (std::vector<Click>{{101, 1, 0}}));

  GlitchList falseClicks;
  falseClicks.Add(101, 0, 0);  // polarity is not compared
  Result r = scan(b, p, falseClicks);
  EXPECT_EQ(r.count, 0);
  EXPECT_TRUE(r.stored.empty());

  GlitchList otherChannel;
  otherChannel.Add(101, 1, 1);
  EXPECT_EQ(scan(b, p, otherChannel).count, 1);

  // A long list is looked up through its table: same answers.
  GlitchList many;
  for (int32_t i = 0; i < 5000; ++i) many.Add(200000 - 7 * i, 1, static_cast<uint8_t>(i % 2));
  EXPECT_EQ(scan(b, p, many).count, 1);
  many.Add(101, 1, 0);
  EXPECT_EQ(scan(b, p, many).count, 0);
}

TEST(Detection, FalseClickIndexMatchesALinearSearch) {
  GlitchList list;
  for (int32_t i = 0; i < 100; ++i) list.Add(i * 37 % 1000 - 500, 0, static_cast<uint8_t>(i % 2));
  list.Add(-2147483647 - 1, 1, 0);
  list.Add(2147483647, 0, 1);
  const FalseClickIndex index(list);
  for (int32_t pos = -600; pos <= 600; ++pos)
    for (uint8_t ch = 0; ch < 2; ++ch)
      ASSERT_EQ(index.contains(pos, ch), list.Contains(pos, ch)) << pos << " " << int(ch);
  EXPECT_TRUE(index.contains(-2147483647 - 1, 0));
  EXPECT_FALSE(index.contains(-2147483647 - 1, 1));
  EXPECT_TRUE(index.contains(2147483647, 1));
}

TEST(Detection, BufferCapacityBoundsTheScan) {
  Buffer b(250);
  for (int32_t f = 100; f < 250; ++f) b.at(f, 0) = 1000;
  const bool keepGoing = true;
  const DeclickParams p = paramsFor(ClickShape::Step);
  const GlitchList none;
  ClickDetector detector(p, none, keepGoing);
  GlitchList found;
  // The caller claims more frames than the buffer holds: only the buffer is read.
  EXPECT_EQ(detector.FindClicksInBlock(b.samples.data(), 250, 0, 100000, &found, false), 1);
  EXPECT_EQ(detector.FindClicksInBlock(b.samples.data(), 0, 0, 249, &found, false), 0);
  EXPECT_EQ(detector.FindClicksInBlock(b.samples.data(), 250, 10, 9, &found, false), 0);
}

TEST(Detection, AClearedContinueFlagStopsTheScan) {
  Buffer b(250);
  for (int32_t f = 100; f < 250; ++f) b.at(f, 0) = 1000;
  for (ClickShape shape : {ClickShape::Step, ClickShape::Blip}) {
    const bool keepGoing = false;
    const GlitchList none;
    const DeclickParams p = paramsFor(shape);
    ClickDetector detector(p, none, keepGoing);
    GlitchList found;
    EXPECT_EQ(detector.FindClicksInBlock(b.samples.data(), 250, 0, 249, &found, false), 0);
  }
}

// Parameters no dialog allows must not hang or read outside the block.
TEST(Detection, OutlandishParametersStayInsideTheBlock) {
  Buffer b(300);
  for (int32_t f = 0; f < 300; ++f) b.at(f, f % 2) = static_cast<int16_t>(f * 97 % 2001 - 1000);
  for (ClickShape shape : {ClickShape::InstantRise, ClickShape::Spike, ClickShape::Step,
                           ClickShape::Hill, ClickShape::Blip}) {
    for (int16_t width : {int16_t(-5), int16_t(0), int16_t(250), int16_t(32767)}) {
      for (int16_t window : {int16_t(-1), int16_t(0), int16_t(3), int16_t(32767)}) {
        DeclickParams p = paramsFor(shape);
        p.clickWidth = width;
        p.windowSize = window;
        p.relAmplitude = -100;
        const std::vector<int16_t> before = b.samples;
        const Result r = scan(b, p);
        EXPECT_EQ(b.samples, before);  // finding without repairing changes nothing
        for (const Glitch& g : r.stored.items) {
          EXPECT_GE(g.position, 0);
          EXPECT_LE(g.position, 299);
        }
      }
    }
  }
}

// ---- FindClicks over a document ----

struct FindClicksTest : ::testing::Test {
  DocFixture fx;
  ClickLists lists;
  DeclickParams params = paramsFor(ClickShape::Step);

  // Upward steps of 1000 (left channel) at the given frames.
  void openWithSteps(int32_t frames, std::vector<int32_t> steps) {
    fx.open(WavBuilder().frames(frames, [&](int32_t f) {
      int16_t v = 0;
      for (int32_t s : steps)
        if (f >= s) v = static_cast<int16_t>(v + 1000);
      return Frame{v, 0};
    }));
  }
  int32_t find(int32_t start, int32_t end, bool progress = true) {
    fx.doc->selStart = start;
    fx.doc->selEnd = end;
    return FindClicks(*fx.doc, params, lists, true, progress, false);
  }
  std::vector<int32_t> positions() const {
    std::vector<int32_t> out;
    for (const Glitch& g : lists.stored->items) out.push_back(g.position);
    return out;
  }
};

TEST_F(FindClicksTest, AnEmptySelectionLeavesTheStoredListAlone) {
  openWithSteps(1000, {500});
  lists.stored.emplace();
  lists.stored->Add(7, 1, 0);
  lists.current = 0;
  EXPECT_EQ(find(600, 600), 0);
  EXPECT_EQ(find(600, 100), 0);
  ASSERT_TRUE(lists.stored);
  EXPECT_EQ(clicksOf(*lists.stored), (std::vector<Click>{{7, 1, 0}}));
  EXPECT_EQ(lists.current, 0);
  EXPECT_TRUE(fx.host.progressCaptions.empty());
}

// One chunk exactly (11025 frames at 44100 Hz): the last position examined is
// 11024 - (5 + 1) = 11018, so the step there is found, the step one frame later is not, and
// neither is anything after the selection.
TEST_F(FindClicksTest, ASelectionOfWholeChunksIsScannedToItsLastFrame) {
  openWithSteps(30000, {1000, 11019, 11030});
  EXPECT_EQ(find(0, 11024), 2);
  EXPECT_EQ(positions(), (std::vector<int32_t>{1000, 11019}));
  EXPECT_EQ(fx.host.pumps, 1);
  EXPECT_EQ(fx.host.progressCaptions, std::vector<std::string>{" Searching:"});
  EXPECT_EQ(fx.host.progressValues.back(), 100);
  EXPECT_EQ(fx.host.progressDetails,
            (std::vector<std::string>{"#Clicks Found: 0", "#Clicks Found: 2"}));

  openWithSteps(30000, {1000, 11020});
  EXPECT_EQ(find(0, 11024), 1);
  EXPECT_EQ(positions(), (std::vector<int32_t>{1000}));
}

// Chunks pace only the progress display: clicks just before a chunk's end are found whether
// the selection starts at 0 or at 1.
TEST_F(FindClicksTest, MovingTheSelectionStartByOneFrameFindsTheSameClicks) {
  const std::vector<int32_t> steps = {5000, 11020, 11030, 22045, 22055, 33070, 40000};
  openWithSteps(44100, steps);
  EXPECT_EQ(find(0, 44099), 7);
  const std::vector<int32_t> fromZero = positions();
  EXPECT_EQ(fromZero, steps);
  EXPECT_EQ(find(1, 44099), 7);
  EXPECT_EQ(positions(), fromZero);
  EXPECT_EQ(find(2, 44099), 7);
  EXPECT_EQ(positions(), fromZero);
}

TEST_F(FindClicksTest, CancelOnTheThirdPumpEndsTheSearch) {
  // Five chunks, one step in the middle of each.
  openWithSteps(55125, {5512, 16537, 27562, 38587, 49612});
  fx.host.cancelAtPump = 3;
  // Blocks end at 8999 (chunk 1), 17994 (chunk 2), 26989 (chunk 3: the third pump).
  EXPECT_EQ(find(0, 55124), 2);
  EXPECT_EQ(positions(), (std::vector<int32_t>{5512, 16537}));
  EXPECT_EQ(fx.host.pumps, 3);
  EXPECT_EQ(fx.host.progressValues, (std::vector<int>{0, 20, 40, 60}));
  EXPECT_EQ(fx.host.progressDetails.back(), "#Clicks Found: 2");
}

TEST_F(FindClicksTest, WithoutProgressNothingIsShownButTheContinueFlagCounts) {
  openWithSteps(30000, {1000, 20000});
  EXPECT_EQ(find(0, 29999, false), 2);
  EXPECT_EQ(fx.host.pumps, 0);
  EXPECT_TRUE(fx.host.progressCaptions.empty());
  fx.ctx.continueFlag = false;
  EXPECT_EQ(find(0, 29999, false), 0);
  ASSERT_TRUE(lists.stored);
  EXPECT_TRUE(lists.stored->empty());
}

TEST_F(FindClicksTest, EditsAreSeenOnlyWithIncludeUpdates) {
  openWithSteps(3000, {});
  fx.block(1500, 2999, 0, [](int32_t) { return 1000; });
  fx.doc->selStart = 0;
  fx.doc->selEnd = 2999;
  EXPECT_EQ(FindClicks(*fx.doc, params, lists, true, false, false), 1);
  EXPECT_EQ(positions(), (std::vector<int32_t>{1500}));
  EXPECT_EQ(FindClicks(*fx.doc, params, lists, false, false, false), 0);
}

TEST_F(FindClicksTest, RepairingWritesTheFileAndLeavesAnEmptyList) {
  // A one-frame spike in each channel at 2000; Linear repair over 2000 +- 7.
  fx.open(WavBuilder().frames(5000, [](int32_t f) {
    return f == 2000 ? Frame{5000, -5000} : Frame{100, -100};
  }));
  params.shape = ClickShape::InstantRise;
  params.repairMethod = RepairMethod::Linear;
  lists.stored.emplace();
  lists.stored->Add(1, 1, 1);
  lists.current = 0;
  fx.ctx.editRight = false;  // the right channel must stay as it is
  fx.doc->selStart = 0;
  fx.doc->selEnd = 4999;
  EXPECT_EQ(FindClicks(*fx.doc, params, lists, false, true, true), 1);
  ASSERT_TRUE(lists.stored);
  EXPECT_TRUE(lists.stored->empty());
  EXPECT_EQ(lists.current, -1);

  const std::vector<uint8_t> bytes = readFileBytes(fx.wavPath);
  const auto sample = [&](int32_t frame, int channel) {
    const size_t at = 44 + 4 * static_cast<size_t>(frame) + 2 * static_cast<size_t>(channel);
    return static_cast<int16_t>(bytes[at] | (bytes[at + 1] << 8));
  };
  for (int32_t f = 0; f < 5000; ++f) {
    ASSERT_EQ(sample(f, 0), 100) << f;
    ASSERT_EQ(sample(f, 1), f == 2000 ? -5000 : -100) << f;
  }
}

TEST_F(FindClicksTest, AFileThatCannotBeOpenedEndsWithOnlyABeep) {
  openWithSteps(1000, {500});
  lists.stored.emplace();
  lists.stored->Add(7, 1, 0);
  fx.doc->path = fx.dir.file("gone.wav");
  EXPECT_EQ(find(0, 999), 0);
  EXPECT_EQ(fx.host.beeps, 1);
  EXPECT_TRUE(fx.host.messages.empty());
  EXPECT_EQ(lists.stored->size(), 1u);
  fx.ctx.settings.emitbeeps = false;
  EXPECT_EQ(find(0, 999), 0);
  EXPECT_EQ(fx.host.beeps, 1);
}

TEST_F(FindClicksTest, ASelectionPastTheEndOfTheFileStopsAtItsLastFrame) {
  openWithSteps(1000, {500});
  const auto before = readFileBytes(fx.wavPath);
  fx.doc->selStart = 0;
  fx.doc->selEnd = 50000;
  EXPECT_EQ(FindClicks(*fx.doc, params, lists, false, false, true), 1);
  const auto after = readFileBytes(fx.wavPath);
  EXPECT_EQ(after.size(), before.size());
}

}  // namespace
}  // namespace tolmar::test
