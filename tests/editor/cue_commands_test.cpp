#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cue/cue_sheet.h"
#include "editor/editor.h"
#include "support/file_size_limit.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

struct CueCommandsTest : ::testing::Test {
  TempDir dir;
  ScriptedHost host;
  Editor editor{host};
  std::string wav = dir.file("side.wav");

  void open(uint32_t rate = 44100, int32_t frames = 300 * 44100,
            const std::string& name = "side.wav") {
    host.ctx = &editor.ctx;
    editor.ctx.settings.newstylewaveform = false;
    WavBuilder().rate(rate).frames(frames, [](int32_t) { return Frame{}; }).write(dir.file(name));
    ASSERT_TRUE(editor.OpenDocument(dir.file(name)));
    editor.doc->viewWidth = 4000;
  }
  void SetUp() override { open(); }

  std::vector<int32_t> positions() const {
    std::vector<int32_t> out;
    for (const Cue& c : editor.doc->cues) out.push_back(c.position);
    return out;
  }
  void addCue(int32_t selStart, AddCueModel::Type type, int marginMs = 200, bool mark = true) {
    editor.doc->selStart = selStart;
    host.dialogs["AddCue"] = [=](tolmar::test::ModelRef m) {
      auto& model = *static_cast<AddCueModel*>(m);
      model.type = type;
      model.marginMs = marginMs;
      model.setStartMark = mark;
      return true;
    };
    editor.AddCue1Click();
  }
};

TEST_F(CueCommandsTest, AddCuePointSnapsToCdFramesAndWarnsOnAnOccupiedFrame) {
  addCue(589, AddCueModel::TrackIndex1);
  addCue(588, AddCueModel::Index, 200, false);
  EXPECT_EQ(positions(), (std::vector<int32_t>{588, 1176}));
  EXPECT_FALSE(editor.doc->cues[0].track);
  EXPECT_EQ(editor.doc->selStart, 588);  // no start mark: left where it was
  EXPECT_TRUE(editor.doc->cuesNotWritten);

  addCue(1000, AddCueModel::TrackIndex0);
  EXPECT_TRUE(host.said("A cue point already exists on this frame"));
  EXPECT_EQ(positions().size(), 2u);

  // 200 ms at 44100 is 8820 frames, exactly 15 CD frames.
  addCue(100000, AddCueModel::TrackWithMargin);
  EXPECT_EQ(positions().back(), 91728);  // 100000 - 8820 = 91180, up to 156 × 588
  EXPECT_EQ(editor.doc->selStart, 91728);
  // A changed margin is kept in the settings.
  addCue(200000, AddCueModel::TrackWithMargin, 1000);
  EXPECT_EQ(editor.ctx.settings.safetymargin, 1000);
  EXPECT_EQ(positions().back(), snapUpToCdFrame(200000 - 44100, 44100));
  // Cancel adds nothing.
  host.dialogs["AddCue"] = [](tolmar::test::ModelRef) { return false; };
  editor.doc->selStart = 250000;
  editor.AddCue1Click();
  EXPECT_EQ(positions().size(), 4u);
}

TEST_F(CueCommandsTest, AddCuePointInAMacroRunUsesTheMarginWithoutADialog) {
  editor.ctx.macroRunning = true;
  editor.ctx.settings.safetymargin = 200;
  editor.doc->selStart = 44100;
  editor.AddCue1Click();
  EXPECT_TRUE(host.dialogIds.empty());
  ASSERT_EQ(positions(), (std::vector<int32_t>{snapUpToCdFrame(44100 - 8820, 44100)}));
  EXPECT_TRUE(editor.doc->cues[0].track);
  EXPECT_EQ(editor.doc->selStart, positions()[0]);
  // Near the start the margin would reach before the file: frame 0 is track 1 already.
  editor.doc->selStart = 1000;
  editor.AddCue1Click();
  EXPECT_EQ(positions().size(), 1u);
  EXPECT_TRUE(host.said("A cue point already exists on this frame"));
  // A margin of 1000 minutes from the INI file also reaches before the file, not past its end.
  editor.ctx.settings.safetymargin = 60'000'000;
  editor.doc->selStart = 88200;
  editor.AddCue1Click();
  EXPECT_EQ(positions().size(), 1u);
}

TEST_F(CueCommandsTest, AddTrackCueAt48kAndConvertMarkers) {
  open(48000, 60 * 48000, "side48.wav");
  ASSERT_EQ(editor.ctx.sampleRate, 48000);
  editor.ctx.settings.safetymargin = 100;  // 4800 frames
  EXPECT_TRUE(editor.AddTrackCue(10000, true, false));
  EXPECT_FALSE(editor.AddTrackCue(10200, true, false));  // same CD frame
  EXPECT_TRUE(editor.AddTrackCue(20000, false, true));
  EXPECT_EQ(positions(), (std::vector<int32_t>{9600, 15360}));

  editor.ctx.settings.addoffsetonconvert = false;
  editor.AddMarkerAt(30001);
  editor.AddMarkerAt(40000);
  editor.AddMarkerAt(500000);
  editor.doc->selStart = 25000;
  editor.doc->selEnd = 45000;
  editor.ConvertMarkersClick();
  EXPECT_EQ(positions(), (std::vector<int32_t>{9600, 15360, 30080, 40320}));
  ASSERT_EQ(editor.markers.size(), 1u);
  EXPECT_EQ(editor.markers.items[0].position, 500000);
}

TEST_F(CueCommandsTest, RegularCuePointsAndRemoval) {
  editor.doc->selStart = 0;
  editor.doc->selEnd = 200 * 44100;
  editor.AddRegularCuePoints1Click();  // the dialog's defaults: every 60 s, tracks
  EXPECT_EQ(positions(), (std::vector<int32_t>{60 * 44100, 120 * 44100, 180 * 44100}));
  host.dialogs["AddRegularCues"] = [](tolmar::test::ModelRef m) {
    auto& model = *static_cast<RegularCuesModel*>(m);
    model.seconds = 30;
    model.indexes = true;
    return true;
  };
  editor.AddRegularCuePoints1Click();
  ASSERT_EQ(positions().size(), 6u);  // 30, 90, 150 added; 60, 120, 180 kept
  EXPECT_FALSE(editor.doc->cues[0].track);
  EXPECT_TRUE(editor.doc->cues[1].track);
  host.dialogs["AddRegularCues"] = [](tolmar::test::ModelRef m) {
    static_cast<RegularCuesModel*>(m)->seconds = 0;
    return true;
  };
  editor.AddRegularCuePoints1Click();  // must not loop
  EXPECT_EQ(positions().size(), 6u);

  editor.doc->cuesNotWritten = false;
  editor.doc->selStart = 60 * 44100;
  editor.doc->selEnd = 150 * 44100;
  editor.RemoveDAOCuePoints1Click();
  EXPECT_EQ(positions(), (std::vector<int32_t>{30 * 44100, 180 * 44100}));
  EXPECT_TRUE(editor.doc->cuesNotWritten);
}

TEST_F(CueCommandsTest, GotoListTextsAndStepping) {
  Cue a;
  a.position = 588;
  a.track = false;
  Cue b;
  b.position = 60 * 44100;
  Cue c;
  c.position = 90 * 44100;
  c.track = false;
  Cue d;
  d.position = 120 * 44100;
  d.indexZero = true;
  editor.doc->cues = {a, b, c, d};
  EXPECT_EQ(editor.cueListTexts(),
            (std::vector<std::string>{
                " track 01, index 2 (00:00.013)", " track 02, index 1 (01:00.000)",
                " track 02, index 2 (01:30.000)", " track 03, index 0 (02:00.000)"}));
  EXPECT_EQ(editor.trackListTexts(),
            (std::vector<std::string>{"track 01 (00:00.000)", "track 02 (01:00.000)",
                                      "track 03 (02:00.000)"}));

  editor.ctx.settings.gocuesetstart = false;
  host.dialogs["GotoCue"] = [](tolmar::test::ModelRef m) {
    auto& model = *static_cast<GotoCueModel*>(m);
    EXPECT_FALSE(model.setStartMark);
    model.chosen = 1;
    model.setStartMark = true;
    return true;
  };
  editor.GotoCuePoint1Click();
  EXPECT_EQ(editor.doc->viewStart, 60 * 44100 - 1000);
  EXPECT_EQ(editor.doc->selStart, 60 * 44100);
  EXPECT_TRUE(editor.ctx.settings.gocuesetstart);

  editor.GotoNextCuePoint1Click();
  editor.GotoNextCuePoint1Click();
  editor.GotoNextCuePoint1Click();  // stays on the last
  EXPECT_EQ(editor.doc->selStart, 120 * 44100);
  editor.GotoFirstCuePoint1Click();
  editor.GotoPreviousCuePoint1Click();  // stays on the first
  EXPECT_EQ(editor.doc->viewStart, 0);
  EXPECT_EQ(editor.doc->selStart, 588);

  host.dialogs["DisplayTrack"] = [](tolmar::test::ModelRef m) {
    static_cast<DisplayTrackModel*>(m)->chosen = 1;
    return true;
  };
  editor.DisplayTrack1Click();
  EXPECT_EQ(editor.doc->selStart, 60 * 44100);
  EXPECT_EQ(editor.doc->selEnd, 120 * 44100);
  EXPECT_EQ(editor.doc->viewStart, 60 * 44100);
  EXPECT_EQ(editor.doc->viewWidth, 60 * 44100);
  host.dialogs["DisplayTrack"] = [](tolmar::test::ModelRef m) {
    static_cast<DisplayTrackModel*>(m)->chosen = 2;
    return true;
  };
  editor.DisplayTrack1Click();
  EXPECT_EQ(editor.doc->selEnd, editor.doc->lastFrame);
}

TEST_F(CueCommandsTest, WriteNewOverwriteAppendAndReadBack) {
  const std::string sheet = dir.file("side.cue");
  editor.AddTrackCue(180 * 44100, false, false);
  host.dialogs["CDTextSetup"] = [](tolmar::test::ModelRef m) {
    auto& model = *static_cast<CdTextModel*>(m);
    EXPECT_EQ(model.rows.size(), 2u);
    model.discTitle = "My Record";
    model.rows[0].title = "One";
    model.rows[1].performer = "Guest";
    return true;
  };
  editor.SetupCDTextData1Click();
  EXPECT_EQ(editor.doc->cues[0].performer, "Guest");

  host.saveAnswers = {sheet};
  editor.CreateDAOCueSheet1Click();
  EXPECT_EQ(host.fileDialogs.back().fileName, sheet);
  EXPECT_TRUE(host.said("Cue Sheet created"));
  EXPECT_FALSE(editor.doc->cuesNotWritten);
  const std::string first = slurp(sheet);
  EXPECT_EQ(first.rfind("REM Cue Sheet written by Tolmar\nTITLE \"My Record\"\nFILE ", 0), 0u);
  EXPECT_NE(first.find("    INDEX 01 03:00:00\n"), std::string::npos);

  // Overwrite, then append: the appended tracks continue the numbering.
  host.saveAnswers = {sheet};
  host.dialogs["ExistingCueFile"] = [](tolmar::test::ModelRef m) {
    auto& model = *static_cast<ExistingCueFileModel*>(m);
    EXPECT_EQ(model.text, "side.cue already exists");
    model.choice = ExistingCueFileModel::Overwrite;
    return true;
  };
  editor.CreateDAOCueSheet1Click();
  EXPECT_EQ(slurp(sheet), first);
  host.saveAnswers = {sheet};
  host.dialogs["ExistingCueFile"] = [](tolmar::test::ModelRef) { return true; };  // Append as offered
  editor.CreateDAOCueSheet1Click();
  EXPECT_TRUE(host.said("Cue Sheet updated"));
  const std::string both = slurp(sheet);
  EXPECT_EQ(both.substr(0, first.size()), first);
  EXPECT_NE(both.find("REM Cue Sheet appended to by Tolmar\n"), std::string::npos);
  EXPECT_NE(both.find("  TRACK 03 AUDIO\n"), std::string::npos);
  EXPECT_NE(both.find("  TRACK 04 AUDIO\n"), std::string::npos);
  // Cancel in the question writes nothing.
  host.saveAnswers = {sheet};
  host.dialogs["ExistingCueFile"] = [](tolmar::test::ModelRef) { return false; };
  editor.CreateDAOCueSheet1Click();
  EXPECT_EQ(slurp(sheet), both);

  // Read the first sheet back over a changed list; unsaved cues are asked about first.
  std::ofstream(sheet, std::ios::binary | std::ios::trunc) << first;
  editor.doc->cues.clear();
  editor.doc->discTitle.clear();
  editor.AddTrackCue(5880, false, false);
  host.openAnswers = {sheet};
  host.answers = {Answer::No};
  editor.ReadDAOCueSheet1Click();
  EXPECT_EQ(positions(), (std::vector<int32_t>{5880}));
  host.openAnswers = {sheet};
  host.answers = {Answer::Yes};
  editor.ReadDAOCueSheet1Click();
  EXPECT_EQ(positions(), (std::vector<int32_t>{180 * 44100}));
  EXPECT_EQ(editor.doc->discTitle, "My Record");
  EXPECT_EQ(editor.doc->track1Title, "One");
  EXPECT_EQ(editor.doc->cues[0].performer, "Guest");
  EXPECT_FALSE(editor.doc->cuesNotWritten);
}

TEST_F(CueCommandsTest, AppendingLeavesTheExistingSheetWhole) {
  // A sheet from elsewhere whose last line has no line break keeps that line as it was.
  const std::string sheet = dir.file("side.cue");
  const std::string old = "FILE side.wav WAVE\n  TRACK 01 AUDIO\n    PERFORMER Band";
  std::ofstream(sheet, std::ios::binary) << old;
  editor.ctx.batchRunning = true;
  editor.CreateDAOCueSheet1Click();
  EXPECT_EQ(slurp(sheet).rfind(old + "\nREM Cue Sheet appended to by Tolmar\n", 0), 0u);

  // The WAV itself picked as the sheet is neither overwritten nor appended to.
  editor.ctx.batchRunning = false;
  const std::string side = slurp(wav);
  for (auto choice : {ExistingCueFileModel::Overwrite, ExistingCueFileModel::Append}) {
    host.saveAnswers = {wav};
    host.dialogs["ExistingCueFile"] = [=](tolmar::test::ModelRef m) {
      static_cast<ExistingCueFileModel*>(m)->choice = choice;
      return true;
    };
    editor.CreateDAOCueSheet1Click();
    EXPECT_EQ(slurp(wav), side);
  }
  EXPECT_TRUE(host.said("New file same as existing file!"));
}

// A full disk part-way through, whether overwriting or appending, leaves the old sheet as it was.
TEST_F(CueCommandsTest, AFailedWriteLeavesThePreviousSheetWhole) {
  const std::string sheet = dir.file("side.cue");
  const std::string old = "FILE side.wav WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
  std::ofstream(sheet, std::ios::binary) << old;
  for (int k = 1; k <= 20; ++k) editor.AddTrackCue(k * 44100, false, false);
  {
    const FileSizeLimit limit(200);
    for (auto choice : {ExistingCueFileModel::Overwrite, ExistingCueFileModel::Append}) {
      host.saveAnswers = {sheet};
      host.dialogs["ExistingCueFile"] = [=](tolmar::test::ModelRef m) {
        static_cast<ExistingCueFileModel*>(m)->choice = choice;
        return true;
      };
      editor.CreateDAOCueSheet1Click();
    }
  }
  EXPECT_EQ(slurp(sheet), old);
  EXPECT_TRUE(host.said("Failed to write file " + sheet));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 2);  // the side and its sheet
}

TEST_F(CueCommandsTest, ReadChecksTheFileLineAndQuotesPathsWithSpaces) {
  const std::string spaced = (dir.path() / "my side.wav").string();
  fs::copy_file(wav, spaced);
  ASSERT_TRUE(editor.OpenDocument(spaced));
  editor.AddTrackCue(44100, false, false);
  const std::string sheet = dir.file("my side.cue");
  host.saveAnswers = {sheet};
  editor.CreateDAOCueSheet1Click();
  EXPECT_NE(slurp(sheet).find("FILE \"" + spaced + "\" WAVE\n"), std::string::npos);

  // The same path in other letter case is the same file: no question.
  std::string text = slurp(sheet);
  for (char& ch : text)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  std::ofstream(sheet, std::ios::binary | std::ios::trunc) << text;
  editor.doc->cues.clear();
  host.openAnswers = {sheet};
  editor.ReadDAOCueSheet1Click();
  EXPECT_TRUE(host.questions.empty());
  EXPECT_EQ(positions(), (std::vector<int32_t>{44100}));

  // Another WAV: Cancel keeps the list, OK reads it.
  std::ofstream(sheet, std::ios::binary | std::ios::trunc)
      << "FILE other.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 "
         "00:02:00\n";
  editor.doc->cuesNotWritten = true;
  host.openAnswers = {sheet};
  host.answers = {Answer::Yes, Answer::Cancel};
  editor.ReadDAOCueSheet1Click();
  EXPECT_TRUE(host.asked("Cue Sheet is not for this WAV file - Read Anyway?"));
  EXPECT_EQ(positions(), (std::vector<int32_t>{44100}));
  EXPECT_TRUE(editor.doc->cuesNotWritten);  // the kept cues are still unsaved
  host.openAnswers = {sheet};
  host.answers = {Answer::Yes, Answer::Ok};
  editor.ReadDAOCueSheet1Click();
  EXPECT_EQ(positions(), (std::vector<int32_t>{2 * 44100}));
  EXPECT_FALSE(editor.doc->cuesNotWritten);

  // A sheet without a FILE line adds to the list: the result is not on disk.
  std::ofstream(sheet, std::ios::binary | std::ios::trunc)
      << "TRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:04:00\n";
  host.openAnswers = {sheet};
  editor.ReadDAOCueSheet1Click();
  EXPECT_EQ(positions(), (std::vector<int32_t>{2 * 44100, 4 * 44100}));
  EXPECT_TRUE(editor.doc->cuesNotWritten);

  // A line that cannot be read is named in a warning; the rest of the sheet is read.
  std::ofstream(sheet, std::ios::binary | std::ios::trunc)
      << "FILE x.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\n"
         "INDEX 01 99:99:99\nTRACK 03 AUDIO\nINDEX 01 00:03:00\n";
  host.openAnswers = {sheet};
  host.answers = {Answer::Yes, Answer::Ok};
  editor.ReadDAOCueSheet1Click();
  EXPECT_EQ(positions(), (std::vector<int32_t>{3 * 44100}));
  EXPECT_TRUE(
      host.said("Lines of the cue sheet that could not be read were left out:\r"
                "Line 5: INDEX 01 99:99:99"));
}

TEST_F(CueCommandsTest, WriteRefusesAFileNameHoldingAQuote) {
  const std::string quotedName = (dir.path() / "the \"best\" side.wav").string();
  fs::copy_file(wav, quotedName);
  ASSERT_TRUE(editor.OpenDocument(quotedName));
  editor.AddTrackCue(44100, false, false);
  const std::string sheet = dir.file("best.cue");
  host.saveAnswers = {sheet};
  editor.CreateDAOCueSheet1Click();
  EXPECT_FALSE(fs::exists(sheet));
  EXPECT_TRUE(host.said("Cannot write a cue sheet for \"" + quotedName +
                        "\": a cue sheet cannot name a file whose name contains a double quote "
                        "(\")"));
  EXPECT_TRUE(editor.doc->cuesNotWritten);
}

}  // namespace
}  // namespace tolmar::test
