#pragma once
// A card's mixer for the recording window's tests: sources with volume and mute controls, an
// optional MUX and master volume, and values the test reads and sets like another program
// would. Control IDs: source i's volume 0x100 + i, its mute 0x200 + i; MUX 0x50, master 0x60.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "audio/wave_in_mixer.h"

namespace tolmar::test {

struct FakeMixerCard {
  struct Source {
    std::string name;
    uint32_t type = kSrcLine;
    int channels = 2;
    bool volume = true;
  };
  std::vector<Source> sources;
  bool mux = true;
  bool master = false;
  bool opens = true;
  std::string failSelectOf;  // the source the MUX will not switch to
  std::map<uint32_t, std::vector<int32_t>> values;
  int created = 0;

  void add(const std::string& name, uint32_t type, int channels = 2) {
    const uint32_t i = static_cast<uint32_t>(sources.size());
    sources.push_back({name, type, channels, true});
    values[0x100 + i] = std::vector<int32_t>(static_cast<size_t>(channels), 30000);
    values[0x200 + i] = {0};
  }
  // The MUX's item values, one per source.
  std::vector<int32_t>& muxValues() { return values[0x50]; }
};

class FakeMixerApi : public MixerApi {
 public:
  explicit FakeMixerApi(FakeMixerCard& card) : c_(card) {}
  int openDefaultInput(int& deviceNo) override {
    deviceNo = 0;
    return 0;
  }
  int openMixerOfOpenInput() override { return c_.opens ? 0 : 2; }
  int closeInput() override { return 0; }
  int openMixer(int) override { return c_.opens ? 0 : 2; }
  int destinationLine(int, MixerLineInfo& line) override {
    line = {0xFFFF0000u, "Capture", kDstWaveIn, 2, true, static_cast<int>(c_.sources.size())};
    return 0;
  }
  int sourceLine(int index, MixerLineInfo& line) override {
    const FakeMixerCard::Source& s = c_.sources.at(static_cast<size_t>(index));
    line = {0x1000u + static_cast<uint32_t>(index), s.name, s.type, s.channels, true, 0};
    return 0;
  }
  int findControl(uint32_t lineId, MixerControlKind kind, MixerControlInfo& c) override {
    if (lineId == 0xFFFF0000u) {
      if (kind == MixerControlKind::Mux && c_.mux) {
        c = {0x50, 0, 1, 0, true, false, static_cast<int>(c_.sources.size())};
        return 0;
      }
      if (kind == MixerControlKind::Volume && c_.master) {
        c = {0x60, 0, 65535, 32, true, false, 0};
        return 0;
      }
      return -2;
    }
    const size_t i = lineId - 0x1000u;
    const FakeMixerCard::Source& s = c_.sources.at(i);
    if (kind == MixerControlKind::Volume && s.volume) {
      c = {0x100u + static_cast<uint32_t>(i), 0, 65535, 32, s.channels == 1, false, 0};
      return 0;
    }
    if (kind == MixerControlKind::Mute && !c_.mux) {
      c = {0x200u + static_cast<uint32_t>(i), 0, 1, 2, true, false, 0};
      return 0;
    }
    return -2;
  }
  int listLineIds(const MixerControlInfo&, std::vector<uint32_t>& ids) override {
    for (size_t i = 0; i < c_.sources.size(); ++i)
      ids.push_back(0x1000u + static_cast<uint32_t>(i));
    return 0;
  }
  int getValues(const MixerControlInfo& c, int channels, int items,
                std::vector<int32_t>& v) override {
    v = c_.values[c.controlId];
    v.resize(static_cast<size_t>(channels * items), v.empty() ? 0 : v[0]);
    return 0;
  }
  int setValues(const MixerControlInfo& c, int, int, const std::vector<int32_t>& v) override {
    if (c.controlId == 0x50 && !c_.failSelectOf.empty())
      for (size_t i = 0; i < c_.sources.size() && i < v.size(); ++i)
        if (v[i] && c_.sources[i].name == c_.failSelectOf) return 5;
    c_.values[c.controlId] = v;
    return 0;
  }

 private:
  FakeMixerCard& c_;
};

class FakeMixerFactory : public MixerApiFactory {
 public:
  FakeMixerCard card;
  std::unique_ptr<MixerApi> create() override {
    ++card.created;
    return std::make_unique<FakeMixerApi>(card);
  }
  std::vector<std::string> dumpMixers(int) override { return {"Fake Card:", "        maker=0"}; }
  std::string systemVersion() override { return "TestOS 1.2 #3 testarch"; }
};

}  // namespace tolmar::test
