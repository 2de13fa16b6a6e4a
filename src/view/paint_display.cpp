#include "view/paint_display.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "document/time_text.h"
#include "document/wave_file.h"
#include "dsp/fft.h"

namespace tolmar {

namespace {

constexpr int kSpectralSize = 128;

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

void paintSpectral(WaveFile& doc, ViewState& view, const PaintInput& in, DisplayList& out) {
  const int W = view.areaWidth(), H = view.areaHeight(), top = view.areaTop();
  out.spectralWidth = std::max(W, 0);
  out.spectralHeight = std::max(H, 0);
  out.spectralPixels.assign(static_cast<size_t>(out.spectralWidth) * out.spectralHeight,
                            in.settings->colours.mainback);
  if (W <= 0 || H <= 0) return;
  SpectralEngine engine;
  engine.SetFFTSize(kSpectralSize);
  std::vector<int16_t> frames(kSpectralSize * 2);
  std::vector<double> magL(kSpectralSize), magR(kSpectralSize);
  const int px = view.mapping.pixelsPerFrame;
  const double binHeight = static_cast<double>(H) / kSpectralSize;
  for (size_t j = 0; j < view.points.size(); ++j) {
    const int64_t p = int64_t{view.cacheFirst()} + static_cast<int64_t>(j) * view.points.keyStep;
    doc.ReadFrames(true, frames.data(), static_cast<int32_t>(p - kSpectralSize / 2),
                   static_cast<int32_t>(p + kSpectralSize / 2 - 1));
    engine.ForwardStereoFFT(frames.data(), nullptr, true, magR.data(), magL.data(), nullptr);
    const bool del = inDeletion(doc.deletions, static_cast<int32_t>(p));
    for (int band = 0; band < 2; ++band) {
      const double* mag = band == 0 ? magL.data() : magR.data();
      const bool editable = band == 0 ? in.editLeft : in.editRight;
      const int bottom = band == 0 ? top + H / 2 : top + H;
      for (int k = 0; k < kSpectralSize / 2; ++k) {
        const uint32_t c = SpectralColour(editable, del, mag[k]);
        const int y1 = bottom - static_cast<int>(std::lround(k * binHeight));
        const int y0 = bottom - static_cast<int>(std::lround((k + 1) * binHeight));
        for (int y = std::max(y0, top); y < std::min(y1, top + H); ++y) {
          for (int x = static_cast<int>(j) * px; x < static_cast<int>(j + 1) * px && x < W; ++x)
            out.spectralPixels[static_cast<size_t>(y - top) * W + x] = c;
        }
      }
    }
    doc.ctx().pump();
  }
  if (in.settings->spectralinvert)
    for (uint32_t& c : out.spectralPixels) c = ~c & 0xFFFFFF;
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
  if (magnitude <= 0.0) return 0;
  const double level = std::round(2.0 * std::log2(magnitude * 5000.0));
  return static_cast<int>(std::clamp(level, 0.0, 31.0));
}

uint32_t SpectralColour(bool editable, bool inDel, double magnitude) {
  static constexpr uint8_t kRed[32] = {1,   15,  29,  43,  57,  71,  85,  99,  113, 127, 141,
                                       155, 169, 183, 197, 211, 225, 254, 254, 254, 254, 254,
                                       254, 254, 254, 254, 254, 254, 254, 254, 254, 254};
  static constexpr uint8_t kGreen[32] = {25,  20,  15,  8,   2,   2,   2,   2,   2,   2,  2,
                                         3,   3,   3,   3,   3,   9,   15,  39,  63,  87, 111,
                                         135, 158, 182, 206, 230, 254, 254, 254, 254, 254};
  static constexpr uint8_t kBlue[32] = {20,  33,  46,  59,  72,  85,  98,  111, 124, 137, 150,
                                        135, 121, 107, 93,  78,  64,  50,  35,  50,  66,  82,
                                        98,  114, 129, 145, 160, 176, 191, 206, 222, 254};
  const int i = spectralLevelIndex(magnitude);
  if (editable && !inDel) return kRed[i] + kGreen[i] * 256u + kBlue[i] * 65536u;
  return kRed[i] * 0x010101u;
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
