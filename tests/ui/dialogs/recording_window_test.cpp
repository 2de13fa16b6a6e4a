// The recording window over the recorder, offscreen, with a generator for the sound card whose
// frames arrive as a clock the test moves says they are due: every figure the window shows is
// then known in advance.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <functional>

#include "dialog_test_support.h"
#include "editor/recording.h"
#include "support/recording_support.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "ui/dialogs/recording_window.h"
#include "ui/main_form.h"

namespace tolmar::ui {
namespace {

using tolmar::test::FakeClock;
using tolmar::test::GeneratorFactory;

// Left at -6 dB, right at about -30 dB, with a full-scale run of ten frames on the left at
// generator frame 66150.
void levels(int64_t n, int16_t& l, int16_t& r) {
  l = (n >= 66150 && n < 66160) ? 32767 : (n % 2 ? 16384 : -16384);
  r = 1000;
}

bool waitUntil(const std::function<bool()>& done) {
  return QTest::qWaitFor(done, 10000);
}

template <class W>
W* named(QWidget* w, const char* name) {
  return w->findChild<W*>(name);
}

struct RecordingWindowTest : ::testing::Test {
  tolmar::test::TempDir dir;
  tolmar::test::ScriptedHost host;
  Context ctx{host};
  FakeClock clock;
  GeneratorFactory devices;
  MarkerList markers;
  std::vector<Cue> cues;
  std::string wav = dir.file("new side.wav");

  RecordingWindowTest() {
    host.ctx = &ctx;
    devices.clock = &clock;
    devices.pacing = MemoryInputDevice::Pacing::Clock;
    devices.gen = levels;
    ctx.settings.clippingsamples = 4;
    // Cancel waits for the input, pumping: the test's clock moves on meanwhile.
    host.onPump = [this](int) { clock.ms += 100; };
  }

  RecordingRequest request() {
    RecordingRequest r;
    r.fileName = wav;
    r.markers = &markers;
    r.cues = &cues;
    r.clippingsamples = 4;
    return r;
  }

  // Moves the clock on a buffer at a time, each time waiting until the window's timer has taken
  // it: the device drops what is due while no buffer is queued, as a card would.
  void advance(TRecording& rec, int ms) {
    for (int step = 0; step < ms / 100; ++step) {
      const int64_t due = rec.bufferCounter() + 1;
      clock.ms += 100;
      ASSERT_TRUE(waitUntil([&] { return rec.bufferCounter() >= due || !rec.inputRunning(); }));
    }
  }
};

TEST_F(RecordingWindowTest, MonitorRecordPauseAndStopShowTheRecordersStateAndMeters) {
  TRecording rec(ctx, &devices, clock, request());
  RecordingWindow w(rec, nullptr, {});
  test::showAndWait(&w);
  auto* start = named<QPushButton>(&w, "startbtn");
  auto* stop = named<QPushButton>(&w, "stopbtn");
  auto* cancel = named<QPushButton>(&w, "cancelbtn");
  auto* timer = named<QLabel>(&w, "largetimer");
  ASSERT_TRUE(start && stop && cancel && timer);
  EXPECT_EQ(start->text(), "Monitor");
  EXPECT_FALSE(stop->isEnabled());
  EXPECT_FALSE(named<QWidget>(&w, "timerpanel")->isVisible());
  EXPECT_EQ(w.windowTitle(), "Record New WAV File");
  EXPECT_FALSE(test::screenshot(&w, "recording-idle").isEmpty());

  // Monitoring: the meters move, nothing is written.
  start->click();
  EXPECT_EQ(start->text(), "Record");
  EXPECT_FALSE(named<QGroupBox>(&w, "rategroup")->isEnabled());
  advance(rec, 500);
  EXPECT_EQ(w.meter(0)->ledsLit(), 11);  // 16384 lights up to -6 dB
  EXPECT_EQ(w.meter(1)->ledsLit(), 3);   // 1000 lights up to -36 dB
  EXPECT_FALSE(w.meter(0)->clipLit());
  EXPECT_EQ(named<QLabel>(&w, "lpeak")->text().toStdString(), LevelToDb(16384));
  EXPECT_FALSE(fileExists(wav));

  // Recording from generator frame 22050: the clip at 66150 is file frame 44100.
  start->click();
  EXPECT_EQ(start->text(), "Pause");
  EXPECT_EQ(start->toolTip(), "Pause Recording");
  EXPECT_TRUE(stop->isEnabled());
  EXPECT_FALSE(cancel->isEnabled());
  EXPECT_FALSE(named<QGroupBox>(&w, "limitgroup")->isEnabled());
  advance(rec, 1000);
  named<QPushButton>(&w, "trackbtn")->click();  // at 4410 × 10 frames: rounds up to 44100
  advance(rec, 1200);
  EXPECT_EQ(timer->text(), "00:02");
  EXPECT_TRUE(w.meter(0)->clipLit());
  EXPECT_FALSE(w.meter(1)->clipLit());
  QTest::keyClick(&w, Qt::Key_Space);
  EXPECT_FALSE(test::screenshot(&w, "recording-recording").isEmpty());

  // Paused time does not count.
  start->click();
  EXPECT_EQ(start->text(), "Resume");
  EXPECT_TRUE(cancel->isEnabled());
  advance(rec, 3000);
  start->click();
  EXPECT_EQ(start->text(), "Pause");
  advance(rec, 800);
  EXPECT_EQ(timer->text(), "00:03");

  stop->click();
  EXPECT_FALSE(start->isEnabled());
  EXPECT_FALSE(stop->isEnabled());
  EXPECT_EQ(cancel->text(), "Close");
  advance(rec, 100);
  ASSERT_TRUE(waitUntil([&] { return !rec.inputRunning(); }));
  EXPECT_EQ(w.meter(0)->ledsLit(), 0) << "the meters go dark when the input stops";
  EXPECT_FALSE(test::screenshot(&w, "recording-stopped").isEmpty());
  cancel->click();
  EXPECT_TRUE(rec.closed());
  EXPECT_FALSE(w.isVisible());

  // 3.0 s recorded (10 + 12 buffers, then 8 after the pause) and the buffer the stop came with.
  const tolmar::test::WavContents f = tolmar::test::readWav(wav);
  ASSERT_TRUE(f.accepted);
  EXPECT_EQ(f.dataBytes % (4410 * 4), 0u);
  EXPECT_GE(f.dataBytes, 30u * 4410 * 4);
  ASSERT_GE(markers.size(), 2u);
  EXPECT_EQ(markers.items[0].kind, Marker::Left);
  EXPECT_EQ(markers.items[0].position, 44103);
  EXPECT_EQ(markers.items[0].count, 10);
  EXPECT_EQ(markers.items[1].kind, Marker::Both) << "Space places a marker";
  ASSERT_EQ(cues.size(), 1u);
  EXPECT_EQ(cues[0].position, 44100);
  EXPECT_TRUE(cues[0].track);
  EXPECT_TRUE(host.messages.empty()) << host.texts().front();
}

TEST_F(RecordingWindowTest, TheTimerTicksTheRecorderOftenAndTheCloseBoxCancels) {
  TRecording rec(ctx, &devices, clock, request());
  RecordingWindow w(rec, nullptr, {});
  test::showAndWait(&w);
  named<QPushButton>(&w, "startbtn")->click();
  const int before = w.ticks();
  QTest::qWait(1000);
  // Twenty a second when the machine keeps up; a loaded one still gives several.
  EXPECT_GE(w.ticks() - before, 5);
  EXPECT_LE(RecordingWindow::kTickMs, 100);
  w.close();
  EXPECT_TRUE(rec.closed());
  EXPECT_FALSE(rec.inputRunning());
  EXPECT_FALSE(fileExists(wav)) << "monitoring never writes a file";
}

TEST_F(RecordingWindowTest, TimerDelayedRecordingStartsAtTheChosenMinute) {
  TRecording rec(ctx, &devices, clock, request());
  RecordingWindow w(rec, nullptr, {});
  test::showAndWait(&w);
  // A limit of 2 minutes, so the start asks nothing.
  for (QRadioButton* b : w.findChildren<QRadioButton*>())
    if (b->text() == "minutes:") b->click();
  EXPECT_FALSE(rec.maxLimit);
  named<QPushButton>(&w, "timerdelaybtn")->click();
  EXPECT_TRUE(named<QWidget>(&w, "timerpanel")->isVisible());
  // 22:13:20 now: the start is 22:14:00, moved on a minute to 22:15:00.
  EXPECT_EQ(named<QLabel>(&w, "dtnow")->text(), "2023-11-14 22:13:20");
  named<QPushButton>(&w, "UpDown3Up")->click();
  EXPECT_EQ(named<QLabel>(&w, "dtstart")->text(), "2023-11-14 22:15:00");
  EXPECT_FALSE(test::screenshot(&w, "recording-timer-delayed").isEmpty());
  auto* timed = named<QPushButton>(&w, "timedrecbtn");
  timed->click();
  EXPECT_EQ(timed->text(), "Waiting");
  EXPECT_FALSE(named<QPushButton>(&w, "UpDown1Up")->isEnabled());
  clock.ms += 60000;
  QTest::qWait(300);
  EXPECT_EQ(rec.state(), TRecording::Idle) << "started a minute early";
  clock.ms += 41000;
  ASSERT_TRUE(waitUntil([&] { return rec.state() == TRecording::Recording; }));
  EXPECT_EQ(timed->text(), "Recording");
  EXPECT_EQ(named<QPushButton>(&w, "startbtn")->text(), "Pause");
  named<QPushButton>(&w, "stopbtn")->click();
  clock.ms += 200;
  ASSERT_TRUE(waitUntil([&] { return !rec.inputRunning(); }));
  named<QPushButton>(&w, "cancelbtn")->click();
  EXPECT_TRUE(fileExists(wav));
}

TEST(RecordingFromTheWindow, RecordNewWavFileOpensTheNewFileWithItsMarkersAndCues) {
  tolmar::test::TempDir dir;
  setenv("TOLMAR_CONFIG_DIR", dir.file("").c_str(), 1);
  FakeClock clock;
  GeneratorFactory devices;
  devices.clock = &clock;
  devices.pacing = MemoryInputDevice::Pacing::Clock;
  devices.gen = levels;
  TMainForm form(true);
  form.FormCreate(false);
  form.editor().inputDevices = &devices;
  form.editor().recordingClock = &clock;
  form.editor().recordDeviceFound = true;
  form.editor().ctx.settings.clippingsamples = 4;
  form.editor().ctx.settings.newstylewaveform = false;
  form.show();
  const std::string wav = dir.file("side b.wav");

  test::ModalDriver files(
      [&](QWidget* w) {
        auto* f = qobject_cast<QFileDialog*>(w);
        f->selectFile(QString::fromStdString(wav));
        QMetaObject::invokeMethod(f, "accept", Qt::QueuedConnection);
      },
      [](QWidget* w) { return qobject_cast<QFileDialog*>(w) != nullptr; });
  bool recorded = false;
  test::ModalDriver window(
      [&](QWidget* w) {
        auto* r = dynamic_cast<RecordingWindow*>(w);
        ASSERT_TRUE(r);
        auto* start = named<QPushButton>(r, "startbtn");
        const auto advance = [&](int buffers) {
          for (int i = 0; i < buffers; ++i) {
            const int64_t due = r->model().bufferCounter() + 1;
            clock.ms += 100;
            ASSERT_TRUE(waitUntil([&] { return r->model().bufferCounter() >= due; }));
          }
        };
        start->click();
        advance(5);
        start->click();
        advance(20);
        EXPECT_EQ(r->findChild<QLabel*>("largetimer")->text(), "00:02");
        named<QPushButton>(r, "trackbtn")->click();
        named<QPushButton>(r, "stopbtn")->click();
        clock.ms += 100;
        ASSERT_TRUE(waitUntil([&] { return !r->model().inputRunning(); }));
        recorded = named<QPushButton>(r, "cancelbtn")->text() == "Close";
        named<QPushButton>(r, "cancelbtn")->click();
      },
      [](QWidget* w) { return dynamic_cast<RecordingWindow*>(w) != nullptr; });
  EXPECT_TRUE(form.routeCommand(*findCommand("Play/Record | Input (Record) New WAV File")));
  EXPECT_TRUE(files.ran());
  EXPECT_TRUE(window.ran());
  EXPECT_TRUE(recorded);
  Editor& ed = form.editor();
  ASSERT_TRUE(ed.doc);
  EXPECT_EQ(ed.doc->path, wav);
  EXPECT_GE(ed.doc->frameCount, 20 * 4410);
  ASSERT_EQ(ed.markers.size(), 1u);
  EXPECT_EQ(ed.markers.items[0].position, 44103);
  ASSERT_EQ(ed.doc->cues.size(), 1u);
  EXPECT_EQ(ed.doc->cues[0].position % 588, 0);
  EXPECT_GE(ed.doc->cues[0].position, 2 * 44100);
  {
    // The recorded cues are not in a cue sheet yet: closing asks first.
    test::MessageCatcher proceed(QMessageBox::Yes);
    form.close();
    ASSERT_EQ(proceed.texts().size(), 1u);
    EXPECT_TRUE(proceed.texts()[0].startsWith("There cue points which have not been saved"));
  }
  unsetenv("TOLMAR_CONFIG_DIR");
}

}  // namespace
}  // namespace tolmar::ui
