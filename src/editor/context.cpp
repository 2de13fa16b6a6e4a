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

}  // namespace tolmar
