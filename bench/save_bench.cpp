// File | Save over an hour-long side, with and without its rollback journal.
//
//   BM_SaveClickRepairs   10,000 short repairs spread over the side, saved with the journal
//                         and without it (as Save was before it had one), in the same iteration;
//                         x_without_journal is the ratio of the two.
//   BM_SaveWholeSide      an Amplify/Compress With Undo over the whole side, then Save; against
//                         one raw write of a file of the same size (write() in 128 KiB blocks,
//                         then fsync, as Save commits too).
//   BM_SaveStackedEffects 20 Amplify/Compress steps over the same minute, then Save; against
//                         the Save of one such step over that minute (x_one_effect).
//
// Both save a copy of the bench file (benchWav(), see bench_support.h) kept beside it, so the
// shared file is never changed. TOLMAR_SAVE_BENCH_SECONDS shortens the copy (default 3600).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_support.h"
#include "editor/editor.h"

namespace {

using namespace tolmar::bench;
namespace fs = std::filesystem;

constexpr int kRate = 44100;

int copySeconds() {
  const char* s = std::getenv("TOLMAR_SAVE_BENCH_SECONDS");
  const int v = s ? std::atoi(s) : 0;
  return v > 0 ? v : 3600;
}

// The copy that the saves write into, made once per process.
const std::string& saveCopy() {
  static const std::string path = [] {
    const std::string p = (fs::path(benchWav()).parent_path() / "save-bench.wav").string();
    writeExcerpt(p, copySeconds());
    return p;
  }();
  return path;
}

// One raw write of `bytes` to a new file beside `near`, committed.
Took timedRawWrite(const std::string& near, int64_t bytes) {
  const std::string p = near + ".rawwrite";
  static std::vector<char> buf(128 * 1024, 0x5a);
  const Took t = timed([&] {
    const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot write " + p);
    for (int64_t left = bytes; left > 0;) {
      const size_t n =
          static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(buf.size())));
      if (::write(fd, buf.data(), n) != static_cast<ssize_t>(n))
        throw std::runtime_error("short write");
      left -= static_cast<int64_t>(n);
    }
    ::fsync(fd);
    ::close(fd);
  });
  fs::remove(p);
  return t;
}

struct EditorOn {
  SilentHost host;
  tolmar::Editor e{host};
  explicit EditorOn(const std::string& wav) {
    e.ctx.settings.bigeditsinmemory = false;  // long edits spill to the big-edit store
    e.ctx.settings.saveconfirm = false;
    if (!e.OpenDocument(wav, true) || !e.doc) throw std::runtime_error("cannot open " + wav);
  }
};

// Short repairs (lines and sample blocks of 1-65 frames on either channel), one undo step;
// every eighth overlaps the one before.
void addClickRepairs(tolmar::WaveFile& doc, int count, unsigned seed) {
  std::mt19937 rng(seed);
  const int32_t spacing = doc.frameCount / count;
  int32_t prevStart = 0;
  for (int i = 0; i < count; ++i) {
    const int32_t len = 1 + static_cast<int32_t>(rng() % 64);
    const int channel = i % 2;
    int32_t start = i * spacing + static_cast<int32_t>(rng() % static_cast<uint32_t>(spacing / 2));
    if (i % 8 == 7) start = prevStart + len / 2;
    const int32_t end = std::min(start + len - 1, doc.frameCount - 1);
    if (i % 4 == 1) {
      doc.AddLinearEdit(start, end + 1, static_cast<int16_t>(rng() % 2000), 0, channel);
    } else {
      auto rec = std::make_unique<tolmar::Interpolation>();
      doc.BeginBlock(*rec, start, end, channel);
      for (int32_t f = start; f <= end; ++f)
        doc.PutSample(*rec, f, static_cast<int16_t>(static_cast<int32_t>(rng() % 3000) - 1500));
      doc.FinishBlock(*rec);
      doc.AddEdit(std::move(rec), channel);
    }
    prevStart = start;
  }
  doc.CommitEdit(static_cast<int32_t>(doc.interps.size()), "Declick");
}

void BM_SaveClickRepairs(benchmark::State& state) {
  const int clicks = static_cast<int>(state.range(0));
  const std::string& wav = saveCopy();
  EditorOn s(wav);
  const int64_t fileBytes = static_cast<int64_t>(fs::file_size(wav));
  // The raw writes go first, on their own: a 600 MiB write and delete just before a save would
  // leave the disk busy under whichever save came next.
  std::vector<double> rawWrites;
  for (int k = 0; k < 3; ++k) rawWrites.push_back(timedRawWrite(wav, fileBytes).wall);
  const double raw = median(rawWrites);
  std::vector<double> vsBefore, with, without;
  unsigned seed = 1;
  int round = 0;
  for (auto _ : state) {
    double took[2] = {0, 0};
    // Alternating which goes first, so that neither always finds the other's pages cached.
    for (int k = 0; k < 2; ++k) {
      const bool journal = (k + round) % 2 == 0;
      addClickRepairs(*s.e.doc, clicks, seed++);
      s.e.doc->journalSaves = journal;
      bool ok = false;
      took[journal] = timed([&] { ok = s.e.Save1Click(); }).wall;
      if (!ok || s.e.doc->canUndo()) {
        state.SkipWithError("the save did not complete");
        return;
      }
    }
    ++round;
    state.SetIterationTime(took[1]);
    vsBefore.push_back(took[1] / took[0]);
    with.push_back(took[1]);
    without.push_back(took[0]);
  }
  state.counters["x_without_journal"] = median(vsBefore);
  state.counters["ms_with_journal"] = median(with) * 1e3;
  state.counters["ms_without_journal"] = median(without) * 1e3;
  state.counters["x_raw_write"] = median(with) / raw;
  state.counters["x_raw_write_without_journal"] = median(without) / raw;
  state.counters["audio_seconds"] = static_cast<double>(s.e.doc->frameCount) / kRate;
}

void BM_SaveWholeSide(benchmark::State& state) {
  const bool journal = state.range(0) != 0;
  const std::string& wav = saveCopy();
  const int64_t fileBytes = static_cast<int64_t>(fs::file_size(wav));
  std::vector<double> vsRawWrite;
  for (auto _ : state) {
    EditorOn s(wav);
    s.e.ctx.settings.amplifyfactorl = 3;
    s.e.ctx.settings.amplifyfactorr = -3;
    s.e.doc->selStart = 0;
    s.e.doc->selEnd = s.e.doc->lastFrame;
    s.e.Compress1Click();
    if (!s.e.doc->canUndo()) {
      state.SkipWithError("the effect stored nothing");
      return;
    }
    s.e.doc->journalSaves = journal;
    const Took raw = timedRawWrite(wav, fileBytes);
    bool ok = false;
    const Took save = timed([&] { ok = s.e.Save1Click(); });
    if (!ok) {
      state.SkipWithError("the save did not complete");
      return;
    }
    state.SetIterationTime(save.wall);
    vsRawWrite.push_back(save.wall / raw.wall);
  }
  state.counters["x_raw_write"] = median(vsRawWrite);
}

// Amplify/Compress over one minute from ten minutes in, `times` times, each its own step.
void compressMinute(EditorOn& s, int times) {
  s.e.doc->selStart = 600 * kRate;
  s.e.doc->selEnd = std::min(s.e.doc->lastFrame, 660 * kRate - 1);
  for (int k = 0; k < times; ++k) {
    s.e.ctx.settings.amplifyfactorl = 1 + k % 3;
    s.e.ctx.settings.amplifyfactorr = -1 - k % 2;
    s.e.Compress1Click();
  }
}

void BM_SaveStackedEffects(benchmark::State& state) {
  const int stacked = static_cast<int>(state.range(0));
  const std::string& wav = saveCopy();
  std::vector<double> vsOne, ms;
  for (auto _ : state) {
    double took[2] = {0, 0};
    for (int k = 0; k < 2; ++k) {
      EditorOn s(wav);
      const int times = k == 0 ? 1 : stacked;
      compressMinute(s, times);
      if (s.e.doc->undoSteps.size() != static_cast<size_t>(times)) {
        state.SkipWithError("an effect stored nothing");
        return;
      }
      bool ok = false;
      took[k] = timed([&] { ok = s.e.Save1Click(); }).wall;
      if (!ok) {
        state.SkipWithError("the save did not complete");
        return;
      }
    }
    state.SetIterationTime(took[1]);
    vsOne.push_back(took[1] / took[0]);
    ms.push_back(took[1] * 1e3);
  }
  state.counters["x_one_effect"] = median(vsOne);
  state.counters["ms_stacked"] = median(ms);
}

BENCHMARK(BM_SaveClickRepairs)
    ->Arg(10000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(21);
BENCHMARK(BM_SaveWholeSide)
    ->ArgName("journal")
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_SaveStackedEffects)
    ->Arg(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
