#pragma once
// The sound output as playback relies on it: a fixed set of numbered buffers, each prepared
// over memory the caller owns, queued in order and marked done once played; pause, restart
// and reset (which marks every queued buffer done). A backend's callback only flips the done
// flags; everything else runs on the caller's thread.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tolmar {

// A device call's outcome: code 0 and no reason is success. Codes are the classic
// waveform-audio ones where a backend failure has such a code; otherwise code is -1 and the
// reason is the backend's own text.
struct DeviceStatus {
  int code = 0;
  std::string reason;

  bool ok() const { return code == 0 && reason.empty(); }
  static DeviceStatus failure(int code) { return {code, {}}; }
  static DeviceStatus backendFailure(std::string reason) { return {-1, std::move(reason)}; }
};

// Codes a backend or the in-memory device may give.
inline constexpr int kBadDeviceId = 2;
inline constexpr int kAllocated = 4;
inline constexpr int kNoDriver = 6;
inline constexpr int kNoMemory = 7;
inline constexpr int kBadFormat = 32;
inline constexpr int kStillPlaying = 33;
inline constexpr int kUnprepared = 34;
inline constexpr int kSync = 35;

// "code=" text of the per-buffer, reset and close messages: the number, or the backend's text.
std::string deviceCodeText(const DeviceStatus& status);
// The reason in "Failed to open a suitable output device (" + reason + ")".
std::string openFailureReason(const DeviceStatus& status);

struct WaveFormat {
  int sampleRate = 44100;
  int channels = 2;
  int bitsPerSample = 16;
};

class OutputDevice {
 public:
  virtual ~OutputDevice() = default;

  // deviceNo -1 is the backend's default device. `buffers` slots are numbered 0 … buffers-1.
  virtual DeviceStatus open(int deviceNo, const WaveFormat& format, int buffers) = 0;
  // Points slot at `bytes` bytes of interleaved 16-bit frames the caller keeps alive and
  // unchanged until the slot is done.
  virtual DeviceStatus prepare(int slot, const int16_t* data, uint32_t bytes) = 0;
  // Fails with kStillPlaying while the slot is queued and not done.
  virtual DeviceStatus unprepare(int slot) = 0;
  // Queues a prepared slot behind those already queued; its done flag clears.
  virtual DeviceStatus write(int slot) = 0;
  virtual bool done(int slot) const = 0;
  virtual DeviceStatus pause() = 0;
  virtual DeviceStatus restart() = 0;
  // Stops at once; every queued slot becomes done. The device stays open and unpaused.
  virtual DeviceStatus reset() = 0;
  // Fails with kStillPlaying while a slot is queued and not done.
  virtual DeviceStatus close() = 0;
  // The output latency the backend reports, in seconds (0 when it reports none).
  virtual double latencySeconds() const { return 0.0; }
};

struct OutputDeviceInfo {
  int number = 0;  // what `playdevno` holds
  std::string name;
  bool cdFormat = false;  // 44.1 kHz stereo 16-bit supported
};

// What a front plugs into the editor: the list of output devices and a way to open one.
class OutputBackend {
 public:
  virtual ~OutputBackend() = default;
  virtual std::vector<OutputDeviceInfo> outputDevices() = 0;
  virtual std::unique_ptr<OutputDevice> createOutput() = 0;
};

// The backend of a build or a run without sound: no devices; opening fails with kNoDriver.
class NullOutputBackend : public OutputBackend {
 public:
  std::vector<OutputDeviceInfo> outputDevices() override { return {}; }
  std::unique_ptr<OutputDevice> createOutput() override;
};

}  // namespace tolmar
