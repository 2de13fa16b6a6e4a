#include "dsp/effect_controls.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tolmar::test {
namespace {

TEST(EffectControls, EqualiserBarsMapTenthsOfADecibel) {
  using namespace equaliser_controls;
  EXPECT_EQ(barPosition(12), -120) << "the top of the bar is +12 dB";
  EXPECT_EQ(barPosition(-2.5), 25);
  EXPECT_EQ(barPosition(30), -120);
  Settings::Equalise eq;
  setBand(eq, 3, -35);
  EXPECT_DOUBLE_EQ(eq.dbgain[3], 3.5);
  EXPECT_DOUBLE_EQ(eq.gain[3], std::pow(1.1225, 3.5));
  EXPECT_EQ(bandText(3.5), "+3.5");
  EXPECT_EQ(bandText(0), "0.0");
  EXPECT_EQ(bandText(-1), "-1.0");
  setOverall(eq, 25);
  EXPECT_DOUBLE_EQ(eq.overallgain, 0.75);
  EXPECT_EQ(overallPosition(eq.overallgain), 25);
  EXPECT_EQ(overallText(eq.overallgain), "0.75");

  applyPreset(eq, EQPresetFamily::factory()[2]);  // Bass Boost, as the dialog applies it
  EXPECT_DOUBLE_EQ(eq.gain[2], std::pow(1.1225, 5.5));
  EXPECT_EQ(presetFrom(eq, "Mine").dbGain, EQPresetFamily::factory()[2].dbGain);
}

TEST(EffectControls, FilterFrequencyStepsGrowWithTheFrequency) {
  using filter_controls::stepFrequency;
  EXPECT_EQ(stepFrequency(35, true, 1), 36);
  EXPECT_EQ(stepFrequency(199, true, 10), 209);
  EXPECT_EQ(stepFrequency(200, true, 1), 205);
  EXPECT_EQ(stepFrequency(999, true, 1), 1009);
  EXPECT_EQ(stepFrequency(1000, true, 10), 1500);
  EXPECT_EQ(stepFrequency(19950, true, 1), 20050);
  EXPECT_EQ(stepFrequency(20050, true, 1), 20050) << "nothing above 20 kHz";
  EXPECT_EQ(stepFrequency(5001, false, 1), 4901);
  EXPECT_EQ(stepFrequency(5000, false, 1), 4950);
  EXPECT_EQ(stepFrequency(1000, false, 10), 900);
  EXPECT_EQ(stepFrequency(500, false, 1), 495);
  EXPECT_EQ(stepFrequency(200, false, 1), 199);
  EXPECT_EQ(stepFrequency(5, false, 1), 5) << "nothing at 5 Hz or below";
  EXPECT_EQ(filter_controls::frequencyText(35), "35");
  EXPECT_EQ(filter_controls::frequencyText(62.5), "62.5");
  EXPECT_DOUBLE_EQ(filter_controls::qFromPosition(7), 0.7);
  EXPECT_EQ(filter_controls::positionFromQ(0.5), 5);
}

TEST(EffectControls, AmplifySteppersStopAtTheirBoundsAndKeepGainsTogether) {
  using namespace amplify_controls;
  Settings s;
  stepGain(s, 0, 1);
  EXPECT_EQ(s.amplifyfactorr, 1) << "ampequal moves both";
  s.ampequal = false;
  stepGain(s, 1, -0.1);
  EXPECT_DOUBLE_EQ(s.amplifyfactorr, 0.9);
  EXPECT_EQ(s.amplifyfactorl, 1);
  setEqual(s, true);
  EXPECT_EQ(s.amplifyfactorr, 1);
  for (int i = 0; i < 60; ++i) stepGain(s, 0, 1);
  EXPECT_EQ(s.amplifyfactorl, 50);
  stepStartFade(s, -10);
  EXPECT_EQ(s.ampfadestartsecs, 0);
  stepEndFade(s, 10);
  EXPECT_EQ(s.ampfadeendsecs, 10);
  stepThreshold(s, -0.5);
  EXPECT_EQ(s.compressthresh, 3);
  stepRatio(s, 0.1);
  EXPECT_EQ(thresholdText(s.compressthresh), "-3.0");
  EXPECT_EQ(ratioText(s.compressfactor), "1.1:1");
  EXPECT_EQ(gainText(-2.25), "-2.2");

  NormaliseModel n;
  n.step(0.1);
  EXPECT_EQ(n.normaliseto, 0);
  for (int i = 0; i < 40; ++i) n.step(-0.1);
  EXPECT_EQ(n.targetText(), "-3.00");
  FadeFactorModel f;
  f.step(100);
  EXPECT_EQ(f.text(), "90.0");
  f.fadefactor = 0.2;
  f.step(-1);
  EXPECT_EQ(f.text(), "0.1");
}

TEST(EffectControls, ChannelMixPresetsSetTheInvertsInTheDialog) {
  Settings::Mixer m;
  mix_controls::applyPreset(m, ChanmixPresetFamily::factory()[5]);  // Reduce Vocal
  EXPECT_EQ(m.leftright, -100);
  EXPECT_TRUE(m.rightinvert);
  EXPECT_EQ(mix_controls::percentText(m.leftright), "-100%");
  EXPECT_TRUE(mix_controls::presetFrom(m, "x").rightInvert);
}

}  // namespace
}  // namespace tolmar::test
