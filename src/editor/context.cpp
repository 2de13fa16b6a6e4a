#include "core/context.h"

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

void Context::listIndexError(const char* unit, int site) {
  error("List Index Error (" + std::string(unit) + "/" + std::to_string(site) + ")");
}

Progress::Progress(Context& ctx, const std::string& caption, bool busyCursor)
    : ctx_(ctx), busyCursor_(busyCursor) {
  ctx_.continueFlag = true;
  ++ctx_.progressDepth;
  ctx_.host().progressBegin(caption);
  ctx_.host().progressSet(0);
  if (busyCursor_) ctx_.host().setBusyCursor(true);
}

Progress::~Progress() {
  if (busyCursor_) ctx_.host().setBusyCursor(false);
  ctx_.host().progressEnd();
  --ctx_.progressDepth;
}

bool Progress::step(int percent) {
  if (percent != lastPercent_) {
    lastPercent_ = percent;
    ctx_.host().progressSet(percent);
  }
  ctx_.host().pump();
  return ctx_.continueFlag;
}

bool Progress::pump() {
  ctx_.host().pump();
  return ctx_.continueFlag;
}

}  // namespace tolmar
