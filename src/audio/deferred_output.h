#pragma once
// A sound backend started only when something first asks it for a device. Starting a sound
// system can take most of a second and probes every card; a batch run that never plays should
// not pay for that.

#include <functional>
#include <memory>
#include <vector>

#include "audio/output_device.h"

namespace tolmar {

class DeferredOutputBackend : public OutputBackend {
 public:
  using Factory = std::function<std::unique_ptr<OutputBackend>()>;
  explicit DeferredOutputBackend(Factory make) : make_(std::move(make)) {}

  std::vector<OutputDeviceInfo> outputDevices() override { return backend().outputDevices(); }
  std::unique_ptr<OutputDevice> createOutput() override { return backend().createOutput(); }
  bool started() const { return backend_ != nullptr; }

 private:
  OutputBackend& backend();

  Factory make_;
  std::unique_ptr<OutputBackend> backend_;
};

}  // namespace tolmar
