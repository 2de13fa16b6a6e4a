#include "app/batch_host.h"

#include <iostream>

namespace tolmar {

std::string displayText(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (c == '\r') c = '\n';
  return out;
}

std::string logLineText(const std::string& line) {
  std::string out;
  for (char c : line) {
    if (c == '\r')
      out += "\n      ";
    else
      out += c;
  }
  return out;
}

void BatchHost::message(MsgKind kind, const std::string& text) {
  clearLine();
  const char* tag = kind == MsgKind::Error     ? "error: "
                    : kind == MsgKind::Warning ? "warning: "
                                               : "";
  std::cerr << tag << displayText(text) << "\n";
}

Answer BatchHost::ask(MsgKind, Buttons buttons, const std::string& text) {
  clearLine();
  std::cerr << displayText(text) << " -> " << (buttons == Buttons::OkCancel ? "Cancel" : "No")
            << "\n";
  return buttons == Buttons::OkCancel ? Answer::Cancel : Answer::No;
}

std::optional<std::string> BatchHost::saveFileDialog(const FileDialogSpec& spec) {
  // Automation takes the dialog's proposed name, as a macro run does.
  if (spec.fileName.empty()) return std::nullopt;
  return spec.fileName;
}

void BatchHost::setStage(const std::string& stage) {
  stage_ = stage;
  caption_.clear();
  show(stage_);
}

void BatchHost::progressBegin(const std::string& caption) {
  caption_ = caption;
}

void BatchHost::progressSet(int percent) {
  std::string line = stage_;
  if (!line.empty()) line += " ";
  show(line + caption_ + " " + std::to_string(percent) + "%");
}

void BatchHost::progressEnd() {
  caption_.clear();
  show(stage_);
}

void BatchHost::show(const std::string& line) {
  if (!progressOnTerminal_) return;
  if (line.empty()) {
    clearLine();
    return;
  }
  std::cerr << "\r\033[K" << line << std::flush;
  lineShown_ = true;
}

void BatchHost::clearLine() {
  if (lineShown_) std::cerr << "\r\033[K" << std::flush;
  lineShown_ = false;
}

}  // namespace tolmar
