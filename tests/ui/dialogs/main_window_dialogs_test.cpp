// The dialogs as the window opens them from its menu commands: the window's own host shows
// them, its Help buttons reach the help window, and what they change reaches the window.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <cstdlib>

#include "dialog_test_support.h"
#include "editor/command_table.h"
#include "support/temp_dir.h"
#include "ui/dialogs/form_dialog.h"
#include "ui/dialogs/help_window.h"
#include "ui/main_form.h"

namespace tolmar::ui {
namespace {

using test::byText;

TEST(MainWindowDialogs, TheOptionsCommandOpensTheDialogWhoseHelpAndShortcutsReachTheWindow) {
  tolmar::test::TempDir dir;
  setenv("TOLMAR_CONFIG_DIR", dir.file("").c_str(), 1);
  TMainForm form(true);
  form.FormCreate(false);
  form.show();
  const Command& save = *findCommand("File | Save");
  const Command& options = *findCommand("File | Options...");
  EXPECT_EQ(form.actionFor(save)->shortcut(), QKeySequence("Ctrl+S"));

  bool sawOptions = false;
  test::ModalDriver driver([&](QWidget* w) {
    auto* d = dynamic_cast<FormDialog*>(w);
    ASSERT_TRUE(d);
    sawOptions = d->windowTitle() == "Options";
    auto* tabs = d->findChild<QTabWidget*>();
    tabs->setCurrentIndex(6);  // Menu Shortcuts
    d->helpButton()->click();
    auto* list = d->findChild<QTreeWidget*>();
    for (int i = 0; i < list->topLevelItemCount(); ++i)
      if (list->topLevelItem(i)->text(0) == "File | Save")
        list->setCurrentItem(list->topLevelItem(i));
    for (QComboBox* c : d->findChildren<QComboBox*>())
      if (c->findText("PgUp") >= 0) c->setCurrentText("K");
    byText<QPushButton>(d, "Set")->click();
    d->okButton()->click();
  });
  EXPECT_TRUE(form.routeCommand(options));
  EXPECT_TRUE(driver.ran());
  EXPECT_TRUE(sawOptions);
  ASSERT_TRUE(form.helpWindow());
  EXPECT_EQ(form.helpWindow()->topic(), "optionsshortcutstab");
  EXPECT_TRUE(form.helpWindow()->isVisible());
  EXPECT_EQ(form.actionFor(save)->shortcut(), QKeySequence("Ctrl+K"))
      << "the menu takes the new shortcut";
  form.close();
  unsetenv("TOLMAR_CONFIG_DIR");
}

}  // namespace
}  // namespace tolmar::ui
