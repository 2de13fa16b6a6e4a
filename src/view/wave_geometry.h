#pragma once
// Geometry of the wave area: where the picture sits in the window, how frames map to pixel
// columns and how sample values map to rows. Pure arithmetic, shared by the painter, the mouse
// handling and the navigation commands.

#include <cstdint>
#include <optional>
#include <utility>

namespace tolmar {

// The height of the time-scale strip under the picture.
inline constexpr int kTimeScaleHeight = 22;

// What the window around the wave area currently shows. Heights of hidden panels are 0.
struct WaveAreaLayout {
  int clientWidth = 1000;
  int clientHeight = 600;
  int statusPanelHeight = 0;  // Panel3
  int macroBarHeight = 0;     // Panel2
  int toolBarHeight = 0;      // Panel1
  bool scrollerVisible = false;
  bool scrollerAtTop = false;
  int scrollerHeight = 0;
  bool vscaleAdjusters = false;
  int vscalebarWidth = 0;
};

int WaveAreaTop(const WaveAreaLayout& l);
int WaveAreaHeight(const WaveAreaLayout& l);
int WaveAreaWidth(const WaveAreaLayout& l);

// Frames to pixel columns for one page.
struct HorizontalMapping {
  bool zoomedIn = false;   // the area is wider in pixels than the page in frames
  int pixelsPerFrame = 1;  // used when zoomed in
  int framesPerPixel = 1;  // used otherwise
};

HorizontalMapping computeHorizontal(int areaWidth, int32_t viewWidth);

// The frame under pixel column x: `first` is the first frame of the points on show, and the
// result never passes `limit` (view start + view width). 64-bit inside, so no page or file
// length overflows.
int32_t PixelToFrame(const HorizontalMapping& m, int32_t first, int32_t limit, int x);
// The column of frame f (may lie outside the area; callers limit it).
int64_t FrameToPixel(const HorizontalMapping& m, int32_t first, int64_t f);
// The columns a change to frames first ... last can touch, the segments joining them to their
// neighbours included, limited to the area; nullopt when they lie off it.
std::optional<std::pair<int, int>> ColumnsOfFrames(const HorizontalMapping& m, int32_t viewFirst,
                                                   int areaWidth, int64_t first, int64_t last);

// Sample values to rows for both bands.
struct VerticalScale {
  bool magnify = false;  // one sample unit is drawn larger than one pixel
  int multiplier = 1;    // used when magnifying
  int divisor = 1;       // used otherwise
  int offset = 0;        // sample units added before scaling
  double ratio = 0.0;    // shown in the status line as "r:1"
};

// areaHeight: the wave area's height. peak: the displayed peak. scale: the vertical scale
// (from the scale bar). offsetPosition: the offset bar, -100 ... 100.
VerticalScale computeVertical(int areaHeight, int peak, bool maximise, int scale,
                              int offsetPosition);

// The row of value v in a band centred at `centre` (larger values lie lower), and its mirror.
int sampleY(const VerticalScale& v, int centre, int value);
int mirrorY(const VerticalScale& v, int centre, int value);
// The value a row stands for (the inverse of sampleY), limited to the 16-bit range.
int16_t valueAtY(const VerticalScale& v, int centre, int y);

// Band centres: the left channel in the upper half, the right in the lower.
inline int leftBandCentre(int top, int height) {
  return top + height / 4;
}
inline int rightBandCentre(int top, int height) {
  return top + (3 * height) / 4;
}

// The vertical scale a scale-bar position (1 ... 1000) stands for; the default 987 gives 99.
int verticalScaleFromBar(int position);
inline constexpr int kDefaultScaleBarPosition = 987;

}  // namespace tolmar
