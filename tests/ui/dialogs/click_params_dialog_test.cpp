#include "ui/dialogs/click_params_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

#include "config/declick_params.h"
#include "dialog_test_support.h"
#include "editor/editor.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "ui/dialogs/dialogs.h"

namespace tolmar::ui {
namespace {

// The dialog's own four bars, not the scroll bars inside its preset list.
QList<QScrollBar*> bars(QWidget* dialog) {
  QList<QScrollBar*> own;
  for (QScrollBar* b : dialog->findChildren<QScrollBar*>())
    if (b->minimumWidth() == 220) own << b;
  return own;
}

using test::byText;

// The Set Declick Parameters command, with its dialog shown and driven by `drive`.
struct ClickParamsCommandTest : ::testing::Test {
  tolmar::test::TempDir dir;
  tolmar::test::ScriptedHost host;
  Editor editor{host};

  void SetUp() override {
    host.ctx = &editor.ctx;
    editor.ctx.settings.newstylewaveform = false;
    editor.presets.click.installFactory();
  }
  void drive(std::function<void(FormDialog&)> steps) {
    host.dialogs[ClickParamsDialog::kDialogId] = [steps](tolmar::test::ModelRef model) {
      DialogRequest request{ClickParamsDialog::kDialogId, model.variant()};
      auto dialog = createDialog(request, nullptr, {});
      EXPECT_TRUE(dialog);
      if (!dialog) return false;
      test::showAndWait(dialog.get());
      steps(*dialog);
      return dialog->result() == QDialog::Accepted;
    };
  }
};

TEST_F(ClickParamsCommandTest, APresetAndTheCoupledBarsReachTheParameterSetOnOk) {
  drive([](FormDialog& d) {
    auto* presets = d.findChild<QListWidget*>();
    ASSERT_TRUE(presets);
    EXPECT_EQ(presets->count(), 9);
    EXPECT_EQ(presets->item(0)->text(), "Larger Clicks");  // sorted by name
    presets->setCurrentRow(3);                             // "Model Clicks"
    EXPECT_TRUE(byText<QRadioButton>(&d, "Model")->isChecked());
    EXPECT_TRUE(byText<QRadioButton>(&d, "AR Interpolate")->isChecked());
    presets->setCurrentRow(8);  // "Smeared Ticks": Hill, Linear
    EXPECT_TRUE(byText<QRadioButton>(&d, "Hill")->isChecked());
    EXPECT_TRUE(byText<QRadioButton>(&d, "Linear Interpolation")->isChecked());
    auto own = bars(&d);
    ASSERT_EQ(own.size(), 4);
    QScrollBar* width = own[0];
    QScrollBar* repair = own[2];
    EXPECT_EQ(width->value(), 15);
    EXPECT_EQ(repair->value(), 35);
    // Dragging the width bar past the repair bar pushes the repair bar up with it.
    width->setFocus();
    for (int i = 0; i < 25; ++i) width->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(width->value(), 40);
    EXPECT_EQ(repair->value(), 40);
    byText<QCheckBox>(&d, "Process Right")->setChecked(false);
    test::screenshot(&d, "click_params");
    QTest::keyClick(&d, Qt::Key_Return);
  });
  editor.Set1Click();
  EXPECT_EQ(editor.currentClickPresetName, "Smeared Ticks");
  EXPECT_EQ(editor.params.clickWidth, 40);
  EXPECT_EQ(editor.params.repairWidth, 40);
  EXPECT_EQ(editor.params.relAmplitude, 1600);
  EXPECT_EQ(editor.params.shape, ClickShape::Hill);
  EXPECT_EQ(editor.params.repairMethod, RepairMethod::Linear);
  EXPECT_FALSE(editor.params.processRight);
  EXPECT_FALSE(editor.ctx.abortFlag);
}

TEST_F(ClickParamsCommandTest, CancelChangesNothingAndRaisesTheAbortFlag) {
  const DeclickParams before = editor.params;
  drive([](FormDialog& d) {
    bars(&d)[1]->setValue(100);
    byText<QRadioButton>(&d, "Blip")->setChecked(true);
    QTest::keyClick(&d, Qt::Key_Escape);
  });
  editor.Set1Click();
  EXPECT_TRUE(editor.ctx.abortFlag);
  EXPECT_EQ(editor.params.relAmplitude, before.relAmplitude);
  EXPECT_EQ(editor.params.shape, before.shape);
}

TEST_F(ClickParamsCommandTest, ABadSmoothingCountKeepsTheDialogOpen) {
  drive([this](FormDialog& d) {
    byText<QRadioButton>(&d, "Smooth")->setChecked(true);
    QLineEdit* times = nullptr;
    for (QLineEdit* e : d.findChildren<QLineEdit*>())
      if (e->maximumWidth() == 50) times = e;
    ASSERT_TRUE(times);
    times->setText("3x");
    d.okButton()->click();
    EXPECT_TRUE(d.isVisible());
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back().text, "'3x' is not a valid integer value");
    times->setText("4");
    d.okButton()->click();
  });
  editor.Set1Click();
  EXPECT_EQ(editor.params.repairMethod, RepairMethod::Smooth);
  EXPECT_EQ(editor.params.smoothingCount, 4);
}

TEST_F(ClickParamsCommandTest, FindIsOfferedWithASelectionAndSearchesIt) {
  const std::string wav = dir.file("side.wav");
  tolmar::test::WavBuilder()
      .frames(5000,
              [](int32_t f) {
                return tolmar::test::Frame{static_cast<int16_t>(f == 2000 ? 9000 : 0), 0};
              })
      .write(wav);
  ASSERT_TRUE(editor.OpenDocument(wav));
  drive([](FormDialog& d) {
    auto* find = byText<QPushButton>(&d, "Save Settings && Find All Clicks");
    ASSERT_TRUE(find);
    EXPECT_TRUE(find->isEnabled());
    find->click();
  });
  editor.Set1Click();
  ASSERT_TRUE(editor.clicks.stored);
  EXPECT_EQ(editor.clicks.storedCount(), 1);
}

TEST_F(ClickParamsCommandTest, AddingAPresetNeedsAName) {
  drive([this](FormDialog& d) {
    QLineEdit* name = nullptr;
    for (QLineEdit* e : d.findChildren<QLineEdit*>())
      if (e->maximumWidth() != 50) name = e;
    ASSERT_TRUE(name);
    name->clear();
    byText<QPushButton>(&d, "Add")->click();
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back().text, "Please supply a name for the new preset");
    name->setText("My Side");
    byText<QPushButton>(&d, "Add")->click();
    auto* presets = d.findChild<QListWidget*>();
    EXPECT_EQ(presets->findItems("My Side", Qt::MatchExactly).size(), 1);
    d.reject();
  });
  editor.Set1Click();
  EXPECT_TRUE(editor.presets.click.get("My Side"));
}

}  // namespace
}  // namespace tolmar::ui
