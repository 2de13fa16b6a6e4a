#pragma once
// What the document and the algorithms need from the program around them: messages and
// questions, the progress panel with its pump and continue flag, silent mode, the settings and
// the process-wide sample-rate values. The editor's context implements it over the host; nothing
// on these floors knows the host, the editor or automation.

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/settings.h"

namespace tolmar {

enum class MsgKind { Error, Warning, Information };

// What a repaint request says changed, so that the window redraws only that. Samples alone
// name the frames whose samples changed, together with the marks placed on those frames; the
// window may redraw just their columns, or nothing when they lie off the page. Selection and
// overlays alone leave the waveform as it was drawn. Anything else redraws the whole area.
struct Repaint {
  enum Part : uint8_t { kSamples = 1, kView = 2, kSelection = 4, kOverlays = 8, kAll = 15 };
  uint8_t parts = kAll;
  int64_t first = 0;  // with kSamples: the changed frames, first ... last
  int64_t last = INT64_MAX;

  static Repaint all() { return {}; }
  static Repaint samples(int64_t first, int64_t last) { return {kSamples, first, last}; }
  static Repaint view() { return {kView, 0, INT64_MAX}; }
  static Repaint selection() { return {kSelection, 0, INT64_MAX}; }
  static Repaint overlays() { return {kOverlays, 0, INT64_MAX}; }
  Repaint operator|(const Repaint& o) const {
    Repaint r{static_cast<uint8_t>(parts | o.parts), std::min(first, o.first),
              std::max(last, o.last)};
    // A range is only meaningful while samples are all that changed.
    if (r.parts != kSamples) r.first = 0, r.last = INT64_MAX;
    return r;
  }
  bool operator==(const Repaint&) const = default;
};

enum class Buttons { YesNo, YesNoCancel, OkCancel };

enum class Answer { Yes, No, Cancel, Ok };

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

class Session {
 public:
  virtual ~Session() = default;

  Settings settings;

  // The process-wide current sample rate and the values derived from it on a non-strict open.
  int sampleRate = 44100;
  int playBufferFrames = 4410;
  int compatibleSearchSpan = 4410;
  HeaderCopy headerCopy;

  // In silent mode messages go to the batch log and nothing may wait for a person.
  bool silentMode = false;
  // A macro or a batch run drives the commands: questions that only advise are not asked.
  virtual bool inMacroOrBatch() const = 0;

  // The Edit menu's "Edit Left" / "Edit Right" switches: which channels editing commands change.
  bool editLeft = true;
  bool editRight = true;

  // Messages and questions, with their exact texts ("\r" is a line break).
  virtual void message(MsgKind kind, const std::string& text) = 0;
  virtual Answer ask(MsgKind kind, Buttons buttons, const std::string& text) = 0;
  void error(const std::string& text) { message(MsgKind::Error, text); }
  void warning(const std::string& text) { message(MsgKind::Warning, text); }
  void info(const std::string& text) { message(MsgKind::Information, text); }
  bool askYesNo(const std::string& text, MsgKind kind = MsgKind::Information) {
    return ask(kind, Buttons::YesNo, text) == Answer::Yes;
  }
  // "List Index Error (WAVEFL/60)"
  void listIndexError(const char* unit, int site);
  // Every file a step writes, for the batch log.
  virtual void wrote(const std::string& path) = 0;

  // The progress panel; Progress below is how long operations use it.
  virtual void progressBegin(const std::string& caption) = 0;
  virtual void progressSet(int percent) = 0;
  virtual void progressEnd() = 0;
  // A second line of the panel, e.g. a running count ("#Clicks Found: 12").
  virtual void progressDetail(const std::string& text) = 0;
  // Lets pending window messages run (they may press Cancel or fire a command).
  virtual void pump() = 0;
  virtual void setBusyCursor(bool busy) = 0;

  // The continue flag of the progress panel: set on entry to a long operation, cleared by Cancel.
  bool continueFlag = true;
  void cancel() { continueFlag = false; }
  // How many progress panels are showing; the document cannot be closed meanwhile.
  int progressDepth = 0;

  virtual void requestRepaint(const Repaint& what) = 0;
  virtual void refreshCommands() = 0;
  virtual void beep() = 0;
  // Puts a complete WAV image on the clipboard; false when the clipboard refused it.
  virtual bool setClipboardWave(const std::vector<uint8_t>& image) = 0;
};

// The progress panel of one long operation: caption, percentage gauge, Cancel.
// The gauge is only touched when the integer percentage changes; pump() runs at every step.
class Progress {
 public:
  Progress(Session& session, const std::string& caption, bool busyCursor = true);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Updates the gauge, lets messages run and tells whether to go on.
  bool step(int percent);
  // Lets messages run without touching the gauge.
  bool pump();
  bool keepGoing() const { return session_.continueFlag; }

 private:
  Session& session_;
  int lastPercent_ = -1;
  bool busyCursor_;
};

// Percentage of done/total that never overflows 32 bits.
inline int percentOf(int64_t done, int64_t total) {
  if (total <= 0) return 0;
  return static_cast<int>(done * 100 / total);
}

}  // namespace tolmar
