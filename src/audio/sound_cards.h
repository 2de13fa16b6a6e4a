#pragma once
// The sound cards as the window and the sound-card dialog see them: the recording and the
// playback devices by number and name, whether each takes 44.1 kHz stereo 16-bit, and the
// wave-input lines of a recording device's mixer. Also the device choice the dialog edits and
// the start-up test of whether the cards chosen last time are still there.

#include <cstdint>
#include <string>
#include <vector>

#include "audio/input_device.h"
#include "audio/output_device.h"
#include "base/settings.h"

namespace tolmar {

// One wave-input destination line of a mixer: a recording device may offer several.
struct WaveInputLine {
  uint32_t lineId = 0;
  std::string name;
};

class SoundCardList {
 public:
  virtual ~SoundCardList() = default;
  virtual std::vector<InputDeviceInfo> recordingDevices() = 0;
  virtual std::vector<OutputDeviceInfo> playbackDevices() = 0;
  // The wave-input lines of the recording device's mixer; none when it has no mixer model.
  virtual std::vector<WaveInputLine> waveInputLines(int /*recDeviceNo*/) { return {}; }
};

// The cards of a front's input factory and output backend (PortAudio's, or the in-memory
// ones). Each list is asked for once: a sound system probes every card when it lists them.
class BackendSoundCards : public SoundCardList {
 public:
  // Either may be null: that side then has no devices.
  BackendSoundCards(InputDeviceFactory* inputs, OutputBackend* outputs)
      : inputs_(inputs), outputs_(outputs) {}

  std::vector<InputDeviceInfo> recordingDevices() override;
  std::vector<OutputDeviceInfo> playbackDevices() override;

 private:
  InputDeviceFactory* inputs_;
  OutputBackend* outputs_;
  bool haveInputs_ = false, haveOutputs_ = false;
  std::vector<InputDeviceInfo> recording_;
  std::vector<OutputDeviceInfo> playback_;
};

// Device names are compared on their first 30 characters: drivers append revision or port
// details that change without the card changing.
bool sameDeviceName(const std::string& a, const std::string& b);

// The devices the dialog offers: those that take 44.1 kHz stereo 16-bit, in list order.
std::vector<InputDeviceInfo> cdFormatDevices(const std::vector<InputDeviceInfo>& all);
std::vector<OutputDeviceInfo> cdFormatDevices(const std::vector<OutputDeviceInfo>& all);

// What the sound-card dialog edits; the settings hold it between runs.
struct SoundCardChoice {
  int recdevno = -1;
  std::string recdevnm;
  int playdevno = -1;
  std::string playdevnm;
  int reclineno = -1;
  int recplaybuffs = 4;
  int recplaybps = 10;
  bool playendreset = false, playendrelease = true, playendwait = true;
  bool playstopreset = true, playstoprelease = true, playstopwait = true;
  bool muteunused = true;

  static SoundCardChoice fromSettings(const Settings& s);
  // Every field.
  void storeInto(Settings& s) const;
  // The recording line that goes with `device`: the chosen one while it is the device it was
  // chosen on, else none (-1). A line number means nothing on another card's mixer.
  int recordLineFor(const InputDeviceInfo* device) const;
};

// Whether the cards chosen last time must be chosen again: never chosen (-1), or the device at
// the stored number now has another name (it is gone, or the numbers moved).
bool soundCardsNeedChoosing(const Settings& s, const std::vector<InputDeviceInfo>& recording,
                            const std::vector<OutputDeviceInfo>& playback);

// With fewer than two suitable devices on either side there is nothing to choose: the only one
// is taken. `message` gathers a line for each side that has none (empty when both have one).
struct OnlyDevices {
  const InputDeviceInfo* recording = nullptr;
  const OutputDeviceInfo* playback = nullptr;
  std::string message;
};
OnlyDevices takeOnlyDevices(const std::vector<InputDeviceInfo>& suitableRecording,
                            const std::vector<OutputDeviceInfo>& suitablePlayback);

// Shown before the dialog when there is a choice to make.
inline constexpr char kChooseSoundCardsText[] =
    "This is either the first time Tolmar has been run, or the recording and/or playback "
    "devices have changed on your PC since they were last configured (possibly due to the "
    "installation of new hardware or software). You will now be invited to configure the "
    "soundcard(s) to be used.";

}  // namespace tolmar
