// Recording: a long side recorded through the recording window's engine from an in-memory
// device that delivers its buffers from a thread at a multiple of real time, with the window's
// default queue (four buffers of a tenth of a second). Counts buffers lost to overruns, the peak
// RSS against the first minute's and the CPU per recorded second.
//
//   record_bench [--minutes M] [--speed S] [--rate 44100|48000] [--dir DIR]

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "audio/memory_input_device.h"
#include "bench_support.h"
#include "editor/editor.h"
#include "editor/recording.h"

namespace tolmar::bench {
namespace {

class StaircaseFactory : public InputDeviceFactory {
 public:
  double speed = 1;
  std::unique_ptr<InputDevice> create(int) override {
    auto d = std::make_unique<MemoryInputDevice>(
        std::make_unique<GeneratorSource>([](int64_t n, int16_t& l, int16_t& r) {
          l = static_cast<int16_t>(static_cast<uint16_t>(n & 0x7FFF));
          r = static_cast<int16_t>(static_cast<uint16_t>((~n) & 0x7FFF));
        }),
        MemoryInputDevice::Pacing::Thread);
    d->speed = speed;
    return d;
  }
  std::vector<InputDeviceInfo> inputDevices() override { return {{0, "staircase", true}}; }
};

// The device's clock runs `speed` times faster than the wall's; the recorder's timers (the
// hang timer, the meters) follow the device, as they would at real time.
class FastClock : public RecordingClock {
 public:
  explicit FastClock(double speed) : speed_(speed) {}
  int64_t nowMs() override {
    const auto t = std::chrono::steady_clock::now() - start_;
    return static_cast<int64_t>(std::chrono::duration<double, std::milli>(t).count() * speed_);
  }
  int64_t localSeconds() override { return 1700000000 + nowMs() / 1000; }

 private:
  double speed_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

long peakRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

int run(int argc, char** argv) {
  double minutes = 60, speed = 20;
  int rate = 48000;
  std::string dir = std::filesystem::temp_directory_path().string();
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--minutes")) minutes = std::atof(argv[i + 1]);
    if (!std::strcmp(argv[i], "--speed")) speed = std::atof(argv[i + 1]);
    if (!std::strcmp(argv[i], "--rate")) rate = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--dir")) dir = argv[i + 1];
  }
  const std::string path = dir + "/record_bench.wav";
  SilentHost host;
  Editor editor(host);
  Context& ctx = editor.ctx;
  ctx.sampleRate = rate;
  StaircaseFactory devices;
  devices.speed = speed;
  FastClock clock(speed);
  MarkerList markers;
  std::vector<Cue> cues;
  RecordingRequest req;
  req.fileName = path;
  req.markers = &markers;
  req.cues = &cues;
  req.showLevelControls = false;
  ctx.recording = true;
  TRecording rec(ctx, &devices, clock, req);
  rec.startbtnClick();
  rec.startbtnClick();
  if (rec.state() != TRecording::Recording) {
    std::fprintf(stderr, "the recording did not start\n");
    return 1;
  }
  const int64_t target = static_cast<int64_t>(minutes * 60 * rate);
  const int64_t firstMinute = static_cast<int64_t>(60) * rate;
  long rssAfterFirstMinute = 0;
  double cpuAtFirstMinute = 0;
  const auto wallStart = std::chrono::steady_clock::now();
  // As tolmar-batch ticks: every 10 ms of wall time, which is `speed` times less often per
  // recorded second than at real time.
  double longestTickMs = 0;
  while (rec.recordedFrames() < target) {
    const auto t0 = std::chrono::steady_clock::now();
    rec.tick();
    longestTickMs = std::max(
        longestTickMs,
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    if (rssAfterFirstMinute == 0 && rec.recordedFrames() >= firstMinute) {
      rssAfterFirstMinute = peakRssKb();
      cpuAtFirstMinute = cpuSeconds();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  rec.stopbtnClick();
  while (rec.inputRunning()) {
    rec.tick();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  const double recorded = static_cast<double>(rec.recordedFrames()) / rate;
  const long rssEnd = peakRssKb();
  const double cpu = cpuSeconds() - cpuAtFirstMinute;
  const uint64_t dropped = rec.droppedBuffers();
  const uint64_t buffers = static_cast<uint64_t>(rec.recordedFrames()) / (rate / 10);
  rec.FormClose();
  ctx.recording = false;
  std::filesystem::remove(path);
  std::filesystem::remove(std::filesystem::path(path).replace_extension(".mkr"));
  double load[1] = {0};
  getloadavg(load, 1);
  std::printf("recorded %.1f s at %d Hz in %.1f s wall (device at %.0f x real time), load %.1f\n",
              recorded, rate, wall, speed, load[0]);
  std::printf("buffers lost to overruns: %llu of %llu\n", static_cast<unsigned long long>(dropped),
              static_cast<unsigned long long>(buffers));
  std::printf("longest tick: %.1f ms of wall time (the queue holds %.0f ms at this speed)\n",
              longestTickMs, 4 * 100 / speed);
  std::printf("peak RSS: %ld KB after the first minute, %ld KB at the end (%.3f x)\n",
              rssAfterFirstMinute, rssEnd,
              rssAfterFirstMinute > 0 ? double(rssEnd) / rssAfterFirstMinute : 0.0);
  if (recorded > 60)
    std::printf(
        "CPU after the first minute: %.2f ms per recorded second (%.2f %% of a core at "
        "real time)\n",
        1000 * cpu / (recorded - 60), 100 * cpu / (recorded - 60));
  return dropped == 0 ? 0 : 2;
}

}  // namespace
}  // namespace tolmar::bench

int main(int argc, char** argv) {
  return tolmar::bench::run(argc, argv);
}
