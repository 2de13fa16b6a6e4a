#pragma once
// The recording device's mixer through ALSA's simple-mixer API. What the simple mixer shows of
// a card's capture side is mapped onto our mixer model:
// - a capture source chooser (a capture exclusive-switch group, such as the one a
//   "Capture Source" control gives, or an enumerated capture element such as "Input Source")
//   is the MUX, and each of its items is a source line;
// - elements with a capture volume are source lines with that volume control and, when they
//   have a capture switch, a mute control (the switch off is muted);
// - items without a capture volume of their own use the card's "Capture" volume, which is
//   then no master; otherwise a "Capture" element beside the sources is the master volume.
// Volumes are scaled to 0 … 65535 whatever the element's own range (its steps are kept).
//
// A recording device number is the one of the device list (PortAudio's); its name carries
// "(hw:N,M)" for a card, which makes the control device "hw:N". Other names (plug-ins such as
// "default") are tried as control devices of the same name.

#include <memory>
#include <string>
#include <vector>

#include "audio/input_device.h"
#include "audio/wave_in_mixer.h"

namespace tolmar {

// "hw:N" for a device name that carries "(hw:N,M)"; else the name itself up to its first
// blank ("default" stays "default"); empty for an empty name.
std::string alsaControlNameFor(const std::string& deviceName);

class AlsaMixerApi : public MixerApi {
 public:
  // The recording devices by number, and the number of the default one (-1: none known).
  AlsaMixerApi(std::vector<InputDeviceInfo> devices, int defaultDevice);
  ~AlsaMixerApi() override;
  AlsaMixerApi(const AlsaMixerApi&) = delete;
  AlsaMixerApi& operator=(const AlsaMixerApi&) = delete;

  int openDefaultInput(int& deviceNo) override;
  int openMixerOfOpenInput() override;
  int closeInput() override;
  int openMixer(int deviceNo) override;
  int destinationLine(int lineId, MixerLineInfo& line) override;
  int sourceLine(int index, MixerLineInfo& line) override;
  int findControl(uint32_t lineId, MixerControlKind kind, MixerControlInfo& control) override;
  int listLineIds(const MixerControlInfo& control, std::vector<uint32_t>& lineIds) override;
  int getValues(const MixerControlInfo& control, int channels, int items,
                std::vector<int32_t>& values) override;
  int setValues(const MixerControlInfo& control, int channels, int items,
                const std::vector<int32_t>& values) override;
  void close() override;

  // Opens a control device by its ALSA name ("hw:0", "default"); 0 or a negative ALSA error.
  int openControl(const std::string& name);
  // The report's lines for the open mixer: its name, then the capture line with its sources
  // and every control with its values.
  std::vector<std::string> dump() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
  std::vector<InputDeviceInfo> devices_;
  int defaultDevice_;
  std::string pendingControl_;
};

// Every card of the system ("hw:0", "hw:1" …) and the named control devices besides
// (deduplicated), each dumped as AlsaMixerApi::dump() writes it; "Invalid Mixer" for one that
// does not open.
std::vector<std::string> alsaMixerDump(const std::vector<std::string>& extraControls);

// The mixers of the sound cards for the recording window and its report.
class AlsaMixerFactory : public MixerApiFactory {
 public:
  // `devices` lists the recording devices (the device numbers the settings hold).
  explicit AlsaMixerFactory(InputDeviceFactory* devices, int defaultDevice = -1);
  std::unique_ptr<MixerApi> create() override;
  std::vector<std::string> dumpMixers(int deviceNo) override;
  std::string systemVersion() override;

 private:
  InputDeviceFactory* devices_;
  int defaultDevice_;
};

}  // namespace tolmar
