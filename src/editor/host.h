#pragma once
// The host: everything the editor core needs from a user interface. The Qt window, the batch
// front end and the scripted test host implement it; the core never shows anything itself.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/session.h"

namespace tolmar {

// What an open or save dialog starts with. Filter uses the "Label|pattern|Label|pattern" form.
struct FileDialogSpec {
  std::string title;
  std::string directory;
  std::string fileName;
  std::string filter;
  std::string defaultExt;
};

// Every dialog that opens or saves a WAV file offers the same choice.
inline constexpr char kWavFileFilter[] = "WAV Files (*.wav)|*.wav|All Files (*.*)|*.*";

// A parameter dialog edits a plain settings struct. The host recognises the dialog by its id
// and casts `model` to the struct the dialog's owner documents; the batch host and the tests
// accept the model as it stands unless told otherwise.
struct DialogRequest {
  std::string id;  // e.g. "RewriteHeader", "SetInsertionLength"
  void* model = nullptr;
};

class Host {
 public:
  virtual ~Host() = default;

  // Messages and questions, with their exact texts ("\r" is a line break).
  virtual void message(MsgKind kind, const std::string& text) = 0;
  virtual Answer ask(MsgKind kind, Buttons buttons, const std::string& text) = 0;

  // The progress panel. Cancel reaches the core through Context::cancel().
  virtual void progressBegin(const std::string& caption) = 0;
  virtual void progressSet(int percent) = 0;
  virtual void progressEnd() = 0;
  // A second line of the progress panel, e.g. a running count ("#Clicks Found: 12").
  virtual void progressDetail(const std::string& /*text*/) {}
  // Lets pending window messages run (they may press Cancel or fire a command).
  virtual void pump() = 0;
  virtual void setBusyCursor(bool /*busy*/) {}

  virtual std::optional<std::string> openFileDialog(const FileDialogSpec& spec) = 0;
  virtual std::optional<std::string> saveFileDialog(const FileDialogSpec& spec) = 0;
  // Returns true for OK, false for Cancel.
  virtual bool runDialog(DialogRequest& request) = 0;

  virtual void requestRepaint() {}
  virtual void setTitle(const std::string& /*title*/) {}
  virtual void refreshCommands() {}

  // Clipboard: a complete WAV image (audio/wav) and plain text.
  virtual bool clipboardHasWave() { return false; }
  virtual std::optional<std::vector<uint8_t>> clipboardWave() { return std::nullopt; }
  virtual bool setClipboardWave(const std::vector<uint8_t>& /*image*/) { return false; }
  virtual void setClipboardText(const std::string& /*text*/) {}

  virtual void showHelp(const std::string& /*topic*/) {}
  virtual void beep() {}

  // Playback. A host that drives playback calls the editor's pollPlayback() every few
  // milliseconds from playingStateChanged(true) until playingStateChanged(false); with any
  // other host the playback command returns only when the playback has ended.
  virtual bool drivesPlayback() const { return false; }
  virtual void playingStateChanged(bool /*playing*/) {}
  // The play cursor over first..last for one pass: the host calls PlaybackTimerTimer() every
  // 100 ms and draws the cursor at the play position until playCursorStopped().
  virtual void playCursorStarted(int32_t /*first*/, int32_t /*last*/) {}
  virtual void playCursorStopped() {}
  // A preview dialog ("DeclickPreview", "CompressPreview", "EqualisePreview", "FilterPreview",
  // "ChannelMixPreview", "DecracklePreview") opens when its preview playback starts and closes
  // when it ends; it edits the settings and the editor's preview state.
  virtual void previewOpened(const std::string& /*id*/) {}
  virtual void previewClosed(const std::string& /*id*/) {}

  // Keeps the screen saver off while a recording window is open.
  virtual void inhibitScreenSaver(bool /*inhibit*/) {}
};

}  // namespace tolmar
