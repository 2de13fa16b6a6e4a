#include "ui/wave_picture.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace tolmar {

namespace {

QColor colourOf(uint32_t c) {
  return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}

QPen penOf(const QColor& c, int width, bool dotted) {
  QPen pen(c);
  pen.setWidth(width);
  pen.setCosmetic(true);
  pen.setCapStyle(Qt::FlatCap);
  if (dotted) pen.setStyle(Qt::DotLine);
  return pen;
}

int64_t dev(int64_t v, qreal dpr) {
  return dpr == 1.0 ? v : std::llround(static_cast<double>(v) * dpr);
}

// Walks q(t) = nearest integer to num * t / den (halves upwards) for t = t0, t0 + 1, ...,
// with |num| <= den, without a division per step.
struct Stepper {
  int64_t q, r, step, d;
  Stepper(int64_t num, int64_t den, int64_t t0) : step(2 * num), d(2 * den) {
    const int64_t n = 2 * num * t0 + den;
    q = n >= 0 ? n / d : -((-n + d - 1) / d);
    r = n - q * d;
  }
  void next() {
    r += step;
    if (r >= d) {
      r -= d;
      ++q;
    } else if (r < 0) {
      r += d;
      --q;
    }
  }
};

// Narrows the steps t0 ... t1, taken from `start` in direction `dir`, to those landing within
// lo ... hi.
inline void clipSteps(int64_t start, int64_t dir, int64_t lo, int64_t hi, int64_t& t0,
                      int64_t& t1) {
  if (dir > 0) {
    t0 = std::max(t0, lo - start);
    t1 = std::min(t1, hi - start);
  } else {
    t0 = std::max(t0, start - hi);
    t1 = std::min(t1, start - lo);
  }
}

// One segment, its first pixel in and its last out; only the steps inside `clip` are walked, so
// a segment far off the area costs nothing.
void segment(uchar* bits, qsizetype bpl, const QRect& clip, int64_t x0, int64_t y0, int64_t x1,
             int64_t y1, QRgb rgb) {
  const int64_t dx = x1 - x0, dy = y1 - y0;
  const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  const int64_t left = clip.left(), right = clip.right(), top = clip.top(), bottom = clip.bottom();
  if (ady >= adx) {
    if (ady == 0) return;
    const int64_t sy = dy > 0 ? 1 : -1;
    int64_t t0 = 0, t1 = ady - 1;
    clipSteps(y0, sy, top, bottom, t0, t1);
    if (t0 > t1) return;
    const qsizetype rowStep = static_cast<qsizetype>(sy) * bpl;
    uchar* row = bits + (y0 + sy * t0) * bpl;
    const auto column = [&](int64_t x, int64_t from, int64_t to) {
      if (x < left || x > right || from > to) return;
      uchar* r = bits + (y0 + sy * from) * bpl;
      for (int64_t t = from; t <= to; ++t, r += rowStep) reinterpret_cast<QRgb*>(r)[x] = rgb;
    };
    if (dx == 0) {
      column(x0, t0, t1);
      return;
    }
    if (dx == 1 || dx == -1) {
      // An envelope's joins: the nearest column (halves upwards) changes once, at step `turn`.
      const int64_t turn = dx > 0 ? (ady + 1) / 2 : ady / 2 + 1;
      column(x0, t0, std::min(t1, turn - 1));
      column(x0 + dx, std::max(t0, turn), t1);
      return;
    }
    Stepper x(dx, ady, t0);
    for (int64_t t = t0; t <= t1; ++t, row += rowStep, x.next()) {
      const int64_t px = x0 + x.q;
      if (px >= left && px <= right) reinterpret_cast<QRgb*>(row)[px] = rgb;
    }
  } else {
    const int64_t sx = dx > 0 ? 1 : -1;
    int64_t t0 = 0, t1 = adx - 1;
    clipSteps(x0, sx, left, right, t0, t1);
    Stepper y(dy, adx, t0);
    for (int64_t t = t0; t <= t1; ++t, y.next()) {
      const int64_t py = y0 + y.q;
      if (py >= top && py <= bottom) reinterpret_cast<QRgb*>(bits + py * bpl)[x0 + sx * t] = rgb;
    }
  }
}

QRect deviceRect(int x0, int y0, int x1, int y1, qreal dpr) {
  const int64_t l = dev(x0, dpr), t = dev(y0, dpr), r = dev(x1, dpr), b = dev(y1, dpr);
  return QRect(QPoint(static_cast<int>(l), static_cast<int>(t)),
               QPoint(static_cast<int>(r) - 1, static_cast<int>(b) - 1));
}

// GDI's raster operations on the picture: inversion, and AND with a colour.
void rasterRect(QImage& img, const QRect& r, bool invert, uint32_t colour) {
  const QRect area = r.intersected(img.rect());
  if (area.isEmpty()) return;
  const QRgb mask = rgbOf(colour);
  uchar* bits = img.bits();
  const qsizetype bpl = img.bytesPerLine();
  for (int y = area.top(); y <= area.bottom(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(bits + y * bpl);
    if (invert)
      for (int x = area.left(); x <= area.right(); ++x) row[x] ^= 0x00FFFFFFu;
    else
      for (int x = area.left(); x <= area.right(); ++x) row[x] &= mask;
  }
}

// Draws records [begin, end) onto `img`. A painter is open only between records that need one:
// the direct pixel writes must not run under an open painter. The columns drawn on are added
// to `dirty` when it is given; with `draw` false nothing is drawn and only they are found.
void drawRecords(QImage& img, const DisplayList& list, size_t begin, size_t end, const QFont& font,
                 std::vector<std::pair<int, int>>* dirty, bool draw = true) {
  const qreal dpr = img.devicePixelRatio();
  QFont small = font;
  small.setPointSize(8);
  const QFont big(QStringLiteral("Arial"), 12);
  QPainter p;
  bool clipped = false;
  QRect clip;  // logical
  const QRect whole = img.rect();
  const auto open = [&] {
    if (!draw || p.isActive()) return;
    p.begin(&img);
    if (clipped) p.setClipRect(clip);
  };
  const auto close = [&] {
    if (p.isActive()) p.end();
  };
  const auto mark = [&](int64_t a, int64_t b) {
    if (!dirty) return;
    const int lo = static_cast<int>(std::clamp<int64_t>(a, 0, whole.width()));
    const int hi = static_cast<int>(std::clamp<int64_t>(b, 0, whole.width()));
    if (lo < hi) dirty->emplace_back(lo, hi);
  };
  for (size_t i = begin; i < end; ++i) {
    const PaintOp& op = list.ops[i];
    switch (op.kind) {
      case PaintOp::Fill:
        open();
        if (draw)
          p.fillRect(QRect(QPoint(op.x0, op.y0), QPoint(op.x1 - 1, op.y1 - 1)),
                     op.colour == kButtonFace ? QColor(0xD4, 0xD0, 0xC8) : colourOf(op.colour));
        mark(dev(op.x0, dpr), dev(op.x1, dpr));
        break;
      case PaintOp::Invert:
      case PaintOp::AndDarken: {
        close();
        QRect r = deviceRect(op.x0, op.y0, op.x1, op.y1, dpr);
        if (clipped)
          r &= deviceRect(clip.left(), clip.top(), clip.right() + 1, clip.bottom() + 1, dpr);
        if (draw) rasterRect(img, r, op.kind == PaintOp::Invert, op.colour);
        mark(r.left(), r.right() + 1);
        break;
      }
      case PaintOp::Line: {
        open();
        if (draw) {
          p.setPen(penOf(colourOf(op.colour), op.width, op.dotted));
          p.drawLine(op.x0, op.y0, op.x1, op.y1);
        }
        const int64_t w = dev(op.width, dpr) + 1;
        mark(dev(std::min(op.x0, op.x1), dpr) - w, dev(std::max(op.x0, op.x1), dpr) + w + 1);
        break;
      }
      case PaintOp::Trace: {
        close();
        const WaveTrace& t = list.traces[op.index];
        const QRect c =
            clipped ? deviceRect(clip.left(), clip.top(), clip.right() + 1, clip.bottom() + 1, dpr)
                          .intersected(whole)
                    : whole;
        if (draw) drawTrace(img, t, dpr, c);
        if (!t.xs.empty()) {
          const auto [lo, hi] = std::minmax_element(t.xs.begin(), t.xs.end());
          mark(dev(*lo, dpr) - 1, dev(*hi, dpr) + 2);
        }
        break;
      }
      case PaintOp::Text: {
        open();
        const QFontMetrics fm(op.big ? big : small);
        const QString text = QString::fromStdString(op.text);
        if (draw) {
          p.setFont(op.big ? big : small);
          p.setPen(colourOf(op.colour));
          p.drawText(op.x0, op.y0 + QFontMetrics(p.font()).ascent(), text);
        }
        const int64_t margin = fm.height();
        mark(dev(op.x0 - margin, dpr), dev(op.x0 + fm.horizontalAdvance(text) + margin, dpr));
        break;
      }
      case PaintOp::Clip:
        clipped = true;
        clip = QRect(QPoint(op.x0, op.y0), QPoint(op.x1 - 1, op.y1 - 1));
        if (p.isActive()) p.setClipRect(clip);
        break;
      case PaintOp::Unclip:
        clipped = false;
        if (p.isActive()) p.setClipping(false);
        break;
      case PaintOp::Spectral: {
        const int w = list.spectralWidth, h = list.spectralHeight;
        if (w <= 0 || h <= 0 || !list.spectralPixels) break;
        if (!draw) {
          mark(0, whole.width());
          break;
        }
        const uint32_t* from = list.spectralPixels->data();
        const QRect target(QPoint(op.x0, op.y0), QSize(w, h));
        if (dpr == 1.0 && !clipped && img.rect().contains(target)) {
          // One device pixel per picture pixel: straight into the image, no painter.
          close();
          for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<QRgb*>(img.scanLine(op.y0 + y)) + op.x0;
            const uint32_t* src = from + static_cast<size_t>(y) * w;
            for (int x = 0; x < w; ++x) row[x] = rgbOf(src[x]);
          }
        } else {
          QImage spectral(w, h, QImage::Format_RGB32);
          for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<QRgb*>(spectral.scanLine(y));
            const uint32_t* src = from + static_cast<size_t>(y) * w;
            for (int x = 0; x < w; ++x) row[x] = rgbOf(src[x]);
          }
          open();
          p.drawImage(QPoint(op.x0, op.y0), spectral);
        }
        mark(0, whole.width());
        break;
      }
    }
  }
  close();
}

bool sameOp(const PaintOp& a, const PaintOp& b) {
  // A spectral record's index names the picture it shows.
  return a.kind == b.kind && a.index == b.index && a.x0 == b.x0 && a.y0 == b.y0 && a.x1 == b.x1 &&
         a.y1 == b.y1 && a.colour == b.colour && a.width == b.width && a.dotted == b.dotted &&
         a.big == b.big && a.text == b.text;
}

bool sameTrace(const WaveTrace& a, const WaveTrace& b) {
  return a.xs == b.xs && a.ys == b.ys && a.colours == b.colours;
}

// The first record a selection change may alter; everything before it is the kept part.
size_t underlayEnd(const DisplayList& list, WavePicture::SelectionColours sel) {
  for (size_t i = 0; i < list.ops.size(); ++i) {
    const PaintOp& op = list.ops[i];
    if (op.kind == PaintOp::Invert || op.kind == PaintOp::AndDarken) return i;
    if (op.kind == PaintOp::Line && op.x0 == op.x1 &&
        (op.colour == sel.startsel || op.colour == sel.endsel))
      return i;
  }
  return list.ops.size();
}

}  // namespace

void drawTrace(QImage& img, const WaveTrace& t, qreal dpr, const QRect& clipIn) {
  const QRect clip = clipIn.intersected(img.rect());
  if (clip.isEmpty() || t.xs.size() < 2) return;
  uchar* bits = img.bits();
  const qsizetype bpl = img.bytesPerLine();
  int64_t x = dev(t.xs[0], dpr), y = dev(t.ys[0], dpr);
  for (size_t k = 1; k < t.xs.size(); ++k) {
    const int64_t nx = dev(t.xs[k], dpr), ny = dev(t.ys[k], dpr);
    segment(bits, bpl, clip, x, y, nx, ny, rgbOf(t.colours[k - 1]));
    x = nx;
    y = ny;
  }
}

bool WavePicture::underlayMatches(const DisplayList& list, size_t end) const {
  if (end != underOps_.size()) return false;
  size_t trace = 0;
  for (size_t i = 0; i < end; ++i) {
    const PaintOp& op = list.ops[i];
    if (op.kind == PaintOp::Trace) {
      if (underOps_[i].kind != PaintOp::Trace || trace >= underTraces_.size() ||
          !sameTrace(list.traces[op.index], underTraces_[trace]))
        return false;
      ++trace;
      continue;
    }
    if (!sameOp(op, underOps_[i])) return false;
  }
  return true;
}

void WavePicture::keepUnderlayRecords(const DisplayList& list, size_t end) {
  underOps_.assign(list.ops.begin(), list.ops.begin() + static_cast<std::ptrdiff_t>(end));
  underTraces_.clear();
  for (const PaintOp& op : underOps_)
    if (op.kind == PaintOp::Trace) underTraces_.push_back(list.traces[op.index]);
}

void WavePicture::saveColumns(std::vector<std::pair<int, int>> columns) {
  std::sort(columns.begin(), columns.end());
  saved_.clear();
  for (const auto& c : columns) {
    if (!saved_.empty() && c.first <= saved_.back().second)
      saved_.back().second = std::max(saved_.back().second, c.second);
    else
      saved_.push_back(c);
  }
  size_t width = 0;
  for (const auto& [lo, hi] : saved_) width += static_cast<size_t>(hi - lo);
  savedPixels_.resize(width * static_cast<size_t>(frame_.height()));
  uint32_t* to = savedPixels_.data();
  for (const auto& [lo, hi] : saved_) {
    const size_t n = static_cast<size_t>(hi - lo);
    for (int y = 0; y < frame_.height(); ++y, to += n)
      std::memcpy(to, frame_.constScanLine(y) + lo * 4, n * 4);
  }
}

void WavePicture::restoreColumns() {
  const uint32_t* from = savedPixels_.data();
  for (const auto& [lo, hi] : saved_) {
    const size_t n = static_cast<size_t>(hi - lo);
    for (int y = 0; y < frame_.height(); ++y, from += n)
      std::memcpy(frame_.scanLine(y) + lo * 4, from, n * 4);
  }
  saved_.clear();
}

const QImage& WavePicture::compose(const DisplayList& list, uint32_t background, QSize size,
                                   qreal dpr, const QFont& font, SelectionColours sel,
                                   Cursor cursor) {
  const QSize devSize(static_cast<int>(dev(size.width(), dpr)),
                      static_cast<int>(dev(size.height(), dpr)));
  const size_t end = underlayEnd(list, sel);
  reused_ = valid_ && !list.rebuilt && background == background_ && size == size_ && dpr == dpr_ &&
            font == font_ && underlayMatches(list, end);
  if (reused_) {
    restoreColumns();
  } else {
    // One picture only: what the kept part needs again is the few columns drawn over it.
    if (frame_.size() != devSize) frame_ = QImage(devSize, QImage::Format_RGB32);
    frame_.setDevicePixelRatio(dpr);
    frame_.fill(colourOf(background));
    drawRecords(frame_, list, 0, end, font, nullptr);
    keepUnderlayRecords(list, end);
    background_ = background;
    size_ = size;
    dpr_ = dpr;
    font_ = font;
    valid_ = true;
  }
  std::vector<std::pair<int, int>> over;
  drawRecords(frame_, list, end, list.ops.size(), font, &over, false);
  QRect cursorRect;
  if (cursor.x >= 0) {
    cursorRect = deviceRect(cursor.x, cursor.top, cursor.x + 1, cursor.top + cursor.height, dpr);
    const int lo = std::clamp(cursorRect.left(), 0, devSize.width());
    const int hi = std::clamp(cursorRect.right() + 1, 0, devSize.width());
    if (lo < hi) over.emplace_back(lo, hi);
  }
  saveColumns(std::move(over));
  drawRecords(frame_, list, end, list.ops.size(), font, nullptr);
  if (cursor.x >= 0) rasterRect(frame_, cursorRect, true, 0);
  return frame_;
}

}  // namespace tolmar
