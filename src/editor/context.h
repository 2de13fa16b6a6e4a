#pragma once
// Process-wide state of the editor: the host, the automation flags and the batch log, on top of
// the session the document and the algorithms see. The editor core owns exactly one.

#include <string>
#include <vector>

#include "base/session.h"
#include "editor/host.h"

namespace tolmar {

class Context : public Session {
 public:
  explicit Context(Host& host) : host_(&host) {}

  // The host is not part of the context's state: const passes (availability) may ask it.
  Host& host() const { return *host_; }
  void setHost(Host& host) { host_ = &host; }

  bool readOnly = false;  // the open file's read-only attribute, or held by another process
  // Files are opened only to be looked at (--info, --list-commands): no lock is taken and
  // nothing is written beside them.
  bool inspectOnly = false;

  // Automation flags.
  bool abortFlag = false;
  bool continueOnError = false;
  bool macroRunning = false;
  bool batchRunning = false;
  std::vector<std::string>* batchLog = nullptr;
  // Error messages so far, shown or logged: a batch run fails when a file adds any.
  int errorCount = 0;
  // Questions a batch run answered No or Cancel so far.
  int declinedCount = 0;
  bool inMacroOrBatch() const override { return macroRunning || batchRunning; }

  bool playing = false;
  bool recording = false;

  // Messages: in silent mode they go to the batch log (six spaces in front), never to the host.
  void message(MsgKind kind, const std::string& text) override;
  // In a batch run a question answered No (or Cancel) is logged with its answer and counted:
  // the step that asked did not run.
  Answer ask(MsgKind kind, Buttons buttons, const std::string& text) override;
  using Session::askYesNo;

  void progressBegin(const std::string& caption) override { host_->progressBegin(caption); }
  void progressSet(int percent) override { host_->progressSet(percent); }
  void progressEnd() override { host_->progressEnd(); }
  void progressDetail(const std::string& text) override { host_->progressDetail(text); }
  void pump() override { host_->pump(); }
  void setBusyCursor(bool busy) override { host_->setBusyCursor(busy); }

  void requestRepaint(const Repaint& what) override { host_->requestRepaint(what); }
  void refreshCommands() override { host_->refreshCommands(); }
  void beep() override { host_->beep(); }
  bool setClipboardWave(const std::vector<uint8_t>& image) override {
    return host_->setClipboardWave(image);
  }
  // A batch run names every file a step writes: "      Wrote <path>" in the log.
  void wrote(const std::string& path) override {
    if (silentMode && batchLog) batchLog->push_back("      Wrote " + path);
  }

 private:
  Host* host_;
};

}  // namespace tolmar
