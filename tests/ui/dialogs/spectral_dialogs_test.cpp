#include "ui/dialogs/spectral_dialogs.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <cmath>
#include <functional>
#include <random>

#include "dialog_test_support.h"
#include "dsp/frequency_analysis.h"
#include "dsp/noise_reduction.h"
#include "dsp/statistics.h"
#include "editor/editor.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "ui/dialogs/dialogs.h"

namespace tolmar::ui {
namespace {

using tolmar::test::Frame;

using test::byText;

QGroupBox* groupTitled(QWidget* dialog, const QString& title) {
  for (QGroupBox* g : dialog->findChildren<QGroupBox*>())
    if (g->title() == title) return g;
  return nullptr;
}

QScrollBar* barOf(QWidget* dialog, const QString& label) {
  for (QLabel* l : dialog->findChildren<QLabel*>())
    if (l->text() == label) return qobject_cast<QScrollBar*>(l->buddy());
  return nullptr;
}

// The text shown beside a bar: the label in the bar's row, right of it.
QString shownBeside(QScrollBar* bar) {
  QLabel* best = nullptr;
  for (QLabel* l : bar->parentWidget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
    if (l->geometry().left() > bar->geometry().right() &&
        std::abs(l->geometry().center().y() - bar->geometry().center().y()) < 8)
      best = l;
  return best ? best->text() : QString();
}

struct SpectralDialogTest : ::testing::Test {
  tolmar::test::TempDir dir;
  tolmar::test::ScriptedHost host;
  Editor editor{host};

  void SetUp() override {
    host.ctx = &editor.ctx;
    editor.ctx.settings.newstylewaveform = false;
  }
  // A side of noise with a 1 kHz tone in the left channel from frame `toneFrom` on.
  void openSide(int32_t frames, int32_t toneFrom) {
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 300.0);
    std::vector<Frame> data(static_cast<size_t>(frames));
    for (int32_t i = 0; i < frames; ++i) {
      const double tone = i >= toneFrom ? 8000.0 * std::sin(2 * M_PI * 1000.0 * i / 44100.0) : 0.0;
      data[static_cast<size_t>(i)] = {static_cast<int16_t>(std::lround(noise(rng) + tone)),
                                      static_cast<int16_t>(std::lround(noise(rng)))};
    }
    tolmar::test::WavBuilder()
        .frames(frames, [&](int32_t i) { return data[static_cast<size_t>(i)]; })
        .write(dir.file("side.wav"));
    ASSERT_TRUE(editor.OpenDocument(dir.file("side.wav")));
  }
  void select(int32_t first, int32_t last) {
    editor.doc->selStart = first;
    editor.doc->selEnd = last;
  }
  void drive(const char* id, std::function<void(FormDialog&)> steps) {
    host.dialogs[id] = [id, steps](tolmar::test::ModelRef model) {
      DialogRequest request{id, model.variant()};
      auto dialog = createDialog(request, nullptr, {});
      EXPECT_TRUE(dialog) << id;
      if (!dialog) return false;
      test::showAndWait(dialog.get());
      steps(*dialog);
      EXPECT_FALSE(dialog->isVisible());
      return dialog->result() == QDialog::Accepted;
    };
  }
};

TEST_F(SpectralDialogTest, ReduceNoiseShowsTheNoiseControlsAndOkStoresThem) {
  openSide(40000, 20000);
  select(0, 16383);
  editor.GetFingerprint1Click();
  ASSERT_TRUE(editor.fingerprint.present);
  select(20000, 39999);
  drive(kReduceNoiseDialogId, [&](FormDialog& d) {
    EXPECT_EQ(d.windowTitle(), "Reduce Noise");
    QScrollBar* sensitivity = barOf(&d, "Sensitivity:");
    ASSERT_TRUE(sensitivity);
    EXPECT_EQ(sensitivity->value(), 21);
    EXPECT_EQ(shownBeside(sensitivity), "3.00");
    EXPECT_TRUE(byText<QCheckBox>(&d, "Keep Noise Only")->isVisible());
    EXPECT_TRUE(byText<QCheckBox>(&d, "Level Dependent")->isVisible());
    EXPECT_FALSE(barOf(&d, "Threshold:")->isVisible());
    EXPECT_FALSE(groupTitled(&d, "Decrackling ")->isVisible());
    // From the keyboard: ten steps left is position 11, a sensitivity of 1.0.
    sensitivity->setFocus();
    for (int i = 0; i < 10; ++i) QTest::keyClick(sensitivity, Qt::Key_Left);
    EXPECT_EQ(shownBeside(sensitivity), "1.00");
    QTest::keyClick(&d, Qt::Key_Tab);
    QTest::keyClick(&d, Qt::Key_Tab);
    test::screenshot(&d, "reduce_noise");
    byText<QCheckBox>(&d, "Level Dependent")->setChecked(true);
    QTest::keyClick(&d, Qt::Key_Return);
  });
  editor.RemoveNoise1Click();
  EXPECT_DOUBLE_EQ(editor.ctx.settings.noiseFactor, 1.0);
  EXPECT_TRUE(editor.ctx.settings.leveldep);
  EXPECT_FALSE(editor.ctx.settings.keepnoise);
  EXPECT_TRUE(editor.doc->canUndo()) << "the reduction ran";
}

TEST_F(SpectralDialogTest, CancelInReduceNoiseChangesNothingAndRaisesAbort) {
  openSide(40000, 20000);
  select(0, 16383);
  editor.GetFingerprint1Click();
  select(20000, 39999);
  drive(kReduceNoiseDialogId, [&](FormDialog& d) {
    barOf(&d, "Sensitivity:")->setValue(1);
    byText<QCheckBox>(&d, "Keep Noise Only")->setChecked(true);
    QTest::keyClick(&d, Qt::Key_Escape);
  });
  editor.RemoveNoise1Click();
  EXPECT_DOUBLE_EQ(editor.ctx.settings.noiseFactor, 3.0);
  EXPECT_FALSE(editor.ctx.settings.keepnoise);
  EXPECT_TRUE(editor.ctx.abortFlag);
  EXPECT_FALSE(editor.doc->canUndo());
}

TEST_F(SpectralDialogTest, ReduceCrackleAtFullHeightCouplesTheWidthsAndStoresEveryValue) {
  editor.ctx.settings.debugFull = true;
  openSide(40000, 20000);
  select(0, 16383);
  editor.GetFingerprint1Click();
  select(20000, 39999);
  drive(kReduceNoiseDialogId, [&](FormDialog& d) {
    EXPECT_EQ(d.windowTitle(), "Reduce Crackle");
    EXPECT_TRUE(byText<QCheckBox>(&d, "Keep Crackle Only"));
    EXPECT_FALSE(byText<QCheckBox>(&d, "Level Dependent")->isVisible());
    QScrollBar* threshold = barOf(&d, "Threshold:");
    EXPECT_TRUE(threshold->isVisible());
    EXPECT_EQ(shownBeside(threshold), QLocale().toString(4.0, 'f', 2));
    EXPECT_TRUE(groupTitled(&d, "Decrackling ")->isVisible());
    EXPECT_TRUE(byText<QRadioButton>(&d, "Instant")->isChecked());
    EXPECT_TRUE(byText<QRadioButton>(&d, "Bezier")->isChecked());
    QScrollBar* width = barOf(&d, "Click Width:");
    QScrollBar* repair = barOf(&d, "Repair Width:");
    width->setValue(30);
    EXPECT_EQ(repair->value(), 30) << "a wider click pushes the repair up";
    repair->setValue(12);
    EXPECT_EQ(width->value(), 12) << "a narrower repair pulls the click down";
    threshold->setValue(650);
    byText<QRadioButton>(&d, "Hill")->setChecked(true);
    byText<QRadioButton>(&d, "Smooth")->setChecked(true);
    test::screenshot(&d, "reduce_crackle_full");
    d.okButton()->click();
  });
  editor.Decrackle1Click();
  const Settings& s = editor.ctx.settings;
  EXPECT_EQ(s.noiseClkwidth, 12);
  EXPECT_EQ(s.noiseRepwidth, 12);
  EXPECT_EQ(s.noiseRelamp, 650);
  EXPECT_EQ(s.noiseShape, 3);   // Hill
  EXPECT_EQ(s.noiseRepair, 3);  // Smooth
}

TEST_F(SpectralDialogTest, ReduceCrackleAtHalfHeightKeepsTheStoredGroupValues) {
  openSide(40000, 20000);
  editor.ctx.settings.noiseShape = 4;
  select(0, 16383);
  editor.GetFingerprint1Click();
  select(20000, 39999);
  drive(kReduceNoiseDialogId, [&](FormDialog& d) {
    EXPECT_FALSE(groupTitled(&d, "Decrackling ")->isVisible());
    EXPECT_TRUE(barOf(&d, "Threshold:")->isVisible());
    byText<QRadioButton>(&d, "Hill")->setChecked(true);  // out of view: not taken
    d.okButton()->click();
  });
  editor.Decrackle1Click();
  EXPECT_EQ(editor.ctx.settings.noiseShape, 4);
}

// The window shown for a request, with a picture of its plot area.
struct Shown {
  QImage plot;
  QString caption;
  bool closeButton = false;
};
Shown showGraph(DialogRequest& request, const QString& name) {
  Shown shown;
  auto dialog = createDialog(request, nullptr, {});
  EXPECT_TRUE(dialog);
  if (!dialog) return shown;
  test::showAndWait(dialog.get());
  shown.caption = dialog->windowTitle();
  shown.closeButton = byText<QPushButton>(dialog.get(), "Close") != nullptr;
  test::screenshot(dialog.get(), name);
  QWidget* plot = nullptr;
  for (QWidget* w : dialog->findChildren<QWidget*>())
    if (!plot || w->width() * w->height() > plot->width() * plot->height()) plot = w;
  shown.plot = plot->grab().toImage();
  // Close, from the keyboard.
  QTest::keyClick(dialog.get(), Qt::Key_Return);
  EXPECT_FALSE(dialog->isVisible());
  return shown;
}

QColor colourAt(const QImage& img, PlotPoint p) {
  return QColor(img.pixel(p.x, p.y));
}

TEST_F(SpectralDialogTest, FrequencyAnalysisDrawsBothCurvesOnTheGridWithTheFingerprintUnder) {
  openSide(60000, 20000);
  select(0, 16383);
  editor.GetFingerprint1Click();
  select(20000, 59999);
  SpectrumModel model;
  Shown shown;
  host.dialogs[kFrequencyAnalysisDialogId] = [&](tolmar::test::ModelRef m) {
    model = *static_cast<SpectrumModel*>(m);
    DialogRequest request{kFrequencyAnalysisDialogId, m.variant()};
    shown = showGraph(request, "frequency_analysis");
    return true;
  };
  editor.FrequencyAnalysis1Click();
  EXPECT_EQ(shown.caption, "Frequency Analysis of Selected Region");
  EXPECT_TRUE(shown.closeButton);
  ASSERT_FALSE(shown.plot.isNull());
  const int W = shown.plot.width(), H = shown.plot.height();
  ASSERT_GE(W, 740);
  ASSERT_GE(H, 560);
  const SpectrumPlot plot = spectrumPlot(model, W, H);
  ASSERT_FALSE(plot.fingerprintLeft.empty()) << "a fingerprint is present";
  // 1 kHz is bin 93 of 4096 at 44100 Hz; curves start at bin 1, then bins 2, 3, ...
  const PlotPoint toneLeft = plot.left[92];
  const PlotPoint toneRight = plot.right[92];
  EXPECT_LT(toneLeft.y, toneRight.y - 50) << "the tone stands above the noise";
  EXPECT_EQ(colourAt(shown.plot, toneLeft), QColor(0x00, 0xFF, 0x00));
  EXPECT_EQ(colourAt(shown.plot, toneRight), QColor(0xFF, 0x00, 0x00));
  // The 20 Hz line near the top, where nothing else is drawn, and the background beside it.
  const PlotLine& twenty = plot.verticals.front();
  EXPECT_EQ(colourAt(shown.plot, {twenty.from.x, 2}), QColor(0x80, 0x80, 0x80));
  EXPECT_EQ(colourAt(shown.plot, {twenty.from.x + 3, 2}), QColor(Qt::black));
  // The fingerprint's colour is drawn somewhere along its curve.
  int fingerprintPixels = 0;
  const QColor fp = QColor(0x00, 0x80, 0x80);
  for (const PlotPoint& p : plot.fingerprintLeft)
    if (p.x < W && p.y >= 0 && p.y < H && colourAt(shown.plot, p) == fp) ++fingerprintPixels;
  EXPECT_GT(fingerprintPixels, 20);
}

TEST_F(SpectralDialogTest, TheClippingHistogramDrawsARedBarPerWidth) {
  std::vector<Frame> data(200, Frame{0, 0});
  for (int i = 10; i < 40; ++i) data[static_cast<size_t>(i)].left = 32767;  // 30 wide: "24+"
  for (int i = 60; i < 65; ++i) data[static_cast<size_t>(i)].left = 32767;  // 5 wide
  for (int i = 80; i < 85; ++i) data[static_cast<size_t>(i)].right = -32768;
  tolmar::test::WavBuilder()
      .frames(200, [&](int32_t i) { return data[static_cast<size_t>(i)]; })
      .write(dir.file("clipped.wav"));
  ASSERT_TRUE(editor.OpenDocument(dir.file("clipped.wav")));
  select(0, 199);
  editor.ctx.settings.showcliphistogram = true;
  ClippingHistogramModel model;
  Shown shown;
  host.dialogs[kClippingDialogId] = [&](tolmar::test::ModelRef m) {
    model = *static_cast<ClippingHistogramModel*>(m);
    DialogRequest request{kClippingDialogId, m.variant()};
    shown = showGraph(request, "clipping_histogram");
    return true;
  };
  editor.FindClippinginSelection1Click();
  EXPECT_EQ(shown.caption, "Clipping Analysis");
  ASSERT_FALSE(shown.plot.isNull());
  EXPECT_EQ(model.count[5], 2);
  EXPECT_EQ(model.count[24], 1);
  const auto bars = model.layout(shown.plot.width(), shown.plot.height());
  auto middle = [](const ClippingHistogramModel::Bar& b) {
    return PlotPoint{(b.left + b.right) / 2, (b.top + b.bottom) / 2};
  };
  EXPECT_EQ(colourAt(shown.plot, middle(bars[4])), QColor(0xFF, 0x00, 0x00));
  EXPECT_EQ(colourAt(shown.plot, middle(bars[23])), QColor(0xFF, 0x00, 0x00));
  EXPECT_NEAR(bars[4].bottom - bars[4].top, 2 * (bars[23].bottom - bars[23].top), 1)
      << "twice as high";
  EXPECT_EQ(colourAt(shown.plot, {middle(bars[2]).x, bars[4].top + 2}), QColor(Qt::black));
}

}  // namespace
}  // namespace tolmar::ui
