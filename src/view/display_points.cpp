#include "view/display_points.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "base/session.h"
#include "document/wave_file.h"

namespace tolmar {

namespace {

constexpr int64_t kProgressThreshold = 1000000;
// Steps up to this many frames read runs of frames; wider steps read one frame per point.
constexpr int32_t kRunStep = 64;
constexpr int32_t kRunFrames = 16384;

// Calls `each(index, frame)` for every point; returns false when cancelled.
template <typename F>
bool forEachPoint(Session& ctx, Progress* progress, int32_t first, int32_t last, int32_t step,
                  F&& each) {
  const int64_t total = int64_t{last} - first + 1;
  int lastShown = -1;
  size_t j = 0;
  for (int64_t f = first; f <= last; f += step, ++j) {
    if (progress) {
      if (!ctx.continueFlag) return false;
      const int pc = percentOf(f - first, total) / 5 * 5;
      if (pc != lastShown) {
        lastShown = pc;
        if (!progress->step(pc)) return false;
      }
    }
    each(j, static_cast<int32_t>(f));
  }
  return true;
}

}  // namespace

bool DisplayPointsShowProgress(const WaveFile& doc, int32_t first, int32_t last, int32_t step) {
  last = std::min(last, doc.lastFrame);
  if (int64_t{last} - first <= kProgressThreshold) return false;
  return !(std::max(step, 1) > kPeakBlockFrames && doc.hasPeaks());
}

bool BuildDisplayPoints(WaveFile& doc, int32_t first, int32_t last, bool showProgress,
                        DisplayCache& cache, int32_t step, int64_t* framesRead) {
  if (doc.directWriting) return false;
  doc.ProcessRescanQueue();
  step = std::max(step, 1);
  last = std::min(last, doc.lastFrame);
  if (first == cache.keyFirst && last == cache.keyLast && step == cache.keyStep &&
      !doc.displayOutOfDate)
    return false;
  cache.keyFirst = first;
  cache.keyLast = last;
  cache.keyStep = step;
  cache.left.clear();
  cache.right.clear();
  ++cache.generation;
  if (last < first) return true;
  struct Finished {
    DisplayCache& c;
    ~Finished() { ++c.generation; }
  } finished{cache};

  Session& ctx = doc.ctx();
  const size_t points = static_cast<size_t>((int64_t{last} - first) / step + 1);
  cache.left.reserve(points);
  cache.right.reserve(points);
  const bool withProgress = showProgress && DisplayPointsShowProgress(doc, first, last, step);

  if (step > kPeakBlockFrames && doc.hasPeaks()) {
    const auto clampPeak = [](uint16_t v) { return static_cast<int16_t>(std::min<int>(v, 32767)); };
    for (int64_t f = first; f <= last; f += step) {
      const size_t b = static_cast<size_t>(f / kPeakBlockFrames);
      const bool in = b < doc.peakLeft.size();
      cache.left.push_back(in ? clampPeak(doc.peakLeft[b]) : 0);
      cache.right.push_back(in ? clampPeak(doc.peakRight[b]) : 0);
    }
    return true;
  }

  int64_t read = 0;
  bool complete = true;
  {
    std::unique_ptr<Progress> progress;
    if (withProgress) progress = std::make_unique<Progress>(ctx, " Reading:");
    std::vector<int16_t> run;
    int32_t runFirst = 0, runLast = -1;
    complete = forEachPoint(ctx, progress.get(), first, last, step, [&](size_t, int32_t f) {
      int16_t frame[2];
      if (step <= kRunStep) {
        if (f > runLast) {
          runFirst = f;
          runLast = static_cast<int32_t>(std::min<int64_t>(int64_t{f} + kRunFrames - 1, last));
          run.resize(static_cast<size_t>(runLast - runFirst + 1) * 2);
          doc.ReadFrames(false, run.data(), runFirst, runLast);
          read += runLast - runFirst + 1;
        }
        frame[0] = run[2 * static_cast<size_t>(f - runFirst)];
        frame[1] = run[2 * static_cast<size_t>(f - runFirst) + 1];
      } else {
        doc.ReadFrames(false, frame, f, f);
        ++read;
      }
      cache.left.push_back(frame[0]);
      cache.right.push_back(frame[1]);
    });
  }
  if (framesRead) *framesRead += read;

  if (complete && !doc.interps.empty()) {
    std::unique_ptr<Progress> progress;
    if (withProgress) progress = std::make_unique<Progress>(ctx, " Add Edits:");
    forEachPoint(ctx, progress.get(), first, last, step, [&](size_t j, int32_t f) {
      int16_t v;
      if (doc.EditedSampleAt(f, 0, v)) cache.left[j] = v;
      if (doc.EditedSampleAt(f, 1, v)) cache.right[j] = v;
    });
  }
  return true;
}

int RecalcDisplayPeak(const DisplayCache& cache, bool ignoreLeft, bool ignoreRight) {
  int peak = 0;
  if (!ignoreLeft)
    for (int16_t v : cache.left) peak = std::max(peak, std::abs(int{v}));
  if (!ignoreRight)
    for (int16_t v : cache.right) peak = std::max(peak, std::abs(int{v}));
  return std::min(peak, 32767);
}

}  // namespace tolmar
