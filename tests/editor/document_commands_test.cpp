#include "editor/document_commands.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "config/settings_io.h"
#include "document/file_names.h"
#include "editor/command_table.h"
#include "editor/editor.h"
#include "support/editor_fixture.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

constexpr char kStrongText[] =
    "*** NOTE CAREFULLY ***\r\rThis operation will overwrite the original file on disk and "
    "CANNOT be undone\r\rONLY PROCEED IF YOU ARE CONFIDENT THAT THE CURRENT SETTINGS FOR THIS "
    "OPERATION ARE CORRECT!!!\r\rDo you wish to proceed?";
constexpr char kPlainText[] =
    "*** NOTE CAREFULLY ***\r\rThis operation will overwrite the original file on disk and "
    "CANNOT be undone\r\rDo you wish to proceed?";
constexpr char kCueQuestion[] =
    "When the cue points are adjusted as a result on this deletion/insertion, they may be "
    "shifted by up to 1/75th second in order to keep them on CD frame boundaries. Do you wish "
    "to proceed?";
constexpr char kTickQuestion[] =
    "There are non-zero sample(s) at the start and/or end of the selected region.\rThis could "
    "cause a small tick at the transition point.\rAre you sure you wish to proceed?";

struct DocCommandsTest : EditorTest {
  void open(const WavBuilder& b) {
    b.write(wav);
    ASSERT_TRUE(editor.OpenDocument(wav));
  }
  void edit(int32_t first, int32_t last, int16_t value) {
    auto rec = std::make_unique<Interpolation>();
    editor.doc->BeginBlock(*rec, first, last, 0);
    for (int32_t f = first; f <= last; ++f) editor.doc->PutSample(*rec, f, value);
    editor.doc->FinishBlock(*rec);
    editor.doc->AddEdit(std::move(rec), 0);
    editor.doc->CommitEdit(1, "Interpolate");
  }
  void select(int32_t a, int32_t b) {
    editor.doc->selStart = a;
    editor.doc->selEnd = b;
  }
  static int16_t left(const std::vector<uint8_t>& bytes, int32_t frame) {
    return static_cast<int16_t>(loadU16(&bytes[44 + 4 * static_cast<size_t>(frame)]));
  }
};

TEST_F(DocCommandsTest, DirectOverwriteGuardAsksItsQuestionsInOrder) {
  open(WavBuilder().staircase(1000));
  select(0, 999);
  host.answers = {Answer::Yes};
  EXPECT_TRUE(editor.VerifyDirectOverwrite(true, true));
  ASSERT_EQ(host.questions.size(), 1u);  // whole file: no selection question
  EXPECT_EQ(host.questions[0].kind, MsgKind::Warning);
  EXPECT_EQ(host.questions[0].text, kStrongText);

  select(10, 999);
  host.questions.clear();
  host.answers = {Answer::No};
  EXPECT_FALSE(editor.VerifyDirectOverwrite(true, false));
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(host.questions[0].text, kWholeFileQuestion);

  host.questions.clear();
  host.answers = {Answer::Yes, Answer::No};
  EXPECT_FALSE(editor.VerifyDirectOverwrite(true, false));
  ASSERT_EQ(host.questions.size(), 2u);
  EXPECT_EQ(host.questions[1].text, kPlainText);

  host.questions.clear();
  host.answers = {Answer::Yes};
  EXPECT_TRUE(editor.VerifyDirectOverwrite(false, false));  // part-file operations don't ask
  EXPECT_EQ(host.questions.size(), 1u);

  host.questions.clear();
  editor.ctx.macroRunning = true;
  EXPECT_TRUE(editor.VerifyDirectOverwrite(true, true));
  EXPECT_TRUE(host.questions.empty());

  edit(5, 6, 1);  // unsaved edits refuse even in a macro
  EXPECT_FALSE(editor.VerifyDirectOverwrite(true, true));
  EXPECT_TRUE(host.said(kUnsavedChangesText));
}

TEST_F(DocCommandsTest, SaveAsWritesTheEditsIntoTheCopyOnly) {
  open(WavBuilder().staircase(5000));
  const auto original = readFileBytes(wav);
  edit(100, 199, 777);
  editor.ctx.readOnly = true;  // Save As is the way out of a read-only file
  const std::string copy = dir.file("copy.wav");
  host.saveAnswers = {copy};
  editor.SaveAs1Click();
  ASSERT_EQ(host.fileDialogs.size(), 1u);
  EXPECT_EQ(host.fileDialogs[0].title, "Save Entire WAV File");
  EXPECT_EQ(host.fileDialogs[0].fileName, dir.file("side1.wav"));
  EXPECT_EQ(host.fileDialogs[0].directory, dir.path().string());
  EXPECT_EQ(host.progressCaptions.front(), " Writing:");
  EXPECT_EQ(readFileBytes(wav), original);
  const auto saved = readFileBytes(copy);
  EXPECT_EQ(left(saved, 99), 99);
  EXPECT_EQ(left(saved, 150), 777);
  EXPECT_EQ(editor.doc->path, copy);
  EXPECT_FALSE(editor.doc->canUndo());
  EXPECT_FALSE(editor.ctx.readOnly);
  EXPECT_EQ(host.title.substr(0, copy.size()), copy);
  EXPECT_EQ(recentFiles(editor.iniFile), (std::vector<std::string>{copy, wav}));
  int16_t frame[2];
  editor.doc->ReadFrames(false, frame, 150, 150);  // the document now reads the copy
  EXPECT_EQ(frame[0], 777);
}

TEST_F(DocCommandsTest, SaveAsRefusesTheCurrentFileAndUsesTheNumberedNameInBatch) {
  open(WavBuilder().staircase(500));
  edit(10, 20, 5);
  const auto original = readFileBytes(wav);
  host.saveAnswers = {dir.file("./side.wav")};
  editor.SaveAs1Click();
  EXPECT_TRUE(host.said("New file same as existing file!"));
  EXPECT_EQ(readFileBytes(wav), original);
  EXPECT_EQ(editor.doc->path, wav);
  EXPECT_TRUE(editor.doc->canUndo());

  host.saveAnswers = {std::nullopt};  // Cancel
  editor.SaveAs1Click();
  EXPECT_EQ(editor.doc->path, wav);

  editor.ctx.batchRunning = true;
  const size_t dialogs = host.fileDialogs.size();
  editor.SaveAs1Click();
  EXPECT_EQ(host.fileDialogs.size(), dialogs);
  EXPECT_EQ(editor.doc->path, dir.file("side1.wav"));
  EXPECT_EQ(left(readFileBytes(dir.file("side1.wav")), 15), 5);
  EXPECT_EQ(readFileBytes(wav), original);
}

TEST_F(DocCommandsTest, MarksAreAddedClearedAndRemovedBySelection) {
  open(WavBuilder().staircase(10000));
  select(100, 200);
  editor.MarkforDeletion1Click();
  select(201, 300);
  editor.MarkforDeletion1Click();
  select(1000, 1100);
  editor.MarkforDeletion1Click();
  ASSERT_EQ(editor.doc->deletions.size(), 2u);
  EXPECT_EQ(editor.doc->deletions[0].end, 300);

  select(150, 1200);  // only the second mark lies wholly inside
  editor.ClearDeletionMarks1Click();
  ASSERT_EQ(editor.doc->deletions.size(), 1u);
  EXPECT_EQ(editor.doc->deletions[0].start, 100);
  select(50, 1200);
  editor.ClearDeletionMarks1Click();
  EXPECT_TRUE(editor.doc->deletions.empty());

  host.dialogs[kSetInsertionLengthDialogId] = [](tolmar::test::ModelRef m) {
    static_cast<SetInsertionLengthModel*>(m)->length = "0:01.5";
    return true;
  };
  select(400, 500);
  editor.InsertSilence1Click();
  host.dialogs[kSetInsertionLengthDialogId] = [](tolmar::test::ModelRef m) {
    auto* model = static_cast<SetInsertionLengthModel*>(m);
    EXPECT_EQ(model->length, "0:01.5");  // the dialog starts with the last length
    model->length = " 250 ";
    model->exactSamples = true;
    return true;
  };
  select(300, 500);
  editor.InsertSilence1Click();
  ASSERT_EQ(editor.doc->insertions.size(), 2u);
  EXPECT_EQ(editor.doc->insertions[0].position, 300);
  EXPECT_EQ(editor.doc->insertions[0].length, 250);
  EXPECT_EQ(editor.doc->insertions[1].length, 66150);

  host.dialogs[kSetInsertionLengthDialogId] = [](tolmar::test::ModelRef m) {
    static_cast<SetInsertionLengthModel*>(m)->length = "25O";
    return true;
  };
  editor.InsertSilence1Click();
  EXPECT_EQ(editor.doc->insertions.size(), 2u);
  EXPECT_EQ(host.messages.back().kind, MsgKind::Error);
  host.dialogs[kSetInsertionLengthDialogId] = [](tolmar::test::ModelRef m) {
    static_cast<SetInsertionLengthModel*>(m)->length = "-5";
    return true;
  };
  editor.InsertSilence1Click();  // no negative silences
  EXPECT_EQ(editor.doc->insertions.size(), 2u);
  editor.ctx.macroRunning = true;
  const size_t shown = host.dialogIds.size();
  editor.InsertSilence1Click();
  EXPECT_EQ(host.dialogIds.size(), shown);
  editor.ctx.macroRunning = false;

  select(350, 500);
  editor.RemoveSilenceClick();
  ASSERT_EQ(editor.doc->insertions.size(), 1u);
  EXPECT_EQ(editor.doc->insertions[0].position, 300);
}

TEST_F(DocCommandsTest, SurroundingSilenceAsksAndConvertsMilliseconds) {
  open(WavBuilder().frames(10000, [](int32_t i) {
    return Frame{static_cast<int16_t>(i >= 100 && i <= 9000 ? 0 : 1), 0};
  }));
  select(100, 9000);  // zero at both ends, but not the whole file
  host.answers = {Answer::No};
  editor.AddSurroundingSilence1Click();
  EXPECT_EQ(host.questions.back().text, kWholeFileQuestion);
  EXPECT_TRUE(editor.doc->insertions.empty());

  host.answers = {Answer::Yes};
  host.dialogs[kAddSurroundingSilenceDialogId] = [](tolmar::test::ModelRef m) {
    auto* model = static_cast<AddSurroundingSilenceModel*>(m);
    EXPECT_EQ(model->startMs, 100);
    EXPECT_EQ(model->endMs, 3000);
    model->startMs = 10;
    return true;
  };
  editor.AddSurroundingSilence1Click();
  EXPECT_EQ(host.questions.size(), 2u);  // no tick question
  ASSERT_EQ(editor.doc->insertions.size(), 2u);
  EXPECT_EQ(editor.doc->insertions[0].position, 100);
  EXPECT_EQ(editor.doc->insertions[0].length, 441);
  EXPECT_EQ(editor.doc->insertions[1].position, 9001);
  EXPECT_EQ(editor.doc->insertions[1].length, 132300);
  EXPECT_EQ(editor.ctx.settings.surroundstart, 10);

  editor.doc->insertions.clear();
  select(0, 9999);  // whole file, non-zero ends
  host.answers = {Answer::No};
  editor.AddSurroundingSilence1Click();
  EXPECT_EQ(host.questions.back().text, kTickQuestion);
  EXPECT_EQ(host.questions.back().kind, MsgKind::Warning);
  EXPECT_TRUE(editor.doc->insertions.empty());

  editor.ctx.batchRunning = true;  // settings at once, no questions
  const size_t asked = host.questions.size();
  editor.AddSurroundingSilence1Click();
  EXPECT_EQ(host.questions.size(), asked);
  ASSERT_EQ(editor.doc->insertions.size(), 2u);
  EXPECT_EQ(editor.doc->insertions[1].position, 10000);  // after the last frame
  // A selection ending at the last frame removes the silence placed after it.
  select(9000, 9999);
  editor.RemoveSilenceClick();
  EXPECT_EQ(editor.doc->insertions.size(), 1u);
}

TEST_F(DocCommandsTest, MenuRowsRunTheHandlersWhenTheirStateAllows) {
  open(WavBuilder().staircase(1000));
  select(10, 20);
  const Command* mark = findCommand("Edit | Mark Selection for Deletion");
  const Command* execute = findCommand("Edit | Execute Deletions/Insertions");
  ASSERT_TRUE(mark && execute);
  EXPECT_FALSE(isEnabled(*execute, computeCommandState(editor)));
  ASSERT_TRUE(isEnabled(*mark, computeCommandState(editor)));
  invoke(editor, *mark);
  ASSERT_EQ(editor.doc->deletions.size(), 1u);
  ASSERT_TRUE(isEnabled(*execute, computeCommandState(editor)));
  invoke(editor, *execute);
  EXPECT_EQ(editor.doc->frameCount, 989);
  editor.setAudibleMarker(5);  // an audible marker alone makes the marker commands available
  const Command* clearAll = findCommand("Markers | Clear All Markers");
  ASSERT_TRUE(clearAll && isEnabled(*clearAll, computeCommandState(editor)));
  invoke(editor, *clearAll);
  EXPECT_EQ(editor.audibleMarker, -1);
}

// A staircase file cut and padded; every frame, header field and moved position is known.
TEST_F(DocCommandsTest, ExecuteDeletionsRebuildsTheFileAndMovesEverything) {
  editor.ctx.settings.newstylewaveform = true;
  open(WavBuilder().staircase(10000));
  WaveFile* doc = editor.doc.get();
  doc->deletions = {{1000, 1999}, {5000, 5099}};
  doc->insertions = {{500, 100}, {1500, 77}, {8000, 50}, {10000, 30}};
  for (int32_t p : {300, 500, 1500, 2500, 9999}) editor.markers.Add(0, p, 0);
  editor.markers.Add(1, 2500, 3);
  editor.setAudibleMarker(1200);
  Cue cue;
  cue.position = 3000;
  cue.title = "Second";
  doc->cues.push_back(cue);
  doc->discTitle = "Album";
  doc->track1Performer = "Band";
  editor.clicks.stored = GlitchList();
  editor.clicks.stored->Add(1500, 1, 0);
  editor.clicks.falseClicks.Add(6000, 0, 1);
  ASSERT_TRUE(fs::exists(fs::path(wav).replace_extension(".qed")));

  editor.ExecuteDeletions1Click();
  EXPECT_TRUE(host.asked(kCueQuestion));
  EXPECT_TRUE(host.messages.empty());
  EXPECT_NE(
      std::find(host.progressCaptions.begin(), host.progressCaptions.end(), " Writing temp file:"),
      host.progressCaptions.end());

  std::vector<int16_t> expected;
  auto frames = [&](int a, int b) {
    for (int i = a; i <= b; ++i) expected.push_back(static_cast<int16_t>(i));
  };
  auto silence = [&](int n) { expected.insert(expected.end(), static_cast<size_t>(n), 0); };
  frames(0, 499);
  silence(100);
  frames(500, 999);
  frames(2000, 4999);
  frames(5100, 7999);
  silence(50);
  frames(8000, 9999);
  silence(30);
  const auto bytes = readFileBytes(wav);
  ASSERT_EQ(bytes.size(), 44 + 4 * expected.size());
  EXPECT_EQ(loadU32(&bytes[4]), 36 + 4 * expected.size());
  EXPECT_EQ(loadU32(&bytes[40]), 4 * expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(left(bytes, static_cast<int32_t>(i)), expected[i]) << "frame " << i;
    ASSERT_EQ(static_cast<int16_t>(loadU16(&bytes[44 + 4 * i + 2])),
              static_cast<int16_t>(-expected[i]));
  }

  ASSERT_NE(editor.doc, nullptr);
  doc = editor.doc.get();
  EXPECT_EQ(doc->frameCount, static_cast<int32_t>(expected.size()));
  EXPECT_TRUE(doc->deletions.empty());
  EXPECT_TRUE(doc->insertions.empty());
  ASSERT_TRUE(doc->hasPeaks());
  EXPECT_EQ(doc->peakLeft[0], 899);  // a fresh scan, not the old file's cache
  std::vector<std::pair<int32_t, uint8_t>> markers;
  for (const auto& m : editor.markers.items) markers.emplace_back(m.position, m.kind);
  EXPECT_EQ(markers, (std::vector<std::pair<int32_t, uint8_t>>{
                         {300, 0}, {600, 0}, {1600, 0}, {9049, 0}, {1600, 1}}));
  EXPECT_EQ(editor.audibleMarker, -1);  // it lay in a deleted section
  ASSERT_EQ(doc->cues.size(), 1u);
  EXPECT_EQ(doc->cues[0].position, 2352);  // 2100 rounded up to a CD frame
  EXPECT_EQ(doc->cues[0].title, "Second");
  EXPECT_TRUE(doc->cuesNotWritten);
  EXPECT_EQ(doc->discTitle, "Album");
  EXPECT_EQ(doc->track1Performer, "Band");
  ASSERT_TRUE(editor.clicks.stored.has_value());
  EXPECT_EQ(editor.clicks.stored->items[0].position, 1099);  // clicks are never dropped
  EXPECT_EQ(editor.clicks.falseClicks.items[0].position, 5000);
  EXPECT_EQ(editor.clicks.falseClicks.items[0].channel, 1);
  // Nothing left behind but the file and its fresh cache.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST_F(DocCommandsTest, ExecuteDeletionsRefusesOrStopsWithoutTouchingTheFile) {
  open(WavBuilder().staircase(50000));
  const auto original = readFileBytes(wav);
  editor.doc->deletions = {{100, 199}};
  edit(10, 20, 3);
  editor.ExecuteDeletions1Click();
  EXPECT_TRUE(host.said(kUnsavedChangesText));
  editor.doc->Undo();

  Cue cue;
  cue.position = 588;
  editor.doc->cues.push_back(cue);
  host.answers = {Answer::No};
  editor.ExecuteDeletions1Click();
  EXPECT_TRUE(host.asked(kCueQuestion));
  EXPECT_EQ(readFileBytes(wav), original);

  host.cancelAtPump = host.pumps + 3;
  editor.ExecuteDeletions1Click();
  EXPECT_EQ(readFileBytes(wav), original);
  EXPECT_EQ(editor.doc->deletions.size(), 1u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

  editor.ctx.settings.tmpdir = dir.file("gone");
  editor.ExecuteDeletions1Click();
  EXPECT_EQ(host.messages.back().text,
            "Failed to create a temporary file in directory " + dir.file("gone"));
  EXPECT_EQ(readFileBytes(wav), original);
}

TEST_F(DocCommandsTest, ExecuteDeletionsThroughATemporaryDirectoryElsewhere) {
  std::error_code ec;
  TempDir scratchName;
  const fs::path shm = fs::path("/dev/shm") / scratchName.path().filename();
  if (!fs::create_directory(shm, ec)) GTEST_SKIP() << "cannot write /dev/shm";
  open(WavBuilder().staircase(3000));
  editor.ctx.settings.tmpdir = shm.string();
  editor.doc->deletions = {{0, 999}};
  editor.ExecuteDeletions1Click();
  const auto bytes = readFileBytes(wav);
  ASSERT_EQ(bytes.size(), 44u + 4 * 2000);
  EXPECT_EQ(left(bytes, 0), 1000);
  EXPECT_EQ(left(bytes, 1999), 2999);
  EXPECT_EQ(editor.doc->frameCount, 2000);
  EXPECT_TRUE(fs::is_empty(shm));  // the temporary file went
  fs::remove_all(shm, ec);
}

}  // namespace
}  // namespace tolmar::test
