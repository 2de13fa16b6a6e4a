#pragma once
// What the wave area shows and how the user moves over the document: the page, the point
// cache, the vertical scale, the view history and the wheel steps waiting for the idle pass.
// Navigation operations act on the document's view start and width; the caller repaints.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "view/display_points.h"
#include "view/wave_geometry.h"

namespace tolmar {

class WaveFile;
struct Settings;

// Up to ten views (first, last frame), numbered 1 ... 10, with wrap-around.
class ViewHistory {
 public:
  static constexpr int kSize = 10;
  struct Entry {
    int32_t first = 0;
    int32_t last = 0;
  };

  // A view already held becomes current; otherwise a new one is added (overwriting the one
  // after the current view once the history is full).
  void record(int32_t first, int32_t last);
  // The view `k` steps back (wrapping); previous = 1 back, next = 1 forward. Each makes the
  // entry current and returns it; nullopt when the history is empty.
  std::optional<Entry> goBack(int k);
  std::optional<Entry> previous() { return goBack(1); }
  std::optional<Entry> next();
  // The entries before the current one, most recent first (current - 1, ..., 1, count, ...,
  // current + 1): what the history menu lists as items 1, 2, ...
  std::vector<Entry> menuEntries() const;

  int count() const { return count_; }
  int current() const { return current_; }
  const Entry& at(int index) const { return entries_[static_cast<size_t>(index)]; }
  void clear() { *this = ViewHistory(); }

 private:
  std::array<Entry, kSize + 1> entries_{};  // [0] unused
  int count_ = 0;
  int current_ = 0;
};

struct ViewState {
  WaveAreaLayout layout;
  HorizontalMapping mapping;
  DisplayCache points;         // the main view
  DisplayCache overlayPoints;  // the overlay block's source range
  VerticalScale vertical;

  int scaleBarPosition = kDefaultScaleBarPosition;  // vscalebar, 1 ... 1000
  int offsetBarPosition = 0;                        // voffsetbar, -100 ... 100
  bool ignoreLeft = false;
  bool ignoreRight = false;
  int displayedPeak = 0;
  // Cleared only by a fragment move with recalculation off, so that move keeps the scale.
  bool recalcPeak = true;

  ViewHistory history;
  int32_t pageOverlap = 0;   // frames shared by successive pages
  int32_t scrollerStep = 1;  // frames per time-scroller unit

  bool spectral = false;
  bool redrawMode = false;
  // The last spectral picture and what it was drawn for: a paint with the same points, size
  // and colouring takes it again instead of transforming every column.
  struct KeptSpectrum {
    bool kept = false;
    int width = 0, height = 0;
    uint64_t points = 0;     // the generation of the points it was drawn from
    uint64_t colouring = 0;  // editable channels, inversion, background and the deletions
    uint64_t serial = 0;     // counts the pictures drawn
    std::shared_ptr<const std::vector<uint32_t>> pixels;
  } keptSpectrum;

  // Wheel notches waiting for the idle pass.
  int wheelPages = 0;
  int wheelFragments = 0;

  int areaWidth() const { return WaveAreaWidth(layout); }
  int areaHeight() const { return WaveAreaHeight(layout); }
  int areaTop() const { return WaveAreaTop(layout); }
  int32_t cacheFirst() const { return points.keyFirst; }
  int32_t cacheLast() const { return points.keyLast; }
  // Columns covered by the points on show.
  int64_t pointsWidth() const {
    return static_cast<int64_t>(points.size()) * mapping.pixelsPerFrame;
  }

  // Forgets everything that belongs to the previous document.
  void documentOpened();
};

// ---- Navigation over the document ----
// Each leaves the display to be refreshed by the caller.

// The page becomes n frames wide (rounded to whole area widths with `pagedisplay`), never
// wider than the file nor narrower than 6 frames; the scroller step follows.
void setPageWidth(WaveFile& doc, ViewState& view, const Settings& s, int64_t n);
// Limits a view start to 0 ... last frame - view width.
int32_t limitViewStart(const WaveFile& doc, int64_t start);
void moveBy(WaveFile& doc, int64_t frames);
void recomputeOverlap(const WaveFile& doc, ViewState& view, const Settings& s);
void nextPage(WaveFile& doc, ViewState& view);
void previousPage(WaveFile& doc, ViewState& view);
void nextFragment(WaveFile& doc, ViewState& view, const Settings& s);
void previousFragment(WaveFile& doc, ViewState& view, const Settings& s);
// ((rate div 100) * movebyrev) div 10 frames.
int64_t revolutionFrames(int rate, const Settings& s);
void zoomIn(WaveFile& doc, ViewState& view, const Settings& s);
void zoomOut(WaveFile& doc, ViewState& view, const Settings& s);
void zoomAboutCentre(WaveFile& doc, ViewState& view, const Settings& s, int64_t width);
void showSelection(WaveFile& doc, ViewState& view, const Settings& s);
void entireFile(WaveFile& doc, ViewState& view, const Settings& s);
void selectDisplayed(WaveFile& doc);
// The selection start and/or end move to the frame (limited to the file); the view follows
// when the frame lies off the page.
void goToFrame(WaveFile& doc, int64_t frame, bool setStart, bool setEnd);
// The history entry becomes the page.
void showView(WaveFile& doc, ViewState& view, const Settings& s, const ViewHistory::Entry& e);

// ---- Snap selection ----
// The pair of frames near the selection's ends where channel `channel` (0 left, 1 right) has
// the most similar shape; nullopt when no pair is good enough.
std::optional<std::pair<int32_t, int32_t>> snapSelection(WaveFile& doc, int channel);

}  // namespace tolmar
