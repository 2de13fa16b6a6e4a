#include "config/declick_params.h"

#include <gtest/gtest.h>

#include "config/ini_file.h"
#include "config/presets.h"
#include "editor/editor.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

ClickPreset preset(const std::string& name, int click, int repair, int amp,
                   RepairMethod method = RepairMethod::Bezier, int count = 0) {
  ClickPreset p;
  p.name = name;
  p.clickWidth = static_cast<int16_t>(click);
  p.repairWidth = static_cast<int16_t>(repair);
  p.displayWidth = 30;
  p.relativeAmplitude = static_cast<int16_t>(amp);
  p.shape = ClickShape::Spike;
  p.repairMethod = method;
  p.smoothingCount = static_cast<int16_t>(count);
  return p;
}

struct ParamsDialogTest : ::testing::Test {
  TempDir dir;
  ScriptedHost host;
  Context ctx{host};
  IniFile ini{dir.file("VESKOR.INI")};
  ClickPresetList presets;
  DeclickParams params;

  void SetUp() override {
    host.ctx = &ctx;
    presets.add(ctx, preset("beta", 5, 20, 1000));
    presets.add(ctx, preset("Alpha", 3, 10, 800, RepairMethod::Smooth, 4));
    presets.add(ctx, preset("gamma", 7, 30, 1500));
  }
  ClickParamsDialog dialog(bool find = true) {
    return ClickParamsDialog(ctx, presets, &ini, params, "beta", find);
  }
  int row(const ClickParamsDialog& d, const std::string& name) {
    const auto& n = d.presetNames();
    return static_cast<int>(std::find(n.begin(), n.end(), name) - n.begin());
  }
};

TEST_F(ParamsDialogTest, OpensWithTheParameterSetAndTheSortedPresets) {
  params.clickWidth = 12;
  params.repairWidth = 40;
  params.relAmplitude = 1230;
  params.displayWidth = 60;
  params.processRight = false;
  params.shape = ClickShape::Hill;
  params.repairMethod = RepairMethod::Smooth;
  params.smoothingCount = 3;
  auto d = dialog();
  EXPECT_EQ(d.presetNames(), (std::vector<std::string>{"Alpha", "beta", "gamma"}));
  EXPECT_EQ(d.selected, -1);
  EXPECT_EQ(d.clickWidth(), 12);
  EXPECT_EQ(d.repairWidth(), 40);
  EXPECT_EQ(d.relAmplitude(), 1230);
  EXPECT_EQ(d.displayWidth(), 60);
  EXPECT_FALSE(d.processRight);
  EXPECT_EQ(d.shape, ClickShape::Hill);
  EXPECT_EQ(d.method, RepairMethod::Smooth);
  EXPECT_EQ(d.timesText, "3");
  EXPECT_EQ(d.name, "beta");
}

TEST_F(ParamsDialogTest, WidthAndRepairBarsDragEachOther) {
  auto d = dialog();  // 5 and 15
  d.setClickWidth(30);
  EXPECT_EQ(d.repairWidth(), 30);
  d.setRepairWidth(10);
  EXPECT_EQ(d.clickWidth(), 10);
  d.setRepairWidth(50);
  EXPECT_EQ(d.clickWidth(), 10);  // moving the repair bar up leaves the width alone
  d.setClickWidth(99);            // bars stop at their ends
  EXPECT_EQ(d.clickWidth(), 40);
  d.setRepairWidth(1);
  EXPECT_EQ(d.repairWidth(), 4);
  EXPECT_EQ(d.clickWidth(), 4);
  d.setRelAmplitude(9999);
  EXPECT_EQ(d.relAmplitude(), 2500);
  d.setDisplayWidth(0);
  EXPECT_EQ(d.displayWidth(), 1);
}

TEST_F(ParamsDialogTest, ClickingAPresetFillsTheControls) {
  auto d = dialog();
  d.timesText = "9";
  d.presetClicked(row(d, "gamma"));
  EXPECT_EQ(d.name, "gamma");
  EXPECT_EQ(d.clickWidth(), 7);
  EXPECT_EQ(d.repairWidth(), 30);
  EXPECT_EQ(d.relAmplitude(), 1500);
  EXPECT_EQ(d.shape, ClickShape::Spike);
  EXPECT_EQ(d.timesText, "9");  // only a Smooth preset sets the times box
  d.presetClicked(row(d, "Alpha"));
  EXPECT_EQ(d.method, RepairMethod::Smooth);
  EXPECT_EQ(d.timesText, "4");
  EXPECT_EQ(d.choice, ClickParamsDialog::Choice::Ok);
  d.presetDoubleClicked(row(d, "beta"));
  EXPECT_EQ(d.name, "beta");
  EXPECT_EQ(d.choice, ClickParamsDialog::Choice::Find);
}

TEST_F(ParamsDialogTest, AddingNeedsANameAndWritesThePresets) {
  auto d = dialog();
  d.name = "";
  EXPECT_FALSE(d.addPreset());
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].kind, MsgKind::Error);
  EXPECT_EQ(host.messages[0].text, "Please supply a name for the new preset");

  d.name = "My/Name";
  d.setClickWidth(4);
  d.setRepairWidth(12);
  d.setRelAmplitude(700);
  d.method = RepairMethod::Linear;
  d.timesText = "6";  // not Smooth: stored as 0
  EXPECT_TRUE(d.addPreset());
  EXPECT_EQ(d.presetNames().size(), 4u);
  EXPECT_EQ(d.presetNames()[2], "gamma");
  EXPECT_EQ(d.presetNames()[3], "My/Name");
  const ClickPreset* added = GetClickPreset(presets, "My/Name");
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->smoothingCount, 0);
  EXPECT_EQ(added->repairMethod, RepairMethod::Linear);

  IniFile saved{dir.file("VESKOR.INI")};
  saved.load();
  EXPECT_EQ(saved.value("Declick", "preset4"), "/4/12/30/700/0/0/0/My/Name");

  // The same values again: nothing asked. Other values: asked, and No keeps the old ones.
  EXPECT_FALSE(d.addPreset());
  EXPECT_TRUE(host.questions.empty());
  d.setRelAmplitude(900);
  host.answers.push_back(Answer::No);
  EXPECT_FALSE(d.addPreset());
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(host.questions[0].text, "Overwrite existing preset 'My/Name'?");
  EXPECT_EQ(GetClickPreset(presets, "My/Name")->relativeAmplitude, 700);
}

TEST_F(ParamsDialogTest, DeletingNeedsASelectedRow) {
  auto d = dialog();
  d.deletePreset();
  EXPECT_EQ(presets.items().size(), 3u);
  d.selected = row(d, "beta");
  d.deletePreset();
  EXPECT_EQ(d.presetNames(), (std::vector<std::string>{"Alpha", "gamma"}));
  EXPECT_EQ(d.selected, -1);
  IniFile saved{dir.file("VESKOR.INI")};
  saved.load();
  EXPECT_FALSE(saved.hasKey("Declick", "preset3"));
}

TEST_F(ParamsDialogTest, RestoringTheFactoryPresetsKeepsTheOthers) {
  presets.add(ctx, preset("Larger Clicks", 1, 4, 50));
  auto d = dialog();
  d.restorePresets();  // the changed factory preset is overwritten after the question (Yes)
  EXPECT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(d.presetNames().size(), 3u + 9u);
  EXPECT_NE(GetClickPreset(presets, "beta"), nullptr);
  EXPECT_EQ(GetClickPreset(presets, "Larger Clicks")->relativeAmplitude, 2500);
  IniFile saved{dir.file("VESKOR.INI")};
  saved.load();
  EXPECT_TRUE(saved.hasKey("Declick", "preset10"));
}

TEST_F(ParamsDialogTest, OkTakesEveryValueAndTheName) {
  auto d = dialog();
  d.presetClicked(row(d, "Alpha"));
  d.includeUpdates = false;
  d.processLeft = false;
  d.setDisplayWidth(77);
  std::string name = "old";
  ASSERT_TRUE(d.apply(params, name));
  EXPECT_EQ(name, "Alpha");
  EXPECT_EQ(params.clickWidth, 3);
  EXPECT_EQ(params.repairWidth, 10);
  EXPECT_EQ(params.relAmplitude, 800);
  EXPECT_EQ(params.displayWidth, 77);
  EXPECT_EQ(params.shape, ClickShape::Spike);
  EXPECT_EQ(params.repairMethod, RepairMethod::Smooth);
  EXPECT_EQ(params.smoothingCount, 4);
  EXPECT_FALSE(params.includeUpdates);
  EXPECT_FALSE(params.processLeft);
  EXPECT_EQ(params.windowSize, 250);  // never touched by the dialog

  d.timesText = "";
  ASSERT_TRUE(d.apply(params, name));
  EXPECT_EQ(params.smoothingCount, 0);

  d.timesText = "3x";
  d.setClickWidth(9);
  EXPECT_FALSE(d.apply(params, name));
  EXPECT_EQ(host.messages.back().text, "'3x' is not a valid integer value");
  EXPECT_EQ(params.clickWidth, 3);  // nothing taken
}

// ---- Through the editor ----

struct SetClickCommandTest : ::testing::Test {
  TempDir dir;
  ScriptedHost host;
  Editor editor{host};

  void SetUp() override {
    host.ctx = &editor.ctx;
    editor.ctx.settings.newstylewaveform = false;
    editor.presets.click.installFactory();
  }
};

TEST_F(SetClickCommandTest, OkCancelAndFind) {
  host.dialogs[ClickParamsDialog::kDialogId] = [](tolmar::test::ModelRef m) {
    auto& d = *static_cast<ClickParamsDialog*>(m);
    EXPECT_FALSE(d.findEnabled);  // no document
    d.presetClicked(0);           // "Larger Clicks"
    return true;
  };
  editor.Set1Click();
  EXPECT_EQ(editor.currentClickPresetName, "Larger Clicks");
  EXPECT_EQ(editor.params.relAmplitude, 2500);
  EXPECT_EQ(editor.params.repairWidth, 30);

  host.dialogs[ClickParamsDialog::kDialogId] = [](tolmar::test::ModelRef m) {
    static_cast<ClickParamsDialog*>(m)->setRelAmplitude(100);
    return false;
  };
  editor.Set1Click();
  EXPECT_TRUE(editor.ctx.abortFlag);
  EXPECT_EQ(editor.params.relAmplitude, 2500);

  // Find saves the settings and searches the selection.
  const std::string wav = dir.file("side.wav");
  WavBuilder()
      .frames(5000,
              [](int32_t f) {
                return Frame{static_cast<int16_t>(f == 2000 ? 9000 : 0), 0};
              })
      .write(wav);
  ASSERT_TRUE(editor.OpenDocument(wav));
  host.dialogs[ClickParamsDialog::kDialogId] = [](tolmar::test::ModelRef m) {
    auto& d = *static_cast<ClickParamsDialog*>(m);
    EXPECT_TRUE(d.findEnabled);
    d.choice = ClickParamsDialog::Choice::Find;
    return true;
  };
  editor.Set1Click();
  ASSERT_TRUE(editor.clicks.stored);
  EXPECT_EQ(editor.clicks.storedCount(), 1);

  const size_t shown = host.dialogIds.size();
  editor.ctx.silentMode = true;
  editor.Set1Click();
  EXPECT_EQ(host.dialogIds.size(), shown);
}

}  // namespace
}  // namespace tolmar::test
