// Benchmarks of the spectral engine and of noise reduction.
//
// BM_ComplexFFT and BM_ReduceNoiseBlock time the kernels on one block. BM_ReduceNoiseFile runs
// the editor's own Reduce Noise (Direct Overwrite) command, N = 4096, windowed (the defaults),
// over a whole file with a fingerprint taken from its first two seconds, and reports
// "x_realtime": seconds of audio per second of wall time. BM_ReduceNoiseWithUndo does the same
// With Undo over the first ten minutes (the records are held in memory) and undoes it.
//
// The file: TOLMAR_BENCH_WAV names the source (bench/noise_compare.sh passes the hour-long demo
// recording); it is copied once to TOLMAR_BENCH_DIR (default: the system temp directory) and
// only the copy is overwritten. Without it, an hour of generated music-like audio is written.

#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_support.h"
#include "document/wav_format.h"
#include "dsp/fft.h"
#include "dsp/noise_reduction.h"
#include "editor/editor.h"

namespace {

using tolmar::bench::threadCpuSeconds;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 44100;
constexpr int64_t kHourFrames = int64_t{3600} * kRate;

// Shows messages, so that a refused command is visible in the benchmark's output.
class SilentHost : public tolmar::bench::SilentHost {
 public:
  void message(tolmar::MsgKind, const std::string& text) override {
    std::fprintf(stderr, "message: %s\n", text.c_str());
  }
};

// Music-like frames: a few decaying partials over hiss; deterministic.
std::vector<int16_t> musicFrames(int64_t first, int count) {
  std::vector<int16_t> out(static_cast<size_t>(count) * 2);
  uint32_t noise = static_cast<uint32_t>(first * 2654435761u + 1);
  for (int i = 0; i < count; ++i) {
    const double t = static_cast<double>(first + i) / kRate;
    const double env = 0.3 + 0.7 * std::exp(-std::fmod(t, 1.7));
    double s = 0;
    for (int p = 1; p <= 4; ++p) s += 5000.0 / p * std::sin(2 * std::numbers::pi * 196 * p * t);
    noise = noise * 1664525u + 1013904223u;
    const int n = static_cast<int>(noise >> 25) - 64;
    out[2 * static_cast<size_t>(i)] = static_cast<int16_t>(s * env + n);
    out[2 * static_cast<size_t>(i) + 1] = static_cast<int16_t>(-s * env + n);
  }
  return out;
}

void generateHour(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot create " + path);
  const auto header = tolmar::makeWavHeader(static_cast<uint32_t>(kHourFrames * 4), kRate);
  bool ok = std::fwrite(header.data(), 1, header.size(), f) == header.size();
  for (int64_t first = 0; ok && first < kHourFrames; first += kRate) {
    const std::vector<int16_t> block = musicFrames(first, kRate);
    ok = std::fwrite(block.data(), 2, block.size(), f) == block.size();
  }
  if (std::fclose(f) != 0 || !ok) throw std::runtime_error("writing " + path + " failed");
}

// The copy this process may overwrite.
const std::string& scratchWav() {
  static const std::string path = [] {
    const char* dirEnv = std::getenv("TOLMAR_BENCH_DIR");
    const fs::path dir =
        dirEnv && *dirEnv ? fs::path(dirEnv) : fs::temp_directory_path() / "tolmar-bench";
    fs::create_directories(dir);
    const std::string p = (dir / "spectral_scratch.wav").string();
    if (const char* given = std::getenv("TOLMAR_BENCH_WAV"); given && *given)
      fs::copy_file(given, p, fs::copy_options::overwrite_existing);
    else
      generateHour(p);
    return p;
  }();
  return path;
}

void BM_ComplexFFT(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  tolmar::SpectralEngine engine;
  engine.SetFFTSize(n);
  std::vector<tolmar::Complex> x(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) x[static_cast<size_t>(k)] = {std::sin(k * 0.1), std::cos(k * 0.3)};
  for (auto _ : state) {
    engine.ComplexFFT(x.data(), -1);
    engine.ComplexFFT(x.data(), 1);
    benchmark::DoNotOptimize(x.data());
  }
  state.SetItemsProcessed(state.iterations() * 2);
}

// Reduce Noise calls the block core twice per N frames when windowed (three blocks, one of
// them the previous block's), so x_realtime_windowed is the kernel's own ceiling.
void BM_ReduceNoiseBlock(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  tolmar::SpectralEngine engine;
  engine.SetFFTSize(n);
  tolmar::NoiseFingerprint fp;
  std::vector<double> flat(static_cast<size_t>(n), 2.0);
  fp.set(n, flat.data(), flat.data());
  const std::vector<int16_t> music = musicFrames(0, n);
  std::vector<int16_t> buf(music.size());
  for (auto _ : state) {
    buf = music;
    tolmar::ReduceNoiseBlock(engine, fp, buf.data(), n, false, true, 3.0);
    benchmark::DoNotOptimize(buf.data());
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["x_realtime_windowed"] = benchmark::Counter(
      static_cast<double>(n) / kRate / 2, benchmark::Counter::kIsIterationInvariantRate);
}

struct Session {
  SilentHost host;
  tolmar::Editor editor{host};

  Session() {
    editor.ctx.settings.newstylewaveform = false;
    editor.ctx.silentMode = true;
    editor.ctx.batchRunning = true;
    if (!editor.OpenDocument(scratchWav())) throw std::runtime_error("the bench file did not open");
    tolmar::WaveFile& doc = *editor.doc;
    doc.selStart = 0;
    doc.selEnd = 2 * kRate - 1;
    editor.GetFingerprint1Click();
    if (!editor.fingerprint.present) throw std::runtime_error("no fingerprint");
  }
};

void BM_ReduceNoiseFile(benchmark::State& state) {
  Session s;
  tolmar::WaveFile& doc = *s.editor.doc;
  double audio = 0, wall = 0, cpu = 0;
  for (auto _ : state) {
    doc.selStart = 0;
    doc.selEnd = doc.lastFrame;
    const auto t0 = Clock::now();
    const double c0 = threadCpuSeconds();
    s.editor.ReduceNoise1Click();
    const double w = std::chrono::duration<double>(Clock::now() - t0).count();
    state.SetIterationTime(w);
    wall += w;
    cpu += threadCpuSeconds() - c0;
    audio += static_cast<double>(doc.frameCount) / kRate;
  }
  state.counters["audio_s"] = static_cast<double>(doc.frameCount) / kRate;
  state.counters["x_realtime"] = wall > 0 ? audio / wall : 0;
  state.counters["x_realtime_cpu"] = cpu > 0 ? audio / cpu : 0;
}

void BM_ReduceNoiseWithUndo(benchmark::State& state) {
  Session s;
  tolmar::WaveFile& doc = *s.editor.doc;
  const int32_t last = std::min<int32_t>(doc.lastFrame, 600 * kRate - 1);
  double audio = 0, wall = 0;
  for (auto _ : state) {
    doc.selStart = 0;
    doc.selEnd = last;
    const auto t0 = Clock::now();
    s.editor.RemoveNoise1Click();
    const double w = std::chrono::duration<double>(Clock::now() - t0).count();
    state.SetIterationTime(w);
    wall += w;
    audio += static_cast<double>(last + 1) / kRate;
    state.PauseTiming();
    doc.Undo();
    doc.DiscardRedoData();
    state.ResumeTiming();
  }
  state.counters["x_realtime"] = wall > 0 ? audio / wall : 0;
}

BENCHMARK(BM_ComplexFFT)->Arg(128)->Arg(4096)->Arg(16384);
BENCHMARK(BM_ReduceNoiseBlock)->Arg(2048)->Arg(4096)->Arg(16384);
BENCHMARK(BM_ReduceNoiseFile)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(3);
BENCHMARK(BM_ReduceNoiseWithUndo)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
