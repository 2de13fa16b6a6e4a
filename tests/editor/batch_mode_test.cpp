#include "editor/batch_mode.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "document/wav_format.h"
#include "editor/editor.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar {
namespace {

namespace fs = std::filesystem;
using test::ScriptedHost;
using test::WavBuilder;

const char kTruncate[] = "File | Truncate Extra Data";
const char kUndo[] = "Edit | Undo";  // disabled: nothing to undo after opening

struct BatchFixture : ::testing::Test {
  test::TempDir dir;
  ScriptedHost host;
  Editor editor{host};
  std::vector<std::string> log;
  fs::path startDir = fs::current_path();
  std::string junk = dir.file("junk.wav");
  std::string clean = dir.file("clean.wav");

  BatchFixture() {
    host.ctx = &editor.ctx;
    editor.ctx.settings.newstylewaveform = false;
    WavBuilder().staircase(500).trailing({'J', 'U', 'N', 'K'}).write(junk);
    WavBuilder().staircase(500).write(clean);
  }
  ~BatchFixture() override { fs::current_path(startDir); }

  int runOver(int slot, const std::vector<std::string>& paths, bool continueOnError) {
    BatchRun run(editor, log, continueOnError);
    EXPECT_TRUE(editor.ctx.silentMode);
    EXPECT_TRUE(editor.ctx.batchRunning);
    run.start(editor.macros.listText(slot));
    for (const std::string& p : paths) run.file(p, slot);
    run.finish();
    return run.failedFiles();
  }
};

TEST_F(BatchFixture, LogsEveryFileStepAndMessageThenLeavesSilentMode) {
  editor.macros.store(3, {kTruncate, kUndo, std::string("<Silent> ") + kTruncate}, "Tidy");
  log.push_back("left over from an earlier run");
  const int failed = runOver(3, {junk, clean}, true);

  const std::string invalidUndo =
      "      Macro error: operation \"Edit | Undo\" not valid in this context: needs unsaved edits";
  EXPECT_EQ(log, (std::vector<std::string>{
                     "Batch Execution Started, using Macro #3 [Tidy]",
                     "  File " + junk,
                     "    File | Truncate Extra Data",
                     "      " + spuriousBytesRemovedText(4),
                     invalidUndo,
                     "    File | Truncate Extra Data",
                     std::string("      ") + kNoSpuriousBytesText,
                     "  File " + clean,
                     "    File | Truncate Extra Data",
                     std::string("      ") + kNoSpuriousBytesText,
                     invalidUndo,
                     "    File | Truncate Extra Data",
                     std::string("      ") + kNoSpuriousBytesText,
                     "Batch Finished",
                 }));
  EXPECT_EQ(failed, 2) << "a refused step fails its file";
  EXPECT_EQ(fs::file_size(junk), fs::file_size(clean));
  EXPECT_TRUE(host.messages.empty());
  EXPECT_TRUE(host.questions.empty());
  EXPECT_FALSE(editor.ctx.silentMode);
  EXPECT_FALSE(editor.ctx.batchRunning);
  EXPECT_EQ(editor.ctx.batchLog, nullptr);
  ASSERT_TRUE(editor.doc);
  EXPECT_EQ(editor.doc->path, clean) << "each file replaces the document";
}

TEST_F(BatchFixture, WithoutContinueOnErrorAFileStopsAtItsFirstFailureAndTheNextFileRuns) {
  editor.macros.store(1, {kUndo, kTruncate}, "");
  EXPECT_EQ(runOver(1, {junk, clean}, false), 2);
  EXPECT_EQ(log, (std::vector<std::string>{
                     "Batch Execution Started, using Macro #1",
                     "  File " + junk,
                     "      Macro error: operation \"Edit | Undo\" not valid in this context: "
                     "needs unsaved edits",
                     "  File " + clean,
                     "      Macro error: operation \"Edit | Undo\" not valid in this context: "
                     "needs unsaved edits",
                     "Batch Finished",
                 }));
  EXPECT_GT(fs::file_size(junk), fs::file_size(clean)) << "the truncation never ran";
}

TEST_F(BatchFixture, AFileThatDoesNotOpenFailsAndLeavesNoDocumentForTheSteps) {
  const std::string mono = dir.file("mono.wav");
  WavBuilder().channels(1).staircase(100).write(mono);
  // Opening clean first: the failed open must not leave its document for the steps.
  editor.macros.store(2, {kTruncate}, "");
  EXPECT_EQ(runOver(2, {clean, mono, junk}, true), 1);
  ASSERT_EQ(log.size(), 11u);
  EXPECT_EQ(log[4], "  File " + mono);
  EXPECT_EQ(log[5], std::string("      ") + kUnsupportedFormatText + ": " + mono);
  EXPECT_EQ(
      log[6],
      "      Macro error: operation \"File | Truncate Extra Data\" not valid in this context: "
      "needs an open file");
  EXPECT_EQ(log[7], "  File " + junk);
  EXPECT_EQ(log[8], "    File | Truncate Extra Data");
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(BatchFixture, EachFilesDirectoryBecomesCurrentWhileItsMacroRuns) {
  fs::create_directories(dir.path() / "side b");
  const std::string other = (dir.path() / "side b" / "b.wav").string();
  WavBuilder().staircase(100).write(other);
  editor.macros.store(1, {"[Refresh Display]"}, "");
  std::vector<fs::path> seen;
  host.onPump = [&](int) { seen.push_back(fs::current_path()); };
  EXPECT_EQ(runOver(1, {clean, other}, false), 0);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(fs::canonical(seen.back()), fs::canonical(dir.path() / "side b"));
  EXPECT_EQ(fs::canonical(fs::current_path()), fs::canonical(dir.path() / "side b"));
}

TEST_F(BatchFixture, AdHocStepsRunAsAMacroAndErrorMessagesFailTheFile) {
  MacroDefinition steps;
  steps.steps = {"[Refresh Display]", kTruncate};
  std::vector<std::string> ownLog;
  BatchRun run(editor, ownLog, false);
  const BatchFileResult ok = run.file(junk, steps);
  EXPECT_TRUE(ok.opened);
  EXPECT_EQ(ok.stats.invoked, 1);
  EXPECT_FALSE(ok.failed());

  // The file goes away under the open document: Truncate Extra Data reports an error.
  host.onPump = [&](int) {
    if (editor.doc && editor.doc->frameCount > 0) fs::remove(clean);
  };
  const BatchFileResult broken = run.file(clean, steps);
  EXPECT_TRUE(broken.opened);
  EXPECT_EQ(broken.stats.refused, 0);
  EXPECT_EQ(broken.errors, 1);
  EXPECT_TRUE(broken.failed());
  EXPECT_EQ(run.failedFiles(), 1);
  EXPECT_TRUE(host.messages.empty());
}

}  // namespace
}  // namespace tolmar
