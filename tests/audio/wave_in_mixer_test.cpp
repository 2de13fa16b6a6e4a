// The recording device's mixer over a fake card: which sources are kept, which one is current,
// what a switch sets, the volumes, and the trace and status texts.

#include "audio/wave_in_mixer.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tolmar::test {
namespace {

// A card: the wave-input line, its sources with their volume and mute controls, and
// optionally a MUX. Control IDs: source i's volume is 0x100 + i, its mute 0x200 + i; the MUX is
// 0x50, the master volume 0x60.
struct FakeCard {
  struct Source {
    MixerLineInfo line;
    bool volume = true;
    bool volumeUniform = false;
    bool mute = true;
    bool muteUniform = true;
  };
  std::vector<Source> sources;
  bool mux = false;
  bool master = false;
  int openCode = 0;
  int failMuteOf = -1;  // the source whose mute cannot be set
  std::map<uint32_t, std::vector<int32_t>> values;
  std::vector<std::pair<uint32_t, std::vector<int32_t>>> sets;
  bool closed = false;

  void add(const std::string& name, uint32_t type, bool muted) {
    Source s;
    s.line = {0x2000u + static_cast<uint32_t>(sources.size()), name, type, 2, true, 0};
    values[0x200u + static_cast<uint32_t>(sources.size())] = {muted ? 1 : 0};
    values[0x100u + static_cast<uint32_t>(sources.size())] = {1000, 2000};
    sources.push_back(s);
  }
};

class FakeMixer : public MixerApi {
 public:
  explicit FakeMixer(FakeCard& card) : c_(card) {}
  int openDefaultInput(int& deviceNo) override {
    deviceNo = 0;
    return c_.openCode;
  }
  int openMixerOfOpenInput() override { return 0; }
  int closeInput() override { return 0; }
  int openMixer(int) override { return c_.openCode; }
  int destinationLine(int, MixerLineInfo& line) override {
    line = {
        0xFFFF0000u, "Recording Control", kDstWaveIn, 2, true, static_cast<int>(c_.sources.size())};
    return 0;
  }
  int sourceLine(int index, MixerLineInfo& line) override {
    if (index < 0 || static_cast<size_t>(index) >= c_.sources.size()) return 1;
    line = c_.sources[static_cast<size_t>(index)].line;
    return 0;
  }
  int findControl(uint32_t lineId, MixerControlKind kind, MixerControlInfo& c) override {
    if (lineId == 0xFFFF0000u) {
      if (kind == MixerControlKind::Mux && c_.mux) {
        c = {0x50, 0, 1, 0, true, false, static_cast<int>(c_.sources.size())};
        return 0;
      }
      if (kind == MixerControlKind::Volume && c_.master) {
        c = {0x60, 0, 65535, 65536, true, false, 0};
        return 0;
      }
      return 1024;  // no such control
    }
    for (size_t i = 0; i < c_.sources.size(); ++i) {
      const FakeCard::Source& s = c_.sources[i];
      if (s.line.lineId != lineId) continue;
      if (kind == MixerControlKind::Volume && s.volume) {
        c = {0x100u + static_cast<uint32_t>(i), 0, 65535, 65536, s.volumeUniform, false, 0};
        return 0;
      }
      if (kind == MixerControlKind::Mute && s.mute) {
        c = {0x200u + static_cast<uint32_t>(i), 0, 1, 0, s.muteUniform, false, 0};
        return 0;
      }
    }
    return 1024;
  }
  int listLineIds(const MixerControlInfo&, std::vector<uint32_t>& ids) override {
    for (const auto& s : c_.sources) ids.push_back(s.line.lineId);
    return 0;
  }
  int getValues(const MixerControlInfo& c, int channels, int items,
                std::vector<int32_t>& v) override {
    v = c_.values[c.controlId];
    v.resize(static_cast<size_t>(channels * items), v.empty() ? 0 : v[0]);
    return 0;
  }
  int setValues(const MixerControlInfo& c, int, int, const std::vector<int32_t>& v) override {
    if (c_.failMuteOf >= 0 && c.controlId == 0x200u + static_cast<uint32_t>(c_.failMuteOf))
      return 7;
    c_.values[c.controlId] = v;
    c_.sets.emplace_back(c.controlId, v);
    return 0;
  }
  void close() override { c_.closed = true; }

 private:
  FakeCard& c_;
};

std::unique_ptr<WaveInMixer> mixerOf(FakeCard& card, bool muteUnused = true, int device = 3,
                                     bool debug = false) {
  return std::make_unique<WaveInMixer>(std::make_unique<FakeMixer>(card), device, debug, muteUnused,
                                       -1);
}

TEST(WaveInMixer, AMuxCardKeepsItsSourcesAndTheMuxPicksTheCurrentOne) {
  FakeCard card;
  card.mux = true;
  card.add("Mic", kSrcMicrophone, false);
  card.add("Line", kSrcLine, false);
  card.add("CD", kSrcCompactDisc, false);
  card.sources[2].mute = false;  // kept all the same: the MUX picks
  card.values[0x50] = {0, 0, 1};
  auto m = mixerOf(card, false);
  ASSERT_TRUE(m->valid());
  ASSERT_EQ(m->sources().size(), 3u);
  EXPECT_EQ(m->currentSource(), 2);
  const std::vector<std::string>& t = m->trace();
  ASSERT_GE(t.size(), 8u);
  EXPECT_EQ(t[0], "Opening mixer for specific device (3): mixerOpen => 0");
  EXPECT_EQ(t[1], "Getting basic info about WaveIn line: mixerGetLineInfo => 0");
  EXPECT_EQ(t[3], "Looking for a MIXER control on the WaveIn line: mixerGetLineControls => 1024");
  EXPECT_EQ(t[5], "Looking for a MUX control on the WaveIn line: mixerGetLineControls => 0");
  EXPECT_EQ(t[7], "Getting info about the MIXER/MUX control: mixerGetControlDetails => 0");

  card.sets.clear();
  EXPECT_TRUE(m->selectSource(1));
  EXPECT_EQ(m->currentSource(), 1);
  ASSERT_EQ(card.sets.size(), 1u);
  EXPECT_EQ(card.sets[0].first, 0x50u);
  EXPECT_EQ(card.sets[0].second, (std::vector<int32_t>{0, 1, 0}));
  EXPECT_EQ(t[t.size() - 2], "Attempting to switch to source #1 (Line):");
  EXPECT_EQ(t.back(), "    Setting values on the MIXER/MUX control: mixerSetControlDetails => 0");
}

TEST(WaveInMixer, WithoutAMuxTheOneUnmutedSourceIsCurrentAndSwitchingMutesTheOthers) {
  FakeCard card;
  card.add("Mic", kSrcMicrophone, true);
  card.add("Aux", kSrcAuxiliary, false);
  card.add("Phono", kSrcAnalog, true);
  auto m = mixerOf(card);
  ASSERT_TRUE(m->valid());
  EXPECT_EQ(m->currentSource(), 1);
  card.sets.clear();
  EXPECT_TRUE(m->selectSource(2));
  ASSERT_EQ(card.sets.size(), 3u);
  EXPECT_EQ(card.values[0x200], std::vector<int32_t>{1});
  EXPECT_EQ(card.values[0x201], std::vector<int32_t>{1});
  EXPECT_EQ(card.values[0x202], std::vector<int32_t>{0});
  EXPECT_EQ(m->trace().back(),
            "    Setting MUTE control on source line #2: mixerSetControlDetails => 0");

  // A mute that cannot be set ends the switch: the previous source stays.
  card.failMuteOf = 0;
  EXPECT_FALSE(m->selectSource(1));
  EXPECT_EQ(m->currentSource(), 2);
  EXPECT_EQ(m->trace().back(),
            "    Setting MUTE control on source line #0: mixerSetControlDetails => 7");
}

TEST(WaveInMixer, NoneOrSeveralCandidatesFallBackOnThePreferenceOrder) {
  FakeCard several;
  several.add("Mic", kSrcMicrophone, false);
  several.add("CD", kSrcCompactDisc, false);
  several.add("Digital", kSrcDigital, true);
  EXPECT_EQ(mixerOf(several, false)->currentSource(), 2)
      << "digital before compact disc and microphone";
  FakeCard two;
  two.add("Mic", kSrcMicrophone, false);
  two.add("CD", kSrcCompactDisc, false);
  EXPECT_EQ(mixerOf(two, false)->currentSource(), 1) << "compact disc before microphone";

  FakeCard none;
  none.add("Mic", kSrcMicrophone, true);
  none.add("Synth", kSrcSynthesizer, true);
  none.add("Line", kSrcLine, true);
  none.add("Aux", kSrcAuxiliary, true);
  EXPECT_EQ(mixerOf(none, false)->currentSource(), 2) << "line before everything";

  FakeCard unknown;
  unknown.add("Phone", kSrcTelephone, true);
  unknown.add("Speaker", kSrcPcSpeaker, true);
  EXPECT_EQ(mixerOf(unknown, false)->currentSource(), 0);
}

TEST(WaveInMixer, SourcesWithoutTheirControlsAreDroppedAndNoneLeftIsNotValid) {
  FakeCard card;
  card.add("Mic", kSrcMicrophone, false);
  card.add("Line", kSrcLine, false);
  card.sources[0].volume = false;
  card.sources[1].mute = false;  // and there is no MUX
  auto m = mixerOf(card);
  EXPECT_FALSE(m->valid());
  EXPECT_TRUE(m->sources().empty());
  const auto& t = m->trace();
  EXPECT_NE(std::find(t.begin(), t.end(), "Source line #0 (Mic) has no VOLUME control"), t.end());
  EXPECT_NE(std::find(t.begin(), t.end(),
                      "Source line #1 (Line) has no MUTE control, and there is no MUX/MIXER"),
            t.end());
  int32_t l, r, master;
  EXPECT_FALSE(m->getVolumes(l, r, master));
  EXPECT_EQ(m->status().front(), "Mixer is NOT valid");

  // The default device that does not open: one line, and nothing else is tried.
  FakeCard dead;
  dead.openCode = 2;
  auto d = mixerOf(dead, true, -1);
  EXPECT_FALSE(d->valid());
  EXPECT_EQ(d->trace(),
            std::vector<std::string>{"Opening Wave Input for default device (0): waveInOpen => 2"});
}

TEST(WaveInMixer, VolumesOfTheCurrentSourceAndTheMaster) {
  FakeCard card;
  card.master = true;
  card.add("Line", kSrcLine, false);
  card.add("Mic", kSrcMicrophone, true);
  card.sources[1].volumeUniform = true;
  card.values[0x60] = {30000};
  card.values[0x101] = {555};
  auto m = mixerOf(card, false);
  ASSERT_TRUE(m->valid());
  EXPECT_TRUE(m->hasMasterVolume());
  int32_t l = 0, r = 0, master = 0;
  ASSERT_TRUE(m->getVolumes(l, r, master));
  EXPECT_EQ(l, 1000);
  EXPECT_EQ(r, 2000);
  EXPECT_EQ(master, 30000);
  ASSERT_TRUE(m->setVolumes(40000, 50000, 60000));
  EXPECT_EQ(card.values[0x100], (std::vector<int32_t>{40000, 50000}));
  EXPECT_EQ(card.values[0x60], std::vector<int32_t>{60000});
  // A uniform control has one value: right reads as left.
  ASSERT_TRUE(m->selectSource(1));
  ASSERT_TRUE(m->getVolumes(l, r, master));
  EXPECT_EQ(l, 555);
  EXPECT_EQ(r, 555);
}

TEST(WaveInMixer, TheStatusListsTheLineItsControlsAndEverySource) {
  FakeCard card;
  card.mux = true;
  card.master = true;
  card.add("Line", kSrcLine, false);
  card.sources[0].mute = false;
  card.values[0x50] = {1};
  auto m = mixerOf(card, false, 3, true);
  const std::vector<std::string> want = {
      "Mixer is valid",
      "ID = ffff0000",
      "#channels = 2",
      "MUX/MIXER control ID = 50",
      "    #0 source ID = 2000",
      "VOLUME control ID = 60",
      "    min = 0, max = ffff, steps = 65536",
      "    control is UNIFORM",
      "    control is NOT DISABLED",
      "#0 source is Line",
      "    ID = 2000, channels = 2, type = 1002",
      "    source is ACTIVE",
      "    VOLUME control ID = 100",
      "        min = 0, max = ffff, steps = 65536",
      "        control is NOT UNIFORM",
      "        control is NOT DISABLED",
      "    no MUTE control",
  };
  EXPECT_EQ(m->status(), want);
  EXPECT_EQ(m->tracePoints(), (std::vector<int>{1, 2, 3, 4, 5, 6}));
  m.reset();
  EXPECT_TRUE(card.closed);
}

TEST(WaveInMixer, TheReportHoldsTraceStateAndDumpInTheirSections) {
  FakeCard card;
  card.add("Line", kSrcLine, false);
  auto m = mixerOf(card, false);
  const std::vector<std::string> r = mixerReportLines(m.get(), "Linux 6.1.0 #1 SMP", {});
  ASSERT_GE(r.size(), 12u);
  EXPECT_EQ(r[0], "WINDOWS VERSION: Linux 6.1.0 #1 SMP");
  EXPECT_EQ(r[1], "");
  EXPECT_EQ(r[2], "TRACE OF MIXER SETUP:");
  EXPECT_EQ(r[4], m->trace().front());
  const auto at = [&](const std::string& s) {
    return std::find(r.begin(), r.end(), s) - r.begin();
  };
  const auto state = at("TRACE OF MIXER STATE:");
  EXPECT_EQ(state, static_cast<long>(4 + m->trace().size() + 1));
  EXPECT_EQ(r[static_cast<size_t>(state) + 2], "Mixer is valid");
  EXPECT_LT(at("END OF TRACE"), at("DUMP OF MIXERS IN SYSTEM:"));
  EXPECT_EQ(r[r.size() - 4], "System has no available mixers");
  EXPECT_EQ(r.back(), "===========");

  // Without a mixer object: the version, then the dump straight away.
  const std::vector<std::string> bare = mixerReportLines(nullptr, "v", {"Card 0:", "  Lines:"});
  EXPECT_EQ(bare, (std::vector<std::string>{"WINDOWS VERSION: v", "", "DUMP OF MIXERS IN SYSTEM:",
                                            "-------------------------", "Card 0:", "  Lines:", "",
                                            "END OF DUMP", "==========="}));

  const auto path = std::filesystem::temp_directory_path() / "tolmar-mixer-report-test.txt";
  ASSERT_TRUE(writeMixerReport(path.string(), bare));
  std::ifstream in(path);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.substr(0, 20), "WINDOWS VERSION: v\n\n");
  std::filesystem::remove(path);
  EXPECT_FALSE(writeMixerReport("/nonexistent-dir/report.txt", bare));
}

}  // namespace
}  // namespace tolmar::test
