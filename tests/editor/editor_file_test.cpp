#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "document/wav_format.h"
#include "editor/batch_mode.h"
#include "editor/editor.h"
#include "support/editor_fixture.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

struct EditorFixture : EditorTest {
  std::vector<uint8_t> fileBytes(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  // A left-channel record over first..last holding `value`, committed as one step.
  void edit(int32_t first, int32_t last, int16_t value, const std::string& caption) {
    auto rec = std::make_unique<Interpolation>();
    editor.doc->BeginBlock(*rec, first, last, 0);
    for (int32_t f = first; f <= last; ++f) editor.doc->PutSample(*rec, f, value);
    editor.doc->FinishBlock(*rec);
    editor.doc->AddEdit(std::move(rec), 0);
    editor.doc->CommitEdit(1, caption);
  }
};

TEST_F(EditorFixture, OpenSetsTitleSelectionAndRate) {
  WavBuilder().rate(48000).staircase(96000).write(wav);
  ASSERT_TRUE(editor.OpenDocument(wav));
  EXPECT_EQ(editor.ctx.sampleRate, 48000);
  EXPECT_EQ(editor.ctx.playBufferFrames, 4800);
  EXPECT_EQ(host.title, wav + " (length 00:01.999; samplerate 48000)");
  EXPECT_EQ(editor.doc->selStart, 0);
  EXPECT_EQ(editor.doc->selEnd, 95999);
  EXPECT_EQ(editor.doc->viewWidth, 96000);
  editor.CloseFile1Click();
  EXPECT_EQ(editor.doc, nullptr);
  EXPECT_EQ(host.title, "Tolmar");
}

TEST_F(EditorFixture, InitialDisplaySecondsLimitTheFirstView) {
  editor.ctx.settings.initialdisplay = 1;
  editor.ctx.settings.openselect = false;
  WavBuilder().staircase(100000).write(wav);
  ASSERT_TRUE(editor.OpenDocument(wav));
  EXPECT_EQ(editor.doc->viewWidth, 44100);
  EXPECT_EQ(editor.doc->selStart, -1);
}

TEST_F(EditorFixture, ReadOnlyFileWarnsOnceAndStillOpens) {
  if (geteuid() == 0) GTEST_SKIP() << "root can write any file";
  WavBuilder().staircase(100).write(wav);
  fs::permissions(wav, fs::perms::owner_read, fs::perm_options::replace);
  ASSERT_TRUE(editor.OpenDocument(wav));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text,
            "File being opened is read only.\rEdits cannot be saved back to this file");
  EXPECT_TRUE(editor.ctx.readOnly);
}

// A file another editor or batch job holds for writing: the window opens it read only, a batch
// run refuses it; both write nothing into it or beside it. Closing the holder frees it.
TEST_F(EditorFixture, AFileHeldForWritingElsewhereOpensReadOnlyOrIsRefusedInABatch) {
  editor.ctx.settings.newstylewaveform = true;
  WavBuilder().staircase(3000).write(wav);
  const auto original = readFileBytes(wav);
  auto holder = std::make_unique<ScriptedHost>();
  auto other = std::make_unique<Editor>(*holder);
  holder->ctx = &other->ctx;
  other->ctx.settings.newstylewaveform = false;
  ASSERT_TRUE(other->OpenDocument(wav));

  ASSERT_TRUE(editor.OpenDocument(wav));
  EXPECT_TRUE(host.said(lockedElsewhereReadOnlyText()));
  EXPECT_TRUE(editor.ctx.readOnly);
  EXPECT_FALSE(editor.saveEnabled());
  EXPECT_EQ(editor.doc->frameCount, 3000);
  editor.doc.reset();
  EXPECT_FALSE(fs::exists(fs::path(wav).replace_extension(".qed")));

  std::vector<std::string> log;
  {
    // A batch run works in each file's folder; the next tests must not start in this one.
    const fs::path start = fs::current_path();
    BatchRun run(editor, log, false);
    run.file(wav, std::vector<PlanStep>{{false, "Edit | Add Surrounding Silence"},
                                        {false, "Edit | Execute Deletions/Insertions"}});
    fs::current_path(start);
    EXPECT_EQ(run.failedFiles(), 1);
  }
  EXPECT_EQ(editor.doc, nullptr);
  EXPECT_NE(std::find(log.begin(), log.end(), "      " + lockedElsewhereText(wav)), log.end());
  EXPECT_EQ(readFileBytes(wav), original);

  other.reset();
  editor.ctx.settings.newstylewaveform = false;
  host.messages.clear();
  ASSERT_TRUE(editor.OpenDocument(wav));
  EXPECT_TRUE(host.messages.empty());
  EXPECT_FALSE(editor.ctx.readOnly);
}

TEST_F(EditorFixture, MissingFileReportsTheErrorAndLeavesNoDocument) {
  EXPECT_FALSE(editor.OpenDocument(dir.file("absent.wav")));
  EXPECT_EQ(editor.doc, nullptr);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].kind, MsgKind::Error);
}

TEST_F(EditorFixture, UnsupportedFileOffersRewriteAndOpensAfterIt) {
  // Mono header over stereo-sized data: refused, then repaired at 48000.
  WavBuilder().channels(1).staircase(1000).write(wav);
  const auto size = fs::file_size(wav);
  int shown = 0;
  host.dialogs[kUnsupportedFormatDialogId] = [&](tolmar::test::ModelRef m) {
    auto* model = static_cast<UnsupportedFormatModel*>(m);
    EXPECT_EQ(model->path, wav);
    EXPECT_EQ(model->lines.size(), 11u);
    model->rewriteRate = 48000;
    return ++shown == 1;
  };
  ASSERT_TRUE(editor.OpenDocument(wav));
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(host.said(kHeaderRewrittenText));
  ASSERT_NE(editor.doc, nullptr);
  EXPECT_EQ(editor.doc->frameCount, static_cast<int32_t>((size - 44) / 4));
  EXPECT_EQ(editor.ctx.sampleRate, 48000);
}

TEST_F(EditorFixture, UnsupportedFileClosedLeavesNoDocumentAndSilentModeLogsIt) {
  WavBuilder().bits(8).staircase(10).write(wav);
  host.dialogs[kUnsupportedFormatDialogId] = [](tolmar::test::ModelRef) { return false; };
  EXPECT_FALSE(editor.OpenDocument(wav));
  EXPECT_EQ(editor.doc, nullptr);
  EXPECT_EQ(host.dialogIds, std::vector<std::string>{kUnsupportedFormatDialogId});

  std::vector<std::string> log;
  editor.ctx.silentMode = true;
  editor.ctx.batchLog = &log;
  EXPECT_FALSE(editor.OpenDocument(wav));
  EXPECT_EQ(host.dialogIds.size(), 1u);  // no dialog in silent mode
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].substr(0, 6), "      ");
}

TEST_F(EditorFixture, TruncateExtraDataRemovesTrailingBytesAfterConfirmation) {
  // Stray bytes, not a chunk (a well-formed chunk there would be kept).
  WavBuilder().staircase(100).trailing({0xAB, 'L', 'I', 'S', 'T', 1, 0, 0, 0}).write(wav);
  ASSERT_TRUE(editor.OpenDocument(wav));
  host.dialogs[kConfirmTruncationDialogId] = [](tolmar::test::ModelRef m) {
    auto* model = static_cast<ConfirmTruncationModel*>(m);
    EXPECT_EQ(model->intro, "There are 9 spurious bytes in the file, starting with: ");
    EXPECT_EQ(model->hex, "AB 4C 49 53 54 01 00 00 00 ");
    return false;  // Leave Them
  };
  editor.TruncateExtraData1Click();
  EXPECT_EQ(fs::file_size(wav), 44u + 400 + 9);
  host.dialogs.clear();
  editor.TruncateExtraData1Click();
  EXPECT_EQ(fs::file_size(wav), 44u + 400);
  EXPECT_TRUE(host.said("9 spurious bytes removed"));
  auto bytes = fileBytes(wav);
  EXPECT_EQ(loadU32(&bytes[4]), 436u);
  editor.TruncateExtraData1Click();
  EXPECT_TRUE(host.said("File has no spurious bytes"));
  int16_t frame[2];
  editor.doc->ReadFrames(true, frame, 99, 99);  // the document still reads its audio
  EXPECT_EQ(frame[0], 99);
}

TEST_F(EditorFixture, SaveWritesTheOverlayAndEndsHistory) {
  WavBuilder().staircase(20000).write(wav);
  ASSERT_TRUE(editor.OpenDocument(wav));
  edit(100, 199, 777, "Interpolate");
  edit(150, 12000, -5, "Fade");
  // A two-channel Silence: the pair of zero lines written in one pass.
  editor.doc->AddLinearEdit(15000, 19999, 0, 0, 0);
  editor.doc->AddLinearEdit(15000, 19999, 0, 0, 1);
  editor.doc->CommitEdit(2, "Silence");
  editor.doc->Undo();
  editor.doc->Undo();  // only the first step stays
  ASSERT_TRUE(editor.Save1Click());
  EXPECT_FALSE(editor.doc->canUndo());
  EXPECT_FALSE(editor.doc->canRedo());
  EXPECT_TRUE(editor.doc->interps.empty());
  auto bytes = fileBytes(wav);
  auto sample = [&](int32_t frame, int ch) {
    return static_cast<int16_t>(loadU16(&bytes[44 + 4 * frame + 2 * ch]));
  };
  EXPECT_EQ(sample(99, 0), 99);
  EXPECT_EQ(sample(100, 0), 777);
  EXPECT_EQ(sample(199, 0), 777);
  EXPECT_EQ(sample(150, 1), -150);
  EXPECT_EQ(sample(200, 0), 200);
  EXPECT_EQ(sample(16000, 0), 16000);  // the undone Silence was not written
}

TEST_F(EditorFixture, SaveWritesSilencePairsAndPartnersExactly) {
  WavBuilder().staircase(30000).write(wav);
  ASSERT_TRUE(editor.OpenDocument(wav));
  editor.doc->AddLinearEdit(1000, 25000, 0, 0, 0);
  editor.doc->AddLinearEdit(1000, 25000, 0, 0, 1);
  editor.doc->CommitEdit(2, "Silence");
  auto l = std::make_unique<Interpolation>();
  auto r = std::make_unique<Interpolation>();
  editor.doc->BeginBlock(*l, 20000, 29999, 0);
  editor.doc->BeginBlock(*r, 20000, 29999, 1);
  for (int32_t f = 20000; f <= 29999; ++f) {
    editor.doc->PutSample(*l, f, 1);
    editor.doc->PutSample(*r, f, 2);
  }
  editor.doc->FinishBlock(*l);
  editor.doc->FinishBlock(*r);
  auto* lp = editor.doc->AddEdit(std::move(l), 0);
  auto* rp = editor.doc->AddEdit(std::move(r), 1);
  WaveFile::LinkChannels(lp, rp);
  editor.doc->CommitEdit(2, "Replace From File");
  std::vector<int16_t> before(30000 * 2);
  editor.doc->ReadFrames(true, before.data(), 0, 29999);
  ASSERT_TRUE(editor.Save1Click());
  std::vector<int16_t> after(30000 * 2);
  editor.doc->ReadFrames(false, after.data(), 0, 29999);
  EXPECT_EQ(before, after);  // the file holds exactly what the overlay showed
  EXPECT_EQ(after[2 * 999], 999);
  EXPECT_EQ(after[2 * 1000], 0);
  EXPECT_EQ(after[2 * 20000 + 1], 2);
}

TEST_F(EditorFixture, CancelledSaveKeepsTheRecords) {
  WavBuilder().staircase(20000).write(wav);
  ASSERT_TRUE(editor.OpenDocument(wav));
  for (int i = 0; i < 5; ++i) edit(i * 1000, i * 1000 + 10, 1, "Interpolate");
  host.cancelAtPump = host.pumps + 2;
  EXPECT_FALSE(editor.Save1Click());
  // The two steps written before the cancel are saved; the other three stay undoable.
  EXPECT_EQ(editor.doc->interps.size(), 3u);
  EXPECT_EQ(editor.doc->undoSteps.size(), 3u);
}

TEST_F(EditorFixture, SaveConfirmationCanStopTheSave) {
  editor.ctx.settings.saveconfirm = true;
  WavBuilder().staircase(2000).write(wav);
  ASSERT_TRUE(editor.OpenDocument(wav));
  edit(10, 20, 5, "Interpolate");
  host.answers = {Answer::No};
  EXPECT_FALSE(editor.Save1Click());
  EXPECT_TRUE(host.asked("Are you sure you wish to save back to hard disk?"));
  EXPECT_TRUE(editor.doc->canUndo());
}

TEST_F(EditorFixture, QueryCloseAsksInOrderAndActsOnTheAnswer) {
  WavBuilder().staircase(2000).write(wav);
  ASSERT_TRUE(editor.OpenDocument(wav));
  EXPECT_TRUE(editor.QueryClose());  // clean: nothing asked
  EXPECT_TRUE(host.questions.empty());

  editor.doc->deletions.push_back({10, 20});
  Cue cue;
  cue.position = 588;
  editor.doc->cues.push_back(cue);
  editor.doc->cuesNotWritten = true;
  edit(10, 20, 5, "Interpolate");
  host.answers = {Answer::Yes, Answer::No};
  EXPECT_FALSE(editor.QueryClose());
  ASSERT_EQ(host.questions.size(), 2u);
  EXPECT_EQ(host.questions[1].text,
            "There cue points which have not been saved to a cue sheet or used to split "
            "tracks;\rif you proceed they will be lost.\rDo you wish to proceed?");

  host.questions.clear();
  host.answers = {Answer::Yes, Answer::Yes, Answer::Cancel};
  EXPECT_FALSE(editor.QueryClose());
  EXPECT_EQ(host.questions.back().text, "Save updates to " + wav + "?");

  host.answers = {Answer::Yes, Answer::Yes, Answer::No};  // No: every step undone
  EXPECT_TRUE(editor.QueryClose());
  EXPECT_FALSE(editor.doc->canUndo());
  EXPECT_EQ(fileBytes(wav)[44 + 40], 10);  // nothing written

  edit(10, 20, 5, "Interpolate");
  host.answers = {Answer::Yes, Answer::Yes, Answer::Yes};  // Yes: saved
  EXPECT_TRUE(editor.QueryClose());
  EXPECT_EQ(fileBytes(wav)[44 + 40], 5);

  editor.ctx.batchRunning = true;  // automation never asks
  const size_t asked = host.questions.size();
  edit(10, 20, 6, "Interpolate");
  EXPECT_TRUE(editor.QueryClose());
  EXPECT_EQ(host.questions.size(), asked);
}

// A Close pressed while a macro step's long operation pumps messages destroyed the document
// under that operation: the macro shortcut was taken before the progress-panel check.
TEST_F(EditorFixture, CloseIsRefusedWhileAProgressPanelShowsEvenInAMacro) {
  WavBuilder().staircase(2000).write(wav);
  ASSERT_TRUE(editor.OpenDocument(wav));
  editor.ctx.macroRunning = true;
  {
    Progress busy(editor.ctx, " Removing:");
    EXPECT_FALSE(editor.QueryClose());
    editor.CloseFile1Click();
    EXPECT_NE(editor.doc, nullptr);
  }
  EXPECT_TRUE(editor.QueryClose());
}

TEST_F(EditorFixture, QueryCloseOnAReadOnlyFileOffersToGoBack) {
  WavBuilder().staircase(2000).write(wav);
  ASSERT_TRUE(editor.OpenDocument(wav));
  editor.ctx.readOnly = true;
  edit(10, 20, 5, "Interpolate");
  host.answers = {Answer::Yes};
  EXPECT_FALSE(editor.QueryClose());
  host.answers = {Answer::No};
  EXPECT_TRUE(editor.QueryClose());
  EXPECT_EQ(fileBytes(wav)[44 + 40], 10);
}

TEST_F(EditorFixture, UndoAndRedoHandlersNeedADocument) {
  editor.Undo1Click();  // no document: nothing happens
  editor.Redo1Click();
  WavBuilder().staircase(2000).write(wav);
  ASSERT_TRUE(editor.OpenDocument(wav));
  edit(10, 20, 5, "Interpolate");
  editor.Undo1Click();
  EXPECT_EQ(editor.doc->redoCaption(), "Redo Interpolate");
  editor.Redo1Click();
  EXPECT_EQ(editor.doc->undoCaption(), "Undo Interpolate");
}

// Remove All Clicks pumps messages while its records are on the list but not yet in a step:
// an Undo, Redo or Save run from the pump then took them for an earlier step's, or wrote them.
TEST_F(EditorFixture, UndoRedoAndSaveWaitWhileALongEditPumpsMessages) {
  WavBuilder().staircase(2000).write(wav);
  ASSERT_TRUE(editor.OpenDocument(wav));
  editor.ctx.settings.saveconfirm = false;
  edit(10, 20, 5, "Interpolate");
  editor.params.repairMethod = RepairMethod::Linear;
  editor.clicks.stored.emplace();
  editor.clicks.stored->Add(500, 1, 0);
  editor.clicks.stored->Add(1500, 1, 0);
  host.onPump = [&](int) {
    editor.Undo1Click();
    editor.Redo1Click();
    editor.Save1Click();
  };
  editor.RemoveAllClicks1Click();
  host.onPump = nullptr;
  ASSERT_EQ(editor.doc->undoSteps.size(), 2u);
  EXPECT_EQ(editor.doc->undoCaption(), "Undo Remove All Clicks");
  EXPECT_EQ(fileBytes(wav)[44 + 40], 10) << "nothing was saved meanwhile";
  editor.Undo1Click();
  editor.Undo1Click();
  EXPECT_FALSE(editor.doc->canUndo());
  EXPECT_FALSE(host.said("bad undo!"));
}

// Execute Deletions and Append replace the file and reopen the document: run from the pump of
// a long operation they would free the document it is still reading.
TEST_F(EditorFixture, CommandsThatReopenTheDocumentWaitForALongOperation) {
  WavBuilder().staircase(200000).write(wav);
  ASSERT_TRUE(editor.OpenDocument(wav));
  editor.doc->deletions.push_back({100, 199});
  host.openAnswers = {wav};
  WaveFile* const running = editor.doc.get();
  host.onPump = [&](int) {
    editor.ExecuteDeletions1Click();
    editor.AppendOtherFiletoEnd1Click();
  };
  editor.FindAllClicks1Click();
  host.onPump = nullptr;
  EXPECT_EQ(editor.doc.get(), running);
  EXPECT_EQ(fileBytes(wav).size(), 44u + 200000 * 4);
}

}  // namespace
}  // namespace tolmar::test
