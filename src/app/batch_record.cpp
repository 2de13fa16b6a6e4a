#include "app/batch_record.h"

#include <chrono>
#include <filesystem>
#include <ostream>
#include <thread>
#include <vector>

#include "audio/memory_input_device.h"
#include "document/binary_file.h"
#include "document/replacing_file.h"
#include "document/time_text.h"
#include "editor/editor.h"
#include "editor/recording.h"

namespace tolmar {

namespace {

constexpr int kMaxDataFrames = 0x3FFFFFFF;
// How often the loop looks for returned buffers: well inside one buffer of the shortest kind.
constexpr auto kTickInterval = std::chrono::milliseconds(10);
constexpr int64_t kMeterIntervalMs = 100;

std::string channelMeter(const ChannelMeter& m) {
  std::string leds(kMeterThresholds.size(), '-');
  for (int i = 0; i < m.ledsLit && i < static_cast<int>(leds.size()); ++i)
    leds[static_cast<size_t>(i)] = '#';
  return "[" + leds + "] " + (m.clipLed ? "CLIP" : "    ") + " " + m.peakLabel + " dB";
}

std::string elapsed(const TRecording& rec) {
  const std::string t = formatTime(rec.recordedFrames(), rec.rate(), false, false, {});
  // Whole seconds, as the window's counter shows them.
  return t.size() > 4 ? t.substr(0, t.size() - 4) : t;
}

// The meter line and the messages share one terminal: a message (the disk-full stop, a
// device failure) must start on a line of its own, not after the meters.
class MeterLineHost final : public Host {
 public:
  MeterLineHost(Host& inner, std::ostream& out) : inner_(inner), out_(out) {}

  void show(const std::string& line) {
    out_ << "\r" << line << "\x1b[K" << std::flush;
    shown_ = true;
  }
  void clear() {
    if (shown_) out_ << "\r\x1b[K" << std::flush;
    shown_ = false;
  }

  void message(MsgKind kind, const std::string& text) override {
    clear();
    inner_.message(kind, text);
  }
  Answer ask(MsgKind kind, Buttons buttons, const std::string& text) override {
    clear();
    return inner_.ask(kind, buttons, text);
  }
  void progressBegin(const std::string& caption) override { inner_.progressBegin(caption); }
  void progressSet(int percent) override { inner_.progressSet(percent); }
  void progressEnd() override { inner_.progressEnd(); }
  void pump() override { inner_.pump(); }
  std::optional<std::string> openFileDialog(const FileDialogSpec& spec) override {
    return inner_.openFileDialog(spec);
  }
  std::optional<std::string> saveFileDialog(const FileDialogSpec& spec) override {
    return inner_.saveFileDialog(spec);
  }
  bool runDialog(DialogRequest& request) override { return inner_.runDialog(request); }

 private:
  Host& inner_;
  std::ostream& out_;
  bool shown_ = false;
};

}  // namespace

std::optional<int> parseRecordLimit(const std::string& text) {
  // The parser counts frames at one of the two rates; either gives the same seconds.
  const auto frames = parseTime(text, 48000, false, {});
  if (!frames || *frames < 48000) return std::nullopt;
  return *frames / 48000;
}

int maxRecordSeconds(int rate) {
  return kMaxDataFrames / rate;
}

std::string meterLine(const TRecording& rec) {
  std::string line = elapsed(rec);
  if (!rec.metersOff)
    line += "  L " + channelMeter(rec.meters[0]) + "  R " + channelMeter(rec.meters[1]);
  line += "  clips " + std::to_string(rec.totalClips);
  return line;
}

std::string WavInputFactory::open(const std::string& path) {
  WavFileSource probe;
  const std::string why = probe.open(path);
  if (!why.empty()) return why;
  path_ = path;
  rate_ = probe.rate();
  return {};
}

std::unique_ptr<InputDevice> WavInputFactory::create(int) {
  auto source = std::make_unique<WavFileSource>();
  source->open(path_);
  return std::make_unique<MemoryInputDevice>(std::move(source), MemoryInputDevice::Pacing::Thread);
}

std::vector<InputDeviceInfo> WavInputFactory::inputDevices() {
  if (path_.empty()) return {};
  return {{0, path_, rate_ == 44100}};
}

int runRecord(Editor& editor, InputDeviceFactory& devices, const RecordOptions& o,
              std::ostream& out, bool terminal, const volatile std::sig_atomic_t& stopRequested) {
  Context& ctx = editor.ctx;
  const Settings& s = ctx.settings;
  ctx.sampleRate = o.rate != 0 ? o.rate : (s.recordrate == 1 ? 48000 : 44100);

  MarkerList markers;
  std::vector<Cue> cues;
  RecordingRequest req;
  req.fileName = o.out;
  req.markers = &markers;
  req.cues = &cues;
  req.showLevelControls = false;
  req.metersOff = s.metersoff;
  req.clippingsamples = s.clippingsamples;
  req.clippingvalue = s.clippingvalue;
  req.flattopsonly = s.flattopsonly;
  req.ftvariance = s.ftvariance;

  Host& host = ctx.host();
  MeterLineHost meterHost(host, out);
  ctx.setHost(meterHost);
  struct RestoreHost {
    Context& ctx;
    Host& host;
    ~RestoreHost() { ctx.setHost(host); }
  } restore{ctx, host};

  SystemRecordingClock clock;
  ctx.recording = true;
  TRecording rec(ctx, &devices, clock, req);
  rec.limitSecondsExact = o.limitSeconds;
  rec.startbtnClick();  // Monitor: opens the input
  if (!rec.inputRunning()) {
    ctx.recording = false;
    return 1;
  }
  rec.startbtnClick();  // Record: creates the file
  if (rec.state() != TRecording::Recording) {
    rec.cancelbtnClick();
    ctx.recording = false;
    return 1;
  }

  bool stopping = false;
  int64_t stoppedAt = 0;
  int64_t nextMeter = 0;
  while (rec.inputRunning()) {
    rec.tick();
    const int64_t now = clock.nowMs();
    if (stopRequested != 0 && !stopping && rec.inputRunning()) {
      // Stop keeps what the device still holds; only a device that never answers loses it.
      rec.stopbtnClick();
      stopping = true;
      stoppedAt = now;
    }
    if (stopping && rec.inputRunning() && now - stoppedAt >= TRecording::kHungTimerMs)
      rec.rec_hung_timerTimer();
    if (terminal && now >= nextMeter && rec.inputRunning()) {
      meterHost.show(meterLine(rec));
      nextMeter = now + kMeterIntervalMs;
    }
    if (rec.inputRunning()) std::this_thread::sleep_for(kTickInterval);
  }
  meterHost.clear();
  ctx.recording = false;

  const bool written = rec.fileWritten() && fileExists(o.out);
  const bool whole = written && !rec.diskFull();
  const uint32_t frames = rec.bytesWritten() / 4;
  const uint64_t dropped = rec.droppedBuffers();
  rec.FormClose();

  std::string markerFile;
  if (written) {
    markerFile = std::filesystem::path(o.out).replace_extension(".mkr").string();
    ReplacingFile f(markerFile);
    bool ok = false;
    try {
      f.openOrThrow();
      ok = markers.Write(f.file()) && f.commit();
    } catch (const FileError& err) {
      ctx.error(err.what());
    }
    if (!ok) {
      ctx.error("Failed to write file " + markerFile);
      markerFile.clear();
    }
  }

  if (!written) {
    out << "Nothing recorded\n";
    return 1;
  }
  out << "Recorded " << formatTime(frames, ctx.sampleRate, false, false, {}) << " (" << frames
      << " frames at " << ctx.sampleRate << " Hz) to " << o.out;
  if (!markerFile.empty())
    out << "; " << markers.size() << (markers.size() == 1 ? " clip marker" : " clip markers")
        << " in " << markerFile;
  if (dropped > 0) out << "; " << dropped << " buffers lost to input overruns";
  out << "\n" << std::flush;
  return whole && !markerFile.empty() ? 0 : 1;
}

}  // namespace tolmar
