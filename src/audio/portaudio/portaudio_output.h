#pragma once
// Sound cards through PortAudio (its ALSA host API on Linux). Device numbers are PortAudio
// device indices and names are PortAudio's; -1 opens the default output device. Only the
// fronts link this; the editor core sees an OutputBackend.

#include <memory>
#include <vector>

#include "audio/output_device.h"

namespace tolmar {

class PortAudioBackend : public OutputBackend {
 public:
  // Initialises PortAudio for the life of the backend.
  PortAudioBackend();
  ~PortAudioBackend() override;
  PortAudioBackend(const PortAudioBackend&) = delete;
  PortAudioBackend& operator=(const PortAudioBackend&) = delete;

  bool initialised() const { return initialised_; }
  std::vector<OutputDeviceInfo> outputDevices() override;
  std::unique_ptr<OutputDevice> createOutput() override;

 private:
  bool initialised_ = false;
};

}  // namespace tolmar
