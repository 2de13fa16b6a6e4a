#include "bench_support.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <stdexcept>

#include "document/binary_file.h"
#include "document/wav_format.h"

namespace tolmar::bench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 44100;
constexpr int64_t kHourFrames = int64_t{3600} * kRate;

double threadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

Took timedCall(void (*fn)(void*), void* arg) {
  const auto t0 = Clock::now();
  const double c0 = threadCpuSeconds();
  fn(arg);
  return {std::chrono::duration<double>(Clock::now() - t0).count(), threadCpuSeconds() - c0};
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

namespace {
// An hour of a slow chord with a little deterministic noise and a click every 10 000 frames.
void generateHour(const std::string& path) {
  const std::string tmp = path + ".part";
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot create " + tmp);
  const auto header = makeWavHeader(static_cast<uint32_t>(kHourFrames * 4), kRate);
  bool ok = std::fwrite(header.data(), 1, header.size(), f) == header.size();
  std::vector<uint8_t> block(static_cast<size_t>(kRate) * 4);
  uint32_t noise = 12345;
  for (int64_t first = 0; ok && first < kHourFrames; first += kRate) {
    for (int i = 0; i < kRate; ++i) {
      const int64_t frame = first + i;
      const double t = static_cast<double>(frame) / kRate;
      noise = noise * 1664525u + 1013904223u;
      const int n = static_cast<int>(noise >> 26) - 32;
      double s = 6000 * std::sin(2 * std::numbers::pi * 110 * t) +
                 3000 * std::sin(2 * std::numbers::pi * 165 * t);
      if (frame % 10000 == 5000) s += 20000;
      const auto l = static_cast<int16_t>(std::clamp(s + n, -32768.0, 32767.0));
      const auto r = static_cast<int16_t>(std::clamp(-s + n, -32768.0, 32767.0));
      storeU16(&block[4 * i], static_cast<uint16_t>(l));
      storeU16(&block[4 * i + 2], static_cast<uint16_t>(r));
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
}  // namespace

const std::string& benchWav() {
  static const std::string path = [] {
    if (const char* given = std::getenv("TOLMAR_BENCH_WAV"); given && *given)
      return std::string(given);
    const char* dirEnv = std::getenv("TOLMAR_BENCH_DIR");
    const fs::path dir =
        dirEnv && *dirEnv ? fs::path(dirEnv) : fs::temp_directory_path() / "tolmar-bench";
    fs::create_directories(dir);
    const std::string p = (dir / "hour-clicks.wav").string();
    std::error_code ec;
    const auto expected = static_cast<uintmax_t>(kWavHeaderBytes + kHourFrames * 4);
    if (fs::file_size(p, ec) != expected || ec) generateHour(p);
    return p;
  }();
  return path;
}

void writeExcerpt(const std::string& path, int seconds) {
  BinaryFile in(benchWav(), BinaryFile::Mode::Read);
  BinaryFile out(path, BinaryFile::Mode::Create);
  const int64_t frames = int64_t{seconds} * kRate;
  if (!in.isOpen() || !out.isOpen() ||
      !writeWavHeader(out, static_cast<uint32_t>(frames * 4), kRate))
    throw std::runtime_error("cannot write " + path);
  std::vector<uint8_t> buf(1 << 20);
  int64_t left = frames * 4;
  in.seek(kWavHeaderBytes);
  while (left > 0) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(buf.size())));
    if (in.read(buf.data(), n) != n || out.write(buf.data(), n) != n)
      throw std::runtime_error("cannot copy into " + path);
    left -= static_cast<int64_t>(n);
  }
}

int64_t rawRead(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return -1;
  static std::vector<char> buf(128 * 1024);
  int64_t total = 0;
  for (;;) {
    const ssize_t n = ::read(fd, buf.data(), buf.size());
    if (n <= 0) break;
    total += n;
  }
  ::close(fd);
  return total;
}

}  // namespace tolmar::bench
