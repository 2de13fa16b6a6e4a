#include "audio/output_device.h"

namespace tolmar {

std::string deviceCodeText(const DeviceStatus& status) {
  if (!status.reason.empty()) return status.reason;
  return std::to_string(status.code);
}

std::string openFailureReason(const DeviceStatus& status) {
  switch (status.code) {
    case kBadDeviceId:
      return "Bad device ID";
    case kAllocated:
      return "Already in use";
    case kNoDriver:
      return "No device driver present";
    case kNoMemory:
      return "Unable to allocate/lock memory";
    case kBadFormat:
      return "Unsupported waveform-audio format";
    case kSync:
      return "Synchronous device";
    default:
      break;
  }
  if (!status.reason.empty()) return status.reason;
  return "Unknown Windows code: " + std::to_string(status.code);
}

namespace {

class NoOutput : public OutputDevice {
 public:
  DeviceStatus open(int, const WaveFormat&, int) override {
    return DeviceStatus::failure(kNoDriver);
  }
  DeviceStatus prepare(int, const int16_t*, uint32_t) override {
    return DeviceStatus::failure(kNoDriver);
  }
  DeviceStatus unprepare(int) override { return {}; }
  DeviceStatus write(int) override { return DeviceStatus::failure(kNoDriver); }
  bool done(int) const override { return true; }
  DeviceStatus pause() override { return {}; }
  DeviceStatus restart() override { return {}; }
  DeviceStatus reset() override { return {}; }
  DeviceStatus close() override { return {}; }
};

}  // namespace

std::unique_ptr<OutputDevice> NullOutputBackend::createOutput() {
  return std::make_unique<NoOutput>();
}

}  // namespace tolmar
