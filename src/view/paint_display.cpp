#include "view/paint_display.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "document/time_text.h"
#include "document/wave_file.h"
#include "dsp/fft.h"

namespace tolmar {

namespace {

constexpr int kSpectralSize = 128;
constexpr int64_t kSpectralRun = 32768;

PaintOp rectOp(PaintOp::Kind kind, int x0, int y0, int x1, int y1, uint32_t colour = 0) {
  PaintOp op;
  op.kind = kind;
  op.x0 = x0;
  op.y0 = y0;
  op.x1 = x1;
  op.y1 = y1;
  op.colour = colour;
  return op;
}

PaintOp lineOp(int x0, int y0, int x1, int y1, uint32_t colour, int width = 1,
               bool dotted = false) {
  PaintOp op = rectOp(PaintOp::Line, x0, y0, x1, y1, colour);
  op.width = width;
  op.dotted = dotted;
  return op;
}

PaintOp textOp(int x, int y, std::string text, uint32_t colour, bool big) {
  PaintOp op = rectOp(PaintOp::Text, x, y, x, y, colour);
  op.text = std::move(text);
  op.big = big;
  return op;
}

std::string timeOf(const WaveFile& doc, const PaintInput& in, int64_t f) {
  return formatTime(f, in.sampleRate, in.settings->timeinframes, in.settings->tracksintimes,
                    doc.cues);
}

bool inCache(const ViewState& v, int64_t f) {
  return f >= v.cacheFirst() && f <= v.cacheLast();
}

int clampInt(int64_t v, int64_t lo, int64_t hi) {
  return static_cast<int>(std::clamp(v, lo, hi));
}

// Draws a list of values from column x0 one point per pixel step, while x stays at or before
// xLimit, with the staircase rule of the waveform.
void traceValues(DisplayList& out, const ViewState& view, const std::vector<int16_t>& values,
                 int64_t x0, int64_t xLimit, int centre, uint32_t colour) {
  if (values.empty()) return;
  const int px = view.mapping.pixelsPerFrame;
  WaveTrace t;
  t.moveTo(static_cast<int>(x0), sampleY(view.vertical, centre, values[0]));
  for (size_t j = 1; j < values.size(); ++j) {
    const int64_t x = x0 + static_cast<int64_t>(j) * px;
    if (x > xLimit) break;
    if (px > 1)
      t.lineTo(static_cast<int>(x), sampleY(view.vertical, centre, values[j - 1]), colour);
    t.lineTo(static_cast<int>(x), sampleY(view.vertical, centre, values[j]), colour);
  }
  PaintOp op;
  op.kind = PaintOp::Trace;
  op.index = out.traces.size();
  out.traces.push_back(std::move(t));
  out.ops.push_back(op);
}

// The level formula itself: round(2 log2(magnitude × 5000)), limited to 0 ... 31.
int levelByFormula(double magnitude) {
  if (magnitude <= 0.0) return 0;
  const double level = std::round(2.0 * std::log2(magnitude * 5000.0));
  return static_cast<int>(std::clamp(level, 0.0, 31.0));
}

// The level of any magnitude from a table: at[i] is the least magnitude the formula puts above
// level i (found by halving over the ordered bit patterns of positive doubles, so the table
// agrees with the formula everywhere), and guess[] the level at the start of each slice of
// 1/128 octave between the first and last edges. A slice holds at most one edge (they lie half
// an octave apart), so one comparison finishes the lookup.
struct LevelTable {
  static constexpr int kSliceBits = 7;
  double at[32];
  uint64_t firstExponent = 0, lastExponent = 0;
  std::vector<uint8_t> guess;

  static double ofBits(uint64_t b) {
    double m;
    std::memcpy(&m, &b, sizeof m);
    return m;
  }
  static uint64_t bitsOf(double m) {
    uint64_t b;
    std::memcpy(&b, &m, sizeof b);
    return b;
  }
  LevelTable() {
    for (int i = 1; i <= 31; ++i) {
      uint64_t lo = 0, hi = 0x7FEFFFFFFFFFFFFFull;  // level(lo) < i <= level(hi)
      while (hi - lo > 1) {
        const uint64_t mid = lo + (hi - lo) / 2;
        (levelByFormula(ofBits(mid)) >= i ? hi : lo) = mid;
      }
      at[i - 1] = ofBits(hi);
    }
    at[31] = std::numeric_limits<double>::infinity();
    firstExponent = bitsOf(at[0]) >> 52;
    lastExponent = bitsOf(at[30]) >> 52;
    guess.resize(static_cast<size_t>(lastExponent - firstExponent + 1) << kSliceBits);
    for (size_t k = 0; k < guess.size(); ++k)
      guess[k] = static_cast<uint8_t>(
          levelByFormula(ofBits(((firstExponent + (k >> kSliceBits)) << 52) |
                                (uint64_t{k & ((1u << kSliceBits) - 1)} << (52 - kSliceBits)))));
  }
  int level(double magnitude) const {
    if (!(magnitude > 0.0)) return 0;
    const uint64_t b = bitsOf(magnitude);
    const uint64_t e = b >> 52;
    if (e < firstExponent) return 0;
    if (e > lastExponent) return 31;
    const int g = guess[((e - firstExponent) << kSliceBits) |
                        ((b >> (52 - kSliceBits)) & ((1u << kSliceBits) - 1))];
    return g + (magnitude >= at[g] ? 1 : 0);
  }
};

const LevelTable& levelTable() {
  static const LevelTable t;
  return t;
}

// What a spectral picture depends on besides the points and the area's size.
uint64_t spectralColouring(const WaveFile& doc, const ViewState& view, const PaintInput& in) {
  uint64_t h = 1469598103934665603ull;
  const auto mix = [&h](uint64_t v) { h = (h ^ v) * 1099511628211ull; };
  mix(in.editLeft);
  mix(in.editRight);
  mix(in.settings->spectralinvert);
  mix(in.settings->colours.mainback);
  mix(static_cast<uint32_t>(view.mapping.pixelsPerFrame));
  for (const Deletion& d : doc.deletions) {
    mix(static_cast<uint32_t>(d.start));
    mix(static_cast<uint32_t>(d.end));
  }
  return h;
}

// Each column's 64 bins per band are turned into colours once; every row of the picture is then
// one bin's colours across the columns, and the rows of one bin are copies of its first.
void paintSpectral(WaveFile& doc, ViewState& view, const PaintInput& in, DisplayList& out) {
  const int W = std::max(view.areaWidth(), 0), H = std::max(view.areaHeight(), 0);
  out.spectralWidth = W;
  out.spectralHeight = H;
  ViewState::KeptSpectrum& kept = view.keptSpectrum;
  const uint64_t colouring = spectralColouring(doc, view, in);
  if (kept.kept && kept.pixels && kept.width == W && kept.height == H &&
      kept.points == view.points.generation && kept.colouring == colouring) {
    out.spectralPixels = kept.pixels;
    return;
  }
  const uint32_t invert = in.settings->spectralinvert ? 0xFFFFFFu : 0u;
  const uint32_t back = in.settings->colours.mainback ^ invert;
  auto pixels = std::make_shared<std::vector<uint32_t>>();
  if (W > 0 && H > 0) {
    constexpr int kBins = kSpectralSize / 2;
    // The bin (band × 64 + k) each row shows, -1 for none; the right band is drawn last.
    std::vector<int> rowBin(static_cast<size_t>(H), -1);
    const double binHeight = static_cast<double>(H) / kSpectralSize;
    for (int band = 0; band < 2; ++band) {
      const int bottom = band == 0 ? H / 2 : H;
      for (int k = 0; k < kBins; ++k) {
        const int y1 = bottom - static_cast<int>(std::lround(k * binHeight));
        const int y0 = bottom - static_cast<int>(std::lround((k + 1) * binHeight));
        for (int y = std::max(y0, 0); y < std::min(y1, H); ++y)
          rowBin[static_cast<size_t>(y)] = band * kBins + k;
      }
    }
    // Colours by [editable][dimmed][level], inverted already when asked.
    uint32_t palette[2][2][32];
    for (int e = 0; e < 2; ++e)
      for (int d = 0; d < 2; ++d)
        for (int i = 0; i < 32; ++i)
          palette[e][d][i] = spectralPaletteColour(e != 0, d != 0, i) ^ invert;

    const int px = view.mapping.pixelsPerFrame;
    const size_t columns = std::min(view.points.size(), static_cast<size_t>((W + px - 1) / px));
    // binColours[b * columns + j]: the colour of bin b in column j.
    std::vector<uint32_t> binColours(static_cast<size_t>(2 * kBins) * columns);
    // The engine's tables are made once, not for every picture.
    thread_local SpectralEngine engine;
    engine.SetFFTSize(kSpectralSize);
    const LevelTable& levels = levelTable();
    std::vector<double> magL(kSpectralSize), magR(kSpectralSize);
    // Columns close together are read in runs of up to kSpectralRun frames, one read a run
    // instead of one a column; far apart, each column reads its own 128 frames.
    const int64_t step = view.points.keyStep;
    const int64_t perRun = step <= kSpectralRun / 8 ? (kSpectralRun - kSpectralSize) / step + 1 : 1;
    std::vector<int16_t> run(static_cast<size_t>(2 * ((perRun - 1) * step + kSpectralSize)));
    for (size_t j0 = 0; j0 < columns; j0 += static_cast<size_t>(perRun)) {
      const size_t j1 = std::min(columns, j0 + static_cast<size_t>(perRun));
      const int64_t p0 = int64_t{view.cacheFirst()} + static_cast<int64_t>(j0) * step;
      const int64_t runLast = p0 + static_cast<int64_t>(j1 - 1 - j0) * step + kSpectralSize / 2 - 1;
      doc.ReadFrames(true, run.data(), static_cast<int32_t>(p0 - kSpectralSize / 2),
                     static_cast<int32_t>(runLast));
      for (size_t j = j0; j < j1; ++j) {
        const int64_t p = p0 + static_cast<int64_t>(j - j0) * step;
        const int16_t* frames = run.data() + 2 * (p - p0);
        // Both channels in one transform; the same bins as two, to rounding.
        engine.forwardStereo(frames, true);
        for (int c = 0; c < 2; ++c) {
          const double* re = engine.re(c);
          const double* im = engine.im(c);
          double* mag = c == 0 ? magL.data() : magR.data();
          for (int k = 0; k < kBins; ++k) mag[k] = std::sqrt(re[k] * re[k] + im[k] * im[k]);
        }
        const int del = inDeletion(doc.deletions, static_cast<int32_t>(p)) ? 1 : 0;
        const uint32_t* left = palette[in.editLeft ? 1 : 0][del];
        const uint32_t* right = palette[in.editRight ? 1 : 0][del];
        for (int k = 0; k < kBins; ++k) {
          binColours[static_cast<size_t>(k) * columns + j] = left[levels.level(magL[k])];
          binColours[static_cast<size_t>(kBins + k) * columns + j] = right[levels.level(magR[k])];
        }
        doc.ctx().pump();
      }
    }
    // Rows are appended whole: the picture's memory is written once.
    pixels->reserve(static_cast<size_t>(W) * H);
    std::vector<uint32_t> line(static_cast<size_t>(W), back);
    int lineBin = -1;
    for (int y = 0; y < H; ++y) {
      const int b = rowBin[static_cast<size_t>(y)];
      if (b != lineBin) {
        lineBin = b;
        std::fill(line.begin(), line.end(), back);
        if (b >= 0) {
          const uint32_t* colours = binColours.data() + static_cast<size_t>(b) * columns;
          if (px == 1) {
            std::copy(colours, colours + columns, line.begin());
          } else {
            for (size_t j = 0; j < columns; ++j) {
              const int x0 = static_cast<int>(j) * px;
              std::fill(line.begin() + x0, line.begin() + std::min(x0 + px, W), colours[j]);
            }
          }
        }
      }
      pixels->insert(pixels->end(), line.begin(), line.end());
    }
  }
  kept.kept = true;
  kept.width = W;
  kept.height = H;
  kept.points = view.points.generation;
  kept.colouring = colouring;
  ++kept.serial;
  kept.pixels = pixels;
  out.spectralPixels = std::move(pixels);
}

}  // namespace

bool inDeletion(const std::vector<Deletion>& deletions, int32_t f) {
  for (const Deletion& d : deletions)
    if (f >= d.start && f <= d.end) return true;
  return false;
}

uint32_t markerPaletteColour(int32_t count) {
  const int32_t i = std::clamp(count, 0, 15);
  if (i == 0) return 0x000002;
  if (i <= 6) return 0x00FF00;
  if (i <= 10) return 0xFFFF00;
  if (i <= 14) return 0x00FFFF;
  return 0x0000FF;
}

int spectralLevelIndex(double magnitude) {
  return levelTable().level(magnitude);
}

uint32_t spectralPaletteColour(bool editable, bool inDel, int level) {
  static constexpr uint8_t kRed[32] = {1,   15,  29,  43,  57,  71,  85,  99,  113, 127, 141,
                                       155, 169, 183, 197, 211, 225, 254, 254, 254, 254, 254,
                                       254, 254, 254, 254, 254, 254, 254, 254, 254, 254};
  static constexpr uint8_t kGreen[32] = {25,  20,  15,  8,   2,   2,   2,   2,   2,   2,  2,
                                         3,   3,   3,   3,   3,   9,   15,  39,  63,  87, 111,
                                         135, 158, 182, 206, 230, 254, 254, 254, 254, 254};
  static constexpr uint8_t kBlue[32] = {20,  33,  46,  59,  72,  85,  98,  111, 124, 137, 150,
                                        135, 121, 107, 93,  78,  64,  50,  35,  50,  66,  82,
                                        98,  114, 129, 145, 160, 176, 191, 206, 222, 254};
  const int i = std::clamp(level, 0, 31);
  if (editable && !inDel) return kRed[i] + kGreen[i] * 256u + kBlue[i] * 65536u;
  return kRed[i] * 0x010101u;
}

uint32_t SpectralColour(bool editable, bool inDel, double magnitude) {
  return spectralPaletteColour(editable, inDel, spectralLevelIndex(magnitude));
}

std::vector<CueLabel> cueLabels(const std::vector<Cue>& cues) {
  std::vector<CueLabel> out;
  int track = 1, index = 1;
  char buf[32];
  for (const Cue& c : cues) {
    if (c.track) {
      ++track;
      index = c.indexZero ? 0 : 1;
      std::snprintf(buf, sizeof buf, " T%d.%d ", track, index);
    } else {
      ++index;
      std::snprintf(buf, sizeof buf, " i%d.%d ", track, index);
    }
    out.push_back({c.position, buf});
  }
  return out;
}

std::string statusLineText(const WaveFile& doc, const ViewState& view, const PaintInput& in) {
  const Settings& s = *in.settings;
  std::string t;
  if (in.compatHeld) {
    t = "Compatible Block Found at ";
    t += in.compatOffset < 0 ? "-" + timeOf(doc, in, -int64_t{in.compatOffset})
                             : "+" + timeOf(doc, in, in.compatOffset);
  } else {
    const int64_t first = view.cacheFirst(), last = view.cacheLast();
    t = "Display: " + timeOf(doc, in, first) +
        (s.spansasdurations ? "/" + timeOf(doc, in, last - first) : "->" + timeOf(doc, in, last));
    if (doc.selStart >= 0 && doc.selStart < doc.selEnd) {
      t += "      Select: " + timeOf(doc, in, doc.selStart) +
           (s.spansasdurations ? "/" + timeOf(doc, in, int64_t{doc.selEnd} - doc.selStart)
                               : "->" + timeOf(doc, in, doc.selEnd));
    }
    if (in.clickCount > 0) {
      t += in.currentClickIndex >= 0
               ? "      At Click #" + std::to_string(in.currentClickIndex + 1) + " of " +
                     std::to_string(in.clickCount)
               : "      #Clicks: " + std::to_string(in.clickCount);
    }
  }
  t += "      Playback: ";
  t += in.playLeft && in.playRight ? "Stereo"
       : in.playLeft               ? "Left"
       : in.playRight              ? "Right"
                                   : "None";
  char ratio[48];
  std::snprintf(ratio, sizeof ratio, "%.1f", view.vertical.ratio);
  t += "      Vertical Scaling: " + std::string(ratio) + ":1";
  return t;
}

PageKey pageKeyOf(const WaveFile& doc, const ViewState& view) {
  PageKey k;
  k.first = doc.viewStart;
  k.last = static_cast<int32_t>(std::min<int64_t>(
      std::min<int64_t>(int64_t{doc.viewStart} + doc.viewWidth, INT32_MAX), doc.lastFrame));
  k.step = std::max(computeHorizontal(view.areaWidth(), doc.viewWidth).framesPerPixel, 1);
  return k;
}

bool pagePointsStale(const WaveFile& doc, const ViewState& view) {
  if (doc.directWriting || doc.viewWidth <= 0) return false;
  const PageKey k = pageKeyOf(doc, view);
  return doc.displayOutOfDate || k.first != view.points.keyFirst || k.last != view.points.keyLast ||
         k.step != view.points.keyStep;
}

bool pageBuildShowsProgress(const WaveFile& doc, const ViewState& view) {
  const PageKey k = pageKeyOf(doc, view);
  return DisplayPointsShowProgress(doc, k.first, k.last, k.step);
}

bool BuildPagePoints(WaveFile& doc, ViewState& view, bool showProgress, int64_t* framesRead) {
  if (doc.viewWidth <= 0) return false;
  const int32_t oldFirst = view.points.keyFirst, oldLast = view.points.keyLast,
                oldStep = view.points.keyStep;
  const bool wasOutOfDate = doc.displayOutOfDate;
  const PageKey k = pageKeyOf(doc, view);
  if (!BuildDisplayPoints(doc, k.first, k.last, showProgress, view.points, k.step, framesRead))
    return false;
  const bool keyChanged = view.points.keyFirst != oldFirst || view.points.keyLast != oldLast ||
                          view.points.keyStep != oldStep || wasOutOfDate;
  if (keyChanged && view.recalcPeak)
    view.displayedPeak = RecalcDisplayPeak(view.points, view.ignoreLeft, view.ignoreRight);
  view.recalcPeak = true;
  doc.displayOutOfDate = false;
  view.history.record(view.points.keyFirst, view.points.keyLast);
  return true;
}

DisplayList PaintDisplay(WaveFile& doc, ViewState& view, const PaintInput& in) {
  DisplayList out;
  const Settings& s = *in.settings;
  if (doc.painting || in.batch) return out;
  struct Guard {
    bool& flag;
    ~Guard() { flag = false; }
  } guard{doc.painting = true};
  if (doc.viewWidth <= 0) return out;
  out.painted = true;

  const int W = view.areaWidth(), H = view.areaHeight(), top = view.areaTop();
  view.mapping = computeHorizontal(W, doc.viewWidth);
  const HorizontalMapping& m = view.mapping;
  const int px = m.pixelsPerFrame;

  // The overlay block's points: the part of it that lies on the page.
  if (in.overlayActive && in.overlayLength > 0) {
    const int64_t tFirst = std::max<int64_t>(in.overlayPosition, doc.viewStart);
    const int64_t tLast = std::min<int64_t>(in.overlayPosition + in.overlayLength - 1,
                                            int64_t{doc.viewStart} + doc.viewWidth);
    if (tFirst <= tLast) {
      const int64_t sFirst = in.overlaySource + (tFirst - in.overlayPosition);
      BuildDisplayPoints(doc, static_cast<int32_t>(sFirst),
                         static_cast<int32_t>(sFirst + (tLast - tFirst)), false, view.overlayPoints,
                         m.framesPerPixel);
    } else {
      view.overlayPoints.clear();
    }
  }

  if (in.buildPoints) out.rebuilt = BuildPagePoints(doc, view, true, &out.framesRead);

  view.vertical =
      computeVertical(H, view.displayedPeak, doc.maxVertical,
                      verticalScaleFromBar(view.scaleBarPosition), view.offsetBarPosition);
  if (!in.busy) out.status = statusLineText(doc, view, in);

  const int64_t nPoints = static_cast<int64_t>(view.points.size());
  const int right = static_cast<int>(std::min<int64_t>(nPoints * px, INT32_MAX));
  const int leftCentre = leftBandCentre(top, H), rightCentre = rightBandCentre(top, H);
  uint32_t pen = s.colours.normal;

  if (view.spectral) {
    paintSpectral(doc, view, in, out);
    PaintOp op = rectOp(PaintOp::Spectral, 0, top, W, top + H);
    op.index = static_cast<size_t>(view.keptSpectrum.serial);
    out.ops.push_back(op);
  } else {
    const int32_t first = view.cacheFirst(), step = view.points.keyStep;
    const uint32_t fpp = static_cast<uint32_t>(m.framesPerPixel);
    const bool envelope = (fpp > 256 && s.newstylewaveform) || (fpp > 1000 && doc.hasPeaks());
    const bool clickOn = in.currentClick >= 0 && !in.currentClickFalse;
    const int halfClick = in.clickWidth / 2;
    for (int band = 0; band < 2; ++band) {
      const bool editable = band == 0 ? in.editLeft : in.editRight;
      const int bandTop = band == 0 ? top : top + H / 2;
      const int bandBottom = band == 0 ? top + H / 2 : top + H;
      const int centre = band == 0 ? leftCentre : rightCentre;
      const std::vector<int16_t>& v = band == 0 ? view.points.left : view.points.right;
      out.ops.push_back(rectOp(PaintOp::Clip, 0, bandTop, W, bandBottom));
      if (!editable)
        out.ops.push_back(rectOp(PaintOp::Fill, 0, bandTop, W, bandBottom, s.colours.noeditback));
      out.ops.push_back(lineOp(0, centre, W, centre, s.colours.axes, 1, true));
      pen = editable ? s.colours.normal : s.colours.noedit;
      if (!v.empty()) {
        WaveTrace t;
        t.moveTo(0, sampleY(view.vertical, centre, v[0]));
        if (envelope) t.lineTo(0, mirrorY(view.vertical, centre, v[0]), pen);
        for (size_t j = 1; j < v.size(); ++j) {
          const int64_t f = int64_t{first} + static_cast<int64_t>(j - 1) * step;
          uint32_t c = pen;
          if (inDeletion(doc.deletions, static_cast<int32_t>(f)))
            c = s.colours.deletion;
          else if (clickOn && f >= in.currentClick - halfClick && f <= in.currentClick + halfClick)
            c = s.colours.click;
          const int x = static_cast<int>(j) * px;
          if (px > 1) {
            t.lineTo(x, sampleY(view.vertical, centre, v[j - 1]), c);
            t.lineTo(x, sampleY(view.vertical, centre, v[j]), c);
          } else if (envelope) {
            t.lineTo(x, mirrorY(view.vertical, centre, v[j]), c);
            t.lineTo(x, sampleY(view.vertical, centre, v[j]), c);
          } else {
            t.lineTo(x, sampleY(view.vertical, centre, v[j]), c);
          }
        }
        PaintOp op;
        op.kind = PaintOp::Trace;
        op.index = out.traces.size();
        out.traces.push_back(std::move(t));
        out.ops.push_back(op);
      }
      out.ops.push_back(rectOp(PaintOp::Unclip, 0, 0, 0, 0));
    }
  }

  // The time scale.
  {
    const int32_t first = view.cacheFirst(), last = view.cacheLast();
    const int clientW = view.layout.clientWidth;
    out.ops.push_back(
        rectOp(PaintOp::Fill, 0, top + H, clientW, top + H + kTimeScaleHeight, kButtonFace));
    const int64_t step = std::max<int64_t>((int64_t{last} - first) / 8, 1);
    for (int64_t t = first; t < last; t += step) {
      const int x = clampInt(FrameToPixel(m, first, t), -1, INT32_MAX / 2);
      out.ops.push_back(lineOp(x, top + H, x, top + H + kTimeScaleHeight, 0));
      out.ops.push_back(textOp(x + 3, top + H + 5, timeOf(doc, in, t), 0, false));
    }
  }

  out.ops.push_back(lineOp(0, top + H / 2, view.layout.clientWidth, top + H / 2, pen));
  out.ops.push_back(lineOp(right, top, right, top + H, pen));

  // Cue points with their track and index labels.
  for (const CueLabel& c : cueLabels(doc.cues)) {
    if (!inCache(view, c.position)) continue;
    const int x = static_cast<int>(FrameToPixel(m, view.cacheFirst(), c.position));
    out.ops.push_back(lineOp(x, top, x, top + H, s.colours.cue));
    out.ops.push_back(textOp(x, top + 2, c.text, s.colours.cue, true));
  }

  // The selection, or its start and end lines.
  const int32_t ss = doc.selStart, se = doc.selEnd;
  const int64_t first = view.cacheFirst();
  const auto endPixel = [&](int64_t e) {
    return m.zoomedIn ? (e - first + 1) * px : (e - first + 1) / m.framesPerPixel;
  };
  if (ss >= 0 && se >= 0 && ss < se && !in.dragging) {
    int xs = clampInt(FrameToPixel(m, view.cacheFirst(), ss), 0, right);
    int xe = clampInt(endPixel(se), 0, right);
    if (xs == xe && xe != right) ++xe;
    out.ops.push_back(rectOp(PaintOp::Invert, xs, top, xe, top + H));
    if (s.showcontext) {
      const int64_t cs =
          std::max<int64_t>(int64_t{ss} - int64_t{s.beforeplay} * in.sampleRate / 10, 0);
      const int64_t ce = int64_t{se} + int64_t{s.afterplay} * in.sampleRate / 10;
      const int xcs = clampInt(FrameToPixel(m, view.cacheFirst(), cs), 0, right);
      const int xce = clampInt(endPixel(ce), 0, right);
      if (xcs < xs)
        out.ops.push_back(rectOp(PaintOp::AndDarken, xcs, top, xs, top + H, kContextSilver));
      if (xe < xce)
        out.ops.push_back(rectOp(PaintOp::AndDarken, xe, top, xce, top + H, kContextSilver));
    }
  } else {
    if (ss >= 0) {
      const int64_t xs = FrameToPixel(m, view.cacheFirst(), ss);
      if (xs >= 0 && xs <= W)
        out.ops.push_back(
            lineOp(static_cast<int>(xs), top, static_cast<int>(xs), top + H, s.colours.startsel));
    }
    if (se >= 0) {
      const int64_t xe = endPixel(se);
      if (xe >= 0 && xe <= W)
        out.ops.push_back(
            lineOp(static_cast<int>(xe), top, static_cast<int>(xe), top + H, s.colours.endsel));
    }
  }

  // Markers, the audible marker and the silence insertions.
  if (in.markers) {
    for (const Marker& mk : in.markers->items) {
      if (!inCache(view, mk.position)) continue;
      const int x = static_cast<int>(FrameToPixel(m, view.cacheFirst(), mk.position));
      if (mk.kind == Marker::Left)
        out.ops.push_back(lineOp(x, top, x, top + H / 2, markerPaletteColour(mk.count), 2));
      else if (mk.kind == Marker::Right)
        out.ops.push_back(lineOp(x, top + H / 2, x, top + H, markerPaletteColour(mk.count), 2));
      else
        out.ops.push_back(lineOp(x, top, x, top + H, s.colours.marker));
    }
  }
  if (in.audibleMarker >= 0 && inCache(view, in.audibleMarker)) {
    const int x = static_cast<int>(FrameToPixel(m, view.cacheFirst(), in.audibleMarker));
    out.ops.push_back(lineOp(x, top, x, top + H, s.colours.clickmarker));
  }
  for (const Insertion& ins : doc.insertions) {
    if (!inCache(view, ins.position)) continue;
    const int x = static_cast<int>(FrameToPixel(m, view.cacheFirst(), ins.position));
    out.ops.push_back(lineOp(x, top, x, top + H, s.colours.insertion));
    out.ops.push_back(
        textOp(x + 2, top + 2, " " + timeOf(doc, in, ins.length), s.colours.insertion, true));
  }

  // The compatible block over the selection.
  if (in.compatHeld && in.compatLeft && !in.compatLeft->empty() && ss >= 0) {
    const int64_t x0 = FrameToPixel(m, view.cacheFirst(), ss);
    const int64_t xLimit = endPixel(se);
    traceValues(out, view, *in.compatLeft, x0, xLimit, leftCentre, s.colours.compat);
    if (in.compatRight)
      traceValues(out, view, *in.compatRight, x0, xLimit, rightCentre, s.colours.compat);
  }

  // The overlay block where it lies now.
  if (in.overlayActive && in.overlayLength > 0) {
    const int64_t oFirst = in.overlayPosition, oLast = in.overlayPosition + in.overlayLength - 1;
    if (oLast >= view.cacheFirst() && oFirst <= view.cacheLast()) {
      const int64_t start = std::max<int64_t>(oFirst, view.cacheFirst());
      const int64_t x0 = FrameToPixel(m, view.cacheFirst(), start);
      for (int64_t edge : {oFirst, oLast + 1}) {
        if (!inCache(view, edge)) continue;
        const int x = static_cast<int>(FrameToPixel(m, view.cacheFirst(), edge));
        out.ops.push_back(lineOp(x, top, x, top + H, s.colours.overlay, 1, true));
      }
      traceValues(out, view, view.overlayPoints.left, x0, right, leftCentre, s.colours.overlay);
      traceValues(out, view, view.overlayPoints.right, x0, right, rightCentre, s.colours.overlay);
    }
  }
  return out;
}

}  // namespace tolmar
