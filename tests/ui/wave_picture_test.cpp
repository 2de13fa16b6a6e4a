// The wave area's picture: the trace lines written straight into the image, and the kept
// waveform under a changing selection, which must give the pixels a fresh picture gives.

#include <QGuiApplication>
#include <QtTest>
#include <cmath>
#include <cstdlib>

#include "ui/wave_picture.h"

using namespace tolmar;

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;

QImage blank(int w, int h, qreal dpr = 1) {
  QImage img(static_cast<int>(w * dpr), static_cast<int>(h * dpr), QImage::Format_RGB32);
  img.setDevicePixelRatio(dpr);
  img.fill(kWhite);
  return img;
}

WaveTrace trace(std::initializer_list<std::pair<int, int>> points, uint32_t colour) {
  WaveTrace t;
  bool first = true;
  for (auto [x, y] : points) {
    if (first)
      t.moveTo(x, y);
    else
      t.lineTo(x, y, colour);
    first = false;
  }
  return t;
}

PaintOp op(PaintOp::Kind kind, int x0, int y0, int x1, int y1, uint32_t colour = 0) {
  PaintOp o;
  o.kind = kind;
  o.x0 = x0;
  o.y0 = y0;
  o.x1 = x1;
  o.y1 = y1;
  o.colour = colour;
  return o;
}

// A waveform in two bands, then a selection, a marker and an insertion label over it.
DisplayList picture(int selFrom, int selTo, int markerX) {
  DisplayList l;
  l.painted = true;
  for (int band = 0; band < 2; ++band) {
    const int top = band * 100, centre = top + 50;
    l.ops.push_back(op(PaintOp::Clip, 0, top, 300, top + 100));
    WaveTrace t;
    t.moveTo(0, centre);
    for (int x = 1; x < 300; ++x) {
      const int a = static_cast<int>(40 * std::sin(x / 7.0));
      t.lineTo(x, centre - a, 0x000000);
      t.lineTo(x, centre + a, x % 50 < 5 ? 0x0000FF : 0x000000);
    }
    PaintOp tr;
    tr.kind = PaintOp::Trace;
    tr.index = l.traces.size();
    l.traces.push_back(t);
    l.ops.push_back(tr);
    l.ops.push_back(op(PaintOp::Unclip, 0, 0, 0, 0));
  }
  l.ops.push_back(op(PaintOp::Line, 0, 100, 300, 100));
  l.ops.push_back(op(PaintOp::Invert, selFrom, 0, selTo, 200));
  l.ops.push_back(op(PaintOp::AndDarken, selTo, 0, selTo + 20, 200, 0xC0C0C0));
  PaintOp marker = op(PaintOp::Line, markerX, 0, markerX, 200, 0x00FF00);
  marker.width = 2;
  l.ops.push_back(marker);
  PaintOp label = op(PaintOp::Text, markerX + 2, 2, markerX + 2, 2, 0xFF00FF);
  label.text = " 00:00.100";
  label.big = true;
  l.ops.push_back(label);
  return l;
}

}  // namespace

class WavePictureTest : public QObject {
  Q_OBJECT

 private slots:
  void segmentsCoverEachStepOnceNearTheIdealLineAndLeaveTheLastPointOut() {
    QImage img = blank(40, 40);
    WaveTrace t = trace({{0, 0}, {3, 10}, {3, 20}, {23, 23}}, 0x000000);
    t.colours[1] = 0x0000FF;  // the vertical segment in red
    drawTrace(img, t, 1, img.rect());
    // The steep segment: one pixel a row, within half a pixel of the line.
    for (int y = 0; y < 10; ++y) {
      int hits = 0;
      for (int x = 0; x < 40; ++x)
        if (img.pixel(x, y) != kWhite) {
          ++hits;
          QVERIFY2(std::abs(x - 0.3 * y) <= 0.5,
                   qPrintable(QString("row %1 col %2").arg(y).arg(x)));
        }
      QCOMPARE(hits, 1);
    }
    for (int y = 10; y < 20; ++y) QCOMPARE(img.pixel(3, y), QColor(Qt::red).rgb());
    // The shallow segment: one pixel a column, its end left out.
    for (int x = 3; x < 23; ++x) {
      int hits = 0;
      for (int y = 20; y < 40; ++y) hits += img.pixel(x, y) != kWhite;
      QCOMPARE(hits, 1);
    }
    QCOMPARE(img.pixel(23, 23), kWhite);
  }

  void steepAndShallowSegmentsLandOnTheNearestPixelsInsideTheClip() {
    // Each step t of a segment lands on the nearest pixel of the ideal line, halves upwards.
    const auto nearest = [](int64_t num, int64_t den, int64_t t) {
      const int64_t n = 2 * num * t + den, d = 2 * den;
      return n >= 0 ? n / d : -((-n + d - 1) / d);
    };
    const QRect clip(3, 4, 30, 25);
    uint32_t seed = 7;
    const auto next = [&seed](int span) {
      seed = seed * 1103515245u + 12345u;
      return static_cast<int>((seed >> 16) % static_cast<uint32_t>(span));
    };
    for (int k = 0; k < 400; ++k) {
      const int x0 = next(40) - 2, y0 = next(40) - 2;
      const int dx = k % 3 == 0 ? next(30) - 15 : (k % 2 ? 1 : -1);
      const int dy = next(60) - 30;
      QImage img = blank(40, 40);
      drawTrace(img, trace({{x0, y0}, {x0 + dx, y0 + dy}}, 0x000000), 1, clip);
      QImage want = blank(40, 40);
      const int adx = std::abs(dx), ady = std::abs(dy);
      for (int t = 0; t < std::max(adx, ady); ++t) {
        const int64_t x = ady >= adx ? x0 + nearest(dx, ady, t) : x0 + (dx > 0 ? t : -t);
        const int64_t y = ady >= adx ? y0 + (dy > 0 ? t : -t) : y0 + nearest(dy, adx, t);
        if (clip.contains(static_cast<int>(x), static_cast<int>(y)))
          want.setPixel(static_cast<int>(x), static_cast<int>(y), 0xFF000000);
      }
      QVERIFY2(img == want,
               qPrintable(QString("(%1,%2) by (%3,%4)").arg(x0).arg(y0).arg(dx).arg(dy)));
    }
  }

  void segmentsFarOffTheAreaTouchNothingOutsideTheClip() {
    QImage img = blank(50, 50);
    const QRect clip(10, 10, 20, 20);
    // Rows a hundred million pixels away: only the clip's rows are walked.
    drawTrace(img, trace({{15, -100000000}, {15, 100000000}, {16, -100000000}}, 0x000000), 1, clip);
    for (int y = 0; y < 50; ++y)
      for (int x = 0; x < 50; ++x) {
        const bool inside = clip.contains(x, y);
        if (!inside) QCOMPARE(img.pixel(x, y), kWhite);
        if (x == 15 && inside) QVERIFY(img.pixel(x, y) != kWhite);
      }
  }

  void atTwiceTheDevicePixelsALineStaysOneDevicePixelWide() {
    QImage img = blank(20, 20, 2);
    drawTrace(img, trace({{5, 0}, {5, 10}, {9, 10}}, 0x000000), 2, img.rect());
    for (int y = 0; y < 20; ++y) {
      QVERIFY(img.pixel(10, y) != kWhite);
      QCOMPARE(img.pixel(9, y), kWhite);
      QCOMPARE(img.pixel(11, y), kWhite);
    }
    for (int x = 10; x < 18; ++x) {
      QVERIFY(img.pixel(x, 20) != kWhite);
      QCOMPARE(img.pixel(x, 21), kWhite);
    }
  }

  void aKeptWaveformUnderANewSelectionGivesTheFreshPicture() {
    for (qreal dpr : {1.0, 2.0}) {
      WavePicture kept;
      const QFont font;
      const WavePicture::SelectionColours sel{0xFF0000, 0x00FFFF};
      kept.compose(picture(20, 80, 120), 0xFFFFFF, {300, 200}, dpr, font, sel, {150, 0, 200});
      QVERIFY(!kept.reusedUnderlay());
      // The selection, the marker, its label and the play cursor all move.
      const QImage after =
          kept.compose(picture(140, 260, 40), 0xFFFFFF, {300, 200}, dpr, font, sel, {30, 0, 200});
      QVERIFY(kept.reusedUnderlay());
      WavePicture fresh;
      const QImage expected =
          fresh.compose(picture(140, 260, 40), 0xFFFFFF, {300, 200}, dpr, font, sel, {30, 0, 200});
      QCOMPARE(after, expected);
      // Again over the picture that was itself drawn over the kept part, now with no cursor and
      // a selection covering the whole width.
      const QImage third =
          kept.compose(picture(0, 300, 290), 0xFFFFFF, {300, 200}, dpr, font, sel, {});
      QVERIFY(kept.reusedUnderlay());
      QCOMPARE(third, WavePicture().compose(picture(0, 300, 290), 0xFFFFFF, {300, 200}, dpr, font,
                                            sel, {}));
      const QImage fourth =
          kept.compose(picture(100, 101, 5), 0xFFFFFF, {300, 200}, dpr, font, sel, {299, 0, 200});
      QVERIFY(kept.reusedUnderlay());
      QCOMPARE(fourth, WavePicture().compose(picture(100, 101, 5), 0xFFFFFF, {300, 200}, dpr, font,
                                             sel, {299, 0, 200}));
      // A change under the selection draws everything again.
      DisplayList changed = picture(140, 260, 40);
      changed.traces[1].ys[7] += 3;
      kept.compose(changed, 0xFFFFFF, {300, 200}, dpr, font, sel, {});
      QVERIFY(!kept.reusedUnderlay());
    }
  }
};

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);
  WavePictureTest t;
  return QTest::qExec(&t, argc, argv);
}

#include "wave_picture_test.moc"
