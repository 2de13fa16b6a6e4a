#include "dsp/clipping_repair.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "dsp/effect_fixture.h"
#include "editor/command_table.h"

namespace tolmar::test {
namespace {

constexpr int kLevel = 9000;
constexpr int32_t kFrames = 6000;

// Two partials on each channel, peaks near 14000; the right one a fifth higher.
double sound(int32_t i, int channel) {
  const double t = i / 44100.0, w = 2 * std::numbers::pi * (channel ? 1.5 : 1.0);
  return 9000 * std::sin(w * 300 * t + 0.3) + 5000 * std::sin(w * 450 * t + 1.1 * channel);
}
int16_t clipped(int32_t i, int channel) {
  return static_cast<int16_t>(
      std::clamp(std::lround(sound(i, channel)), -long(kLevel), long(kLevel)));
}

struct ClippingRepairTest : ::testing::Test, EffectFixture {
  ClippingRepairTest() {
    ctx.settings.clippingvalue = kLevel;
    ctx.settings.clippingsamples = 4;
  }
  void openClipped() {
    open(kFrames, [](int32_t i) { return Frame{clipped(i, 0), clipped(i, 1)}; });
    select(0, kFrames - 1);
  }
  // The frames of each channel's runs of four or more at the level, in first … end − 1.
  std::vector<uint8_t> runFrames(int channel, int32_t first, int32_t end) {
    std::vector<uint8_t> in(kFrames, 0);
    int32_t start = -1;
    for (int32_t i = first; i <= end; ++i) {
      const bool at = i < end && std::abs(clipped(i, channel)) >= kLevel;
      if (at && start < 0) start = i;
      if (!at && start >= 0) {
        if (i - start >= 4) std::fill(in.begin() + start, in.begin() + i, 1);
        start = -1;
      }
    }
    return in;
  }
};

TEST_F(ClippingRepairTest, RebuildsTheRunsOfTheEditedChannelInOneUndoStep) {
  openClipped();
  ctx.editRight = false;
  editor.FindClippinginSelection1Click();
  const Markers findMarkers = markerList();
  const std::string foundText = host.messages.back().text;
  editor.markers.items.clear();
  editor.markers.Add(Marker::Both, 10, 0);  // not a clipping marker: stays

  editor.RepairClippinginSelection1Click();
  Markers expected = findMarkers;
  expected.insert(
      std::find_if(expected.begin(), expected.end(), [](auto& m) { return m[1] >= 10; }),
      {0, 10, 0});
  EXPECT_EQ(markerList(), expected) << "the markers Find Clipping places";
  ASSERT_EQ(doc().undoSteps.size(), 1u);
  EXPECT_EQ(doc().undoSteps.back()->caption, "Repair Clipping");

  const std::vector<uint8_t> inRun = runFrames(0, 0, kFrames - 1);
  const auto leftRuns = static_cast<size_t>(
      std::count_if(findMarkers.begin(), findMarkers.end(), [](auto& m) { return m[0] == 1; }));
  ASSERT_GT(leftRuns, 10u);
  EXPECT_EQ(foundText, "Clipping found at " + std::to_string(findMarkers.size()) + " places");
  EXPECT_EQ(host.messages.back().text, "Clipping repaired at " + std::to_string(leftRuns) + " of " +
                                           std::to_string(findMarkers.size()) + " places");

  const std::vector<int16_t> now = frames(0, kFrames - 1);
  double before = 0, after = 0;
  for (int32_t i = 0; i < kFrames; ++i) {
    ASSERT_EQ(now[2 * i + 1], clipped(i, 1)) << "the right channel is not being edited";
    const int16_t v = now[2 * i], c = clipped(i, 0);
    if (!inRun[i]) {
      ASSERT_EQ(v, c) << i;
      continue;
    }
    ASSERT_GE(c < 0 ? -v : v, kLevel) << i;
    before += (c - sound(i, 0)) * (c - sound(i, 0));
    after += (v - sound(i, 0)) * (v - sound(i, 0));
  }
  EXPECT_GT(10 * std::log10(before / after), 10.0);

  ASSERT_TRUE(doc().Undo());
  EXPECT_EQ(left(200), clipped(200, 0));
  for (int32_t i = 0; i < kFrames; ++i) ASSERT_EQ(left(i), clipped(i, 0)) << i;
}

TEST_F(ClippingRepairTest, RunsAtTheFileEdges) {
  // The file starts six frames into a long clipped top of the left channel and ends eight
  // frames into another.
  const auto at = [](int32_t i) { return std::abs(clipped(i, 0)) >= kLevel; };
  const auto longRunFrom = [&](int32_t i) {
    while (!(at(i) && !at(i - 1) && at(i + 15))) ++i;
    return i;
  };
  static int32_t shift;
  shift = longRunFrom(1) + 6;
  const int32_t count = longRunFrom(shift + 3000) + 8 - shift;
  open(count, [](int32_t i) { return Frame{clipped(i + shift, 0), clipped(i + shift, 1)}; });
  select(0, count - 1);
  editor.RepairClippinginSelection1Click();
  ASSERT_EQ(doc().undoSteps.size(), 1u);
  const auto rebuilt = [&](int32_t first, int32_t last) {
    int highest = 0;
    for (int32_t i = first; i <= last; ++i) {
      const int16_t v = left(i), was = clipped(i + shift, 0);
      EXPECT_GE(was < 0 ? -v : v, kLevel) << i;
      highest = std::max(highest, std::abs(int{v}));
    }
    return highest;
  };
  EXPECT_GT(rebuilt(0, 5), kLevel + 100) << "the opening top rises toward its peak";
  // The whole file selected ends at its last frame, which the search does not scan.
  EXPECT_GT(rebuilt(count - 8, count - 2), kLevel + 100);
  EXPECT_EQ(left(count - 1), clipped(count - 1 + shift, 0));
  EXPECT_EQ(host.messages.back().text.rfind("Clipping repaired at ", 0), 0u);
}

TEST_F(ClippingRepairTest, ASelectionEndingInsideARunWritesOnlyWhatItScanned) {
  openClipped();
  int32_t runStart = 101;
  const auto at = [](int32_t i) { return std::abs(clipped(i, 0)) >= kLevel; };
  while (!(at(runStart) && !at(runStart - 1) && at(runStart + 9))) ++runStart;
  select(20, runStart + 5);  // frames 20 … runStart + 4 are scanned
  editor.RepairClippinginSelection1Click();
  const std::vector<uint8_t> inRun = runFrames(0, 20, runStart + 5);
  ASSERT_TRUE(inRun[runStart + 4]);
  for (int32_t i = 0; i < kFrames; ++i) {
    if (inRun[i]) {
      ASSERT_GE(clipped(i, 0) < 0 ? -left(i) : left(i), kLevel) << i;
    } else {
      ASSERT_EQ(left(i), clipped(i, 0)) << i;
    }
  }
  int highest = 0;
  for (int32_t i = runStart; i < runStart + 5; ++i) highest = std::max(highest, std::abs(left(i)));
  EXPECT_GT(highest, kLevel + 100) << "the cut run rises as the sound did";
}

TEST_F(ClippingRepairTest, NothingToRepair) {
  openConstant(3000, 100, -100);
  editor.RepairClippinginSelection1Click();
  EXPECT_EQ(host.messages.back().text, kNothingToRepairText);
  EXPECT_TRUE(doc().undoSteps.empty());
}

TEST_F(ClippingRepairTest, RunsOnNoChannelBeingEditedAreMarkedNotRepaired) {
  openClipped();
  ctx.editLeft = ctx.editRight = false;
  editor.RepairClippinginSelection1Click();
  EXPECT_TRUE(doc().undoSteps.empty());
  EXPECT_FALSE(editor.markers.empty());
  EXPECT_EQ(host.messages.back().text.rfind("Clipping repaired at 0 of ", 0), 0u);
}

// The rebuilt tops of a full-scale clip cannot leave the 16-bit range; the message says how
// many samples stayed there.
TEST_F(ClippingRepairTest, AtFullScaleTheMessageCountsWhatStayed) {
  ctx.settings.clippingvalue = 32767;
  open(kFrames, [](int32_t i) {
    const double v = 3.0 * sound(i, 0);
    return Frame{static_cast<int16_t>(std::clamp(std::lround(v), -32767L, 32767L)), 0};
  });
  editor.RepairClippinginSelection1Click();
  const std::string text = host.messages.back().text;
  EXPECT_NE(text.find(" samples stayed at full scale"), std::string::npos) << text;
}

// Stop during the repair keeps what was rebuilt as the step; Stop during the search repairs
// nothing, since the runs are not all known.
TEST_F(ClippingRepairTest, StopDuringTheRepairKeepsWhatWasDone) {
  openClipped();
  int repairPumps = 0;
  host.onPump = [&](int) {
    if (host.progressCaptions.back() == " Repairing:" && ++repairPumps == 2) ctx.cancel();
  };
  editor.RepairClippinginSelection1Click();
  ASSERT_EQ(doc().undoSteps.size(), 1u);
  const size_t runs = editor.markers.size();
  const std::string text = host.messages.back().text;
  ASSERT_EQ(text.rfind("Clipping repaired at ", 0), 0u) << text;
  const int repaired = std::stoi(text.substr(21));
  EXPECT_GT(repaired, 0);
  EXPECT_LT(repaired, static_cast<int>(runs));
  EXPECT_EQ(text, "Clipping repaired at " + std::to_string(repaired) + " of " +
                      std::to_string(runs) + " places");
  int32_t lastLeft = -1;
  for (const Marker& m : editor.markers.items)
    if (m.kind == Marker::Left) lastLeft = m.position;
  ASSERT_GT(lastLeft, 0);
  EXPECT_EQ(left(lastLeft), clipped(lastLeft, 0)) << "the last runs stay as they were";
}

TEST_F(ClippingRepairTest, StopDuringTheSearchRepairsNothing) {
  openClipped();
  host.onPump = [&](int) {
    if (host.progressCaptions.back() == " Scanning:") ctx.cancel();
  };
  editor.RepairClippinginSelection1Click();
  EXPECT_TRUE(doc().undoSteps.empty());
  EXPECT_EQ(host.messages.back().text.rfind("Clipping found at ", 0), 0u);
  EXPECT_EQ(std::count(host.progressCaptions.begin(), host.progressCaptions.end(), " Repairing:"),
            0);
}

TEST_F(ClippingRepairTest, ACommandOfTheSelectionMenu) {
  const Command* c = findCommand("Selection | Repair Clipping in Selection (With Undo)");
  ASSERT_NE(c, nullptr);
  ASSERT_NE(c->action, nullptr);
  openClipped();
  invoke(editor, *c);
  ASSERT_EQ(doc().undoSteps.size(), 1u);
  EXPECT_EQ(doc().undoSteps.back()->caption, "Repair Clipping");
}

// Noise bursts, decaying as a snare does, panned to the left over a tone on each channel: the
// left is clipped where the right, which holds the same noise, is not.
struct NoiseDrums {
  std::vector<double> left, right;
  explicit NoiseDrums(int32_t frames) : left(frames), right(frames) {
    std::mt19937 rng(5);
    std::normal_distribution<double> white(0, 1);
    double body = 0;
    for (int32_t i = 0; i < frames; ++i) {
      const double s = (i % 1500) / 44100.0, env = 11000 * std::exp(-s / 0.03);
      body = 0.5 * body + white(rng);
      const double w = 2 * std::numbers::pi * i / 44100.0;
      left[i] = 0.8 * env * body + 2000 * std::sin(w * 180);
      right[i] = 0.15 * env * body + 1500 * std::sin(w * 270 + 1);
    }
  }
  static int16_t clip(double v) {
    return static_cast<int16_t>(std::clamp(std::lround(v), -long(kLevel), long(kLevel)));
  }
};

TEST_F(ClippingRepairTest, NoiseTheOtherChannelHoldsIsRebuiltFromIt) {
  static const NoiseDrums drums(kFrames);
  open(kFrames, [](int32_t i) {
    return Frame{NoiseDrums::clip(drums.left[i]), NoiseDrums::clip(drums.right[i])};
  });
  select(0, kFrames - 1);
  editor.RepairClippinginSelection1Click();
  ASSERT_EQ(doc().undoSteps.size(), 1u);
  const std::string text = host.messages.back().text;
  EXPECT_EQ(text.rfind("Clipping repaired at ", 0), 0u) << text;

  double before = 0, after = 0;
  int runSamples = 0;
  for (int32_t i = 0, start = -1; i <= kFrames; ++i) {
    const bool at = i < kFrames && std::abs(NoiseDrums::clip(drums.left[i])) >= kLevel;
    if (at && start < 0) start = i;
    if (at || start < 0) continue;
    for (int32_t k = start; k < i; ++k) {
      const int16_t v = left(k), c = NoiseDrums::clip(drums.left[k]);
      if (i - start < 4) {
        ASSERT_EQ(v, c) << "a run too short to repair, at " << k;
        continue;
      }
      ASSERT_GE(c < 0 ? -v : v, kLevel) << k;
      before += std::pow(c - drums.left[k], 2);
      after += std::pow(v - drums.left[k], 2);
      ++runSamples;
    }
    start = -1;
  }
  ASSERT_GT(runSamples, 40);
  for (int32_t i = 0; i < kFrames; ++i)
    ASSERT_EQ(right(i), NoiseDrums::clip(drums.right[i])) << "the right has no runs, at " << i;
  // The sparse solve, which knows only the left, gains next to nothing on noise.
  EXPECT_GT(10 * std::log10(before / after), 20.0);
}

// Struck notes: partials that start at an attack and decay, the kind of top an autoregressive
// model fitted on the surroundings knows least about. Stereo, only the left channel clipped.
std::vector<double> struckNotes(int64_t frames) {
  std::vector<double> x(static_cast<size_t>(frames));
  const double hz[4] = {196, 392, 587, 989}, amp[4] = {1, 0.6, 0.4, 0.25};
  for (int64_t start = 0; start < frames; start += 3000) {
    for (int64_t t = start; t < frames; ++t) {
      const double s = (t - start) / 44100.0, env = std::exp(-s / 0.08);
      for (int k = 0; k < 4; ++k)
        x[static_cast<size_t>(t)] +=
            16000 * env * amp[k] * std::sin(2 * std::numbers::pi * hz[k] * s + k);
    }
  }
  return x;
}

TEST(SparseDeclipper, RebuildsStruckTopsFarNearerTheTruthInsideTheirBounds) {
  constexpr int64_t n = 12000;
  constexpr int level = 12000;
  const std::vector<double> truth = struckNotes(n);
  std::vector<int16_t> stereo(2 * n, 123);
  for (int64_t t = 0; t < n; ++t)
    stereo[2 * t] = static_cast<int16_t>(std::clamp(std::nearbyint(truth[t]), -12000.0, 12000.0));
  const std::vector<int16_t> before = stereo;
  // Runs of four or more are rebuilt; shorter ones are bounds but are not written.
  std::vector<ClipSpan> spans;
  std::vector<uint8_t> inSpan(n, 0);
  for (int64_t t = 0, start = -1; t <= n; ++t) {
    const bool at = t < n && std::abs(before[2 * t]) >= level;
    if (at && start < 0) start = t;
    if (!at && start >= 0) {
      if (t - start >= 4) {
        spans.push_back({start, t - 1});
        std::fill(inSpan.begin() + start, inSpan.begin() + t, 1);
      }
      start = -1;
    }
  }
  ASSERT_GT(spans.size(), 8u);
  SparseDeclipOptions options;
  options.level = level;
  SparseDeclipper declipper(options);
  const ClipRepairResult r = declipper.repair(stereo.data(), n, 2, spans);
  ASSERT_TRUE(r.repaired);
  EXPECT_EQ(r.limited, 0);
  EXPECT_GT(declipper.frames(), 0);

  double errIn = 0, errOut = 0;
  for (int64_t t = 0; t < n; ++t) {
    EXPECT_EQ(stereo[2 * t + 1], 123) << "the other channel, at " << t;
    if (!inSpan[t]) {
      ASSERT_EQ(stereo[2 * t], before[2 * t]) << "not in a run, at " << t;
      continue;
    }
    const int sign = before[2 * t] < 0 ? -1 : 1;
    ASSERT_GE(sign * stereo[2 * t], level) << "beyond the level with the run's sign, at " << t;
    errIn += std::pow(truth[t] - before[2 * t], 2);
    errOut += std::pow(truth[t] - stereo[2 * t], 2);
  }
  EXPECT_GT(10 * std::log10(errIn / errOut), 10.0) << "dB nearer the truth";
}

TEST(SparseDeclipper, AWindowShorterThanAFrameGoesToTheModelAndBadSpansAreRefused) {
  const std::vector<double> truth = struckNotes(600);
  std::vector<int16_t> x(600);
  for (size_t t = 0; t < x.size(); ++t)
    x[t] = static_cast<int16_t>(std::clamp(std::nearbyint(truth[t]), -12000.0, 12000.0));
  int64_t first = 0;
  while (std::abs(x[static_cast<size_t>(first)]) < 12000) ++first;
  int64_t last = first;
  while (std::abs(x[static_cast<size_t>(last + 1)]) >= 12000) ++last;
  ASSERT_GE(last - first, 3);
  SparseDeclipOptions options;
  options.level = 12000;
  SparseDeclipper declipper(options);
  std::vector<int16_t> y = x;
  EXPECT_FALSE(declipper.repair(y.data(), 600, 1, {{last, first}}).repaired);
  EXPECT_FALSE(declipper.repair(y.data(), 600, 1, {{first, 600}}).repaired);
  EXPECT_EQ(y, x);
  ASSERT_TRUE(declipper.repair(y.data(), 600, 1, {{first, last}}).repaired);
  EXPECT_EQ(declipper.frames(), 0);
  EXPECT_NE(y, x);
  for (int64_t t = first; t <= last; ++t) EXPECT_GE(std::abs(y[static_cast<size_t>(t)]), 12000);
}

}  // namespace
}  // namespace tolmar::test
