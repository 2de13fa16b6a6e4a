#pragma once
// What the PortAudio output and input share: quieting the host APIs' start-up noise and the
// mapping of PortAudio errors to the device codes the messages expect.

#include <portaudio.h>

#include "audio/output_device.h"

namespace tolmar::pa {

// While PortAudio probes every host API and ALSA device it may not open, ALSA and JACK print
// a screenful of complaints about absent cards and servers. None of it is ours to report:
// what matters reaches the user as a device that is listed or not, opens or not.
class QuietStderr {
 public:
  QuietStderr();
  ~QuietStderr();
  QuietStderr(const QuietStderr&) = delete;
  QuietStderr& operator=(const QuietStderr&) = delete;

 private:
  int saved_ = -1;
};

DeviceStatus statusOf(PaError err);

// int16 stereo on `device`, with the host's high latency for the given direction.
PaStreamParameters stereo16(PaDeviceIndex device, bool input);

}  // namespace tolmar::pa
