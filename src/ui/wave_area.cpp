#include "ui/wave_area.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <climits>

#include "document/time_text.h"
#include "editor/editor.h"
#include "editor/redraw_stroke.h"
#include "view/paint_display.h"
#include "view/wave_geometry.h"

namespace tolmar {

namespace {

QColor colourOf(uint32_t c) {
  return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}

}  // namespace

WaveArea::WaveArea(Editor& editor, QWidget* parent) : QWidget(parent), editor_(editor) {
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(200, 120);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void WaveArea::syncLayout() {
  WaveAreaLayout& l = editor_.view.layout;
  l = WaveAreaLayout{};
  l.clientWidth = width();
  l.clientHeight = height();
}

void WaveArea::resizeEvent(QResizeEvent*) {
  syncLayout();
  // The adjusters beside the area follow its height in the idle pass.
  if (onChanged) onChanged();
}

void WaveArea::refresh(const Repaint& what) {
  if (what.parts == Repaint::kSamples && editor_.doc && !editor_.view.spectral) {
    const ViewState& v = editor_.view;
    const int32_t first = v.cacheFirst() >= 0 ? v.cacheFirst() : editor_.doc->viewStart;
    const auto columns = ColumnsOfFrames(v.mapping, first, v.areaWidth(), what.first, what.last);
    if (columns) update(QRect(columns->first, 0, columns->second - columns->first + 1, height()));
    return;
  }
  update();
}

void WaveArea::paintEvent(QPaintEvent* event) {
  syncLayout();
  const Settings& s = editor_.ctx.settings;
  const uint32_t back = editor_.view.redrawMode ? s.colours.redrawback : s.colours.mainback;
  if (!editor_.doc) {
    QPainter p(this);
    p.fillRect(rect(), colourOf(back));
    return;
  }
  // A page whose read shows progress is built after the paint, where messages can run and
  // Cancel be pressed; until then (and while another long operation runs) the paint draws the
  // points held. Shorter builds pump nothing and stay in the paint.
  WaveFile& doc = *editor_.doc;
  const bool defer = building_ || (pagePointsStale(doc, editor_.view) &&
                                   pageBuildShowsProgress(doc, editor_.view));
  if (defer && !building_ && editor_.ctx.progressDepth == 0) scheduleBuild();
  painting_ = true;
  const DisplayList list = editor_.paintDisplay(!defer);
  painting_ = false;
  if (!list.painted) return;
  // New points, possibly built before this paint: nothing kept from the last picture holds.
  if (editor_.view.points.generation != paintedGeneration_) {
    picture_.drop();
    paintedGeneration_ = editor_.view.points.generation;
  }
  // Changed samples can move the page's peak, and with it the scale of every column.
  if (editor_.view.displayedPeak != paintedPeak_ && event->rect() != rect()) update();
  paintedPeak_ = editor_.view.displayedPeak;
  WavePicture::Cursor cursor;
  if (playCursorShown()) cursor = {cursorX_, editor_.view.areaTop(), editor_.view.areaHeight()};
  const QImage& img = picture_.compose(list, back, size(), devicePixelRatioF(), font(),
                                       {s.colours.startsel, s.colours.endsel}, cursor);
  // The painter is clipped to the region asked for: a moved play cursor copies two columns.
  QPainter p(this);
  p.drawImage(QPoint(0, 0), img);
  if (strokeOn_ && stroke_.size() > 1) {
    QPolygon line;
    for (const PaintPoint& pt : stroke_) line << QPoint(pt.x, pt.y);
    QPen pen(colourOf(s.colours.redraw));
    pen.setCosmetic(true);
    p.setPen(pen);
    p.drawPolyline(line);
  }
  if (onStatus && editor_.ctx.progressDepth == 0) onStatus(QString::fromStdString(list.status));
}

void WaveArea::scheduleBuild() {
  if (buildQueued_) return;
  buildQueued_ = true;
  QTimer::singleShot(0, this, [this] {
    buildQueued_ = false;
    buildPagePoints();
  });
}

void WaveArea::buildPagePoints() {
  // Inside another long operation's pumps the build waits: its end repaints, which asks again.
  if (!editor_.doc || building_ || painting_ || editor_.ctx.progressDepth > 0) return;
  syncLayout();
  if (!pagePointsStale(*editor_.doc, editor_.view)) return;
  building_ = true;
  editor_.buildPagePoints();
  building_ = false;
  update();
  if (onChanged) onChanged();
}

int WaveArea::pixelOfFrame(int32_t frame) const {
  if (!editor_.doc) return -1;
  const ViewState& v = editor_.view;
  const int32_t first = v.cacheFirst() >= 0 ? v.cacheFirst() : editor_.doc->viewStart;
  const int64_t x = FrameToPixel(v.mapping, first, frame);
  if (x < 0) return -1;
  return static_cast<int>(std::min<int64_t>(x, INT32_MAX / 2));
}

void WaveArea::updateColumn(int x) {
  if (x >= 0 && x <= width()) update(QRect(x, 0, 1, height()));
}

void WaveArea::startPlayCursor(int32_t first, int32_t last) {
  cursorOn_ = true;
  cursorX_ = pixelOfFrame(first);
  cursorEndX_ = pixelOfFrame(last);
  if (cursorVisible(cursorX_)) updateColumn(cursorX_);
}

void WaveArea::movePlayCursor(int32_t position) {
  if (!cursorOn_) return;
  const int x = pixelOfFrame(position);
  if (x == cursorX_) return;
  const int old = cursorX_;
  cursorX_ = x;
  if (cursorVisible(old)) updateColumn(old);
  if (cursorVisible(x)) updateColumn(x);
}

void WaveArea::stopPlayCursor() {
  if (!cursorOn_) return;
  cursorOn_ = false;
  if (cursorVisible(cursorX_)) updateColumn(cursorX_);
}

void WaveArea::showTimeAt(int x) {
  if (!onTimeText || !editor_.doc) return;
  const int32_t f = editor_.frameAtPixel(x);
  onTimeText(QString::fromStdString(formatTime(editor_.ctx, f, editor_.doc->cues)));
}

void WaveArea::finishStroke(Qt::KeyboardModifiers mods) {
  if (!strokeOn_) return;
  strokeOn_ = false;
  // Ctrl on release throws the stroke away.
  if (!(mods & Qt::ControlModifier)) commitRedrawStroke(editor_, stroke_);
  stroke_.clear();
  update();
  if (onChanged) onChanged();
}

std::optional<std::pair<int, int>> WaveArea::overlaySpan() const {
  const OverlayBlock& o = editor_.overlayBlock;
  const ViewState& v = editor_.view;
  if (!o.active || o.length <= 0 || v.cacheFirst() < 0) return std::nullopt;
  const int64_t first = std::max<int64_t>(o.position, v.cacheFirst());
  const int64_t last = std::min<int64_t>(o.position + o.length - 1, v.cacheLast());
  if (first > last) return std::nullopt;
  const int64_t x0 = FrameToPixel(v.mapping, v.cacheFirst(), first);
  const int64_t x1 = FrameToPixel(v.mapping, v.cacheFirst(), last + 1);
  return std::pair{static_cast<int>(x0), static_cast<int>(std::max(x0, x1 - 1))};
}

void WaveArea::mousePressEvent(QMouseEvent* e) {
  if (!editor_.doc) return;
  const int x = static_cast<int>(e->position().x());
  if (x >= editor_.view.areaWidth()) return;
  finishStroke(e->modifiers());
  if (editor_.view.redrawMode) {
    const int y = static_cast<int>(e->position().y());
    const bool editable =
        redrawChannelAt(editor_, y) == 0 ? editor_.ctx.editLeft : editor_.ctx.editRight;
    if (!editable) return;
    strokeOn_ = true;
    stroke_.assign(1, PaintPoint{x, y});
    return;
  }
  if (const auto span = overlaySpan(); span && x >= span->first && x <= span->second) {
    overlayDrag_ = true;
    overlayX_ = x;
    return;
  }
  const bool ctrl = e->modifiers() & Qt::ControlModifier;
  const bool alt = e->modifiers() & Qt::AltModifier;
  if (e->button() == Qt::LeftButton) {
    if (ctrl) {
      editor_.AddMarkerAt(editor_.frameAtPixel(x));
      editor_.SortMarkers();
    } else {
      editor_.setSelectionStartFromPixel(x);
    }
  } else if (e->button() == Qt::RightButton) {
    if (ctrl) editor_.setAudibleMarker(editor_.frameAtPixel(x));
    if (!alt) editor_.setSelectionEndFromPixel(x);
    // Play from here until the button comes up.
    if (alt && !editor_.ctx.playing) editor_.playFromClick(editor_.frameAtPixel(x));
  }
  armed_ = true;
  anchorX_ = x;
  update();
  if (onChanged) onChanged();
}

void WaveArea::mouseMoveEvent(QMouseEvent* e) {
  if (!editor_.doc) return;
  const int x = std::clamp(static_cast<int>(e->position().x()), 0, editor_.view.areaWidth() - 1);
  if (!editor_.ctx.playing) showTimeAt(x);
  if (strokeOn_) {
    const PaintPoint last = stroke_.back();
    stroke_.push_back({x, static_cast<int>(e->position().y())});
    update(QRect(QPoint(std::min(last.x, x) - 1, 0), QPoint(std::max(last.x, x) + 1, height())));
    return;
  }
  if (overlayDrag_) {
    // Whole frames only: the pointer's remainder waits for the next move.
    const HorizontalMapping& m = editor_.view.mapping;
    const int dx = x - overlayX_;
    const int64_t frames = m.zoomedIn ? dx / m.pixelsPerFrame : int64_t{dx} * m.framesPerPixel;
    if (frames != 0) {
      editor_.overlayBlock.move(frames);
      overlayX_ = m.zoomedIn ? overlayX_ + static_cast<int>(frames) * m.pixelsPerFrame : x;
      update();
    }
    return;
  }
  if (editor_.playFromClickActive()) return;
  if (!armed_ || !(e->buttons() & (Qt::LeftButton | Qt::RightButton))) return;
  if (std::abs(x - anchorX_) < 6) return;
  editor_.dragInProgress = true;
  editor_.setSelectionStartFromPixel(std::min(anchorX_, x));
  editor_.setSelectionEndFromPixel(std::max(anchorX_, x) + 1);
  update();
}

void WaveArea::mouseReleaseEvent(QMouseEvent* e) {
  if (strokeOn_) {
    finishStroke(e->modifiers());
    return;
  }
  if (overlayDrag_) {
    overlayDrag_ = false;
    update();
    if (onChanged) onChanged();
    return;
  }
  if (editor_.playFromClickActive()) editor_.endPlayFromClick();
  armed_ = false;
  editor_.dragInProgress = false;
  update();
  if (onChanged) onChanged();
}

void WaveArea::wheelEvent(QWheelEvent* e) {
  if (!editor_.doc) return;
  // Alt turns the wheel sideways on some platforms; fine-stepping wheels send parts of a notch,
  // which add up to whole notches here rather than being lost.
  const QPoint d = e->angleDelta();
  wheelRemainder_ += d.y() != 0 ? d.y() : d.x();
  const int notches = wheelRemainder_ / 120;
  wheelRemainder_ -= notches * 120;
  showTimeAt(static_cast<int>(e->position().x()));
  if (notches == 0) return;
  const bool down = notches < 0;
  if (e->modifiers() & Qt::AltModifier) {
    down ? editor_.ZoomIn1Click() : editor_.ZoomOut1Click();
  } else if (e->modifiers() & Qt::ControlModifier) {
    editor_.view.wheelFragments += -notches;
  } else {
    editor_.view.wheelPages += -notches;
  }
  if (onChanged) onChanged();
}

}  // namespace tolmar
