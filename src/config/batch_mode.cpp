#include "config/batch_mode.h"

#include <filesystem>
#include <system_error>

#include "core/editor.h"

namespace tolmar {

std::string batchStartedText(const std::string& macroListText) {
  return "Batch Execution Started, using " + macroListText;
}

std::string batchFileText(const std::string& path) {
  return "  File " + path;
}

BatchRun::BatchRun(Editor& editor, std::vector<std::string>& log, bool continueOnError)
    : editor_(editor), log_(log), previousLog_(editor.ctx.batchLog) {
  Context& ctx = editor_.ctx;
  ctx.continueOnError = continueOnError;
  ctx.silentMode = true;
  ctx.batchRunning = true;
  log_.clear();
  ctx.batchLog = &log_;
}

BatchRun::~BatchRun() {
  Context& ctx = editor_.ctx;
  ctx.silentMode = false;
  ctx.batchRunning = false;
  ctx.batchLog = previousLog_;
}

void BatchRun::start(const std::string& macroListText) {
  log_.push_back(batchStartedText(macroListText));
}

void BatchRun::finish() {
  log_.push_back(kBatchFinishedText);
}

template <class RunMacro>
BatchFileResult BatchRun::runFile(const std::string& path, RunMacro&& runMacro) {
  Context& ctx = editor_.ctx;
  BatchFileResult result;
  log_.push_back(batchFileText(path));
  const int errorsBefore = ctx.errorCount;
  result.opened = editor_.OpenDocument(path, true);
  ctx.host().refreshCommands();
  const std::filesystem::path dir = std::filesystem::path(path).parent_path();
  if (!dir.empty()) {
    std::error_code ec;
    std::filesystem::current_path(dir, ec);
  }
  result.stats = runMacro();
  result.errors = ctx.errorCount - errorsBefore;
  if (result.failed()) ++failedFiles_;
  return result;
}

BatchFileResult BatchRun::file(const std::string& path, int slot) {
  return runFile(path, [&] { return editor_.RunMacro(slot, &log_); });
}

BatchFileResult BatchRun::file(const std::string& path, MacroDefinition& macro) {
  return runFile(path, [&] { return editor_.RunMacro(macro, &log_); });
}

}  // namespace tolmar
