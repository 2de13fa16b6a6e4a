// The File menu's recent files and the View menu's history, as the window lists them after its
// fixed items and as choosing one acts.

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "config/settings_io.h"
#include "dialog_test_support.h"
#include "editor/command_table.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "ui/main_form.h"
#include "ui/wave_area.h"

namespace tolmar::ui {
namespace {

using tolmar::test::Frame;

class WindowMenus : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TOLMAR_CONFIG_DIR", dir.file("").c_str(), 1);
    for (const std::string& name : {a, b})
      tolmar::test::WavBuilder()
          .frames(100000,
                  [](int32_t i) {
                    return Frame{int16_t(i % 300), int16_t(-(i % 300))};
                  })
          .write(name);
  }
  void TearDown() override { unsetenv("TOLMAR_CONFIG_DIR"); }
  std::unique_ptr<TMainForm> start() {
    auto form = std::make_unique<TMainForm>(true);
    form->FormCreate(false);
    form->resize(900, 500);
    form->show();
    form->idlePass();
    return form;
  }
  static QMenu* menu(TMainForm& form, const QString& title) {
    for (QAction* a : form.menuBar()->actions())
      if (a->text() == title) return a->menu();
    return nullptr;
  }

  tolmar::test::TempDir dir;
  const std::string a = dir.file("side a.wav");
  const std::string b = dir.file("Rock & Roll.wav");
  const std::string gone = dir.file("gone.wav");
};

TEST_F(WindowMenus, RecentFilesShowOnlyFilesThatExistNumberedWithoutGaps) {
  std::ofstream(dir.file("VESKOR.INI"))
      << "[Files]\nfile1=" << b << "\nfile2=" << gone << "\nfile3=" << a << "\n";
  auto form = start();
  const auto& items = form->recentFileActions();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0]->text(), "&1: " + QString::fromStdString(dir.file("Rock && Roll.wav")))
      << "the path's own & is not a mnemonic";
  EXPECT_EQ(items[1]->text(), "&2: " + QString::fromStdString(a));
  QMenu* file = menu(*form, "&File");
  ASSERT_TRUE(file);
  EXPECT_EQ(file->actions().mid(file->actions().size() - 2), (QList<QAction*>{items[0], items[1]}))
      << "after the fixed items";

  items[1]->trigger();
  ASSERT_TRUE(form->editor().doc);
  EXPECT_EQ(form->editor().doc->path, a);
  form->idlePass();
  ASSERT_EQ(form->recentFileActions().size(), 2u);
  EXPECT_EQ(form->recentFileActions()[0]->text(), "&1: " + QString::fromStdString(a));
  // The missing file stays in the list, unseen, behind the two that exist.
  EXPECT_EQ(recentFiles(form->editor().iniFile), (std::vector<std::string>{a, b, gone}));

  // A file removed after the menu was built: it says so, the open side stays open and the
  // menu no longer shows the file.
  std::filesystem::remove(b);
  {
    test::MessageCatcher messages;
    form->recentFileActions()[1]->trigger();
    EXPECT_EQ(messages.texts(),
              std::vector<QString>{"\"" + QString::fromStdString(b) + "\" no longer exists"});
  }
  ASSERT_TRUE(form->editor().doc);
  EXPECT_EQ(form->editor().doc->path, a);
  form->idlePass();
  EXPECT_EQ(form->recentFileActions().size(), 1u);

  QMenu* shown = menu(*form, "&File");
  shown->popup(form->mapToGlobal(QPoint(0, 20)));
  test::screenshot(shown, "recent_files_menu");
  shown->hide();

  // Closing writes the list; the next start shows it.
  ASSERT_TRUE(form->close());
  form = start();
  ASSERT_EQ(form->recentFileActions().size(), 1u);
  EXPECT_EQ(form->recentFileActions()[0]->text(), "&1: " + QString::fromStdString(a));
}

TEST_F(WindowMenus, TheViewHistoryGoesBackAndPreviousViewWraps) {
  auto form = start();
  form->openCommandLine(a);
  WaveFile& doc = *form->editor().doc;
  auto look = [&](int32_t start) {
    doc.viewStart = start;
    doc.viewWidth = 2000;
    form->waveArea()->repaint();
  };
  for (int i = 0; i < 12; ++i) look(i * 5000);
  form->idlePass();
  ASSERT_EQ(form->viewHistoryActions().size(), 9u)
      << "ten views are kept; the menu lists the nine before the current one";
  QMenu* view = menu(*form, "&View");
  ASSERT_TRUE(view);
  EXPECT_EQ(view->actions().back(), form->viewHistoryActions().back());
  EXPECT_TRUE(form->viewHistoryActions()[0]->text().startsWith("&1: 00:01.133 - "))
      << form->viewHistoryActions()[0]->text().toStdString();

  // Refused while an operation's progress panel shows, like every command.
  form->editor().ctx.progressDepth = 1;
  const int refused = form->refusedCommands;
  form->viewHistoryActions()[0]->trigger();
  EXPECT_EQ(form->refusedCommands, refused + 1);
  EXPECT_EQ(doc.viewStart, 11 * 5000);
  form->editor().ctx.progressDepth = 0;

  form->viewHistoryActions()[0]->trigger();  // one back
  EXPECT_EQ(doc.viewStart, 10 * 5000);
  form->waveArea()->repaint();
  form->idlePass();
  ASSERT_EQ(form->viewHistoryActions().size(), 9u) << "revisiting adds no view";
  form->viewHistoryActions()[2]->trigger();  // three back
  EXPECT_EQ(doc.viewStart, 7 * 5000);

  // Previous View from the oldest view kept wraps round to the newest.
  const Command& previous = *findHandler("PreviousView1Click");
  for (int i = 7; i > 2; --i) {
    form->waveArea()->repaint();
    ASSERT_TRUE(form->routeCommand(previous));
    EXPECT_EQ(doc.viewStart, (i - 1) * 5000);
  }
  form->waveArea()->repaint();
  ASSERT_TRUE(form->routeCommand(previous));
  EXPECT_EQ(doc.viewStart, 11 * 5000);
  form->idlePass();
  view->popup(form->mapToGlobal(QPoint(40, 20)));
  test::screenshot(view, "view_history_menu");
  view->hide();
}

}  // namespace
}  // namespace tolmar::ui
