#include "document/time_text.h"

#include <gtest/gtest.h>

#include <limits>

#include "editor/context.h"
#include "support/scripted_host.h"

namespace tolmar {
namespace {

const std::vector<Cue> kNoCues;

std::string fmt(int64_t position, int rate = 44100) {
  return formatTime(position, rate, false, false, kNoCues);
}
std::string fmtFrames(int64_t position, int rate = 44100) {
  return formatTime(position, rate, true, false, kNoCues);
}
std::optional<int32_t> parse(const std::string& text, int rate = 44100) {
  return parseTime(text, rate, false, kNoCues);
}
std::optional<int32_t> parseFrames(const std::string& text, int rate = 44100) {
  return parseTime(text, rate, true, kNoCues);
}

Cue trackCue(int32_t position) {
  return Cue{position, true, false, "", ""};
}
Cue indexCue(int32_t position) {
  return Cue{position, false, false, "", ""};
}

// Track cues at 60 s and 100 s with an index cue at 70 s in between.
std::vector<Cue> threeTracks() {
  return {trackCue(44100 * 60), indexCue(44100 * 70), trackCue(44100 * 100)};
}

TEST(FormatTime, MillisecondsTruncateAndMinutesNeverWrap) {
  EXPECT_EQ(fmt(44100), "00:01.000");
  EXPECT_EQ(fmt(44099), "00:00.999");
  EXPECT_EQ(fmt(int64_t{44100} * 45 * 60), "45:00.000");
  EXPECT_EQ(fmt(int64_t{44100} * 3 * 3600), "180:00.000");
  EXPECT_EQ(fmt(8257725), "03:07.250");
  EXPECT_EQ(fmt(48000 * 90 + 24000, 48000), "01:30.500");
  EXPECT_EQ(fmt(47, 48000), "00:00.000");
  EXPECT_EQ(fmt(48, 48000), "00:00.001");
}

TEST(FormatTime, NegativePositionsFormatAsZero) {
  EXPECT_EQ(fmt(-1), "00:00.000");
  EXPECT_EQ(fmtFrames(-44100), "00:00.00");
}

TEST(FormatTime, CdFramesAtBothRates) {
  EXPECT_EQ(fmtFrames(587), "00:00.00");
  EXPECT_EQ(fmtFrames(588), "00:00.01");
  EXPECT_EQ(fmtFrames(44100 * 61 + 588 * 74), "01:01.74");
  EXPECT_EQ(fmtFrames(639, 48000), "00:00.00");
  EXPECT_EQ(fmtFrames(640, 48000), "00:00.01");
  EXPECT_EQ(fmtFrames(48000 * 60 + 640 * 74 + 639, 48000), "01:00.74");
}

TEST(FormatTime, TracksInTimesCountFromTheLastTrackCueStrictlyBelow) {
  const auto cues = threeTracks();
  auto f = [&](int64_t p) { return formatTime(p, 44100, false, true, cues); };
  EXPECT_EQ(f(0), "1+00:00.000");
  EXPECT_EQ(f(44100 * 60), "1+01:00.000");  // the cue's own frame still belongs to track 1
  EXPECT_EQ(f(44100 * 60 + 1), "2+00:00.000");
  EXPECT_EQ(f(44100 * 60 + 1370055), "2+00:31.067");
  EXPECT_EQ(f(44100 * 80), "2+00:20.000");  // the index cue neither numbers nor rebases
  EXPECT_EQ(f(44100 * 200), "3+01:40.000");
  EXPECT_EQ(formatTime(44100 * 200, 44100, true, true, cues), "3+01:40.00");

  // Out-of-order cues still rebase on the nearest track start below.
  const std::vector<Cue> unordered = {trackCue(44100 * 100), trackCue(44100 * 60)};
  EXPECT_EQ(formatTime(44100 * 101, 44100, false, true, unordered), "3+00:01.000");
}

TEST(ParseTime, MinutesSecondsAndFractions) {
  EXPECT_EQ(parse("1:30"), 90 * 44100);
  EXPECT_EQ(parse("90"), 90 * 44100);
  EXPECT_EQ(parse("1:30.5"), 3991050);
  EXPECT_EQ(parse(".25"), 11025);
  EXPECT_EQ(parse("1:30.05"), 3971205);
  EXPECT_EQ(parse("1:30.0"), 90 * 44100);
  EXPECT_EQ(parse("1:30."), 90 * 44100);
  EXPECT_EQ(parse("0.001"), 44);
  EXPECT_EQ(parse(""), 0);
  EXPECT_EQ(parse("1:2:30"), 150 * 44100);  // a later ":" replaces the minutes
  EXPECT_EQ(parse("1:30.1239"), 3974424);   // only three fraction digits count: 90.123 s
  EXPECT_EQ(parse("1:30.5", 48000), 4344000);
  EXPECT_EQ(parse("0.001", 48000), 48);
}

TEST(ParseTime, CdFramesAreNotScaledByDigitCount) {
  EXPECT_EQ(parseFrames("1:30.74"), 90 * 44100 + 74 * 588);
  EXPECT_EQ(parseFrames("1:30.7"), 90 * 44100 + 7 * 588);
  EXPECT_EQ(parseFrames("1:30.07"), 90 * 44100 + 7 * 588);
  EXPECT_EQ(parseFrames("1:30.74", 48000), 90 * 48000 + 74 * 640);
  EXPECT_EQ(parseFrames("90"), 90 * 44100);
}

TEST(ParseTime, RejectsAnythingButDigitsColonsAndOneDot) {
  for (const char* text : {"1:30x", " 1:30", "-5", "1,5", "1.5.2", "1.5:30", "1e3", "abc"}) {
    EXPECT_EQ(parse(text), std::nullopt) << text;
  }
}

TEST(ParseTime, TrackPrefixCountsFromTheTrackStart) {
  const auto cues = threeTracks();
  auto p = [&](const std::string& text) { return parseTime(text, 44100, false, cues); };
  EXPECT_EQ(p("1+0:10"), 10 * 44100);
  EXPECT_EQ(p("2+0:10"), 70 * 44100);
  EXPECT_EQ(p("3+0:10"), 110 * 44100);  // the index cue is not a track start
  EXPECT_EQ(p("4+0:10"), 10 * 44100);   // no such track: counted from 0
  EXPECT_EQ(p("0+0:10"), 10 * 44100);
  EXPECT_EQ(p("x+0:10"), std::nullopt);
  EXPECT_EQ(p("+0:10"), std::nullopt);
  EXPECT_EQ(p("2+0:10+1"), std::nullopt);
}

TEST(ParseTime, HugeNumbersNeitherOverflowNorWrap) {
  EXPECT_EQ(parse("99999999999999999999999999999999"), std::nullopt);
  EXPECT_EQ(parse("99999999999999999999999999999999:00"), std::nullopt);
  EXPECT_EQ(parse("2147483647"), std::nullopt);
  EXPECT_EQ(parse("999999:00"), std::nullopt);
  // A replaced value never reaches the result, however large it was.
  EXPECT_EQ(parse("99999999999999999999999999999999:1:00"), 60 * 44100);
  EXPECT_EQ(parse("1.99999999999999999999999999"), 44100 + 44055);
  EXPECT_EQ(parseFrames("1.99999999999999999999999999"), 44100 + 999 * 588);

  // The largest time that fits the 32-bit frame range is accepted, the next millisecond not.
  EXPECT_EQ(parse("811:35.774"), 2147483633);
  EXPECT_EQ(parse("811:35.775"), std::nullopt);
  EXPECT_EQ(parse("745:39.242", 48000), 2147483616);
  EXPECT_EQ(parse("745:39.243", 48000), std::nullopt);

  const std::vector<Cue> late = {trackCue(std::numeric_limits<int32_t>::max() - 10)};
  EXPECT_EQ(parseTime("2+0.0001", 44100, false, late), std::numeric_limits<int32_t>::max() - 10);
  EXPECT_EQ(parseTime("2+1", 44100, false, late), std::nullopt);
  EXPECT_EQ(parseTime("99999999999999999999999+1", 44100, false, late), 44100);
}

// Formatting loses at most one unit of the format (a millisecond or a CD frame); parsing the
// text back lands on or just before the original frame.
TEST(TimeText, FormatThenParseStaysWithinOneUnit) {
  const auto cues = threeTracks();
  for (int rate : {44100, 48000}) {
    const int64_t msFrames = rate / 1000 + 1;
    const int64_t cdFrames = rate / 75;
    for (int64_t p = 0; p < int64_t{rate} * 3 * 3600; p = p * 13 / 10 + 37) {
      for (bool inFrames : {false, true}) {
        for (bool tracks : {false, true}) {
          const std::string text = formatTime(p, rate, inFrames, tracks, cues);
          const auto back = parseTime(text, rate, inFrames, cues);
          ASSERT_TRUE(back.has_value()) << text;
          EXPECT_LE(*back, p) << text;
          EXPECT_LT(p - *back, inFrames ? cdFrames : msFrames) << text << " rate " << rate;
        }
      }
    }
  }
}

TEST(TimeText, ContextWrappersUseTheSettingsAndReportInvalidText) {
  test::ScriptedHost host;
  Context ctx(host);
  ctx.sampleRate = 48000;
  ctx.settings.timeinframes = true;
  EXPECT_EQ(formatTime(ctx, 48000 + 640, kNoCues), "00:01.01");
  EXPECT_EQ(parseTime(ctx, "0:01.01", kNoCues), 48640);
  EXPECT_TRUE(host.messages.empty());

  EXPECT_EQ(parseTime(ctx, "1:30x", kNoCues), 0);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].kind, MsgKind::Error);
  EXPECT_EQ(host.messages[0].text, "Invalid time specification");

  ctx.settings.tracksintimes = true;
  EXPECT_EQ(formatTime(ctx, 48000, {trackCue(640)}), "2+00:00.74");
}

}  // namespace
}  // namespace tolmar
