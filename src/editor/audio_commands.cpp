#include "editor/audio_commands.h"

#include <filesystem>

#include "declick/detection.h"
#include "document/file_names.h"
#include "editor/editor.h"

namespace tolmar {

Editor& AudioCommands::ed() {
  return static_cast<Editor&>(*this);
}
const Editor& AudioCommands::ed() const {
  return static_cast<const Editor&>(*this);
}

AudioCommands::AudioCommands() : backend_(std::make_unique<NullOutputBackend>()) {}
AudioCommands::~AudioCommands() = default;

void AudioCommands::setOutputBackend(std::unique_ptr<OutputBackend> backend, DeviceCheck check) {
  if (isPlaying()) return;
  const bool none = !backend;
  backend_ = none ? std::make_unique<NullOutputBackend>() : std::move(backend);
  playDeviceFound = false;
  if (check == DeviceCheck::WhenPlaying) {
    playDeviceFound = !none;
    return;
  }
  for (const OutputDeviceInfo& d : backend_->outputDevices())
    if (d.cdFormat) playDeviceFound = true;
}

Playback& AudioCommands::playback() {
  if (!engine_) engine_ = std::make_unique<Playback>(ed());
  return *engine_;
}

bool AudioCommands::isPlaying() const {
  return engine_ && engine_->active();
}

// ---- Playback commands ----

void AudioCommands::StartPlayback(bool applyEdits, bool mono, bool playRightCh, bool playLeftCh,
                                  bool minusSelection, bool withContext, bool loop,
                                  PreviewKind previewKind) {
  Editor& e = ed();
  if (e.ctx.playing || !e.doc || !e.doc->hasSelection()) return;
  Playback& engine = playback();
  PlayRequest r;
  r.applyEdits = applyEdits;
  r.mono = mono;
  r.playLeft = playLeftCh;
  r.playRight = playRightCh;
  r.minusSelection = minusSelection;
  r.withContext = withContext;
  r.loop = loop;
  r.preview = previewKind;
  r.beforeTenths = e.ctx.settings.beforeplay;
  r.afterTenths = e.ctx.settings.afterplay;
  engine.start(r);
  // A macro step plays to its end before the next step runs.
  if (!e.ctx.host().drivesPlayback() || e.ctx.inMacroOrBatch()) engine.runToEnd();
}

bool AudioCommands::pollPlayback() {
  return engine_ && engine_->poll();
}

void AudioCommands::PlaySelectionBtnClick() {
  StartPlayback(true, ed().ctx.settings.monoplayback, playRight, playLeft, false, false, false,
                PreviewKind::None);
}

void AudioCommands::OutputSelectionWithContext1Click() {
  StartPlayback(true, ed().ctx.settings.monoplayback, playRight, playLeft, false, true, false,
                PreviewKind::None);
}

void AudioCommands::PlaySelectionWithContextBefore1Click() {
  Settings& s = ed().ctx.settings;
  const int16_t after = s.afterplay;
  s.afterplay = 0;
  OutputSelectionWithContext1Click();
  s.afterplay = after;
}

void AudioCommands::PlaySelectionWithContextAfter1Click() {
  Settings& s = ed().ctx.settings;
  const int16_t before = s.beforeplay;
  s.beforeplay = 0;
  OutputSelectionWithContext1Click();
  s.beforeplay = before;
}

void AudioCommands::PlayContextMinusSelection1Click() {
  StartPlayback(true, ed().ctx.settings.monoplayback, playRight, playLeft, true, true, false,
                PreviewKind::None);
}

void AudioCommands::playChannels(bool left, bool right, void (AudioCommands::*command)()) {
  if (ed().ctx.playing) return;
  const bool savedLeft = playLeft;
  const bool savedRight = playRight;
  playLeft = left;
  playRight = right;
  (this->*command)();
  playLeft = savedLeft;
  playRight = savedRight;
}

void AudioCommands::OutputPlaySelectionLeftChannel1Click() {
  playChannels(true, false, &AudioCommands::PlaySelectionBtnClick);
}
void AudioCommands::OutputPlaySelectionRightChannel1Click() {
  playChannels(false, true, &AudioCommands::PlaySelectionBtnClick);
}
void AudioCommands::PlaySelectionWithContextLeftChannel1Click() {
  playChannels(true, false, &AudioCommands::OutputSelectionWithContext1Click);
}
void AudioCommands::PlaySelectionWithContextRightChannel1Click() {
  playChannels(false, true, &AudioCommands::OutputSelectionWithContext1Click);
}
void AudioCommands::PlayContextAroundSelectionLeftOnly1Click() {
  playChannels(true, false, &AudioCommands::PlayContextMinusSelection1Click);
}
void AudioCommands::PlayContextAroundSelectionRightOnly1Click() {
  playChannels(false, true, &AudioCommands::PlayContextMinusSelection1Click);
}

void AudioCommands::StopPlayBtnClick() {
  if (engine_) engine_->stop();
}

void AudioCommands::PlayLeftClick() {
  playLeft = !playLeft;
  ed().ctx.host().requestRepaint(Repaint::all());
}

void AudioCommands::PlayRightClick() {
  playRight = !playRight;
  ed().ctx.host().requestRepaint(Repaint::all());
}

// ---- Previews ----

void AudioCommands::startPreview(PreviewKind kind) {
  Editor& e = ed();
  if (!e.doc || e.ctx.playing) return;
  e.ctx.continueFlag = true;
  if (kind == PreviewKind::Declick) preview.removeRequested = false;
  StartPlayback(kind != PreviewKind::Declick, e.ctx.settings.monoplayback, playRight, playLeft,
                false, false, true, kind);
}

void AudioCommands::DeclickPreview1Click() {
  startPreview(PreviewKind::Declick);
}
void AudioCommands::CompressPreview1Click() {
  startPreview(PreviewKind::Compress);
}
void AudioCommands::EqualisePreview1Click() {
  startPreview(PreviewKind::Equalise);
}
void AudioCommands::FilterPreview1Click() {
  startPreview(PreviewKind::Filter);
}
void AudioCommands::ChannelMixPreview1Click() {
  startPreview(PreviewKind::ChannelMix);
}
void AudioCommands::DecracklePreview1Click() {
  startPreview(PreviewKind::Decrackle);
}

void AudioCommands::playbackEnded(PreviewKind kind) {
  Editor& e = ed();
  if (kind != PreviewKind::Declick || !preview.removeRequested || !e.doc) return;
  preview.removeRequested = false;
  FindClicks(*e.doc, e.params, e.clicks, e.params.includeUpdates, true, false, e.smoothEdges);
  e.clicks.current = -1;
  if (e.clicks.hasClicks()) e.RemoveAllClicks1Click();
  e.ctx.host().requestRepaint(Repaint::all());
}

// ---- While playing ----

void AudioCommands::PausePlayback() {
  if (engine_) engine_->togglePause();
}

void AudioCommands::RestartPlayback() {
  if (engine_ && engine_->active()) engine_->restartPass();
}

void AudioCommands::SkipPlayback(int n) {
  if (engine_) engine_->skip(n);
}

void AudioCommands::PlayFaster() {
  if (engine_ && engine_->active()) engine_->faster();
}

void AudioCommands::PlaySlower() {
  if (engine_ && engine_->active()) engine_->slower();
}

void AudioCommands::PlaybackTimerTimer() {
  if (engine_) engine_->cursorTick();
}

bool AudioCommands::playbackKey(PlayKey key, bool modified) {
  Editor& e = ed();
  if (!e.ctx.playing) return false;
  switch (key) {
    case PlayKey::Enter:
      SkipPlayback(modified ? 10 : 1);
      return true;
    case PlayKey::NumpadPlus:
      SkipPlayback(modified ? -10 : -1);
      return true;
    case PlayKey::Escape:
      PausePlayback();
      return true;
    case PlayKey::Space: {
      const int64_t back =
          static_cast<int64_t>(e.ctx.sampleRate) * e.ctx.settings.markeroffset / 1000;
      e.AddMarkerAt(static_cast<int32_t>(playPosition() - back));
      e.ctx.host().requestRepaint(Repaint::overlays());
      return true;
    }
    case PlayKey::Equals:
      if (!modified) return false;
      PlayFaster();
      return true;
    case PlayKey::Minus:
      if (!modified) return false;
      PlaySlower();
      return true;
  }
  return false;
}

void AudioCommands::playFromClick(int32_t frame) {
  Editor& e = ed();
  if (e.ctx.playing || !e.doc) return;
  savedSelStart_ = e.doc->selStart;
  savedSelEnd_ = e.doc->selEnd;
  e.doc->selStart = std::max(0, frame);
  e.doc->selEnd = e.doc->frameCount - 1;
  // Set before playing: the mouse up that ends it arrives while the playback runs.
  playFromClick_ = true;
  StartPlayback(true, e.ctx.settings.monoplayback, playRight, playLeft, false, false, false,
                PreviewKind::None);
}

void AudioCommands::endPlayFromClick() {
  Editor& e = ed();
  if (!playFromClick_) return;
  playFromClick_ = false;
  StopPlayBtnClick();
  if (e.doc) {
    e.doc->selStart = savedSelStart_;
    e.doc->selEnd = savedSelEnd_;
  }
  e.AddMarkerAt(playPosition());
  e.SortMarkers();
  e.ctx.host().requestRepaint(Repaint::overlays() | Repaint::selection());
}

void AudioCommands::SetPlayingState(bool finished) {
  ed().ctx.host().playingStateChanged(!finished);
  ed().ctx.host().refreshCommands();
}

// ---- Recording ----

void AudioCommands::Record1Click() {
  Editor& e = ed();
  Context& ctx = e.ctx;
  if (ctx.recording || ctx.playing) return;
  // A batch run has no window to record with.
  if (ctx.batchRunning) return;
  ctx.host().inhibitScreenSaver(true);

  FileDialogSpec spec;
  spec.title = "Record New WAV File";
  spec.directory = workingDirectory();
  spec.filter = "WAV Files (*.wav)|*.wav|All Files (*.*)|*.*";
  spec.defaultExt = "wav";
  const auto chosen = ctx.host().saveFileDialog(spec);
  if (!chosen || !e.QueryClose()) {
    ctx.host().inhibitScreenSaver(false);
    return;
  }
  if (e.doc) {
    e.doc.reset();
    e.documentClosed();
  }
  e.refreshTitle();
  ctx.host().requestRepaint(Repaint::all());

  MarkerList recMarkers;
  std::vector<Cue> recCues;
  ctx.sampleRate = ctx.settings.recordrate == 1 ? 48000 : 44100;
  RecordingRequest req;
  req.fileName = *chosen;
  req.markers = &recMarkers;
  req.cues = &recCues;
  req.mainMarkers = &e.markers;
  req.showLevelControls = !ctx.settings.novolctrl;
  req.counterOff = ctx.settings.counteroff;
  req.metersOff = ctx.settings.metersoff;
  req.timedRecord = ctx.settings.timedrecord;
  req.clippingsamples = ctx.settings.clippingsamples;
  req.clippingvalue = ctx.settings.clippingvalue;
  req.flattopsonly = ctx.settings.flattopsonly;
  req.ftvariance = ctx.settings.ftvariance;
  req.mixers = mixerApis;

  bool written = false;
  {
    ctx.recording = true;
    ctx.host().refreshCommands();
    TRecording rec(ctx, inputDevices, recordingClock ? *recordingClock : systemClock_, req);
    DialogRequest dialog{"Recording", &rec};
    ctx.host().runDialog(dialog);
    // However the window went, the input stops and the file is closed.
    if (!rec.closed()) rec.cancelbtnClick();
    written = rec.fileWritten();
    ctx.recording = false;
  }

  if (written && fileExists(*chosen) && e.OpenDocument(*chosen, true) && e.doc) {
    for (const Marker& m : recMarkers.items) e.markers.Add(m.kind, m.position, m.count);
    if (!recCues.empty()) {
      for (const Cue& c : recCues) e.doc->cues.push_back(c);
      e.doc->cuesNotWritten = true;
    }
    ctx.host().requestRepaint(Repaint::all());
  }
  ctx.host().refreshCommands();
  ctx.host().inhibitScreenSaver(false);
}

}  // namespace tolmar
