#pragma once
// Batch mode: one macro over a list of WAV files, each opened in turn in silent mode, with the
// batch log recording every step and every message.

#include <string>
#include <vector>

#include "config/macro_store.h"
#include "editor/macro_runner.h"

namespace tolmar {

class Editor;

// "Batch Execution Started, using Macro #3 [Declick]"
std::string batchStartedText(const std::string& macroListText);
// "  File /music/side a.wav"
std::string batchFileText(const std::string& path);
inline constexpr const char* kBatchFinishedText = "Batch Finished";

// A command-line plan step: a macro step, or a selection to make at that point (--select).
struct PlanStep {
  bool select = false;
  std::string text;  // the step text, or the range ("START-END" in time text, or "all")
};

// Whether `range` is "all" or START-END with two time texts (a track prefix allowed).
bool validSelectRange(const std::string& range);
// Selects `range` in the open document. A range that is not within the file, or empty, is an
// error (shown through the context) and selects nothing. The end may be the file's length.
bool selectRange(Editor& editor, const std::string& range);

// What one file's run did.
struct BatchFileResult {
  bool opened = false;
  MacroRunStats stats;
  int errors = 0;  // error messages logged while the file was open and its macro ran
  bool failed() const {
    return !opened || stats.refused > 0 || stats.recursive > 0 || stats.failed > 0 ||
           stats.declined > 0 || errors > 0;
  }
};

// One batch run. While it exists, silent mode and the batch flag are on and messages go to the
// log; the log is cleared when it starts.
class BatchRun {
 public:
  BatchRun(Editor& editor, std::vector<std::string>& log, bool continueOnError);
  // Clears silent mode and the batch flag, and stops routing messages to the log.
  ~BatchRun();
  BatchRun(const BatchRun&) = delete;
  BatchRun& operator=(const BatchRun&) = delete;

  // Writes "Batch Execution Started, using " and the macro's list text.
  void start(const std::string& macroListText);
  // Writes "  File " and the path, opens the file in place of the document, recomputes command
  // availability, makes the file's directory the current directory and runs the macro.
  BatchFileResult file(const std::string& path, int slot);
  BatchFileResult file(const std::string& path, MacroDefinition& macro);
  // A command-line plan: the macro steps between selections run as one macro each; a failed
  // selection, or a step failure that aborts the macro, ends the file's plan.
  BatchFileResult file(const std::string& path, const std::vector<PlanStep>& plan);

  // Each file is first copied into `dir` (never over an existing file) and the copy processed,
  // its companion files (.clk, .mkr, .cue, .fpr) copied beside it when they exist.
  void setCopyDirectory(std::string dir) { copyDir_ = std::move(dir); }
  // Writes "Batch Finished".
  void finish();

  int failedFiles() const { return failedFiles_; }

 private:
  template <class RunMacro>
  BatchFileResult runFile(const std::string& path, RunMacro&& runMacro);

  Editor& editor_;
  std::vector<std::string>& log_;
  std::vector<std::string>* previousLog_;
  std::string copyDir_;
  int failedFiles_ = 0;
};

}  // namespace tolmar
