// The recording window's input and level controls over a fake card's mixer, and TMixerFailure
// when the mixer cannot be used, offscreen.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <cstdlib>
#include <filesystem>

#include "dialog_test_support.h"
#include "editor/recording.h"
#include "support/fake_mixer.h"
#include "support/recording_support.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "ui/dialogs/mixer_failure_dialog.h"
#include "ui/dialogs/recording_window.h"

namespace tolmar::ui {
namespace {

using tolmar::test::FakeClock;
using tolmar::test::FakeMixerFactory;
using tolmar::test::GeneratorFactory;

template <class W>
W* named(QWidget* w, const char* name) {
  return w->findChild<W*>(name);
}

QAction* action(QWidget* w, const char* name) {
  return w->findChild<QAction*>(name);
}

struct RecordingMixerWindowTest : ::testing::Test {
  tolmar::test::TempDir dir;
  tolmar::test::ScriptedHost host;
  Context ctx{host};
  FakeClock clock;
  GeneratorFactory devices;
  FakeMixerFactory mixers;
  MarkerList markers;
  std::vector<Cue> cues;

  RecordingMixerWindowTest() {
    host.ctx = &ctx;
    devices.clock = &clock;
    devices.pacing = MemoryInputDevice::Pacing::Clock;
    // Cancel waits for the input, pumping: the clock moves on meanwhile.
    host.onPump = [this](int) { clock.ms += 100; };
    mixers.card.add("Microphone", kSrcMicrophone, 1);
    mixers.card.add("Line In", kSrcLine);
    mixers.card.add("Phono", kSrcAnalog);
    mixers.card.muxValues() = {0, 0, 1};
    mixers.card.values[0x102] = {40000, 20000};
  }

  RecordingRequest request() {
    RecordingRequest r;
    r.fileName = dir.file("side.wav");
    r.markers = &markers;
    r.cues = &cues;
    r.mixers = &mixers;
    return r;
  }
};

TEST_F(RecordingMixerWindowTest, TheInputComboAndTheBarsDriveTheCard) {
  mixers.card.master = true;
  mixers.card.values[0x60] = {50000};
  TRecording rec(ctx, &devices, clock, request());
  RecordingWindow w(rec, nullptr, {});
  test::showAndWait(&w);
  auto* input = named<QComboBox>(&w, "input");
  auto* left = named<QSlider>(&w, "lvolume");
  auto* right = named<QSlider>(&w, "rvolume");
  auto* master = named<QSlider>(&w, "mastervolume");
  ASSERT_TRUE(input && left && right && master);
  EXPECT_TRUE(named<QGroupBox>(&w, "levelcontrols")->isVisible());
  ASSERT_EQ(input->count(), 3);
  EXPECT_EQ(input->itemText(1), "Line In");
  EXPECT_EQ(input->currentText(), "Phono");
  EXPECT_EQ(left->minimum(), -65535);
  EXPECT_EQ(left->maximum(), 0);
  EXPECT_EQ(left->value(), -40000);
  EXPECT_EQ(right->value(), -20000);
  EXPECT_TRUE(right->isVisible());
  EXPECT_TRUE(master->isVisible());
  EXPECT_EQ(master->value(), -50000);
  EXPECT_TRUE(action(&w, "SummaryMixerInfo1")->isEnabled());
  EXPECT_FALSE(test::screenshot(&w, "recording-mixer").isEmpty());

  // A user dragging the left bar: the right one follows, and the card takes both.
  left->setValue(-45000);
  EXPECT_EQ(right->value(), -25000);
  EXPECT_EQ(mixers.card.values[0x102], (std::vector<int32_t>{45000, 25000}));
  named<QCheckBox>(&w, "enablepan")->setChecked(true);
  right->setValue(-5000);
  EXPECT_EQ(left->value(), -45000);
  EXPECT_EQ(mixers.card.values[0x102], (std::vector<int32_t>{45000, 5000}));
  master->setValue(-1000);
  EXPECT_EQ(mixers.card.values[0x60], (std::vector<int32_t>{1000}));

  // The mono microphone hides the right bar and "enable pan".
  emit input->activated(0);
  EXPECT_EQ(mixers.card.muxValues(), (std::vector<int32_t>{1, 0, 0}));
  EXPECT_FALSE(right->isVisible());
  EXPECT_FALSE(named<QCheckBox>(&w, "enablepan")->isVisible());
  EXPECT_EQ(left->value(), -30000);

  // Display Mixer Status lists the mixer's state.
  QStringList shown;
  test::ModalDriver info([&](QWidget* d) {
    auto* list = d->findChild<QListWidget*>("lines");
    for (int i = 0; list && i < list->count(); ++i) shown << list->item(i)->text();
    test::screenshot(d, "recording-mixer-status");
    QMetaObject::invokeMethod(d, "accept", Qt::QueuedConnection);
  });
  action(&w, "SummaryMixerInfo1")->trigger();
  ASSERT_TRUE(info.ran());
  ASSERT_FALSE(shown.isEmpty());
  EXPECT_EQ(shown[0], "Mixer is valid");
  EXPECT_TRUE(shown.contains("#2 source is Phono"));
  EXPECT_TRUE(host.messages.empty()) << host.texts().front();
  w.close();
}

TEST_F(RecordingMixerWindowTest, AnUnusableMixerShowsTMixerFailureAndRecordingGoesOn) {
  setenv("TOLMAR_CONFIG_DIR", dir.file("").c_str(), 1);
  for (auto& s : mixers.card.sources) s.volume = false;
  TRecording rec(ctx, &devices, clock, request());
  std::string helpTopic;
  DialogEnv env;
  env.showHelp = [&](const std::string& topic) { helpTopic = topic; };
  RecordingWindow w(rec, nullptr, env);

  bool reported = false;
  test::ModalDriver failure(
      [&](QWidget* d) {
        EXPECT_EQ(d->windowTitle(), "Input Selection & Recording Level Adjustment");
        test::screenshot(d, "mixer-failure");
        test::byText<QPushButton>(d, "More Details..")->click();
        test::byText<QPushButton>(d, "Create Report...")->click();
        reported = std::filesystem::exists(dir.file("soundcard_trace.txt"));
        named<QCheckBox>(d, "notell")->setChecked(true);
        test::byText<QPushButton>(d, "Proceed with Recording")->click();
      },
      [](QWidget* d) { return d->objectName() == "TMixerFailure"; });
  test::showAndWait(&w);
  ASSERT_TRUE(QTest::qWaitFor([&] { return failure.ran(); }, 5000));
  EXPECT_EQ(helpTopic, MixerFailureDialog::kHelpTopic);
  EXPECT_TRUE(reported);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text.rfind("Report written to file: \"", 0), 0u);
  EXPECT_TRUE(ctx.settings.novolctrl);
  EXPECT_FALSE(named<QGroupBox>(&w, "levelcontrols")->isVisible());
  EXPECT_TRUE(action(&w, "ShowMixerTrace1")->isEnabled()) << "the trace says why";
  EXPECT_FALSE(test::screenshot(&w, "recording-no-mixer").isEmpty());

  // Recording works all the same.
  auto* start = named<QPushButton>(&w, "startbtn");
  start->click();
  EXPECT_EQ(start->text(), "Record");
  EXPECT_TRUE(rec.inputRunning());
  w.close();
  EXPECT_TRUE(rec.closed());
  unsetenv("TOLMAR_CONFIG_DIR");
}

TEST_F(RecordingMixerWindowTest, WithoutLevelControlsThereIsNoMixerAndItsMenusAreOff) {
  RecordingRequest r = request();
  r.showLevelControls = false;
  TRecording rec(ctx, &devices, clock, r);
  RecordingWindow w(rec, nullptr, {});
  test::showAndWait(&w);
  QTest::qWait(50);
  EXPECT_EQ(mixers.card.created, 0);
  EXPECT_FALSE(named<QGroupBox>(&w, "levelcontrols")->isVisible());
  EXPECT_FALSE(action(&w, "SummaryMixerInfo1")->isEnabled());
  EXPECT_FALSE(action(&w, "ShowMixerTrace1")->isEnabled());
  w.close();
}

}  // namespace
}  // namespace tolmar::ui
