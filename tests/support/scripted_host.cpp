#include "support/scripted_host.h"

namespace tolmar::test {

void ScriptedHost::message(MsgKind kind, const std::string& text) {
  messages.push_back({kind, text});
}

Answer ScriptedHost::ask(MsgKind kind, Buttons buttons, const std::string& text) {
  questions.push_back({kind, text});
  Answer a = defaultAnswer;
  if (!answers.empty()) {
    a = answers.front();
    answers.pop_front();
  }
  // Keep answers within what the buttons offer.
  if (buttons == Buttons::OkCancel && a == Answer::Yes) a = Answer::Ok;
  if (buttons != Buttons::OkCancel && a == Answer::Ok) a = Answer::Yes;
  return a;
}

void ScriptedHost::pump() {
  ++pumps;
  if (cancelAtPump > 0 && pumps == cancelAtPump && ctx) ctx->cancel();
  if (onPump) onPump(pumps);
}

std::optional<std::string> ScriptedHost::openFileDialog(const FileDialogSpec& spec) {
  fileDialogs.push_back(spec);
  if (openAnswers.empty()) return std::nullopt;
  auto a = openAnswers.front();
  openAnswers.pop_front();
  return a;
}

std::optional<std::string> ScriptedHost::saveFileDialog(const FileDialogSpec& spec) {
  fileDialogs.push_back(spec);
  if (saveAnswers.empty()) return std::nullopt;
  auto a = saveAnswers.front();
  saveAnswers.pop_front();
  return a;
}

bool ScriptedHost::runDialog(DialogRequest& request) {
  dialogIds.push_back(request.id);
  auto it = dialogs.find(request.id);
  if (it == dialogs.end()) return true;
  return it->second(ModelRef(request.model));
}

std::optional<std::vector<uint8_t>> ScriptedHost::clipboardWave() {
  if (!hasClipWave) return std::nullopt;
  return clipWave;
}

bool ScriptedHost::setClipboardWave(const std::vector<uint8_t>& image) {
  clipWave = image;
  hasClipWave = true;
  return true;
}

std::vector<std::string> ScriptedHost::texts() const {
  std::vector<std::string> out;
  for (const auto& m : messages) out.push_back(m.text);
  return out;
}

bool ScriptedHost::said(const std::string& text) const {
  for (const auto& m : messages)
    if (m.text == text) return true;
  return false;
}

bool ScriptedHost::asked(const std::string& text) const {
  for (const auto& q : questions)
    if (q.text == text) return true;
  return false;
}

}  // namespace tolmar::test
