#include "dsp/decrackle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <set>
#include <vector>

#include "dsp/effect_fixture.h"

namespace tolmar::test {
namespace {

constexpr int kN = 2048;
constexpr int32_t kNoiseFrames = kN * 4;  // the fingerprint's passage
constexpr int32_t kFrames = kN * 12;

// Noise only for the first kNoiseFrames, then a tone over the same noise; `clean` is the sound
// without crackle, the file holds it with short spikes added at `clicks`.
struct Crackly {
  std::vector<int16_t> clean, withClicks;
  std::vector<int32_t> clicks;

  Crackly() {
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 150.0);
    clean.resize(2 * static_cast<size_t>(kFrames));
    for (int32_t f = 0; f < kFrames; ++f)
      for (int ch = 0; ch < 2; ++ch) {
        const double tone = f < kNoiseFrames ? 0.0 : 4000.0 * std::sin(f * (0.031 + 0.004 * ch));
        clean[2 * static_cast<size_t>(f) + ch] =
            static_cast<int16_t>(std::lround(tone + noise(rng)));
      }
    withClicks = clean;
    for (int32_t f = kNoiseFrames + 300; f < kFrames - 300; f += 577) {
      clicks.push_back(f);
      const int16_t sign = (f / 577) % 2 ? 1 : -1;
      for (int ch = 0; ch < 2; ++ch) {
        int16_t& x = withClicks[2 * static_cast<size_t>(f) + ch];
        int16_t& y = withClicks[2 * static_cast<size_t>(f + 1) + ch];
        x = static_cast<int16_t>(x + sign * 2500);
        y = static_cast<int16_t>(y + sign * 1200);
      }
    }
  }
};

struct Decrackle : EffectFixture, ::testing::Test {
  Crackly sig;

  void openCrackly() {
    editor.spectral.SetFFTSize(kN);
    open(kFrames, [&](int32_t f) {
      return Frame{sig.withClicks[2 * static_cast<size_t>(f)],
                   sig.withClicks[2 * static_cast<size_t>(f) + 1]};
    });
    ctx.silentMode = true;
    select(0, kNoiseFrames - 1);
    editor.GetFingerprint1Click();
    ctx.silentMode = false;
    select(kNoiseFrames, kFrames - 1);
    host.dialogs[kReduceNoiseDialogId] = [](tolmar::test::ModelRef) { return true; };
  }
  std::vector<int16_t> whole(bool edits = true) { return frames(0, kFrames - 1, edits); }
  // Runs the command; Direct Overwrite says Yes to the overwrite question.
  void run(bool direct) {
    if (direct) {
      host.answers = {Answer::Yes};
      editor.DecrackleDirectOverwrite1Click();
    } else {
      editor.Decrackle1Click();
    }
  }
  bool nearClick(int32_t f) const {
    for (int32_t c : sig.clicks)
      if (f >= c - 25 && f <= c + 26) return true;
    return false;
  }
};

TEST_F(Decrackle, RemovesTheCrackleAndLeavesTheRestAlone) {
  openCrackly();
  ASSERT_TRUE(editor.fingerprint.present);
  run(false);
  EXPECT_EQ(doc().undoCaption(), "Undo Decrackle");
  EXPECT_EQ(host.progressCaptions.back(), " Decrackling:");
  const std::vector<int16_t> got = whole();
  // Over both samples of every click the error against the clean sound drops to a fraction.
  int64_t before = 0, after = 0;
  for (int ch = 0; ch < 2; ++ch)
    for (int32_t c : sig.clicks)
      for (int32_t f = c; f <= c + 1; ++f) {
        const size_t i = 2 * static_cast<size_t>(f) + ch;
        before += std::abs(sig.withClicks[i] - sig.clean[i]);
        after += std::abs(got[i] - sig.clean[i]);
      }
  EXPECT_LT(after * 2, before);
  // Away from the clicks at most an odd false detection in the noise is repaired, by a
  // noise-sized amount.
  int64_t changed = 0, counted = 0, squares = 0;
  for (int32_t f = 0; f < kFrames; ++f) {
    if (nearClick(f)) continue;
    for (int ch = 0; ch < 2; ++ch) {
      const size_t i = 2 * static_cast<size_t>(f) + ch;
      ++counted;
      if (got[i] != sig.withClicks[i]) ++changed;
      const int64_t d = got[i] - sig.withClicks[i];
      squares += d * d;
    }
  }
  EXPECT_LT(changed * 100, counted * 5) << "under 5 % of the samples away from the clicks";
  EXPECT_LT(std::sqrt(static_cast<double>(squares) / counted), 100.0)
      << "changes well under the noise level (150 rms)";
  for (int32_t f = 0; f < kNoiseFrames; ++f)
    ASSERT_EQ(got[2 * static_cast<size_t>(f)], sig.withClicks[2 * static_cast<size_t>(f)])
        << "outside the selection";
}

TEST_F(Decrackle, KeepCrackleOnlyLeavesWhatTheRepairTookOut) {
  openCrackly();
  ctx.settings.keepnoise = true;
  run(false);
  EXPECT_EQ(host.progressCaptions.back(), " Keeping Crackle:");
  const std::vector<int16_t> kept = whole();
  doc().Undo();
  ctx.settings.keepnoise = false;
  run(false);
  const std::vector<int16_t> cleaned = whole();
  int64_t silentAway = 0, away = 0;
  for (int32_t f = kNoiseFrames; f < kFrames; ++f)
    for (int ch = 0; ch < 2; ++ch) {
      const size_t i = 2 * static_cast<size_t>(f) + ch;
      // The two modes split the sound: cleaned + kept = original (no limiting at these levels).
      ASSERT_EQ(cleaned[i] + kept[i], sig.withClicks[i]) << f;
      if (!nearClick(f)) {
        ++away;
        if (kept[i] == 0) ++silentAway;
      }
    }
  EXPECT_GT(silentAway * 100, away * 95) << "no crackle, (near) silence";
  for (int32_t c : sig.clicks) EXPECT_GT(std::abs(kept[2 * static_cast<size_t>(c)]), 1000) << c;
}

TEST_F(Decrackle, PutsTheDeclickParametersBackAlsoAfterCancel) {
  openCrackly();
  DeclickParams& p = editor.params;
  p.clickWidth = 11;
  p.repairWidth = 33;
  p.relAmplitude = 1500;
  p.shape = ClickShape::Hill;
  p.repairMethod = RepairMethod::Smooth;
  const DeclickParams before = p;
  // The click engine sees the decrackle values during the run.
  DeclickParams during;
  host.onPump = [&](int) { during = p; };
  run(false);
  EXPECT_EQ(during.clickWidth, 5);
  EXPECT_EQ(during.repairWidth, 20);
  EXPECT_EQ(during.relAmplitude, 400);
  EXPECT_EQ(during.shape, ClickShape::InstantRise);
  EXPECT_EQ(during.repairMethod, RepairMethod::Bezier);
  const auto same = [&] {
    EXPECT_EQ(p.clickWidth, before.clickWidth);
    EXPECT_EQ(p.repairWidth, before.repairWidth);
    EXPECT_EQ(p.relAmplitude, before.relAmplitude);
    EXPECT_EQ(p.shape, before.shape);
    EXPECT_EQ(p.repairMethod, before.repairMethod);
  };
  same();
  // Cancel on the second block: the first block's records stay, the parameters come back.
  doc().Undo();
  host.onPump = nullptr;
  host.pumps = 0;
  host.cancelAtPump = 2;
  ctx.continueFlag = true;
  run(false);
  same();
  EXPECT_TRUE(doc().canUndo());
  const std::vector<int16_t> got = whole();
  EXPECT_EQ(got[2 * static_cast<size_t>(kFrames - 10)],
            sig.withClicks[2 * static_cast<size_t>(kFrames - 10)])
      << "the last block was not reached";
}

TEST_F(Decrackle, WithUndoAndDirectOverwriteGiveTheSameSamples) {
  for (bool keep : {false, true}) {
    openCrackly();
    ctx.settings.keepnoise = keep;
    run(false);
    const std::vector<int16_t> undoable = whole();
    openCrackly();
    host.answers = {Answer::Yes, Answer::No};  // overwrite: yes; abandon the keep run: no
    editor.DecrackleDirectOverwrite1Click();
    EXPECT_EQ(whole(false), undoable) << "keep " << keep;
    EXPECT_FALSE(doc().canUndo());
    EXPECT_NE(undoable, sig.withClicks);
  }
}

TEST_F(Decrackle, KeepCrackleDirectOverwriteAsksWhetherToAbandon) {
  openCrackly();
  ctx.settings.keepnoise = true;
  host.answers = {Answer::Yes, Answer::Yes};
  editor.DecrackleDirectOverwrite1Click();
  ASSERT_EQ(host.questions.size(), 2u);
  EXPECT_EQ(host.questions[1].text, kKeepCrackleDirectQuestion);
  EXPECT_EQ(whole(false), sig.withClicks);
}

TEST_F(Decrackle, EditLeftOffChangesOnlyTheRightChannel) {
  openCrackly();
  run(false);
  const std::vector<int16_t> both = whole();
  for (bool direct : {false, true}) {
    openCrackly();
    ctx.editLeft = false;
    run(direct);
    const std::vector<int16_t> got = whole(!direct);
    for (size_t i = 0; i < got.size(); i += 2) {
      ASSERT_EQ(got[i], sig.withClicks[i]) << "left is not edited, direct " << direct;
      ASSERT_EQ(got[i + 1], both[i + 1]) << "direct " << direct;
    }
    ctx.editLeft = true;
  }
}

TEST_F(Decrackle, DialogInCrackleModeStoresItsValues) {
  openCrackly();
  ReduceNoiseModel seen;
  host.dialogs[kReduceNoiseDialogId] = [&](tolmar::test::ModelRef m) {
    auto* model = static_cast<ReduceNoiseModel*>(m);
    seen = *model;
    model->sensitivityPosition = 11;
    model->clickWidth = 7;
    model->repairWidth = 30;
    model->relativeAmplitude = 800;
    model->shape = 2;
    model->repairMethod = 0;
    return true;
  };
  run(false);
  EXPECT_EQ(seen.caption, "Reduce Crackle");
  EXPECT_EQ(seen.keepLabel, "Keep Crackle Only");
  EXPECT_FALSE(seen.showLevelDependent);
  EXPECT_TRUE(seen.showDecrackle);
  EXPECT_EQ(ctx.settings.crackleFactor, 1.0);
  EXPECT_EQ(ctx.settings.noiseClkwidth, 7);
  EXPECT_EQ(ctx.settings.noiseRepwidth, 30);
  EXPECT_EQ(ctx.settings.noiseRelamp, 800);
  EXPECT_EQ(ctx.settings.noiseShape, 2);
  EXPECT_EQ(ctx.settings.noiseRepair, 0);
  // Cancel ends the command without a change.
  doc().Undo();
  host.dialogs[kReduceNoiseDialogId] = [](tolmar::test::ModelRef) { return false; };
  run(false);
  EXPECT_TRUE(ctx.abortFlag);
  EXPECT_EQ(whole(), sig.withClicks);
  EXPECT_FALSE(doc().canUndo());
}

}  // namespace
}  // namespace tolmar::test
