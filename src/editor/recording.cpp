#include "editor/recording.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>

#include "audio/wave_in_mixer.h"
#include "config/ini_file.h"
#include "document/time_text.h"
#include "dsp/effect_road.h"

namespace tolmar {

namespace {

constexpr int kMaxLimitFrames = 0x3FFFFFFF;

std::string stoppedAfterText(int seconds) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "Recording stopped automatically after %d:%.2d", seconds / 60,
                seconds % 60);
  return buf;
}

int magnitude(int16_t s) {
  return s == -32768 ? 32767 : (s < 0 ? -s : s);
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void civilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  if (m <= 2) ++y;
}

}  // namespace

int64_t SystemRecordingClock::nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t SystemRecordingClock::localSeconds() {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return static_cast<int64_t>(t) + local.tm_gmtoff;
}

std::string formatDateTime(int64_t localSeconds) {
  int64_t days = localSeconds / 86400;
  int64_t rest = localSeconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  int64_t y;
  unsigned m, d;
  civilFromDays(days, y, m, d);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u %02d:%02d:%02d", static_cast<long long>(y), m, d,
                static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                static_cast<int>(rest % 60));
  return buf;
}

TRecording::TRecording(Context& ctx, InputDeviceFactory* devices, RecordingClock& clock,
                       RecordingRequest request)
    : ctx_(ctx), devices_(devices), clock_(clock), req_(std::move(request)) {
  FormCreate();
}

TRecording::~TRecording() {
  if (inputRunning_) stopInput(false);
  freeBuffers();
  FormClose();
}

void TRecording::FormCreate() {
  savedTracksInTimes_ = ctx_.settings.tracksintimes;
  savedTimeInFrames_ = ctx_.settings.timeinframes;
  settingsSaved_ = true;
  ctx_.settings.tracksintimes = false;
  ctx_.settings.timeinframes = false;
  if (ctx_.settings.defaultrectime < 1) {
    limitMinutes = 5;
    maxLimit = true;
  } else {
    limitMinutes = ctx_.settings.defaultrectime;
    maxLimit = false;
  }
  rateIndex = ctx_.sampleRate == 48000 ? 1 : 0;
  state_ = Idle;

  startbtn = {"Monitor", "Start Monitoring", true};
  stopbtn = {"Stop", "Stop Recording", false};
  cancelbtn = {"Cancel", "", true};
  resetbtn = {"PEAK", "", true};
  trackbtn = {"Track", "Place New Track Cue Point", true};
  timerdelaybtn = {"Timer Delayed Recording...", "", true};
  timedrecbtn = {"Start", "", true};
  FormShow();
}

void TRecording::FormShow() {
  fileLabel = req_.fileName;
  metersOff = req_.metersOff;
  counterOff = req_.counterOff;
  for (auto& m : meters) m.peakLabel = LevelToDb(0);
  createMixer();
}

void TRecording::FormClose() {
  // The chosen source and levels stay on the card.
  mixer_.reset();
  if (!settingsSaved_) return;
  ctx_.settings.tracksintimes = savedTracksInTimes_;
  ctx_.settings.timeinframes = savedTimeInFrames_;
  settingsSaved_ = false;
}

// ---- The start button ----

void TRecording::startbtnClick() {
  switch (state_) {
    case Idle:
      rategroupEnabled = false;
      startbtn.caption = "Record";
      startbtn.hint = "Start Recording";
      state_ = Monitoring;
      openAndStartInput();
      if (!inputRunning_) {
        startbtn.enabled = false;
        timerdelaybtn.enabled = false;
      }
      break;
    case Monitoring: {
      startbtn.caption = "Pause";
      startbtn.hint = "Pause Recording";
      limitgroupEnabled = false;
      cancelbtn.enabled = false;
      stopbtn.enabled = true;
      timedrecbtn.caption = "Recording";
      timedrecbtn.enabled = false;
      timer1Running = false;
      timerdelaybtn.enabled = false;
      firstRecorded_ = counter_;
      computeLimit();
      // The header claims nothing until samples are committed behind it.
      if (!file_.create(req_.fileName, rate())) {
        ctx_.error("Failed to create file " + req_.fileName);
        stop_ = true;
        break;
      }
      fileCreated_ = true;
      state_ = Recording;
      break;
    }
    case Recording:
      cancelbtn.enabled = true;
      startbtn.caption = "Resume";
      startbtn.hint = "Resume Recording";
      pausedOffset_ = counter_ - firstRecorded_;
      state_ = Paused;
      break;
    case Paused:
      startbtn.caption = "Pause";
      startbtn.hint = "Pause Recording";
      firstRecorded_ = counter_ - pausedOffset_;
      computeLimit();
      state_ = Recording;
      break;
    case Cancelling:
      break;
  }
}

void TRecording::computeLimit() {
  limitSeconds_ = limitSecondsExact > 0 ? std::min(limitSecondsExact, kMaxLimitFrames / rate())
                  : maxLimit            ? kMaxLimitFrames / rate()
                                        : limitMinutes * 60;
  bufferLimit_ = static_cast<int64_t>(limitSeconds_) * ctx_.settings.recplaybps + firstRecorded_;
}

void TRecording::stopbtnClick() {
  stop_ = true;
  showStopped();
}

void TRecording::showStopped() {
  narrowLayout = true;
  startbtn.enabled = false;
  stopbtn.enabled = false;
  resetbtn.enabled = false;
  trackbtn.enabled = false;
  cancelbtn.enabled = true;
  cancelbtn.caption = "Close";
}

void TRecording::cancelbtnClick() {
  if (closed()) return;
  state_ = Cancelling;
  stop_ = true;
  hungTimerRunning = true;
  hungDue_ = clock_.nowMs() + kHungTimerMs;
  while (inputRunning_) {
    tick();
    if (!inputRunning_) break;
    ctx_.host().pump();
  }
  hungTimerRunning = false;
  result_ = Result::Cancel;
  FormClose();
}

void TRecording::rec_hung_timerTimer() {
  hungTimerRunning = false;
  ctx_.error("Recording appears to have hung for unknown reason");
  stopInput(false);
}

// ---- The input ----

void TRecording::openAndStartInput() {
  if (req_.mainMarkers) req_.mainMarkers->Clear();
  ctx_.host().requestRepaint(Repaint::overlays());
  const int bps = ctx_.settings.recplaybps > 0 ? ctx_.settings.recplaybps : 10;
  const int count = ctx_.settings.recplaybuffs > 0 ? ctx_.settings.recplaybuffs : 4;
  framesPerBuffer_ = static_cast<uint32_t>(rate() / bps);
  if (static_cast<size_t>(count) > InputQueue::kCapacity) {
    ctx_.error("Failed to allocate buffers");
    return;
  }
  try {
    memory_.assign(static_cast<size_t>(count) * framesPerBuffer_ * 2, 0);
    buffers_.clear();
    for (int i = 0; i < count; ++i) {
      auto b = std::make_unique<InputBuffer>();
      b->data = memory_.data() + static_cast<size_t>(i) * framesPerBuffer_ * 2;
      b->frames = framesPerBuffer_;
      buffers_.push_back(std::move(b));
    }
  } catch (const std::bad_alloc&) {
    freeBuffers();
    ctx_.error("Failed to allocate buffers");
    return;
  }

  device_ = devices_ ? devices_->create(ctx_.settings.recdevno) : nullptr;
  const std::string why = device_ ? device_->open(rate(), framesPerBuffer_) : "no input device";
  if (!why.empty()) {
    device_.reset();
    freeBuffers();
    ctx_.error("Failed to open a suitable input device (" + why + ")");
    return;
  }

  resetMeters();
  for (auto& m : meters) m.peak = 0;
  clipRun_ = {};
  clipLatch_ = {};
  prevMagnitude_ = {};
  clipMarker_ = {-1, -1};
  diskFull_ = autoStopped_ = false;
  stop_ = false;
  for (size_t k = 0; k < buffers_.size(); ++k) {
    if (int code = device_->prepare(*buffers_[k])) {
      ctx_.error("Failed to prepare wave data buffer #" + std::to_string(k) +
                 ", code=" + std::to_string(code));
      device_->close();
      device_.reset();
      freeBuffers();
      return;
    }
    if (int code = device_->add(*buffers_[k])) {
      ctx_.error("Failed to add data buffer #" + std::to_string(k) +
                 " to input device, code=" + std::to_string(code));
      device_->reset();
      device_->close();
      device_.reset();
      freeBuffers();
      return;
    }
  }
  counter_ = 0;
  nextSlot_ = 0;
  if (int code = device_->start()) {
    ctx_.error("Failed to start recording, code=" + std::to_string(code));
    device_->reset();
    device_->close();
    device_.reset();
    freeBuffers();
    return;
  }
  inputRunning_ = true;
}

void TRecording::tick() {
  if (inputRunning_) {
    device_->service();
    while (inputRunning_ && buffers_[nextSlot_]->done.load(std::memory_order_acquire)) {
      const size_t slot = nextSlot_;
      nextSlot_ = (nextSlot_ + 1) % buffers_.size();
      bufferReturned(slot);
    }
  }
  const int64_t now = clock_.nowMs();
  if (hungTimerRunning && inputRunning_ && now >= hungDue_) rec_hung_timerTimer();
  if (timer1Running && now >= timer1Due_) Timer1Timer();
}

void TRecording::bufferReturned(size_t slot) {
  ++counter_;
  if (state_ == Recording && counter_ > bufferLimit_) {
    stop_ = true;
    autoStopped_ = true;
  }
  InputBuffer& b = *buffers_[slot];
  if (!stop_) {
    processBuffer(counter_, b);
    if (int code = device_->unprepare(b)) {
      ctx_.error("Failed to unprepare buffer #" + std::to_string(slot) +
                 ", code=" + std::to_string(code));
    }
    if (int code = device_->prepare(b)) {
      ctx_.error("Failed to prepare wave data buffer #" + std::to_string(slot) +
                 ", code=" + std::to_string(code));
    } else if (int code = device_->add(b)) {
      ctx_.error("Failed to add data buffer #" + std::to_string(slot) +
                 " to input device, code=" + std::to_string(code));
    }
  } else {
    // The buffer that brought the stop is the first of those still to be taken.
    nextSlot_ = slot;
    --counter_;
    stopInput(true);
  }
}

void TRecording::processBuffer(int64_t k, InputBuffer& b) {
  recordedFrames_ = (k - firstRecorded_) * framesPerBuffer_;
  // Only whole buffers are sound that was recorded; a stop leaves the last one part-filled.
  const uint32_t frames = b.framesRecorded.load(std::memory_order_acquire);
  if (frames != b.frames) return;
  // Buffers past the limit are not part of the recording.
  if (state_ == Recording && k <= bufferLimit_ && file_.isOpen() && !file_.failed()) {
    if (!file_.append(b.data, frames * 4)) {
      stop_ = true;
      diskFull_ = true;
    }
    if (!counterOff) {
      const std::string t = formatTime(recordedFrames_, rate(), false, false, {});
      largetimer = t.size() > 4 ? t.substr(0, t.size() - 4) : t;
    }
  }
  analyse(b.data, frames);
  // Another program may move the card's levels meanwhile.
  if (mixerValid()) readVolumes();
}

void TRecording::endClipRun(int ch) {
  if (clipRun_[ch] >= req_.clippingsamples && clipMarker_[ch] >= 0 && req_.markers &&
      static_cast<size_t>(clipMarker_[ch]) < req_.markers->size()) {
    req_.markers->items[static_cast<size_t>(clipMarker_[ch])].count = clipRun_[ch];
  }
  clipMarker_[ch] = -1;
  clipRun_[ch] = 0;
}

void TRecording::analyse(const int16_t* frames, uint32_t count) {
  bufferPeak_ = {};
  const int F = static_cast<int>(framesPerBuffer_);
  for (uint32_t i = 0; i < count; ++i) {
    for (int ch = 0; ch < 2; ++ch) {
      const int m = magnitude(frames[2 * i + static_cast<uint32_t>(ch)]);
      if (m > bufferPeak_[ch]) bufferPeak_[ch] = m;
      if (m < req_.clippingvalue) {
        endClipRun(ch);
        clipLatch_[ch] = false;
      } else if (req_.flattopsonly && clipRun_[ch] > 0 &&
                 std::abs(m - prevMagnitude_[ch]) * 100.0 > req_.ftvariance * prevMagnitude_[ch]) {
        endClipRun(ch);
        clipLatch_[ch] = false;
        clipRun_[ch] = 1;
      } else {
        ++clipRun_[ch];
      }
      prevMagnitude_[ch] = m;
      if (clipRun_[ch] >= req_.clippingsamples) {
        meters[ch].clipLed = true;
        if (!clipLatch_[ch]) {
          ++totalClips;
          ++clipsSinceReset;
          clipLatch_[ch] = true;
        }
      }
      if (clipRun_[ch] == req_.clippingsamples && state_ == Recording && req_.markers) {
        const int64_t pos = recordedFrames_ + i - F;
        req_.markers->Add(static_cast<uint8_t>(ch == 0 ? Marker::Left : Marker::Right),
                          static_cast<int32_t>(pos), 1);
        clipMarker_[ch] = static_cast<int>(req_.markers->size() - 1);
      }
    }
  }
  for (int ch = 0; ch < 2; ++ch) {
    ChannelMeter& m = meters[ch];
    if (!metersOff) {
      int lit = 0;
      while (lit < static_cast<int>(kMeterThresholds.size()) &&
             bufferPeak_[ch] >= kMeterThresholds[static_cast<size_t>(lit)])
        ++lit;
      m.ledsLit = lit;
    }
    if (bufferPeak_[ch] > m.peak) {
      m.peak = bufferPeak_[ch];
      m.peakLabel = LevelToDb(m.peak);
    }
  }
}

void TRecording::stopInput(bool wait) {
  if (!inputRunning_) return;
  inputRunning_ = false;
  if (int code = device_->stop())
    ctx_.error("Failed to stop recording, code=" + std::to_string(code));
  if (device_->reset()) ctx_.error("Failed to reset the input device");
  for (size_t i = 0; i < buffers_.size(); ++i) {
    InputBuffer& b = *buffers_[nextSlot_];
    nextSlot_ = (nextSlot_ + 1) % buffers_.size();
    // After a reset every queued buffer is back; a hung device may never return them.
    if (!b.done.load(std::memory_order_acquire)) {
      if (wait) continue;
      break;
    }
    ++counter_;
    processBuffer(counter_, b);
  }
  dropped_ = device_->droppedBuffers();
  if (device_->close()) ctx_.error("Failed to close input device");
  device_.reset();
  if (fileCreated_) file_.finish();
  freeBuffers();
  resetMeters();
  if (state_ == Recording || state_ == Paused || state_ == Monitoring) showStopped();
  if (autoStopped_) {
    ctx_.info(stoppedAfterText(limitSeconds_));
  } else if (diskFull_) {
    ctx_.error("Recording stopped: disk full");
  }
}

void TRecording::freeBuffers() {
  buffers_.clear();
  memory_.clear();
  memory_.shrink_to_fit();
}

void TRecording::resetMeters() {
  for (auto& m : meters) {
    m.ledsLit = 0;
    m.clipLed = false;
  }
}

// ---- Other controls ----

void TRecording::spaceKeyDown() {
  if (state_ != Recording || !req_.markers) return;
  int64_t pos = recordedFrames_ - static_cast<int64_t>(rate()) * ctx_.settings.markeroffset / 1000;
  if (pos < 0) pos = 0;
  req_.markers->Add(Marker::Both, static_cast<int32_t>(pos), 0);
}

void TRecording::trackbtnClick() {
  if (state_ != Recording || !req_.cues) return;
  const int64_t cd = rate() == 48000 ? 640 : 588;
  Cue c;
  c.position = static_cast<int32_t>((recordedFrames_ + cd - 1) / cd * cd);
  c.track = true;
  req_.cues->push_back(c);
}

void TRecording::resetClick() {
  for (auto& m : meters) {
    m.clipLed = false;
    m.peak = 0;
  }
  clipsSinceReset = 0;
}

void TRecording::rategroupClick(int index) {
  rateIndex = index == 1 ? 1 : 0;
  ctx_.sampleRate = rateIndex == 1 ? 48000 : 44100;
}

void TRecording::minlimitChange(int minutes) {
  limitMinutes = minutes;
}

void TRecording::limitChoiceClick(bool max) {
  maxLimit = max;
}

void TRecording::Button1Click() {
  ++minimiseRequests;
}

// ---- The mixer ----

void TRecording::createMixer() {
  narrowLayout = true;
  if (!req_.showLevelControls || !req_.mixers) return;
  std::unique_ptr<MixerApi> api = req_.mixers->create();
  if (!api) return;
  const Settings& s = ctx_.settings;
  mixer_ = std::make_unique<WaveInMixer>(std::move(api), s.recdevno, s.debugMixertrace,
                                         s.muteunused, s.reclineno);
  for (const int step : mixer_->tracePoints())
    ctx_.info("Mixer trace point " + std::to_string(step));
  if (!mixer_->valid()) {
    mixerFailurePending = true;
    return;
  }
  narrowLayout = false;
  inputItems.clear();
  for (const WaveInMixer::SourceLine& src : mixer_->sources()) inputItems.push_back(src.name);
  inputIndex = mixer_->currentSource();
  volumeMin = -65535;
  volumeMax = 0;
  showSourceControls();
  readVolumes();
}

bool TRecording::mixerValid() const {
  return mixer_ && mixer_->valid();
}

bool TRecording::mixerHasMaster() const {
  return mixerValid() && mixer_->hasMasterVolume();
}

void TRecording::mixerFailureClosed(bool notell) {
  mixerFailurePending = false;
  // Written to the settings file when the program closes.
  if (notell) ctx_.settings.novolctrl = true;
}

void TRecording::showSourceControls() {
  const WaveInMixer::SourceLine& src = mixer_->sources()[static_cast<size_t>(inputIndex)];
  rightShown = src.channels > 1;
  masterShown = mixer_->hasMasterVolume();
}

void TRecording::readVolumes() {
  int32_t l = 0, r = 0, m = 0;
  if (!mixer_->getVolumes(l, r, m)) return;
  lvolume = std::clamp(-l, volumeMin, volumeMax);
  rvolume = std::clamp(-r, volumeMin, volumeMax);
  if (mixer_->hasMasterVolume()) mastervolume = std::clamp(-m, -65535, 0);
}

void TRecording::inputChange(int index) {
  if (!mixerValid() || index < 0 || static_cast<size_t>(index) >= inputItems.size()) return;
  if (!mixer_->selectSource(index)) {
    ctx_.error("Failed to switch to input " + inputItems[static_cast<size_t>(index)]);
    inputIndex = mixer_->currentSource();
    return;
  }
  inputIndex = index;
  if (const auto& v = mixer_->sources()[static_cast<size_t>(index)].volume) {
    volumeMin = -v->maximum;
    volumeMax = -v->minimum;
  }
  showSourceControls();
  readVolumes();
}

void TRecording::lvolumeChange(int position) {
  position = std::clamp(position, volumeMin, volumeMax);
  if (!enablePan) rvolume = std::clamp(rvolume + position - lvolume, volumeMin, volumeMax);
  lvolume = position;
  mastervolumeChange(mastervolume);
}

void TRecording::rvolumeChange(int position) {
  position = std::clamp(position, volumeMin, volumeMax);
  if (!enablePan) lvolume = std::clamp(lvolume + position - rvolume, volumeMin, volumeMax);
  rvolume = position;
  mastervolumeChange(mastervolume);
}

void TRecording::mastervolumeChange(int position) {
  mastervolume = std::clamp(position, -65535, 0);
  if (mixerValid()) mixer_->setVolumes(-lvolume, -rvolume, -mastervolume);
}

std::vector<std::string> TRecording::SummaryMixerInfo1Click() const {
  return mixer_ ? mixer_->status() : std::vector<std::string>{};
}

std::vector<std::string> TRecording::ShowMixerTrace1Click() const {
  return mixer_ ? mixer_->trace() : std::vector<std::string>{};
}

std::vector<std::string> TRecording::reportLines() const {
  MixerApiFactory* f = req_.mixers;
  return mixerReportLines(mixer_.get(), f ? f->systemVersion() : std::string(),
                          f ? f->dumpMixers(ctx_.settings.recdevno) : std::vector<std::string>{});
}

bool TRecording::FullMixerInfo1Click(const std::string& path) {
  if (!writeMixerReport(path, reportLines())) {
    ctx_.error("Failed to write the report file \"" + path + "\"");
    return false;
  }
  ctx_.info("Report completed and written to file \"" + path + "\"");
  return true;
}

std::string TRecording::createMixerReport() {
  // The program's own folder is not ours to write: the report goes beside the settings.
  std::error_code ec;
  const std::filesystem::path dir = configDirectory();
  std::filesystem::create_directories(dir, ec);
  const std::string path = (dir / kMixerReportName).string();
  if (!writeMixerReport(path, reportLines())) {
    ctx_.error("Failed to write the report file \"" + path + "\"");
    return {};
  }
  ctx_.info("Report written to file: \"" + path +
            "\"\n\nPlease send this file to Tolmar's support, with the name of your sound card.");
  return path;
}

// ---- Timer-delayed recording ----

void TRecording::timerdelaybtnClick() {
  clockOffset_ = 0;
  waiting_ = false;
  const int64_t now = clock_.localSeconds();
  startTime_ = now - ((now % 60) + 60) % 60 + 60;
  expanded = true;
  timer1Running = true;
  timer1Due_ = clock_.nowMs();
  Timer1Timer();
}

void TRecording::UpDown1Click(bool up) {
  clockOffset_ += up ? 60 : -60;
}
void TRecording::UpDown2Click(bool up) {
  clockOffset_ += up ? 3600 : -3600;
}
void TRecording::UpDown3Click(bool up) {
  startTime_ += up ? 60 : -60;
}
void TRecording::UpDown4Click(bool up) {
  startTime_ += up ? 3600 : -3600;
}

void TRecording::timedrecbtnClick() {
  if (maxLimit &&
      ctx_.ask(MsgKind::Warning, Buttons::OkCancel,
               "No time limit set for timed recording: are you sure?") == Answer::Cancel)
    return;
  upDownsEnabled = false;
  timedrecbtn.enabled = false;
  timedrecbtn.caption = "Waiting";
  waiting_ = true;
}

void TRecording::Timer1Timer() {
  timer1Due_ = clock_.nowMs() + kTimer1Ms;
  const int64_t now = clock_.localSeconds() + clockOffset_;
  dtnow = formatDateTime(now);
  dtstart = formatDateTime(startTime_);
  if (waiting_ && now >= startTime_) {
    waiting_ = false;
    timedrecbtn.caption = "Recording";
    if (state_ == Idle) startbtnClick();
    if (state_ == Monitoring && startbtn.enabled) startbtnClick();
  }
}

}  // namespace tolmar
