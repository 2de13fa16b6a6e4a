// Declicking over long files: Find All Clicks against one raw read of the same hour-long file
// (measured in the same iteration), and Remove All Clicks followed by Save for growing click
// counts, to show that neither the undo step nor the save grows faster than the clicks.

#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "declick/detection.h"
#include "editor/editor.h"

namespace {

using namespace tolmar;
using namespace tolmar::bench;
namespace fs = std::filesystem;

constexpr double kHourSeconds = 3600.0;

// Argument 0: the start-up parameters (Instant Rise); 1: the "Model Clicks" preset's.
void BM_FindAllClicks(benchmark::State& state) {
  const std::string& wav = benchWav();
  SilentHost host;
  Editor editor(host);
  editor.ctx.settings.newstylewaveform = false;
  if (!editor.OpenDocument(wav)) {
    state.SkipWithError("the bench file did not open");
    return;
  }
  if (state.range(0) == 1) {
    editor.params.shape = ClickShape::Model;
    editor.params.clickWidth = 40;
    editor.params.repairWidth = 60;
    editor.params.relAmplitude = 700;
  }
  rawRead(wav);  // warm the page cache
  std::vector<double> wallRatio, cpuRatio, realtime, processCpu;
  int32_t found = 0;
  for (auto _ : state) {
    const Took raw = timed([&] { benchmark::DoNotOptimize(rawRead(wav)); });
    // The search scans on a second thread as well: the process clock counts both.
    const std::clock_t c0 = std::clock();
    const Took find = timed([&] {
      found = FindClicks(*editor.doc, editor.params, editor.clicks, editor.params.includeUpdates,
                         true, false);
    });
    processCpu.push_back(static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC);
    state.SetIterationTime(find.wall);
    wallRatio.push_back(find.wall / raw.wall);
    cpuRatio.push_back(find.cpu / std::max(raw.cpu, 1e-9));
    realtime.push_back(kHourSeconds / find.wall);
  }
  state.counters["x_raw_read"] = median(wallRatio);
  // The calling thread's CPU time only.
  state.counters["x_raw_read_cpu"] = median(cpuRatio);
  state.counters["x_realtime"] = median(realtime);
  state.counters["cpu_s_all_threads"] = median(processCpu);
  state.counters["x_realtime_cpu_all_threads"] = kHourSeconds / median(processCpu);
  state.counters["clicks"] = found;
}
BENCHMARK(BM_FindAllClicks)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// Ten minutes of the bench file, with `clicks` stored clicks spread evenly over both channels.
// Argument 1: clicks; argument 2: the repair method (1 Bezier, 4 AR Interpolate, over clicks of
// a measured width of 4 frames).
void BM_RemoveAllClicksThenSave(benchmark::State& state) {
  const int32_t clicks = static_cast<int32_t>(state.range(0));
  const auto method = static_cast<RepairMethod>(state.range(1));
  const fs::path dir = fs::temp_directory_path() / "tolmar-bench";
  fs::create_directories(dir);
  const std::string excerpt = (dir / "ten-minutes.wav").string();
  const std::string work = (dir / "ten-minutes-work.wav").string();
  if (!fs::exists(excerpt)) writeExcerpt(excerpt, 600);
  double removeSeconds = 0, saveSeconds = 0;
  for (auto _ : state) {
    fs::copy_file(excerpt, work, fs::copy_options::overwrite_existing);
    SilentHost host;
    Editor editor(host);
    editor.ctx.settings.newstylewaveform = false;
    editor.ctx.batchRunning = true;
    if (!editor.OpenDocument(work)) {
      state.SkipWithError("the excerpt did not open");
      return;
    }
    editor.clicks.stored.emplace();
    editor.params.repairMethod = method;
    const int16_t width = method == RepairMethod::ArInterpolate ? 4 : 0;
    const int32_t spacing = editor.doc->frameCount / clicks;
    for (int32_t i = 0; i < clicks; ++i)
      editor.clicks.stored->Add(i * spacing + spacing / 2, 1, static_cast<uint8_t>(i % 2), width);
    const Took remove = timed([&] { editor.RemoveAllClicks1Click(); });
    const Took save = timed([&] { editor.Save1Click(); });
    state.SetIterationTime(remove.wall + save.wall);
    removeSeconds += remove.wall;
    saveSeconds += save.wall;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["remove_us_per_click"] = 1e6 * removeSeconds / n / clicks;
  state.counters["save_us_per_click"] = 1e6 * saveSeconds / n / clicks;
  state.counters["remove_x_realtime"] = 600.0 * n / removeSeconds;
  std::error_code ec;
  fs::remove(work, ec);
}
BENCHMARK(BM_RemoveAllClicksThenSave)
    ->Args({2500, 1})
    ->Args({5000, 1})
    ->Args({10000, 1})
    ->Args({10000, 4})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
