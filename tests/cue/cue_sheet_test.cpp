#include "cue/cue_sheet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace tolmar::test {
namespace {

Cue trackCue(int32_t p, std::string title = "", std::string performer = "", bool zero = false) {
  Cue c;
  c.position = p;
  c.indexZero = zero;
  c.title = std::move(title);
  c.performer = std::move(performer);
  return c;
}

Cue indexCue(int32_t p) {
  Cue c;
  c.position = p;
  c.track = false;
  return c;
}

std::vector<int32_t> positions(const std::vector<Cue>& cues) {
  std::vector<int32_t> out;
  for (const Cue& c : cues) out.push_back(c.position);
  return out;
}

CueSheetData readAll(const std::string& text, int32_t lastFrame = 2147483647, int rate = 44100,
                     std::vector<UnreadableCueLine>* unreadable = nullptr) {
  CueSheetData data;
  readCueSheet(
      text, rate, lastFrame, data, [](const std::string&) { return true; }, unreadable);
  return data;
}

TEST(CdFrames, RoundToWholeCdFramesAtBothRates) {
  EXPECT_EQ(snapUpToCdFrame(589, 44100), 1176);
  EXPECT_EQ(snapUpToCdFrame(588, 44100), 588);
  EXPECT_EQ(snapUpToCdFrame(1, 48000), 640);
  EXPECT_EQ(snapDownToCdFrame(1279, 48000), 640);
  EXPECT_EQ(snapDownToCdFrame(1175, 44100), 588);
  // Before the start of the file there is only frame 0.
  EXPECT_EQ(snapUpToCdFrame(-8821, 44100), 0);
  EXPECT_EQ(snapDownToCdFrame(-5, 44100), 0);
  EXPECT_EQ(cueSheetTime(3 * 60 * 44100 + 30 * 44100 + 74 * 588, 44100), "03:30:74");
  EXPECT_EQ(cueSheetTime(61 * 48000 + 640, 48000), "01:01:01");
}

TEST(CueList, StaysOrderedWithOneCuePerFrame) {
  std::vector<Cue> cues;
  EXPECT_TRUE(insertCue(cues, trackCue(1176)));
  EXPECT_TRUE(insertCue(cues, indexCue(588)));
  EXPECT_TRUE(insertCue(cues, trackCue(5880)));
  EXPECT_FALSE(insertCue(cues, trackCue(1176)));
  EXPECT_FALSE(insertCue(cues, trackCue(0)));  // track 1 already starts there
  EXPECT_EQ(positions(cues), (std::vector<int32_t>{588, 1176, 5880}));
}

TEST(CueSheetWriter, NewSheetWithCdTextAndQuoting) {
  CueSheetData data;
  data.discPerformer = "The Band";
  data.discTitle = "Side A";
  data.track1Title = "Opening";
  data.cues = {trackCue(180 * 44100, "Two Words", "Solo"), indexCue(210 * 44100),
               trackCue(240 * 44100, "", "", true)};
  EXPECT_EQ(cueSheetText(data, "/music/side.wav", 44100, false, 1),
            "REM Cue Sheet written by Tolmar\n"
            "PERFORMER \"The Band\"\n"
            "TITLE \"Side A\"\n"
            "FILE \"/music/side.wav\" WAVE\n"
            "  TRACK 01 AUDIO\n"
            "    TITLE \"Opening\"\n"
            "    INDEX 01 00:00:00\n"
            "  TRACK 02 AUDIO\n"
            "    TITLE \"Two Words\"\n"
            "    PERFORMER \"Solo\"\n"
            "    INDEX 01 03:00:00\n"
            "    INDEX 02 03:30:00\n"
            "  TRACK 03 AUDIO\n"
            "    INDEX 00 04:00:00\n");
  const std::string appended = cueSheetText(data, "/my music/side.wav", 44100, true, 6);
  EXPECT_EQ(appended.substr(0, appended.find("  TRACK")),
            "REM Cue Sheet appended to by Tolmar\nFILE \"/my music/side.wav\" WAVE\n");
  EXPECT_NE(appended.find("  TRACK 06 AUDIO\n"), std::string::npos);
  EXPECT_NE(appended.find("  TRACK 08 AUDIO\n"), std::string::npos);
}

TEST(CueSheetWriter, LastTrackNumberOfAnExistingSheet) {
  EXPECT_EQ(lastTrackNumber(""), 1);
  EXPECT_EQ(lastTrackNumber("FILE x WAVE\n  TRACK 03 AUDIO\r\n\ttrack 05 AUDIO\nREM x\n"), 5);
  // A number beyond reason is not a track number.
  EXPECT_EQ(lastTrackNumber("TRACK 02 AUDIO\nTRACK 99999999999999999999 AUDIO\n"), 2);
}

TEST(CueSheetReader, RoundTripsWhatTheWriterWrites) {
  CueSheetData data;
  data.discPerformer = "P";
  data.discTitle = "Disc";
  data.track1Performer = "P1";
  data.track1Title = "T1";
  data.cues = {trackCue(180 * 44100, "Second", "P2"), indexCue(210 * 44100),
               trackCue(240 * 44100 + 588, "Third", "", true)};
  const std::string text = cueSheetText(data, "/a b/side.wav", 44100, false, 1);
  std::vector<std::string> files;
  CueSheetData back;
  back.cues = {trackCue(5880)};  // emptied by the FILE line
  EXPECT_TRUE(readCueSheet(text, 44100, 300 * 44100, back, [&](const std::string& name) {
    files.push_back(name);
    return true;
  }));
  EXPECT_EQ(files, (std::vector<std::string>{"/a b/side.wav"}));
  EXPECT_EQ(back.discPerformer, "P");
  EXPECT_EQ(back.discTitle, "Disc");
  EXPECT_EQ(back.track1Performer, "P1");
  EXPECT_EQ(back.track1Title, "T1");
  ASSERT_EQ(back.cues.size(), 3u);
  EXPECT_EQ(positions(back.cues), positions(data.cues));
  EXPECT_TRUE(back.cues[0].track);
  EXPECT_FALSE(back.cues[0].indexZero);
  EXPECT_EQ(back.cues[0].title, "Second");
  EXPECT_EQ(back.cues[0].performer, "P2");
  EXPECT_FALSE(back.cues[1].track);
  EXPECT_TRUE(back.cues[2].track);
  EXPECT_TRUE(back.cues[2].indexZero);
  EXPECT_EQ(back.cues[2].title, "Third");
  EXPECT_EQ(back.cues[2].performer, "");  // cleared at its TRACK line
  EXPECT_EQ(cueSheetText(back, "/a b/side.wav", 44100, false, 1), text);
}

TEST(CueSheetReader, FileLineCanStopReading) {
  CueSheetData data;
  data.cues = {trackCue(5880)};
  EXPECT_FALSE(readCueSheet(
      "REM\nFILE \"other.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
      "TRACK 02 AUDIO\nINDEX 01 01:00:00\n",
      44100, 10000000, data, [](const std::string& name) { return name != "other.wav"; }));
  EXPECT_EQ(positions(data.cues), (std::vector<int32_t>{5880}));  // untouched
}

TEST(CueSheetReader, HostileSheetsAreReadOrRefusedWithoutHarm) {
  // Impossible times and indexes, unterminated quotes, CRLF, short and blank lines.
  std::vector<UnreadableCueLine> unreadable;
  const CueSheetData d = readAll(
      "FILE \"unterminated WAVE\r\n"
      "PERFORMER \"No end\r\n"
      "TRACK 01 AUDIO\r\n"
      "INDEX 01 00:00:00\r\n"
      "TRACK 02 AUDIO\r\n"
      "INDEX 01 00:60:00\r\n"   // 60 seconds
      "INDEX 01 00:10:75\r\n"   // 75 CD frames
      "INDEX 100 00:10:00\r\n"  // index beyond two digits
      "INDEX xx 00:10:00\r\n"
      "INDEX 01 99999999999:00:00\r\n"
      "INDEX 01 00:20\r\n"
      "INDEX\r\n"
      "\r\n"
      "  \tINDEX 01 00:30:00\r\n"
      "TITLE\r\n"
      "PERFORMANCE \"x\"\r\n",
      2147483647, 44100, &unreadable);
  EXPECT_EQ(d.discPerformer, "No end");
  // Every INDEX line that was left out, by number and text; the first INDEX is never read.
  std::vector<std::pair<int, std::string>> listed;
  for (const UnreadableCueLine& u : unreadable) listed.emplace_back(u.number, u.text);
  EXPECT_EQ(listed, (std::vector<std::pair<int, std::string>>{{6, "INDEX 01 00:60:00"},
                                                              {7, "INDEX 01 00:10:75"},
                                                              {8, "INDEX 100 00:10:00"},
                                                              {9, "INDEX xx 00:10:00"},
                                                              {10, "INDEX 01 99999999999:00:00"},
                                                              {11, "INDEX 01 00:20"},
                                                              {12, "INDEX"}}));
  EXPECT_EQ(unreadableCueLinesText({{6, "INDEX 01 00:60:00"}, {12, "INDEX"}}),
            "Lines of the cue sheet that could not be read were left out:\r"
            "Line 6: INDEX 01 00:60:00\rLine 12: INDEX");
  ASSERT_EQ(positions(d.cues), (std::vector<int32_t>{30 * 44100}));
  EXPECT_TRUE(d.cues[0].track);

  // Cues beyond the end of the file, out of order or on one frame.
  const CueSheetData e = readAll(
      "TRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:20:00\n"
      "TRACK 03 AUDIO\nINDEX 01 00:10:00\nINDEX 02 00:10:00\nINDEX 03 00:00:00\n"
      "TRACK 04 AUDIO\nINDEX 01 10:00:00\n",
      60 * 44100);
  EXPECT_EQ(positions(e.cues), (std::vector<int32_t>{10 * 44100, 20 * 44100}));

  // Two hundred tracks, non-UTF-8 bytes, an overlong line and a NUL.
  std::string big = "TITLE \"\xff\xfe\x80\"\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
  for (int t = 2; t <= 200; ++t)
    big += "TRACK " + std::to_string(t) + " AUDIO\nINDEX 01 " + std::to_string(t) + ":00:00\n";
  big += "REM " + std::string(1 << 20, 'x') + "\n";
  big += std::string("TITLE \"a\0b\"\n", 12);
  big += "INDEX 01 99:99:99 \x01" + std::string(200, 'y') + "\n";
  for (int i = 0; i < 25; ++i) big += "INDEX 01 1:2\n";
  unreadable.clear();
  const CueSheetData f = readAll(big, 2147483647, 44100, &unreadable);
  ASSERT_EQ(unreadable.size(), 26u);
  // Long lines are cut and bytes that cannot be shown are replaced.
  EXPECT_EQ(unreadable[0].text, "INDEX 01 99:99:99 ?" + std::string(61, 'y') + "...");
  const std::string text = unreadableCueLinesText(unreadable);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 21);
  EXPECT_TRUE(text.ends_with("\r... and 6 more")) << text;
  EXPECT_EQ(f.discTitle, "\xff\xfe\x80");
  EXPECT_EQ(f.cues.size(), 199u);
  EXPECT_EQ(f.cues.back().position, 200 * 60 * 44100);
  EXPECT_EQ(lastTrackNumber(big), 200);
}

}  // namespace
}  // namespace tolmar::test
