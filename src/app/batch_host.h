#pragma once
// The host of tolmar-batch: no window. Messages go to standard error, questions take the
// cautious answer, and progress is a line on a terminal. Steps run silent, so parameter
// dialogs are skipped and their settings used as they stand; a dialog that still reaches this
// host (one that only a person can answer) is answered Cancel.

#include <cstdio>
#include <string>

#include "editor/host.h"

namespace tolmar {

class BatchHost : public Host {
 public:
  explicit BatchHost(bool progressOnTerminal) : progressOnTerminal_(progressOnTerminal) {}

  void message(MsgKind kind, const std::string& text) override;
  Answer ask(MsgKind kind, Buttons buttons, const std::string& text) override;
  void progressBegin(const std::string& caption) override;
  void progressSet(int percent) override;
  void progressEnd() override;
  void pump() override {}
  std::optional<std::string> openFileDialog(const FileDialogSpec&) override { return {}; }
  std::optional<std::string> saveFileDialog(const FileDialogSpec& spec) override;
  bool runDialog(DialogRequest&) override { return false; }

  bool showsProgress() const { return progressOnTerminal_; }
  // What the run is doing ("File 2 of 9: side_b.wav"): leads every progress line, and is shown
  // at once on a terminal.
  void setStage(const std::string& stage);
  // Removes the progress line before something else is printed.
  void clearLine();

 private:
  void show(const std::string& line);

  bool progressOnTerminal_;
  std::string stage_;
  std::string caption_;
  bool lineShown_ = false;
};

// "\r" is a line break in message texts.
std::string displayText(const std::string& text);
// A batch log line as printed: a line break inside a message starts a new line with the
// message's six-space indent.
std::string logLineText(const std::string& line);

}  // namespace tolmar
