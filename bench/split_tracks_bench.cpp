// Split Tracks of an hour-long side into 12 tracks against copying the same file once with cp,
// both timed in the same iteration with the page cache warm: in wall time, in CPU time (ours
// against cp's as a child process), and against cp followed by sync, since the range writer
// commits every track to storage. The split takes every byte through the program, where cp
// copies inside the kernel.

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "core/editor.h"

namespace {

using namespace tolmar;
using namespace tolmar::bench;
namespace fs = std::filesystem;

constexpr int kTracks = 12;

std::string quoted(const std::string& s) {
  return "'" + s + "'";
}

// User and system time of the finished child processes so far (cp runs as one).
double childCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  const auto sec = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6;
  };
  return sec(u.ru_utime) + sec(u.ru_stime);
}

// Deletes the outputs and lets the system write back what is still dirty, so that neither
// timed copy pays for the writeback of the one before it.
void removeTracks(const fs::path& dir) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec))
    if (entry.path().filename().string().starts_with("side ")) fs::remove(entry.path(), ec);
  fs::remove(dir / "copy.wav", ec);
  if (std::system("sync") != 0) std::fputs("sync failed\n", stderr);
}

void BM_SplitTracksAgainstCp(benchmark::State& state) {
  const std::string& hour = benchWav();
  const fs::path dir = fs::temp_directory_path() / "tolmar-bench" / "split";
  fs::create_directories(dir);
  // The side is opened where the tracks go, under the name that gives "side 01.wav" and on.
  const std::string wav = (dir / "side.wav").string();
  std::error_code ec;
  if (fs::file_size(wav, ec) != fs::file_size(hour)) {
    fs::copy_file(hour, wav, fs::copy_options::overwrite_existing);
  }
  SilentHost host;
  Editor editor(host);
  editor.ctx.settings.newstylewaveform = false;
  editor.ctx.batchRunning = true;  // no dialog: the tracks are named after the side
  if (!editor.OpenDocument(wav)) {
    state.SkipWithError("the bench file did not open");
    return;
  }
  const int32_t trackFrames = editor.doc->frameCount / kTracks / 588 * 588;
  for (int k = 1; k < kTracks; ++k) {
    Cue cue;
    cue.position = k * trackFrames;
    editor.doc->cues.push_back(cue);
  }
  rawRead(wav);  // warm the page cache
  const std::string cp = "cp " + quoted(wav) + " " + quoted((dir / "copy.wav").string());
  const std::string cpSync = cp + " && sync " + quoted((dir / "copy.wav").string());
  std::vector<double> ratio, ratioCpu, ratioSynced, cpSeconds, cpSyncSeconds, splitSeconds;
  for (auto _ : state) {
    removeTracks(dir);
    const double child0 = childCpuSeconds();
    const Took copy = timed([&] {
      if (std::system(cp.c_str()) != 0) state.SkipWithError("cp failed");
    });
    const double copyCpu = childCpuSeconds() - child0;
    removeTracks(dir);
    const Took copySynced = timed([&] {
      if (std::system(cpSync.c_str()) != 0) state.SkipWithError("cp failed");
    });
    removeTracks(dir);
    const Took split = timed([&] { editor.SplitTracks1Click(); });
    state.SetIterationTime(split.wall);
    if (!fs::exists(dir / "side 12.wav")) state.SkipWithError("the split wrote no track 12");
    ratio.push_back(split.wall / copy.wall);
    ratioCpu.push_back(split.cpu / std::max(copyCpu, 1e-6));
    ratioSynced.push_back(split.wall / copySynced.wall);
    cpSeconds.push_back(copy.wall);
    cpSyncSeconds.push_back(copySynced.wall);
    splitSeconds.push_back(split.wall);
  }
  removeTracks(dir);
  state.counters["x_cp"] = median(ratio);
  state.counters["x_cp_cpu"] = median(ratioCpu);
  state.counters["x_cp_sync"] = median(ratioSynced);
  state.counters["cp_s"] = median(cpSeconds);
  state.counters["cp_sync_s"] = median(cpSyncSeconds);
  state.counters["split_s"] = median(splitSeconds);
}
BENCHMARK(BM_SplitTracksAgainstCp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7);

}  // namespace

BENCHMARK_MAIN();
