#pragma once
// Playback and recording.
// A part of the editor core: Editor inherits it, so these handlers are Editor's handlers.

#include <cstdint>
#include <memory>

#include "audio/input_device.h"
#include "audio/output_device.h"
#include "editor/playback.h"
#include "editor/recording.h"

namespace tolmar {

class Editor;

// Keys that mean something while playing.
enum class PlayKey { Enter, NumpadPlus, Escape, Space, Equals, Minus };

class AudioCommands {
 public:
  AudioCommands();
  ~AudioCommands();

  // When the playback device is looked for: a window lists the devices at start-up and the
  // play commands are available only when one takes the CD format; a batch run has no
  // start-up check, so its play steps look for the device when they play and a machine
  // without one gives the device-open message.
  enum class DeviceCheck { AtStartup, WhenPlaying };
  // The front's sound backend (the in-memory one in tests, none in a sound-free build).
  void setOutputBackend(std::unique_ptr<OutputBackend> backend,
                        DeviceCheck check = DeviceCheck::AtStartup);
  OutputBackend& outputBackend() { return *backend_; }
  bool playDeviceFound = false;

  // The Play/Record menu's channel check marks.
  bool playLeft = true;
  bool playRight = true;
  PreviewState preview;

  // ---- Playback commands; each does nothing while playing ----
  void PlaySelectionBtnClick();
  void OutputPlaySelectionLeftChannel1Click();
  void OutputPlaySelectionRightChannel1Click();
  void OutputSelectionWithContext1Click();
  void PlaySelectionWithContextLeftChannel1Click();
  void PlaySelectionWithContextRightChannel1Click();
  void PlayContextMinusSelection1Click();
  void PlayContextAroundSelectionLeftOnly1Click();
  void PlayContextAroundSelectionRightOnly1Click();
  void PlaySelectionWithContextAfter1Click();
  void PlaySelectionWithContextBefore1Click();
  void StopPlayBtnClick();
  void pausebtnClick() { PausePlayback(); }
  void PlayLeftClick();
  void PlayRightClick();

  // ---- Previews ----
  void DeclickPreview1Click();
  void CompressPreview1Click();
  void EqualisePreview1Click();
  void FilterPreview1Click();
  void ChannelMixPreview1Click();
  void DecracklePreview1Click();

  // The whole playback. With a host that drives playback (a window), returns once the first
  // buffers are queued and the host polls; otherwise, and always while a macro or batch runs,
  // returns when the playback has ended.
  void StartPlayback(bool applyEdits, bool mono, bool playRight, bool playLeft, bool minusSelection,
                     bool withContext, bool loop, PreviewKind preview);
  // The window's poll timer: one step of the playback; false once it has ended.
  bool pollPlayback();
  void PausePlayback();
  void RestartPlayback();
  void SkipPlayback(int n);
  void PlayFaster();
  void PlaySlower();
  // The play cursor's 100 ms timer.
  void PlaybackTimerTimer();
  // Where the play cursor stands.
  int32_t playPosition() const { return engine_ ? engine_->playPosition : 0; }
  bool isPlaying() const;
  // The engine, made on first use.
  Playback& playback();

  // A key while playing: true when it was one of the playback keys and was consumed.
  bool playbackKey(PlayKey key, bool modified);
  // Alt+right mouse button at frame `frame` (refused while playing), and its mouse up.
  void playFromClick(int32_t frame);
  void endPlayFromClick();
  bool playFromClickActive() const { return playFromClick_; }

  // Record New WAV File: asks for the new file's name, closes the document, runs the
  // recording window (the host's "Recording" dialog, whose model is the TRecording), then
  // opens the new file with the markers and track cues placed while recording.
  void Record1Click();

  // The sound-card side, given by the front end. Without it nothing can be recorded.
  InputDeviceFactory* inputDevices = nullptr;
  // The recording device's mixer, given by the front end. Without it the recording window has
  // no input selection or level controls.
  MixerApiFactory* mixerApis = nullptr;
  // The clock of the recording window's timers; the system clock unless a test sets one.
  RecordingClock* recordingClock = nullptr;
  // Whether a recording device that takes 44.1 kHz stereo 16-bit was found at start-up.
  bool recordDeviceFound = false;

  // Playing: the window disables every menu but Play/Record (where only Kill (Stop) Output
  // stays enabled) and shows the pause button in place of the record button; finished undoes
  // that.
  void SetPlayingState(bool finished);

 protected:
  // The whole editor, for state that other parts own.
  Editor& ed();
  const Editor& ed() const;

 private:
  friend class Playback;
  void playChannels(bool left, bool right, void (AudioCommands::*command)());
  void startPreview(PreviewKind kind);
  // The end of a playback: the declick preview's Remove.
  void playbackEnded(PreviewKind kind);

  SystemRecordingClock systemClock_;
  std::unique_ptr<OutputBackend> backend_;
  std::unique_ptr<Playback> engine_;
  bool playFromClick_ = false;
  int32_t savedSelStart_ = -1;
  int32_t savedSelEnd_ = -1;
};

}  // namespace tolmar
