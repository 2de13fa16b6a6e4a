#pragma once
// The mixer of the recording device: its wave-input destination line, the source lines that
// feed it (each with its volume and mute controls), and the MUX or MIXER control that picks
// among them. Set-up and every source switch are traced line by line, so that a card whose
// mixer cannot be used can still be reported on.
//
// The mixer itself is reached through MixerApi, an interface of our own; each call gives a
// result code (0 is success) for the trace.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tolmar {

// Component types of lines, as the trace and report print them.
enum MixerComponent : uint32_t {
  kDstWaveIn = 0x0007,
  kSrcDigital = 0x1001,
  kSrcLine = 0x1002,
  kSrcMicrophone = 0x1003,
  kSrcSynthesizer = 0x1004,
  kSrcCompactDisc = 0x1005,
  kSrcTelephone = 0x1006,
  kSrcPcSpeaker = 0x1007,
  kSrcWaveOut = 0x1008,
  kSrcAuxiliary = 0x1009,
  kSrcAnalog = 0x100A,
};

enum class MixerControlKind : uint32_t { Mixer = 1, Mux = 2, Volume = 3, Mute = 4 };

struct MixerLineInfo {
  uint32_t lineId = 0;
  std::string name;
  uint32_t componentType = 0;
  int channels = 2;
  bool active = true;
  int sources = 0;  // of a destination line: how many source lines feed it
};

struct MixerControlInfo {
  uint32_t controlId = 0;
  int32_t minimum = 0;
  int32_t maximum = 0;
  int steps = 0;
  bool uniform = true;
  bool disabled = false;
  int items = 0;  // MUX and MIXER: how many sources it selects among
};

class MixerApi {
 public:
  virtual ~MixerApi() = default;
  // Opens the default input device (giving its number), then the mixer of that open input,
  // then closes the input again.
  virtual int openDefaultInput(int& deviceNo) = 0;
  virtual int openMixerOfOpenInput() = 0;
  virtual int closeInput() = 0;
  // Opens the mixer of a given input device.
  virtual int openMixer(int deviceNo) = 0;
  // The destination line: the wave-input one when lineId is -1, else that line.
  virtual int destinationLine(int lineId, MixerLineInfo& line) = 0;
  // Source line `index` (0 … sources − 1) of the destination line.
  virtual int sourceLine(int index, MixerLineInfo& line) = 0;
  // The control of a kind on a line; a non-zero code when the line has none.
  virtual int findControl(uint32_t lineId, MixerControlKind kind, MixerControlInfo& control) = 0;
  // A MUX or MIXER control's items: the line ID each one selects.
  virtual int listLineIds(const MixerControlInfo& control, std::vector<uint32_t>& lineIds) = 0;
  // Values: channels × items (items = 1 for volume and mute), channel-major.
  virtual int getValues(const MixerControlInfo& control, int channels, int items,
                        std::vector<int32_t>& values) = 0;
  virtual int setValues(const MixerControlInfo& control, int channels, int items,
                        const std::vector<int32_t>& values) = 0;
  virtual void close() {}
};

// The mixer layer of a front: a fresh MixerApi for each recording window, and what the
// sound-card report needs besides.
class MixerApiFactory {
 public:
  virtual ~MixerApiFactory() = default;
  virtual std::unique_ptr<MixerApi> create() = 0;
  // The report's dump of every mixer of the system, the recording device's (its number, or -1
  // for the default) included; empty when there is none.
  virtual std::vector<std::string> dumpMixers(int deviceNo) = 0;
  // The system's own version text, for the report's first line.
  virtual std::string systemVersion() = 0;
};

class WaveInMixer {
 public:
  struct VolumeControl {
    uint32_t id = 0;
    int32_t minimum = 0, maximum = 0;
    int steps = 0;
    bool uniform = true, disabled = false;
  };
  struct MuteControl {
    uint32_t id = 0;
    bool uniform = true, disabled = false;
  };
  struct SourceLine {
    std::string name;
    uint32_t lineId = 0;
    uint32_t componentType = 0;
    int channels = 2;
    bool active = true;
    std::unique_ptr<VolumeControl> volume;
    std::unique_ptr<MuteControl> mute;
  };
  struct MuxControl {
    uint32_t id = 0;
    bool isMixer = false;
    int channels = 1;             // 1 when uniform, else the line's channels
    std::vector<uint32_t> items;  // the line ID each item selects
    std::vector<int32_t> values;  // channels × items, channel-major
  };

  // Create: deviceNo -1 for the default input, lineId -1 for the wave-input line.
  WaveInMixer(std::unique_ptr<MixerApi> api, int deviceNo, bool debug, bool muteUnused, int lineId);
  ~WaveInMixer();
  WaveInMixer(const WaveInMixer&) = delete;
  WaveInMixer& operator=(const WaveInMixer&) = delete;

  bool valid() const { return valid_; }
  bool selectSource(int index);
  int currentSource() const { return current_; }
  // Left and right of the current source (right = left when its control is uniform) and the
  // master volume; false when a control is missing or a call fails.
  bool getVolumes(int32_t& left, int32_t& right, int32_t& master);
  bool setVolumes(int32_t left, int32_t right, int32_t master);
  bool hasMasterVolume() const { return master_ != nullptr; }

  const std::vector<std::string>& trace() const { return trace_; }
  std::vector<std::string> status() const;
  const std::vector<SourceLine>& sources() const { return sources_; }
  // The steps whose "Mixer trace point" message the debug flag asks for.
  const std::vector<int>& tracePoints() const { return tracePoints_; }

 private:
  void step(int number);
  void traced(const char* format, ...);
  void findCurrentSource();

  std::unique_ptr<MixerApi> api_;
  bool debug_;
  bool muteUnused_;
  bool valid_ = false;
  uint32_t lineId_ = 0;
  int channels_ = 2;
  std::vector<SourceLine> sources_;
  int current_ = 0;
  std::unique_ptr<MuxControl> mux_;
  std::unique_ptr<VolumeControl> master_;
  std::vector<std::string> trace_;
  std::vector<int> tracePoints_;
};

// The sound-card report: the system's version text, the mixer's set-up trace and state (when
// there is a mixer object), then the dump of every mixer of the system (its lines as given;
// none: "System has no available mixers").
std::vector<std::string> mixerReportLines(const WaveInMixer* mixer,
                                          const std::string& systemVersion,
                                          const std::vector<std::string>& mixerDump);
// Writes the lines to `path`, each ended by a line break. False when the file cannot be written.
bool writeMixerReport(const std::string& path, const std::vector<std::string>& lines);

}  // namespace tolmar
