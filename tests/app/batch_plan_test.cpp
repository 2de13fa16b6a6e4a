#include "app/batch_plan.h"

#include <gtest/gtest.h>

#include <sstream>

#include "editor/macro_runner.h"
#include "support/editor_fixture.h"

namespace tolmar {
namespace {

struct BatchPlanTest : test::EditorTest {
  std::ostringstream err;
  bool check(std::vector<PlanStep> plan) { return checkPlan(editor, plan, err); }
};

TEST_F(BatchPlanTest, StepsThatExistPassWithoutAWord) {
  editor.presets.click.installFactory();
  editor.presets.filter.installFactory();
  editor.macros.store(3, {"Declicking | Find All Clicks"}, "Declick");
  EXPECT_TRUE(check({{true, "0-3"},
                     {false, "Declicking | Find All Clicks [Moderate Clicks]"},
                     {false, callMacroStep(3)},
                     {false, "Other Effects | Filter (With Undo) [Rumble]"},
                     {true, "all"},
                     {false, "File | Save"}}));
  EXPECT_EQ(err.str(), "");
}

TEST_F(BatchPlanTest, WhatDoesNotExistStopsTheRunAndEveryReasonIsGiven) {
  EXPECT_FALSE(check({{false, callMacroStep(7)}, {false, "File | Sav"}}));
  const std::string text = err.str();
  EXPECT_NE(text.find("macro slot 7 of"), std::string::npos) << text;
  EXPECT_NE(text.find("is empty\n"), std::string::npos) << text;
  EXPECT_NE(text.find("no menu item \"File | Sav\""), std::string::npos) << text;
}

TEST_F(BatchPlanTest, PresetProblemsOnlyWarn) {
  editor.presets.click.installFactory();
  EXPECT_TRUE(check(
      {{false, "Declicking | Find All Clicks [No Such Preset]"}, {false, "File | Save [Rumble]"}}));
  const std::string text = err.str();
  EXPECT_NE(text.find("warning: no preset \"No Such Preset\" for \"Declicking | Find All Clicks\""),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("warning: \"File | Save\" takes no preset"), std::string::npos) << text;
}

TEST_F(BatchPlanTest, ASelectionIsNeverTakenForAStep) {
  EXPECT_TRUE(check({{true, "File | Sav"}}));
  EXPECT_EQ(err.str(), "");
}

}  // namespace
}  // namespace tolmar
