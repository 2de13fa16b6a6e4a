#include "ui/dialogs/automation_dialogs.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <functional>

#include "dialog_test_support.h"
#include "editor/editor.h"
#include "editor/macro_dialogs.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "ui/dialogs/dialogs.h"

namespace tolmar::ui {
namespace {

using test::byText;

// The list or field a label names.
template <class W>
W* buddyOf(QWidget* dialog, const QString& label) {
  for (QLabel* l : dialog->findChildren<QLabel*>())
    if (l->text() == label) return qobject_cast<W*>(l->buddy());
  return nullptr;
}

int rowOf(QListWidget* list, const QString& text) {
  for (int i = 0; i < list->count(); ++i)
    if (list->item(i)->text() == text) return i;
  return -1;
}

QStringList rows(QListWidget* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
  return out;
}

struct AutomationDialogTest : ::testing::Test {
  tolmar::test::TempDir dir;
  tolmar::test::ScriptedHost host;
  Editor editor{host};
  std::filesystem::path startDir = std::filesystem::current_path();

  void SetUp() override {
    host.ctx = &editor.ctx;
    editor.ctx.settings.newstylewaveform = false;
    editor.iniFile.setPath(dir.file("VESKOR.INI"));
    editor.presets.filter.installFactory();
  }
  void TearDown() override { std::filesystem::current_path(startDir); }

  // The dialog the command opens, shown and worked by `steps`.
  void drive(const char* id, std::function<void(FormDialog&)> steps) {
    host.dialogs[id] = [id, steps](tolmar::test::ModelRef model) {
      DialogRequest request{id, model.variant()};
      auto dialog = createDialog(request, nullptr, {});
      EXPECT_TRUE(dialog) << id;
      if (!dialog) return false;
      test::showAndWait(dialog.get());
      steps(*dialog);
      EXPECT_FALSE(dialog->isVisible()) << id << " is still open";
      return dialog->result() == QDialog::Accepted;
    };
  }
};

TEST_F(AutomationDialogTest, MacroSetupBuildsAMacroAndDoneWritesItIntoTheIniFile) {
  host.dialogs[kPresetPickerDialogId] = [](tolmar::test::ModelRef m) {
    auto* picker = static_cast<PresetPickerModel*>(m);
    EXPECT_EQ(picker->kind, PresetKind::Filter);
    for (size_t i = 0; i < picker->names.size(); ++i)
      if (picker->names[i] == "Rumble") picker->chosen = static_cast<int>(i);
    return true;
  };
  drive(kMacroSetupDialogId, [&](FormDialog& d) {
    EXPECT_EQ(d.windowTitle(), "User Macros Setup");
    auto* slotBox = d.findChild<QComboBox*>();
    ASSERT_EQ(slotBox->count(), 48);
    EXPECT_EQ(slotBox->itemText(12), "13 (Shift+F1)");
    EXPECT_EQ(slotBox->itemText(47), "48 (Alt+F12)");
    auto* ops = buddyOf<QListWidget>(&d, "Available Operations:");
    auto* steps = buddyOf<QListWidget>(&d, "Macro Steps:");
    ASSERT_TRUE(ops && steps);
    EXPECT_EQ(ops->count(), static_cast<int>(eligibleMenuPaths(false).size()));

    slotBox->setCurrentIndex(2);
    emit slotBox->activated(2);  // slot 3
    ops->setCurrentRow(rowOf(ops, "File | Truncate Extra Data"));
    byText<QPushButton>(&d, "Add  >>")->click();
    byText<QCheckBox>(&d, "Silent Mode")->setChecked(true);
    ops->setCurrentRow(rowOf(ops, "Other Effects | Filter (With Undo)"));
    byText<QPushButton>(&d, "Add  >>")->click();
    byText<QPushButton>(&d, "Add Refresh >>")->click();
    // The refresh goes first.
    steps->setCurrentRow(2);
    byText<QPushButton>(&d, "Up")->click();
    byText<QPushButton>(&d, "Up")->click();
    EXPECT_EQ(rows(steps), (QStringList{"[Refresh Display]", "File | Truncate Extra Data",
                                        "<Silent> Other Effects | Filter (With Undo) [Rumble]"}));
    EXPECT_EQ(steps->currentRow(), 0);
    auto* name = buddyOf<QLineEdit>(&d, "Name:");
    name->setFocus();
    QTest::keyClicks(name, "Tidy Side");
    test::screenshot(&d, "macro_setup");
    host.answers = {Answer::Yes};  // "Save Changes?"
    byText<QPushButton>(&d, "Done")->click();
  });
  editor.Macros1Click();
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(host.questions[0].text, "Save Changes?");
  // Round trip: what the dialog wrote reads back as the macro built.
  IniFile saved(dir.file("VESKOR.INI"));
  ASSERT_TRUE(saved.load().existed);
  EXPECT_EQ(saved.readString("Macros", "macro3.nm", ""), "Tidy Side");
  EXPECT_EQ(saved.readString("Macros", "macro3.2", ""), "File | Truncate Extra Data");
  MacroTable again;
  again.read(saved);
  ASSERT_TRUE(again.get(3));
  EXPECT_EQ(again.get(3)->name, "Tidy Side");
  EXPECT_EQ(again.get(3)->steps,
            (std::vector<std::string>{"[Refresh Display]", "File | Truncate Extra Data",
                                      "<Silent> Other Effects | Filter (With Undo) [Rumble]"}));
  EXPECT_EQ(again.listLines(), std::vector<std::string>{"Macro #3 [Tidy Side]"});
}

TEST_F(AutomationDialogTest, MacroSetupKeepsTheSlotWhenSaveChangesIsCancelled) {
  editor.macros.store(1, {"File | Save"}, "One");
  drive(kMacroSetupDialogId, [&](FormDialog& d) {
    auto* slotBox = d.findChild<QComboBox*>();
    auto* steps = buddyOf<QListWidget>(&d, "Macro Steps:");
    EXPECT_EQ(rows(steps), QStringList{"File | Save"});
    EXPECT_EQ(buddyOf<QLineEdit>(&d, "Name:")->text(), "One");
    byText<QPushButton>(&d, "Add Refresh >>")->click();
    host.answers = {Answer::Cancel};
    slotBox->setCurrentIndex(4);
    emit slotBox->activated(4);
    EXPECT_EQ(slotBox->currentIndex(), 0) << "Cancel stays on the slot";
    EXPECT_EQ(steps->count(), 2);
    // No: the edit is dropped and slot 5 (empty) shows.
    host.answers = {Answer::No};
    emit slotBox->activated(4);
    EXPECT_EQ(slotBox->currentIndex(), 4);
    EXPECT_EQ(steps->count(), 0);
    QTest::keyClick(&d, Qt::Key_Escape);  // closes as Done does
  });
  editor.Macros1Click();
  ASSERT_TRUE(editor.macros.get(1));
  EXPECT_EQ(editor.macros.get(1)->steps.size(), 1u);
  IniFile saved(dir.file("VESKOR.INI"));
  ASSERT_TRUE(saved.load().existed);
  EXPECT_EQ(saved.readString("Macros", "macro1.1", ""), "File | Save");
}

TEST_F(AutomationDialogTest, MacroSetupIsCompletedFromTheKeyboard) {
  drive(kMacroSetupDialogId, [&](FormDialog& d) {
    auto* ops = buddyOf<QListWidget>(&d, "Available Operations:");
    ops->setFocus();
    ops->setCurrentRow(rowOf(ops, "File | Save"));
    QTest::keyClick(ops, Qt::Key_Return);  // adds, and does not close the dialog
    EXPECT_TRUE(d.isVisible());
    QTest::keyClick(ops, Qt::Key_Down);
    QTest::keyClick(ops, Qt::Key_Return);
    EXPECT_EQ(buddyOf<QListWidget>(&d, "Macro Steps:")->count(), 2);
    // Store, then Done: nothing left to ask about.
    byText<QPushButton>(&d, "Store")->setFocus();
    QTest::keyClick(byText<QPushButton>(&d, "Store"), Qt::Key_Space);
    byText<QPushButton>(&d, "Done")->setFocus();
    QTest::keyClick(byText<QPushButton>(&d, "Done"), Qt::Key_Space);
  });
  editor.Macros1Click();
  EXPECT_TRUE(host.questions.empty());
  ASSERT_TRUE(editor.macros.get(1));
  EXPECT_EQ(editor.macros.get(1)->steps.front(), "File | Save");
}

TEST_F(AutomationDialogTest, BatchModeRunsTheChosenMacroOverTheSelectedFiles) {
  tolmar::test::WavBuilder().staircase(100).trailing({1, 2, 3, 4}).write(dir.file("a.wav"));
  tolmar::test::WavBuilder().staircase(100).trailing({9, 9}).write(dir.file("b.wav"));
  tolmar::test::WavBuilder().staircase(100).write(dir.file("clean.wav"));
  std::filesystem::create_directories(dir.file("sub"));
  std::filesystem::current_path(dir.path());
  editor.macros.store(4, {"File | Truncate Extra Data"}, "Trim");
  editor.macros.store(9, {"File | Save"}, "");
  drive(kBatchModeDialogId, [&](FormDialog& d) {
    EXPECT_EQ(d.windowTitle(), "Batch Mode");
    auto* title = d.findChild<QLabel*>("pageTitle");
    ASSERT_TRUE(title);
    EXPECT_EQ(title->text(), "1. Select File(s) to Process");
    auto* back = byText<QPushButton>(&d, "<< Back");
    auto* next = byText<QPushButton>(&d, "Next >>");
    ASSERT_TRUE(back && next);
    EXPECT_FALSE(back->isEnabled());
    auto* files = buddyOf<QListWidget>(&d, "Files:");
    auto* paths = buddyOf<QListWidget>(&d, "Files to Process:");
    EXPECT_EQ(rows(files), (QStringList{"a.wav", "b.wav", "clean.wav"}));
    files->item(0)->setSelected(true);
    files->item(1)->setSelected(true);
    byText<QPushButton>(&d, "Select")->click();
    EXPECT_EQ(rows(paths), (QStringList{QString::fromStdString(dir.file("a.wav")),
                                        QString::fromStdString(dir.file("b.wav"))}));
    test::screenshot(&d, "batch_mode_files");
    next->click();
    EXPECT_EQ(title->text(), "2. Pick Macro to Run");
    EXPECT_EQ(next->text(), "Run Batch");
    EXPECT_FALSE(next->isEnabled()) << "no macro chosen";
    auto* macros = buddyOf<QListWidget>(&d, "Macros:");
    EXPECT_EQ(rows(macros), (QStringList{"Macro #4 [Trim]", "Macro #9"}));
    macros->setCurrentRow(0);
    EXPECT_TRUE(next->isEnabled());
    byText<QCheckBox>(&d, "Continue Macro Execution After Errors")->setChecked(true);
    next->click();
    EXPECT_EQ(title->text(), "3. Batch Progress");
    const QStringList log = d.findChild<QPlainTextEdit*>()->toPlainText().split('\n');
    EXPECT_EQ(log.front(), "Batch Execution Started, using Macro #4 [Trim]");
    EXPECT_TRUE(log.contains("  File " + QString::fromStdString(dir.file("a.wav"))));
    EXPECT_TRUE(log.contains("  File " + QString::fromStdString(dir.file("b.wav"))));
    EXPECT_EQ(log.back(), "Batch Finished");
    test::screenshot(&d, "batch_mode_log");
    byText<QPushButton>(&d, "Close")->click();
  });
  editor.BatchMode1Click();
  EXPECT_TRUE(editor.ctx.continueOnError);
  EXPECT_FALSE(editor.ctx.silentMode);
  const auto clean = std::filesystem::file_size(dir.file("clean.wav"));
  EXPECT_EQ(std::filesystem::file_size(dir.file("a.wav")), clean);
  EXPECT_EQ(std::filesystem::file_size(dir.file("b.wav")), clean);
}

TEST_F(AutomationDialogTest, BatchModeWalksDirectoriesAndRemovesPathsFromTheKeyboard) {
  std::filesystem::create_directories(dir.file("side1"));
  tolmar::test::WavBuilder().staircase(10).write(dir.file("side1/one.wav"));
  std::filesystem::current_path(dir.path());
  drive(kBatchModeDialogId, [&](FormDialog& d) {
    auto* files = buddyOf<QListWidget>(&d, "Files:");
    auto* paths = buddyOf<QListWidget>(&d, "Files to Process:");
    QListWidget* dirs = nullptr;
    for (QListWidget* l : d.findChildren<QListWidget*>())
      if (rowOf(l, "side1") >= 0) dirs = l;
    ASSERT_TRUE(dirs);
    dirs->setFocus();
    dirs->setCurrentRow(rowOf(dirs, "side1"));
    QTest::keyClick(dirs, Qt::Key_Return);
    EXPECT_EQ(rows(files), QStringList{"one.wav"});
    files->setFocus();
    files->setCurrentRow(0);
    QTest::keyClick(files, Qt::Key_Return);  // Select
    EXPECT_EQ(rows(paths), QStringList{QString::fromStdString(dir.file("side1/one.wav"))});
    EXPECT_TRUE(d.isVisible());
    paths->setCurrentRow(0);
    paths->item(0)->setSelected(true);
    byText<QPushButton>(&d, "Remove")->click();
    EXPECT_EQ(paths->count(), 0);
    QTest::keyClick(&d, Qt::Key_Escape);
  });
  editor.BatchMode1Click();
}

}  // namespace
}  // namespace tolmar::ui
