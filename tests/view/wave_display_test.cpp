#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "dsp/fft.h"
#include "support/doc_fixture.h"
#include "view/display_points.h"
#include "view/paint_display.h"
#include "view/wave_geometry.h"

namespace tolmar::test {
namespace {

TEST(WaveGeometryTest, AreaFollowsThePanelsTheScrollerAndTheAdjusters) {
  WaveAreaLayout l;
  l.clientWidth = 1000;
  l.clientHeight = 700;
  l.statusPanelHeight = 20;
  l.macroBarHeight = 30;
  l.toolBarHeight = 40;
  l.scrollerVisible = true;
  l.scrollerHeight = 17;
  EXPECT_EQ(WaveAreaTop(l), 90);
  EXPECT_EQ(WaveAreaHeight(l), 700 - 90 - 22 - 17);
  l.scrollerAtTop = true;
  EXPECT_EQ(WaveAreaTop(l), 107);
  EXPECT_EQ(WaveAreaHeight(l), 700 - 107 - 22);
  EXPECT_EQ(WaveAreaWidth(l), 1000);
  l.vscaleAdjusters = true;
  l.vscalebarWidth = 16;
  EXPECT_EQ(WaveAreaWidth(l), 1000 - 21);
}

TEST(WaveGeometryTest, ZoomedInPagesDrawWholePixelsPerFrameAndWidePagesRoundUp) {
  const HorizontalMapping in = computeHorizontal(800, 300);
  EXPECT_TRUE(in.zoomedIn);
  EXPECT_EQ(in.pixelsPerFrame, 2);
  EXPECT_EQ(PixelToFrame(in, 1000, 2000, 5), 1002);
  EXPECT_EQ(FrameToPixel(in, 1000, 1002), 4);

  const HorizontalMapping exact = computeHorizontal(800, 800);
  EXPECT_FALSE(exact.zoomedIn);
  EXPECT_EQ(exact.framesPerPixel, 1);
  const HorizontalMapping wide = computeHorizontal(800, 801);
  EXPECT_EQ(wide.framesPerPixel, 2);

  // An hour-long page: nothing overflows 32 bits, and the result stops at the page's end.
  const int32_t hour = 44100 * 3600;
  const HorizontalMapping whole = computeHorizontal(1920, hour);
  EXPECT_EQ(whole.framesPerPixel, (1920 + hour - 1) / 1920);
  const int32_t limit = std::numeric_limits<int32_t>::max() - 5;
  EXPECT_EQ(PixelToFrame(whole, limit - hour / 2, limit, 1919), limit);
  EXPECT_EQ(FrameToPixel(whole, 0, int64_t{hour} - 1), (int64_t{hour} - 1) / whole.framesPerPixel);
}

TEST(WaveGeometryTest, ChangedFramesMapToTheColumnsTheyAndTheirJoinsTouch) {
  // Two pixels per frame from frame 1000: frame 1010 sits at 20, its joins reach 18 ... 24.
  const HorizontalMapping in = computeHorizontal(800, 300);
  EXPECT_EQ(ColumnsOfFrames(in, 1000, 800, 1010, 1010), (std::pair{18, 24}));
  EXPECT_FALSE(ColumnsOfFrames(in, 1000, 800, 0, 500));
  EXPECT_FALSE(ColumnsOfFrames(in, 1000, 800, 1500, 1600));
  EXPECT_EQ(ColumnsOfFrames(in, 1000, 800, 999, 999), (std::pair{0, 2}));
  // Two frames per pixel: the columns of 99 and 102.
  const HorizontalMapping wide = computeHorizontal(800, 1600);
  EXPECT_EQ(ColumnsOfFrames(wide, 0, 800, 100, 101), (std::pair{49, 52}));
  EXPECT_EQ(ColumnsOfFrames(wide, 0, 800, 0, 1 << 30), (std::pair{0, 799}));
  EXPECT_FALSE(ColumnsOfFrames(wide, 0, 800, 10, 9));
}

TEST(WaveGeometryTest, VerticalScalingMaximisesMagnifiesAndInverts) {
  // Maximise with a silent page: one pixel per unit.
  VerticalScale v = computeVertical(400, 0, true, 99, 0);
  EXPECT_TRUE(v.magnify);
  EXPECT_EQ(v.multiplier, 1);
  // A peak of 1000 in a band of half-height 100: 1000 div 100, plus one for headroom.
  v = computeVertical(400, 1000, true, 99, 0);
  EXPECT_FALSE(v.magnify);
  EXPECT_EQ(v.divisor, 11);
  v = computeVertical(400, 99, true, 99, 0);
  EXPECT_TRUE(v.magnify);
  EXPECT_EQ(v.multiplier, 1);
  v = computeVertical(400, 1001, true, 99, 0);
  EXPECT_EQ(v.divisor, 11);
  EXPECT_EQ(sampleY(v, 100, 1001), 100 + 91);
  EXPECT_EQ(mirrorY(v, 100, 1001), 100 - 91);
  EXPECT_NEAR(v.ratio, 32767.0 / 100 / 11, 1e-9);

  // Not maximised: the scale bar's default gives q = 400 * 99 / 200 = 198.
  EXPECT_EQ(verticalScaleFromBar(kDefaultScaleBarPosition), 99);
  v = computeVertical(400, 0, false, 99, 50);
  EXPECT_EQ(v.divisor, 65536 / 198);
  EXPECT_EQ(v.offset, 50 * 65536 / 200);
  EXPECT_EQ(valueAtY(v, 100, sampleY(v, 100, -5000)) / v.divisor, -5000 / v.divisor);
  v = computeVertical(400, 0, false, verticalScaleFromBar(1), 0);
  EXPECT_TRUE(v.magnify);
  EXPECT_EQ(valueAtY(v, 100, sampleY(v, 100, 7)), 7);
}

struct DisplayPointsTest : DocFixture, ::testing::Test {};

TEST_F(DisplayPointsTest, PointsAreOneFramePerStepThroughTheEditsAndReusedByKey) {
  WaveFile& d = open(WavBuilder().staircase(5000));
  DisplayCache c;
  int64_t read = 0;
  ASSERT_TRUE(BuildDisplayPoints(d, 100, 999999, true, c, 7, &read));
  EXPECT_EQ(c.keyLast, 4999);
  ASSERT_EQ(c.size(), static_cast<size_t>((4999 - 100) / 7 + 1));
  for (size_t j = 0; j < c.size(); ++j) {
    ASSERT_EQ(c.left[j], static_cast<int16_t>(100 + 7 * j));
    ASSERT_EQ(c.right[j], static_cast<int16_t>(-(100 + 7 * static_cast<int>(j))));
  }
  EXPECT_LE(read, 5000);
  EXPECT_FALSE(BuildDisplayPoints(d, 100, 4999, true, c, 7)) << "same key, nothing changed";

  block(200, 300, 1, [](int32_t) { return 4242; });
  d.CommitEdit(1, "Test");
  d.displayOutOfDate = true;
  ASSERT_TRUE(BuildDisplayPoints(d, 100, 4999, true, c, 7));
  EXPECT_EQ(c.right[(205 - 100) / 7], 4242);
  EXPECT_EQ(c.left[(205 - 100) / 7], 205);
  EXPECT_EQ(c.right[(310 - 100) / 7], -310);

  // Wide steps read one frame per point, never the range.
  read = 0;
  ASSERT_TRUE(BuildDisplayPoints(d, 0, 4999, true, c, 500, &read));
  EXPECT_EQ(read, 10);
  EXPECT_EQ(c.left[3], 1500);
}

TEST_F(DisplayPointsTest, WideStepsTakeThePeakSummaryWithoutReadingFrames) {
  WaveFile& d =
      open(WavBuilder().frames(10000,
                               [](int32_t i) {
                                 return Frame{static_cast<int16_t>(i / 1000 * 100),
                                              static_cast<int16_t>(i == 4500 ? -32768 : 1)};
                               }),
           true);
  ASSERT_TRUE(d.hasPeaks());
  DisplayCache c;
  int64_t read = 0;
  ASSERT_TRUE(BuildDisplayPoints(d, 0, 9999, true, c, 1500, &read));
  EXPECT_EQ(read, 0);
  ASSERT_EQ(c.size(), 7u);
  EXPECT_EQ(c.left[1], 100) << "frame 1500 lies in block 2";
  EXPECT_EQ(c.left[6], 900);
  EXPECT_EQ(c.right[3], 32767) << "frame 4500's block holds -32768, kept in range";
  EXPECT_EQ(RecalcDisplayPeak(c, false, false), 32767);
  EXPECT_EQ(RecalcDisplayPeak(c, false, true), 900);
  EXPECT_EQ(RecalcDisplayPeak(c, true, true), 0);
}

TEST_F(DisplayPointsTest, CancelKeepsTheKeySoTheSamePageIsNotReadAgain) {
  WaveFile& d = open(WavBuilder().staircase(1200000));
  DisplayCache c;
  host.cancelAtPump = 2;
  ASSERT_TRUE(BuildDisplayPoints(d, 0, 1199999, true, c, 3));
  EXPECT_EQ(host.progressCaptions.at(0), " Reading:");
  EXPECT_LT(c.size(), 400000u);
  EXPECT_FALSE(BuildDisplayPoints(d, 0, 1199999, true, c, 3));
}

TEST_F(DisplayPointsTest, ALongPageIsBuiltApartFromThePaintAndItsCancelKeepsTheKey) {
  // 1,200,000 frames over 800 pixels: 1500 frames a point, no peak summary to take them from.
  WaveFile& d = open(WavBuilder().staircase(1200000));
  ViewState view;
  view.layout.clientWidth = 800;
  view.layout.clientHeight = 422;
  Settings s;
  PaintInput in;
  in.settings = &s;
  d.viewStart = 0;
  d.viewWidth = 1199999;
  EXPECT_TRUE(pagePointsStale(d, view));
  EXPECT_TRUE(pageBuildShowsProgress(d, view));
  const PageKey key = pageKeyOf(d, view);
  EXPECT_EQ(key.step, 1500);
  EXPECT_EQ(key.last, 1199999);

  // A paint that may not build draws what is held and reads nothing.
  in.buildPoints = false;
  DisplayList l = PaintDisplay(d, view, in);
  EXPECT_TRUE(l.painted);
  EXPECT_FALSE(l.rebuilt);
  EXPECT_EQ(l.framesRead, 0);
  EXPECT_EQ(view.points.size(), 0u);
  EXPECT_TRUE(host.progressCaptions.empty());

  // Cancelled on the third gauge step: part of the lists, the key stored, the page not stale.
  host.cancelAtPump = 3;
  const uint64_t before = view.points.generation;
  ASSERT_TRUE(BuildPagePoints(d, view, true));
  EXPECT_EQ(host.progressCaptions.at(0), " Reading:");
  EXPECT_GT(view.points.size(), 0u);
  EXPECT_LT(view.points.size(), 800u);
  EXPECT_EQ(view.points.keyFirst, 0);
  EXPECT_EQ(view.points.keyLast, 1199999);
  EXPECT_EQ(view.points.keyStep, 1500);
  EXPECT_EQ(view.points.left.back(),
            static_cast<int16_t>(1500 * static_cast<int>(view.points.size() - 1)));
  EXPECT_GT(view.points.generation, before + 1) << "counted at the start and at the end";
  EXPECT_EQ(view.history.count(), 1);
  EXPECT_FALSE(pagePointsStale(d, view));
  EXPECT_FALSE(BuildPagePoints(d, view, true));

  // Marked out of date, the page is built again, whole this time.
  d.displayOutOfDate = true;
  EXPECT_TRUE(pagePointsStale(d, view));
  host.cancelAtPump = 0;
  ASSERT_TRUE(BuildPagePoints(d, view, true));
  EXPECT_EQ(view.points.size(), 800u);
  EXPECT_FALSE(d.displayOutOfDate);
  EXPECT_EQ(view.displayedPeak, RecalcDisplayPeak(view.points, false, false));

  // Short ranges and summary-sized steps show no progress.
  d.viewWidth = 1000000;
  EXPECT_TRUE(pagePointsStale(d, view));
  EXPECT_FALSE(pageBuildShowsProgress(d, view));
  d.viewWidth = 1199999;
  ctx.settings.newstylewaveform = true;
  d.BuildPeakSummary();
  ASSERT_TRUE(d.hasPeaks());
  EXPECT_FALSE(pageBuildShowsProgress(d, view));
  view.layout.clientWidth = 1920;  // 625 frames a point: read from the file again
  EXPECT_TRUE(pageBuildShowsProgress(d, view));
  EXPECT_TRUE(pagePointsStale(d, view)) << "the step follows the area's width";
}

// ---- The picture ----

struct PaintTest : DocFixture, ::testing::Test {
  ViewState view;
  MarkerList markers;
  PaintInput in;

  PaintTest() {
    view.layout.clientWidth = 800;
    view.layout.clientHeight = 422;  // a 400-pixel area
    in.settings = &ctx.settings;
    in.markers = &markers;
  }
  const PaintOp* find(const DisplayList& l, PaintOp::Kind k, uint32_t colour) {
    for (const PaintOp& op : l.ops)
      if (op.kind == k && op.colour == colour) return &op;
    return nullptr;
  }
};

TEST_F(PaintTest, StaircaseSelectionAndItsOnePixelMinimum) {
  WaveFile& d = open(WavBuilder().staircase(1000));
  d.viewStart = 100;
  d.viewWidth = 200;  // 800 / 200 = 4 pixels per frame
  d.selStart = 110;
  d.selEnd = 119;
  view.scaleBarPosition = 1;  // magnified: every sample unit shows
  DisplayList l = PaintDisplay(d, view, in);
  ASSERT_TRUE(l.painted);
  EXPECT_EQ(view.mapping.pixelsPerFrame, 4);
  // The left band's trace: a step up to each next value at x = 4 j.
  const WaveTrace& t = l.traces.at(0);
  EXPECT_EQ(t.xs[1], 4);
  EXPECT_EQ(t.ys[1], t.ys[0]);
  EXPECT_EQ(t.xs[2], 4);
  EXPECT_NE(t.ys[2], t.ys[1]);
  const PaintOp* sel = find(l, PaintOp::Invert, 0);
  ASSERT_NE(sel, nullptr);
  EXPECT_EQ(sel->x0, 40);
  EXPECT_EQ(sel->x1, 80);
  EXPECT_EQ(sel->y0, 0);
  EXPECT_EQ(sel->y1, 400);

  // A whole file: a one-frame selection still covers a pixel.
  d.viewStart = 0;
  d.viewWidth = 999;
  d.selStart = 500;
  d.selEnd = 500;
  l = PaintDisplay(d, view, in);
  EXPECT_EQ(find(l, PaintOp::Invert, 0), nullptr) << "start = end is no selection";
  EXPECT_NE(find(l, PaintOp::Line, ctx.settings.colours.startsel), nullptr);
  d.selEnd = 501;
  l = PaintDisplay(d, view, in);
  sel = find(l, PaintOp::Invert, 0);
  ASSERT_NE(sel, nullptr);
  EXPECT_EQ(sel->x0, 250);
  EXPECT_EQ(sel->x1, 251);
}

TEST_F(PaintTest, OverlaysDrawInTheirColoursAndPlaces) {
  WaveFile& d = open(WavBuilder().staircase(8000));
  d.viewStart = 0;
  d.viewWidth = 7999;
  d.cues = {{1000, true, false, "", ""}, {2000, false, false, "", ""}};
  d.insertions = {{4000, 4410}};
  d.deletions = {{6000, 6999}};
  markers.Add(Marker::Left, 3000, 8);
  markers.Add(Marker::Both, 3500, 0);
  in.audibleMarker = 5000;
  const DisplayList l = PaintDisplay(d, view, in);
  const Settings::Colours& c = ctx.settings.colours;
  const PaintOp* cue = find(l, PaintOp::Line, c.cue);
  ASSERT_NE(cue, nullptr);
  EXPECT_EQ(cue->x0, 100);
  const PaintOp* left = find(l, PaintOp::Line, markerPaletteColour(8));
  ASSERT_NE(left, nullptr);
  EXPECT_EQ(left->x0, 300);
  EXPECT_EQ(left->y1, 200) << "a left-channel marker covers the upper band only";
  EXPECT_EQ(left->width, 2);
  EXPECT_EQ(find(l, PaintOp::Line, c.marker)->x0, 350);
  EXPECT_EQ(find(l, PaintOp::Line, c.clickmarker)->x0, 500);
  EXPECT_EQ(find(l, PaintOp::Line, c.insertion)->x0, 400);
  EXPECT_EQ(find(l, PaintOp::Text, c.insertion)->text, " 00:00.100");
  std::vector<std::string> labels;
  for (const PaintOp& op : l.ops)
    if (op.kind == PaintOp::Text && op.colour == c.cue) labels.push_back(op.text);
  EXPECT_EQ(labels, (std::vector<std::string>{" T2.1 ", " i2.2 "}));
  // The waveform turns to the deletion colour inside the marked range.
  const WaveTrace& t = l.traces.at(0);
  EXPECT_EQ(t.colours[590], c.normal);
  EXPECT_EQ(t.colours[650], c.deletion);
}

TEST(PaintPiecesTest, CueLabelsMarkerPaletteAndSpectralColours) {
  const std::vector<Cue> cues = {{10, false, false, "", ""}, {20, false, false, "", ""},
                                 {30, true, false, "", ""},  {40, false, false, "", ""},
                                 {50, false, false, "", ""}, {60, true, true, "", ""}};
  std::vector<std::string> texts;
  for (const CueLabel& l : cueLabels(cues)) texts.push_back(l.text);
  EXPECT_EQ(texts,
            (std::vector<std::string>{" i1.2 ", " i1.3 ", " T2.1 ", " i2.2 ", " i2.3 ", " T3.0 "}));
  EXPECT_EQ(markerPaletteColour(0), 0x000002u);
  EXPECT_EQ(markerPaletteColour(6), 0x00FF00u);
  EXPECT_EQ(markerPaletteColour(7), 0xFFFF00u);
  EXPECT_EQ(markerPaletteColour(14), 0x00FFFFu);
  EXPECT_EQ(markerPaletteColour(400), 0x0000FFu);
  EXPECT_EQ(spectralLevelIndex(0.0), 0);
  EXPECT_EQ(spectralLevelIndex(1.0), 25);  // round(2 log2 5000) = round(24.58)
  EXPECT_EQ(spectralLevelIndex(1e9), 31);
  EXPECT_EQ(SpectralColour(true, false, 1.0), 254u + 206u * 256u + 145u * 65536u);
  EXPECT_EQ(SpectralColour(false, false, 1.0), 254u * 0x010101u);
  EXPECT_EQ(SpectralColour(true, true, 0.0), 1u * 0x010101u);
}

TEST(PaintPiecesTest, SpectralLevelsAgreeWithTheFormulaAtEveryBoundary) {
  const auto formula = [](double m) {
    if (m <= 0.0) return 0;
    return static_cast<int>(std::clamp(std::round(2.0 * std::log2(m * 5000.0)), 0.0, 31.0));
  };
  // Around each level's edge, one representable magnitude at a time.
  for (int i = 0; i <= 32; ++i) {
    double m = std::exp2((i - 0.5) / 2) / 5000;
    for (int k = 0; k < 8; ++k) m = std::nextafter(m, 0.0);
    for (int k = 0; k < 16; ++k, m = std::nextafter(m, 1e300))
      ASSERT_EQ(spectralLevelIndex(m), formula(m)) << "magnitude " << m;
  }
  for (double m = 1e-12; m < 1e9; m *= 1.0173) ASSERT_EQ(spectralLevelIndex(m), formula(m)) << m;
  EXPECT_EQ(spectralLevelIndex(-1.0), 0);
  EXPECT_EQ(spectralLevelIndex(std::numeric_limits<double>::infinity()), 31);
  EXPECT_EQ(spectralPaletteColour(true, false, 40), spectralPaletteColour(true, false, 31));
}

// The spectral picture painted column by column and bin by bin, the plain way.
std::vector<uint32_t> plainSpectrum(WaveFile& d, const ViewState& v, const PaintInput& in) {
  const int W = v.areaWidth(), H = v.areaHeight();
  std::vector<uint32_t> px(static_cast<size_t>(W) * H, in.settings->colours.mainback);
  SpectralEngine e;
  e.SetFFTSize(128);
  std::vector<int16_t> f(256);
  std::vector<double> mL(128), mR(128);
  const int ppf = v.mapping.pixelsPerFrame;
  const double bin = H / 128.0;
  for (size_t j = 0; j < v.points.size(); ++j) {
    const int32_t p = v.cacheFirst() + static_cast<int32_t>(j) * v.points.keyStep;
    d.ReadFrames(true, f.data(), p - 64, p + 63);
    e.ForwardStereoFFT(f.data(), nullptr, true, mR.data(), mL.data(), nullptr);
    for (int band = 0; band < 2; ++band) {
      const int bottom = band == 0 ? H / 2 : H;
      const bool editable = band == 0 ? in.editLeft : in.editRight;
      for (int k = 0; k < 64; ++k) {
        const double m = band == 0 ? mL[k] : mR[k];
        const int level =
            m <= 0 ? 0
                   : static_cast<int>(std::clamp(std::round(2 * std::log2(m * 5000)), 0.0, 31.0));
        const uint32_t c = spectralPaletteColour(editable, inDeletion(d.deletions, p), level);
        const int y1 = bottom - static_cast<int>(std::lround(k * bin));
        const int y0 = bottom - static_cast<int>(std::lround((k + 1) * bin));
        for (int y = std::max(y0, 0); y < std::min(y1, H); ++y)
          for (int x = static_cast<int>(j) * ppf; x < static_cast<int>(j + 1) * ppf && x < W; ++x)
            px[static_cast<size_t>(y) * W + x] = c;
      }
    }
  }
  if (in.settings->spectralinvert)
    for (uint32_t& c : px) c = ~c & 0xFFFFFF;
  return px;
}

size_t differingPixels(const DisplayList& l, const std::vector<uint32_t>& want) {
  if (!l.spectralPixels || l.spectralPixels->size() != want.size()) return want.size() + 1;
  size_t n = 0;
  for (size_t i = 0; i < want.size(); ++i) n += (*l.spectralPixels)[i] != want[i];
  return n;
}

TEST_F(PaintTest, SpectralPictureMatchesThePlainPaintAndIsKeptUntilSomethingChanges) {
  // Left: a tone on bin 10 of 128; right: noise.
  uint32_t seed = 12345;
  WaveFile& d = open(WavBuilder().frames(44100 * 2, [&seed](int32_t i) {
    seed = seed * 1664525u + 1013904223u;
    return Frame{static_cast<int16_t>(16000 * std::sin(2 * M_PI * 10 * i / 128.0)),
                 static_cast<int16_t>(static_cast<int>(seed >> 20) - 2048)};
  }));
  view.layout.clientWidth = 301;
  view.layout.clientHeight = 229;  // an odd 207-pixel area: bins of 1.6 rows
  view.spectral = true;
  d.viewStart = 0;
  d.viewWidth = d.lastFrame;
  d.deletions = {{30000, 40000}};
  in.editRight = false;
  DisplayList l = PaintDisplay(d, view, in);
  ASSERT_EQ(l.spectralWidth, 301);
  ASSERT_EQ(l.spectralHeight, 207);
  EXPECT_EQ(differingPixels(l, plainSpectrum(d, view, in)), 0u);
  // The tone's row in the left band outshines a row far above it.
  const auto at = [&](int x, int y) {
    return (*l.spectralPixels)[static_cast<size_t>(y) * 301 + x];
  };
  const int toneRow = 207 / 2 - static_cast<int>(std::lround(10.5 * 207 / 128.0));
  const int highRow = 207 / 2 - static_cast<int>(std::lround(50.5 * 207 / 128.0));
  EXPECT_EQ(at(20, toneRow), spectralPaletteColour(true, false, 31));
  EXPECT_NE(at(20, highRow), at(20, toneRow));
  const int delColumn = 35000 / view.mapping.framesPerPixel;
  const uint32_t grey = at(delColumn, toneRow);
  EXPECT_EQ(grey, (grey & 0xFF) * 0x010101u) << "dimmed inside the deletion";

  // Only the selection changes: the same picture, not drawn again.
  const auto* first = l.spectralPixels.get();
  d.selStart = 100;
  d.selEnd = 2000;
  DisplayList again = PaintDisplay(d, view, in);
  EXPECT_EQ(again.spectralPixels.get(), first);
  size_t a = 0, b = 0;
  for (; a < l.ops.size() && l.ops[a].kind != PaintOp::Spectral; ++a) {
  }
  for (; b < again.ops.size() && again.ops[b].kind != PaintOp::Spectral; ++b) {
  }
  ASSERT_LT(a, l.ops.size());
  ASSERT_LT(b, again.ops.size());
  EXPECT_EQ(l.ops[a].index, again.ops[b].index);

  // A new deletion, inversion, another height, a zoomed-in page: drawn again, still exact.
  d.deletions = {{60000, 70000}};
  l = PaintDisplay(d, view, in);
  EXPECT_NE(l.spectralPixels.get(), first);
  EXPECT_EQ(differingPixels(l, plainSpectrum(d, view, in)), 0u);
  ctx.settings.spectralinvert = true;
  view.layout.clientHeight = 150;
  l = PaintDisplay(d, view, in);
  EXPECT_EQ(l.spectralHeight, 128);
  EXPECT_EQ(differingPixels(l, plainSpectrum(d, view, in)), 0u);
  ctx.settings.spectralinvert = false;
  d.viewStart = 1000;
  d.viewWidth = 100;  // three pixels a frame
  l = PaintDisplay(d, view, in);
  ASSERT_EQ(view.mapping.pixelsPerFrame, 3);
  EXPECT_EQ(differingPixels(l, plainSpectrum(d, view, in)), 0u);
  // Columns far apart (4410 frames) each read their own frames.
  view.layout.clientWidth = 20;
  d.viewStart = 0;
  d.viewWidth = d.lastFrame;
  l = PaintDisplay(d, view, in);
  ASSERT_EQ(view.points.keyStep, 4410);
  EXPECT_EQ(differingPixels(l, plainSpectrum(d, view, in)), 0u);
}

TEST_F(PaintTest, StatusLineNamesTheDisplaySelectionClicksPlaybackAndScale) {
  WaveFile& d = open(WavBuilder().staircase(44100 * 3));
  d.viewStart = 0;
  d.viewWidth = 44100;
  d.selStart = 4410;
  d.selEnd = 8820;
  in.clickCount = 12;
  in.currentClickIndex = 2;
  in.playRight = false;
  d.maxVertical = true;
  DisplayList l = PaintDisplay(d, view, in);
  EXPECT_EQ(
      l.status,
      "Display: 00:00.000->00:01.000      Select: 00:00.100->00:00.200      At Click #3 of "
      "12      Playback: Left      Vertical Scaling: " +
          [&] {
            char b[32];
            std::snprintf(b, sizeof b, "%.1f", view.vertical.ratio);
            return std::string(b);
          }() +
          ":1");
  ctx.settings.spansasdurations = true;
  in.currentClickIndex = -1;
  in.busy = false;
  l = PaintDisplay(d, view, in);
  EXPECT_NE(l.status.find("Display: 00:00.000/00:01.000      Select: 00:00.100/00:00.100      "
                          "#Clicks: 12"),
            std::string::npos);
  in.busy = true;
  EXPECT_EQ(PaintDisplay(d, view, in).status, "") << "a long operation owns the status line";
}

}  // namespace
}  // namespace tolmar::test
