// The recording device's mixer over ALSA for real: a control plugin built with the tests plays
// the card (its values kept in a state file, so another program such as amixer sees them),
// and an ALSA configuration written here routes "hw:N" and two named control devices to it.

#include "audio/alsa/alsa_mixer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace tolmar::test {
namespace {

struct PluginState {
  long volume[2] = {-1, -1};
  long on[2] = {-1, -1};
  unsigned source = 99;
};

class AlsaMixerTest : public ::testing::Test {
 protected:
  // One configuration for the whole process: alsa-lib reads it once.
  static TempDir* dir;
  static std::string groupState, enumState;

  static void SetUpTestSuite() {
    dir = new TempDir;
    groupState = dir->file("group.state");
    enumState = dir->file("enum.state");
    std::ofstream conf(dir->file("asound.conf"));
    conf << "ctl_type.tolmartest { lib \"" << TOLMAR_TEST_MIXER_PLUGIN << "\" }\n"
         << "ctl.hw { @args [ CARD ] @args.CARD { type string } type tolmartest state \""
         << groupState << "\" }\n"
         << "ctl.tolmar { type tolmartest state \"" << groupState << "\" }\n"
         << "ctl.tolmar_enum { type tolmartest state \"" << enumState
         << "\" source \"Input Source\" }\n";
    conf.close();
    setenv("ALSA_CONFIG_PATH", dir->file("asound.conf").c_str(), 1);
  }
  static void TearDownTestSuite() {
    delete dir;
    dir = nullptr;
  }
  void SetUp() override {
    std::remove(groupState.c_str());
    std::remove(enumState.c_str());
  }

  static PluginState state(const std::string& file) {
    PluginState s;
    std::ifstream in(file);
    in >> s.volume[0] >> s.volume[1] >> s.on[0] >> s.on[1] >> s.source;
    return s;
  }

  // Device 3 is a card in PortAudio's way of naming it; device 4 a named plug-in.
  static std::vector<InputDeviceInfo> devices() {
    return {{3, "Test Card: Capture (hw:5,0)", true}, {4, "tolmar_enum", true}};
  }

  static std::unique_ptr<WaveInMixer> mixer(int deviceNo, bool muteUnused = true) {
    return std::make_unique<WaveInMixer>(std::make_unique<AlsaMixerApi>(devices(), 3), deviceNo,
                                         false, muteUnused, -1);
  }

  static int indexOf(const WaveInMixer& m, const std::string& name) {
    const std::vector<std::string> n = names(m);
    return static_cast<int>(std::find(n.begin(), n.end(), name) - n.begin());
  }

  static std::vector<std::string> names(const WaveInMixer& m) {
    std::vector<std::string> out;
    for (const auto& s : m.sources()) out.push_back(s.name);
    return out;
  }

  static std::string amixer(const std::string& args) {
    if (access("/usr/bin/amixer", X_OK) != 0) return {};
    std::string out;
    if (FILE* p = popen(("/usr/bin/amixer " + args + " 2>&1").c_str(), "r")) {
      char buf[256];
      while (std::fgets(buf, sizeof buf, p)) out += buf;
      pclose(p);
    }
    return out;
  }
};

TempDir* AlsaMixerTest::dir = nullptr;
std::string AlsaMixerTest::groupState;
std::string AlsaMixerTest::enumState;

TEST(AlsaControlName, ACardsDeviceNameGivesItsControlDevice) {
  EXPECT_EQ(alsaControlNameFor("HDA Intel PCH: ALC892 Analog (hw:0,0)"), "hw:0");
  EXPECT_EQ(alsaControlNameFor("USB Audio CODEC: - (hw:12,3)"), "hw:12");
  EXPECT_EQ(alsaControlNameFor("default"), "default");
  EXPECT_EQ(alsaControlNameFor("sysdefault: something"), "sysdefault:");
  EXPECT_EQ(alsaControlNameFor("odd (hw:x,0)"), "odd");
  EXPECT_EQ(alsaControlNameFor(""), "");
}

TEST_F(AlsaMixerTest, CaptureSourceItemsAreTheSourcesAndSwitchingMovesTheCard) {
  auto m = mixer(3);
  ASSERT_TRUE(m->valid()) << m->trace().front();
  // The simple mixer's own order.
  std::vector<std::string> sorted = names(*m);
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<std::string>{"Line", "Mic", "Phono"}));
  const int mic = indexOf(*m, "Mic"), line = indexOf(*m, "Line");
  EXPECT_EQ(m->currentSource(), mic) << "the card starts on Mic";
  EXPECT_FALSE(m->hasMasterVolume()) << "the items share the card's Capture volume";
  EXPECT_EQ(m->sources()[static_cast<size_t>(line)].componentType, kSrcLine);
  EXPECT_EQ(m->sources()[static_cast<size_t>(mic)].componentType, kSrcMicrophone);

  ASSERT_TRUE(m->selectSource(line)) << m->trace().back();
  EXPECT_EQ(m->currentSource(), line);
  EXPECT_EQ(state(groupState).source, 1u) << "the card's item 1 is Line";
  if (const std::string a = amixer("-D hw:5 sget Line"); !a.empty()) {
    EXPECT_NE(a.find("[on]"), std::string::npos) << a;
  }

  // Volumes come and go scaled to 0 … 65535 over the card's 0 … 31.
  ASSERT_TRUE(m->setVolumes(65535, 0, 0));
  EXPECT_EQ(state(groupState).volume[0], 31);
  EXPECT_EQ(state(groupState).volume[1], 0);
  ASSERT_TRUE(m->setVolumes(32768, 10000, 0));
  const PluginState s = state(groupState);
  EXPECT_EQ(s.volume[0], 16);
  EXPECT_EQ(s.volume[1], 5);
  int32_t l = -1, r = -1, master = -1;
  ASSERT_TRUE(m->getVolumes(l, r, master));
  // Read back at the card's step, within half a step of what was set.
  EXPECT_NEAR(l, 32768, 65535 / 31 / 2 + 1);
  EXPECT_NEAR(r, 10000, 65535 / 31 / 2 + 1);
  EXPECT_EQ(s.on[0], 1) << "the card's capture switch is not touched";
}

TEST_F(AlsaMixerTest, WhatAnotherProgramSetsIsReadAtTheNextOpen) {
  if (amixer("--version").empty()) GTEST_SKIP() << "amixer is not installed";
  amixer("-D hw:5 sset Capture 31,0");
  amixer("-D hw:5 sset Phono cap");
  auto m = mixer(3);
  ASSERT_TRUE(m->valid());
  EXPECT_EQ(m->currentSource(), indexOf(*m, "Phono")) << "Phono is the one switched on";
  int32_t l = -1, r = -1, master = -1;
  ASSERT_TRUE(m->getVolumes(l, r, master));
  EXPECT_EQ(l, 65535);
  EXPECT_EQ(r, 0);
}

TEST_F(AlsaMixerTest, AnEnumeratedInputSourceIsTheMuxToo) {
  auto m = mixer(4);
  ASSERT_TRUE(m->valid());
  EXPECT_EQ(names(*m), (std::vector<std::string>{"Mic", "Line", "Phono"}));
  ASSERT_TRUE(m->selectSource(2)) << m->trace().back();
  EXPECT_EQ(state(enumState).source, 2u);
  EXPECT_TRUE(
      std::find(m->trace().begin(), m->trace().end(),
                "Looking for a MUX control on the WaveIn line: mixerGetLineControls => 0") !=
      m->trace().end());
  // The other card was not touched.
  EXPECT_EQ(state(groupState).source, 99u);
}

TEST_F(AlsaMixerTest, ADeviceWithoutAControlDeviceGivesAnInvalidMixerWithItsTrace) {
  auto unknown = mixer(9);
  EXPECT_FALSE(unknown->valid());
  ASSERT_EQ(unknown->trace().size(), 1u);
  EXPECT_EQ(unknown->trace()[0], "Opening mixer for specific device (9): mixerOpen => -19");

  // A device name that is no control device fails at the open with ALSA's own code.
  WaveInMixer none(
      std::make_unique<AlsaMixerApi>(std::vector<InputDeviceInfo>{{0, "nothing_here", true}}, 0),
      -1, false, true, -1);
  EXPECT_FALSE(none.valid());
  ASSERT_GE(none.trace().size(), 2u);
  EXPECT_EQ(none.trace()[0], "Opening Wave Input for default device (0): waveInOpen => 0");
  EXPECT_EQ(none.trace()[1].rfind("Opening mixer for opened Wave Input: mixerOpen => -", 0), 0u)
      << none.trace()[1];
}

TEST_F(AlsaMixerTest, TheDumpShowsTheCaptureLineItsSourcesAndControlsWithTheirValues) {
  const std::vector<std::string> dump = alsaMixerDump({"tolmar", "no_such_control"});
  const auto has = [&](const std::string& line) {
    return std::find(dump.begin(), dump.end(), line) != dump.end();
  };
  EXPECT_TRUE(has("Test Card:"));
  EXPECT_TRUE(has("Capture(Capture):"));
  EXPECT_TRUE(has("        type=DST_WAVEIN"));
  EXPECT_TRUE(has("Mic(Mic):"));
  EXPECT_TRUE(has("        type=SRC_MICROPHONE"));
  EXPECT_TRUE(has("Capture Capture Volume(Capture):"));
  EXPECT_TRUE(has("        maxval=1f"));
  EXPECT_TRUE(has("Unsigned: 14")) << "the card starts at 20 on both channels";
  // The MUX items: on or off, the source line each selects, and its name.
  const auto item = [&](const std::string& on, const std::string& name) {
    return std::any_of(dump.begin(), dump.end(), [&](const std::string& l) {
      return l.rfind("T/Boolean: " + on + ", 10", 0) == 0 && l.size() > name.size() &&
             l.compare(l.size() - name.size() - 2, std::string::npos, ", " + name) == 0;
    });
  };
  EXPECT_TRUE(item("1", "Mic"));
  EXPECT_TRUE(item("0", "Phono"));
  EXPECT_FALSE(item("1", "Line"));
  EXPECT_FALSE(has("Invalid Mixer")) << "a name that is no control device is left out";
}

}  // namespace
}  // namespace tolmar::test
