#include "editor/macro_runner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>

#include "support/scripted_host.h"

namespace tolmar {
namespace {

using test::ScriptedHost;

// A command table of the test's own: each item's availability and action are the test's.
class FakeTable : public StepTarget {
 public:
  struct Item {
    std::function<bool()> enabled = [] { return true; };
    std::function<void()> action = [] {};
  };
  std::map<std::string, Item, std::less<>> items;
  std::vector<std::string> invoked;
  int recomputes = 0;
  int refreshes = 0;

  StepTarget::Item lookup(std::string_view path) override {
    auto it = items.find(path);
    if (it == items.end()) return StepTarget::Item::Missing;
    return it->second.enabled() ? StepTarget::Item::Enabled : StepTarget::Item::Disabled;
  }
  void invoke(std::string_view path) override {
    invoked.emplace_back(path);
    items.find(path)->second.action();
  }
  void recomputeAvailability() override { ++recomputes; }
  void refreshDisplay() override { ++refreshes; }
};

struct MacroRun : ::testing::Test {
  ScriptedHost host;
  Context ctx{host};
  MacroTable macros;
  PresetStore presets;
  DeclickParams& declick = ctx.settings.declick;
  FakeTable table;
  std::vector<std::string> log;

  MacroRun() {
    host.ctx = &ctx;
    presets.click.installFactory();
    presets.eq.installFactory();
    presets.filter.installFactory();
    presets.chanmix.installFactory();
    for (const char* path : {"Edit | A", "Edit | B", "Edit | C"}) table.items[path] = {};
  }

  MacroRunner runner() { return MacroRunner(ctx, macros, presets, {ctx.settings}, table); }
  void run(int slot, std::vector<std::string>* toLog = nullptr) { runner().run(slot, toLog); }
};

TEST(MacroSteps, ParseSilentPrefixCallsRefreshAndPresets) {
  ParsedStep s = parseStep("<Silent> Other Effects | Filter (With Undo) [Rumble]");
  EXPECT_TRUE(s.silent);
  EXPECT_EQ(s.kind, ParsedStep::Kind::Command);
  EXPECT_EQ(s.text, "Other Effects | Filter (With Undo) [Rumble]");
  EXPECT_EQ(s.path, "Other Effects | Filter (With Undo)");
  EXPECT_EQ(s.preset, "Rumble");

  s = parseStep("File | Save");
  EXPECT_FALSE(s.silent);
  EXPECT_EQ(s.path, "File | Save");
  EXPECT_FALSE(s.preset.has_value());

  // Only the first "[" splits; a name may hold brackets of its own.
  s = parseStep("Declicking | Find All Clicks [Odd [1]]");
  EXPECT_EQ(s.path, "Declicking | Find All Clicks");
  EXPECT_EQ(s.preset, "Odd [1]");

  EXPECT_EQ(parseStep("[Call Macro #7]").callSlot, 7);
  EXPECT_EQ(parseStep("<Silent> [Call Macro #48]").callSlot, 48);
  EXPECT_EQ(parseStep("[Call Macro #x]").callSlot, 0);
  EXPECT_EQ(parseStep("[Call Macro #").callSlot, 0);
  EXPECT_EQ(parseStep("[Call Macro #7]").kind, ParsedStep::Kind::CallMacro);
  EXPECT_EQ(parseStep("<Silent> [Refresh Display]").kind, ParsedStep::Kind::RefreshDisplay);
  EXPECT_EQ(callMacroStep(12), "[Call Macro #12]");
}

TEST_F(MacroRun, RecursiveCallIsRefusedOnceAndTheMacroCompletes) {
  macros.store(1, {"Edit | A", "[Call Macro #1]", "Edit | B"}, "Self");
  run(1);
  EXPECT_EQ(host.texts(), std::vector<std::string>{"Attempt to make recursive call to macro #1"});
  EXPECT_EQ(table.invoked, (std::vector<std::string>{"Edit | A", "Edit | B"}));
  EXPECT_FALSE(macros.get(1)->running);

  // Through another macro: 2 calls 3, which calls 2 back.
  host.messages.clear();
  table.invoked.clear();
  macros.store(2, {"Edit | A", "[Call Macro #3]", "Edit | C"}, "");
  macros.store(3, {"[Call Macro #2]", "Edit | B"}, "");
  run(2);
  EXPECT_EQ(host.texts(), std::vector<std::string>{"Attempt to make recursive call to macro #2"});
  EXPECT_EQ(table.invoked, (std::vector<std::string>{"Edit | A", "Edit | B", "Edit | C"}));
  EXPECT_FALSE(macros.get(2)->running);
  EXPECT_FALSE(macros.get(3)->running);

  // The same macro may be called twice in a row: only nesting is refused.
  host.messages.clear();
  table.invoked.clear();
  macros.store(4, {"[Call Macro #5]", "[Call Macro #5]"}, "");
  macros.store(5, {"Edit | A"}, "");
  run(4);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(table.invoked.size(), 2u);
}

TEST_F(MacroRun, SilentStepLoadsItsPresetAndRunsSilentlyThenRestoresSilentMode) {
  const char* path = "Other Effects | Filter (With Undo)";
  bool silentDuringRun = false;
  table.items[path] = {[] { return true; }, [&] { silentDuringRun = ctx.silentMode; }};
  macros.store(1, {std::string("<Silent> ") + path + " [Rumble]"}, "");
  run(1, &log);
  EXPECT_TRUE(silentDuringRun);
  EXPECT_FALSE(ctx.silentMode);
  EXPECT_EQ(ctx.settings.filter.type, (std::array<int, 3>{1, 0, 0}));
  EXPECT_EQ(ctx.settings.filter.freq, (std::array<double, 3>{35, 1000, 1000}));
  EXPECT_EQ(ctx.settings.filter.q, (std::array<double, 3>{1.0, 0.5, 0.5}));
  EXPECT_EQ(log, std::vector<std::string>{"    Other Effects | Filter (With Undo) [Rumble]"});
  EXPECT_TRUE(host.dialogIds.empty());
}

TEST_F(MacroRun, PresetsOfEachFamilyLoadOnlyTheirStatedFields) {
  const char* eq = "Other Effects | Equalise (Direct Overwrite)";
  const char* mix = "Other Effects | Channel Mix (With Undo)";
  const char* clicks = "Declicking | Find and Remove All Clicks";
  for (const char* p : {eq, mix, clicks}) table.items[p] = {};
  ctx.settings.mixer.leftinvert = true;
  ctx.settings.equalise.overallgain = 0.5;
  declick.repairMethod = RepairMethod::Linear;
  declick.smoothingCount = 3;
  macros.store(1,
               {std::string(eq) + " [Bass Boost]", std::string(mix) + " [Convert to Mono]",
                std::string(clicks) + " [Smeared Ticks]"},
               "");
  run(1);

  // Equaliser gains use 1.12, not the dialog's 1.1225.
  EXPECT_EQ(ctx.settings.equalise.dbgain[1], 4.0);
  EXPECT_DOUBLE_EQ(ctx.settings.equalise.gain[1], std::pow(1.12, 4.0));
  EXPECT_DOUBLE_EQ(ctx.settings.equalise.gain[2], std::pow(1.12, 5.5));
  EXPECT_EQ(ctx.settings.equalise.gain[0], 1.0);
  EXPECT_EQ(ctx.settings.equalise.overallgain, 0.5);

  EXPECT_EQ(ctx.settings.mixer.leftleft, 50);
  EXPECT_EQ(ctx.settings.mixer.rightright, 50);
  EXPECT_TRUE(ctx.settings.mixer.leftinvert) << "invert flags are not part of a step's preset";

  const ClickPreset* smeared = presets.click.get("Smeared Ticks");
  ASSERT_NE(smeared, nullptr);
  EXPECT_EQ(declick.clickWidth, smeared->clickWidth);
  EXPECT_EQ(declick.repairWidth, smeared->repairWidth);
  EXPECT_EQ(declick.displayWidth, smeared->displayWidth);
  EXPECT_EQ(declick.relAmplitude, smeared->relativeAmplitude);
  EXPECT_EQ(declick.shape, ClickShape::Hill);
  EXPECT_EQ(ctx.settings.declick.shape, ClickShape::Hill);
  EXPECT_EQ(ctx.settings.declick.relAmplitude, smeared->relativeAmplitude);
  EXPECT_EQ(declick.repairMethod, RepairMethod::Linear) << "the repair method is the user's";
  EXPECT_EQ(declick.smoothingCount, 3);
  EXPECT_EQ(table.invoked.size(), 3u);
}

TEST_F(MacroRun, MissingPresetOrPresetOnAnOrdinaryCommandChangesNothing) {
  const char* filter = "Other Effects | Filter (With Undo)";
  table.items[filter] = {};
  const Settings before = ctx.settings;
  macros.store(1, {std::string(filter) + " [No Such Preset]", "Edit | A [Rumble]"}, "");
  run(1, &log);
  EXPECT_EQ(ctx.settings.filter.type, before.filter.type);
  EXPECT_EQ(ctx.settings.filter.freq, before.filter.freq);
  // Both still run: the bracket only names a preset.
  EXPECT_EQ(table.invoked, (std::vector<std::string>{filter, "Edit | A"}));
  EXPECT_EQ(log,
            (std::vector<std::string>{"    Other Effects | Filter (With Undo) [No Such Preset]",
                                      "    Edit | A [Rumble]"}));
}

TEST_F(MacroRun, DisabledStepOutsideSilentModeAsksWhetherToAbort) {
  table.items["Edit | B"].enabled = [] { return false; };
  macros.store(1, {"Edit | B", "Edit | A", "Edit | B", "Edit | C"}, "");
  host.answers = {Answer::No, Answer::Yes};
  run(1);
  const std::string q =
      "Macro error: operation \"Edit | B\" not valid in this context. Abort macro execution?";
  ASSERT_EQ(host.questions.size(), 2u);
  EXPECT_EQ(host.questions[0].text, q);
  EXPECT_TRUE(host.messages.empty());
  // No went on to A; Yes stopped before C.
  EXPECT_EQ(table.invoked, std::vector<std::string>{"Edit | A"});
  EXPECT_TRUE(ctx.abortFlag);
}

TEST_F(MacroRun, DisabledStepInABatchLogsTheErrorAndStopsUnlessToldToContinue) {
  table.items["Edit | B"].enabled = [] { return false; };
  macros.store(1, {"Edit | A", "<Silent> Edit | B", "Edit | C"}, "");
  ctx.silentMode = true;
  ctx.batchLog = &log;
  run(1, &log);
  EXPECT_EQ(log, (std::vector<std::string>{
                     "    Edit | A",
                     "      Macro error: operation \"Edit | B\" not valid in this context"}));
  EXPECT_TRUE(host.messages.empty());
  EXPECT_TRUE(host.questions.empty());
  EXPECT_EQ(table.invoked, std::vector<std::string>{"Edit | A"});
  EXPECT_TRUE(ctx.silentMode);

  log.clear();
  table.invoked.clear();
  ctx.continueOnError = true;
  run(1, &log);
  EXPECT_EQ(log.size(), 3u);
  EXPECT_EQ(log[2], "    Edit | C");
  EXPECT_EQ(table.invoked, (std::vector<std::string>{"Edit | A", "Edit | C"}));
}

TEST_F(MacroRun, DisabledStepMadeSilentByItsPrefixAbortsVisibly) {
  table.items["Edit | B"].enabled = [] { return false; };
  macros.store(1, {"<Silent> Edit | B", "Edit | A"}, "");
  ctx.continueOnError = true;  // only batch runs listen to it
  run(1, &log);
  EXPECT_EQ(host.texts(), std::vector<std::string>{
                              "Macro error: operation \"Edit | B\" not valid in this context\n\n"
                              "*** Macro Aborted ***"});
  EXPECT_TRUE(host.questions.empty());
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(table.invoked.empty());
  EXPECT_FALSE(ctx.silentMode);
  EXPECT_TRUE(ctx.abortFlag);
}

TEST_F(MacroRun, EmptySlotsAndNameOnlySlotsRunNothing) {
  IniFile ini;
  ini.parse("[Macros]\nmacro5.nm=Named But Empty\n");
  macros.read(ini);
  ASSERT_EQ(macros.get(5), nullptr);
  ctx.abortFlag = true;
  run(5);
  run(0);
  run(49);
  EXPECT_TRUE(table.invoked.empty());
  EXPECT_TRUE(host.messages.empty());
  EXPECT_TRUE(ctx.abortFlag) << "a macro that does not exist does not start";
  macros.write(ini);
  EXPECT_FALSE(ini.hasKey("Macros", "macro5.nm")) << "the name is lost on the next write";
}

TEST_F(MacroRun, MissingItemsAreSkippedSilentlyAndTheRestRuns) {
  macros.store(1, {"Edit | Gone", "Nowhere", "Edit | A"}, "");
  MacroRunner r = runner();
  r.run(1, &log);
  EXPECT_EQ(table.invoked, std::vector<std::string>{"Edit | A"});
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(log, std::vector<std::string>{"    Edit | A"});
  EXPECT_EQ(r.stats().skipped, 2);
  EXPECT_EQ(r.stats().invoked, 1);
}

TEST_F(MacroRun, AvailabilityFollowsEachStepAndRefreshRepaints) {
  // A enables B: B is looked up only after A ran.
  bool bReady = false;
  table.items["Edit | A"].action = [&] { bReady = true; };
  table.items["Edit | B"].enabled = [&] { return bReady; };
  macros.store(1, {"Edit | A", "[Refresh Display]", "Edit | B"}, "");
  run(1);
  EXPECT_EQ(table.invoked, (std::vector<std::string>{"Edit | A", "Edit | B"}));
  EXPECT_EQ(table.recomputes, 2);
  EXPECT_EQ(table.refreshes, 1);
  EXPECT_TRUE(host.questions.empty());
}

TEST_F(MacroRun, AbortFromACommandOrItsCancelStopsTheMacro) {
  // A parameter dialog's Cancel sets the abort flag.
  table.items["Edit | A"].action = [&] { ctx.abortFlag = true; };
  macros.store(1, {"Edit | A", "Edit | B"}, "");
  run(1);
  EXPECT_EQ(table.invoked, std::vector<std::string>{"Edit | A"});

  // A progress panel's Cancel clears the continue flag.
  table.invoked.clear();
  table.items["Edit | A"].action = [&] { ctx.cancel(); };
  run(1);
  EXPECT_EQ(table.invoked, std::vector<std::string>{"Edit | A"});
  EXPECT_TRUE(ctx.abortFlag);

  // Starting a macro clears an abort left from before.
  table.invoked.clear();
  table.items["Edit | A"].action = [] {};
  run(1);
  EXPECT_EQ(table.invoked.size(), 2u);
  EXPECT_FALSE(ctx.abortFlag);
}

TEST_F(MacroRun, AFailedStepIsCountedAndStopsTheRunUnlessToldToContinue) {
  table.items["Edit | A"].action = [&] { ctx.error("Failed to write to x"); };
  macros.store(1, {"Edit | A", "Edit | B"}, "");
  ctx.silentMode = true;
  ctx.batchRunning = true;
  ctx.batchLog = &log;
  MacroRunner r = runner();
  r.run(1, &log);
  EXPECT_EQ(r.stats().failed, 1);
  EXPECT_EQ(table.invoked, std::vector<std::string>{"Edit | A"});

  table.invoked.clear();
  ctx.continueOnError = true;
  MacroRunner again = runner();
  again.run(1, &log);
  EXPECT_EQ(again.stats().failed, 1);
  EXPECT_EQ(table.invoked, (std::vector<std::string>{"Edit | A", "Edit | B"}));
}

TEST_F(MacroRun, AQuestionABatchAnswersNoIsLoggedAndTheStepCountsAsNotRun) {
  table.items["Edit | A"].action = [&] {
    if (!ctx.askYesNo("Do you wish to proceed?")) return;
    ctx.info("ran");
  };
  macros.store(1, {"Edit | A", "Edit | B"}, "");
  ctx.silentMode = true;
  ctx.batchRunning = true;
  ctx.batchLog = &log;
  host.answers = {Answer::No};
  MacroRunner r = runner();
  r.run(1, &log);
  EXPECT_EQ(r.stats().declined, 1);
  EXPECT_EQ(log, (std::vector<std::string>{"    Edit | A", "      Do you wish to proceed? -> No",
                                           "    Edit | B"}));

  // A Yes runs the command and counts nothing.
  log.clear();
  host.answers = {Answer::Yes};
  MacroRunner yes = runner();
  yes.run(1, &log);
  EXPECT_EQ(yes.stats().declined, 0);
}

TEST_F(MacroRun, AMacroThatChangesItselfWhileRunningFinishesAsItStarted) {
  // As the setup dialog would, opened by a step: the slot is freed mid-run.
  table.items["Edit | A"].action = [&] { macros.store(1, {}, ""); };
  macros.store(1, {"Edit | A", "Edit | B"}, "");
  run(1);
  EXPECT_EQ(table.invoked, (std::vector<std::string>{"Edit | A", "Edit | B"}));
  EXPECT_EQ(macros.get(1), nullptr);
}

TEST_F(MacroRun, StepsOutsideTheTableRunAsAMacroAndMayCallSlots) {
  macros.store(2, {"Edit | B"}, "");
  MacroDefinition adHoc;
  adHoc.steps = {"Edit | A", "[Call Macro #2]", "Edit | C"};
  runner().run(adHoc, &log);
  EXPECT_EQ(table.invoked, (std::vector<std::string>{"Edit | A", "Edit | B", "Edit | C"}));
  EXPECT_FALSE(adHoc.running);
}

}  // namespace
}  // namespace tolmar
