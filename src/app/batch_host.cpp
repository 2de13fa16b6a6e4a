#include "app/batch_host.h"

#include <iostream>

namespace tolmar {

std::string displayText(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (c == '\r') c = '\n';
  return out;
}

void BatchHost::message(MsgKind kind, const std::string& text) {
  progressEnd();
  const char* tag = kind == MsgKind::Error     ? "error: "
                    : kind == MsgKind::Warning ? "warning: "
                                               : "";
  std::cerr << tag << displayText(text) << "\n";
}

Answer BatchHost::ask(MsgKind, Buttons buttons, const std::string& text) {
  progressEnd();
  std::cerr << displayText(text) << " -> " << (buttons == Buttons::OkCancel ? "Cancel" : "No")
            << "\n";
  return buttons == Buttons::OkCancel ? Answer::Cancel : Answer::No;
}

std::optional<std::string> BatchHost::saveFileDialog(const FileDialogSpec& spec) {
  // Automation takes the dialog's proposed name, as a macro run does.
  if (spec.fileName.empty()) return std::nullopt;
  return spec.fileName;
}

void BatchHost::progressBegin(const std::string& caption) {
  caption_ = caption;
}

void BatchHost::progressSet(int percent) {
  if (!progressOnTerminal_) return;
  std::cerr << "\r" << caption_ << " " << percent << "%   " << std::flush;
  lineShown_ = true;
}

void BatchHost::progressEnd() {
  if (lineShown_) std::cerr << "\r\033[K" << std::flush;
  lineShown_ = false;
}

}  // namespace tolmar
