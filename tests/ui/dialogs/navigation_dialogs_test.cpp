// Goto Time and Mark Region as the window opens them from their menu commands, driven from the
// keyboard alone: type, Tab, arrow keys, Enter and Escape.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cstdlib>

#include "dialog_test_support.h"
#include "editor/command_table.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "ui/dialogs/form_dialog.h"
#include "ui/dialogs/help_window.h"
#include "ui/main_form.h"

namespace tolmar::ui {
namespace {

using tolmar::test::Frame;

class NavigationDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TOLMAR_CONFIG_DIR", dir.file("").c_str(), 1);
    // Ten seconds at 44100 Hz.
    tolmar::test::WavBuilder()
        .frames(441000,
                [](int32_t i) {
                  return Frame{int16_t(i % 200 - 100), int16_t(0)};
                })
        .write(dir.file("side.wav"));
    form = std::make_unique<TMainForm>(true);
    form->FormCreate(false);
    form->resize(900, 500);
    form->show();
    form->openCommandLine(dir.file("side.wav"));
    ASSERT_TRUE(form->editor().doc);
  }
  void TearDown() override {
    form.reset();
    unsetenv("TOLMAR_CONFIG_DIR");
  }
  WaveFile& doc() { return *form->editor().doc; }
  // Runs the menu command; `drive` answers its dialog.
  bool run(const char* path, std::function<void(QWidget*)> drive) {
    test::ModalDriver driver([drive = std::move(drive)](QWidget* d) {
      test::waitForFocus(d);
      drive(d);
    });
    EXPECT_TRUE(form->routeCommand(*findCommand(path)));
    return driver.ran();
  }
  static void key(QWidget* d, Qt::Key k) {
    QTest::keyClick(test::focused(d) ? test::focused(d) : d, k);
  }

  tolmar::test::TempDir dir;
  std::unique_ptr<TMainForm> form;
};

TEST_F(NavigationDialogs, GotoTimeSetsTheChosenMarkAndBringsTheTimeOnThePage) {
  doc().selStart = 1000;
  doc().selEnd = 2000;
  doc().viewStart = 0;
  doc().viewWidth = 20000;
  QString caption;
  std::vector<QString> radios;
  ASSERT_TRUE(run("Navigate | Goto Position...", [&](QWidget* d) {
    caption = d->windowTitle();
    for (auto* r : d->findChildren<QRadioButton*>()) radios.push_back(r->text());
    EXPECT_TRUE(test::byText<QRadioButton>(d, "Set Start Mark")->isChecked()) << "the default";
    ASSERT_TRUE(qobject_cast<QLineEdit*>(test::focused(d))) << "the time edit comes first";
    test::typeAndTab(d, "00:05.000");
    key(d, Qt::Key_Down);  // Set End Mark
    EXPECT_TRUE(test::byText<QRadioButton>(d, "Set End Mark")->isChecked());
    test::screenshot(d, "goto_time");
    key(d, Qt::Key_Return);
  }));
  EXPECT_EQ(caption, "Goto Time");
  EXPECT_EQ(radios, (std::vector<QString>{"Set Start Mark", "Set End Mark", "Do Not Set Mark"}));
  EXPECT_EQ(doc().selStart, 1000);
  EXPECT_EQ(doc().selEnd, 5 * 44100);
  EXPECT_LE(doc().viewStart, 5 * 44100);
  EXPECT_GT(doc().viewStart + doc().viewWidth, 5 * 44100) << "the time is on the page";

  // The dialog opens with what was typed last; Do Not Set Mark only moves the page.
  ASSERT_TRUE(run("Navigate | Goto Position...", [&](QWidget* d) {
    auto* time = qobject_cast<QLineEdit*>(test::focused(d));
    ASSERT_TRUE(time);
    EXPECT_EQ(time->text(), "00:05.000");
    time->selectAll();
    test::typeAndTab(d, "00:09.000");
    key(d, Qt::Key_Down);
    key(d, Qt::Key_Down);
    key(d, Qt::Key_Enter);
  }));
  EXPECT_EQ(doc().selStart, 1000);
  EXPECT_EQ(doc().selEnd, 5 * 44100);
  EXPECT_GT(doc().viewStart + doc().viewWidth, 9 * 44100);
}

TEST_F(NavigationDialogs, AnInvalidTimeIsRefusedAndTheDialogStaysOpenUntilItIsMended) {
  doc().selStart = 1000;
  doc().selEnd = 2000;
  test::MessageCatcher messages;
  bool stillOpen = false;
  ASSERT_TRUE(run("Navigate | Goto Position...", [&](QWidget* d) {
    QTest::keyClicks(test::focused(d), "1:x");
    key(d, Qt::Key_Return);
    stillOpen = d->isVisible();
    auto* time = qobject_cast<QLineEdit*>(test::focused(d));
    ASSERT_TRUE(time) << "the time edit takes the focus back";
    EXPECT_EQ(time->selectedText(), "1:x");
    QTest::keyClicks(time, "00:00.500");
    key(d, Qt::Key_Return);
  }));
  EXPECT_TRUE(stillOpen);
  ASSERT_EQ(messages.texts().size(), 1u);
  EXPECT_EQ(messages.texts()[0], "Invalid time specification");
  EXPECT_EQ(doc().selStart, 22050);
  EXPECT_EQ(doc().selEnd, 2000);
}

TEST_F(NavigationDialogs, EscapeChangesNothingAndRaisesTheAbortFlag) {
  doc().selStart = 1000;
  doc().selEnd = 2000;
  const int32_t viewStart = doc().viewStart;
  form->editor().ctx.abortFlag = false;
  for (const char* path : {"Navigate | Goto Position...", "Selection | Mark Region..."}) {
    ASSERT_TRUE(run(path, [&](QWidget* d) {
      test::typeAndTab(d, "00:07.000");
      key(d, Qt::Key_Escape);
    }));
    EXPECT_EQ(doc().selStart, 1000) << path;
    EXPECT_EQ(doc().selEnd, 2000) << path;
    EXPECT_EQ(doc().viewStart, viewStart) << path;
    EXPECT_TRUE(form->editor().ctx.abortFlag) << path;
    form->editor().ctx.abortFlag = false;
  }
}

TEST_F(NavigationDialogs, MarkRegionByTimeSelectsAndShowsTheRegion) {
  QString caption;
  ASSERT_TRUE(run("Selection | Mark Region...", [&](QWidget* d) {
    caption = d->windowTitle();
    EXPECT_TRUE(test::byText<QRadioButton>(d, "Mark by Time")->isChecked()) << "the default";
    EXPECT_TRUE(test::byText<QRadioButton>(d, "Mark by Sample#"));
    test::typeAndTab(d, "00:01.000");
    test::typeAndTab(d, "00:03.500");
    test::screenshot(d, "mark_region");
    key(d, Qt::Key_Return);
  }));
  EXPECT_EQ(caption, "Mark Region");
  EXPECT_EQ(doc().selStart, 44100);
  EXPECT_EQ(doc().selEnd, 3 * 44100 + 22050);
  EXPECT_LE(doc().viewStart, 44100) << "the selection is shown";
  EXPECT_GE(doc().viewStart + doc().viewWidth, 3 * 44100 + 22050);
}

TEST_F(NavigationDialogs, MarkRegionBySampleNumberCountsFromOneAndRefusesBadNumbers) {
  doc().selStart = 500;
  doc().selEnd = 600;
  test::MessageCatcher messages;
  std::vector<bool> openAfter;
  ASSERT_TRUE(run("Selection | Mark Region...", [&](QWidget* d) {
    test::typeAndTab(d, "0");
    test::typeAndTab(d, "20");
    key(d, Qt::Key_Down);  // Mark by Sample#
    EXPECT_TRUE(test::byText<QRadioButton>(d, "Mark by Sample#")->isChecked());
    key(d, Qt::Key_Return);  // sample 0 does not exist
    openAfter.push_back(d->isVisible());
    auto* start = qobject_cast<QLineEdit*>(test::focused(d));
    ASSERT_TRUE(start);
    QTest::keyClicks(start, "30");
    QTest::keyClick(start, Qt::Key_Tab);
    key(d, Qt::Key_Return);  // the end before the start
    openAfter.push_back(d->isVisible());
    auto* end = qobject_cast<QLineEdit*>(test::focused(d));
    ASSERT_TRUE(end);
    EXPECT_EQ(end->text(), "20") << "the end takes the focus";
    QTest::keyClicks(end, "4x");
    key(d, Qt::Key_Return);  // not a number
    openAfter.push_back(d->isVisible());
    QTest::keyClicks(test::focused(d), "441000");
    key(d, Qt::Key_Return);
  }));
  EXPECT_EQ(openAfter, (std::vector<bool>{true, true, true}));
  EXPECT_EQ(messages.texts(),
            (std::vector<QString>{"\"Start\" must be a whole number from 1 to 441000",
                                  "The end of the region lies before its start",
                                  "'4x' is not a valid whole number"}));
  EXPECT_EQ(doc().selStart, 29);
  EXPECT_EQ(doc().selEnd, 440999);
}

TEST_F(NavigationDialogs, TheHelpButtonsOpenTheirTopics) {
  for (auto [path, topic] : {std::pair{"Navigate | Goto Position...", "gototime"},
                             std::pair{"Selection | Mark Region...", "markregion"}}) {
    ASSERT_TRUE(run(path, [&](QWidget* d) {
      auto* f = dynamic_cast<FormDialog*>(d);
      ASSERT_TRUE(f && f->helpButton());
      f->helpButton()->click();
      key(d, Qt::Key_Escape);
    }));
    ASSERT_TRUE(form->helpWindow());
    EXPECT_EQ(form->helpWindow()->topic(), topic);
  }
}

}  // namespace
}  // namespace tolmar::ui
