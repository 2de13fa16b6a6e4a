// The detector against a plain reference scan written straight from the description of the
// engine: position by position, window by window, block by block, with no shortcuts. The
// detector skips windows and runs of positions that provably hold no click and reads the
// selection in long stretches; whatever it skips, its click list (positions, order, polarity,
// channel), its count and its progress must stay those of the reference.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <tuple>
#include <vector>

#include "declick/detection.h"
#include "declick/repair.h"
#include "support/doc_fixture.h"

namespace tolmar::test {
namespace {

// ---- The reference ----

struct RefStats {
  int64_t averageStep = 1;
  int64_t meanLevel = 1;
  int64_t meanHalfPeriod = 1;
};

class ReferenceScan {
 public:
  ReferenceScan(const DeclickParams& p, const GlitchList& falseClicks)
      : p_(p),
        falseClicks_(falseClicks),
        windowSize_(std::max<int32_t>(p.windowSize, 1)),
        clickWidth_(std::max<int32_t>(p.clickWidth, 1)) {}

  // Frames blockStart..blockEnd are buf[0..]; returns the count, storing into `store`.
  int32_t block(const int16_t* buf, int32_t blockStart, int32_t blockEnd, GlitchList& store) {
    return scanBlock(const_cast<int16_t*>(buf), blockStart, blockEnd, &store);
  }
  // The same, repairing each click in the buffer instead of storing it.
  int32_t repairBlock(int16_t* buf, int32_t blockStart, int32_t blockEnd) {
    return scanBlock(buf, blockStart, blockEnd, nullptr);
  }

 private:
  int32_t scanBlock(int16_t* buf, int32_t blockStart, int32_t blockEnd, GlitchList* store) {
    buf_ = buf;
    bs_ = blockStart;
    be_ = blockEnd;
    store_ = store;
    count_ = 0;
    int32_t ws = blockStart;
    for (;;) {
      const int32_t we = std::min(ws + windowSize_ - 1, blockEnd);
      window(ws, we);
      if (we == blockEnd) break;
      const int32_t next = we - (clickWidth_ + 2);
      ws = next > ws ? next : ws + 1;
    }
    return count_;
  }

  const DeclickParams& p_;
  const GlitchList& falseClicks_;
  int32_t windowSize_;
  int32_t clickWidth_;
  int16_t* buf_ = nullptr;
  int32_t bs_ = 0;
  int32_t be_ = 0;
  GlitchList* store_ = nullptr;
  int32_t count_ = 0;

  int64_t x(int32_t frame, int ch) const { return buf_[2 * (frame - bs_) + ch]; }
  bool processes(int ch) const { return ch == 0 ? p_.processLeft : p_.processRight; }

  void report(int32_t position, uint8_t polarity, int ch) {
    if (falseClicks_.Contains(position, static_cast<uint8_t>(ch))) return;
    ++count_;
    if (store_ && !store_->Add(position, polarity, static_cast<uint8_t>(ch))) --count_;
    if (!store_)
      RepairClickInBuffer(buf_, bs_, be_, position, ch, p_.repairMethod, p_.repairWidth, false,
                          p_.smoothingCount);
  }

  RefStats stats(int32_t ws, int32_t we, int ch) const {
    int64_t steps = 0, sum = 0;
    for (int32_t i = ws; i <= we - 1; ++i) {
      steps += std::llabs(x(i, ch) - x(i + 1, ch));
      sum += x(i, ch);
    }
    RefStats s;
    s.averageStep = steps / (we - ws);
    if (s.averageStep == 0) s.averageStep = 1;
    s.meanLevel = std::llabs(sum / (we - ws));
    if (s.meanLevel == 0) s.meanLevel = 1;
    return s;
  }

  void window(int32_t ws, int32_t we) {
    if (ws >= we) return;
    RefStats st[2];
    for (int ch = 0; ch < 2; ++ch) st[ch] = stats(ws, we, ch);
    if (p_.shape == ClickShape::Blip) {
      for (int ch = 0; ch < 2; ++ch) st[ch].meanHalfPeriod = halfPeriod(ws, we, ch);
      for (int ch = 0; ch < 2; ++ch)
        if (processes(ch)) blips(ws, we, ch, st[ch]);
      return;
    }
    int32_t skipUntil[2] = {-1, -1};
    for (int32_t pos = ws; pos <= we - (clickWidth_ + 1); ++pos) {
      for (int ch = 0; ch < 2; ++ch) {
        if (!processes(ch) || skipUntil[ch] >= pos) continue;
        uint8_t polarity = 0;
        const int32_t r = test(pos, ch, st[ch], polarity);
        if (r > 0) {
          report(std::max(pos + r - 2, 0), polarity, ch);
          skipUntil[ch] = pos + clickWidth_;
        }
      }
    }
  }

  int32_t test(int32_t pos, int ch, const RefStats& st, uint8_t& polarity) const {
    const auto at = [&](int32_t k) { return x(pos + k, ch); };
    if (p_.shape == ClickShape::Hill) {
      int64_t max = at(1), min = at(1);
      int32_t imax = -1, imin = -1;
      for (int32_t c = 2; c <= clickWidth_; ++c) {
        if (at(c) > max) max = at(c), imax = c;
        if (at(c) < min) min = at(c), imin = c;
      }
      if (imax == -1 || imin == -1) return 0;
      int64_t a;
      int32_t k;
      if (imax > imin) {
        polarity = 0, a = std::llabs(at(0) - min), k = imin;
      } else {
        polarity = 1, a = std::llabs(max - at(0)), k = imax;
      }
      const int64_t b = std::llabs(max - min);
      const bool hill = a * 100 / st.averageStep > p_.relAmplitude &&
                        b * 100 / st.averageStep > p_.relAmplitude &&
                        a * 100 / st.meanLevel > p_.levelThreshold &&
                        b * 100 / st.meanLevel > p_.levelThreshold;
      return hill ? k + 2 : 0;
    }
    const int64_t d = std::llabs(at(0) - at(1)) * 100;
    if (!(d / st.averageStep >= p_.relAmplitude && d / st.meanLevel >= p_.levelThreshold)) return 0;
    polarity = at(0) < at(1) ? 1 : 0;
    switch (p_.shape) {
      case ClickShape::Step:
        return 3;
      case ClickShape::InstantRise:
        if ((polarity == 1 && at(1) > at(2)) || (polarity == 0 && at(1) < at(2))) return 3;
        if (pos != bs_ && ((polarity == 1 && at(0) < at(-1)) || (polarity == 0 && at(0) > at(-1))))
          return 3;
        return 0;
      default:  // Spike
        for (int32_t c = 1; c <= clickWidth_; ++c) {
          const int64_t dc = polarity == 1 ? at(c) - at(0) : at(0) - at(c);
          if (dc > st.averageStep) return c;
        }
        return 0;
    }
  }

  int64_t halfPeriod(int32_t ws, int32_t we, int ch) const {
    bool rising = x(ws + 1, ch) > x(ws, ch);
    int64_t previous = x(ws + 1, ch);
    int32_t lastTurn = -1;
    int64_t sum = 0, counted = 0;
    for (int32_t n = ws + 2; n <= we - 1; ++n) {
      const int64_t v = x(n, ch);
      if (v != previous && (v > previous) != rising) {
        if (lastTurn != -1 && n - lastTurn > 3) {
          sum += n - 1 - lastTurn;
          ++counted;
        }
        lastTurn = n - 1;
        rising = !rising;
      }
      previous = v;
    }
    return counted > 0 ? sum / counted : windowSize_;
  }

  void blips(int32_t ws, int32_t we, int ch, const RefStats& st) {
    bool rising = x(ws + 1, ch) > x(ws, ch);
    int32_t lastTurn = -1, skipUntil = -1;
    int64_t valueAtLastTurn = 0;
    for (int32_t n = ws + 2; n <= we - 1; ++n) {
      const int64_t v = x(n, ch), before = x(n - 1, ch);
      if (v == before || (v > before) == rising) continue;
      if (n > skipUntil && lastTurn != -1) {
        const int64_t h = n - 1 - lastTurn;
        const int64_t a = std::llabs(v - valueAtLastTurn);
        if (h * 100 / st.meanHalfPeriod < clickWidth_ &&
            a * 100 / st.averageStep > p_.relAmplitude) {
          report(lastTurn + (n - lastTurn) / 2, rising ? 1 : 0, ch);
          skipUntil = n + clickWidth_;
        }
      }
      lastTurn = n - 1;
      valueAtLastTurn = v;
      rising = !rising;
    }
  }
};

// The reference search over a selection of `signal` (interleaved, frame 0 first): one run of
// blocks from selStart, a pump whenever a block's end passes into a new quarter-second chunk,
// Cancel on pump `cancelAt` (0: never) before that block is read.
struct RefSearch {
  GlitchList stored;
  int32_t count = 0;
  int pumps = 0;
  std::vector<std::string> details;
};

RefSearch referenceSearch(const std::vector<int16_t>& signal, int32_t selStart, int32_t selEnd,
                          const DeclickParams& p, const GlitchList& falseClicks, int rate,
                          bool progress, int cancelAt = 0) {
  RefSearch out;
  ReferenceScan scan(p, falseClicks);
  const int32_t chunk = rate / 4;
  const int32_t cw = std::max<int32_t>(p.clickWidth, 1);
  int64_t shown = 0;
  int32_t s = selStart;
  for (;;) {
    const int32_t blockEnd = std::min(s + 8999, selEnd);
    if (progress) {
      const int64_t k = (blockEnd - selStart) / chunk + 1;
      if (k > shown) {
        shown = k;
        out.details.push_back(clicksFoundText(out.count));
        if (++out.pumps == cancelAt) break;
      }
    }
    out.count += scan.block(signal.data() + 2 * static_cast<size_t>(s), s, blockEnd, out.stored);
    if (blockEnd == selEnd) break;
    const int32_t next = blockEnd - cw + 1;
    s = next > s ? next : s + 1;
  }
  if (progress) out.details.push_back(clicksFoundText(out.count));
  return out;
}

// ---- Signals ----

// Music-like sound: two slow tones and a little noise, louder or softer by stretches, with
// silent and constant stretches; clicks of every shape are added at `clicks` (the shape taken
// in turn), in both channels or one.
std::vector<int16_t> musicWithClicks(int32_t frames, const std::vector<int32_t>& clicks,
                                     uint32_t seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0.0, 30.0);
  std::vector<int16_t> out(2 * static_cast<size_t>(frames));
  std::vector<double> v(out.size());
  const double f1 = 80 + seed % 300, f2 = 1500 + seed % 2000;
  for (int32_t f = 0; f < frames; ++f) {
    const double loud = 0.2 + 0.8 * std::fabs(std::sin(f / 20000.0 + seed));
    for (int ch = 0; ch < 2; ++ch) {
      double s = loud * (7000 * std::sin(2 * M_PI * f1 * f / 44100.0 + ch) +
                         900 * std::sin(2 * M_PI * f2 * f / 44100.0)) +
                 noise(rng);
      if ((f / 7000) % 9 == 4) s = 0;                 // digital silence
      if ((f / 5000) % 11 == 7) s = 1234 * (1 - ch);  // a held value
      v[2 * static_cast<size_t>(f) + static_cast<size_t>(ch)] = s;
    }
  }
  for (size_t i = 0; i < clicks.size(); ++i) {
    const int32_t at = clicks[i];
    const double a = (i % 3 == 0 ? 12000.0 : 4000.0) * (i % 2 ? -1 : 1);
    const int chFrom = static_cast<int>(i % 3 == 2), chTo = i % 4 == 1 ? 0 : 1;
    for (int ch = chFrom; ch <= chTo; ++ch) {
      const auto add = [&](int32_t f, double d) {
        if (f >= 0 && f < frames) v[2 * static_cast<size_t>(f) + static_cast<size_t>(ch)] += d;
      };
      switch (i % 5) {
        case 0:  // one frame out of line
          add(at, a);
          break;
        case 1:  // a spike over a few frames
          add(at, a), add(at + 1, a * 0.7), add(at + 2, a * 0.3);
          break;
        case 2:  // a step
          for (int32_t f = at; f < at + 400; ++f) add(f, a * 0.5);
          break;
        case 3:  // a hill
          add(at, a * 0.4), add(at + 1, a), add(at + 2, a * 0.5), add(at + 3, a * 0.1);
          break;
        default:  // a blip: one fast swing
          add(at, a), add(at + 1, -a);
          break;
      }
    }
  }
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<int16_t>(std::clamp(std::lround(v[i]), -32768L, 32767L));
  return out;
}

// Harsh sound for the bounds: white noise of varying size, runs of equal values, full-scale
// swings and clipped stretches.
std::vector<int16_t> harshSignal(int32_t frames, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<int16_t> out(2 * static_cast<size_t>(frames));
  int32_t level = 100;
  int16_t held[2] = {0, 0};
  for (int32_t f = 0; f < frames; ++f) {
    if (f % 500 == 0) level = std::uniform_int_distribution<int32_t>(0, 32767)(rng);
    const int mode = (f / 300) % 6;
    for (int ch = 0; ch < 2; ++ch) {
      int32_t s;
      if (mode == 3) {
        s = held[ch];
      } else if (mode == 5) {
        s = (rng() % 2) ? 32767 : -32768;
      } else {
        s = std::uniform_int_distribution<int32_t>(-level, level)(rng);
        if (rng() % 97 == 0) s = static_cast<int32_t>(rng() % 65536) - 32768;
      }
      held[ch] = static_cast<int16_t>(std::clamp(s, -32768, 32767));
      out[2 * static_cast<size_t>(f) + static_cast<size_t>(ch)] = held[ch];
    }
  }
  return out;
}

// Parameter sets: every shape with narrow and wide click widths, low and high relative
// amplitudes, a level threshold, one channel at a time, both off, short and long windows.
std::vector<DeclickParams> parameterSets() {
  std::vector<DeclickParams> sets;
  const ClickShape shapes[] = {ClickShape::InstantRise, ClickShape::Spike, ClickShape::Step,
                               ClickShape::Hill, ClickShape::Blip};
  int variant = 0;
  for (ClickShape shape : shapes) {
    for (int16_t width : {1, 2, 3, 5, 17, 40}) {
      for (int16_t rel : {50, 300, 2000, 2500}) {
        DeclickParams p;
        p.shape = shape;
        p.clickWidth = width;
        p.relAmplitude = rel;
        switch (variant++ % 7) {
          case 1:
            p.processLeft = false;
            break;
          case 2:
            p.processRight = false;
            break;
          case 3:
            p.levelThreshold = 150;
            break;
          case 4:
            p.windowSize = 37;
            break;
          case 5:
            p.windowSize = 1100;
            break;
          case 6:
            p.levelThreshold = -20;
            p.relAmplitude = static_cast<int16_t>(-rel);
            break;
          default:
            break;
        }
        sets.push_back(p);
      }
    }
  }
  DeclickParams off;
  off.processLeft = off.processRight = false;
  sets.push_back(off);
  return sets;
}

// Everything a stored click holds: position, polarity, channel.
std::vector<std::tuple<int32_t, int, int>> itemsOf(const GlitchList& l) {
  std::vector<std::tuple<int32_t, int, int>> out;
  for (const Glitch& g : l.items) out.emplace_back(g.position, g.polarity, g.channel);
  return out;
}

std::string describe(const DeclickParams& p) {
  return "shape " + std::to_string(static_cast<int>(p.shape)) + " width " +
         std::to_string(p.clickWidth) + " rel " + std::to_string(p.relAmplitude) + " level " +
         std::to_string(p.levelThreshold) + " window " + std::to_string(p.windowSize) + " left " +
         std::to_string(p.processLeft) + " right " + std::to_string(p.processRight);
}

// ---- Blocks ----

// Consecutive blocks of one buffer into one list, each started with the previous block's last
// click still in the list, as a search does; every parameter set, on music with clicks near the
// window seams and on harsh noise.
TEST(DetectionReference, BlocksMatchTheReferenceScan) {
  const int32_t frames = 30000;
  std::vector<int32_t> clicks;
  for (int32_t at = 300; at < frames; at += 1733) clicks.push_back(at);
  for (int32_t seam : {8999, 17994, 26989})
    for (int32_t d = -8; d <= 3; d += 2) clicks.push_back(seam + d);
  std::sort(clicks.begin(), clicks.end());
  const std::vector<std::vector<int16_t>> signals = {musicWithClicks(frames, clicks, 7),
                                                     harshSignal(frames, 11)};
  const bool keepGoing = true;
  for (const DeclickParams& p : parameterSets()) {
    for (const auto& signal : signals) {
      GlitchList noFalse, got, want;
      ClickDetector detector(p, noFalse, keepGoing);
      ReferenceScan ref(p, noFalse);
      const int32_t cw = std::max<int32_t>(p.clickWidth, 1);
      for (int32_t s = 5;;) {
        const int32_t e = std::min(s + 8999, frames - 1);
        std::vector<int16_t> block(signal.begin() + 2 * s, signal.begin() + 2 * (e + 1));
        const int32_t n =
            detector.FindClicksInBlock(block.data(), block.size() / 2, s, e, &got, false);
        ASSERT_EQ(n, ref.block(block.data(), s, e, want)) << describe(p) << " block " << s;
        if (e == frames - 1) break;
        s = e - cw + 1;
      }
      ASSERT_EQ(itemsOf(got), itemsOf(want)) << describe(p);
    }
  }
}

// Random blocks of random length and start on random signals; false clicks taken from the
// reference's own finds.
TEST(DetectionReference, RandomBlocksMatchTheReferenceScan) {
  std::mt19937 rng(2024);
  const std::vector<DeclickParams> sets = parameterSets();
  const bool keepGoing = true;
  for (int round = 0; round < 300; ++round) {
    const DeclickParams& p = sets[rng() % sets.size()];
    const int32_t length = 1 + static_cast<int32_t>(rng() % 9000);
    const int32_t start = static_cast<int32_t>(rng() % 100000);
    const std::vector<int16_t> signal =
        round % 2 ? harshSignal(length, static_cast<uint32_t>(round))
                  : musicWithClicks(length, {length / 3, length / 2, length - 4},
                                    static_cast<uint32_t>(round));
    GlitchList falseClicks;
    {
      GlitchList found;
      ReferenceScan(p, falseClicks).block(signal.data(), start, start + length - 1, found);
      for (size_t i = 0; i < found.size(); i += 3) falseClicks.items.push_back(found.items[i]);
    }
    GlitchList got, want;
    if (round % 5 == 0) {  // the list's last item may be the first find again
      got.Add(start + 1, 1, 0);
      want.Add(start + 1, 1, 0);
    }
    std::vector<int16_t> copy = signal;
    ClickDetector detector(p, falseClicks, keepGoing);
    const int32_t n = detector.FindClicksInBlock(copy.data(), copy.size() / 2, start,
                                                 start + length - 1, &got, false);
    ASSERT_EQ(n,
              ReferenceScan(p, falseClicks).block(signal.data(), start, start + length - 1, want))
        << describe(p) << " round " << round;
    ASSERT_EQ(itemsOf(got), itemsOf(want)) << describe(p) << " round " << round;
    ASSERT_EQ(copy, signal) << "a search without repair changed the buffer";
  }
}

// Repairing in the buffer: later positions are tested on the repaired sound, so the buffer,
// not only the count, must come out as the reference leaves it; every repair method.
TEST(DetectionReference, RepairsInTheBufferMatchTheReferenceScan) {
  std::mt19937 rng(77);
  const std::vector<DeclickParams> sets = parameterSets();
  const bool keepGoing = true;
  const RepairMethod methods[] = {RepairMethod::Linear, RepairMethod::Bezier,
                                  RepairMethod::CopyPreceding, RepairMethod::Smooth};
  for (int round = 0; round < 200; ++round) {
    DeclickParams p = sets[rng() % sets.size()];
    p.repairMethod = methods[round % 4];
    p.repairWidth = static_cast<int16_t>(std::max<int>(p.clickWidth, 4 + round % 60));
    const int32_t length = 2000 + static_cast<int32_t>(rng() % 7001);
    const int32_t start = static_cast<int32_t>(rng() % 50000);
    std::vector<int32_t> clicks;
    for (int32_t at = 50; at < length; at += 150 + static_cast<int32_t>(rng() % 400))
      clicks.push_back(at);
    const std::vector<int16_t> signal = round % 3 == 2
                                            ? harshSignal(length, static_cast<uint32_t>(round))
                                            : musicWithClicks(length, clicks, round);
    GlitchList noFalse;
    std::vector<int16_t> got = signal, want = signal;
    ClickDetector detector(p, noFalse, keepGoing);
    const int32_t n = detector.FindClicksInBlock(got.data(), got.size() / 2, start,
                                                 start + length - 1, nullptr, true);
    ASSERT_EQ(n, ReferenceScan(p, noFalse).repairBlock(want.data(), start, start + length - 1))
        << describe(p) << " round " << round;
    ASSERT_EQ(got, want) << describe(p) << " round " << round;
    if (n > 0) {
      EXPECT_NE(got, signal);
    }
  }
}

// ---- Searches over a document ----

struct SearchTest : ::testing::Test {
  DocFixture fx;
  ClickLists lists;
  std::vector<int16_t> signal;

  void open(std::vector<int16_t> s, uint32_t rate = 44100) {
    signal = std::move(s);
    fx.open(WavBuilder().rate(rate).samples(signal));
  }
  int32_t search(int32_t start, int32_t end, const DeclickParams& p, bool progress) {
    fx.doc->selStart = start;
    fx.doc->selEnd = end;
    return FindClicks(*fx.doc, p, lists, true, progress, false);
  }
};

// Frames of a selection of `stretches` stretches of blocks read together (click width 5) and
// a few blocks more.
int32_t stretchFrames(int stretches) {
  return static_cast<int32_t>((stretches * kSearchStretchBlocks + 3) * 8995);
}

// Whole searches over two stretches of blocks read together and a bit: clicks at the block,
// chunk and stretch seams of the selection, selections starting at two frames, with and
// without progress; list, count, pumps and the counter texts as the reference's.
TEST_F(SearchTest, SearchesMatchTheReferenceScan) {
  const int32_t frames = stretchFrames(2);
  std::vector<int32_t> clicks;
  for (int32_t at = 777; at < frames; at += 4321) clicks.push_back(at);
  for (int32_t d : {-9, -6, -5, -2, 0, 1}) {
    for (int32_t at = 11025; at < frames; at += 11025 * 7) clicks.push_back(at + d);    // chunks
    for (int32_t at = 8995; at < frames; at += 8995 * 5) clicks.push_back(at + 3 + d);  // blocks
    for (int k = 1; k <= 2; ++k)  // stretches, from a start of 3
      clicks.push_back(static_cast<int32_t>(k * kSearchStretchBlocks * 8995) + 3 + d);
  }
  std::sort(clicks.begin(), clicks.end());
  open(musicWithClicks(frames, clicks, 99));
  int round = 0;
  for (const DeclickParams& p : parameterSets()) {
    if (round++ % 5 != 0 && p.clickWidth != 5) continue;  // every shape, a fifth of the rest
    for (int32_t start : {0, 3}) {
      const bool progress = (round + start) % 2 == 0;
      fx.host.progressDetails.clear();
      fx.host.pumps = 0;
      const int32_t n = search(start, frames - 1, p, progress);
      const RefSearch want =
          referenceSearch(signal, start, frames - 1, p, lists.falseClicks, 44100, progress);
      ASSERT_EQ(n, want.count) << describe(p) << " from " << start;
      ASSERT_TRUE(lists.stored);
      ASSERT_EQ(itemsOf(*lists.stored), itemsOf(want.stored)) << describe(p) << " from " << start;
      EXPECT_EQ(fx.host.pumps, want.pumps);
      EXPECT_EQ(fx.host.progressDetails, want.details);
    }
  }
}

// Cancel on every possible pump: what was stored before it stays, nothing after it is added,
// at 44100 and at 48000 frames per second (other chunk seams), with false clicks in the list.
TEST_F(SearchTest, CancelKeepsExactlyTheBlocksBeforeIt) {
  for (uint32_t rate : {44100u, 48000u}) {
    const int32_t frames = stretchFrames(1) + 1;
    std::vector<int32_t> clicks;
    for (int32_t at = 100; at < frames; at += 997) clicks.push_back(at);
    open(musicWithClicks(frames, clicks, rate), rate);
    fx.ctx.sampleRate = static_cast<int>(rate);
    DeclickParams p;
    lists.falseClicks = GlitchList();
    {
      const RefSearch all = referenceSearch(signal, 0, frames - 1, p, lists.falseClicks,
                                            static_cast<int>(rate), false);
      ASSERT_GT(all.count, 40);
      for (size_t i = 1; i < all.stored.size(); i += 4)
        lists.falseClicks.items.push_back(all.stored.items[i]);
    }
    const int pumps =
        referenceSearch(signal, 0, frames - 1, p, lists.falseClicks, static_cast<int>(rate), true)
            .pumps;
    for (int cancelAt = 1; cancelAt <= pumps; ++cancelAt) {
      fx.host.progressDetails.clear();
      fx.host.pumps = 0;
      fx.host.cancelAtPump = cancelAt;
      fx.ctx.continueFlag = true;
      const int32_t n = search(0, frames - 1, p, true);
      const RefSearch want = referenceSearch(signal, 0, frames - 1, p, lists.falseClicks,
                                             static_cast<int>(rate), true, cancelAt);
      ASSERT_EQ(n, want.count) << rate << " cancel at " << cancelAt;
      ASSERT_EQ(itemsOf(*lists.stored), itemsOf(want.stored)) << rate << " cancel " << cancelAt;
      EXPECT_EQ(fx.host.pumps, want.pumps);
      EXPECT_EQ(fx.host.progressDetails, want.details);
    }
    fx.host.cancelAtPump = 0;
    fx.ctx.continueFlag = true;
  }
}

// An edit made by a command run from the progress pump is seen by the blocks read after it,
// as it would be when every block is read just before it is scanned: once inside the first
// stretch of blocks read together, once in a later one.
TEST_F(SearchTest, AnEditMadeDuringTheSearchIsSeenByTheBlocksAfterIt) {
  const int32_t frames = stretchFrames(2);
  DeclickParams p;
  p.shape = ClickShape::Step;
  // Pump 30 comes while the second stretch is reported, after the third was read ahead.
  for (auto [atPump, from] : {std::pair{3, 42017}, std::pair{30, 450017}}) {
    open(musicWithClicks(frames, {}, 5));
    // A step of 20 000 in the left channel, well ahead of the scan.
    const auto raised = [&](int32_t f) {
      return static_cast<int16_t>(
          std::clamp<int32_t>(signal[2 * static_cast<size_t>(f)] + 20000, -32768, 32767));
    };
    bool edited = false;
    fx.host.pumps = 0;
    fx.host.onPump = [&](int pump) {
      if (pump != atPump) return;
      fx.block(from, frames - 1, 0, raised);
      edited = true;
    };
    const int32_t n = search(0, frames - 1, p, true);
    fx.host.onPump = nullptr;
    ASSERT_TRUE(edited);
    std::vector<int16_t> after = signal;
    for (int32_t f = from; f < frames; ++f) after[2 * static_cast<size_t>(f)] = raised(f);
    const auto hasStep = [&](const GlitchList& l) {
      return std::any_of(l.items.begin(), l.items.end(),
                         [&](const Glitch& g) { return g.position == from && g.channel == 0; });
    };
    const RefSearch before = referenceSearch(signal, 0, frames - 1, p, {}, 44100, true);
    const RefSearch want = referenceSearch(after, 0, frames - 1, p, {}, 44100, true);
    ASSERT_FALSE(hasStep(before.stored));
    ASSERT_TRUE(hasStep(want.stored));
    EXPECT_EQ(n, want.count);
    EXPECT_EQ(itemsOf(*lists.stored), itemsOf(want.stored));
  }
}

}  // namespace
}  // namespace tolmar::test
