#include "view/wave_geometry.h"

#include <algorithm>
#include <cstdlib>

namespace tolmar {

int WaveAreaTop(const WaveAreaLayout& l) {
  int top = l.statusPanelHeight + l.macroBarHeight + l.toolBarHeight;
  if (l.scrollerVisible && l.scrollerAtTop) top += l.scrollerHeight;
  return top;
}

int WaveAreaHeight(const WaveAreaLayout& l) {
  int h = l.clientHeight - WaveAreaTop(l) - kTimeScaleHeight;
  if (l.scrollerVisible && !l.scrollerAtTop) h -= l.scrollerHeight;
  return h;
}

int WaveAreaWidth(const WaveAreaLayout& l) {
  return l.vscaleAdjusters ? l.clientWidth - (l.vscalebarWidth + 5) : l.clientWidth;
}

HorizontalMapping computeHorizontal(int areaWidth, int32_t viewWidth) {
  HorizontalMapping m;
  if (viewWidth <= 0 || areaWidth <= 0) return m;
  if (areaWidth > viewWidth) {
    m.zoomedIn = true;
    m.pixelsPerFrame = areaWidth / viewWidth;
    m.framesPerPixel = 1;
  } else {
    m.zoomedIn = false;
    m.framesPerPixel = static_cast<int>((int64_t{areaWidth} + viewWidth - 1) / areaWidth);
    m.pixelsPerFrame = 1;
  }
  return m;
}

int32_t PixelToFrame(const HorizontalMapping& m, int32_t first, int32_t limit, int x) {
  const int64_t f =
      m.zoomedIn ? int64_t{x} / m.pixelsPerFrame + first : int64_t{x} * m.framesPerPixel + first;
  return static_cast<int32_t>(std::min<int64_t>(f, limit));
}

int64_t FrameToPixel(const HorizontalMapping& m, int32_t first, int64_t f) {
  return m.zoomedIn ? (f - first) * m.pixelsPerFrame : (f - first) / m.framesPerPixel;
}

std::optional<std::pair<int, int>> ColumnsOfFrames(const HorizontalMapping& m, int32_t viewFirst,
                                                   int areaWidth, int64_t first, int64_t last) {
  if (last < first || areaWidth <= 0) return std::nullopt;
  const int64_t left = FrameToPixel(m, viewFirst, first - 1);
  const int64_t right = FrameToPixel(m, viewFirst, last + 1) + (m.zoomedIn ? m.pixelsPerFrame : 1);
  if (right < 0 || left >= areaWidth) return std::nullopt;
  return std::pair{static_cast<int>(std::max<int64_t>(left, 0)),
                   static_cast<int>(std::min<int64_t>(right, areaWidth - 1))};
}

VerticalScale computeVertical(int areaHeight, int peak, bool maximise, int scale,
                              int offsetPosition) {
  VerticalScale v;
  const int q4 = std::max(areaHeight / 4, 1);
  if (maximise) {
    v.offset = 0;
    if (q4 > peak) {
      v.magnify = true;
      v.multiplier = peak == 0 ? 1 : q4 / peak;
    } else {
      v.divisor = peak / q4;
      if (q4 < int64_t{v.divisor} * peak) ++v.divisor;
    }
  } else {
    v.offset = (offsetPosition * 65536) / 200;
    const int q = std::max(static_cast<int>((int64_t{areaHeight} * scale) / 200), 1);
    if (q > 65536) {
      v.magnify = true;
      v.multiplier = q / 65536;
    } else {
      v.divisor = 65536 / q;
    }
  }
  v.multiplier = std::max(v.multiplier, 1);
  v.divisor = std::max(v.divisor, 1);
  v.ratio = v.magnify ? 32767.0 * v.multiplier / q4 : 32767.0 / q4 / v.divisor;
  return v;
}

int sampleY(const VerticalScale& v, int centre, int value) {
  const int64_t s = int64_t{value} + v.offset;
  return static_cast<int>(v.magnify ? centre + s * v.multiplier : centre + s / v.divisor);
}

int mirrorY(const VerticalScale& v, int centre, int value) {
  const int64_t s = int64_t{value} + v.offset;
  return static_cast<int>(v.magnify ? centre - s * v.multiplier : centre - s / v.divisor);
}

int16_t valueAtY(const VerticalScale& v, int centre, int y) {
  const int64_t d = int64_t{y} - centre;
  const int64_t s = (v.magnify ? d / v.multiplier : d * v.divisor) - v.offset;
  return static_cast<int16_t>(std::clamp<int64_t>(s, -32768, 32767));
}

int verticalScaleFromBar(int position) {
  const int p = std::clamp(position, 1, 1000);
  return (1000 - p + 1) * (1000 - p + 1) / 2 + 1;
}

}  // namespace tolmar
