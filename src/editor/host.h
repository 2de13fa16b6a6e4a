#pragma once
// The host: everything the editor core needs from a user interface. The Qt window, the batch
// front end and the scripted test host implement it; the core never shows anything itself.

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>
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

// The name a save dialog answers with, given the dialog's own extension when the name typed has
// none ("side b" becomes "side b.wav"; "side.b" and a spec without one are left alone).
inline std::string withDefaultExt(const FileDialogSpec& spec, const std::string& chosen) {
  const size_t slash = chosen.find_last_of('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (spec.defaultExt.empty() || nameStart >= chosen.size() ||
      chosen.find('.', nameStart) != std::string::npos)
    return chosen;
  return chosen + "." + spec.defaultExt;
}

// Every dialog that opens or saves a WAV file offers the same choice.
inline constexpr char kWavFileFilter[] = "WAV Files (*.wav)|*.wav|All Files (*.*)|*.*";

// Every model a dialog can be asked to edit. A host that shows dialogs visits the variant
// without a catch-all, so a new model fails to compile until each such host handles it.
struct UnsupportedFormatModel;
struct ConfirmTruncationModel;
struct RewriteHeaderModel;
struct SetInsertionLengthModel;
struct AddSurroundingSilenceModel;
struct SelectReplacementDataModel;
struct FindClicksResultModel;
struct GotoClickModel;
class ClickParamsDialog;
struct CompatParamsModel;
struct NormaliseModel;
struct FadeFactorModel;
struct SelectionStatsModel;
struct ClippingHistogramModel;
struct SetPrecisionModel;
struct SpectrumModel;
struct ReduceNoiseModel;
struct GotoTimeModel;
struct MarkRegionModel;
struct AddCueModel;
struct RegularCuesModel;
struct GotoCueModel;
struct DisplayTrackModel;
struct CdTextModel;
struct ExistingCueFileModel;
struct PresetPickerModel;
struct MacroPickerModel;
class MacroSetupModel;
class BatchModeModel;
struct OptionsModel;
class TRecording;
using DialogModel =
    std::variant<std::monostate, UnsupportedFormatModel*, ConfirmTruncationModel*,
                 RewriteHeaderModel*, SetInsertionLengthModel*, AddSurroundingSilenceModel*,
                 SelectReplacementDataModel*, FindClicksResultModel*, GotoClickModel*,
                 ClickParamsDialog*, CompatParamsModel*, NormaliseModel*, FadeFactorModel*,
                 SelectionStatsModel*, ClippingHistogramModel*, SetPrecisionModel*, SpectrumModel*,
                 ReduceNoiseModel*, GotoTimeModel*, MarkRegionModel*, AddCueModel*,
                 RegularCuesModel*, GotoCueModel*, DisplayTrackModel*, CdTextModel*,
                 ExistingCueFileModel*, PresetPickerModel*, MacroPickerModel*, MacroSetupModel*,
                 BatchModeModel*, OptionsModel*, TRecording*>;

inline bool hasModel(const DialogModel& model) {
  return std::visit(
      [](auto p) {
        if constexpr (std::is_same_v<decltype(p), std::monostate>)
          return false;
        else
          return p != nullptr;
      },
      model);
}

// A parameter dialog edits its model in place; the id names the dialog for its help topic,
// its remembered position and the tests.
struct DialogRequest {
  std::string id;  // e.g. "RewriteHeader", "SetInsertionLength"
  DialogModel model;
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

  virtual void requestRepaint(const Repaint& /*what*/) {}
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
