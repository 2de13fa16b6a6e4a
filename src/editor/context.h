#pragma once
// Process-wide state that every subsystem shares: the host, the settings, the sample rate, the
// continue / silent / abort flags, the batch log and the edit-mode values. The editor core owns
// exactly one; documents and algorithms take it by reference.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "config/settings.h"
#include "core/host.h"

namespace tolmar {

// The last WAV header read, as the Unsupported Format report shows it.
struct HeaderCopy {
  std::array<char, 4> riff{};
  uint32_t riffSize = 0;
  std::array<char, 8> waveFmt{};
  uint32_t fmtSize = 0;
  uint16_t formatTag = 0;
  uint16_t channels = 0;
  uint32_t sampleRate = 0;
  uint32_t byteRate = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;
  std::array<char, 4> dataId{};
};

class Context {
 public:
  explicit Context(Host& host) : host_(&host) {}

  // The host is not part of the context's state: const passes (availability) may ask it.
  Host& host() const { return *host_; }
  void setHost(Host& host) { host_ = &host; }

  Settings settings;

  // The process-wide current sample rate and the values derived from it on a non-strict open.
  int sampleRate = 44100;
  int playBufferFrames = 4410;
  int compatibleSearchSpan = 4410;
  HeaderCopy headerCopy;

  bool readOnly = false;  // the open file's read-only attribute

  // Automation flags.
  bool silentMode = false;
  bool abortFlag = false;
  bool continueOnError = false;
  bool macroRunning = false;
  bool batchRunning = false;
  std::vector<std::string>* batchLog = nullptr;
  // Error messages so far, shown or logged: a batch run fails when a file adds any.
  int errorCount = 0;
  bool inMacroOrBatch() const { return macroRunning || batchRunning; }

  bool playing = false;
  bool recording = false;

  // The Edit menu's "Edit Left" / "Edit Right" switches: which channels editing commands change.
  bool editLeft = true;
  bool editRight = true;

  // Edit-mode values set by BeginLargeEdit.
  bool bigEditMode = false;
  int chunkSize = 9000;
  bool overlayNonEmpty = false;

  // Messages: in silent mode they go to the batch log (six spaces in front), never to the host.
  void message(MsgKind kind, const std::string& text);
  void error(const std::string& text) { message(MsgKind::Error, text); }
  void warning(const std::string& text) { message(MsgKind::Warning, text); }
  void info(const std::string& text) { message(MsgKind::Information, text); }
  Answer ask(MsgKind kind, Buttons buttons, const std::string& text) {
    return host_->ask(kind, buttons, text);
  }
  bool askYesNo(const std::string& text, MsgKind kind = MsgKind::Information) {
    return ask(kind, Buttons::YesNo, text) == Answer::Yes;
  }
  // A batch run names every file a step writes: "      Wrote <path>" in the log.
  void wrote(const std::string& path) {
    if (silentMode && batchLog) batchLog->push_back("      Wrote " + path);
  }
  // "List Index Error (WAVEFL/60)"
  void listIndexError(const char* unit, int site);

  // The continue flag of the progress panel: set on entry to a long operation, cleared by Cancel.
  bool continueFlag = true;
  void cancel() { continueFlag = false; }
  // How many progress panels are showing; the document cannot be closed meanwhile.
  int progressDepth = 0;

 private:
  Host* host_;
};

// The progress panel of one long operation: caption, percentage gauge, Cancel.
// The gauge is only touched when the integer percentage changes; pump() runs at every step.
class Progress {
 public:
  Progress(Context& ctx, const std::string& caption, bool busyCursor = true);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Updates the gauge, lets messages run and tells whether to go on.
  bool step(int percent);
  // Lets messages run without touching the gauge.
  bool pump();
  bool keepGoing() const { return ctx_.continueFlag; }

 private:
  Context& ctx_;
  int lastPercent_ = -1;
  bool busyCursor_;
};

// Percentage of done/total that never overflows 32 bits.
inline int percentOf(int64_t done, int64_t total) {
  if (total <= 0) return 0;
  return static_cast<int>(done * 100 / total);
}

}  // namespace tolmar
