#pragma once
// An input device without a sound card, for tests, benchmarks and demonstrations: it feeds the
// queued buffers from a generator or a WAV file, either as fast as they are queued, paced by
// a clock the caller controls, or paced in real time (times a speed factor) from a thread of
// its own, as a sound card's callback would.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "audio/input_device.h"
#include "document/binary_file.h"

namespace tolmar {

// Where the device's frames come from.
class FrameSource {
 public:
  virtual ~FrameSource() = default;
  // Fills `frames` stereo frames. A source that has run out gives silence.
  virtual void read(int16_t* dst, size_t frames) = 0;
};

// Frame n is gen(n).
class GeneratorSource : public FrameSource {
 public:
  using Generator = std::function<void(int64_t frame, int16_t& left, int16_t& right)>;
  explicit GeneratorSource(Generator gen) : gen_(std::move(gen)) {}
  void read(int16_t* dst, size_t frames) override;

 private:
  Generator gen_;
  int64_t next_ = 0;
};

// The sample data of a 16-bit stereo WAV file, read as needed, then silence.
class WavFileSource : public FrameSource {
 public:
  // Empty when the file is a WAV file this program reads, else why not.
  std::string open(const std::string& path);
  int rate() const { return rate_; }
  void read(int16_t* dst, size_t frames) override;

 private:
  BinaryFile f_;
  int64_t framesLeft_ = 0;
  int rate_ = 0;
};

class MemoryInputDevice : public InputDevice {
 public:
  enum class Pacing {
    Unpaced,  // every queued buffer is filled on the next service()
    Clock,    // service() delivers what the clock says is due
    Thread,   // a thread delivers in real time × speed
  };

  MemoryInputDevice(std::unique_ptr<FrameSource> source, Pacing pacing);
  ~MemoryInputDevice() override;

  // Clock pacing: seconds since any fixed point.
  std::function<double()> clock;
  // Thread pacing: times real time.
  double speed = 1.0;
  // Failure injection: a non-empty open error fails open with it; a device that hangs never
  // delivers anything; the other codes make that call fail.
  std::string openError;
  bool hang = false;
  int addError = 0;
  int startError = 0;

  std::string open(int rate, uint32_t framesPerBuffer) override;
  int add(InputBuffer& b) override;
  int start() override;
  int stop() override;
  int reset() override;
  int close() override;
  void service() override;
  uint64_t droppedBuffers() const override;

  bool isOpen() const { return open_; }
  int rate() const { return rate_; }
  int64_t framesDelivered() const { return delivered_; }

 private:
  void deliverUpTo(int64_t dueFrames);
  void threadLoop();

  std::unique_ptr<FrameSource> source_;
  Pacing pacing_;
  InputQueue queue_;
  bool open_ = false;
  bool running_ = false;
  int rate_ = 0;
  uint32_t framesPerBuffer_ = 0;
  double startTime_ = 0;
  std::atomic<int64_t> delivered_{0};
  std::atomic<uint64_t> droppedFrames_{0};
  std::atomic<bool> stopThread_{false};
  std::thread thread_;
};

}  // namespace tolmar
