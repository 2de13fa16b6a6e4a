#include "audio/portaudio/portaudio_common.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace tolmar::pa {

QuietStderr::QuietStderr() {
  std::fflush(stderr);
  saved_ = dup(STDERR_FILENO);
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
  if (null >= 0) ::close(null);
}

QuietStderr::~QuietStderr() {
  std::fflush(stderr);
  if (saved_ < 0) return;
  dup2(saved_, STDERR_FILENO);
  ::close(saved_);
}

DeviceStatus statusOf(PaError err) {
  switch (err) {
    case paNoError:
      return {};
    case paInvalidDevice:
      return DeviceStatus::failure(kBadDeviceId);
    case paDeviceUnavailable:
      return DeviceStatus::failure(kAllocated);
    case paInsufficientMemory:
      return DeviceStatus::failure(kNoMemory);
    case paSampleFormatNotSupported:
    case paInvalidSampleRate:
    case paInvalidChannelCount:
      return DeviceStatus::failure(kBadFormat);
    default:
      return DeviceStatus::backendFailure(Pa_GetErrorText(err));
  }
}

PaStreamParameters stereo16(PaDeviceIndex device, bool input) {
  PaStreamParameters p{};
  p.device = device;
  p.channelCount = 2;
  p.sampleFormat = paInt16;
  const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
  p.suggestedLatency =
      info ? (input ? info->defaultHighInputLatency : info->defaultHighOutputLatency) : 0.1;
  p.hostApiSpecificStreamInfo = nullptr;
  return p;
}

}  // namespace tolmar::pa
