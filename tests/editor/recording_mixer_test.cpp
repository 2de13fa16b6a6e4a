// The recording window's input selection and level controls over a fake card's mixer, and
// what happens when the mixer cannot be used.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "editor/context.h"
#include "editor/recording.h"
#include "support/fake_mixer.h"
#include "support/recording_support.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"

namespace tolmar::test {
namespace {

struct RecordingMixerTest : ::testing::Test {
  TempDir dir;
  ScriptedHost host;
  Context ctx{host};
  FakeClock clock;
  GeneratorFactory devices;
  FakeMixerFactory mixers;
  MarkerList markers;
  std::vector<Cue> cues;

  RecordingMixerTest() {
    host.ctx = &ctx;
    devices.clock = &clock;
    devices.pacing = MemoryInputDevice::Pacing::Clock;
    // Cancel waits for the input, pumping: the clock moves on meanwhile.
    host.onPump = [this](int) { clock.ms += 100; };
    mixers.card.add("Mic", kSrcMicrophone, 1);
    mixers.card.add("Line", kSrcLine);
    mixers.card.add("CD", kSrcCompactDisc);
    mixers.card.muxValues() = {0, 0, 1};
  }

  std::unique_ptr<TRecording> make() {
    RecordingRequest r;
    r.fileName = dir.file("side.wav");
    r.markers = &markers;
    r.cues = &cues;
    r.mixers = &mixers;
    return std::make_unique<TRecording>(ctx, &devices, clock, r);
  }
};

TEST_F(RecordingMixerTest, TheSourcesTheCurrentOneAndTheBarsComeFromTheCard) {
  mixers.card.values[0x102] = {40000, 20000};
  auto rec = make();
  ASSERT_TRUE(rec->mixerValid());
  EXPECT_FALSE(rec->narrowLayout);
  EXPECT_FALSE(rec->mixerFailurePending);
  EXPECT_EQ(rec->inputItems, (std::vector<std::string>{"Mic", "Line", "CD"}));
  EXPECT_EQ(rec->inputIndex, 2) << "the MUX has CD on";
  EXPECT_EQ(rec->lvolume, -40000);
  EXPECT_EQ(rec->rvolume, -20000);
  EXPECT_TRUE(rec->rightShown);
  EXPECT_FALSE(rec->masterShown);

  // Without "enable pan" the right bar follows the left by the same amount.
  rec->lvolumeChange(-50000);
  EXPECT_EQ(rec->rvolume, -30000);
  EXPECT_EQ(mixers.card.values[0x102], (std::vector<int32_t>{50000, 30000}));
  rec->enablePan = true;
  rec->rvolumeChange(-1000);
  EXPECT_EQ(rec->lvolume, -50000);
  EXPECT_EQ(mixers.card.values[0x102], (std::vector<int32_t>{50000, 1000}));
  // A move past the end stops there, and so does the bar that follows.
  rec->enablePan = false;
  rec->lvolumeChange(-70000);
  EXPECT_EQ(rec->lvolume, -65535);
  EXPECT_EQ(rec->rvolume, -16535);

  // A mono source hides the right bar.
  rec->inputChange(0);
  EXPECT_EQ(rec->inputIndex, 0);
  EXPECT_EQ(mixers.card.muxValues(), (std::vector<int32_t>{1, 0, 0}));
  EXPECT_FALSE(rec->rightShown);
  EXPECT_EQ(rec->lvolume, -30000);
  EXPECT_TRUE(host.messages.empty());

  // Levels another program sets show while the input runs.
  rec->startbtnClick();
  mixers.card.values[0x100] = {12345};
  clock.ms += 100;
  rec->tick();
  clock.ms += 100;
  rec->tick();
  EXPECT_GE(rec->bufferCounter(), 1);
  EXPECT_EQ(rec->lvolume, -12345);
  rec->cancelbtnClick();
  EXPECT_EQ(rec->mixer(), nullptr) << "the mixer goes with the window";
}

TEST_F(RecordingMixerTest, AFailedSwitchSaysSoAndKeepsThePreviousSource) {
  mixers.card.failSelectOf = "Line";
  auto rec = make();
  ASSERT_EQ(rec->inputIndex, 2);
  rec->inputChange(1);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Failed to switch to input Line");
  EXPECT_EQ(host.messages[0].kind, MsgKind::Error);
  EXPECT_EQ(rec->inputIndex, 2);
  EXPECT_EQ(mixers.card.muxValues(), (std::vector<int32_t>{0, 0, 1}));
}

TEST_F(RecordingMixerTest, AMasterVolumeShowsItsBarAndIsSetWithTheSource) {
  mixers.card.master = true;
  mixers.card.values[0x60] = {65535};
  auto rec = make();
  ASSERT_TRUE(rec->mixerHasMaster());
  EXPECT_TRUE(rec->masterShown);
  EXPECT_EQ(rec->mastervolume, -65535);
  rec->mastervolumeChange(-100);
  EXPECT_EQ(mixers.card.values[0x60], (std::vector<int32_t>{100}));
  EXPECT_EQ(mixers.card.values[0x102], (std::vector<int32_t>{30000, 30000}));
}

TEST_F(RecordingMixerTest, AnUnusableMixerAsksForTheFailureDialogAndItsReport) {
  setenv("TOLMAR_CONFIG_DIR", dir.file("config").c_str(), 1);
  for (auto& s : mixers.card.sources) s.volume = false;  // no source is usable
  ctx.settings.debugMixertrace = true;
  ctx.settings.recdevno = 2;
  auto rec = make();
  EXPECT_FALSE(rec->mixerValid());
  EXPECT_TRUE(rec->narrowLayout);
  EXPECT_TRUE(rec->mixerFailurePending);
  ASSERT_NE(rec->mixer(), nullptr) << "the trace and status stay available";
  EXPECT_EQ(rec->SummaryMixerInfo1Click().front(), "Mixer is NOT valid");
  ASSERT_EQ(host.messages.size(), 6u) << "one message per set-up step in debug mode";
  EXPECT_EQ(host.messages[0].text, "Mixer trace point 1");
  host.messages.clear();

  const std::string path = rec->createMixerReport();
  EXPECT_EQ(path, dir.file("config") + "/soundcard_trace.txt");
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  ASSERT_GE(lines.size(), 8u);
  EXPECT_EQ(lines[0], "WINDOWS VERSION: TestOS 1.2 #3 testarch");
  EXPECT_EQ(lines[2], "TRACE OF MIXER SETUP:");
  EXPECT_EQ(lines[4], "Opening mixer for specific device (2): mixerOpen => 0");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Fake Card:"), lines.end());
  EXPECT_EQ(lines.back(), "===========");
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text.rfind("Report written to file: \"" + path + "\"\n\n", 0), 0u);

  // "Don't tell me about this again": level controls are off from now on.
  rec->mixerFailureClosed(true);
  EXPECT_TRUE(ctx.settings.novolctrl);
  EXPECT_FALSE(rec->mixerFailurePending);
  rec->cancelbtnClick();
  EXPECT_EQ(rec->mixer(), nullptr);
  unsetenv("TOLMAR_CONFIG_DIR");
}

TEST_F(RecordingMixerTest, AReportThatCannotBeWrittenSaysSo) {
  auto rec = make();
  EXPECT_FALSE(rec->FullMixerInfo1Click(dir.file("missing/dir/report.txt")));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].kind, MsgKind::Error);
  const std::string ok = dir.file("report.txt");
  EXPECT_TRUE(rec->FullMixerInfo1Click(ok));
  EXPECT_EQ(host.messages.back().text, "Report completed and written to file \"" + ok + "\"");
}

}  // namespace
}  // namespace tolmar::test
