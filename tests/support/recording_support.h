#pragma once
// A recording bench for tests: a clock the test moves, an input device factory over a
// generator, and the predictable frames the generator gives.

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>

#include "audio/memory_input_device.h"
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
