// Split Tracks of an hour-long side into 12 tracks against copying the same file once with cp,
// both timed in the same iteration with the page cache warm. The split writes every byte of
// the side once more than cp reads and writes it, so the ratio is the price of going through
// the document rather than the kernel's own copy.

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

void removeTracks(const fs::path& dir) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec))
    if (entry.path().filename().string().starts_with("side ")) fs::remove(entry.path(), ec);
  fs::remove(dir / "copy.wav", ec);
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
  std::vector<double> ratio, ratioSynced, cpSeconds, cpSyncSeconds, splitSeconds;
  for (auto _ : state) {
    removeTracks(dir);
    const Took copy = timed([&] {
      if (std::system(cp.c_str()) != 0) state.SkipWithError("cp failed");
    });
    removeTracks(dir);
    const Took copySynced = timed([&] {
      if (std::system(cpSync.c_str()) != 0) state.SkipWithError("cp failed");
    });
    removeTracks(dir);
    const Took split = timed([&] { editor.SplitTracks1Click(); });
    state.SetIterationTime(split.wall);
    if (!fs::exists(dir / "side 12.wav")) state.SkipWithError("the split wrote no track 12");
    ratio.push_back(split.wall / copy.wall);
    ratioSynced.push_back(split.wall / copySynced.wall);
    cpSeconds.push_back(copy.wall);
    cpSyncSeconds.push_back(copySynced.wall);
    splitSeconds.push_back(split.wall);
  }
  removeTracks(dir);
  state.counters["x_cp"] = median(ratio);
  state.counters["x_cp_sync"] = median(ratioSynced);
  state.counters["cp_s"] = median(cpSeconds);
  state.counters["cp_sync_s"] = median(cpSyncSeconds);
  state.counters["split_s"] = median(splitSeconds);
}
BENCHMARK(BM_SplitTracksAgainstCp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
