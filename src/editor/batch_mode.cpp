#include "editor/batch_mode.h"

#include <filesystem>
#include <system_error>

#include "document/file_copy.h"
#include "document/time_text.h"
#include "editor/editor.h"

namespace tolmar {

namespace fs = std::filesystem;

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

namespace {

constexpr const char* kCompanionExtensions[] = {".clk", ".mkr", ".cue", ".fpr"};

// Copies the file and its companions into dir; the copy's path, or empty after an error.
std::string copyInto(Context& ctx, const std::string& path, const std::string& dir) {
  const fs::path source(path);
  const fs::path target = fs::path(dir) / source.filename();
  std::vector<std::pair<fs::path, fs::path>> copies{{source, target}};
  for (const char* ext : kCompanionExtensions) {
    fs::path companion = source;
    companion.replace_extension(ext);
    std::error_code ec;
    if (fs::exists(companion, ec))
      copies.emplace_back(companion, fs::path(target).replace_extension(ext));
  }
  for (const auto& [from, to] : copies) {
    std::error_code ec;
    if (fs::exists(to, ec) || fs::is_symlink(to, ec)) {
      ctx.error("Cannot copy " + from.string() + " to " + to.string() +
                ": a file of that name exists already, and it is not overwritten");
      return {};
    }
  }
  for (const auto& [from, to] : copies) {
    if (!copyFileWithProgress(ctx, from.string(), to.string(), " Copying:")) return {};
    ctx.wrote(to.string());
  }
  return target.string();
}

// Splits "START-END" at its dash.
bool splitRange(const std::string& range, std::string& start, std::string& end) {
  const auto dash = range.find('-');
  if (dash == std::string::npos || range.find('-', dash + 1) != std::string::npos) return false;
  start = range.substr(0, dash);
  end = range.substr(dash + 1);
  return !start.empty() && !end.empty();
}

}  // namespace

bool validSelectRange(const std::string& range) {
  if (range == "all") return true;
  // Only the form is checked here: the rate and the cues are the file's, when it is open.
  std::string start, end;
  return splitRange(range, start, end) && parseTime(start, 44100, false, {}) &&
         parseTime(end, 44100, false, {});
}

bool selectRange(Editor& editor, const std::string& range) {
  Context& ctx = editor.ctx;
  if (!editor.doc) return false;
  WaveFile& doc = *editor.doc;
  if (range == "all") {
    doc.selStart = 0;
    doc.selEnd = doc.lastFrame;
    return true;
  }
  std::string startText, endText;
  std::optional<int32_t> start, end;
  if (splitRange(range, startText, endText)) {
    start = parseTime(startText, ctx.sampleRate, ctx.settings.timeinframes, doc.cues);
    end = parseTime(endText, ctx.sampleRate, ctx.settings.timeinframes, doc.cues);
  }
  if (!start || !end) {
    ctx.error(kInvalidTimeText);
    return false;
  }
  // The end may name the file's length: "0-3" selects all of a three-second file.
  if (*start >= *end || *end > doc.frameCount) {
    ctx.error("Cannot select " + range + ": the file runs from " + formatTime(ctx, 0, doc.cues) +
              " to " + formatTime(ctx, doc.frameCount, doc.cues) +
              (*start >= *end ? ", and the range is empty" : ""));
    return false;
  }
  doc.selStart = *start;
  doc.selEnd = std::min(*end, doc.lastFrame);
  return true;
}

template <class RunMacro>
BatchFileResult BatchRun::runFile(const std::string& given, RunMacro&& runMacro) {
  Context& ctx = editor_.ctx;
  BatchFileResult result;
  log_.push_back(batchFileText(given));
  const int errorsBefore = ctx.errorCount;
  std::string path = given;
  if (!copyDir_.empty()) {
    path = copyInto(ctx, given, copyDir_);
    if (path.empty()) {
      result.errors = ctx.errorCount - errorsBefore;
      ++failedFiles_;
      return result;
    }
  }
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

BatchFileResult BatchRun::file(const std::string& path, const std::vector<PlanStep>& plan) {
  return runFile(path, [&] {
    MacroRunStats total;
    if (!editor_.doc) return total;
    for (size_t i = 0; i < plan.size();) {
      if (plan[i].select) {
        log_.push_back("    --select " + plan[i].text);
        // Nothing may run on a selection the user did not ask for.
        if (!selectRange(editor_, plan[i].text)) break;
        editor_.ctx.host().refreshCommands();
        ++i;
        continue;
      }
      MacroDefinition part;
      for (; i < plan.size() && !plan[i].select; ++i) part.steps.push_back(plan[i].text);
      const MacroRunStats stats = editor_.RunMacro(part, &log_);
      total.invoked += stats.invoked;
      total.refused += stats.refused;
      total.skipped += stats.skipped;
      total.recursive += stats.recursive;
      if (editor_.ctx.abortFlag) break;
    }
    return total;
  });
}

}  // namespace tolmar
