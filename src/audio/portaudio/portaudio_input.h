#pragma once
// Recording from sound cards through PortAudio. Device numbers are PortAudio device indices;
// -1 opens the default input device. Only the fronts link this; the recorder sees an
// InputDeviceFactory.

#include <memory>
#include <vector>

#include "audio/input_device.h"

namespace tolmar {

class PortAudioInputFactory : public InputDeviceFactory {
 public:
  // Initialises PortAudio for the life of the factory; every device it made must be gone first.
  PortAudioInputFactory();
  ~PortAudioInputFactory() override;
  PortAudioInputFactory(const PortAudioInputFactory&) = delete;
  PortAudioInputFactory& operator=(const PortAudioInputFactory&) = delete;

  bool initialised() const { return initialised_; }
  std::unique_ptr<InputDevice> create(int deviceNo) override;
  std::vector<InputDeviceInfo> inputDevices() override;
  // The number of the system's default input device, -1 when there is none.
  int defaultDevice() const;

 private:
  bool initialised_ = false;
};

}  // namespace tolmar
