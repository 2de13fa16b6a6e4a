#pragma once
// The recording window without its widgets: the state machine behind Monitor / Record / Pause
// / Resume, Stop and Cancel, the input buffers and their file, the meters, clip detection and
// clip markers, Track cues, the time limit and timer-delayed recording. The window (or the
// batch front end, or a test) shows the controls' state from the public fields, forwards each
// click to its handler and calls tick() often (every few tens of milliseconds): tick() takes
// the buffers the device has filled, in order, and runs the timers off the clock.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/input_device.h"
#include "audio/recording_file.h"
#include "document/cue.h"
#include "document/marker_list.h"
#include "editor/context.h"

namespace tolmar {

class MixerApiFactory;
class WaveInMixer;

// Wall-clock and monotonic time for the timers; tests substitute their own.
class RecordingClock {
 public:
  virtual ~RecordingClock() = default;
  // Monotonic milliseconds.
  virtual int64_t nowMs() = 0;
  // Local date and time in seconds since 1970-01-01 00:00 local time.
  virtual int64_t localSeconds() = 0;
};

class SystemRecordingClock : public RecordingClock {
 public:
  int64_t nowMs() override;
  int64_t localSeconds() override;
};

// "yyyy-mm-dd hh:nn:ss" of local seconds since 1970.
std::string formatDateTime(int64_t localSeconds);

// What the caller hands the window.
struct RecordingRequest {
  std::string fileName;
  MarkerList* markers = nullptr;      // the recording marker list
  std::vector<Cue>* cues = nullptr;   // the recording cue list
  MarkerList* mainMarkers = nullptr;  // cleared when the input starts
  bool showLevelControls = true;      // not novolctrl
  bool counterOff = false;
  bool metersOff = false;
  bool timedRecord = false;
  int clippingsamples = 4;
  int clippingvalue = 32767;
  bool flattopsonly = false;
  double ftvariance = 0.0;
  // The front's mixer layer; none: no input selection or level controls.
  MixerApiFactory* mixers = nullptr;
};

// The report TMixerFailure's "Create Report..." writes, in the settings file's folder.
inline constexpr const char* kMixerReportName = "soundcard_trace.txt";

struct RecordingControl {
  std::string caption;
  std::string hint;
  bool enabled = true;
};

// Peak thresholds of the meter LEDs, lowest first (16-bit magnitudes): -48, -42, -36, -30,
// -24, -21, -18, -15, -12, -9, -6, -3, -2, -1 and 0 dB.
inline constexpr std::array<int, 15> kMeterThresholds = {
    128, 256, 512, 1024, 2048, 3071, 4096, 6143, 8192, 12287, 16384, 23170, 26008, 29193, 32761};

struct ChannelMeter {
  int ledsLit = 0;  // how many LEDs from the bottom are lit, 0 … 15
  bool clipLed = false;
  int peak = 0;           // the stored peak, a 16-bit magnitude
  std::string peakLabel;  // the stored peak in dB
};

class TRecording {
 public:
  enum State : uint8_t { Idle = 0, Monitoring = 1, Recording = 2, Paused = 3, Cancelling = 4 };
  enum class Result { None, Ok, Cancel };

  static constexpr int kHungTimerMs = 2000;
  static constexpr int kTimer1Ms = 1000;

  TRecording(Context& ctx, InputDeviceFactory* devices, RecordingClock& clock,
             RecordingRequest request);
  ~TRecording();
  TRecording(const TRecording&) = delete;
  TRecording& operator=(const TRecording&) = delete;

  // Set-up, as the window's creation and first showing do it.
  void FormCreate();
  void FormShow();
  // The window goes: restores the time-display settings it switched off. Idempotent.
  void FormClose();

  // ---- Handlers ----
  void startbtnClick();  // Monitor / Record / Pause / Resume
  void stopbtnClick();
  void cancelbtnClick();  // also the window's close box
  void spaceKeyDown();    // FormKeyDown with Space
  void trackbtnClick();
  void resetClick();
  void rategroupClick(int index);  // 0: 44.1 kHz, 1: 48.0 kHz
  void minlimitChange(int minutes);
  void limitChoiceClick(bool maxLimit);  // "max (4GB)" or "minutes:"
  void Button1Click();                   // minimise while recording
  void timerdelaybtnClick();
  void timedrecbtnClick();
  void UpDown1Click(bool up);  // clock offset ±1 minute
  void UpDown2Click(bool up);  // clock offset ±1 hour
  void UpDown3Click(bool up);  // start time ±1 minute
  void UpDown4Click(bool up);  // start time ±1 hour
  void Timer1Timer();
  void rec_hung_timerTimer();

  // Takes every buffer the device has returned, then fires the timers that are due.
  void tick();

  // ---- The mixer of the recording device ----
  // Made at set-up when level controls were wanted; freed when the window closes.
  WaveInMixer* mixer() const { return mixer_.get(); }
  bool mixerValid() const;
  bool mixerHasMaster() const;
  // TMixerFailure is due: level controls were wanted and the mixer is not valid. The window
  // shows it, then calls mixerFailureClosed with its "Don't tell me about this again" box.
  bool mixerFailurePending = false;
  void mixerFailureClosed(bool notell);
  // The `input` combo: the source names and the current one.
  std::vector<std::string> inputItems;
  int inputIndex = -1;
  // The volume bars: positions are the negated mixer values, so the loudest is the lowest.
  int volumeMin = -65535, volumeMax = 0;
  int lvolume = 0, rvolume = 0, mastervolume = 0;
  bool rightShown = true;  // the right bar and "enable pan": a source of two channels
  bool masterShown = false;
  bool enablePan = false;
  void inputChange(int index);
  void lvolumeChange(int position);
  void rvolumeChange(int position);
  void mastervolumeChange(int position);
  // "Display Mixer Status" and "Display Mixer Trace": the lines of the information window.
  std::vector<std::string> SummaryMixerInfo1Click() const;
  std::vector<std::string> ShowMixerTrace1Click() const;
  // The whole report into `path`, with the message naming it; false when it was not written.
  bool FullMixerInfo1Click(const std::string& path);
  // TMixerFailure's "Create Report...": the report in the settings file's folder. The path
  // written, or empty (after the message) when it could not be.
  std::string createMixerReport();

  // ---- What the window shows ----
  State state() const { return state_; }
  bool inputRunning() const { return inputRunning_; }
  Result result() const { return result_; }
  bool closed() const { return result_ != Result::None; }

  RecordingControl startbtn, stopbtn, cancelbtn, resetbtn, trackbtn, timerdelaybtn, timedrecbtn;
  bool rategroupEnabled = true;
  bool limitgroupEnabled = true;
  bool upDownsEnabled = true;
  int rateIndex = 0;  // 0: 44.1 kHz, 1: 48.0 kHz
  bool maxLimit = true;
  int limitMinutes = 5;
  // A limit in seconds instead of the window's minutes (the batch front's --limit); 0 for none.
  int limitSecondsExact = 0;
  bool metersOff = false;
  bool counterOff = false;
  bool narrowLayout = false;
  bool expanded = false;  // the timer-delayed panel shows
  bool timer1Running = false;
  bool hungTimerRunning = false;
  int minimiseRequests = 0;
  std::string fileLabel;   // under "recording to file:"
  std::string largetimer;  // elapsed recording time, whole seconds
  std::string dtnow, dtstart;
  std::array<ChannelMeter, 2> meters;
  int totalClips = 0;
  int clipsSinceReset = 0;

  // ---- Engine figures ----
  int rate() const { return ctx_.sampleRate; }
  uint32_t framesPerBuffer() const { return framesPerBuffer_; }
  int64_t bufferCounter() const { return counter_; }
  int64_t recordedFrames() const { return recordedFrames_; }
  uint32_t bytesWritten() const { return file_.bytesWritten(); }
  uint32_t bytesCommitted() const { return file_.bytesCommitted(); }
  bool diskFull() const { return diskFull_; }
  bool autoStopped() const { return autoStopped_; }
  bool stopFlag() const { return stop_; }
  bool fileWritten() const { return fileCreated_; }
  int limitSeconds() const { return limitSeconds_; }
  uint64_t droppedBuffers() const { return device_ ? device_->droppedBuffers() : dropped_; }
  InputDevice* device() { return device_.get(); }

  // Timer-delayed recording.
  int64_t clockOffsetSeconds() const { return clockOffset_; }
  int64_t startTime() const { return startTime_; }
  bool waiting() const { return waiting_; }

 private:
  void openAndStartInput();
  void bufferReturned(size_t slot);
  void processBuffer(int64_t k, InputBuffer& b);
  void analyse(const int16_t* frames, uint32_t count);
  void endClipRun(int ch);
  void stopInput(bool wait);
  void showStopped();
  void freeBuffers();
  void resetMeters();
  void computeLimit();
  void createMixer();
  void showSourceControls();
  void readVolumes();
  std::vector<std::string> reportLines() const;

  Context& ctx_;
  InputDeviceFactory* devices_;
  RecordingClock& clock_;
  RecordingRequest req_;
  State state_ = Idle;
  Result result_ = Result::None;

  std::unique_ptr<InputDevice> device_;
  std::vector<int16_t> memory_;
  std::vector<std::unique_ptr<InputBuffer>> buffers_;
  size_t nextSlot_ = 0;
  uint32_t framesPerBuffer_ = 0;
  RecordingFile file_;
  bool fileCreated_ = false;

  bool inputRunning_ = false;
  bool stop_ = false;
  bool diskFull_ = false;
  bool autoStopped_ = false;
  int64_t counter_ = 0;
  int64_t firstRecorded_ = 0;
  int64_t pausedOffset_ = 0;
  int limitSeconds_ = 0;
  int64_t bufferLimit_ = 0;
  int64_t recordedFrames_ = 0;
  uint64_t dropped_ = 0;

  // Clip detection, per channel.
  std::array<int, 2> clipRun_{};
  std::array<bool, 2> clipLatch_{};
  std::array<int, 2> prevMagnitude_{};
  std::array<int, 2> clipMarker_{-1, -1};
  std::array<int, 2> bufferPeak_{};

  int64_t clockOffset_ = 0;
  int64_t startTime_ = 0;
  bool waiting_ = false;
  int64_t timer1Due_ = 0;
  int64_t hungDue_ = 0;

  bool savedTracksInTimes_ = false;
  bool savedTimeInFrames_ = false;
  bool settingsSaved_ = false;

  std::unique_ptr<WaveInMixer> mixer_;
};

}  // namespace tolmar
