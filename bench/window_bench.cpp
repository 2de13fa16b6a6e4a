// The window on an hour-long side, offscreen at 1920×1080: start-up to a painted window, the
// wave area's repaint from the peak summary (rebuilt and from the cache), the spectral view
// of a page, the frames one page/zoom move reads, and the longest time the event loop waits
// while Find All Clicks runs over the hour.

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "editor/editor.h"
#include "ui/main_form.h"
#include "ui/wave_area.h"

using namespace tolmar;
using tolmar::bench::benchWav;
using tolmar::bench::median;

namespace {

double threadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double ms(QElapsedTimer& t) {
  return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

struct Window {
  TMainForm form{false};
  explicit Window(const std::string& wav) {
    form.FormCreate(false);
    form.resize(1920, 1080);
    form.show();
    form.openCommandLine(wav);
    form.waveArea()->repaint();
  }
  Editor& ed() { return form.editor(); }
  // Wall time; the thread's processor time goes to `cpu` (on a loaded machine the wall time
  // also counts the turns other processes take).
  double repaintMs(std::vector<double>* cpu = nullptr) {
    const double c0 = threadCpuMs();
    QElapsedTimer t;
    t.start();
    form.waveArea()->repaint();
    const double wall = ms(t);
    if (cpu) cpu->push_back(threadCpuMs() - c0);
    return wall;
  }
};

void row(const char* what, const std::vector<double>& v) {
  std::printf("%-62s median %8.3f ms  min %8.3f  max %8.3f  (%zu runs)\n", what, median(v),
              *std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end()),
              v.size());
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const std::filesystem::path config =
      std::filesystem::temp_directory_path() / "tolmar-window-bench-config";
  std::filesystem::create_directories(config);
  setenv("TOLMAR_CONFIG_DIR", config.c_str(), 1);
  QApplication app(argc, argv);
  const std::string wav = benchWav();
  const int runs = argc > 1 ? 201 : 21;
  // One part alone (for a profiler): startup, repaint, moves, spectral or scan.
  const std::string only = argc > 1 ? argv[1] : "";
  const auto part = [&only](const char* name) { return only.empty() || only == name; };

  if (part("startup")) {
    // The first open builds the peak cache beside the file; the others find it.
    QElapsedTimer t;
    t.start();
    Window first(wav);
    std::printf("%-62s %8.1f ms\n", "First open (peak cache built if missing), to painted", ms(t));
  }
  if (part("startup")) {
    std::vector<double> startup;
    for (int i = 0; i < 7; ++i) {
      QElapsedTimer t;
      t.start();
      Window w(wav);
      QApplication::processEvents();
      startup.push_back(ms(t));
    }
    row("Start-up with the peak cache to a painted window", startup);
  }

  Window w(wav);
  Editor& ed = w.ed();
  std::printf("document: %d frames, page %d frames over %d pixels\n", ed.doc->frameCount,
              ed.doc->viewWidth, ed.view.areaWidth());

  std::vector<double> rebuilt, cached, rebuiltCpu, cachedCpu;
  for (int i = 0; part("repaint") && i < runs; ++i) {
    ed.doc->displayOutOfDate = true;
    rebuilt.push_back(w.repaintMs(&rebuiltCpu));
    ed.doc->selStart = i * 100000;
    ed.doc->selEnd = i * 100000 + 5000000;
    cached.push_back(w.repaintMs(&cachedCpu));
  }
  if (part("repaint")) {
    row("Whole side repaint, points rebuilt from the peak summary", rebuilt);
    row("  processor time of the same", rebuiltCpu);
    row("Whole side repaint after a selection change (cached points)", cached);
    row("  processor time of the same", cachedCpu);
  }

  // Page and zoom moves over a ten-second page: frames each move reads.
  ed.doc->selStart = ed.doc->selEnd = 0;
  if (part("moves")) {
    ed.doc->viewStart = 0;
    ed.doc->viewWidth = 441000;
    ed.paintDisplay();
    int64_t mostRead = 0, totalRead = 0;
    int moves = 0;
    for (int i = 0; i < 30; ++i) {
      ed.NextPageBtnClick();
      const DisplayList l = ed.paintDisplay();
      mostRead = std::max(mostRead, l.framesRead);
      totalRead += l.framesRead;
      ++moves;
    }
    for (int i = 0; i < 6; ++i) {
      if (i < 3)
        ed.ZoomIn1Click();
      else
        ed.ZoomOut1Click();
      const DisplayList l = ed.paintDisplay();
      mostRead = std::max(mostRead, l.framesRead);
      totalRead += l.framesRead;
      ++moves;
    }
    std::printf("%-62s most %lld frames, mean %.0f (page %d frames, file %d)\n",
                "Frames read per page/zoom move", static_cast<long long>(mostRead),
                static_cast<double>(totalRead) / moves, ed.doc->viewWidth, ed.doc->frameCount);
  }

  // Spectral view of a whole 1920-pixel page.
  ed.doc->viewStart = 44100 * 600;
  ed.doc->viewWidth = 44100 * 20;
  ed.view.spectral = true;
  std::vector<double> spectral, spectralCpu;
  for (int i = 0; part("spectral") && i < (only.empty() ? 7 : 41); ++i) {
    ed.doc->displayOutOfDate = true;
    spectral.push_back(w.repaintMs(&spectralCpu));
  }
  ed.view.spectral = false;
  if (part("spectral")) {
    row("Spectral view of a 20 s page, 1920 pixels wide", spectral);
    row("  processor time of the same", spectralCpu);
  }
  if (!part("scan")) return 0;

  // The event loop during Find All Clicks over the hour: a 5 ms timer can only fire when
  // the scan pumps, so the longest gap between its firings is the longest block.
  ed.doc->selStart = 0;
  ed.doc->selEnd = ed.doc->lastFrame;
  QElapsedTimer since;
  double longest = 0;
  int fired = 0;
  QTimer tick;
  tick.setInterval(5);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    if (fired++ > 0) longest = std::max(longest, ms(since));
    since.restart();
  });
  since.start();
  tick.start();
  QElapsedTimer scan;
  scan.start();
  ed.FindAllClicks1Click();
  const double scanMs = ms(scan);
  tick.stop();
  std::printf("%-62s longest gap %.1f ms over %.1f s (%d timer firings, %d clicks)\n",
              "Event loop during Find All Clicks over the hour", longest, scanMs / 1000, fired,
              ed.clicks.storedCount());
  return 0;
}
