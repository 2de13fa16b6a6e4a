#pragma once
// An output device without hardware, for tests, benchmarks and sound-free batch runs: it keeps
// a copy of every buffer queued (what would reach the speakers) and the order of every device
// call. Unpaced, a queued buffer is done at once (unless the device is paused); paced, it is
// done when a real device at the sample rate would have played it, and a buffer queued after
// the queue ran dry counts as late.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/output_device.h"

namespace tolmar {

// What every device of one MemoryOutputBackend records; shared so that a test can read it
// after the device is gone.
struct MemoryOutputLog {
  struct Buffer {
    int slot = 0;
    std::vector<int16_t> samples;  // interleaved L, R
  };
  std::vector<Buffer> buffers;      // every write, in order
  std::vector<std::string> events;  // "open -1", "write 2", "pause", "restart", "reset", "close"
  int opens = 0;
  int lateBuffers = 0;  // paced only: queued after the device had run out

  // Every frame written, in order, as one interleaved run.
  std::vector<int16_t> played() const;
  void clear() { *this = MemoryOutputLog(); }
};

class MemoryOutputDevice : public OutputDevice {
 public:
  using Clock = std::chrono::steady_clock;

  MemoryOutputDevice(std::shared_ptr<MemoryOutputLog> log, bool paced, DeviceStatus openResult);

  DeviceStatus open(int deviceNo, const WaveFormat& format, int buffers) override;
  DeviceStatus prepare(int slot, const int16_t* data, uint32_t bytes) override;
  DeviceStatus unprepare(int slot) override;
  DeviceStatus write(int slot) override;
  bool done(int slot) const override;
  DeviceStatus pause() override;
  DeviceStatus restart() override;
  DeviceStatus reset() override;
  DeviceStatus close() override;

 private:
  struct Slot {
    const int16_t* data = nullptr;
    uint32_t bytes = 0;
    bool prepared = false;
    bool queued = false;  // written and not yet done (unpaced: waiting for restart)
    Clock::time_point end{};
  };
  bool validSlot(int slot) const { return slot >= 0 && slot < static_cast<int>(slots_.size()); }
  void settle() const;

  std::shared_ptr<MemoryOutputLog> log_;
  bool paced_;
  DeviceStatus openResult_;
  bool open_ = false;
  bool paused_ = false;
  int rate_ = 44100;
  Clock::time_point pausedAt_{};
  Clock::time_point queueEnd_{};  // paced: when the last queued buffer ends
  mutable std::vector<Slot> slots_;
};

class MemoryOutputBackend : public OutputBackend {
 public:
  explicit MemoryOutputBackend(bool paced = false) : paced_(paced) {}

  std::vector<OutputDeviceInfo> outputDevices() override;
  std::unique_ptr<OutputDevice> createOutput() override;

  std::shared_ptr<MemoryOutputLog> log = std::make_shared<MemoryOutputLog>();
  // The next devices fail to open with this (success by default).
  DeviceStatus openResult;

 private:
  bool paced_;
};

}  // namespace tolmar
