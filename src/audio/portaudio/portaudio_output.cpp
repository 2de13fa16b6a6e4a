#include "audio/portaudio/portaudio_output.h"

#include <portaudio.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "audio/portaudio/portaudio_common.h"

namespace tolmar {

namespace {

using pa::QuietStderr;
using pa::statusOf;

PaStreamParameters stereo16(PaDeviceIndex device) {
  return pa::stereo16(device, false);
}

// The callback takes queued slots in order and flips each one's done flag once it has played
// it; the queue is a single-producer single-consumer ring of slot numbers.
class PortAudioOutput : public OutputDevice {
 public:
  ~PortAudioOutput() override {
    if (stream_) {
      Pa_AbortStream(stream_);
      Pa_CloseStream(stream_);
    }
  }

  DeviceStatus open(int deviceNo, const WaveFormat& format, int buffers) override {
    if (stream_) return DeviceStatus::failure(kAllocated);
    const PaDeviceIndex device = deviceNo < 0 ? Pa_GetDefaultOutputDevice() : deviceNo;
    if (device == paNoDevice) return DeviceStatus::failure(kNoDriver);
    if (device >= Pa_GetDeviceCount()) return DeviceStatus::failure(kBadDeviceId);
    if (format.channels != 2 || format.bitsPerSample != 16)
      return DeviceStatus::failure(kBadFormat);
    slots_ = std::make_unique<Slot[]>(static_cast<size_t>(buffers));
    count_ = buffers;
    ring_ = std::make_unique<std::atomic<int>[]>(static_cast<size_t>(buffers) + 1);
    head_ = tail_ = 0;
    current_ = -1;
    const PaStreamParameters out = stereo16(device);
    const QuietStderr quiet;
    PaError err = Pa_OpenStream(&stream_, nullptr, &out, format.sampleRate, 256, paClipOff,
                                &PortAudioOutput::callback, this);
    if (err != paNoError) {
      stream_ = nullptr;
      return statusOf(err);
    }
    err = Pa_StartStream(stream_);
    if (err != paNoError) {
      Pa_CloseStream(stream_);
      stream_ = nullptr;
      return statusOf(err);
    }
    if (const PaStreamInfo* info = Pa_GetStreamInfo(stream_)) latency_ = info->outputLatency;
    return {};
  }

  DeviceStatus prepare(int slot, const int16_t* data, uint32_t bytes) override {
    if (!valid(slot)) return DeviceStatus::failure(kBadDeviceId);
    Slot& s = slots_[static_cast<size_t>(slot)];
    if (!s.done.load(std::memory_order_acquire)) return DeviceStatus::failure(kStillPlaying);
    s.data = data;
    s.frames = bytes / 4;
    s.prepared = true;
    return {};
  }

  DeviceStatus unprepare(int slot) override {
    if (!valid(slot)) return DeviceStatus::failure(kBadDeviceId);
    Slot& s = slots_[static_cast<size_t>(slot)];
    if (!s.done.load(std::memory_order_acquire)) return DeviceStatus::failure(kStillPlaying);
    s.prepared = false;
    return {};
  }

  DeviceStatus write(int slot) override {
    if (!valid(slot)) return DeviceStatus::failure(kBadDeviceId);
    Slot& s = slots_[static_cast<size_t>(slot)];
    if (!s.prepared) return DeviceStatus::failure(kUnprepared);
    if (!s.done.load(std::memory_order_acquire)) return DeviceStatus::failure(kStillPlaying);
    s.done.store(false, std::memory_order_relaxed);
    const int h = head_.load(std::memory_order_relaxed);
    ring_[static_cast<size_t>(h)].store(slot, std::memory_order_relaxed);
    head_.store((h + 1) % (count_ + 1), std::memory_order_release);
    return {};
  }

  bool done(int slot) const override {
    return !valid(slot) || slots_[static_cast<size_t>(slot)].done.load(std::memory_order_acquire);
  }

  DeviceStatus pause() override {
    paused_.store(true, std::memory_order_release);
    return {};
  }
  DeviceStatus restart() override {
    paused_.store(false, std::memory_order_release);
    return {};
  }

  DeviceStatus reset() override {
    if (!stream_) return {};
    // A slot is done once the callback has handed it to the stream, which still holds up to
    // its latency of it. With every slot done the playback has reached its end, so that last
    // stretch plays out; with slots still queued it is being cut short, so it stops at once.
    bool queued = false;
    for (int i = 0; i < count_; ++i)
      if (!slots_[static_cast<size_t>(i)].done.load(std::memory_order_acquire)) queued = true;
    PaError err = queued ? Pa_AbortStream(stream_) : Pa_StopStream(stream_);
    // With the stream stopped no callback runs, so its queue can be emptied here.
    for (int i = 0; i < count_; ++i)
      slots_[static_cast<size_t>(i)].done.store(true, std::memory_order_release);
    head_ = tail_ = 0;
    current_ = -1;
    paused_ = false;
    const PaError started = Pa_StartStream(stream_);
    if (err == paNoError || err == paStreamIsStopped) err = started;
    return statusOf(err);
  }

  DeviceStatus close() override {
    if (!stream_) return {};
    for (int i = 0; i < count_; ++i)
      if (!done(i)) return DeviceStatus::failure(kStillPlaying);
    Pa_AbortStream(stream_);
    const PaError err = Pa_CloseStream(stream_);
    stream_ = nullptr;
    return statusOf(err);
  }

  double latencySeconds() const override { return latency_; }

 private:
  struct Slot {
    const int16_t* data = nullptr;
    uint32_t frames = 0;
    bool prepared = false;
    std::atomic<bool> done{true};
  };

  bool valid(int slot) const { return slots_ && slot >= 0 && slot < count_; }

  static int callback(const void*, void* output, unsigned long frames,
                      const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* self) {
    static_cast<PortAudioOutput*>(self)->fill(static_cast<int16_t*>(output), frames);
    return paContinue;
  }

  void fill(int16_t* out, unsigned long frames) {
    unsigned long at = 0;
    if (!paused_.load(std::memory_order_acquire)) {
      while (at < frames) {
        if (current_ < 0) {
          const int t = tail_.load(std::memory_order_relaxed);
          if (t == head_.load(std::memory_order_acquire)) break;
          current_ = ring_[static_cast<size_t>(t)].load(std::memory_order_relaxed);
          tail_.store((t + 1) % (count_ + 1), std::memory_order_release);
          offset_ = 0;
        }
        Slot& s = slots_[static_cast<size_t>(current_)];
        const unsigned long n = std::min<unsigned long>(frames - at, s.frames - offset_);
        std::memcpy(out + 2 * at, s.data + 2 * static_cast<size_t>(offset_), n * 4);
        at += n;
        offset_ += static_cast<uint32_t>(n);
        if (offset_ >= s.frames) {
          s.done.store(true, std::memory_order_release);
          current_ = -1;
        }
      }
    }
    if (at < frames) std::memset(out + 2 * at, 0, (frames - at) * 4);
  }

  PaStream* stream_ = nullptr;
  std::unique_ptr<Slot[]> slots_;
  int count_ = 0;
  std::unique_ptr<std::atomic<int>[]> ring_;
  std::atomic<int> head_{0};
  std::atomic<int> tail_{0};
  std::atomic<bool> paused_{false};
  // The callback's own: the slot it is playing and how far.
  int current_ = -1;
  uint32_t offset_ = 0;
  double latency_ = 0.0;
};

}  // namespace

PortAudioBackend::PortAudioBackend() {
  const QuietStderr quiet;
  initialised_ = Pa_Initialize() == paNoError;
}

PortAudioBackend::~PortAudioBackend() {
  if (!initialised_) return;
  const QuietStderr quiet;
  Pa_Terminate();
}

std::vector<OutputDeviceInfo> PortAudioBackend::outputDevices() {
  std::vector<OutputDeviceInfo> list;
  if (!initialised_) return list;
  const QuietStderr quiet;
  const PaDeviceIndex n = Pa_GetDeviceCount();
  for (PaDeviceIndex i = 0; i < n; ++i) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
    if (!info || info->maxOutputChannels < 2) continue;
    const PaStreamParameters p = stereo16(i);
    list.push_back(
        {i, info->name, Pa_IsFormatSupported(nullptr, &p, 44100.0) == paFormatIsSupported});
  }
  return list;
}

std::unique_ptr<OutputDevice> PortAudioBackend::createOutput() {
  if (!initialised_) return NullOutputBackend().createOutput();
  return std::make_unique<PortAudioOutput>();
}

}  // namespace tolmar
