#pragma once
// What every benchmark shares: a silent host, timing in wall and thread CPU time, the
// hour-long bench file and one raw read of it (the floor for streaming work).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "editor/host.h"

namespace tolmar::bench {

class SilentHost : public Host {
 public:
  void message(MsgKind, const std::string&) override {}
  Answer ask(MsgKind, Buttons, const std::string&) override { return Answer::Yes; }
  void progressBegin(const std::string&) override {}
  void progressSet(int) override {}
  void progressEnd() override {}
  void pump() override {}
  std::optional<std::string> openFileDialog(const FileDialogSpec&) override { return {}; }
  std::optional<std::string> saveFileDialog(const FileDialogSpec&) override { return {}; }
  bool runDialog(DialogRequest&) override { return true; }
};

struct Took {
  double wall;
  double cpu;
};

double threadCpuSeconds();
Took timedCall(void (*fn)(void*), void* arg);
template <class F>
Took timed(F&& f) {
  return timedCall([](void* p) { (*static_cast<F*>(p))(); }, &f);
}
double median(std::vector<double> v);

// TOLMAR_BENCH_WAV, or an hour of generated audio kept in TOLMAR_BENCH_DIR (default: the
// system temporary directory) for later runs.
const std::string& benchWav();
// Copies the first `seconds` of the bench file into a new WAV at `path`.
void writeExcerpt(const std::string& path, int seconds);
// One pass over the file with read() in 128 KiB blocks, as cat does; the bytes read.
int64_t rawRead(const std::string& path);

}  // namespace tolmar::bench
