#include "dsp/eq_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "dsp/effect_controls.h"
#include "dsp/effect_fixture.h"

namespace tolmar::test {
namespace {

// Music-like material: two tones and a little deterministic noise, different per channel.
Frame material(int32_t i) {
  static uint32_t seed = 1;
  if (i == 0) seed = 1;
  seed = seed * 1664525u + 1013904223u;
  const int noise = static_cast<int>(seed >> 21) - 1024;
  const double t = i / 44100.0;
  const double a = 9000 * std::sin(2 * std::numbers::pi * 440 * t) +
                   5000 * std::sin(2 * std::numbers::pi * 55 * t);
  return {static_cast<int16_t>(a + noise), static_cast<int16_t>(-0.5 * a + noise)};
}

Frame sine(int32_t i, double hz, double amplitude, int rate) {
  const auto v =
      static_cast<int16_t>(std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * i / rate)));
  return {v, v};
}

// How far a result is from the rounded long-double value, at worst, and how many differ.
struct Agreement {
  long double worst = 0;
  int differing = 0;
};

template <class Reference>
Agreement compare(const std::vector<int16_t>& got, int channels, Reference ref) {
  Agreement a;
  for (size_t i = 0; i < got.size(); ++i) {
    const long double want =
        std::clamp(std::nearbyint(ref(i / channels, i % channels)), -32767.0L, 32767.0L);
    const long double d = std::fabs(want - got[i]);
    a.worst = std::max(a.worst, d);
    if (d != 0) ++a.differing;
  }
  return a;
}

struct EqFilter : ::testing::Test, EffectFixture {};

TEST_F(EqFilter, EqualiserMatchesItsDifferenceEquationAcrossChunkSeams) {
  open(30000, material);
  std::vector<int16_t> in = frames(0, 29999);
  Settings::Equalise& eq = ctx.settings.equalise;
  equaliser_controls::applyPreset(eq, *editor.presets.eq.get("Bass Boost"));
  eq.gain[9] = 0.5;
  ASSERT_FALSE(equaliseSelection(doc(), editor.filterState, eq, 1, false, &editor.markers).clipped);
  const std::vector<int16_t> out = frames(0, 29999);

  // The band bank evaluated from scratch in long double over the whole selection.
  std::vector<long double> ref(in.size());
  for (int c = 0; c < 2; ++c) {
    long double y1[10] = {}, y2[10] = {}, x1 = 0, x2 = 0;
    for (size_t n = 0; n < in.size() / 2; ++n) {
      const long double x = in[2 * n + c];
      long double sum = 0;
      for (int b = 0; b < 10; ++b) {
        const long double y = 2 * (static_cast<long double>(kBandAlpha[b]) * (x - x2) +
                                   static_cast<long double>(kBandGamma[b]) * y1[b] -
                                   static_cast<long double>(kBandBeta[b]) * y2[b]);
        y2[b] = y1[b];
        y1[b] = y;
        sum += static_cast<long double>(eq.gain[b]) * y;
      }
      x2 = x1;
      x1 = x;
      ref[2 * n + c] = sum * static_cast<long double>(kEqualiserLevel * eq.overallgain);
    }
  }
  const Agreement a = compare(out, 1, [&](size_t i, int) { return ref[i]; });
  EXPECT_LE(a.worst, 1);
  EXPECT_LT(a.differing, static_cast<int>(out.size() / 100));
}

TEST_F(EqFilter, FilterCascadeMatchesItsDifferenceEquations) {
  open(30000, material);
  std::vector<int16_t> in = frames(0, 29999);
  Settings::Filter f;
  f.type = {kHighPass, kNotch, kLowPass};
  f.freq = {35, 60, 5000};
  f.q = {1.0, 1.0, 0.7};
  f.overallgain = 0.9;
  filterSelection(doc(), editor.filterState, f, false, &editor.markers);
  const std::vector<int16_t> out = frames(0, 29999);

  struct LB {
    long double b0, b1, b2, a0, a1, a2;
  };
  LB sec[3];
  for (int k = 0; k < 3; ++k) {
    const long double Q = f.type[k] == kNotch ? 10.0L * f.q[k] : f.q[k];
    const long double w0 = 2 * std::numbers::pi_v<long double> * f.freq[k] / 44100;
    const long double c = std::cos(w0), a = std::sin(w0) / (2 * Q);
    if (f.type[k] == kHighPass) sec[k] = {(1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + a, -2 * c, 1 - a};
    if (f.type[k] == kLowPass) sec[k] = {(1 - c) / 2, 1 - c, (1 - c) / 2, 1 + a, -2 * c, 1 - a};
    if (f.type[k] == kNotch) sec[k] = {1, -2 * c, 1, 1 + a, -2 * c, 1 - a};
  }
  std::vector<long double> ref(in.size());
  for (int c = 0; c < 2; ++c) {
    long double h[4][2] = {};
    for (size_t n = 0; n < in.size() / 2; ++n) {
      long double v[4];
      v[0] = in[2 * n + c];
      for (int k = 1; k <= 3; ++k) {
        const LB& s = sec[k - 1];
        v[k] = (s.b0 * v[k - 1] + s.b1 * h[k - 1][0] + s.b2 * h[k - 1][1] - s.a1 * h[k][0] -
                s.a2 * h[k][1]) /
               s.a0;
      }
      for (int k = 0; k < 4; ++k) {
        h[k][1] = h[k][0];
        h[k][0] = v[k];
      }
      ref[2 * n + c] = v[3] * static_cast<long double>(f.overallgain);
    }
  }
  const Agreement a = compare(out, 1, [&](size_t i, int) { return ref[i]; });
  EXPECT_LE(a.worst, 1);
  EXPECT_LT(a.differing, static_cast<int>(out.size() / 100));
  EXPECT_EQ(doc().undoCaption(), "Undo Filter");
  EXPECT_EQ(host.progressCaptions.back(), " Filtering:");
}

TEST_F(EqFilter, HumPresetNotchesSixtyHertzAtTheFilesRate) {
  open(
      96000, [](int32_t i) { return sine(i, 60, 10000, 48000); }, 48000);
  filter_controls::applyPreset(ctx.settings.filter, *editor.presets.filter.get("Hum (60Hz)"));
  EXPECT_EQ(filterSection(3, 60, 1.0, 48000).a0,
            1 + std::sin(2 * std::numbers::pi * 60 / 48000) / 20)
      << "a notch's Q is ten times the setting";
  editor.FilterWithUndo1Click();
  const std::vector<int16_t> tail = frames(72000, 95999);
  int most = 0;
  for (int16_t v : tail) most = std::max(most, std::abs(static_cast<int>(v)));
  EXPECT_LT(most, 20) << "60 Hz is gone once the notch has settled";

  // Coefficients worked out for 44100 would miss 60 Hz in a 48000 file by several hertz.
  std::vector<int16_t> buf = frames(0, 95999, false);
  FilterState st;
  CoreRun run;
  FilterFrames(st, buf.data(), 96000, run, ctx.settings.filter, 44100);
  int missed = 0;
  for (size_t i = 2 * 72000; i < buf.size(); ++i) missed = std::max(missed, std::abs(int{buf[i]}));
  EXPECT_GT(missed, 1000);

  // A 1 kHz tone passes.
  open(
      48000, [](int32_t i) { return sine(i, 1000, 10000, 48000); }, 48000);
  editor.FilterWithUndo1Click();
  int peak = 0;
  for (int16_t v : frames(24000, 47999)) peak = std::max(peak, std::abs(static_cast<int>(v)));
  EXPECT_NEAR(peak, 10000, 50);
}

TEST_F(EqFilter, SectionsSwitchedOffPassTheAudioTimesTheOverallGain) {
  open(10, [](int32_t i) { return Frame{static_cast<int16_t>(1001 + 2 * i), -7}; });
  Settings::Filter f;
  f.overallgain = 0.5;
  filterSelection(doc(), editor.filterState, f, false, nullptr);
  EXPECT_EQ(left(0), 500) << "500.5 ties to even";
  EXPECT_EQ(left(1), 502);
  EXPECT_EQ(right(9), -4) << "the end frame is filtered too";

  // A preset read with missing fields has type -1: also passed through.
  f.type = {-1, -1, -1};
  f.overallgain = 1.0;
  std::vector<int16_t> buf{10, 20, 30, 40};
  FilterState st;
  CoreRun run;
  FilterFrames(st, buf.data(), 2, run, f, 44100);
  EXPECT_EQ(buf, (std::vector<int16_t>{10, 20, 30, 40}));
}

TEST_F(EqFilter, FilterNeverCountsTheBuffersLastFrameAsClipped) {
  Settings::Filter f;
  FilterState st;
  MarkerList marks;
  CoreRun run;
  run.markers = &marks;
  run.factor = 2;
  run.firstFrame = 100;
  std::vector<int16_t> buf{100, 100, 100, 100, 20000, -20000};
  FilterFrames(st, buf.data(), 3, run, f, 44100);
  EXPECT_EQ(buf[4], 32767);
  EXPECT_EQ(buf[5], -32767);
  EXPECT_FALSE(run.clipped);
  EXPECT_TRUE(marks.empty());
  EXPECT_EQ(run.peak, 40000);

  // The equaliser does count it (a flat response is not needed to show the rule).
  std::array<double, 10> gains{};
  gains.fill(0);
  gains[9] = 1;
  std::vector<int16_t> spike{0, 0, 32767, 32767};
  CoreRun er;
  er.markers = &marks;
  er.factor = 4;
  er.firstFrame = 7;
  FilterState es;
  EqualiseFrames(es, spike.data(), 2, er, gains);
  EXPECT_TRUE(er.clipped);
  ASSERT_EQ(marks.size(), 1u);
  EXPECT_EQ(marks.items[0].position, 8);
  EXPECT_EQ(marks.items[0].kind, Marker::Left);
}

struct Equalise : EqFilter {
  void SetUp() override {
    open(20000, [](int32_t i) { return sine(i, 1000, 30000, 44100); });
    Settings::Equalise& eq = ctx.settings.equalise;
    for (int b = 0; b < 10; ++b) equaliser_controls::setBand(eq, b, 0);
    equaliser_controls::setBand(eq, 5, -120);  // +12 dB at 1 kHz
  }
  int peak() {
    int most = 0;
    for (int16_t v : frames(0, 19999)) most = std::max(most, std::abs(static_cast<int>(v)));
    return most;
  }
};

TEST_F(Equalise, TwoPassesLowerTheLevelSoThatNothingClips) {
  ctx.settings.eqpassprompt = 2;
  editor.EqualiseWithUndo1Click();
  EXPECT_EQ(peak(), 32767);
  EXPECT_TRUE(editor.markers.empty());
  EXPECT_TRUE(host.messages.empty());
  EXPECT_TRUE(host.questions.empty());
  EXPECT_EQ(host.progressCaptions, (std::vector<std::string>{" Scanning:", " Equalising:"}));
}

TEST_F(Equalise, OnePassClipsAndMarks) {
  ctx.settings.eqpassprompt = 1;
  editor.EqualiseWithUndo1Click();
  EXPECT_EQ(peak(), 32767);
  EXPECT_FALSE(editor.markers.empty());
  EXPECT_EQ(host.messages.back().text, kEqualiseClipText);
  EXPECT_EQ(doc().undoCaption(), "Undo Equalise");
}

TEST_F(Equalise, AskingForPassesCanAbandonTheCommand) {
  host.answers = {Answer::Cancel};
  editor.EqualiseWithUndo1Click();
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(host.questions[0].text, kEqualisePassesText);
  EXPECT_FALSE(doc().canUndo());

  host.answers = {Answer::No};
  editor.EqualiseWithUndo1Click();
  EXPECT_FALSE(editor.markers.empty()) << "No means one pass";

  ctx.silentMode = true;
  EXPECT_EQ(editor.equalisePasses(), 2);
  EXPECT_EQ(host.questions.size(), 2u);
}

TEST_F(Equalise, StopDuringTheScanAbandonsTheCommand) {
  ctx.settings.eqpassprompt = 2;
  host.cancelAtPump = host.pumps + 1;
  editor.EqualiseWithUndo1Click();
  EXPECT_FALSE(doc().canUndo());
  EXPECT_EQ(host.progressCaptions, (std::vector<std::string>{" Scanning:"}));
}

TEST_F(EqFilter, PreviewsProcessOnlyTheSelection) {
  std::vector<int16_t> buf(20, 1000);  // frames 50 … 59
  Settings::Filter f;
  f.overallgain = 0.5;
  FilterState st;
  EXPECT_FALSE(filterPreview(st, buf.data(), 10, 50, f, 44100, 52, 54, true, true));
  EXPECT_EQ(buf[2 * 1], 1000);
  EXPECT_EQ(buf[2 * 2], 500);
  EXPECT_EQ(buf[2 * 4 + 1], 500);
  EXPECT_EQ(buf[2 * 5], 1000);

  Settings::Equalise eq;
  std::vector<int16_t> loud(20, 30000);
  for (double& g : eq.gain) g = 8;
  EXPECT_TRUE(equalisePreview(st, loud.data(), 10, 0, eq, 0, 9, true, false));
  EXPECT_EQ(loud[1], 30000) << "the right channel is not edited";
}

}  // namespace
}  // namespace tolmar::test
