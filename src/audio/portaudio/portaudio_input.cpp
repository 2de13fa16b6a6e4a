#include "audio/portaudio/portaudio_input.h"

#include <portaudio.h>

#include <atomic>

#include "audio/portaudio/portaudio_common.h"

namespace tolmar {

namespace {

// Frames PortAudio hands the callback at a time: a power of two, and small beside any buffer
// the recorder queues, so a buffer completes close to when its last frame arrived.
constexpr unsigned long kCallbackFrames = 512;

// Codes for failures PortAudio has no error of its own for.
constexpr int kQueueFull = 1;
constexpr int kNotOpen = 2;

// The callback only copies into the buffers queued ahead of it and flips their done flags;
// frames that find no queued buffer are counted and lost.
class PortAudioInput : public InputDevice {
 public:
  explicit PortAudioInput(int deviceNo) : deviceNo_(deviceNo) {}
  ~PortAudioInput() override {
    if (stream_) {
      Pa_AbortStream(stream_);
      Pa_CloseStream(stream_);
    }
  }

  std::string open(int rate, uint32_t framesPerBuffer) override {
    if (stream_) return openFailureReason(DeviceStatus::failure(kAllocated));
    const PaDeviceIndex device = deviceNo_ < 0 ? Pa_GetDefaultInputDevice() : deviceNo_;
    if (device == paNoDevice) return openFailureReason(DeviceStatus::failure(kNoDriver));
    if (device >= Pa_GetDeviceCount())
      return openFailureReason(DeviceStatus::failure(kBadDeviceId));
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    if (!info || info->maxInputChannels < 2)
      return openFailureReason(DeviceStatus::failure(kBadFormat));
    framesPerBuffer_ = framesPerBuffer;
    droppedFrames_ = 0;
    const PaStreamParameters in = pa::stereo16(device, true);
    const pa::QuietStderr quiet;
    const PaError err = Pa_OpenStream(&stream_, &in, nullptr, rate, kCallbackFrames, paClipOff,
                                      &PortAudioInput::callback, this);
    if (err != paNoError) {
      stream_ = nullptr;
      return openFailureReason(pa::statusOf(err));
    }
    return {};
  }

  int add(InputBuffer& b) override {
    if (!stream_) return kNotOpen;
    return queue_.push(&b) ? 0 : kQueueFull;
  }

  int start() override {
    if (!stream_) return kNotOpen;
    const pa::QuietStderr quiet;
    const PaError err = Pa_StartStream(stream_);
    if (err == paNoError) running_ = true;
    return err;
  }

  int stop() override {
    if (!stream_ || !running_) return 0;
    running_ = false;
    // Abort, not stop: what the host still holds is not wanted once the recorder stops.
    const PaError err = Pa_AbortStream(stream_);
    return err == paStreamIsStopped ? 0 : err;
  }

  int reset() override {
    const int err = stop();
    // No callback runs any more, so the queue is ours to empty.
    queue_.flush();
    return err;
  }

  int close() override {
    if (!stream_) return 0;
    stop();
    queue_.flush();
    const PaError err = Pa_CloseStream(stream_);
    stream_ = nullptr;
    return err;
  }

  uint64_t droppedBuffers() const override {
    if (framesPerBuffer_ == 0) return 0;
    return (droppedFrames_.load() + framesPerBuffer_ - 1) / framesPerBuffer_;
  }

  std::string errorText(int code) const override {
    if (code == kQueueFull) return "too many buffers queued";
    if (code == kNotOpen) return "the device is not open";
    return Pa_GetErrorText(code);
  }

 private:
  static int callback(const void* input, void*, unsigned long frames,
                      const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* self) {
    auto* me = static_cast<PortAudioInput*>(self);
    if (input)
      me->droppedFrames_.fetch_add(me->queue_.fill(static_cast<const int16_t*>(input), frames),
                                   std::memory_order_relaxed);
    return paContinue;
  }

  int deviceNo_;
  PaStream* stream_ = nullptr;
  bool running_ = false;
  uint32_t framesPerBuffer_ = 0;
  InputQueue queue_;
  std::atomic<uint64_t> droppedFrames_{0};
};

// What a factory gives when PortAudio did not start: every open fails.
class NoInput : public InputDevice {
 public:
  std::string open(int, uint32_t) override {
    return openFailureReason(DeviceStatus::failure(kNoDriver));
  }
  int add(InputBuffer&) override { return kNotOpen; }
  int start() override { return kNotOpen; }
  int stop() override { return 0; }
  int reset() override { return 0; }
  int close() override { return 0; }
  uint64_t droppedBuffers() const override { return 0; }
};

}  // namespace

PortAudioInputFactory::PortAudioInputFactory() {
  const pa::QuietStderr quiet;
  initialised_ = Pa_Initialize() == paNoError;
}

PortAudioInputFactory::~PortAudioInputFactory() {
  if (!initialised_) return;
  const pa::QuietStderr quiet;
  Pa_Terminate();
}

std::unique_ptr<InputDevice> PortAudioInputFactory::create(int deviceNo) {
  if (!initialised_) return std::make_unique<NoInput>();
  return std::make_unique<PortAudioInput>(deviceNo);
}

std::vector<InputDeviceInfo> PortAudioInputFactory::inputDevices() {
  std::vector<InputDeviceInfo> list;
  if (!initialised_) return list;
  const pa::QuietStderr quiet;
  const PaDeviceIndex n = Pa_GetDeviceCount();
  for (PaDeviceIndex i = 0; i < n; ++i) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
    if (!info || info->maxInputChannels < 2) continue;
    const PaStreamParameters p = pa::stereo16(i, true);
    list.push_back(
        {i, info->name, Pa_IsFormatSupported(&p, nullptr, 44100.0) == paFormatIsSupported});
  }
  return list;
}

int PortAudioInputFactory::defaultDevice() const {
  if (!initialised_) return -1;
  const PaDeviceIndex d = Pa_GetDefaultInputDevice();
  return d == paNoDevice ? -1 : d;
}

}  // namespace tolmar
