// Benchmarks of the document engine over an hour-long file.
//
// Every timed operation is measured against a reference taken in the same iteration of the
// same process (one raw read of the file, or the same read without records), and the ratio is
// reported as a counter: the absolute times move with whatever else the machine is doing, the
// ratios much less.
//
// The file: TOLMAR_BENCH_WAV names one to use (its ".qed" peak cache is deleted before every
// scan); otherwise an hour of generated 16-bit stereo 44100 Hz audio is written once to
// TOLMAR_BENCH_DIR (default: the system temp directory) and reused by later runs.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_support.h"
#include "document/wav_format.h"
#include "document/wave_file.h"
#include "editor/context.h"
#include "editor/host.h"

namespace {

using namespace tolmar::bench;

using tolmar::Interpolation;
using tolmar::WaveFile;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 44100;
constexpr int32_t kChunkFrames = 9000;  // the chunk size of the editing commands

double secondsSince(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

Took timedRawRead(const std::string& path) {
  return timed([&] { benchmark::DoNotOptimize(rawRead(path)); });
}

// A context with its host, and a document opened on the bench file without a peak summary.
struct Doc {
  SilentHost host;
  tolmar::Context ctx{host};
  std::unique_ptr<WaveFile> doc;

  explicit Doc(bool peaks) {
    ctx.settings.newstylewaveform = peaks;
    doc = std::make_unique<WaveFile>(ctx);
    if (!doc->Open(benchWav(), false, 0)) throw std::runtime_error("the bench file did not open");
  }
};

void removePeakCache(const std::string& wav) {
  std::error_code ec;
  fs::remove(fs::path(wav).replace_extension(".qed"), ec);
}

void BM_RawRead(benchmark::State& state) {
  const std::string& wav = benchWav();
  rawRead(wav);  // warm the page cache
  int64_t bytes = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    bytes += rawRead(wav);
    state.SetIterationTime(secondsSince(t0));
  }
  state.SetBytesProcessed(bytes);
}

// Opening with no cache: parse the header and scan every frame for the peak summary (which
// writes the cache; it is deleted again before the next open).
void BM_OpenPeakScanNoCache(benchmark::State& state) {
  const std::string& wav = benchWav();
  removePeakCache(wav);
  rawRead(wav);
  std::vector<double> ratios, cpuRatios;
  double audioSeconds = 0, scanSeconds = 0;
  for (auto _ : state) {
    const Took raw = timedRawRead(wav);
    SilentHost host;
    tolmar::Context ctx{host};
    auto doc = std::make_unique<WaveFile>(ctx);
    bool opened = false;
    const Took scan = timed([&] {
      opened = doc->Open(wav, false, 0);
      if (opened) doc->BuildPeakSummary();
    });
    state.SetIterationTime(scan.wall);
    if (!opened || !doc->hasPeaks()) {
      state.SkipWithError(opened ? "no peak summary was built" : "the bench file did not open");
      break;
    }
    ratios.push_back(scan.wall / raw.wall);
    cpuRatios.push_back(scan.cpu / raw.cpu);
    audioSeconds += static_cast<double>(doc->frameCount) / kRate;
    scanSeconds += scan.wall;
    doc.reset();  // writes the cache once more on the way out
    removePeakCache(wav);
  }
  state.counters["x_raw_read"] = median(ratios);
  state.counters["x_raw_read_cpu"] = median(cpuRatios);
  state.counters["x_realtime"] = scanSeconds > 0 ? audioSeconds / scanSeconds : 0;
}

// Short records spread over the whole file: both channels, sample blocks and straight lines,
// some straddling a chunk boundary and some overlapping an older record so that list order
// decides what is read.
void addShortRecords(WaveFile& doc, int count) {
  std::mt19937 rng(20240601);
  const int32_t spacing = doc.frameCount / count;
  int32_t prevStart = 0, prevEnd = 0;
  int prevChannel = 0;
  for (int i = 0; i < count; ++i) {
    const int32_t len = 1 + static_cast<int32_t>(rng() % 64);
    int channel = i % 2;
    int32_t start = i * spacing + static_cast<int32_t>(rng() % (spacing / 2));
    if (i % 8 == 7) {
      start = prevStart + (prevEnd - prevStart) / 2;
      channel = prevChannel;
    } else if (i % 16 == 3) {
      start = (start / kChunkFrames + 1) * kChunkFrames - len / 2;
    }
    const int32_t end = std::min(start + len - 1, doc.frameCount - 1);
    if (i % 4 == 1) {
      doc.AddLinearEdit(start, end + 1, static_cast<int16_t>(rng() % 20000 - 10000),
                        static_cast<int16_t>(rng() % 20000 - 10000), channel);
    } else {
      auto rec = std::make_unique<Interpolation>();
      doc.BeginBlock(*rec, start, end, channel);
      for (int32_t f = start; f <= end; ++f)
        doc.PutSample(*rec, f, static_cast<int16_t>(static_cast<int32_t>(rng() % 30000) - 15000));
      doc.FinishBlock(*rec);
      doc.AddEdit(std::move(rec), channel);
    }
    prevStart = start;
    prevEnd = end;
    prevChannel = channel;
  }
}

// Reads the whole file in chunks; returns a checksum so that nothing is optimised away.
uint64_t readWhole(WaveFile& doc, std::vector<int16_t>& buf) {
  uint64_t sum = 0;
  for (int32_t first = 0; first < doc.frameCount; first += kChunkFrames) {
    const int32_t last = std::min(first + kChunkFrames - 1, doc.frameCount - 1);
    doc.ReadFrames(true, buf.data(), first, last);
    sum += static_cast<uint16_t>(buf[0]) + static_cast<uint16_t>(buf[2 * (last - first) + 1]);
  }
  return sum;
}

// Every chunk of the overlay read equals the plain read with every record written over it in
// list order, the slow way. False on the first difference.
bool overlayMatchesListOrder(WaveFile& plain, WaveFile& edited) {
  std::vector<int16_t> want(kChunkFrames * 2), got(kChunkFrames * 2);
  for (int32_t first = 0; first < plain.frameCount; first += kChunkFrames) {
    const int32_t last = std::min(first + kChunkFrames - 1, plain.frameCount - 1);
    plain.ReadFrames(true, want.data(), first, last);
    for (const auto& r : edited.interps) {
      if (!r->active || r->start > last || r->end < first) continue;
      for (int32_t f = std::max(r->start, first); f <= std::min(r->end, last); ++f)
        want[2 * (f - first) + r->channel] = edited.SampleAt(*r, f);
    }
    edited.ReadFrames(true, got.data(), first, last);
    if (!std::equal(want.begin(), want.begin() + 2 * (last - first + 1), got.begin())) return false;
  }
  return true;
}

// The whole file through an overlay of short records, against the same read with no records
// and against one raw read, all in the same iteration.
void BM_ReadFramesOverlay(benchmark::State& state) {
  const int records = static_cast<int>(state.range(0));
  Doc plain(false), edited(false);
  if (edited.doc->frameCount < 2 * records) {
    state.SkipWithError("the bench file is too short for the records");
    return;
  }
  addShortRecords(*edited.doc, records);
  if (!overlayMatchesListOrder(*plain.doc, *edited.doc)) {
    state.SkipWithError("the overlay read differs from the records applied in list order");
    return;
  }
  const std::string& wav = benchWav();
  rawRead(wav);
  std::vector<int16_t> buf(kChunkFrames * 2);
  std::vector<double> vsPlain, vsPlainCpu, vsRaw;
  double audioSeconds = 0, overlaySeconds = 0;
  for (auto _ : state) {
    const Took raw = timedRawRead(wav);
    const Took bare = timed([&] { benchmark::DoNotOptimize(readWhole(*plain.doc, buf)); });
    const Took overlay = timed([&] { benchmark::DoNotOptimize(readWhole(*edited.doc, buf)); });
    state.SetIterationTime(overlay.wall);
    vsPlain.push_back(overlay.wall / bare.wall);
    vsPlainCpu.push_back(overlay.cpu / bare.cpu);
    vsRaw.push_back(overlay.wall / raw.wall);
    audioSeconds += static_cast<double>(edited.doc->frameCount) / kRate;
    overlaySeconds += overlay.wall;
  }
  state.counters["records"] = static_cast<double>(edited.doc->interps.size());
  state.counters["x_no_records"] = median(vsPlain);
  state.counters["x_no_records_cpu"] = median(vsPlainCpu);
  state.counters["x_raw_read"] = median(vsRaw);
  state.counters["x_realtime"] = overlaySeconds > 0 ? audioSeconds / overlaySeconds : 0;
}

// Single-sample lookups through the overlay at random frames, as the repair commands make them.
void BM_EditedSampleAt(benchmark::State& state) {
  Doc edited(false);
  if (edited.doc->frameCount < 2 * state.range(0)) {
    state.SkipWithError("the bench file is too short for the records");
    return;
  }
  addShortRecords(*edited.doc, static_cast<int>(state.range(0)));
  std::mt19937 rng(7);
  // Half the lookups land inside a record on its channel, half anywhere on either channel.
  struct Lookup {
    int32_t frame;
    int channel;
  };
  const auto& recs = edited.doc->interps;
  std::vector<Lookup> lookups(1 << 16);
  for (size_t k = 0; k < lookups.size(); ++k) {
    if (k % 2 == 0 && !recs.empty()) {
      const Interpolation& r = *recs[rng() % recs.size()];
      lookups[k] = {r.start + static_cast<int32_t>(rng() % static_cast<uint32_t>(r.length())),
                    r.channel};
    } else {
      lookups[k] = {static_cast<int32_t>(rng() % static_cast<uint32_t>(edited.doc->frameCount)),
                    static_cast<int>(k / 2 % 2)};
    }
  }
  size_t i = 0;
  int64_t found = 0;
  for (auto _ : state) {
    const Lookup& l = lookups[i++ & (lookups.size() - 1)];
    int16_t v = 0;
    found += edited.doc->EditedSampleAt(l.frame, l.channel, v);
    benchmark::DoNotOptimize(v);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["hit_fraction"] =
      state.iterations() ? static_cast<double>(found) / static_cast<double>(state.iterations()) : 0;
}

BENCHMARK(BM_RawRead)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7);
BENCHMARK(BM_OpenPeakScanNoCache)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7);
BENCHMARK(BM_ReadFramesOverlay)
    ->Arg(10000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(7);
BENCHMARK(BM_EditedSampleAt)->Arg(10000)->Unit(benchmark::kNanosecond);

}  // namespace

BENCHMARK_MAIN();
