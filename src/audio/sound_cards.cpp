#include "audio/sound_cards.h"

#include <algorithm>

namespace tolmar {

std::vector<InputDeviceInfo> BackendSoundCards::recordingDevices() {
  if (!haveInputs_ && inputs_) recording_ = inputs_->inputDevices();
  haveInputs_ = true;
  return recording_;
}

std::vector<OutputDeviceInfo> BackendSoundCards::playbackDevices() {
  if (!haveOutputs_ && outputs_) playback_ = outputs_->outputDevices();
  haveOutputs_ = true;
  return playback_;
}

bool sameDeviceName(const std::string& a, const std::string& b) {
  return a.compare(0, 30, b, 0, 30) == 0;
}

namespace {

template <class Info>
std::vector<Info> suitable(const std::vector<Info>& all) {
  std::vector<Info> out;
  std::copy_if(all.begin(), all.end(), std::back_inserter(out),
               [](const Info& d) { return d.cdFormat; });
  return out;
}

// Whether the device with that number is there under that name.
template <class Info>
bool stillThere(const std::vector<Info>& all, int number, const std::string& name) {
  for (const Info& d : all)
    if (d.number == number) return sameDeviceName(d.name, name);
  return false;
}

}  // namespace

std::vector<InputDeviceInfo> cdFormatDevices(const std::vector<InputDeviceInfo>& all) {
  return suitable(all);
}

std::vector<OutputDeviceInfo> cdFormatDevices(const std::vector<OutputDeviceInfo>& all) {
  return suitable(all);
}

SoundCardChoice SoundCardChoice::fromSettings(const Settings& s) {
  SoundCardChoice c;
  c.recdevno = s.recdevno;
  c.recdevnm = s.recdevnm;
  c.playdevno = s.playdevno;
  c.playdevnm = s.playdevnm;
  c.reclineno = s.reclineno;
  c.recplaybuffs = s.recplaybuffs;
  c.recplaybps = s.recplaybps;
  c.playendreset = s.playendreset;
  c.playendrelease = s.playendrelease;
  c.playendwait = s.playendwait;
  c.playstopreset = s.playstopreset;
  c.playstoprelease = s.playstoprelease;
  c.playstopwait = s.playstopwait;
  c.muteunused = s.muteunused;
  return c;
}

void SoundCardChoice::storeInto(Settings& s) const {
  s.recdevno = recdevno;
  s.recdevnm = recdevnm;
  s.playdevno = playdevno;
  s.playdevnm = playdevnm;
  s.reclineno = reclineno;
  s.recplaybuffs = recplaybuffs;
  s.recplaybps = recplaybps;
  s.playendreset = playendreset;
  s.playendrelease = playendrelease;
  s.playendwait = playendwait;
  s.playstopreset = playstopreset;
  s.playstoprelease = playstoprelease;
  s.playstopwait = playstopwait;
  s.muteunused = muteunused;
}

int SoundCardChoice::recordLineFor(const InputDeviceInfo* device) const {
  if (!device || device->number != recdevno || !sameDeviceName(device->name, recdevnm)) return -1;
  return reclineno;
}

bool soundCardsNeedChoosing(const Settings& s, const std::vector<InputDeviceInfo>& recording,
                            const std::vector<OutputDeviceInfo>& playback) {
  if (s.playdevno == -1 || s.recdevno == -1) return true;
  return !stillThere(recording, s.recdevno, s.recdevnm) ||
         !stillThere(playback, s.playdevno, s.playdevnm);
}

OnlyDevices takeOnlyDevices(const std::vector<InputDeviceInfo>& suitableRecording,
                            const std::vector<OutputDeviceInfo>& suitablePlayback) {
  OnlyDevices only;
  if (suitablePlayback.size() == 1)
    only.playback = &suitablePlayback.front();
  else
    only.message += "\rThere is no suitable playback soundcard in the PC.";
  if (suitableRecording.size() == 1)
    only.recording = &suitableRecording.front();
  else
    only.message += "\rThere is no suitable recording soundcard in the PC.";
  return only;
}

}  // namespace tolmar
