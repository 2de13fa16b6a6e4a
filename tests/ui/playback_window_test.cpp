// Playback in the window on the offscreen platform: the window's own event loop drives it, the
// play cursor moves over the wave area, the keys and the mouse act on it while it plays.
// Screenshots land in TOLMAR_SHOT_DIR.

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "audio/memory_output.h"
#include "editor/command_table.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "ui/dialogs/preview_dialogs.h"
#include "ui/main_form.h"
#include "ui/wave_area.h"

using namespace tolmar;
using tolmar::test::Frame;
using tolmar::test::TempDir;
using tolmar::test::WavBuilder;

namespace {

// Four seconds of a tone, so that the cursor crosses a waveform.
int16_t toneLeft(int32_t i) {
  // A rising pitch under a falling level: no stretch of it repeats, so frames name their place.
  const double t = i / 44100.0;
  return static_cast<int16_t>(
      std::lround(12000 * std::sin(2 * M_PI * (220 * t + 40 * t * t)) * (1.0 - 0.2 * t)) + 1);
}

// Where in the tone a buffer's frames come from (-1 when nowhere).
int32_t toneFrameOf(const std::vector<int16_t>& samples) {
  for (int32_t f = 0; f + 16 < 44100 * 4; ++f) {
    bool same = true;
    for (int32_t j = 0; j < 16 && same; ++j)
      same = samples[2 * static_cast<size_t>(j)] == toneLeft(f + j);
    if (same) return f;
  }
  return -1;
}

std::string toneSide(const std::string& path) {
  WavBuilder()
      .frames(44100 * 4,
              [](int32_t i) {
                const int16_t v = toneLeft(i);
                return Frame{v, static_cast<int16_t>(-v / 2)};
              })
      .write(path);
  return path;
}

}  // namespace

class PlaybackWindowTest : public QObject {
  Q_OBJECT

  TempDir dir_;
  std::string shotDir_;
  std::string side_;

  // A shown window over the tone, the whole file in view, playing into a memory device that
  // keeps real time (paced) or takes every buffer at once.
  struct Window {
    TMainForm form{false};
    MemoryOutputBackend* out = nullptr;
    Editor& ed() { return form.editor(); }
  };
  std::unique_ptr<Window> open(bool paced) {
    auto w = std::make_unique<Window>();
    auto backend = std::make_unique<MemoryOutputBackend>(paced);
    w->out = backend.get();
    w->form.editor().setOutputBackend(std::move(backend));
    w->form.FormCreate(false);
    w->form.resize(1000, 500);
    w->form.show();
    w->form.openCommandLine(side_);
    w->ed().EntireFileBtnClick();
    w->form.idlePass();
    return w;
  }
  static bool run(TMainForm& f, const char* path) {
    const Command* c = findCommand(path);
    return c && f.routeCommand(*c);
  }
  static QImage grabArea(TMainForm& f) {
    f.waveArea()->repaint();
    return f.waveArea()->grab().toImage();
  }
  void save(const QImage& img, const char* name) {
    if (!shotDir_.empty()) img.save(QString::fromStdString(shotDir_ + "/" + name));
  }
  // The dialog's own bars, in the order made (not those of its preset list).
  static QList<QScrollBar*> effectBars(QWidget* dlg) {
    QList<QScrollBar*> out;
    for (QScrollBar* b : dlg->findChildren<QScrollBar*>()) {
      bool inList = false;
      for (QWidget* p = b->parentWidget(); p && p != dlg; p = p->parentWidget())
        inList = inList || qobject_cast<QListWidget*>(p);
      if (!inList) out << b;
    }
    return out;
  }
  static void waitUntilStopped(Editor& ed) { QTRY_VERIFY_WITH_TIMEOUT(!ed.ctx.playing, 10000); }

 private slots:
  void initTestCase() {
    setenv("TOLMAR_CONFIG_DIR", dir_.file("").c_str(), 1);
    if (const char* d = std::getenv("TOLMAR_SHOT_DIR")) shotDir_ = d;
    if (!shotDir_.empty()) std::filesystem::create_directories(shotDir_);
    side_ = toneSide(dir_.file("tone.wav"));
  }

  void playReturnsAtOnceAndTheWindowsLoopPlaysItToTheEnd() {
    auto w = open(true);
    Editor& ed = w->ed();
    ed.doc->selStart = 44100;
    ed.doc->selEnd = 44100 + 22049;  // half a second
    const Command* zoom = findCommand("View | Zoom In");
    const Command* stop = findCommand("Play/Record | Kill (Stop) Output");
    QVERIFY(zoom && stop);
    QVERIFY(run(w->form, "Play/Record | Output (Play) Selection"));
    QVERIFY(ed.ctx.playing);
    w->form.idlePass();
    QVERIFY(!w->form.actionFor(*zoom)->isEnabled());
    QVERIFY(w->form.actionFor(*stop)->isEnabled());
    QVERIFY(!w->form.routeCommand(*zoom));
    QElapsedTimer clock;
    clock.start();
    waitUntilStopped(ed);
    // A paced device holds the window for the length of the sound, not less.
    QVERIFY2(clock.elapsed() >= 400, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(w->out->log->played().size(), size_t{2} * 22050);
    QCOMPARE(w->out->log->events.back(), std::string("close"));
    w->form.idlePass();
    QVERIFY(w->form.actionFor(*zoom)->isEnabled());
    QVERIFY(!w->form.actionFor(*stop)->isEnabled());
  }

  void thePlayCursorIsAnInvertedColumnThatMovesAndGoesAway() {
    auto w = open(true);
    Editor& ed = w->ed();
    ed.doc->selStart = 22050;
    ed.doc->selEnd = 44100 * 3;
    const QImage before = grabArea(w->form);
    WaveArea* area = w->form.waveArea();
    QVERIFY(run(w->form, "Play/Record | Output (Play) Selection"));
    QVERIFY(area->playCursorShown());
    const int startX = area->playCursorX();
    QTest::qWait(450);
    const int x = area->playCursorX();
    QVERIFY2(x > startX, qPrintable(QString("%1 -> %2").arg(startX).arg(x)));
    const QImage during = grabArea(w->form);
    save(during, "play_cursor.png");
    QCOMPARE(x, area->playCursorX());
    const qreal dpr = during.devicePixelRatio();
    const int top = ed.view.areaTop(), h = ed.view.areaHeight();
    const int cx = static_cast<int>(x * dpr);
    // Every row of the wave area at the cursor's column is the old pixel inverted; the columns
    // beside it are untouched.
    for (int y = static_cast<int>(top * dpr); y < static_cast<int>((top + h) * dpr); ++y) {
      QCOMPARE(during.pixel(cx, y) & 0xFFFFFFu, (before.pixel(cx, y) ^ 0xFFFFFFu) & 0xFFFFFFu);
      QCOMPARE(during.pixel(cx - static_cast<int>(dpr), y),
               before.pixel(cx - static_cast<int>(dpr), y));
    }
    // Stopping erases it.
    QVERIFY(run(w->form, "Play/Record | Kill (Stop) Output"));
    waitUntilStopped(ed);
    QVERIFY(!area->playCursorShown());
    const QImage after = grabArea(w->form);
    for (int y = static_cast<int>(top * dpr); y < static_cast<int>((top + h) * dpr); ++y)
      QCOMPARE(after.pixel(cx, y), before.pixel(cx, y));
  }

  void thePauseButtonHoldsThePassWhereItStandsAndResumesWithoutLosingAFrame() {
    auto w = open(true);
    Editor& ed = w->ed();
    ed.doc->selStart = 44100;
    ed.doc->selEnd = 44100 + 44099;  // one second
    QToolButton* pause = w->form.pauseButton();
    QVERIFY(pause);
    QVERIFY(!pause->isVisible());
    QVERIFY(run(w->form, "Play/Record | Output (Play) Selection"));
    QTRY_VERIFY(pause->isVisible());
    QVERIFY(!pause->isChecked());
    QTest::qWait(250);
    pause->click();
    QVERIFY(ed.playback().paused());
    QVERIFY(pause->isChecked());
    QCOMPARE(pause->text(), QString("Resume"));
    save(w->form.grab().toImage(), "paused.png");
    const size_t queued = w->out->log->buffers.size();
    const int32_t held = ed.playPosition();
    QTest::qWait(300);
    QCOMPARE(ed.playPosition(), held);
    QCOMPARE(w->out->log->buffers.size(), queued);
    pause->click();
    QVERIFY(!ed.playback().paused());
    QVERIFY(!pause->isChecked());
    QCOMPARE(pause->text(), QString("Pause"));
    // Esc pauses as well, and the button follows it.
    QTest::keyClick(&w->form, Qt::Key_Escape);
    QVERIFY(pause->isChecked());
    QTest::keyClick(&w->form, Qt::Key_Escape);
    QVERIFY(!pause->isChecked());
    const auto& ev = w->out->log->events;
    QCOMPARE(std::count(ev.begin(), ev.end(), "pause"), 2);
    QCOMPARE(std::count(ev.begin(), ev.end(), "restart"), 2);
    waitUntilStopped(ed);
    QTRY_VERIFY(!pause->isVisible());
    // Every frame of the selection reached the device once, in order.
    const std::vector<int16_t> played = w->out->log->played();
    QCOMPARE(played.size(), size_t{2} * 44100);
    for (int32_t i = 0; i < 44100; ++i)
      if (played[2 * static_cast<size_t>(i)] != toneLeft(44100 + i))
        QFAIL(qPrintable(QString("frame %1 differs").arg(i)));
  }

  void keysWhilePlayingPauseSpeedUpSkipAndDropMarkers() {
    auto w = open(true);
    Editor& ed = w->ed();
    ed.doc->selStart = 0;
    ed.doc->selEnd = 44100 * 4 - 1;
    ed.ZoomIn1Click();
    ed.ZoomIn1Click();  // a view of one second: a skip stays inside the file
    ed.markers.Clear();
    QVERIFY(run(w->form, "Play/Record | Output (Play) Selection"));
    QTest::qWait(150);
    // Esc pauses: the device is paused and the cursor stands still.
    QTest::keyClick(&w->form, Qt::Key_Escape);
    QVERIFY(ed.playback().paused());
    const int32_t held = ed.playPosition();
    QTest::qWait(250);
    QCOMPARE(ed.playPosition(), held);
    QTest::keyClick(&w->form, Qt::Key_Escape);
    QVERIFY(!ed.playback().paused());
    const auto& ev = w->out->log->events;
    QVERIFY(std::find(ev.begin(), ev.end(), "pause") != ev.end());
    QVERIFY(std::find(ev.begin(), ev.end(), "restart") != ev.end());
    // "=" speeds up only with Alt or Ctrl; "-" slows down likewise.
    QTest::keyClick(&w->form, Qt::Key_Equal);
    QCOMPARE(ed.playback().speedFactor(), 1);
    QTest::keyClick(&w->form, Qt::Key_Equal, Qt::ControlModifier);
    QCOMPARE(ed.playback().speedFactor(), 2);
    QTest::keyClick(&w->form, Qt::Key_Minus, Qt::AltModifier);
    QTest::keyClick(&w->form, Qt::Key_Minus, Qt::AltModifier);
    QVERIFY(ed.playback().slowMotion());
    QTest::keyClick(&w->form, Qt::Key_Equal, Qt::AltModifier);
    QCOMPARE(ed.playback().speedFactor(), 1);
    QVERIFY(!ed.playback().slowMotion());
    // Space drops a marker markeroffset before the play position; the view does not page.
    QTRY_VERIFY(ed.playPosition() > 20000);
    const int32_t viewStart = ed.doc->viewStart;
    const int32_t at = ed.playPosition();
    QTest::keyClick(&w->form, Qt::Key_Space);
    QCOMPARE(ed.markers.size(), size_t{1});
    QCOMPARE(ed.markers.items[0].position, at - 44100 * ed.ctx.settings.markeroffset / 1000);
    QCOMPARE(ed.doc->viewStart, viewStart);
    // Enter skips one view width ahead: the next buffer filled starts that much later.
    const size_t before = w->out->log->buffers.size();
    QTest::keyClick(&w->form, Qt::Key_Return);
    QCOMPARE(ed.doc->viewStart, viewStart);
    QTRY_VERIFY(w->out->log->buffers.size() > before);
    const int32_t from = toneFrameOf(w->out->log->buffers[before - 1].samples);
    QVERIFY(from >= 0);
    QCOMPARE(toneFrameOf(w->out->log->buffers[before].samples),
             from + ed.playback().blockFrames() + ed.doc->viewWidth);
    QVERIFY(run(w->form, "Play/Record | Kill (Stop) Output"));
    waitUntilStopped(ed);
    // Played with the skip, the file's four seconds take less than four seconds of frames.
    QVERIFY(w->out->log->played().size() < size_t{2} * 44100 * 4);
  }

  void altRightClickPlaysFromThereUntilTheButtonComesUp() {
    auto w = open(true);
    Editor& ed = w->ed();
    ed.doc->selStart = 100;
    ed.doc->selEnd = 200;
    ed.markers.Clear();
    WaveArea* area = w->form.waveArea();
    const QPoint at(400, 60);
    const int32_t frame = ed.frameAtPixel(at.x());
    QTest::mousePress(area, Qt::RightButton, Qt::AltModifier, at);
    QVERIFY(ed.ctx.playing);
    QCOMPARE(ed.doc->selStart, frame);
    QCOMPARE(ed.doc->selEnd, ed.doc->frameCount - 1);
    QTest::qWait(300);
    // A drag while playing from the click selects nothing.
    QMouseEvent move(QEvent::MouseMove, QPointF(600, 60), area->mapToGlobal(QPointF(600, 60)),
                     Qt::NoButton, Qt::RightButton, Qt::AltModifier);
    QApplication::sendEvent(area, &move);
    QVERIFY(!ed.dragInProgress);
    const int32_t position = ed.playPosition();
    QTest::mouseRelease(area, Qt::RightButton, Qt::AltModifier, at);
    waitUntilStopped(ed);
    QCOMPARE(ed.doc->selStart, 100);
    QCOMPARE(ed.doc->selEnd, 200);
    QCOMPARE(ed.markers.size(), size_t{1});
    QVERIFY(ed.markers.items[0].position >= position);
    QVERIFY(ed.markers.items[0].position > frame);
    const auto played = w->out->log->played();
    QVERIFY(!played.empty());
    QCOMPARE(played[0], toneLeft(frame));
  }

  void theAmplifyPreviewDialogPlaysLiveWithBypassAndTheClipIndicator() {
    auto w = open(true);
    Editor& ed = w->ed();
    Settings& s = ed.ctx.settings;
    s.amplifyfactorl = s.amplifyfactorr = 0.0;
    s.ampequal = true;
    ed.preview.bypass = true;  // left on by an earlier preview
    ed.doc->selStart = 44100;
    ed.doc->selEnd = 44100 * 3;
    QVERIFY(run(w->form, "Other Effects | Amplify/Compress Preview"));
    ui::PreviewDialog* dlg = w->form.previewDialog();
    QVERIFY(dlg);
    QCOMPARE(dlg->windowTitle(), QStringLiteral("Amplify/Compress Preview"));
    QVERIFY(dlg->isVisible());
    QVERIFY(!dlg->bypassBox()->isChecked());
    QVERIFY(!ed.preview.bypass);
    QCOMPARE(dlg->clipColour(), ui::PreviewDialog::kClipGreen);
    // The large up arrow of the left gain, three times: +3 dB on both channels, at once.
    QList<QToolButton*> arrows = dlg->findChildren<QToolButton*>();
    QVERIFY(arrows.size() >= 4);
    QToolButton* leftLargeUp = arrows[2];
    for (int i = 0; i < 3; ++i) leftLargeUp->click();
    QCOMPARE(s.amplifyfactorl, 3.0);
    QCOMPARE(s.amplifyfactorr, 3.0);
    QCOMPARE(dlg->findChildren<QLineEdit*>()[0]->text(), QStringLiteral("3.0"));
    const size_t changedAt = w->out->log->buffers.size();
    QTRY_VERIFY(w->out->log->buffers.size() > changedAt + 2);
    // A buffer filled after the change is louder than the file there.
    const auto louder = [&](const std::vector<int16_t>& b) {
      const int32_t at = toneFrameOf(b);
      return at < 0;  // amplified frames are found nowhere in the file
    };
    QVERIFY(louder(w->out->log->buffers[changedAt + 1].samples));
    // By-Pass: the file as it is, from where the playback is, on the same device.
    dlg->bypassBox()->click();
    QVERIFY(ed.preview.bypass);
    const size_t bypassedAt = w->out->log->buffers.size();
    QTRY_VERIFY(w->out->log->buffers.size() > bypassedAt + 1);
    const int32_t from = toneFrameOf(w->out->log->buffers[bypassedAt].samples);
    QVERIFY(from > 44100);
    QCOMPARE(w->out->log->opens, 1);
    // Too much gain clips: the indicator turns red; "Clip" sets it back to green.
    dlg->bypassBox()->click();
    for (int i = 0; i < 30; ++i) leftLargeUp->click();
    QTRY_COMPARE(dlg->clipColour(), ui::PreviewDialog::kClipRed);
    save(dlg->grab().toImage(), "amplify_preview.png");
    s.amplifyfactorl = s.amplifyfactorr = 0.0;
    QTest::qWait(600);  // the buffers already filled with the gain play out
    dlg->clipButton()->click();
    QCOMPARE(dlg->clipColour(), ui::PreviewDialog::kClipGreen);
    // Stop closes the dialog with the playback; the next one opens where this one was.
    dlg->move(123, 45);
    const QPoint at = dlg->pos();
    for (QPushButton* b : dlg->findChildren<QPushButton*>())
      if (b->text() == QStringLiteral("Stop")) b->click();
    waitUntilStopped(ed);
    QVERIFY(!w->form.previewDialog());
    QCOMPARE(s.dialogpos[2], at.x());  // compressx, compressy
    QCOMPARE(s.dialogpos[3], at.y());
    QVERIFY(run(w->form, "Other Effects | Amplify/Compress Preview"));
    QVERIFY(w->form.previewDialog());
    QCOMPARE(w->form.previewDialog()->pos(), at);
    QVERIFY(run(w->form, "Play/Record | Kill (Stop) Output"));
    waitUntilStopped(ed);
  }

  void theChannelMixPreviewAppliesPresetsLiveAndStoresNewOnes() {
    auto w = open(true);
    Editor& ed = w->ed();
    ed.ctx.settings.mixer = {100, 0, 0, 100, false, false};
    ed.doc->selStart = 44100;
    ed.doc->selEnd = 44100 * 3;
    QVERIFY(run(w->form, "Other Effects | Channel Mix Preview"));
    ui::PreviewDialog* dlg = w->form.previewDialog();
    QVERIFY(dlg);
    QCOMPARE(dlg->windowTitle(), QStringLiteral("Channel Mix Preview"));
    auto* list = dlg->findChild<QListWidget*>();
    QVERIFY(list);
    QStringList names;
    for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
    QStringList sorted = names;
    sorted.sort();
    QCOMPARE(names, sorted);
    // "Swap Channels": the bars move and the next buffers come swapped.
    const auto swap = list->findItems(QStringLiteral("Swap Channels"), Qt::MatchExactly);
    QCOMPARE(swap.size(), 1);
    list->setCurrentItem(swap[0]);
    emit list->itemClicked(swap[0]);
    QCOMPARE(ed.ctx.settings.mixer.leftleft, 0);
    QCOMPARE(ed.ctx.settings.mixer.leftright, 100);
    QCOMPARE(ed.ctx.settings.mixer.rightleft, 100);
    QCOMPARE(ed.ctx.settings.mixer.rightright, 0);
    QCOMPARE(effectBars(dlg)[1]->value(), 100);
    const size_t at = w->out->log->buffers.size();
    QTRY_VERIFY(w->out->log->buffers.size() > at + 1);
    const auto& b = w->out->log->buffers[at + 1].samples;
    // The right channel now carries the old left: -v/2 on the left, v on the right.
    int swapped = 0;
    for (size_t i = 0; i + 1 < b.size(); i += 2)
      if (std::abs(b[i + 1]) > 100 && std::abs(2 * b[i] + b[i + 1]) <= 2) ++swapped;
    QVERIFY2(swapped > static_cast<int>(b.size() / 4), qPrintable(QString::number(swapped)));
    // A new preset is named in the question, added to the list and written to VESKOR.INI.
    QTimer::singleShot(0, [] {
      if (auto* in = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
        QCOMPARE(in->labelText(), QStringLiteral("Name for new channel mixer preset:"));
        in->setTextValue(QStringLiteral("My Swap"));
        in->accept();
      }
    });
    for (QPushButton* p : dlg->findChildren<QPushButton*>())
      if (p->text() == QStringLiteral("Add New Preset")) p->click();
    QCOMPARE(list->findItems(QStringLiteral("My Swap"), Qt::MatchExactly).size(), 1);
    std::ifstream ini(ed.iniFile.path());
    std::stringstream text;
    text << ini.rdbuf();
    QVERIFY2(text.str().find("0/100/100/0/0/0/My Swap") != std::string::npos, text.str().c_str());
    save(dlg->grab().toImage(), "channel_mix_preview.png");
    QVERIFY(run(w->form, "Play/Record | Kill (Stop) Output"));
    waitUntilStopped(ed);
    QVERIFY(!w->form.previewDialog());
  }

  void theEqualisePreviewBarsSetTheBandsAndPresetsMoveTheBars() {
    auto w = open(true);
    Editor& ed = w->ed();
    Settings::Equalise& eq = ed.ctx.settings.equalise;
    eq = Settings::Equalise{};
    eq.gain[3] = 1.12;  // as a macro's preset leaves it: opening the dialog keeps it
    ed.doc->selStart = 44100;
    ed.doc->selEnd = 44100 * 3;
    QVERIFY(run(w->form, "Other Effects | Equalise Preview"));
    ui::PreviewDialog* dlg = w->form.previewDialog();
    QVERIFY(dlg);
    QCOMPARE(dlg->windowTitle(), QStringLiteral("Equalise Preview"));
    QCOMPARE(eq.gain[3], 1.12);
    QList<QScrollBar*> bars = effectBars(dlg);
    QCOMPARE(bars.size(), 11);  // ten bands and the overall gain
    QCOMPARE(bars[0]->minimum(), -120);
    QCOMPARE(bars[0]->maximum(), 120);
    // The top is +12 dB: position -(dB * 10).
    bars[2]->setValue(-35);
    QCOMPARE(eq.dbgain[2], 3.5);
    QCOMPARE(eq.gain[2], std::pow(1.1225, 3.5));
    bool shown = false;
    for (QLabel* l : dlg->findChildren<QLabel*>()) shown = shown || l->text() == "+3.5";
    QVERIFY(shown);
    bars[10]->setValue(40);
    QCOMPARE(eq.overallgain, 0.6);
    // A preset moves the bars, and the bars set the settings.
    auto* list = dlg->findChild<QListWidget*>();
    QVERIFY(list);
    const auto boost = list->findItems(QStringLiteral("Bass Boost"), Qt::MatchExactly);
    QCOMPARE(boost.size(), 1);
    emit list->itemClicked(boost[0]);
    QCOMPARE(bars[2]->value(), -55);
    QCOMPARE(eq.dbgain[2], 5.5);
    QCOMPARE(eq.dbgain[0], 0.0);
    QCOMPARE(eq.gain[1], std::pow(1.1225, 4.0));
    // The buffers filled now are the equalised sound, not the file.
    const size_t at = w->out->log->buffers.size();
    QTRY_VERIFY(w->out->log->buffers.size() > at + 1);
    QCOMPARE(toneFrameOf(w->out->log->buffers[at + 1].samples), -1);
    save(dlg->grab().toImage(), "equalise_preview.png");
    QVERIFY(run(w->form, "Play/Record | Kill (Stop) Output"));
    waitUntilStopped(ed);
  }

  void theDeclickPreviewCountsRepairsCouplesItsBarsAndRemoves() {
    // The tone with a sharp click every quarter second.
    const std::string clicky = dir_.file("clicky.wav");
    WavBuilder()
        .frames(44100 * 4,
                [](int32_t i) {
                  const int16_t v = toneLeft(i);
                  const int16_t c = (i % 11025 == 5000) ? 14000 : 0;
                  return Frame{static_cast<int16_t>(v / 2 + c), static_cast<int16_t>(-v / 4 - c)};
                })
        .write(clicky);
    Window w;
    auto backend = std::make_unique<MemoryOutputBackend>(true);
    w.out = backend.get();
    w.ed().setOutputBackend(std::move(backend));
    w.form.FormCreate(false);
    w.form.show();
    w.form.openCommandLine(clicky);
    Editor& ed = w.ed();
    ed.params.shape = ClickShape::Spike;
    ed.params.relAmplitude = 300;
    ed.doc->selStart = 0;
    ed.doc->selEnd = 44100 * 2;
    QVERIFY(run(w.form, "Declicking | Declick Preview"));
    ui::PreviewDialog* dlg = w.form.previewDialog();
    QVERIFY(dlg);
    QCOMPARE(dlg->windowTitle(), QStringLiteral("Declick Preview Parameters"));
    QVERIFY(!dlg->clipButton()->isVisible());
    const auto label = [&](const QString& start) {
      for (QLabel* l : dlg->findChildren<QLabel*>())
        if (l->text().startsWith(start)) return l->text();
      return QString();
    };
    QTRY_VERIFY_WITH_TIMEOUT(label("#clicks this pass: ") != "#clicks this pass: 0", 3000);
    // The width bar drags the repair bar up; the repair bar drags the width bar down.
    QList<QSlider*> bars = dlg->findChildren<QSlider*>();
    QCOMPARE(bars.size(), 3);
    bars[0]->setValue(30);
    QCOMPARE(ed.params.clickWidth, 30);
    QVERIFY(ed.params.repairWidth >= 30);
    QCOMPARE(bars[2]->value(), static_cast<int>(ed.params.repairWidth));
    bars[2]->setValue(10);
    QCOMPARE(ed.params.repairWidth, 10);
    QCOMPARE(ed.params.clickWidth, 10);
    QCOMPARE(bars[0]->value(), 10);
    bars[0]->setValue(5);
    save(dlg->grab().toImage(), "declick_preview.png");
    // Remove: the preview stops and the clicks of the selection are repaired with undo.
    QVERIFY(ed.doc->interps.empty());
    for (QPushButton* b : dlg->findChildren<QPushButton*>())
      if (b->text() == QStringLiteral("Remove")) b->click();
    waitUntilStopped(ed);
    QVERIFY(!w.form.previewDialog());
    QCOMPARE(ed.clicks.storedCount(), 16);  // two seconds of clicks four times a second
    QVERIFY(!ed.doc->interps.empty());
  }

  void theFilterPreviewStepsItsFrequenciesAndAppliesPresets() {
    auto w = open(true);
    Editor& ed = w->ed();
    Settings::Filter& f = ed.ctx.settings.filter;
    f = Settings::Filter{};
    ed.doc->selStart = 44100;
    ed.doc->selEnd = 44100 * 3;
    QVERIFY(run(w->form, "Other Effects | Filter Preview"));
    ui::PreviewDialog* dlg = w->form.previewDialog();
    QVERIFY(dlg);
    QCOMPARE(dlg->windowTitle(), QStringLiteral("Filter Preview"));
    QList<QRadioButton*> radios = dlg->findChildren<QRadioButton*>();
    QCOMPARE(radios.size(), 12);
    QVERIFY(radios[0]->isChecked());  // "Filter Off"
    radios[1]->click();               // section 1: "High Pass"
    QCOMPARE(f.type[0], 1);
    // Section 1's arrows: small up, small down, large up, large down.
    QList<QToolButton*> arrows = dlg->findChildren<QToolButton*>();
    QCOMPARE(arrows.size(), 12);
    arrows[0]->click();  // 1000 Hz, below 5000: +50
    QCOMPARE(f.freq[0], 1050.0);
    arrows[3]->click();  // large down above 1000: -500
    QCOMPARE(f.freq[0], 550.0);
    arrows[3]->click();  // above 500: -100
    QCOMPARE(f.freq[0], 450.0);
    QCOMPARE(dlg->findChildren<QLineEdit*>()[0]->text(), QStringLiteral("450"));
    QList<QScrollBar*> bars = effectBars(dlg);
    QCOMPARE(bars.size(), 4);  // three slopes and the overall gain
    bars[0]->setValue(8);
    QCOMPARE(f.q[0], 0.8);
    // A preset sets every section through the controls.
    auto* list = dlg->findChild<QListWidget*>();
    QVERIFY(list);
    const auto hum = list->findItems(QStringLiteral("Hum (50+100Hz)"), Qt::MatchExactly);
    QCOMPARE(hum.size(), 1);
    emit list->itemClicked(hum[0]);
    QCOMPARE(f.type[0], 3);
    QCOMPARE(f.type[1], 3);
    QCOMPARE(f.freq[1], 100.0);
    QCOMPARE(f.q[0], 1.0);
    QVERIFY(radios[3]->isChecked());
    QCOMPARE(dlg->findChildren<QLineEdit*>()[0]->text(), QStringLiteral("50"));
    QCOMPARE(bars[0]->value(), 10);
    const size_t at = w->out->log->buffers.size();
    QTRY_VERIFY(w->out->log->buffers.size() > at + 1);
    QCOMPARE(toneFrameOf(w->out->log->buffers[at + 1].samples), -1);
    save(dlg->grab().toImage(), "filter_preview.png");
    QVERIFY(run(w->form, "Play/Record | Kill (Stop) Output"));
    waitUntilStopped(ed);
  }

  void theDecracklePreviewDialogSetsTheCrackleValuesLive() {
    auto w = open(true);
    Editor& ed = w->ed();
    ed.spectral.SetFFTSize(2048);
    ed.ctx.silentMode = true;
    ed.doc->selStart = 0;
    ed.doc->selEnd = 2048 * 4;
    ed.GetFingerprint1Click();
    ed.ctx.silentMode = false;
    QVERIFY(ed.fingerprint.present);
    ed.ctx.settings.keepnoise = false;
    const double factor = ed.ctx.settings.crackleFactor;
    ed.doc->selStart = 44100;
    ed.doc->selEnd = 44100 * 3;
    ed.DecracklePreview1Click();
    QVERIFY(ed.ctx.playing);
    ui::PreviewDialog* dlg = w->form.previewDialog();
    QVERIFY(dlg);
    QCOMPARE(dlg->windowTitle(), QStringLiteral("Decrackle Preview"));
    QVERIFY(!dlg->bypassBox()->isChecked());
    QCOMPARE(ed.ctx.settings.crackleFactor, factor);  // opening changes nothing
    QList<QSlider*> bars = dlg->findChildren<QSlider*>();
    QCOMPARE(bars.size(), 2);
    bars[0]->setValue(bars[0]->value() == 35 ? 1 : 35);
    QVERIFY(ed.ctx.settings.crackleFactor != factor);
    bars[1]->setValue(250);
    QCOMPARE(ed.ctx.settings.noiseRelamp, 250);
    // Keep Crackle Only: what plays is the crackle alone, far quieter than the tone.
    for (QCheckBox* c : dlg->findChildren<QCheckBox*>())
      if (c->text() == QStringLiteral("Keep Crackle Only")) c->click();
    QVERIFY(ed.ctx.settings.keepnoise);
    const size_t at = w->out->log->buffers.size();
    QTRY_VERIFY(w->out->log->buffers.size() > at + 1);
    const auto& b = w->out->log->buffers[at + 1].samples;
    int loud = 0;
    for (int16_t v : b) loud += std::abs(v) > 1000;
    QVERIFY2(loud < static_cast<int>(b.size() / 100), qPrintable(QString::number(loud)));
    ed.ctx.settings.keepnoise = false;
    QVERIFY(run(w->form, "Play/Record | Kill (Stop) Output"));
    waitUntilStopped(ed);
  }

  void aDeviceThatFailsToOpenGivesItsMessageAndNothingElseChanges() {
    TMainForm form(true);
    auto backend = std::make_unique<MemoryOutputBackend>();
    backend->openResult = DeviceStatus::failure(kAllocated);
    MemoryOutputBackend* out = backend.get();
    form.editor().setOutputBackend(std::move(backend));
    form.FormCreate(false);
    form.show();
    form.openCommandLine(side_);
    Editor& ed = form.editor();
    ed.doc->selStart = 1000;
    ed.doc->selEnd = 5000;
    QString shown;
    QTimer::singleShot(0, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        shown = box->text();
        box->accept();
      }
    });
    QVERIFY(run(form, "Play/Record | Output (Play) Selection"));
    QCOMPARE(shown, QStringLiteral("Failed to open a suitable output device (Already in use)"));
    QVERIFY(!ed.ctx.playing);
    QVERIFY(out->log->buffers.empty());
    QCOMPARE(ed.doc->selStart, 1000);
    QCOMPARE(ed.doc->selEnd, 5000);
    form.idlePass();
    QVERIFY(form.actionFor(*findCommand("View | Zoom In"))->isEnabled());
  }
};

int main(int argc, char** argv) {
  char runtime[] = "/tmp/tolmar-ui-XXXXXX";
  if (mkdtemp(runtime)) setenv("XDG_RUNTIME_DIR", runtime, 1);
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  PlaybackWindowTest t;
  const int rc = QTest::qExec(&t, argc, argv);
  std::filesystem::remove_all(runtime);
  return rc;
}

#include "playback_window_test.moc"
