#pragma once
// Sound cards for tests: lists set by the test, and a count of how often each was asked for.

#include <map>
#include <vector>

#include "audio/sound_cards.h"

namespace tolmar::test {

struct FakeSoundCards : SoundCardList {
  std::vector<InputDeviceInfo> recording;
  std::vector<OutputDeviceInfo> playback;
  // The wave-input lines of each recording device's mixer, by device number.
  std::map<int, std::vector<WaveInputLine>> lines;
  int listed = 0;
  std::vector<int> linesAskedFor;

  std::vector<InputDeviceInfo> recordingDevices() override {
    ++listed;
    return recording;
  }
  std::vector<OutputDeviceInfo> playbackDevices() override {
    ++listed;
    return playback;
  }
  std::vector<WaveInputLine> waveInputLines(int recDeviceNo) override {
    linesAskedFor.push_back(recDeviceNo);
    const auto it = lines.find(recDeviceNo);
    return it == lines.end() ? std::vector<WaveInputLine>{} : it->second;
  }
};

}  // namespace tolmar::test
