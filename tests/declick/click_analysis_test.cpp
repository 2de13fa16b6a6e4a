#include "declick/click_analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <vector>

#include "declick/detection.h"
#include "editor/editor.h"
#include "support/doc_fixture.h"
#include "support/editor_fixture.h"

namespace tolmar::test {
namespace {

// ---- The search, with trials whose outcome the test decides ----

struct Call {
  ClickShape shape;
  int relAmplitude;
  int clickWidth;
  int32_t selStart;
  int32_t selEnd;
};

struct AnalysisTest : ::testing::Test {
  DocFixture fx;
  DeclickParams params;
  std::vector<Call> calls;
  static constexpr int32_t kP = 5000;

  void SetUp() override {
    fx.open(WavBuilder().frames(20000, [](int32_t) { return Frame{}; }));
    fx.doc->selStart = kP;
    fx.doc->selEnd = kP + 7;
  }
  // `outcome` decides a trial's result from the parameter set and the selection.
  ClickAnalysisOutcome analyse(std::function<ClickTrialResult(const Call&)> outcome) {
    ClickTrial trial = [&, outcome]() {
      const Call c{params.shape, params.relAmplitude, params.clickWidth, fx.doc->selStart,
                   fx.doc->selEnd};
      calls.push_back(c);
      return outcome(c);
    };
    return AnalyseClick(fx.ctx, *fx.doc, params, kP, trial);
  }
  size_t countShape(ClickShape s) const {
    return static_cast<size_t>(
        std::count_if(calls.begin(), calls.end(), [&](const Call& c) { return c.shape == s; }));
  }
};

ClickTrialResult none() {
  return {0, -1};
}
ClickTrialResult one(int32_t at) {
  return {1, at};
}

TEST_F(AnalysisTest, AFruitlessSearchTriesEveryShapeAndSaysSo) {
  const auto outcome = analyse([](const Call&) { return none(); });
  EXPECT_EQ(outcome, ClickAnalysisOutcome::NotFound);
  EXPECT_EQ(calls.size(), static_cast<size_t>(kAnalysisTrials));  // 30012
  EXPECT_EQ(countShape(ClickShape::InstantRise), 246u);
  EXPECT_EQ(countShape(ClickShape::Spike), 246u * 40);
  EXPECT_EQ(countShape(ClickShape::Step), 246u);
  EXPECT_EQ(countShape(ClickShape::Hill), 246u * 40);
  EXPECT_EQ(countShape(ClickShape::Blip), 246u * 40);
  // Instant Rise at width 3 from 2500 down; Spike widens within each amplitude; Blip lowers
  // the amplitude within each width.
  EXPECT_EQ(calls[0].relAmplitude, 2500);
  EXPECT_EQ(calls[0].clickWidth, 3);
  EXPECT_EQ(calls[245].relAmplitude, 50);
  EXPECT_EQ(calls[246].shape, ClickShape::Spike);
  EXPECT_EQ(calls[247].clickWidth, 2);
  EXPECT_EQ(calls[246 + 40].relAmplitude, 2490);
  const size_t blip = calls.size() - 246 * 40;
  EXPECT_EQ(calls[blip].shape, ClickShape::Blip);
  EXPECT_EQ(calls[blip + 1].relAmplitude, 2490);
  EXPECT_EQ(calls[blip + 246].clickWidth, 2);
  // Every trial searched the analysis region, with the window size and threshold reset.
  EXPECT_EQ(calls[0].selStart, kP - 1000);
  EXPECT_EQ(calls[0].selEnd, kP + 1000);
  EXPECT_EQ(params.windowSize, 250);
  EXPECT_EQ(params.levelThreshold, 0);

  ASSERT_EQ(fx.host.questions.size(), 1u);
  EXPECT_EQ(fx.host.questions[0].text, kAnalysisRareShapesQuestion);
  ASSERT_EQ(fx.host.messages.size(), 1u);
  EXPECT_EQ(fx.host.messages[0].kind, MsgKind::Warning);
  EXPECT_EQ(fx.host.messages[0].text,
            "Sorry: No parameter settings will uniquely find the nominated click");
  EXPECT_EQ(*std::max_element(fx.host.progressValues.begin(), fx.host.progressValues.end()), 100);
  EXPECT_EQ(fx.host.progressCaptions.back(), " Analysing:");
  EXPECT_EQ(fx.doc->selStart, kP);  // the selection comes back
  EXPECT_EQ(fx.doc->selEnd, kP + 7);
}

TEST_F(AnalysisTest, ANoToTheRareShapesEndsSilently) {
  fx.host.answers.push_back(Answer::No);
  EXPECT_EQ(analyse([](const Call&) { return none(); }), ClickAnalysisOutcome::Cancelled);
  EXPECT_EQ(calls.size(), 246u * 42);
  EXPECT_TRUE(fx.host.messages.empty());
  EXPECT_EQ(fx.doc->selStart, kP);

  // Silent mode takes the question as answered Yes.
  calls.clear();
  fx.ctx.silentMode = true;
  fx.host.answers.push_back(Answer::No);
  analyse([](const Call&) { return none(); });
  EXPECT_EQ(fx.host.questions.size(), 1u);
  EXPECT_EQ(calls.size(), static_cast<size_t>(kAnalysisTrials));
}

TEST_F(AnalysisTest, AStepOnlyClickGivesTheStepCandidateWithWidthFive) {
  params.repairWidth = 4;
  const auto outcome = analyse([](const Call& c) {
    return c.shape == ClickShape::Step && c.relAmplitude <= 2000 ? one(kP + 1) : none();
  });
  EXPECT_EQ(outcome, ClickAnalysisOutcome::Found);
  EXPECT_EQ(params.shape, ClickShape::Step);
  EXPECT_EQ(params.relAmplitude, 2000);
  EXPECT_EQ(params.clickWidth, 5);
  EXPECT_EQ(params.repairWidth, 5);  // raised to the click width
  ASSERT_EQ(fx.host.messages.size(), 1u);
  EXPECT_EQ(fx.host.messages[0].kind, MsgKind::Information);
  EXPECT_EQ(fx.host.messages[0].text, "Successfully found suitable declick parameters");
  EXPECT_TRUE(fx.host.questions.empty());
  // Verification: one run per half-width, 100 … 4000 frames around the click.
  ASSERT_GE(calls.size(), 5u);
  const Call& last = calls.back();
  EXPECT_EQ(last.selStart, kP - 4000);
  EXPECT_EQ(last.selEnd, kP + 4000);
  EXPECT_EQ(calls[calls.size() - 5].selStart, kP - 100);
}

TEST_F(AnalysisTest, CandidatesAreVerifiedByAmplitudeThenShape) {
  const auto outcome = analyse([](const Call& c) {
    const bool verifying = c.selEnd - c.selStart < 2000;
    switch (c.shape) {
      case ClickShape::InstantRise:
        return c.relAmplitude <= 1500 ? one(kP) : none();
      case ClickShape::Spike:
        if (c.relAmplitude > 2000 || c.clickWidth < 7) return none();
        return verifying ? ClickTrialResult{2, kP} : one(kP - 2);  // fails verification
      case ClickShape::Step:
        return c.relAmplitude <= 2000 ? one(kP + 3) : none();
      default:
        return none();
    }
  });
  EXPECT_EQ(outcome, ClickAnalysisOutcome::Found);
  // Spike (2000) and Step (2000) before Instant Rise (1500); Spike first on equal amplitude.
  std::vector<ClickShape> verified;
  for (const Call& c : calls)
    if (c.selEnd - c.selStart < 2000 && (verified.empty() || verified.back() != c.shape))
      verified.push_back(c.shape);
  EXPECT_EQ(verified, (std::vector<ClickShape>{ClickShape::Spike, ClickShape::Step}));
  EXPECT_EQ(params.shape, ClickShape::Step);
  EXPECT_EQ(params.clickWidth, 5);
}

TEST_F(AnalysisTest, VerificationLowersTheAmplitudeUntilTheClickIsFoundAgain) {
  const auto outcome = analyse([](const Call& c) {
    if (c.shape != ClickShape::InstantRise) return none();
    // Wider surroundings hide the click until the amplitude comes down to 1800.
    if (c.selEnd - c.selStart >= 4000 && c.relAmplitude > 1800) return none();
    return one(kP);
  });
  EXPECT_EQ(outcome, ClickAnalysisOutcome::Found);
  EXPECT_EQ(params.shape, ClickShape::InstantRise);
  EXPECT_EQ(params.relAmplitude, 1800);
  EXPECT_EQ(params.clickWidth, 5);
}

TEST_F(AnalysisTest, ANearbyClickOrAStrayFindFailsTheShape) {
  // Instant Rise meets one click too far away, Spike two clicks, Step nothing.
  fx.host.answers.push_back(Answer::No);
  analyse([](const Call& c) {
    if (c.shape == ClickShape::InstantRise) return one(kP + 4);
    if (c.shape == ClickShape::Spike) return ClickTrialResult{2, kP};
    return none();
  });
  EXPECT_EQ(countShape(ClickShape::InstantRise), 1u);  // one click ends its search
  EXPECT_EQ(countShape(ClickShape::Spike), 246u);      // two clicks end each width loop
  EXPECT_EQ(fx.host.questions.size(), 1u);
}

TEST_F(AnalysisTest, CancelEndsWithoutAMessageAndRestoresTheSelection) {
  fx.host.pumps = 0;
  fx.host.cancelAtPump = 10;
  EXPECT_EQ(analyse([](const Call&) { return none(); }), ClickAnalysisOutcome::Cancelled);
  EXPECT_EQ(calls.size(), 10u);
  EXPECT_TRUE(fx.host.messages.empty());
  EXPECT_TRUE(fx.host.questions.empty());
  EXPECT_EQ(fx.doc->selStart, kP);
  EXPECT_EQ(fx.doc->selEnd, kP + 7);
}

// ---- With the detection engine ----

struct AnalyseClickCommandTest : EditorTest {
  // Quiet deterministic noise with one upward click per listed frame on the left channel.
  void open(std::vector<int32_t> clicks) {
    WavBuilder()
        .frames(20000,
                [clicks](int32_t f) {
                  int16_t v = static_cast<int16_t>(((f * 7919) % 41) - 20);
                  for (int32_t c : clicks)
                    if (f == c) v = 9000;
                  return Frame{v, static_cast<int16_t>(-v)};
                })
        .write(wav);
    ASSERT_TRUE(editor.OpenDocument(wav));
  }
};

TEST_F(AnalyseClickCommandTest, FindsParametersThatCatchTheClickAlone) {
  open({8000});
  editor.doc->selStart = 8000;
  editor.doc->selEnd = 8000;
  editor.params.shape = ClickShape::Hill;
  editor.AutoSetup1Click();
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Successfully found suitable declick parameters");
  EXPECT_TRUE(editor.params.processLeft);  // both flags come back
  EXPECT_TRUE(editor.params.processRight);
  EXPECT_FALSE(editor.clicks.stored);
  EXPECT_EQ(editor.doc->selStart, 8000);

  // The parameters found catch that click and nothing else in the whole file.
  editor.doc->selStart = 0;
  editor.doc->selEnd = 19999;
  editor.params.processRight = false;
  ClickLists lists;
  EXPECT_EQ(FindClicks(*editor.doc, editor.params, lists, true, false, false), 1);
  ASSERT_TRUE(lists.stored);
  EXPECT_LE(std::abs(lists.stored->items[0].position - 8000), 3);
}

TEST_F(AnalyseClickCommandTest, ANeighbouringClickDefeatsTheAnalysis) {
  open({8000, 8500});
  editor.doc->selStart = 8000;
  editor.doc->selEnd = 8000;
  host.answers.push_back(Answer::No);  // do not go on to Hill and Blip
  editor.AutoSetup2Click();            // the right channel holds the clicks too (downwards)
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(editor.doc->selStart, 8000);
  EXPECT_EQ(editor.doc->selEnd, 8000);
}

}  // namespace
}  // namespace tolmar::test
