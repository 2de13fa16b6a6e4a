// Benchmarks of the block effects and the read-only analyses over an hour-long file.
//
// Each iteration opens the file in a fresh editor (the peak cache makes that cheap after the
// first run), times one raw read of the file, then times the command as the menu runs it over
// the whole file: With Undo for the effects, with the big-edit store in use (bigeditsinmemory
// off), so that the records spill to disk and memory stays bounded. Reported:
//   x_realtime   seconds of audio per second of wall time (the effects' figure)
//   x_raw_read   the command's time over one raw read (the analyses' figure)
//   *_cpu        the same from this thread's CPU time, which a busy machine disturbs less
//   rss_growth_MiB  resident memory added by the command (With Undo: the records' bookkeeping)
//
// The file: TOLMAR_BENCH_WAV names one (bench/run.sh passes its demo recording); otherwise an
// hour of generated 16-bit stereo 44100 Hz audio is written once to TOLMAR_BENCH_DIR (default:
// the system temp directory) and reused.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_support.h"
#include "document/wav_format.h"
#include "editor/editor.h"
#include "editor/host.h"

namespace {

using tolmar::bench::median;
using tolmar::bench::threadCpuSeconds;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 44100;
constexpr int64_t kHourFrames = int64_t{3600} * kRate;

// Keeps the last message, which the benchmark reports when a command refuses to run.
class SilentHost : public tolmar::bench::SilentHost {
 public:
  void message(tolmar::MsgKind, const std::string& text) override { last = text; }
  std::string last;
};

double secondsSince(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Resident set size of this process, in KiB.
long rssKiB() {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return 0;
}

// An hour of two tones with a little noise and an occasional full-scale run, so that the
// clipping search has something to find. Written in one-second blocks.
void generateHour(const std::string& path) {
  const std::string tmp = path + ".part";
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot create " + tmp);
  const auto header = tolmar::makeWavHeader(static_cast<uint32_t>(kHourFrames * 4), kRate);
  bool ok = std::fwrite(header.data(), 1, header.size(), f) == header.size();
  std::vector<uint8_t> block(static_cast<size_t>(kRate) * 4);
  uint32_t noise = 12345;
  for (int64_t first = 0; ok && first < kHourFrames; first += kRate) {
    for (int i = 0; i < kRate; ++i) {
      const double t = static_cast<double>(first + i) / kRate;
      noise = noise * 1664525u + 1013904223u;
      const int n = static_cast<int>(noise >> 26) - 32;
      double s = 6000 * std::sin(2 * std::numbers::pi * 110 * t) +
                 3000 * std::sin(2 * std::numbers::pi * 1650 * t);
      if (i < 6 && (first / kRate) % 10 == 0) s = 32767;
      const auto l = static_cast<int16_t>(std::clamp(s + n, -32768.0, 32767.0));
      const auto r = static_cast<int16_t>(-s / 2 + n);
      tolmar::storeU16(&block[4 * i], static_cast<uint16_t>(l));
      tolmar::storeU16(&block[4 * i + 2], static_cast<uint16_t>(r));
    }
    ok = std::fwrite(block.data(), 1, block.size(), f) == block.size();
  }
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) {
    std::remove(tmp.c_str());
    throw std::runtime_error("writing " + tmp + " failed");
  }
  fs::rename(tmp, path);
}

const std::string& benchWav() {
  static const std::string path = [] {
    if (const char* given = std::getenv("TOLMAR_BENCH_WAV"); given && *given)
      return std::string(given);
    const char* dirEnv = std::getenv("TOLMAR_BENCH_DIR");
    const fs::path dir =
        dirEnv && *dirEnv ? fs::path(dirEnv) : fs::temp_directory_path() / "tolmar-bench";
    fs::create_directories(dir);
    const std::string p = (dir / "effects_hour.wav").string();
    std::error_code ec;
    const auto expected = static_cast<uintmax_t>(tolmar::kWavHeaderBytes + kHourFrames * 4);
    if (fs::file_size(p, ec) != expected || ec) generateHour(p);
    return p;
  }();
  return path;
}

struct Took {
  double wall;
  double cpu;
};

// One pass over the file with read() in 128 KiB blocks, as cat does.
Took timedRawRead(const std::string& path) {
  const auto t0 = Clock::now();
  const double c0 = threadCpuSeconds();
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return {0, 0};
  static std::vector<char> buf(128 * 1024);
  int64_t total = 0;
  for (;;) {
    const ssize_t n = ::read(fd, buf.data(), buf.size());
    if (n <= 0) break;
    total += n;
  }
  ::close(fd);
  benchmark::DoNotOptimize(total);
  return {secondsSince(t0), threadCpuSeconds() - c0};
}

enum Command { kAmplify, kEqualise, kFilter, kChannelMix, kStatistics, kFindClipping };

void setUp(tolmar::Settings& s) {
  s.bigeditsinmemory = false;  // records of long edits spill to the big-edit store
  s.amplifyfactorl = 3;
  s.amplifyfactorr = -3;
  s.compressthresh = 6;
  s.compressfactor = 2;
  s.eqpassprompt = 1;
  const double db[10] = {0, 4, 5.5, 4.5, 3, 0, -2, 0, 1, 0};
  for (int b = 0; b < 10; ++b) {
    s.equalise.dbgain[static_cast<size_t>(b)] = db[b];
    s.equalise.gain[static_cast<size_t>(b)] = std::pow(1.1225, db[b]);
  }
  s.filter.type = {1, 3, 3};  // rumble and 50 + 100 Hz hum
  s.filter.freq = {35, 50, 100};
  s.filter.q = {1.0, 1.0, 1.0};
  s.mixer.leftright = 25;
  s.mixer.rightleft = 25;
  s.mixer.leftleft = s.mixer.rightright = 75;
}

void run(tolmar::Editor& e, Command c) {
  switch (c) {
    case kAmplify:
      e.Compress1Click();
      break;
    case kEqualise:
      e.EqualiseWithUndo1Click();
      break;
    case kFilter:
      e.FilterWithUndo1Click();
      break;
    case kChannelMix:
      e.ChannelMixWithUndo1Click();
      break;
    case kStatistics:
      e.SelectionStatistics1Click();
      break;
    case kFindClipping:
      e.FindClippinginSelection1Click();
      break;
  }
}

void BM_Command(benchmark::State& state) {
  const auto command = static_cast<Command>(state.range(0));
  const std::string& wav = benchWav();
  timedRawRead(wav);  // warm the page cache
  std::vector<double> vsRaw, vsRawCpu;
  double audioSeconds = 0, commandSeconds = 0, commandCpu = 0;
  long rssGrowth = 0;
  size_t records = 0, spilled = 0;
  for (auto _ : state) {
    SilentHost host;
    tolmar::Editor e(host);
    setUp(e.ctx.settings);
    if (!e.OpenDocument(wav) || !e.doc->hasSelection()) {
      state.SkipWithError("the bench file did not open");
      break;
    }
    const Took raw = timedRawRead(wav);
    const long rss0 = rssKiB();
    const auto t0 = Clock::now();
    const double c0 = threadCpuSeconds();
    run(e, command);
    const double took = secondsSince(t0);
    const double cpu = threadCpuSeconds() - c0;
    state.SetIterationTime(took);
    rssGrowth = std::max(rssGrowth, rssKiB() - rss0);
    vsRaw.push_back(took / raw.wall);
    vsRawCpu.push_back(cpu / raw.cpu);
    commandCpu += cpu;
    audioSeconds += static_cast<double>(e.doc->frameCount) / kRate;
    commandSeconds += took;
    records = e.doc->interps.size();
    spilled = static_cast<size_t>(std::count_if(e.doc->interps.begin(), e.doc->interps.end(),
                                                [](const auto& r) { return r->spilled; }));
    if (command <= kChannelMix && records == 0) {
      state.SkipWithError("the effect stored nothing");
      break;
    }
  }
  state.counters["x_realtime"] = commandSeconds > 0 ? audioSeconds / commandSeconds : 0;
  state.counters["x_realtime_cpu"] = commandCpu > 0 ? audioSeconds / commandCpu : 0;
  state.counters["x_raw_read"] = median(vsRaw);
  state.counters["x_raw_read_cpu"] = median(vsRawCpu);
  state.counters["rss_growth_MiB"] = static_cast<double>(rssGrowth) / 1024;
  state.counters["records"] = static_cast<double>(records);
  state.counters["spilled"] = static_cast<double>(spilled);
}

BENCHMARK(BM_Command)
    ->ArgName("cmd")
    ->DenseRange(kAmplify, kFindClipping)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
