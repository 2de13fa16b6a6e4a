// The window on the offscreen platform: pictures, mouse and keys, Cancel, and the routing
// that refuses commands while a long operation runs. Screenshots land in TOLMAR_SHOT_DIR.

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <QtTest>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "config/macro_store.h"
#include "editor/command_table.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "ui/button_bars.h"
#include "ui/main_form.h"
#include "ui/wave_area.h"
#include "view/paint_display.h"
#include "view/wave_geometry.h"

using namespace tolmar;
using tolmar::test::Frame;
using tolmar::test::TempDir;
using tolmar::test::WavBuilder;

// The rectangles of the paints a widget receives.
class PaintRects : public QObject {
 public:
  std::vector<QRect> rects;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) rects.push_back(static_cast<QPaintEvent*>(e)->rect());
    return false;
  }
};

class MainFormTest : public QObject {
  Q_OBJECT

  TempDir dir_;
  std::string shotDir_;

  std::string silentSide(int32_t frames) {
    const std::string path = dir_.file("silent.wav");
    WavBuilder().frames(frames, [](int32_t) { return Frame{0, 0}; }).write(path);
    return path;
  }
  void save(const QImage& img, const char* name) {
    if (!shotDir_.empty()) img.save(QString::fromStdString(shotDir_ + "/" + name));
  }
  std::string toneSide(const char* name) {
    const std::string path = dir_.file(name);
    WavBuilder()
        .frames(44100 * 4,
                [](int32_t i) {
                  const auto v = static_cast<int16_t>(9000 * std::sin(i / 30.0));
                  return Frame{v, static_cast<int16_t>(-v)};
                })
        .write(path);
    return path;
  }
  static QColor colour(uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }
  // The wave area as the window draws it, in device pixels.
  static QImage grabArea(TMainForm& f) {
    f.waveArea()->repaint();
    return f.waveArea()->grab().toImage();
  }

 private slots:
  void initTestCase() {
    setenv("TOLMAR_CONFIG_DIR", dir_.file("").c_str(), 1);
    if (const char* d = std::getenv("TOLMAR_SHOT_DIR")) shotDir_ = d;
    if (!shotDir_.empty()) std::filesystem::create_directories(shotDir_);
  }

  void textRendersInARealFont() {
    QFont f(QStringLiteral("Arial"), 12);
    QVERIFY2(QFontInfo(f).family() != QString(), "a font must be installed");
    QVERIFY(QFontMetrics(f).horizontalAdvance(QStringLiteral("T2.1")) > 10);
  }

  void aRepairRedrawsOnlyTheColumnsOfItsFrames() {
    TMainForm form(false);
    form.FormCreate(false);
    form.resize(900, 500);
    form.show();
    form.openCommandLine(silentSide(8000));
    Editor& ed = form.editor();
    QVERIFY(ed.doc);
    ed.doc->viewStart = 0;
    ed.doc->viewWidth = 400;
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    grabArea(form);
    QTest::qWait(20);
    PaintRects seen;
    form.waveArea()->installEventFilter(&seen);
    // Paints arrive when the platform's update timer says, later on a loaded machine: wait for
    // them rather than for a fixed time. A change off the page, if it asked for any paint,
    // would widen the one paint the column change brings.
    form.requestRepaint(Repaint::samples(5000, 6000));
    form.requestRepaint(Repaint::samples(100, 100));
    QTRY_VERIFY(!seen.rects.empty());
    QTest::qWait(30);
    QCOMPARE(seen.rects.size(), size_t{1});
    const int px = ed.view.mapping.pixelsPerFrame;
    QCOMPARE(seen.rects[0].left(), 99 * px);
    QCOMPARE(seen.rects[0].right(), 102 * px);
    seen.rects.clear();
    form.requestRepaint(Repaint::samples(5000, 6000));
    QTest::qWait(30);
    QVERIFY(seen.rects.empty());
    form.requestRepaint(Repaint::selection());
    QTRY_VERIFY(!seen.rects.empty());
    QCOMPARE(seen.rects.size(), size_t{1});
    QCOMPARE(seen.rects[0], form.waveArea()->rect());
    form.waveArea()->removeEventFilter(&seen);
  }

  void selectionIsInvertedBetweenItsExactEdges() {
    TMainForm form(false);
    form.FormCreate(false);
    form.resize(900, 500);
    form.show();
    form.openCommandLine(silentSide(8000));
    Editor& ed = form.editor();
    QVERIFY(ed.doc);
    ed.doc->viewStart = 0;
    ed.doc->viewWidth = 400;  // zoomed in: whole pixels per frame
    ed.doc->selStart = 100;
    ed.doc->selEnd = 199;
    const QImage img = grabArea(form);
    save(img, "selection.png");
    const int px = ed.view.mapping.pixelsPerFrame;
    QCOMPARE(px, form.waveArea()->width() / 400);
    const qreal dpr = img.devicePixelRatio();
    const int y = static_cast<int>(10 * dpr);
    const int xs = static_cast<int>(100 * px * dpr), xe = static_cast<int>(200 * px * dpr);
    QCOMPARE(QColor(img.pixel(xs, y)), QColor(Qt::black));
    QCOMPARE(QColor(img.pixel(xe - 1, y)), QColor(Qt::black));
    QCOMPARE(QColor(img.pixel(xs - 1, y)), QColor(Qt::white));
    QCOMPARE(QColor(img.pixel(xe, y)), QColor(Qt::white));
    // The line between the bands is exactly one device pixel high.
    const int mid = static_cast<int>((ed.view.areaHeight() / 2) * dpr);
    const int x = static_cast<int>(50 * px * dpr);
    QCOMPARE(QColor(img.pixel(x, mid)), QColor(Qt::black));
    QCOMPARE(QColor(img.pixel(x, mid - 1)), QColor(Qt::white));
    QCOMPARE(QColor(img.pixel(x, mid + 1)), QColor(Qt::white));
  }

  void overlaysAndSpectralViewScreenshots() {
    const std::string path = dir_.file("tones.wav");
    WavBuilder()
        .frames(44100 * 4,
                [](int32_t i) {
                  const double t = i / 44100.0;
                  const auto v = static_cast<int16_t>(12000 * std::sin(2 * M_PI * 440 * t) *
                                                      (1.0 - std::fmod(t, 1.0)));
                  return Frame{v, static_cast<int16_t>(v / 2)};
                })
        .write(path);
    TMainForm form(false);
    form.FormCreate(false);
    form.resize(1000, 520);
    form.show();
    form.openCommandLine(path);
    Editor& ed = form.editor();
    QVERIFY(ed.doc);
    ed.doc->selStart = 44100;
    ed.doc->selEnd = 66150;
    ed.ctx.settings.showcontext = true;
    ed.doc->cues = {{22050, true, false, "", ""}, {88200, false, false, "", ""}};
    ed.doc->deletions = {{110250, 121275}};
    ed.doc->insertions = {{143325, 4410}};
    ed.markers.Add(Marker::Both, 33075, 0);
    ed.markers.Add(Marker::Left, 99225, 3);
    ed.markers.Add(Marker::Right, 154350, 12);
    QImage img = grabArea(form);
    save(img, "overlays.png");
    // Cue lines sit on their exact columns, in the cue colour.
    const int fpp = ed.view.mapping.framesPerPixel;
    const qreal dpr = img.devicePixelRatio();
    const int cueX = static_cast<int>((22050 / fpp) * dpr);
    const uint32_t cue = ed.ctx.settings.colours.cue;
    const QColor cueColour(cue & 0xFF, (cue >> 8) & 0xFF, (cue >> 16) & 0xFF);
    QCOMPARE(QColor(img.pixel(cueX, static_cast<int>(ed.view.areaHeight() * 0.9 * dpr))),
             cueColour);

    ed.SpectralView1Click();
    img = grabArea(form);
    save(img, "spectral.png");
    // Away from the tones' onsets the 440 Hz bin is bright and the top bins dark.
    QVERIFY(img.width() > 0);

    // A zoomed-in staircase.
    ed.SpectralView1Click();
    ed.doc->viewStart = 1000;
    ed.doc->viewWidth = 60;
    save(grabArea(form), "staircase.png");
  }

  void mouseDragAndKeysDriveSelectionAndNavigation() {
    TMainForm form(false);
    form.FormCreate(false);
    form.resize(900, 500);
    form.show();
    form.openCommandLine(silentSide(100000));
    Editor& ed = form.editor();
    QVERIFY(ed.doc);
    form.waveArea()->repaint();
    WaveArea* w = form.waveArea();
    QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));
    QTest::mouseMove(w, QPoint(200, 60));
    // Qt Test's move carries no buttons; send one that does.
    QMouseEvent move(QEvent::MouseMove, QPointF(300, 60), w->mapToGlobal(QPointF(300, 60)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
    QVERIFY(ed.dragInProgress);
    QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, QPoint(300, 60));
    QVERIFY(!ed.dragInProgress);
    QCOMPARE(ed.doc->selStart, ed.frameAtPixel(100));
    QCOMPARE(ed.doc->selEnd, ed.frameAtPixel(301));

    // A short drag leaves only the click's start; a right click sets the end.
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(400, 50));
    QCOMPARE(ed.doc->selStart, ed.frameAtPixel(400));
    QTest::mouseClick(w, Qt::RightButton, Qt::NoModifier, QPoint(500, 50));
    QCOMPARE(ed.doc->selEnd, ed.frameAtPixel(500));

    ed.ZoomIn1Click();
    ed.ZoomIn1Click();
    const int32_t width = ed.doc->viewWidth;
    const int32_t start = ed.doc->viewStart;
    QTest::keyClick(&form, Qt::Key_Return);
    QCOMPARE(ed.doc->viewStart, start + width);
    QTest::keyClick(&form, Qt::Key_Plus, Qt::KeypadModifier);
    QCOMPARE(ed.doc->viewStart, start);
  }

  void commandsAreRefusedWhileAProgressPanelShows() {
    TMainForm form(false);
    form.FormCreate(false);
    form.show();
    form.openCommandLine(silentSide(100000));
    Editor& ed = form.editor();
    const Command* zoom = findCommand("View | Zoom In");
    QVERIFY(zoom);
    const int32_t width = ed.doc->viewWidth;
    {
      Progress running(ed.ctx, " Scanning:");
      QVERIFY(form.progressShowing());
      QVERIFY(!form.routeCommand(*zoom));
      QCOMPARE(form.refusedCommands, 1);
      QCOMPARE(ed.doc->viewWidth, width);
    }
    QVERIFY(form.routeCommand(*zoom));
    QCOMPARE(ed.doc->viewWidth, width / 2);
  }

  void toolButtonsFollowTheirMenuItemsAndRunTheirCommands() {
    TMainForm form(false);
    form.FormCreate(false);
    form.resize(1100, 500);
    form.show();
    form.openCommandLine(silentSide(100000));
    Editor& ed = form.editor();
    ed.ZoomIn1Click();
    ed.ZoomIn1Click();
    ed.doc->selStart = ed.doc->selEnd = -1;
    form.idlePass();
    QToolButton* showSel = form.toolBar()->button("ShowSelBtnClick");
    QVERIFY(showSel && showSel->isVisible());
    QVERIFY(!showSel->isEnabled());
    QCOMPARE(showSel->isEnabled(), form.actionFor(*findHandler("ShowSelBtnClick"))->isEnabled());
    ed.doc->selStart = 10;
    ed.doc->selEnd = 5000;
    form.idlePass();
    QVERIFY(showSel->isEnabled());
    QToolButton* max = form.toolBar()->button("MaxAmplitudeBtnClick");
    const bool maximised = ed.doc->maxVertical;
    QCOMPARE(max->isChecked(), maximised);
    max->click();
    form.idlePass();
    QCOMPARE(ed.doc->maxVertical, !maximised);
    QCOMPARE(max->isChecked(), !maximised);
    const int32_t start = ed.doc->viewStart, width = ed.doc->viewWidth;
    form.toolBar()->button("NextPageBtnClick")->click();
    QCOMPARE(ed.doc->viewStart, start + width - ed.view.pageOverlap);
    {
      Progress running(ed.ctx, " Scanning:");
      form.toolBar()->button("ZoomIn1Click")->click();
      QCOMPARE(form.refusedCommands, 1);
      QCOMPARE(ed.doc->viewWidth, width);
    }
    ed.ctx.settings.showbuttonbar = false;
    form.idlePass();
    QVERIFY(!form.toolBar()->isVisible());
  }

  void macroBarRunsItsSlotsShiftsAndWidensWithTheWindow() {
    TMainForm form(false);
    form.FormCreate(false);
    Editor& ed = form.editor();
    ed.ctx.settings.showmacrobuttonbar = true;
    form.resize(900, 500);
    form.show();
    form.openCommandLine(silentSide(100000));
    ed.macros.store(3, {"View | Zoom In"}, "Closer");
    ed.macros.store(15, {"View | Zoom Out"}, "");
    form.idlePass();
    MacroBar* bar = form.macroBar();
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->buttonCount(), 12);
    QVERIFY(bar->shiftButton());
    QCOMPARE(bar->button(3)->text(), QStringLiteral("F3"));
    QCOMPARE(bar->button(3)->toolTip(), QStringLiteral("Closer"));
    QCOMPARE(bar->button(4)->toolTip(), QStringLiteral("Macro 4"));
    QVERIFY(bar->button(3)->isEnabled());
    QVERIFY(!bar->button(4)->isEnabled());
    const int32_t width = ed.doc->viewWidth;
    bar->button(3)->click();
    QCOMPARE(ed.doc->viewWidth, width / 2);
    QCOMPARE(bar->shiftButton()->toolTip(), QStringLiteral("Switch Buttons to Macros 13-24"));
    bar->shiftButton()->click();
    form.idlePass();
    QCOMPARE(bar->shiftButton()->toolTip(), QStringLiteral("Switch Buttons to Macros 1-12"));
    QCOMPARE(bar->button(3)->text(), QStringLiteral("F15"));
    QCOMPARE(bar->button(3)->toolTip(), QStringLiteral("Macro 15"));
    bar->button(3)->click();
    QCOMPARE(ed.doc->viewWidth, width);
    save(form.grab().toImage(), "window_bars.png");

    form.resize(2000, 500);
    QApplication::processEvents();
    QCOMPARE(bar->buttonCount(), MacroBar::layoutFor(bar->width()));
    if (bar->width() >= 48 * MacroBar::kMinButtonWidth) {
      QCOMPARE(bar->buttonCount(), 48);
      QVERIFY(!bar->shiftButton());
      form.idlePass();
      QCOMPARE(bar->button(15)->text(), QStringLiteral("F15"));
      QVERIFY(bar->button(15)->isEnabled());
    }
    form.resize(1000, 500);
    QApplication::processEvents();
    QCOMPARE(bar->buttonCount(), 24);
    QCOMPARE(MacroBar::layoutFor(959), 12);
  }

  void verticalAdjustersScaleTheWaveAndRestWhileMaximised() {
    TMainForm form(false);
    form.FormCreate(false);
    form.resize(900, 500);
    form.show();
    form.idlePass();
    QVERIFY(!form.vscalebar()->isVisible());  // no document
    form.openCommandLine(toneSide("tone.wav"));
    Editor& ed = form.editor();
    if (!ed.doc->maxVertical) ed.MaxAmplitudeBtnClick();
    QApplication::processEvents();
    form.idlePass();
    QVERIFY(form.vscalebar()->isVisible());
    QCOMPARE(form.vscalebar()->minimumHeight(), ed.view.areaHeight() / 2);
    QCOMPARE(form.voffsetbar()->maximumHeight(), ed.view.areaHeight() / 2);
    QVERIFY(form.waveArea()->width() < form.width() - form.vscalebar()->width());
    QVERIFY(!form.vscalebar()->isEnabled());
    ed.MaxAmplitudeBtnClick();
    form.idlePass();
    QVERIFY(form.vscalebar()->isEnabled());
    form.waveArea()->repaint();
    const double before = ed.view.vertical.ratio;
    form.vscalebar()->setValue(950);
    QCOMPARE(ed.view.scaleBarPosition, 950);
    form.waveArea()->repaint();
    QVERIFY(ed.view.vertical.ratio > before);  // a larger scale magnifies
    form.voffsetbar()->setValue(-5);
    QCOMPARE(ed.view.offsetBarPosition, -5);
    ed.doc->selStart = ed.doc->selEnd = -1;
    save(grabArea(form), "adjusted.png");
    ed.ResetVerticalAdjusters1Click();
    form.idlePass();
    QCOMPARE(form.vscalebar()->value(), 987);
    QCOMPARE(form.voffsetbar()->value(), 0);
  }

  void partWheelNotchesAddUpToPageMoves() {
    TMainForm form(false);
    form.FormCreate(false);
    form.resize(900, 500);
    form.show();
    form.openCommandLine(silentSide(200000));
    Editor& ed = form.editor();
    ed.ZoomIn1Click();
    ed.ZoomIn1Click();
    ed.ZoomIn1Click();
    const int32_t start = ed.doc->viewStart, width = ed.doc->viewWidth;
    WaveArea* w = form.waveArea();
    const auto wheel = [&](int delta) {
      QWheelEvent e(QPointF(50, 50), w->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, delta),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(w, &e);
      form.idlePass();
    };
    wheel(-60);
    QCOMPARE(ed.doc->viewStart, start);
    wheel(-60);
    QCOMPARE(ed.doc->viewStart, start + width - ed.view.pageOverlap);
    wheel(120);
    QCOMPARE(ed.doc->viewStart, start);
  }

  void functionKeysRunTheirMacroSlots() {
    TMainForm form(false);
    form.FormCreate(false);
    form.show();
    form.openCommandLine(silentSide(100000));
    Editor& ed = form.editor();
    ed.macros.store(29, {"View | Zoom In"}, "");
    ed.macros.store(41, {"View | Zoom In", "View | Zoom In"}, "");
    const int32_t width = ed.doc->viewWidth;
    QTest::keyClick(&form, Qt::Key_F5, Qt::ControlModifier);
    QCOMPARE(ed.doc->viewWidth, width / 2);
    QTest::keyClick(&form, Qt::Key_F5, Qt::ControlModifier | Qt::AltModifier);  // Alt wins
    QCOMPARE(ed.doc->viewWidth, width / 8);
    QTest::keyClick(&form, Qt::Key_F5);  // slot 5 is empty
    QCOMPARE(ed.doc->viewWidth, width / 8);
  }

  void aCueSheetOnTheCommandLineOpensItsSideWithTheLabels() {
    const std::string wav = toneSide("side.wav");
    const std::string cue = dir_.file("side.cue");
    {
      std::FILE* f = std::fopen(cue.c_str(), "w");
      QVERIFY(f);
      std::fputs(("FILE \"" + wav +
                  "\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\n"
                  "INDEX 01 00:01:00\nINDEX 02 00:02:00\n")
                     .c_str(),
                 f);
      std::fclose(f);
    }
    TMainForm form(false);
    form.FormCreate(false);
    form.resize(1000, 500);
    form.show();
    form.openCommandLine(cue);
    Editor& ed = form.editor();
    QVERIFY(ed.doc);
    QCOMPARE(QString::fromStdString(ed.doc->path), QString::fromStdString(wav));
    QVERIFY(ed.doc->cues.size() >= 2);
    ed.doc->selStart = ed.doc->selEnd = -1;
    const QImage img = grabArea(form);
    save(img, "cue_labels.png");
    const int fpp = ed.view.mapping.framesPerPixel;
    const qreal dpr = img.devicePixelRatio();
    const int y = static_cast<int>(ed.view.areaHeight() * 0.9 * dpr);
    for (int32_t frame : {44100, 88200})
      QCOMPARE(QColor(img.pixel(static_cast<int>((frame / fpp) * dpr), y)),
               colour(ed.ctx.settings.colours.cue));
  }

  void viewHistoryWrapsThroughTheWindow() {
    TMainForm form(false);
    form.FormCreate(false);
    form.resize(900, 500);
    form.show();
    form.openCommandLine(silentSide(1000000));
    Editor& ed = form.editor();
    const Command* zoomIn = findCommand("View | Zoom In");
    const Command* next = findHandler("NextPageBtnClick");
    const Command* previous = findHandler("PreviousView1Click");
    QVERIFY(zoomIn && next && previous);
    for (int i = 0; i < 6; ++i) form.routeCommand(*zoomIn);
    form.waveArea()->repaint();
    // Eleven views in all: the first falls out of the history of ten.
    std::vector<int32_t> starts;
    for (int i = 0; i < 10; ++i) {
      form.routeCommand(*next);
      form.waveArea()->repaint();
      starts.push_back(ed.doc->viewStart);
    }
    QCOMPARE(std::set<int32_t>(starts.begin(), starts.end()).size(), starts.size());
    form.idlePass();
    QCOMPARE(ed.view.history.count(), 10);
    QCOMPARE(static_cast<int>(form.viewHistoryActions().size()), 9);
    const int32_t here = ed.doc->viewStart;
    const int32_t back1 = starts[8];
    QVERIFY(form.routeCommand(*previous));
    form.waveArea()->repaint();
    QCOMPARE(ed.doc->viewStart, back1);
    // Nine more steps back wrap round to where it started.
    for (int i = 0; i < 9; ++i) {
      QVERIFY(form.routeCommand(*previous));
      form.waveArea()->repaint();
    }
    QCOMPARE(ed.doc->viewStart, here);
    QCOMPARE(ed.view.history.count(), 10);
  }

  void aRedrawStrokeBecomesOneUndoStepOfLinesOnItsBandsChannel() {
    TMainForm form(false);
    form.FormCreate(false);
    form.resize(900, 500);
    form.show();
    form.openCommandLine(silentSide(100000));
    Editor& ed = form.editor();
    ed.doc->viewStart = 1000;
    ed.doc->viewWidth = 400;
    form.waveArea()->repaint();
    ed.RedrawWaveModeClick();
    WaveArea* w = form.waveArea();
    const int centre = ed.view.areaTop() + ed.view.areaHeight() / 4;
    const auto drag = [&](std::initializer_list<QPoint> points, Qt::KeyboardModifiers up) {
      auto it = points.begin();
      QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, *it);
      for (++it; it != points.end(); ++it) {
        QMouseEvent move(QEvent::MouseMove, QPointF(*it), w->mapToGlobal(QPointF(*it)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &move);
      }
      QVERIFY(w->strokeInProgress());
      QTest::mouseRelease(w, Qt::LeftButton, up, *(points.end() - 1));
      QVERIFY(!w->strokeInProgress());
    };
    // Silence with Maximise on: one sample unit a row.
    const int16_t level = valueAtY(ed.view.vertical, centre, centre - 20);
    QVERIFY(level < 0);
    drag({{100, centre - 20}, {150, centre - 20}, {200, centre + 20}}, Qt::NoModifier);
    QCOMPARE(QString::fromStdString(ed.doc->undoCaption()), QStringLiteral("Undo Redraw"));
    const int32_t f100 = ed.frameAtPixel(100), f150 = ed.frameAtPixel(150),
                  f200 = ed.frameAtPixel(200);
    int16_t v = 0;
    QVERIFY(ed.doc->EditedSampleAt((f100 + f150) / 2, 0, v));
    QCOMPARE(v, level);
    QVERIFY(!ed.doc->EditedSampleAt((f100 + f150) / 2, 1, v));  // the other channel is left alone
    // The last line runs one frame past the stroke and lands on the sound there.
    QVERIFY(ed.doc->EditedSampleAt(f200, 0, v));
    QVERIFY(std::abs(v) < std::abs(level));
    QVERIFY(ed.doc->EditedSampleAt(f200 + 1, 0, v));
    QCOMPARE(v, int16_t{0});
    // A stroke let go with Ctrl held changes nothing.
    drag({{300, centre}, {350, centre - 30}}, Qt::ControlModifier);
    QVERIFY(!ed.doc->EditedSampleAt(ed.frameAtPixel(320), 0, v));
    // One begun in the lower band edits the right channel.
    const int lower = ed.view.areaTop() + 3 * ed.view.areaHeight() / 4;
    drag({{400, lower - 10}, {450, lower - 10}}, Qt::NoModifier);
    QVERIFY(ed.doc->EditedSampleAt(ed.frameAtPixel(420), 1, v));
    QVERIFY(!ed.doc->EditedSampleAt(ed.frameAtPixel(420), 0, v));
  }

  void theOverlayBlockIsDraggedByWholeFramesUnderThePointer() {
    TMainForm form(false);
    form.FormCreate(false);
    form.resize(900, 500);
    form.show();
    form.openCommandLine(toneSide("overlay.wav"));
    Editor& ed = form.editor();
    form.waveArea()->repaint();
    ed.doc->selStart = 44100;
    ed.doc->selEnd = 66150;
    QVERIFY(form.routeCommand(*findHandler("SetupOverlayBlockClick")));
    QVERIFY(ed.overlayBlock.active);
    form.waveArea()->repaint();
    const int fpp = ed.view.mapping.framesPerPixel;
    const int inside = static_cast<int>((44100 + 5000) / fpp);
    WaveArea* w = form.waveArea();
    QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, QPoint(inside, 60));
    const QPoint to(inside + 50, 70);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), w->mapToGlobal(QPointF(to)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
    QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, to);
    QCOMPARE(ed.overlayBlock.position, int64_t{44100} + 50 * fpp);
    QCOMPARE(ed.doc->selStart, 44100);  // the drag moved the block, not the selection
    save(grabArea(form), "overlay_drag.png");
    // Away from the block a press selects as ever.
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(700, 60));
    QCOMPARE(ed.doc->selStart, ed.frameAtPixel(700));
    QCOMPARE(ed.overlayBlock.position, int64_t{44100} + 50 * fpp);
  }

  void cancelStopsTheOpeningScan() {
    const std::string path = dir_.file("long.wav");
    WavBuilder().staircase(3000000).write(path);
    TMainForm form(false);
    form.FormCreate(false);
    form.show();
    form.editor().ctx.settings.newstylewaveform = true;
    bool pressed = false;
    // Cancel, pressed as a user would once it shows; the scan's pumps deliver the timer.
    QTimer press;
    press.setInterval(0);
    QObject::connect(&press, &QTimer::timeout, &form, [&] {
      for (QPushButton* b : form.findChildren<QPushButton*>())
        if (b->text() == QStringLiteral("Cancel") && b->isVisible() && !pressed) {
          b->click();
          pressed = true;
        }
    });
    press.start();
    form.openCommandLine(path);
    press.stop();
    QVERIFY(pressed);
    QVERIFY(form.editor().doc);
    QVERIFY(!form.editor().doc->hasPeaks());
    QVERIFY(!form.progressShowing());
  }

  void aWidePageWithoutPeaksShowsReadingWithCancelOutsideThePaint() {
    const std::string path = dir_.file("wide.wav");
    WavBuilder().staircase(3000000).write(path);
    TMainForm form(false);
    form.FormCreate(false);
    form.resize(900, 500);
    form.show();
    Editor& ed = form.editor();
    ed.ctx.settings.newstylewaveform = true;
    // Cancel of the opening scan leaves the side without a peak summary; then the page's own
    // read shows " Reading:", and Cancel is pressed once its gauge passes a quarter.
    int presses = 0;
    bool sawReading = false, paintedWhileReading = false;
    PaintRects paints;
    QTimer press;
    press.setInterval(0);
    QObject::connect(&press, &QTimer::timeout, &form, [&] {
      QPushButton* cancel = nullptr;
      for (QPushButton* b : form.findChildren<QPushButton*>())
        if (b->text() == QStringLiteral("Cancel") && b->isVisible()) cancel = b;
      if (!cancel) return;
      bool reading = false;
      for (QLabel* l : form.findChildren<QLabel*>())
        reading = reading || l->text() == QStringLiteral(" Reading:");
      QProgressBar* gauge = form.findChild<QProgressBar*>();
      if (presses == 0) {
        cancel->click();
        ++presses;
      } else if (reading && presses == 1) {
        // A paint asked for meanwhile draws the points read so far.
        if (!sawReading) form.waveArea()->update();
        sawReading = true;
        QVERIFY(form.waveArea()->buildingPage());
        if (gauge && gauge->value() >= 25) {
          paintedWhileReading = !paints.rects.empty();
          cancel->click();
          ++presses;
        }
      }
    });
    press.start();
    form.openCommandLine(path);
    QVERIFY(ed.doc);
    QVERIFY(!ed.doc->hasPeaks());
    form.waveArea()->installEventFilter(&paints);
    paints.rects.clear();
    QTRY_VERIFY_WITH_TIMEOUT(presses == 2, 20000);
    press.stop();
    QTRY_VERIFY_WITH_TIMEOUT(!form.waveArea()->buildingPage(), 20000);
    QVERIFY(sawReading);
    QVERIFY2(paintedWhileReading, "the wave area paints while the page is read");
    QVERIFY(!form.progressShowing());

    // The lists are partly filled under the page's key, and the same page is not read again.
    const ViewState& v = ed.view;
    const PageKey key = pageKeyOf(*ed.doc, v);
    QCOMPARE(v.points.keyFirst, key.first);
    QCOMPARE(v.points.keyLast, key.last);
    QCOMPARE(v.points.keyStep, key.step);
    const size_t whole = static_cast<size_t>((key.last - key.first) / key.step + 1);
    QVERIFY(v.points.size() > 0);
    QVERIFY(v.points.size() < whole);
    QVERIFY(!pagePointsStale(*ed.doc, v));
    const QImage cancelled = grabArea(form);
    save(cancelled, "reading_cancelled.png");
    QVERIFY(!form.waveArea()->buildingPage());
    // The upper band shows the wave where points were read and nothing past them.
    const qreal dpr = cancelled.devicePixelRatio();
    const int top = v.areaTop(), centre = v.areaTop() + v.areaHeight() / 4;
    const auto inked = [&](const QImage& img, int x) {
      for (int y = top + 2; y < centre - 1; ++y)
        if (QColor(img.pixel(static_cast<int>(x * dpr), static_cast<int>(y * dpr))) !=
            colour(ed.ctx.settings.colours.mainback))
          return true;
      return false;
    };
    const int readColumns = static_cast<int>(v.points.size());
    QVERIFY(inked(cancelled, readColumns / 2));
    QVERIFY(!inked(cancelled, readColumns + 5));

    // The window goes on: a zoom is routed and its page (still long) is read whole.
    const Command* zoom = findCommand("View | Zoom In");
    QVERIFY(zoom);
    QVERIFY(form.routeCommand(*zoom));
    QTRY_VERIFY_WITH_TIMEOUT(!form.waveArea()->buildingPage() && !pagePointsStale(*ed.doc, v),
                             20000);
    const PageKey zoomed = pageKeyOf(*ed.doc, v);
    QCOMPARE(v.points.size(), static_cast<size_t>((zoomed.last - zoomed.first) / zoomed.step + 1));
    QVERIFY(DisplayPointsShowProgress(*ed.doc, zoomed.first, zoomed.last, zoomed.step));
    form.waveArea()->repaint();
    bool status = false;
    for (QLabel* l : form.findChildren<QLabel*>())
      status = status || l->text().startsWith(QStringLiteral("Display: "));
    QVERIFY(status);
    const QImage img = grabArea(form);
    save(img, "reading_whole.png");
    QVERIFY(inked(img, static_cast<int>(v.points.size()) - 5));
  }
};

int main(int argc, char** argv) {
  // A private runtime directory keeps Qt quiet about the missing one.
  char runtime[] = "/tmp/tolmar-ui-XXXXXX";
  if (mkdtemp(runtime)) setenv("XDG_RUNTIME_DIR", runtime, 1);
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  MainFormTest t;
  const int rc = QTest::qExec(&t, argc, argv);
  std::filesystem::remove_all(runtime);
  return rc;
}

#include "main_form_test.moc"
