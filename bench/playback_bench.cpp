// Playback: the time from a play command to the first buffer handed to the device, for a
// selection in an hour-long file with 10,000 edit records (in-memory device and, when built,
// PortAudio); late buffers of a device paced at 44.1 kHz while the Decrackle (N = 16384) and
// equaliser previews play; the CPU each costs per second of playback.
//
//   playback_bench [--seconds S] [--repeats R]
// The hour file is TOLMAR_BENCH_WAV (or generated, see bench_support.h). PortAudio plays on
// the system's default output; point ALSA_CONFIG_PATH at a file-plugin configuration to run
// it without a sound card.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "audio/memory_output.h"
#include "bench_support.h"
#include "editor/editor.h"
#ifdef TOLMAR_HAVE_PORTAUDIO
#include "audio/portaudio/portaudio_output.h"
#endif

namespace tolmar::bench {
namespace {

using Clock = std::chrono::steady_clock;

class BenchHost : public SilentHost {
 public:
  bool drives = false;
  bool drivesPlayback() const override { return drives; }
};

// When the engine first handed a buffer to the device.
struct FirstWrite {
  bool seen = false;
  Clock::time_point at{};
};

class TimedDevice : public OutputDevice {
 public:
  TimedDevice(std::unique_ptr<OutputDevice> inner, FirstWrite& first)
      : inner_(std::move(inner)), first_(first) {}
  DeviceStatus open(int no, const WaveFormat& f, int buffers) override {
    return inner_->open(no, f, buffers);
  }
  DeviceStatus prepare(int slot, const int16_t* data, uint32_t bytes) override {
    return inner_->prepare(slot, data, bytes);
  }
  DeviceStatus unprepare(int slot) override { return inner_->unprepare(slot); }
  DeviceStatus write(int slot) override {
    const DeviceStatus st = inner_->write(slot);
    if (!first_.seen) {
      first_.at = Clock::now();
      first_.seen = true;
    }
    return st;
  }
  bool done(int slot) const override { return inner_->done(slot); }
  DeviceStatus pause() override { return inner_->pause(); }
  DeviceStatus restart() override { return inner_->restart(); }
  DeviceStatus reset() override { return inner_->reset(); }
  DeviceStatus close() override { return inner_->close(); }
  double latencySeconds() const override { return inner_->latencySeconds(); }

 private:
  std::unique_ptr<OutputDevice> inner_;
  FirstWrite& first_;
};

class TimedBackend : public OutputBackend {
 public:
  TimedBackend(std::unique_ptr<OutputBackend> inner, FirstWrite& first)
      : inner_(std::move(inner)), first_(first) {}
  std::vector<OutputDeviceInfo> outputDevices() override { return inner_->outputDevices(); }
  std::unique_ptr<OutputDevice> createOutput() override {
    return std::make_unique<TimedDevice>(inner_->createOutput(), first_);
  }

 private:
  std::unique_ptr<OutputBackend> inner_;
  FirstWrite& first_;
};

// Short sample-block records spread evenly over the file, alternating channels.
void addRecords(WaveFile& doc, int count) {
  std::mt19937 rng(17);
  const int32_t spacing = doc.frameCount / count;
  for (int i = 0; i < count; ++i) {
    const int32_t start = i * spacing + static_cast<int32_t>(rng() % (spacing / 2));
    const int32_t end = start + 1 + static_cast<int32_t>(rng() % 64);
    auto rec = std::make_unique<Interpolation>();
    doc.BeginBlock(*rec, start, end, i % 2);
    for (int32_t f = start; f <= end; ++f)
      doc.PutSample(*rec, f, static_cast<int16_t>(static_cast<int32_t>(rng() % 30000) - 15000));
    doc.FinishBlock(*rec);
    doc.AddEdit(std::move(rec), i % 2);
  }
  doc.CommitEdit(count, "Bench");
}

struct Stats {
  double median = 0, min = 0, max = 0;
};
Stats stats(std::vector<double> v) {
  Stats s;
  s.median = median(v);
  s.min = *std::min_element(v.begin(), v.end());
  s.max = *std::max_element(v.begin(), v.end());
  return s;
}

// Milliseconds from PlaySelectionBtnClick to the first write, `repeats` times.
std::vector<double> firstBuffer(Editor& ed, BenchHost& host, FirstWrite& first, int repeats,
                                double* latency) {
  std::vector<double> ms;
  host.drives = true;  // the command returns once the buffers are primed
  for (int i = 0; i < repeats; ++i) {
    first = FirstWrite{};
    const Clock::time_point t0 = Clock::now();
    ed.PlaySelectionBtnClick();
    if (!ed.ctx.playing || !first.seen) {
      std::fprintf(stderr, "playback did not start\n");
      std::exit(1);
    }
    ms.push_back(std::chrono::duration<double, std::milli>(first.at - t0).count());
    if (latency) *latency = ed.playback().deviceLatency();
    ed.StopPlayBtnClick();
    while (ed.pollPlayback()) {
    }
  }
  host.drives = false;
  return ms;
}

void benchFirstBuffer(int repeats) {
  BenchHost host;
  Editor ed(host);
  ed.ctx.settings.newstylewaveform = false;
  FirstWrite first;
  ed.setOutputBackend(
      std::make_unique<TimedBackend>(std::make_unique<MemoryOutputBackend>(false), first));
  if (!ed.OpenDocument(benchWav())) {
    std::fprintf(stderr, "cannot open %s\n", benchWav().c_str());
    std::exit(1);
  }
  addRecords(*ed.doc, 10000);
  // 30:00 to 30:10.
  ed.doc->selStart = 1800 * 44100;
  ed.doc->selEnd = 1810 * 44100;
  std::printf("== first buffer: %s, %d frames, %zu records, selection %d..%d\n", benchWav().c_str(),
              ed.doc->frameCount, ed.doc->interps.size(), ed.doc->selStart, ed.doc->selEnd);
  const Stats mem = stats(firstBuffer(ed, host, first, repeats, nullptr));
  std::printf("in-memory device: median %.2f ms (min %.2f, max %.2f) over %d plays\n", mem.median,
              mem.min, mem.max, repeats);
#ifdef TOLMAR_HAVE_PORTAUDIO
  ed.setOutputBackend(std::make_unique<TimedBackend>(std::make_unique<PortAudioBackend>(), first));
  if (!ed.playDeviceFound) {
    std::printf("PortAudio: no output device found\n");
    return;
  }
  double latency = 0;
  const Stats pa = stats(firstBuffer(ed, host, first, repeats, &latency));
  std::printf(
      "PortAudio (default output): median %.2f ms (min %.2f, max %.2f); reported output latency "
      "%.1f ms\n",
      pa.median, pa.min, pa.max, latency * 1000);
#else
  std::printf("PortAudio: not built\n");
#endif
}

enum class Preview { None, Decrackle, DecrackleStrongest, Equalise };

void benchPaced(const std::string& excerpt, Preview which, int seconds) {
  BenchHost host;
  Editor ed(host);
  ed.ctx.settings.newstylewaveform = false;
  auto backend = std::make_unique<MemoryOutputBackend>(true);
  const std::shared_ptr<MemoryOutputLog> log = backend->log;
  ed.setOutputBackend(std::move(backend));
  if (!ed.OpenDocument(excerpt)) std::exit(1);
  const char* name = "plain playback";
  if (which == Preview::Decrackle || which == Preview::DecrackleStrongest) {
    name = "Decrackle preview, N = 16384";
    if (which == Preview::DecrackleStrongest) {
      // The noise reduction inside at the strongest sensitivity the dialog allows.
      name = "Decrackle preview, N = 16384, crackle factor 10";
      ed.ctx.settings.crackleFactor = 10;
    }
    ed.spectral.SetFFTSize(16384);
    ed.ctx.silentMode = true;
    ed.doc->selStart = 0;
    ed.doc->selEnd = 3 * 16384;
    ed.GetFingerprint1Click();
    ed.ctx.silentMode = false;
    if (!ed.fingerprint.present) {
      std::fprintf(stderr, "no fingerprint\n");
      std::exit(1);
    }
  } else if (which == Preview::Equalise) {
    name = "Equaliser preview";
    const double db[10] = {6, 4, 2, 0, -2, -3, 0, 2, 4, 6};
    for (int i = 0; i < 10; ++i) {
      ed.ctx.settings.equalise.dbgain[static_cast<size_t>(i)] = db[i];
      ed.ctx.settings.equalise.gain[static_cast<size_t>(i)] = std::pow(1.1225, db[i]);
    }
    ed.ctx.settings.equalise.overallgain = 0.5;
  }
  ed.doc->selStart = 5 * 44100;
  ed.doc->selEnd = (5 + seconds) * 44100 - 1;
  // One pass: a batch run's preview plays its selection once.
  ed.ctx.batchRunning = true;
  const Took took = timed([&] {
    if (which == Preview::Decrackle || which == Preview::DecrackleStrongest)
      ed.DecracklePreview1Click();
    else if (which == Preview::Equalise)
      ed.EqualisePreview1Click();
    else
      ed.PlaySelectionBtnClick();
  });
  const std::vector<int16_t> heard = log->played();
  const double audio = static_cast<double>(heard.size()) / 2 / 44100;
  // What the preview did: samples that differ from the file's.
  std::vector<int16_t> file(heard.size());
  ed.doc->ReadFrames(true, file.data(), ed.doc->selStart,
                     ed.doc->selStart + static_cast<int32_t>(heard.size() / 2) - 1);
  size_t changed = 0;
  for (size_t i = 0; i < heard.size(); ++i) changed += heard[i] != file[i];
  std::printf(
      "%s: %zu buffers of %zu frames, %d late; %.1f s of audio in %.1f s wall; CPU %.2f s = "
      "%.1f %% of one core; %.1f %% of the samples differ from the file's\n",
      name, log->buffers.size(),
      log->buffers.empty() ? size_t{0} : log->buffers[0].samples.size() / 2, log->lateBuffers,
      audio, took.wall, took.cpu, 100.0 * took.cpu / audio,
      heard.empty() ? 0.0
                    : 100.0 * static_cast<double>(changed) / static_cast<double>(heard.size()));
}

}  // namespace
}  // namespace tolmar::bench

int main(int argc, char** argv) {
  int seconds = 60, repeats = 21;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--repeats") == 0) repeats = std::atoi(argv[i + 1]);
  }
  using namespace tolmar::bench;
  std::printf("== machine: nproc %d; load average: ",
              static_cast<int>(std::thread::hardware_concurrency()));
  std::system("cut -d' ' -f1-3 /proc/loadavg");
  std::fflush(stdout);
  benchFirstBuffer(repeats);
  const std::string excerpt =
      (std::filesystem::temp_directory_path() / "tolmar-playback-bench.wav").string();
  writeExcerpt(excerpt, seconds + 10);
  std::printf("== paced in-memory device at 44.1 kHz, %d s selection, 4 buffers\n", seconds);
  benchPaced(excerpt, Preview::None, seconds);
  benchPaced(excerpt, Preview::Decrackle, seconds);
  benchPaced(excerpt, Preview::DecrackleStrongest, seconds);
  benchPaced(excerpt, Preview::Equalise, seconds);
  std::filesystem::remove(excerpt);
  return 0;
}
