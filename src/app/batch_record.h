#pragma once
// tolmar-batch --record: an unattended recording through the recording window's own engine,
// with its clip detection, its committed-every-second file and its limit, stopped early by a
// signal. The sound card (or a WAV file played in real time) comes in as a device factory.

#include <csignal>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "audio/input_device.h"

namespace tolmar {

class Editor;
class TRecording;

struct RecordOptions {
  std::string out;  // the new WAV file
  int limitSeconds = 0;
  int rate = 0;       // 0: the settings' recording rate
  std::string input;  // a WAV file to record from in place of the sound card
};

// Whole seconds from a --limit time text ("45:00", "90", "1:30.5"), or nullopt when the text
// is no time or under a second.
std::optional<int> parseRecordLimit(const std::string& text);

// The most seconds a recording at `rate` can hold (its sizes must fit the WAV header).
int maxRecordSeconds(int rate);

// One terminal line: elapsed time, each channel's fifteen LEDs, clip light and stored peak.
std::string meterLine(const TRecording& rec);

// An input device factory over a WAV file, delivering its frames in real time as a card would.
class WavInputFactory : public InputDeviceFactory {
 public:
  // Empty when the file can be recorded from, else why not.
  std::string open(const std::string& path);
  int rate() const { return rate_; }
  std::unique_ptr<InputDevice> create(int deviceNo) override;
  std::vector<InputDeviceInfo> inputDevices() override;

 private:
  std::string path_;
  int rate_ = 0;
};

// Records into o.out until the limit, a full disk, or `stopRequested` turning non-zero. Prints
// the meters on `out` when `terminal`, and a closing line in any case. Returns the exit status:
// 0 when the file was written whole, 1 otherwise (the reason went to the host).
int runRecord(Editor& editor, InputDeviceFactory& devices, const RecordOptions& o,
              std::ostream& out, bool terminal, const volatile std::sig_atomic_t& stopRequested);

}  // namespace tolmar
