#include "declick/detection.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <limits>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "base/session.h"
#include "declick/model_detection.h"
#include "declick/repair.h"
#include "declick/wide_vectors.h"
#include "document/binary_file.h"
#include "document/wave_file.h"

namespace tolmar {

namespace {

// Below this many false clicks a straight scan is as quick as building a table.
constexpr size_t kFalseClickScanLimit = 32;

uint64_t falseKey(int32_t position, uint8_t channel) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(position)) << 8) | channel;
}

int32_t clampToInt32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// Per-channel statistics of one window.
struct WindowStats {
  int32_t averageStep = 1;
  int32_t meanLevel = 1;
  // The smallest jump (|x[0] - x[1]| * 100) that passes the jump pre-test: d div averageStep
  // >= relative amplitude and d div meanLevel >= level threshold, without dividing.
  int32_t jumpMin = 0;
  // The smallest a * 100 (and b * 100) for which a * 100 div averageStep > relative amplitude
  // and a * 100 div meanLevel > level threshold.
  int32_t hillMin = 0;
  int32_t meanHalfPeriod = 1;  // Blip only
  // The smallest |x[0] - x[1]| that passes the jump pre-test.
  int32_t jumpStepMin = 0;
  // The largest |x[i] - x[i + 1]| over the jump pre-test's positions, and over the window.
  int32_t maxScanStep = 0;
  int32_t maxStep = 0;
};

// The two loops every window runs are also built for wider vectors where the processor has
// them; integer arithmetic gives the same sums either way.

// Both channels' sums over steps i = from..to - 1 of interleaved frames x: |x[i] - x[i + 1]|,
// x[i] and the largest |x[i] - x[i + 1]|. No more than 32768 steps at a time.
struct StepSums {
  int32_t steps[2] = {0, 0};
  int32_t levels[2] = {0, 0};
  int32_t maxStep[2] = {0, 0};
};

TOLMAR_WIDE_VECTORS StepSums sumSteps(const int16_t* x, int32_t from, int32_t to) {
  int32_t sl = 0, sr = 0, ll = 0, lr = 0, ml = 0, mr = 0;
  for (int32_t i = from; i < to; ++i) {
    const int32_t l0 = x[2 * i], r0 = x[2 * i + 1], l1 = x[2 * i + 2], r1 = x[2 * i + 3];
    const int32_t dl = std::abs(l0 - l1), dr = std::abs(r0 - r1);
    sl += dl, sr += dr, ll += l0, lr += r0;
    ml = std::max(ml, dl), mr = std::max(mr, dr);
  }
  StepSums s;
  s.steps[0] = sl, s.steps[1] = sr, s.levels[0] = ll, s.levels[1] = lr;
  s.maxStep[0] = ml, s.maxStep[1] = mr;
  return s;
}

// Positions whose jumps are looked at together before any of them is tested one by one.
constexpr int32_t kGateRun = 32;

// The largest |buf[j] - buf[j + 2]| for j = 0..count - 1: on interleaved frames, the largest
// jump of either channel.
TOLMAR_WIDE_VECTORS int32_t largestJump(const int16_t* buf, int32_t count) {
  int32_t m = 0;
  for (int32_t j = 0; j < count; ++j)
    m = std::max(m, std::abs(static_cast<int32_t>(buf[j]) - static_cast<int32_t>(buf[j + 2])));
  return m;
}

// One FindClicksInBlock call: the block, the parameter values and what to do with a find.
class BlockScan {
 public:
  BlockScan(const DeclickParams& p, const FalseClickIndex& falseClicks, const bool& keepGoing,
            int16_t* buf, int32_t blockStart, int32_t blockEnd, GlitchList* store, bool repair,
            bool smoothEdges, std::vector<int64_t>& scratch)
      : buf_(buf),
        blockStart_(blockStart),
        blockEnd_(blockEnd),
        windowSize_(std::max<int32_t>(p.windowSize, 1)),
        clickWidth_(std::max<int32_t>(p.clickWidth, 1)),
        relAmplitude_(p.relAmplitude),
        levelThreshold_(p.levelThreshold),
        shape_(p.shape),
        method_(p.repairMethod),
        repairWidth_(p.repairWidth),
        smoothingCount_(p.smoothingCount),
        falseClicks_(falseClicks),
        keepGoing_(keepGoing),
        store_(store),
        repair_(repair),
        smoothEdges_(smoothEdges),
        scratch_(scratch) {
    channels_[0] = p.processLeft;
    channels_[1] = p.processRight;
  }

  // The frames whose clicks this block reports (Model only); the whole block unless set.
  void setOwnRange(int32_t from, int32_t to) {
    ownFrom_ = from;
    ownTo_ = to;
  }

  int32_t run(std::vector<Glitch>* into = nullptr) {
    collect_ = into;
    if (shape_ == ClickShape::Model) {
      scanModel();
      return count_;
    }
    int32_t ws = blockStart_;
    for (;;) {
      const int32_t we = static_cast<int32_t>(
          std::min<int64_t>(static_cast<int64_t>(ws) + windowSize_ - 1, blockEnd_));
      examineWindow(ws, we);
      if (we == blockEnd_ || !keepGoing_) break;
      // Windows overlap by click width + 2 frames; parameters that would stop the window start
      // from moving forward must not hang the scan.
      const int32_t next = we - (clickWidth_ + 2);
      ws = next > ws ? next : ws + 1;
    }
    return count_;
  }

 private:
  int16_t* buf_;
  int32_t blockStart_;
  int32_t blockEnd_;
  int32_t windowSize_;
  int32_t clickWidth_;
  int32_t relAmplitude_;
  int32_t levelThreshold_;
  ClickShape shape_;
  RepairMethod method_;
  int32_t repairWidth_;
  int32_t smoothingCount_;
  const FalseClickIndex& falseClicks_;
  const bool& keepGoing_;
  GlitchList* store_;
  bool repair_;
  bool smoothEdges_;
  std::vector<int64_t>& scratch_;  // Hill's running extremes
  bool channels_[2] = {true, true};
  int32_t count_ = 0;
  int32_t ownFrom_ = std::numeric_limits<int32_t>::min();
  int32_t ownTo_ = std::numeric_limits<int32_t>::max();

  // Sample of channel ch at frame f.
  const int16_t* at(int32_t f, int ch) const {
    return buf_ + 2 * static_cast<ptrdiff_t>(f - blockStart_) + ch;
  }

  // Collect every find, false or not, unfiltered and uncounted, for the caller to report
  // later in the same order (see SearchCandidates).
  std::vector<Glitch>* collect_ = nullptr;

  void report(int32_t position, uint8_t polarity, int ch, int16_t width = 0) {
    if (collect_) {
      collect_->push_back({position, polarity, static_cast<uint8_t>(ch), width});
      return;
    }
    if (falseClicks_.contains(position, static_cast<uint8_t>(ch))) return;
    ++count_;
    if (store_ && !store_->Add(position, polarity, static_cast<uint8_t>(ch), width)) --count_;
    if (!repair_) return;
    if (width > 0)
      RepairSpanInBuffer(buf_, blockStart_, blockEnd_, position, width, ch, method_, smoothEdges_,
                         smoothingCount_, std::max<int32_t>(0, repairWidth_ - width));
    else
      RepairClickInBuffer(buf_, blockStart_, blockEnd_, position, ch, method_, repairWidth_,
                          smoothEdges_, smoothingCount_);
  }

  // Model: the clicks are found over the whole block first, then reported in frame order; a
  // repair changes the sound only after every click of the block has been found.
  void scanModel() {
    ModelScanParams mp;
    mp.channels[0] = channels_[0];
    mp.channels[1] = channels_[1];
    mp.relAmplitude = relAmplitude_;
    mp.maxWidth = clickWidth_;
    std::vector<ModelClick> clicks;
    findModelClicks(buf_, blockStart_, blockEnd_, ownFrom_, ownTo_, mp, keepGoing_, clicks);
    for (const ModelClick& c : clicks) {
      if (!keepGoing_) return;
      const int32_t extent = std::min(c.last - c.first + 1, std::max<int32_t>(repairWidth_, 1));
      report(c.first, c.polarity, c.channel, static_cast<int16_t>(extent));
    }
  }

  // Step sums, level sums and the largest step of both channels over steps ws..we - 1, one
  // pass over the interleaved frames. The largest step is taken separately over the steps
  // that start at positions ws..lastPos (the jump pre-test's) and over the whole window.
  void windowStats(int32_t ws, int32_t we, int32_t lastPos, WindowStats* out) const {
    const int32_t n = we - ws;
    const int32_t split = std::clamp(lastPos - ws + 1, 0, n);
    const int16_t* x = at(ws, 0);
    int64_t steps[2] = {0, 0}, levels[2] = {0, 0};
    int32_t maxScan[2] = {0, 0}, maxAll[2] = {0, 0};
    // 32-bit sums cannot overflow within a stretch of this many steps.
    constexpr int32_t kStretch = 16384;
    for (int32_t from = 0; from < n; from += kStretch) {
      const int32_t to = std::min(from + kStretch, n);
      const int32_t mid = std::clamp(split, from, to);
      const StepSums head = sumSteps(x, from, mid);
      const StepSums tail = sumSteps(x, mid, to);
      for (int ch = 0; ch < 2; ++ch) {
        steps[ch] += static_cast<int64_t>(head.steps[ch]) + tail.steps[ch];
        levels[ch] += static_cast<int64_t>(head.levels[ch]) + tail.levels[ch];
        maxScan[ch] = std::max(maxScan[ch], head.maxStep[ch]);
        maxAll[ch] = std::max({maxAll[ch], head.maxStep[ch], tail.maxStep[ch]});
      }
    }
    for (int ch = 0; ch < 2; ++ch) {
      WindowStats& st = out[ch];
      st.averageStep = static_cast<int32_t>(steps[ch] / n);
      if (st.averageStep == 0) st.averageStep = 1;
      st.meanLevel = static_cast<int32_t>(std::abs(levels[ch] / n));
      if (st.meanLevel == 0) st.meanLevel = 1;
      // For d >= 0 and a divisor q >= 1: d div q >= t exactly when d >= t * q.
      st.jumpMin = clampToInt32(std::max(static_cast<int64_t>(relAmplitude_) * st.averageStep,
                                         static_cast<int64_t>(levelThreshold_) * st.meanLevel));
      st.hillMin =
          clampToInt32(std::max((static_cast<int64_t>(relAmplitude_) + 1) * st.averageStep,
                                (static_cast<int64_t>(levelThreshold_) + 1) * st.meanLevel));
      // |x[0] - x[1]| * 100 >= jumpMin exactly when |x[0] - x[1]| >= ceil(jumpMin / 100).
      st.jumpStepMin =
          st.jumpMin <= 0 ? 0 : static_cast<int32_t>((static_cast<int64_t>(st.jumpMin) + 99) / 100);
      st.maxScanStep = maxScan[ch];
      st.maxStep = maxAll[ch];
    }
  }

  // Mean distance between turning points of the window, for Blip.
  int32_t meanHalfPeriod(int32_t ws, int32_t we, int ch) const {
    const int16_t* x = at(ws, ch);  // x[2 * k] is frame ws + k
    bool rising = x[2] > x[0];
    int32_t lastTurn = -1;
    int64_t sum = 0;
    int32_t counted = 0;
    for (int32_t n = ws + 2; n <= we - 1; ++n) {
      const int16_t cur = x[2 * (n - ws)];
      const int16_t prev = x[2 * (n - ws - 1)];
      if (cur != prev && (cur > prev) != rising) {
        if (lastTurn != -1 && n - lastTurn > 3) {
          sum += n - 1 - lastTurn;
          ++counted;
        }
        lastTurn = n - 1;
        rising = !rising;
      }
    }
    return counted > 0 ? static_cast<int32_t>(sum / counted) : windowSize_;
  }

  void examineWindow(int32_t ws, int32_t we) {
    if (ws >= we) return;
    WindowStats st[2];
    windowStats(ws, we, we - (clickWidth_ + 1), st);
    switch (shape_) {
      case ClickShape::InstantRise:
        scanPositions<ClickShape::InstantRise>(ws, we, st);
        break;
      case ClickShape::Spike:
        scanPositions<ClickShape::Spike>(ws, we, st);
        break;
      case ClickShape::Step:
        scanPositions<ClickShape::Step>(ws, we, st);
        break;
      case ClickShape::Hill:
        scanHills(ws, we, st);
        break;
      case ClickShape::Blip:
        for (int ch = 0; ch < 2; ++ch)
          if (channels_[ch]) st[ch].meanHalfPeriod = meanHalfPeriod(ws, we, ch);
        // Channel-major: the whole window for the left channel, then for the right.
        for (int ch = 0; ch < 2; ++ch)
          if (channels_[ch] && keepGoing_ && blipPossible(st[ch])) scanBlips(ws, we, ch, st[ch]);
        break;
      case ClickShape::Model:
        break;  // scanned per block, not per window
    }
  }

  // A blip's amplitude spans its half-period h in steps, none larger than the window's
  // largest, and h * 100 div mean half-period < click width bounds h; when even the longest
  // such h times the largest step fails the amplitude test, the window holds no blip.
  bool blipPossible(const WindowStats& st) const {
    const int64_t longest = (static_cast<int64_t>(clickWidth_) * st.meanHalfPeriod - 1) / 100;
    if (longest < 1) return false;
    return longest * st.maxStep * 100 >= (static_cast<int64_t>(relAmplitude_) + 1) * st.averageStep;
  }

  // A hill's height b spans click width - 2 steps of the window (x[2] to x[click width]), so
  // when that many of its largest steps fall short, no position of the window holds a hill.
  bool hillPossible(const WindowStats& st) const {
    return static_cast<int64_t>(clickWidth_ - 2) * st.maxStep * 100 >= st.hillMin;
  }

  // The jump pre-test and the test of InstantRise, Spike or Step at one position of one
  // channel: r > 0 for a click at pos + r - 2. x points at the sample of frame pos; x[2 * k]
  // is frame pos + k.
  template <ClickShape S>
  int32_t test(const int16_t* x, bool atBlockStart, const WindowStats& st,
               uint8_t& polarity) const {
    const int32_t x0 = x[0], x1 = x[2];
    if (std::abs(x0 - x1) * 100 < st.jumpMin) return 0;
    const bool up = x0 < x1;
    polarity = up ? 1 : 0;
    if constexpr (S == ClickShape::Step) {
      return 3;
    } else if constexpr (S == ClickShape::InstantRise) {
      const int32_t x2 = x[4];
      if (up ? x1 > x2 : x1 < x2) return 3;
      if (!atBlockStart) {
        const int32_t before = x[-2];
        if (up ? x0 < before : x0 > before) return 3;
      }
      return 0;
    } else {
      for (int32_t c = 1; c <= clickWidth_; ++c) {
        const int32_t d = up ? x[2 * c] - x0 : x0 - x[2 * c];
        if (d > st.averageStep) return c;
      }
      return 0;
    }
  }

  // Hill: at each pos the largest and the smallest of x[2..click width], each at the first
  // frame it occurs, against x[1]. Each sample is packed with its frame into one key, so that
  // the larger key is the larger sample or, between equal samples, the earlier frame (the
  // smaller key likewise for the minimum); the extremes of every run of click width - 1
  // frames then come from prefix and suffix extremes over blocks of that length, and a wide
  // click width costs no more than a narrow one.
  static int64_t maxKey(int32_t v, int32_t i) {
    return static_cast<int64_t>(v) * 4294967296LL + (4294967295LL - i);
  }
  static int64_t minKey(int32_t v, int32_t i) { return static_cast<int64_t>(v) * 4294967296LL + i; }
  static int32_t keySample(int64_t key) { return static_cast<int32_t>(key >> 32); }

  void scanHills(int32_t ws, int32_t we, const WindowStats* st) {
    const int32_t last = we - (clickWidth_ + 1);
    if (clickWidth_ < 2 || last < ws) return;  // no x[2..click width]
    bool active[2];
    for (int ch = 0; ch < 2; ++ch) active[ch] = channels_[ch] && hillPossible(st[ch]);
    if (!active[0] && !active[1]) return;
    // Element i stands for frame ws + 2 + i; pos looks at elements pos - ws .. pos - ws + run - 1.
    const int32_t run = clickWidth_ - 1;
    const int32_t n = we - ws - 2;
    scratch_.resize(8 * static_cast<size_t>(n));
    int64_t* maxPrefix[2];
    int64_t* maxSuffix[2];
    int64_t* minPrefix[2];
    int64_t* minSuffix[2];
    const auto build = [&](int ch) {
      const int16_t* x = at(ws + 2, ch);
      // Blocks of `run` elements from element 0; the last one may be shorter.
      for (int32_t start = 0; start < n; start += run) {
        const int32_t end = std::min(start + run, n) - 1;
        int64_t hi = maxKey(x[2 * static_cast<ptrdiff_t>(start)], start);
        int64_t lo = minKey(x[2 * static_cast<ptrdiff_t>(start)], start);
        maxPrefix[ch][start] = hi;
        minPrefix[ch][start] = lo;
        for (int32_t i = start + 1; i <= end; ++i) {
          const int32_t v = x[2 * static_cast<ptrdiff_t>(i)];
          hi = std::max(hi, maxKey(v, i));
          lo = std::min(lo, minKey(v, i));
          maxPrefix[ch][i] = hi;
          minPrefix[ch][i] = lo;
        }
        hi = maxKey(x[2 * static_cast<ptrdiff_t>(end)], end);
        lo = minKey(x[2 * static_cast<ptrdiff_t>(end)], end);
        maxSuffix[ch][end] = hi;
        minSuffix[ch][end] = lo;
        for (int32_t i = end - 1; i >= start; --i) {
          const int32_t v = x[2 * static_cast<ptrdiff_t>(i)];
          hi = std::max(hi, maxKey(v, i));
          lo = std::min(lo, minKey(v, i));
          maxSuffix[ch][i] = hi;
          minSuffix[ch][i] = lo;
        }
      }
    };
    for (int ch = 0; ch < 2; ++ch) {
      int64_t* area = scratch_.data() + 4 * static_cast<size_t>(ch) * static_cast<size_t>(n);
      maxPrefix[ch] = area;
      maxSuffix[ch] = area + n;
      minPrefix[ch] = area + 2 * static_cast<ptrdiff_t>(n);
      minSuffix[ch] = area + 3 * static_cast<ptrdiff_t>(n);
      if (active[ch]) build(ch);
    }
    int32_t skipUntil[2] = {-1, -1};
    for (int32_t pos = ws; pos <= last; ++pos) {
      if (!keepGoing_) return;
      const int32_t from = pos - ws, to = from + run - 1;
      for (int ch = 0; ch < 2; ++ch) {
        if (!active[ch] || skipUntil[ch] >= pos) continue;
        const int64_t hi = std::max(maxSuffix[ch][from], maxPrefix[ch][to]);
        const int64_t lo = std::min(minSuffix[ch][from], minPrefix[ch][to]);
        const int16_t* x = at(pos, ch);  // x[2 * k] is frame pos + k
        const int32_t x0 = x[0], x1 = x[2];
        const int32_t max = keySample(hi), min = keySample(lo);
        const int32_t imax = static_cast<int32_t>(4294967295LL - (hi & 0xFFFFFFFF)) + 2 - from;
        const int32_t imin = static_cast<int32_t>(lo & 0xFFFFFFFF) + 2 - from;
        const bool troughFirst = imax > imin;
        const int32_t a = troughFirst ? std::abs(x0 - min) : std::abs(max - x0);
        const int32_t b = max - min;
        // An extreme equal to x[1] is not recorded: no hill. Evaluated as one test, since
        // almost every position fails it.
        if ((max <= x1) | (min >= x1) | (a * 100 < st[ch].hillMin) | (b * 100 < st[ch].hillMin))
          continue;
        const uint8_t polarity = troughFirst ? 0 : 1;
        const int32_t k = troughFirst ? imin : imax;
        // The click sits on the extreme.
        report(pos + k, polarity, ch);
        skipUntil[ch] = pos + clickWidth_;
        // The later positions are tested on the repaired sound.
        if (repair_) build(ch);
      }
    }
  }

  template <ClickShape S>
  void scanPositions(int32_t ws, int32_t we, const WindowStats* st) {
    const int32_t last = we - (clickWidth_ + 1);
    if (last < ws) return;
    // Every shape here needs a jump that passes the pre-test: a window, or a run of positions,
    // without one holds no click. Only the jumps decide; no state is carried past a position
    // without a click, so skipping them changes nothing.
    int32_t gate = std::numeric_limits<int32_t>::max();
    for (int ch = 0; ch < 2; ++ch)
      if (channels_[ch] && st[ch].maxScanStep >= st[ch].jumpStepMin)
        gate = std::min(gate, st[ch].jumpStepMin);
    if (gate == std::numeric_limits<int32_t>::max()) return;
    int32_t skipUntil[2] = {-1, -1};
    for (int32_t from = ws; from <= last; from += kGateRun) {
      if (!keepGoing_) return;
      const int32_t to = std::min(from + kGateRun - 1, last);
      if (largestJump(at(from, 0), 2 * (to - from + 1)) < gate) continue;
      for (int32_t pos = from; pos <= to; ++pos) {
        if (!keepGoing_) return;
        for (int ch = 0; ch < 2; ++ch) {
          if (!channels_[ch] || skipUntil[ch] >= pos) continue;
          uint8_t polarity = 0;
          const int32_t r = test<S>(at(pos, ch), pos == blockStart_, st[ch], polarity);
          if (r <= 0) continue;
          // A Spike met at the very start of the file is placed on frame 0.
          report(std::max(pos + r - 2, 0), polarity, ch);
          skipUntil[ch] = pos + clickWidth_;
        }
      }
    }
  }

  void scanBlips(int32_t ws, int32_t we, int ch, const WindowStats& st) {
    const int16_t* x = at(ws, ch);  // x[2 * k] is frame ws + k
    bool rising = x[2] > x[0];
    int32_t lastTurn = -1;
    int32_t valueAtLastTurn = 0;
    int32_t skipUntil = -1;
    for (int32_t n = ws + 2; n <= we - 1; ++n) {
      if (!keepGoing_) return;
      const int32_t cur = x[2 * (n - ws)];
      const int32_t prev = x[2 * (n - ws - 1)];
      if (cur == prev || (cur > prev) == rising) continue;
      // A turning point at n - 1.
      if (n > skipUntil && lastTurn != -1) {
        const int64_t h = n - 1 - lastTurn;
        const int64_t a = std::abs(cur - valueAtLastTurn);
        if (h * 100 / st.meanHalfPeriod < clickWidth_ && a * 100 / st.averageStep > relAmplitude_) {
          report(lastTurn + (n - lastTurn) / 2, rising ? 1 : 0, ch);
          skipUntil = n + clickWidth_;
        }
      }
      lastTurn = n - 1;
      valueAtLastTurn = cur;
      rising = !rising;
    }
  }
};

// ---- Searching a selection on two threads ----

struct BlockSpan {
  int32_t start;
  int32_t end;
  // Model: the frames whose clicks this block reports.
  int32_t ownFrom = std::numeric_limits<int32_t>::min();
  int32_t ownTo = std::numeric_limits<int32_t>::max();
};

// What a command run from the progress pump could have changed in the sound a search reads:
// the edit list and the undo history (an edit, undo, redo or save changes one of these).
struct EditState {
  size_t records = 0, redoRecords = 0, undoSteps = 0, redoSteps = 0;
  const void* newestRecord = nullptr;
  const void* newestStep = nullptr;
  int32_t frameCount = 0;
  int64_t dataOffset = 0;

  static EditState of(const WaveFile& doc) {
    EditState e;
    e.records = doc.interps.size();
    e.redoRecords = doc.redoRecords.size();
    e.undoSteps = doc.undoSteps.size();
    e.redoSteps = doc.redoSteps.size();
    e.newestRecord = doc.interps.empty() ? nullptr : doc.interps.back().get();
    e.newestStep = doc.undoSteps.empty() ? nullptr : doc.undoSteps.back().get();
    e.frameCount = doc.frameCount;
    e.dataOffset = doc.dataOffset;
    return e;
  }
  bool operator==(const EditState&) const = default;
};

// A run of consecutive blocks and their frames, read with one call, and what each block found.
struct Stretch {
  std::vector<BlockSpan> blocks;
  std::vector<int16_t> frames;  // frames blocks.front().start .. blocks.back().end
  std::vector<std::vector<Glitch>> finds;
  EditState readFrom;
  // Guarded by the scanner's mutex.
  size_t claimed = 0;
  size_t finished = 0;
};

// Scans the blocks of an open stretch on the calling thread and on one worker; each block's
// finds are kept apart, so that they can be reported in block order whoever scanned them.
// The scan of a block depends on its frames and the parameters alone.
class StretchScanner {
 public:
  explicit StretchScanner(const DeclickParams& params) : params_(params) {
    if (std::thread::hardware_concurrency() == 1) return;
    try {
      worker_ = std::thread([this] { work(); });
    } catch (const std::system_error&) {
      // No second thread: the calling thread scans everything.
    }
  }
  ~StretchScanner() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
  }
  StretchScanner(const StretchScanner&) = delete;
  StretchScanner& operator=(const StretchScanner&) = delete;

  // Lets the worker start on `st`; the previous stretch must be finished or abandoned.
  void open(Stretch& st) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      st.claimed = st.finished = 0;
      open_ = &st;
    }
    wake_.notify_all();
  }

  // Scans what is left of `st` on this thread and waits for the worker's blocks.
  void finish(Stretch& st) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (st.claimed < st.blocks.size()) {
      const size_t i = st.claimed++;
      lock.unlock();
      scan(st, i, scratch_);
      lock.lock();
      ++st.finished;
    }
    settled_.wait(lock, [&] { return st.finished == st.claimed; });
    if (open_ == &st) open_ = nullptr;
    if (workerFailed_) throw std::runtime_error("click scan failed");
  }

  // No further blocks of `st` are started; returns once none is being scanned.
  void abandon(Stretch& st) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (open_ == &st) open_ = nullptr;
    settled_.wait(lock, [&] { return st.finished == st.claimed; });
  }

 private:
  const DeclickParams& params_;
  const GlitchList noFalseClicks_;
  const FalseClickIndex unfiltered_{noFalseClicks_};
  const bool go_ = true;  // the caller tests the continue flag between blocks
  std::vector<int64_t> scratch_;
  std::vector<int64_t> workerScratch_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable settled_;
  Stretch* open_ = nullptr;
  bool quit_ = false;
  bool workerFailed_ = false;
  std::thread worker_;

  void scan(Stretch& st, size_t i, std::vector<int64_t>& scratch) {
    const BlockSpan b = st.blocks[i];
    int16_t* buf = st.frames.data() + 2 * static_cast<size_t>(b.start - st.blocks.front().start);
    st.finds[i].clear();
    BlockScan blockScan(params_, unfiltered_, go_, buf, b.start, b.end, nullptr, false, false,
                        scratch);
    blockScan.setOwnRange(b.ownFrom, b.ownTo);
    blockScan.run(&st.finds[i]);
  }

  void work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] {
        return quit_ || (open_ && open_->claimed < open_->blocks.size() && !workerFailed_);
      });
      if (quit_) return;
      Stretch& st = *open_;
      const size_t i = st.claimed++;
      lock.unlock();
      bool ok = true;
      try {
        scan(st, i, workerScratch_);
      } catch (...) {
        ok = false;
      }
      lock.lock();
      if (!ok) workerFailed_ = true;
      if (++st.finished == st.claimed) settled_.notify_all();
    }
  }
};
}  // namespace

bool FalseClickIndex::contains(int32_t position, uint8_t channel) const {
  if (list_.size() < kFalseClickScanLimit) return list_.Contains(position, channel);
  if (!built_) {
    keys_.reserve(list_.size());
    for (const Glitch& g : list_.items) keys_.push_back(falseKey(g.position, g.channel));
    std::sort(keys_.begin(), keys_.end());
    built_ = true;
  }
  return std::binary_search(keys_.begin(), keys_.end(), falseKey(position, channel));
}

ClickDetector::ClickDetector(const DeclickParams& params, const GlitchList& falseClicks,
                             const bool& keepGoing)
    : params_(params), falseClicks_(falseClicks), keepGoing_(keepGoing) {}

int32_t ClickDetector::FindClicksInBlock(int16_t* buf, size_t capacityFrames, int32_t blockStart,
                                         int32_t blockEnd, GlitchList* store, bool repair) {
  if (!buf || capacityFrames == 0 || blockEnd < blockStart) return 0;
  // Never look past the buffer, whatever the caller says the block holds.
  if (static_cast<uint64_t>(static_cast<int64_t>(blockEnd) - blockStart) >= capacityFrames)
    blockEnd = static_cast<int32_t>(blockStart + static_cast<int64_t>(capacityFrames) - 1);
  BlockScan scan(params_, falseClicks_, keepGoing_, buf, blockStart, blockEnd, store, repair,
                 smoothEdges, scratch_);
  scan.setOwnRange(ownFrom, ownTo);
  return scan.run();
}

std::string clicksFoundText(int32_t count) {
  return "#Clicks Found: " + std::to_string(count);
}

int32_t FindClicks(WaveFile& doc, const DeclickParams& params, ClickLists& lists,
                   bool includeUpdates, bool showProgress, bool repair, bool smoothEdges,
                   bool* failedOut) {
  const int32_t selStart = doc.selStart;
  // Frames past the end of the file are never scanned, and above all never written.
  const int32_t selEnd = std::min(doc.selEnd, doc.lastFrame);
  if (selStart < 0 || selEnd <= selStart) return 0;
  Session& ctx = doc.ctx();

  BinaryFile file;
  if (!file.open(doc.path, repair ? BinaryFile::Mode::ReadWrite : BinaryFile::Mode::Read)) {
    if (ctx.settings.emitbeeps) ctx.beep();
    if (failedOut) *failedOut = true;
    return 0;
  }
  lists.stored.emplace();
  lists.current = -1;
  GlitchList* store = repair ? nullptr : &*lists.stored;

  // A channel whose editing is switched off is never changed on disk.
  DeclickParams effective = params;
  if (repair) {
    effective.processLeft = params.processLeft && ctx.editLeft;
    effective.processRight = params.processRight && ctx.editRight;
  }
  ClickDetector detector(effective, lists.falseClicks, ctx.continueFlag);
  detector.smoothEdges = smoothEdges;

  std::optional<Progress> progress;
  if (showProgress) progress.emplace(ctx, " Searching:");
  // Chunks of a quarter second only pace the gauge, the counter and Cancel; the blocks run
  // through the whole selection as one sequence, so where the chunks fall never changes what
  // is found.
  const int64_t chunkFrames = std::max(1, ctx.sampleRate / 4);
  const int64_t totalFrames = static_cast<int64_t>(selEnd) - selStart + 1;
  const int64_t chunks = (totalFrames + chunkFrames - 1) / chunkFrames;
  int64_t chunkShown = 0;
  const int32_t clickWidth = std::max<int32_t>(params.clickWidth, 1);
  // Model blocks are longer and overlap by two margins, each reporting the clicks that start
  // between its margins, so that a click at a seam is found once with the same model.
  const bool model = params.shape == ClickShape::Model;
  const int32_t blockFrames = model ? kModelBlockFrames : kChunkFrames;
  const size_t stretchBlocks =
      model ? std::max<size_t>(1, kSearchStretchBlocks * kChunkFrames / kModelBlockFrames)
            : kSearchStretchBlocks;

  int32_t count = 0;
  bool failed = false;
  // The progress chunk, counter, pump and continue test that come before a block ending at
  // blockEnd is read; false when the search is to stop there.
  const auto beforeBlock = [&](int32_t blockEnd) {
    if (!progress) return ctx.continueFlag;
    // Blocks are shorter than a chunk, so their ends meet every chunk in turn.
    const int64_t chunk = (static_cast<int64_t>(blockEnd) - selStart) / chunkFrames + 1;
    if (chunk <= chunkShown) return true;
    chunkShown = chunk;
    ctx.progressDetail(clicksFoundText(count));
    if (!progress->step(static_cast<int>(chunk * 100 / chunks))) return false;
    // A command run from the pump may have discarded the list being filled.
    if (!repair) {
      if (!lists.stored) lists.stored.emplace();
      store = &*lists.stored;
    }
    return true;
  };
  // Blocks overlap by click width - 1 frames.
  const auto nextBlockStart = [&](int32_t s, int32_t blockEnd) {
    const int32_t next = model ? blockEnd - 2 * kModelMargin + 1 : blockEnd - clickWidth + 1;
    return next > s ? next : s + 1;
  };
  const auto blockEndFrom = [&](int32_t s) {
    return static_cast<int32_t>(
        std::min<int64_t>(static_cast<int64_t>(s) + blockFrames - 1, selEnd));
  };
  const auto spanOf = [&](int32_t s, int32_t blockEnd) {
    BlockSpan b{s, blockEnd};
    if (model) {
      b.ownFrom = s == selStart ? s : s + kModelMargin;
      b.ownTo = blockEnd == selEnd ? blockEnd : blockEnd - kModelMargin;
    }
    return b;
  };
  try {
    if (repair) {
      // Each block is written back before the next, overlapping one is read.
      std::vector<int16_t> work(2 * static_cast<size_t>(blockFrames));
      for (int32_t s = selStart;;) {
        const int32_t blockEnd = blockEndFrom(s);
        if (!beforeBlock(blockEnd)) break;
        // A short read comes back as silence, which would then be written over the sound.
        const size_t samples = 2 * (static_cast<size_t>(blockEnd - s) + 1);
        if (!file.seek(doc.dataOffset + static_cast<int64_t>(s) * 4) ||
            !file.readExact(work.data(), samples * 2)) {
          failed = true;
          break;
        }
        if (includeUpdates)
          doc.ReadFrames(file, true, work.data(), s, blockEnd);
        else
          samplesFromLittleEndian(work.data(), samples);
        const BlockSpan span = spanOf(s, blockEnd);
        detector.ownFrom = span.ownFrom;
        detector.ownTo = span.ownTo;
        const int32_t found =
            detector.FindClicksInBlock(work.data(), blockFrames, s, blockEnd, store, true);
        if (!doc.WriteFramesDirect(file, s, blockEnd, work.data())) {
          failed = true;
          break;
        }
        count += found;
        if (blockEnd == selEnd || !ctx.continueFlag) break;
        s = nextBlockStart(s, blockEnd);
      }
    } else {
      // A stretch of blocks is read with one call and scanned on both threads while the
      // next is read; the finds are then reported block by block in order, each after that
      // block's progress step, exactly as when every block is read and scanned in turn. The
      // stretch is read again from the current block when a command run from the pump has
      // changed the sound.
      FalseClickIndex falseClicks(lists.falseClicks);
      Stretch stretches[2];
      StretchScanner scanner(effective);
      int32_t nextStart = selStart;
      bool more = true;
      const auto fill = [&](Stretch& st, int32_t from) {
        st.blocks.clear();
        for (int32_t s = from; st.blocks.size() < stretchBlocks;) {
          const int32_t blockEnd = blockEndFrom(s);
          st.blocks.push_back(spanOf(s, blockEnd));
          if (blockEnd == selEnd) break;
          s = nextBlockStart(s, blockEnd);
        }
        const BlockSpan last = st.blocks.back();
        more = last.end != selEnd;
        nextStart = more ? nextBlockStart(last.start, last.end) : last.end;
        st.frames.resize(2 * static_cast<size_t>(last.end - from + 1));
        st.finds.resize(st.blocks.size());
        st.readFrom = EditState::of(doc);
        doc.ReadFrames(file, includeUpdates, st.frames.data(), from, last.end);
      };
      Stretch* cur = &stretches[0];
      Stretch* next = &stretches[1];
      // The first block's progress step comes before anything is read, as do a later
      // stretch's read errors before its first block's step: an error ends the run where the
      // block-by-block scan would meet it.
      bool done = !beforeBlock(blockEndFrom(selStart));
      if (!done) {
        fill(*cur, nextStart);
        scanner.open(*cur);
      }
      while (!done) {
        bool nextRead = more;
        const int32_t nextFrom = nextStart;
        std::exception_ptr readError;
        if (nextRead) {
          try {
            fill(*next, nextFrom);
          } catch (const std::exception&) {
            readError = std::current_exception();
            nextRead = false;
          }
        }
        scanner.finish(*cur);
        if (nextRead) scanner.open(*next);
        int32_t restartAt = -1;
        for (size_t i = 0; i < cur->blocks.size(); ++i) {
          const BlockSpan b = cur->blocks[i];
          if (!beforeBlock(b.end)) {
            done = true;
            break;
          }
          if (!(EditState::of(doc) == cur->readFrom)) {
            restartAt = b.start;
            break;
          }
          for (const Glitch& g : cur->finds[i]) {
            if (falseClicks.contains(g.position, g.channel)) continue;
            ++count;
            if (!store->Add(g.position, g.polarity, g.channel, g.width)) --count;
          }
          if (b.end == selEnd || !ctx.continueFlag) {
            done = true;
            break;
          }
        }
        if (nextRead && (done || restartAt >= 0)) scanner.abandon(*next);
        if (restartAt >= 0) {
          fill(*cur, restartAt);
          scanner.open(*cur);
        } else if (readError && !done) {
          if (!beforeBlock(blockEndFrom(nextFrom))) break;
          std::rethrow_exception(readError);
        } else {
          std::swap(cur, next);
        }
      }
    }
  } catch (const std::exception&) {
    failed = true;
  }
  if (progress) ctx.progressDetail(clicksFoundText(count));
  progress.reset();
  file.close();
  if (repair) {
    doc.ProcessRescanQueue();
    doc.displayOutOfDate = true;
  }
  if (failed && ctx.settings.emitbeeps) ctx.beep();
  if (failedOut) *failedOut = failed;
  return count;
}

}  // namespace tolmar
