// Every dialog opens where it was last closed, from one run of the program to the next through
// [Dialogpos] of VESKOR.INI, and a place off every screen is brought back on screen.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <cstdlib>
#include <fstream>

#include "config/ini_file.h"
#include "dialog_test_support.h"
#include "editor/command_table.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "ui/dialogs/form_dialog.h"
#include "ui/main_form.h"

namespace tolmar::ui {
namespace {

using tolmar::test::Frame;

class DialogPlaces : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TOLMAR_CONFIG_DIR", dir.file("").c_str(), 1);
    tolmar::test::WavBuilder()
        .frames(20000,
                [](int32_t i) {
                  return Frame{int16_t(i % 64), int16_t(-(i % 64))};
                })
        .write(dir.file("side.wav"));
  }
  void TearDown() override { unsetenv("TOLMAR_CONFIG_DIR"); }

  std::unique_ptr<TMainForm> start(bool restoreWindow = false) {
    auto form = std::make_unique<TMainForm>(true);
    form->FormCreate(restoreWindow);
    form->show();
    form->openCommandLine(dir.file("side.wav"));
    return form;
  }
  // Opens the command's dialog, lets `drive` see it, and closes it with Escape.
  static void openAndClose(TMainForm& form, const char* path, std::function<void(QWidget*)> drive) {
    test::ModalDriver driver([&](QWidget* d) {
      test::waitForFocus(d);
      drive(d);
      QTest::keyClick(d->focusWidget() ? d->focusWidget() : d, Qt::Key_Escape);
    });
    form.routeCommand(*findCommand(path));
    EXPECT_TRUE(driver.ran()) << path;
  }
  static QRect screenArea() { return QGuiApplication::primaryScreen()->availableGeometry(); }

  tolmar::test::TempDir dir;
};

TEST_F(DialogPlaces, DialogsReopenWhereTheyWereLastClosedInTheNextRun) {
  QPoint gotoAt, markAt, spectrumAt;
  {
    auto form = start();
    openAndClose(*form, "Navigate | Goto Position...", [&](QWidget* d) {
      d->move(130, 90);
      gotoAt = d->pos();
    });
    openAndClose(*form, "Selection | Mark Region...", [&](QWidget* d) {
      d->move(60, 210);
      markAt = d->pos();
    });
    // Within the run, the next opening comes back to the same place.
    openAndClose(*form, "Navigate | Goto Position...",
                 [&](QWidget* d) { EXPECT_EQ(d->pos(), gotoAt); });
    // A window still open when the program closes is written where it stands.
    form->editor().doc->selStart = 0;
    form->editor().doc->selEnd = 8191;
    form->routeCommand(*findHandler("FrequencyAnalysis1Click"));
    ASSERT_TRUE(form->spectrumWindow());
    form->spectrumWindow()->move(210, 40);
    spectrumAt = form->spectrumWindow()->pos();
    ASSERT_TRUE(form->close());
  }
  IniFile ini(dir.file("VESKOR.INI"));
  ASSERT_TRUE(ini.load().existed);
  EXPECT_EQ(ini.readInteger("Dialogpos", "gototimex", 0), gotoAt.x());
  EXPECT_EQ(ini.readInteger("Dialogpos", "gototimey", 0), gotoAt.y());
  EXPECT_EQ(ini.readInteger("Dialogpos", "markrgndlgx", 0), markAt.x());
  EXPECT_EQ(ini.readInteger("Dialogpos", "frequencyanalysisy", 0), spectrumAt.y());
  EXPECT_EQ(ini.readInteger("Dialogpos", "declickx", 0), -1) << "the preview slots stay";
  EXPECT_FALSE(ini.hasKey("Dialogpos", "optionsx")) << "a dialog never opened has no pair";

  auto form = start();
  openAndClose(*form, "Navigate | Goto Position...",
               [&](QWidget* d) { EXPECT_EQ(d->pos(), gotoAt); });
  openAndClose(*form, "Selection | Mark Region...",
               [&](QWidget* d) { EXPECT_EQ(d->pos(), markAt); });
  form->editor().doc->selStart = 0;
  form->editor().doc->selEnd = 8191;
  form->routeCommand(*findHandler("FrequencyAnalysis1Click"));
  ASSERT_TRUE(form->spectrumWindow());
  EXPECT_EQ(form->spectrumWindow()->pos(), spectrumAt);
  test::screenshot(form.get(), "dialog_positions_main_window");
}

TEST_F(DialogPlaces, APlaceOffEveryScreenIsBroughtBackOnScreen) {
  {
    std::ofstream(dir.file("VESKOR.INI"))
        << "[Startpos]\ntop=-4000\nleft=9000\nheight=400\nwidth=600\n"
        << "[Dialogpos]\ngototimex=20000\ngototimey=-3000\nmarkrgndlgx=-5000\nmarkrgndlgy=100\n";
  }
  const QRect area = screenArea();
  ASSERT_FALSE(area.isEmpty());
  auto form = start(/*restoreWindow=*/true);
  const QRect main = form->frameGeometry();
  EXPECT_TRUE(area.contains(main.topLeft())) << "the main window comes back too";
  for (const char* path : {"Navigate | Goto Position...", "Selection | Mark Region..."}) {
    QRect frame;
    openAndClose(*form, path, [&](QWidget* d) { frame = d->frameGeometry(); });
    EXPECT_TRUE(area.contains(frame.topLeft())) << path;
    EXPECT_LE(frame.right(), area.right()) << path;
  }
  // A place that shows the title bar is a place the user chose: it stays.
  EXPECT_EQ(keepOnScreen(QRect(area.right() - 100, area.top() + 10, 400, 300)),
            QPoint(area.right() - 100, area.top() + 10));
  EXPECT_EQ(keepOnScreen(QRect(area.left() + 5, area.bottom() + 50, 400, 300)),
            QPoint(area.left() + 5, std::max(area.top(), area.bottom() + 1 - 300)));
}

}  // namespace
}  // namespace tolmar::ui
