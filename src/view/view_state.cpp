#include "view/view_state.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/settings.h"
#include "document/wave_file.h"

namespace tolmar {

// ---- View history ----

void ViewHistory::record(int32_t first, int32_t last) {
  for (int i = 1; i <= count_; ++i) {
    if (entries_[static_cast<size_t>(i)].first == first &&
        entries_[static_cast<size_t>(i)].last == last) {
      current_ = i;
      return;
    }
  }
  int at;
  if (count_ < kSize) {
    at = ++count_;
  } else {
    at = current_ % kSize + 1;
  }
  entries_[static_cast<size_t>(at)] = {first, last};
  current_ = at;
}

std::optional<ViewHistory::Entry> ViewHistory::goBack(int k) {
  if (count_ == 0) return std::nullopt;
  int c = current_ - k % count_;
  if (c < 1) c += count_;
  current_ = c;
  return entries_[static_cast<size_t>(c)];
}

std::optional<ViewHistory::Entry> ViewHistory::next() {
  if (count_ == 0) return std::nullopt;
  current_ = current_ >= count_ ? 1 : current_ + 1;
  return entries_[static_cast<size_t>(current_)];
}

std::vector<ViewHistory::Entry> ViewHistory::menuEntries() const {
  std::vector<Entry> out;
  if (count_ <= 1) return out;
  for (int k = 1; k < count_; ++k) {
    int i = current_ - k;
    if (i < 1) i += count_;
    out.push_back(entries_[static_cast<size_t>(i)]);
  }
  return out;
}

void ViewState::documentOpened() {
  points.clear();
  overlayPoints.clear();
  history.clear();
  displayedPeak = 0;
  recalcPeak = true;
  pageOverlap = 0;
  scrollerStep = 1;
  wheelPages = wheelFragments = 0;
  keptSpectrum.kept = false;
  keptSpectrum.pixels.reset();
}

// ---- Navigation ----

void setPageWidth(WaveFile& doc, ViewState& view, const Settings& s, int64_t n) {
  const int64_t w = std::max(view.areaWidth(), 1);
  n = std::max<int64_t>(n, 1);
  if (s.pagedisplay != 0) n = n >= w ? (n + w - 1) / w * w : w / (w / n);
  n = std::max<int64_t>(std::min<int64_t>(n, doc.frameCount), 6);
  doc.viewWidth = static_cast<int32_t>(std::min<int64_t>(n, INT32_MAX));
  int32_t step = 1;
  while (doc.viewWidth / step >= 32768) step *= 2;
  view.scrollerStep = step;
}

int32_t limitViewStart(const WaveFile& doc, int64_t start) {
  start = std::min<int64_t>(start, int64_t{doc.lastFrame} - doc.viewWidth);
  return static_cast<int32_t>(std::max<int64_t>(start, 0));
}

void moveBy(WaveFile& doc, int64_t frames) {
  doc.viewStart = limitViewStart(doc, int64_t{doc.viewStart} + frames);
}

void recomputeOverlap(const WaveFile& doc, ViewState& view, const Settings& s) {
  view.pageOverlap = static_cast<int32_t>(std::lround(doc.viewWidth * s.pageoverlap / 100.0));
}

void nextPage(WaveFile& doc, ViewState& view) {
  moveBy(doc, int64_t{doc.viewWidth} - view.pageOverlap);
}

void previousPage(WaveFile& doc, ViewState& view) {
  moveBy(doc, int64_t{view.pageOverlap} - doc.viewWidth);
}

void nextFragment(WaveFile& doc, ViewState& view, const Settings& s) {
  view.recalcPeak = s.recalcscaling;
  moveBy(doc, int64_t{s.fragment} * doc.viewWidth / 100);
}

void previousFragment(WaveFile& doc, ViewState& view, const Settings& s) {
  view.recalcPeak = s.recalcscaling;
  moveBy(doc, -(int64_t{s.fragment} * doc.viewWidth / 100));
}

int64_t revolutionFrames(int rate, const Settings& s) {
  return (int64_t{rate / 100} * s.movebyrev) / 10;
}

void zoomIn(WaveFile& doc, ViewState& view, const Settings& s) {
  const int64_t half = doc.viewWidth / 2;
  if (half >= 6) {
    setPageWidth(doc, view, s, half);
    if (s.zoomcenter == 1) doc.viewStart = limitViewStart(doc, doc.viewStart + doc.viewWidth / 2);
    if (s.zoomcenter == 2)
      doc.viewStart = limitViewStart(doc, int64_t{doc.viewStart} + doc.viewWidth);
  } else {
    setPageWidth(doc, view, s, 6);
  }
  recomputeOverlap(doc, view, s);
}

void zoomOut(WaveFile& doc, ViewState& view, const Settings& s) {
  const int64_t twice = int64_t{doc.viewWidth} * 2;
  if (doc.frameCount < twice) {
    setPageWidth(doc, view, s, doc.frameCount);
    doc.viewStart = 0;
  } else {
    setPageWidth(doc, view, s, twice);
    int64_t start = doc.viewStart;
    if (s.zoomcenter == 1) start -= doc.viewWidth / 4;
    if (s.zoomcenter == 2) start -= doc.viewWidth / 2;
    doc.viewStart = limitViewStart(doc, start);
  }
  recomputeOverlap(doc, view, s);
}

void zoomAboutCentre(WaveFile& doc, ViewState& view, const Settings& s, int64_t width) {
  const int64_t centre = int64_t{doc.viewStart} + doc.viewWidth / 2;
  setPageWidth(doc, view, s, width);
  doc.viewStart = limitViewStart(doc, centre - doc.viewWidth / 2);
  recomputeOverlap(doc, view, s);
}

void showSelection(WaveFile& doc, ViewState& view, const Settings& s) {
  if (!(doc.selStart >= 0 && doc.selStart < doc.selEnd)) return;
  doc.viewStart = doc.selStart;
  setPageWidth(doc, view, s, int64_t{doc.selEnd} - doc.selStart);
  recomputeOverlap(doc, view, s);
}

void entireFile(WaveFile& doc, ViewState& view, const Settings& s) {
  doc.viewStart = 0;
  setPageWidth(doc, view, s, doc.lastFrame);
  recomputeOverlap(doc, view, s);
}

void selectDisplayed(WaveFile& doc) {
  doc.selStart = doc.viewStart;
  doc.selEnd = static_cast<int32_t>(
      std::min<int64_t>(int64_t{doc.viewStart} + doc.viewWidth, doc.lastFrame));
}

void goToFrame(WaveFile& doc, int64_t frame, bool setStart, bool setEnd) {
  const int32_t f = static_cast<int32_t>(std::clamp<int64_t>(frame, 0, std::max(doc.lastFrame, 0)));
  if (setStart) doc.selStart = f;
  if (setEnd) doc.selEnd = f;
  if (f < doc.viewStart || int64_t{f} > int64_t{doc.viewStart} + doc.viewWidth)
    doc.viewStart = limitViewStart(doc, int64_t{f} - doc.viewWidth / 4);
}

void showView(WaveFile& doc, ViewState& view, const Settings& s, const ViewHistory::Entry& e) {
  doc.viewStart = e.first;
  setPageWidth(doc, view, s, int64_t{e.last} - e.first);
  recomputeOverlap(doc, view, s);
}

// ---- Snap selection ----

std::optional<std::pair<int32_t, int32_t>> snapSelection(WaveFile& doc, int channel) {
  const int32_t s = doc.selStart, e = doc.selEnd;
  if (s < 0 || e < s) return std::nullopt;
  const int32_t d = std::min<int32_t>(100, (e - s) / 3);
  const int32_t aFirst = std::max(s - d - 3, 0), aLast = s + d + 3;
  const int32_t bFirst = e - d - 3, bLast = std::min(e + d + 3, doc.lastFrame);
  if (aLast - aFirst < 6 || bLast - bFirst < 6) return std::nullopt;
  std::vector<int16_t> a(static_cast<size_t>(aLast - aFirst + 1) * 2);
  std::vector<int16_t> b(static_cast<size_t>(bLast - bFirst + 1) * 2);
  doc.ReadFrames(true, a.data(), aFirst, aLast);
  doc.ReadFrames(true, b.data(), bFirst, bLast);
  static constexpr int kWeights[6] = {1, 2, 3, 3, 2, 1};
  const auto at = [channel](const std::vector<int16_t>& v, int32_t i) {
    return static_cast<double>(v[2 * static_cast<size_t>(i) + static_cast<size_t>(channel)]);
  };
  double best = 1000000.0;
  std::pair<int32_t, int32_t> found{-1, -1};
  for (int32_t i = aFirst; i <= aLast - 6; ++i) {
    for (int32_t j = bFirst; j <= bLast - 6; ++j) {
      double score = 0.0;
      for (int k = 0; k < 6; ++k) {
        const double x = at(a, i + k - aFirst);
        double y = at(b, j + k - bFirst);
        if (y == 0.0) y = 1.0;
        score += kWeights[k] * std::fabs(x / y - 1.0);
      }
      if (score < best) {
        best = score;
        found = {i + 3, j + 3};
      }
    }
  }
  if (best >= 1000000.0) return std::nullopt;
  return found;
}

}  // namespace tolmar
