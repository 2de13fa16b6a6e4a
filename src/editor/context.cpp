#include "editor/context.h"

namespace tolmar {

void Context::message(MsgKind kind, const std::string& text) {
  if (kind == MsgKind::Error) ++errorCount;
  if (silentMode) {
    if (batchLog) batchLog->push_back("      " + text);
    return;
  }
  if (kind == MsgKind::Error && settings.emitbeeps) host_->beep();
  host_->message(kind, text);
}

Answer Context::ask(MsgKind kind, Buttons buttons, const std::string& text) {
  const Answer a = host_->ask(kind, buttons, text);
  if (batchRunning && (a == Answer::No || a == Answer::Cancel)) {
    ++declinedCount;
    if (batchLog)
      batchLog->push_back("      " + text + (a == Answer::No ? " -> No" : " -> Cancel"));
  }
  return a;
}

}  // namespace tolmar
