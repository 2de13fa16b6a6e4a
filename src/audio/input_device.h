#pragma once
// Sound input as the recorder relies on it: int16 stereo at 44100 or 48000 frames per second,
// delivered into numbered buffers that the recorder queues round-robin. The device fills the
// queued buffers strictly in the order they were added and sets each one's done flag when it
// is full; reset returns every buffer still queued, marked done with the frames it holds.
//
// The device side may run on another thread (a sound-card callback); it touches a buffer only
// between add and done, and the two sides meet only through the atomics below.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tolmar {

struct InputBuffer {
  int16_t* data = nullptr;  // frames × 2 interleaved samples, left first
  uint32_t frames = 0;      // capacity
  std::atomic<uint32_t> framesRecorded{0};
  std::atomic<bool> done{false};
  bool prepared = false;
};

// Buffers queued on a device and filled in order. One thread adds, one thread fills; neither
// ever waits for the other. Sized for any buffer count the settings allow.
class InputQueue {
 public:
  static constexpr size_t kCapacity = 64;

  // Recorder side. False when the queue is full.
  bool push(InputBuffer* b);
  // Device side: copies frames into the queued buffers, completing each as it fills. Returns
  // how many frames found no buffer (they are lost: an overrun).
  size_t fill(const int16_t* frames, size_t count);
  // With the device stopped: every queued buffer is returned done with what it holds.
  void flush();
  bool empty() const;

 private:
  InputBuffer* slots_[kCapacity] = {};
  std::atomic<size_t> head_{0};  // next to fill (device side)
  std::atomic<size_t> tail_{0};  // next free (recorder side)
};

// Result codes of the device calls: 0 is success, anything else is the device's own code;
// errorText gives its reason.
class InputDevice {
 public:
  virtual ~InputDevice() = default;

  // Opens the device for int16 stereo at `rate`, delivering `framesPerBuffer` at a time.
  // Empty on success, else the reason it failed.
  virtual std::string open(int rate, uint32_t framesPerBuffer) = 0;
  virtual int prepare(InputBuffer& b) {
    b.prepared = true;
    return 0;
  }
  virtual int unprepare(InputBuffer& b) {
    b.prepared = false;
    return 0;
  }
  virtual int add(InputBuffer& b) = 0;
  virtual int start() = 0;
  virtual int stop() = 0;
  virtual int reset() = 0;
  virtual int close() = 0;
  // Lets a device that has no thread of its own deliver; the recorder calls it on each tick.
  virtual void service() {}
  // Frames that arrived while no buffer was queued, counted in whole buffers.
  virtual uint64_t droppedBuffers() const = 0;
  virtual std::string errorText(int code) const { return "error " + std::to_string(code); }
};

struct InputDeviceInfo {
  int number = 0;  // what `recdevno` holds
  std::string name;
  bool cdFormat = false;  // 44.1 kHz stereo 16-bit supported
};

// Opens the recording device the settings name (device number, or -1 for the default). The
// front end that knows the sound cards provides it.
class InputDeviceFactory {
 public:
  virtual ~InputDeviceFactory() = default;
  virtual std::unique_ptr<InputDevice> create(int deviceNo) = 0;
  // The recording devices there are, for the start-up check and the sound-card dialog.
  virtual std::vector<InputDeviceInfo> inputDevices() { return {}; }
};

}  // namespace tolmar
