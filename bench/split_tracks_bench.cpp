// Split Tracks of an hour-long side into 12 tracks against copying the same file once with cp,
// both timed in the same iteration with the page cache warm: in wall time, in CPU time (ours
// against cp's as a child process), and against cp followed by sync, since the range writer
// commits every track to storage. The split takes every byte through the program, where cp
// copies inside the kernel. For the floor the disk sets, the same iteration also times a bare
// split with nothing of ours in it: two threads, each writing whole tracks with pread and
// pwrite; plain, then asking for writeback every 8 MiB, then that with an fsync per track.

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "editor/editor.h"

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
    if (const std::string name = entry.path().filename().string();
        name.starts_with("side ") || name.starts_with("bare "))
      fs::remove(entry.path(), ec);
  fs::remove(dir / "copy.wav", ec);
  if (std::system("sync") != 0) std::fputs("sync failed\n", stderr);
}

// The bare split: the bytes of the side cut into kTracks equal files "bare NN.wav".
bool bareSplit(const std::string& side, const fs::path& dir, bool hint, bool commit) {
  const int in = ::open(side.c_str(), O_RDONLY);
  if (in < 0) return false;
  const off_t total = static_cast<off_t>(fs::file_size(side));
  std::atomic<int> next{0};
  std::atomic<bool> ok{true};
  const auto writer = [&] {
    std::vector<char> buf(size_t{1} << 20);
    for (int k; (k = next++) < kTracks;) {
      const off_t from = total / kTracks * k;
      const off_t to = k + 1 == kTracks ? total : from + total / kTracks;
      const std::string name = (dir / ("bare " + std::to_string(k) + ".wav")).string();
      const int out = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0) {
        ok = false;
        continue;
      }
      off_t unstarted = 0;
      for (off_t at = from; at < to;) {
        const auto n = static_cast<size_t>(std::min<off_t>(to - at, buf.size()));
        if (::pread(in, buf.data(), n, at) != static_cast<ssize_t>(n) ||
            ::pwrite(out, buf.data(), n, at - from) != static_cast<ssize_t>(n)) {
          ok = false;
          break;
        }
        at += n;
        unstarted += n;
        if (hint && unstarted >= (off_t{8} << 20)) {
          ::sync_file_range(out, at - from - unstarted, unstarted, SYNC_FILE_RANGE_WRITE);
          unstarted = 0;
        }
      }
      if (commit && ::fsync(out) != 0) ok = false;
      ::close(out);
    }
  };
  std::thread second(writer);
  writer();
  second.join();
  ::close(in);
  return ok;
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
  std::vector<double> ratio, ratioCpu, ratioSynced, cpSeconds, cpSyncSeconds, splitSeconds,
      bareRatio, bareHintedRatio, bareCommittedRatio;
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
    removeTracks(dir);
    bool bareOk = true;
    const Took bare = timed([&] { bareOk = bareSplit(wav, dir, false, false); });
    removeTracks(dir);
    const Took bareHinted = timed([&] { bareOk = bareSplit(wav, dir, true, false) && bareOk; });
    removeTracks(dir);
    const Took bareCommitted = timed([&] { bareOk = bareSplit(wav, dir, true, true) && bareOk; });
    if (!bareOk) state.SkipWithError("the bare split failed");
    ratio.push_back(split.wall / copy.wall);
    ratioCpu.push_back(split.cpu / std::max(copyCpu, 1e-6));
    ratioSynced.push_back(split.wall / copySynced.wall);
    cpSeconds.push_back(copy.wall);
    cpSyncSeconds.push_back(copySynced.wall);
    splitSeconds.push_back(split.wall);
    bareRatio.push_back(bare.wall / copy.wall);
    bareHintedRatio.push_back(bareHinted.wall / copy.wall);
    bareCommittedRatio.push_back(bareCommitted.wall / copy.wall);
  }
  removeTracks(dir);
  state.counters["x_cp"] = median(ratio);
  state.counters["x_cp_cpu"] = median(ratioCpu);
  state.counters["x_cp_sync"] = median(ratioSynced);
  state.counters["cp_s"] = median(cpSeconds);
  state.counters["cp_sync_s"] = median(cpSyncSeconds);
  state.counters["split_s"] = median(splitSeconds);
  state.counters["bare_x_cp"] = median(bareRatio);
  state.counters["bare_hint_x_cp"] = median(bareHintedRatio);
  state.counters["bare_fsync_x_cp"] = median(bareCommittedRatio);
}
BENCHMARK(BM_SplitTracksAgainstCp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7);

}  // namespace

BENCHMARK_MAIN();
