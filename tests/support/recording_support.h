#pragma once
// A recording bench for tests: a clock the test moves, an input device factory over a
// generator, and the predictable frames the generator gives.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/memory_input_device.h"
#include "document/binary_file.h"
#include "document/wav_format.h"
#include "editor/recording.h"

namespace tolmar::test {

class FakeClock : public RecordingClock {
 public:
  int64_t ms = 1000000;
  int64_t local = 1700000000;  // 2023-11-14 22:13:20
  int64_t nowMs() override { return ms; }
  int64_t localSeconds() override { return local + (ms - 1000000) / 1000; }
  double seconds() const { return ms / 1000.0; }
};

// Frame n of the staircase every recording test uses: left n, right its negation plus one,
// both wrapped to 16 bits, so any frame's position can be read back from its value.
inline void staircase(int64_t n, int16_t& l, int16_t& r) {
  l = static_cast<int16_t>(static_cast<uint16_t>(n & 0x7FFF));
  r = static_cast<int16_t>(static_cast<uint16_t>((~n) & 0x7FFF));
}

// A recorded file as read back: its header's figures and every sample.
struct WavContents {
  bool accepted = false;
  int rate = 0;
  uint32_t dataBytes = 0;
  int64_t fileBytes = 0;
  std::vector<int16_t> samples;
};

inline WavContents readWav(const std::string& path) {
  WavContents w;
  BinaryFile f;
  if (!f.open(path, BinaryFile::Mode::Read)) return w;
  FileByteSource src(f);
  HeaderCopy copy;
  const WavParseResult r = parseWavHeader(src, false, 44100, copy);
  w.accepted = r.accepted;
  w.rate = r.sampleRate;
  w.dataBytes = r.dataBytes;
  w.fileBytes = f.size();
  w.samples.resize(static_cast<size_t>(r.frameCount) * 2);
  f.seek(r.dataOffset);
  f.read(w.samples.data(), w.samples.size() * 2);
  return w;
}

// Whether samples hold generator frames [from, from + count) at file frame `at`.
inline ::testing::AssertionResult holdsFrames(const WavContents& w, int64_t at, int64_t from,
                                              int64_t count) {
  for (int64_t i = 0; i < count; ++i) {
    int16_t l, r;
    staircase(from + i, l, r);
    const size_t k = static_cast<size_t>(at + i) * 2;
    if (k + 1 >= w.samples.size() + 1 || w.samples[k] != l || w.samples[k + 1] != r)
      return ::testing::AssertionFailure() << "file frame " << at + i << " differs";
  }
  return ::testing::AssertionSuccess();
}

class GeneratorFactory : public InputDeviceFactory {
 public:
  using Configure = std::function<void(MemoryInputDevice&)>;
  GeneratorSource::Generator gen = staircase;
  MemoryInputDevice::Pacing pacing = MemoryInputDevice::Pacing::Unpaced;
  FakeClock* clock = nullptr;  // for Clock pacing
  Configure configure;
  MemoryInputDevice* last = nullptr;
  int created = 0;
  int lastDeviceNo = -2;

  std::unique_ptr<InputDevice> create(int deviceNo) override {
    auto d = std::make_unique<MemoryInputDevice>(std::make_unique<GeneratorSource>(gen), pacing);
    if (clock) {
      FakeClock* c = clock;
      d->clock = [c] { return c->seconds(); };
    }
    if (configure) configure(*d);
    last = d.get();
    ++created;
    lastDeviceNo = deviceNo;
    return d;
  }
};

}  // namespace tolmar::test
