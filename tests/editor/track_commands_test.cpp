#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "editor/editor.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

// The samples of a written track, after checking that its header holds exactly that many.
std::vector<int16_t> trackSamples(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  EXPECT_GE(bytes.size(), 44u) << path;
  if (bytes.size() < 44) return {};
  const uint32_t dataSize = bytes[40] | bytes[41] << 8 | bytes[42] << 16 | bytes[43] << 24;
  EXPECT_EQ(dataSize, bytes.size() - 44) << path;
  std::vector<int16_t> out((bytes.size() - 44) / 2);
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<int16_t>(bytes[44 + 2 * i] | bytes[45 + 2 * i] << 8);
  return out;
}

// Staircase frames first..last, as the document holds them.
std::vector<int16_t> stairs(int32_t first, int32_t last) {
  std::vector<int16_t> out;
  for (int32_t i = first; i <= last; ++i) {
    out.push_back(static_cast<int16_t>(i));
    out.push_back(static_cast<int16_t>(-i));
  }
  return out;
}

// A loud square wave with silent gaps, for Find Tracks through the editor.
Frame gapped(int32_t i) {
  for (int32_t g : {900000, 1935000, 2970000})
    if (i >= g && i < g + 135000) return {};
  const int16_t v = (i / 50) % 2 ? 8000 : -8000;
  return {v, static_cast<int16_t>(-v)};
}

struct TrackCommandsTest : ::testing::Test {
  TempDir dir;
  ScriptedHost host;
  Editor editor{host};
  std::vector<std::string> log;

  void open(int32_t frames, const std::function<Frame(int32_t)>& gen = nullptr) {
    host.ctx = &editor.ctx;
    editor.ctx.settings.newstylewaveform = false;
    WavBuilder b;
    if (gen)
      b.frames(frames, gen);
    else
      b.staircase(frames);
    b.write(dir.file("side.wav"));
    ASSERT_TRUE(editor.OpenDocument(dir.file("side.wav")));
  }
  void addCue(int32_t position, bool track = true, std::string title = "",
              std::string performer = "") {
    Cue c;
    c.position = position;
    c.track = track;
    c.title = std::move(title);
    c.performer = std::move(performer);
    editor.doc->cues.push_back(c);
    editor.doc->cuesNotWritten = true;
  }
  std::vector<int32_t> cuePositions() const {
    std::vector<int32_t> out;
    for (const Cue& c : editor.doc->cues) out.push_back(c.position);
    return out;
  }
  void split(const std::string& chosen = "") {
    host.saveAnswers.push_back(chosen.empty() ? dir.file("side.wav") : chosen);
    editor.SplitTracks1Click();
  }
  void batch() {
    editor.ctx.batchRunning = true;
    editor.ctx.silentMode = true;
    editor.ctx.batchLog = &log;
  }
};

TEST_F(TrackCommandsTest, FindTracksPlacesCuesBackByTheMarginAndReports) {
  open(4000000, gapped);
  editor.doc->selStart = 0;
  editor.doc->selEnd = editor.doc->lastFrame;
  addCue(58800);  // inside the selection: cleared first
  editor.markers.Add(Marker::Both, 5000, 0);
  editor.FindTracks1Click();
  // The gap ends at 1034884, 2069868 and 3104852; 8820 frames back, down to a CD frame.
  EXPECT_EQ(cuePositions(), (std::vector<int32_t>{1026060, 2060940, 3095820}));
  EXPECT_TRUE(editor.doc->cuesNotWritten);
  EXPECT_EQ(editor.markers.size(), 1u);  // markers are left alone when cues are placed
  ASSERT_FALSE(host.messages.empty());
  EXPECT_EQ(host.messages.back().text, "3 possible track boundaries detected");
  EXPECT_EQ(host.messages.back().kind, MsgKind::Information);

  // Markers instead, at the gap ends, without the margin; old markers in the selection go.
  editor.ctx.settings.findtrackoption = 0;
  editor.ctx.settings.addoffsetonconvert = false;
  editor.FindTracks1Click();
  ASSERT_EQ(editor.markers.size(), 3u);
  EXPECT_EQ(editor.markers.items[0].position, 1034884);
  EXPECT_EQ(editor.markers.items[2].position, 3104852);
  EXPECT_EQ(cuePositions().size(), 3u);

  // Without clearing, a second search adds to what is there (a marker per boundary again).
  editor.ctx.settings.clearbeforesearch = false;
  editor.FindTracks1Click();
  EXPECT_EQ(editor.markers.size(), 6u);
}

TEST_F(TrackCommandsTest, FindTracksAsksForTheOptionsFirstWhenSetAndStaysQuietInSilentMode) {
  open(4000000, gapped);
  editor.doc->selStart = 0;
  editor.doc->selEnd = editor.doc->lastFrame;
  editor.ctx.settings.showonfindtracks = true;
  host.dialogs[kOptionsDialogId] = [](tolmar::test::ModelRef m) {
    EXPECT_EQ(static_cast<OptionsModel*>(m)->first, OptionsTab::TrackSplitting);
    return false;
  };
  editor.FindTracks1Click();
  EXPECT_TRUE(editor.doc->cues.empty());
  EXPECT_TRUE(host.messages.empty());
  // The page's changes count: a gap of 3 s is not long enough for 4 s of silence.
  host.dialogs[kOptionsDialogId] = [](tolmar::test::ModelRef m) {
    static_cast<OptionsModel*>(m)->settings.silencelength = 4000;
    return true;
  };
  editor.FindTracks1Click();
  EXPECT_TRUE(editor.doc->cues.empty());
  EXPECT_EQ(host.messages.back().text, "0 possible track boundaries detected");

  host.dialogIds.clear();
  host.messages.clear();
  editor.ctx.settings.silencelength = 1500;
  batch();
  editor.FindTracks1Click();
  EXPECT_TRUE(host.dialogIds.empty());
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(log, (std::vector<std::string>{"      3 possible track boundaries detected"}));
  EXPECT_EQ(editor.doc->cues.size(), 3u);
}

TEST_F(TrackCommandsTest, SplitWritesEachTrackBetweenTrackCuesThroughTheOverlay) {
  open(58800);
  addCue(11760);
  addCue(23520, false);  // an index never splits
  addCue(35280);
  // An edit inside track 2 reaches its file.
  auto rec = std::make_unique<Interpolation>();
  editor.doc->BeginBlock(*rec, 20000, 20009, 1);
  for (int32_t f = 20000; f <= 20009; ++f) editor.doc->PutSample(*rec, f, 7);
  editor.doc->FinishBlock(*rec);
  ASSERT_NE(editor.doc->AddEdit(std::move(rec), 1), nullptr);

  split();
  ASSERT_EQ(host.fileDialogs.size(), 1u);
  EXPECT_EQ(host.fileDialogs[0].fileName, "side.wav");
  EXPECT_TRUE(host.questions.empty());  // 58800 frames are 100 CD frames: nothing to pad
  EXPECT_EQ(trackSamples(dir.file("side 01.wav")), stairs(0, 11759));
  std::vector<int16_t> two = stairs(11760, 35279);
  for (int32_t f = 20000; f <= 20009; ++f) two[2 * static_cast<size_t>(f - 11760) + 1] = 7;
  EXPECT_EQ(trackSamples(dir.file("side 02.wav")), two);
  EXPECT_EQ(trackSamples(dir.file("side 03.wav")), stairs(35280, 58799));
  EXPECT_FALSE(fs::exists(dir.file("side 04.wav")));
  EXPECT_FALSE(editor.doc->cuesNotWritten);
}

TEST_F(TrackCommandsTest, SplitPadsTheLastTrackToAWholeCdFrameWhenAsked) {
  open(588 * 1000 + 1);
  addCue(588 * 500);
  host.answers = {Answer::Yes};
  split();
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(host.questions[0].text,
            "WAV file is not an exact multiple of CD blocks.\rDo you want the last track padded "
            "with zeros?");
  EXPECT_EQ(trackSamples(dir.file("side 01.wav")).size(), 2u * 588 * 500);
  std::vector<int16_t> last = stairs(588 * 500, 588 * 1000);
  last.resize(last.size() + 2 * 587, 0);
  EXPECT_EQ(trackSamples(dir.file("side 02.wav")), last);

  host.answers = {Answer::No};
  split();
  EXPECT_EQ(trackSamples(dir.file("side 02.wav")), stairs(588 * 500, 588 * 1000));
}

TEST_F(TrackCommandsTest, SplitNamesTracksFromTheCdText) {
  open(588 * 100);
  editor.doc->discPerformer = "Various";
  editor.doc->discTitle = "Album";
  editor.doc->track1Title = "Intro";
  addCue(588 * 40, true, "Song", "Band");
  addCue(588 * 70);  // no title: stub naming
  editor.ctx.settings.splitstub = false;
  editor.ctx.settings.splitprefix = true;
  split(dir.file("named.wav"));
  EXPECT_TRUE(fs::exists(dir.file("01 Intro - Various.wav")));
  EXPECT_EQ(trackSamples(dir.file("02 Song - Band.wav")), stairs(588 * 40, 588 * 70 - 1));
  EXPECT_TRUE(fs::exists(dir.file("03 named.wav")));
  // A name no file may have is reported and skipped, even when an earlier command was
  // cancelled: that failure is not a Cancel of this split.
  editor.doc->track1Title = "Intro: Live";
  editor.doc->cuesNotWritten = true;
  fs::remove(dir.file("02 Song - Band.wav"));
  editor.ctx.continueFlag = false;
  split(dir.file("named.wav"));
  EXPECT_TRUE(
      host.said("Invalid Filename: \"01 Intro: Live - Various.wav\".\rA file name may not "
                "contain any of these characters:\r\\ / : * ? \" < > |"));
  EXPECT_TRUE(fs::exists(dir.file("02 Song - Band.wav")));
  EXPECT_FALSE(editor.doc->cuesNotWritten);
  // Cancel in the save dialog writes nothing.
  host.saveAnswers.push_back(std::nullopt);
  editor.ctx.settings.splitcdtexttype = 2;
  editor.SplitTracks1Click();
  EXPECT_FALSE(fs::exists(dir.file("01 Intro.wav")));
  // A '/' in the CD-Text is no way out of the chosen directory.
  fs::create_directory(dir.file("out"));
  editor.doc->track1Title = "../escaped";
  editor.ctx.settings.splittrackno = false;
  split(dir.file("out/named.wav"));
  EXPECT_FALSE(fs::exists(dir.file("escaped.wav")));
  EXPECT_TRUE(
      host.said("Invalid Filename: \"../escaped.wav\".\rA file name may not contain any "
                "of these characters:\r\\ / : * ? \" < > |"));
  EXPECT_TRUE(fs::exists(dir.file("out/Song.wav")));
}

TEST_F(TrackCommandsTest, NamingThatGivesTwoTracksOneNameIsRefusedBeforeAnyWrite) {
  open(588 * 30);
  editor.doc->track1Title = "Same";
  addCue(588 * 10, true, "Other");
  addCue(588 * 20, true, "Same");
  editor.ctx.settings.splitstub = false;
  editor.ctx.settings.splitcdtexttype = 3;
  editor.ctx.settings.splitcustomstring = "%t";
  editor.doc->cuesNotWritten = true;
  split(dir.file("named.wav"));
  EXPECT_TRUE(host.said("Tracks 01 and 03 would both be written to \"" + dir.file("Same.wav") +
                        "\". Change the track naming so that every track gets a name of its "
                        "own; no track was written."));
  EXPECT_FALSE(fs::exists(dir.file("Same.wav")));
  EXPECT_FALSE(fs::exists(dir.file("Other.wav")));
  EXPECT_TRUE(editor.doc->cuesNotWritten);
  // With the number in the pattern every name differs and all three are written.
  editor.ctx.settings.splitcustomstring = "%n %t";
  split(dir.file("named.wav"));
  EXPECT_TRUE(fs::exists(dir.file("01 Same.wav")));
  EXPECT_TRUE(fs::exists(dir.file("03 Same.wav")));
  EXPECT_FALSE(editor.doc->cuesNotWritten);
}

TEST_F(TrackCommandsTest, OverwriteQuestionSkipsOnNoWritesOnYesStopsOnCancel) {
  open(588 * 30);
  addCue(588 * 10);
  addCue(588 * 20);
  const auto junk = [&](const std::string& name) {
    std::ofstream(dir.file(name), std::ios::binary) << "junk";
  };
  junk("side 01.wav");
  junk("side 02.wav");
  host.answers = {Answer::No, Answer::Yes};
  split();
  ASSERT_EQ(host.questions.size(), 2u);
  EXPECT_EQ(host.questions[0].text, "Overwrite " + dir.file("side 01.wav"));
  EXPECT_EQ(fs::file_size(dir.file("side 01.wav")), 4u);
  EXPECT_EQ(trackSamples(dir.file("side 02.wav")), stairs(588 * 10, 588 * 20 - 1));
  EXPECT_EQ(trackSamples(dir.file("side 03.wav")), stairs(588 * 20, 588 * 30 - 1));
  EXPECT_FALSE(editor.doc->cuesNotWritten);

  // Cancel at the first question: nothing further is written, the cues still need writing out.
  fs::remove(dir.file("side 03.wav"));
  editor.doc->cuesNotWritten = true;
  host.questions.clear();
  host.answers = {Answer::Cancel};
  split();
  EXPECT_EQ(host.questions.size(), 1u);
  EXPECT_FALSE(fs::exists(dir.file("side 03.wav")));
  EXPECT_TRUE(editor.doc->cuesNotWritten);
}

TEST_F(TrackCommandsTest, InABatchRunTheWavNameIsTakenAndFilesAreOverwritten) {
  open(588 * 30 + 5);
  addCue(588 * 10);
  std::ofstream(dir.file("side 02.wav"), std::ios::binary) << "junk";
  batch();
  editor.SplitTracks1Click();
  EXPECT_TRUE(host.fileDialogs.empty());
  EXPECT_TRUE(host.questions.empty());
  EXPECT_EQ(trackSamples(dir.file("side 01.wav")), stairs(0, 588 * 10 - 1));
  // No padding question, so no padding.
  EXPECT_EQ(trackSamples(dir.file("side 02.wav")), stairs(588 * 10, 588 * 30 + 4));
}

TEST_F(TrackCommandsTest, ATrackNamedLikeTheOpenFileIsRefusedAndTheFileKept) {
  open(588 * 30);
  editor.doc->track1Title = "side";
  addCue(588 * 10, true, "y");
  editor.ctx.settings.splitstub = false;
  editor.ctx.settings.splitcdtexttype = 3;
  editor.ctx.settings.splitcustomstring = "%t";
  batch();
  editor.SplitTracks1Click();
  EXPECT_EQ(log, (std::vector<std::string>{"      New file same as existing file!",
                                           "      Wrote " + dir.file("y.wav")}));
  EXPECT_EQ(trackSamples(dir.file("side.wav")), stairs(0, 588 * 30 - 1));
  EXPECT_EQ(trackSamples(dir.file("y.wav")), stairs(588 * 10, 588 * 30 - 1));
}

}  // namespace
}  // namespace tolmar::test
