#include "base/session.h"

namespace tolmar {

void Session::listIndexError(const char* unit, int site) {
  error("List Index Error (" + std::string(unit) + "/" + std::to_string(site) + ")");
}

Progress::Progress(Session& session, const std::string& caption, bool busyCursor)
    : session_(session), busyCursor_(busyCursor) {
  session_.continueFlag = true;
  ++session_.progressDepth;
  session_.progressBegin(caption);
  session_.progressSet(0);
  if (busyCursor_) session_.setBusyCursor(true);
}

Progress::~Progress() {
  if (busyCursor_) session_.setBusyCursor(false);
  session_.progressEnd();
  --session_.progressDepth;
}

bool Progress::step(int percent) {
  if (percent != lastPercent_) {
    lastPercent_ = percent;
    session_.progressSet(percent);
  }
  session_.pump();
  return session_.continueFlag;
}

bool Progress::pump() {
  session_.pump();
  return session_.continueFlag;
}

}  // namespace tolmar
