#pragma once
// Batch mode: one macro over a list of WAV files, each opened in turn in silent mode, with the
// batch log recording every step and every message.

#include <string>
#include <vector>

#include "config/macro_runner.h"
#include "config/macro_store.h"

namespace tolmar {

class Editor;

// "Batch Execution Started, using Macro #3 [Declick]"
std::string batchStartedText(const std::string& macroListText);
// "  File /music/side a.wav"
std::string batchFileText(const std::string& path);
inline constexpr const char* kBatchFinishedText = "Batch Finished";

// What one file's run did.
struct BatchFileResult {
  bool opened = false;
  MacroRunStats stats;
  int errors = 0;  // error messages logged while the file was open and its macro ran
  bool failed() const { return !opened || stats.refused > 0 || stats.recursive > 0 || errors > 0; }
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
  // Writes "Batch Finished".
  void finish();

  int failedFiles() const { return failedFiles_; }

 private:
  template <class RunMacro>
  BatchFileResult runFile(const std::string& path, RunMacro&& runMacro);

  Editor& editor_;
  std::vector<std::string>& log_;
  std::vector<std::string>* previousLog_;
  int failedFiles_ = 0;
};

}  // namespace tolmar
