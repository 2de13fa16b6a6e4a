// The Find Clicks Result and Frequency Analysis windows stay open beside the editor: the
// command that opened them returns, other commands run, and Remove acts on the click list as it
// is when pressed.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <cmath>
#include <cstdlib>

#include "dialog_test_support.h"
#include "editor/command_table.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "ui/dialogs/model_dialogs.h"
#include "ui/main_form.h"

namespace tolmar::ui {
namespace {

using tolmar::test::Frame;

class LiveWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TOLMAR_CONFIG_DIR", dir.file("").c_str(), 1);
    // Spikes in the left channel at 1000 and 30000, in the right at 20000, over a quiet tone.
    tolmar::test::WavBuilder()
        .frames(44100,
                [](int32_t f) {
                  return Frame{static_cast<int16_t>(f == 1000 || f == 30000 ? 8000 : 0),
                               static_cast<int16_t>(f == 20000 ? -8000 : 0)};
                })
        .write(dir.file("side.wav"));
    form = std::make_unique<TMainForm>(true);
    form->FormCreate(false);
    form->resize(900, 500);
    form->show();
    form->openCommandLine(dir.file("side.wav"));
    ASSERT_TRUE(form->editor().doc);
    ASSERT_TRUE(form->editor().doc->hasSelection()) << "a new file opens all selected";
  }
  void TearDown() override {
    form.reset();
    unsetenv("TOLMAR_CONFIG_DIR");
  }
  bool run(const char* handler) {
    const Command* c = findHandler(handler);
    EXPECT_TRUE(c) << handler;
    const bool ran = c && form->routeCommand(*c);
    form->idlePass();
    return ran;
  }

  tolmar::test::TempDir dir;
  std::unique_ptr<TMainForm> form;
};

TEST_F(LiveWindows, TheClickResultStaysOpenAndRemoveActsOnTheListAsItIsNow) {
  ASSERT_TRUE(run("FindAllClicks1Click"));
  // The command has returned and nothing modal is left behind.
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  FindClicksResultWindow* w = form->clickResultWindow();
  ASSERT_TRUE(w);
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->windowTitle(), "Find Clicks Result");
  EXPECT_EQ(w->count(), 3);
  EXPECT_TRUE(test::byText<QLabel>(w, "3 Potential Clicks Found"));
  EXPECT_TRUE(w->removeButton()->isEnabled());
  test::screenshot(w, "find_clicks_result_window");

  // The user goes on: steps to the first click and marks it false; the window stays.
  ASSERT_TRUE(run("FindNextClick1Click"));
  ASSERT_TRUE(run("MarkCurrentClickasFalse1Click"));
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(form->editor().clicks.storedCount(), 2);

  test::MessageCatcher messages;
  w->removeButton()->click();
  EXPECT_EQ(messages.texts(), std::vector<QString>{"2 Clicks Removed"}) << "the list as it is now";
  EXPECT_EQ(form->editor().doc->undoCaption(), "Undo Remove All Clicks");
  EXPECT_FALSE(w->isVisible()) << "Remove closes the window as OK does";
}

TEST_F(LiveWindows, RemoveFollowsTheCommandsAvailabilityAndTheRunningOperation) {
  ASSERT_TRUE(run("FindAllClicks1Click"));
  FindClicksResultWindow* w = form->clickResultWindow();
  ASSERT_TRUE(w && w->removeButton()->isEnabled());

  // While an operation's progress panel shows, Remove is refused at the routing.
  form->editor().ctx.progressDepth = 1;
  form->idlePass();
  EXPECT_FALSE(w->removeButton()->isEnabled());
  const int refused = form->refusedCommands;
  EXPECT_FALSE(form->removeFoundClicks());
  EXPECT_EQ(form->refusedCommands, refused + 1);
  EXPECT_TRUE(w->isVisible());
  form->editor().ctx.progressDepth = 0;
  form->idlePass();
  EXPECT_TRUE(w->removeButton()->isEnabled());

  // With the stored list cleared there is nothing to remove.
  ASSERT_TRUE(run("ClearStoredClicks1Click"));
  EXPECT_TRUE(w->isVisible());
  EXPECT_FALSE(w->removeButton()->isEnabled());

  // A new search replaces the window; OK (Enter) only closes it.
  form->editor().doc->selStart = 0;
  form->editor().doc->selEnd = 25000;
  ASSERT_TRUE(run("FindAllClicks1Click"));
  w = form->clickResultWindow();
  ASSERT_TRUE(w);
  EXPECT_EQ(w->count(), 2);
  EXPECT_TRUE(w->removeButton()->isEnabled());
  w->activateWindow();
  QTest::keyClick(w, Qt::Key_Return);
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(form->editor().doc->undoCaption(), "Undo") << "nothing was removed";
}

TEST_F(LiveWindows, FrequencyAnalysisStaysOpenWhileOtherCommandsRun) {
  form->editor().doc->selStart = 0;
  form->editor().doc->selEnd = 8191;
  ASSERT_TRUE(run("FrequencyAnalysis1Click"));
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  FormDialog* w = form->spectrumWindow();
  ASSERT_TRUE(w);
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->windowTitle(), "Frequency Analysis of Selected Region");
  EXPECT_EQ(form->editor().spectral.N(), 4096);

  const int32_t viewStart = form->editor().doc->viewStart;
  form->editor().doc->viewWidth = 4000;
  ASSERT_TRUE(run("NextPageBtnClick"));
  EXPECT_NE(form->editor().doc->viewStart, viewStart);
  ASSERT_TRUE(run("SelectEntireFile1Click"));
  EXPECT_TRUE(w->isVisible()) << "the window stays while the user works";
  test::screenshot(w, "frequency_analysis_window");

  // Its plot was copied: the window draws after the command that computed it has returned.
  const QImage plot = w->grab().toImage();
  int green = 0;
  for (int y = 0; y < plot.height(); ++y)
    for (int x = 0; x < plot.width(); ++x)
      if (QColor(plot.pixel(x, y)) == QColor(0x00, 0xFF, 0x00)) ++green;
  EXPECT_GT(green, 100) << "the left curve and its caption are drawn";

  // A second analysis takes the place of the first.
  ASSERT_TRUE(run("FrequencyAnalysis1Click"));
  ASSERT_TRUE(form->spectrumWindow());
  EXPECT_TRUE(form->spectrumWindow()->isVisible());
  QTest::keyClick(form->spectrumWindow(), Qt::Key_Escape);
  EXPECT_FALSE(form->spectrumWindow()->isVisible());
}

}  // namespace
}  // namespace tolmar::ui
