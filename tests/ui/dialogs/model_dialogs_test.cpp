#include "ui/dialogs/model_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "dialog_test_support.h"
#include "document/wav_format.h"
#include "editor/block_commands.h"
#include "editor/cue_commands.h"
#include "editor/declick_commands.h"
#include "editor/document_commands.h"
#include "editor/macro_dialogs.h"
#include "editor/replace.h"
#include "ui/dialogs/dialogs.h"

namespace tolmar::ui {
namespace {

using test::MessageCatcher;

template <class W>
W* child(QWidget* dialog, const QString& text) {
  for (W* w : dialog->findChildren<W*>()) {
    if constexpr (std::is_base_of_v<QAbstractButton, W>) {
      if (w->text() == text) return w;
    } else {
      if (w->objectName() == text) return w;
    }
  }
  return nullptr;
}

QStringList noteTexts(QWidget* dialog) {
  QStringList texts;
  for (QLabel* l : dialog->findChildren<QLabel*>()) texts << l->text();
  return texts;
}

TEST(ModelDialogs, EveryCoreDialogIdHasADialog) {
  SetInsertionLengthModel insertion;
  AddSurroundingSilenceModel silence;
  AddCueModel cue;
  GotoCueModel gotoCue{{" track 01, index 1 (0:00.000)"}, 0, true};
  const std::pair<const char*, DialogModel> requests[] = {
      {kSetInsertionLengthDialogId, &insertion},
      {kAddSurroundingSilenceDialogId, &silence},
      {"AddCue", &cue},
      {"GotoCue", &gotoCue},
  };
  for (auto [id, model] : requests) {
    DialogRequest request{id, model};
    auto dialog = createDialog(request, nullptr, {});
    ASSERT_TRUE(dialog) << id;
    test::screenshot(dialog.get(), QString("model_%1").arg(id));
  }
  DialogRequest unknown{"NoSuchDialog", &silence};
  EXPECT_FALSE(createDialog(unknown, nullptr, {}));
  EXPECT_FALSE(runDialog(unknown, nullptr, {}));
  // An id with another dialog's model opens nothing.
  DialogRequest crossed{kAddSurroundingSilenceDialogId, &insertion};
  EXPECT_FALSE(createDialog(crossed, nullptr, {}));
}

TEST(ModelDialogs, SurroundingSilenceRefusesAnOutOfRangeLengthAndKeepsTheModel) {
  AddSurroundingSilenceModel m{100, 3000};
  auto d = makeAddSurroundingSilenceDialog(m, nullptr, {});
  test::showAndWait(d.get());
  auto edits = d->findChildren<QLineEdit*>();
  ASSERT_EQ(edits.size(), 2);
  EXPECT_EQ(edits[0]->text(), "100");
  EXPECT_EQ(edits[1]->text(), "3000");
  edits[0]->setText("-5");
  {
    MessageCatcher messages;
    d->okButton()->click();
    ASSERT_EQ(messages.texts().size(), 1u);
    EXPECT_EQ(messages.texts()[0],
              "\"Milliseconds at Start\" must be a whole number from 0 to 600000");
  }
  EXPECT_EQ(m.startMs, 100);
  EXPECT_EQ(test::focused(d.get()), edits[0]);  // the refused field takes the focus back
  test::typeAndTab(d.get(), "250");
  QTest::keyClick(test::focused(d.get()), Qt::Key_Return);
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_EQ(m.startMs, 250);
  EXPECT_EQ(m.endMs, 3000);
}

TEST(ModelDialogs, RewriteHeaderChoosesTheRate) {
  RewriteHeaderModel m;
  auto d = makeRewriteHeaderDialog(m, nullptr, {});
  EXPECT_TRUE(noteTexts(d.get()).contains(kRewriteHeaderLines[2]));
  EXPECT_EQ(d->okButton()->text(), "Rewrite Header");
  child<QRadioButton>(d.get(), "48000")->setChecked(true);
  test::screenshot(d.get(), "rewrite_header");
  d->okButton()->click();
  EXPECT_EQ(m.rate, 48000);
}

TEST(ModelDialogs, UnsupportedFormatIsAcceptedOnlyWhenTheRewriteIsConfirmed) {
  for (bool confirm : {false, true}) {
    UnsupportedFormatModel m{"/x/a.wav", {"RIFF marker: RIFF", "Channels: 1"}, 44100};
    auto d = makeUnsupportedFormatDialog(m, nullptr, {});
    test::showAndWait(d.get());
    EXPECT_TRUE(noteTexts(d.get()).contains("Channels: 1"));
    if (confirm) test::screenshot(d.get(), "unsupported_format");
    QTimer::singleShot(0, [confirm] {
      auto* inner = dynamic_cast<FormDialog*>(QApplication::activeModalWidget());
      ASSERT_TRUE(inner);
      EXPECT_EQ(inner->windowTitle(), kRewriteHeaderCaption);
      child<QRadioButton>(inner, "48000")->setChecked(true);
      (confirm ? inner->okButton() : inner->cancelButton())->click();
    });
    d->okButton()->click();
    EXPECT_EQ(d->result(), confirm ? QDialog::Accepted : QDialog::Rejected);
    EXPECT_EQ(m.rewriteRate, confirm ? 48000 : 44100);
  }
}

TEST(ModelDialogs, SelectReplacementDataTakesTheCountOnlyWhenChosen) {
  SelectReplacementDataModel m{1001, false, 0};
  auto d = makeSelectReplacementDataDialog(m, nullptr, {});
  auto edits = d->findChildren<QLineEdit*>();
  ASSERT_EQ(edits.size(), 2);
  EXPECT_FALSE(edits[1]->isEnabled());
  child<QRadioButton>(d.get(), kReplaceNumberOfSamplesText)->setChecked(true);
  EXPECT_TRUE(edits[1]->isEnabled());
  edits[1]->setText("0");
  {
    MessageCatcher messages;
    d->okButton()->click();
    ASSERT_EQ(messages.texts().size(), 1u);
    EXPECT_EQ(messages.texts()[0],
              "\"Replace No. of Samples\" must be a whole number from 1 to 2147483647");
  }
  edits[1]->setText("4410");
  test::screenshot(d.get(), "select_replacement_data");
  d->okButton()->click();
  EXPECT_TRUE(m.replaceCount);
  EXPECT_EQ(m.sampleCount, 4410);
  EXPECT_EQ(m.startSample, 1001);
}

TEST(ModelDialogs, FindClicksResultRemoveButton) {
  for (int count : {0, 3}) {
    FindClicksResultModel m{count, false};
    auto d = makeFindClicksResultDialog(m, nullptr, {});
    EXPECT_TRUE(noteTexts(d.get()).contains(QString("%1 Potential Clicks Found").arg(count)));
    QPushButton* remove = child<QPushButton>(d.get(), "Remove");
    ASSERT_TRUE(remove);
    EXPECT_EQ(remove->isEnabled(), count >= 1);
    if (count) {
      test::screenshot(d.get(), "find_clicks_result");
      remove->click();
      EXPECT_EQ(d->result(), QDialog::Accepted);
      EXPECT_TRUE(m.removeRequested);
    }
  }
}

TEST(ModelDialogs, AddCueTypeMarginAndStartMark) {
  AddCueModel m{AddCueModel::TrackWithMargin, 200, true};
  auto d = makeAddCueDialog(m, nullptr, {});
  test::showAndWait(d.get());
  auto* margin = d->findChild<QLineEdit*>();
  ASSERT_TRUE(margin);
  EXPECT_EQ(margin->text(), "200");
  margin->setText("350");
  child<QRadioButton>(d.get(), "Track, index 0")->setChecked(true);
  child<QCheckBox>(d.get(), "Set Start Mark")->setChecked(false);
  test::screenshot(d.get(), "add_cue");
  d->okButton()->click();
  EXPECT_EQ(m.type, AddCueModel::TrackIndex0);
  EXPECT_EQ(m.marginMs, 350);
  EXPECT_FALSE(m.setStartMark);
}

TEST(ModelDialogs, ListPickersTakeTheCurrentLineAndDoubleClickConfirms) {
  GotoCueModel m{{" track 01, index 1 (0:00.000)", " track 02, index 1 (3:10.200)"}, 0, true};
  auto d = makeGotoCueDialog(m, nullptr, {});
  test::showAndWait(d.get());
  auto* list = d->findChild<QListWidget*>();
  ASSERT_TRUE(list);
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Down);
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_EQ(m.chosen, 1);

  MacroPickerModel picker{{"Macro #1 [Declick]", "Macro #7"}, -1};
  auto p = makeMacroPickerDialog(picker, nullptr, {});
  auto* macros = p->findChild<QListWidget*>();
  QListWidgetItem* second = macros->item(1);
  macros->setCurrentItem(second);
  emit macros->itemDoubleClicked(second);
  EXPECT_EQ(p->result(), QDialog::Accepted);
  EXPECT_EQ(picker.chosen, 1);

  PresetPickerModel empty{PresetKind::None, {}, -1};
  auto e = makePresetPickerDialog(empty, nullptr, {});
  MessageCatcher messages;
  e->okButton()->click();
  EXPECT_EQ(messages.texts().size(), 1u);
  EXPECT_EQ(empty.chosen, -1);
}

TEST(ModelDialogs, CdTextGridWritesEveryRow) {
  CdTextModel m{"Band", "Album", {{"", "Intro"}, {"Guest", "Second"}}};
  auto d = makeCdTextDialog(m, nullptr, {});
  auto* grid = d->findChild<QTableWidget*>();
  ASSERT_EQ(grid->rowCount(), 2);
  EXPECT_EQ(grid->item(1, 0)->text(), "2");
  EXPECT_EQ(grid->item(1, 2)->text(), "Second");
  grid->item(0, 1)->setText("Band");
  grid->item(1, 2)->setText("Second Song");
  test::screenshot(d.get(), "cd_text_setup");
  d->okButton()->click();
  EXPECT_EQ(m.rows[0].performer, "Band");
  EXPECT_EQ(m.rows[1].title, "Second Song");
  EXPECT_EQ(m.discTitle, "Album");
}

TEST(ModelDialogs, ExistingCueFileAppendOverwriteOrCancel) {
  for (QString button : {"Append", "Overwrite", "Cancel"}) {
    ExistingCueFileModel m{"side.cue already exists", ExistingCueFileModel::Append};
    auto d = makeExistingCueFileDialog(m, nullptr, {});
    child<QPushButton>(d.get(), button)->click();
    EXPECT_EQ(d->result(), button == "Cancel" ? QDialog::Rejected : QDialog::Accepted);
    if (button != "Cancel") {
      EXPECT_EQ(m.choice, button == "Append" ? ExistingCueFileModel::Append
                                             : ExistingCueFileModel::Overwrite);
    }
  }
}

TEST(ModelDialogs, InsertionLengthTextAndType) {
  SetInsertionLengthModel m{"0:01.000", false};
  std::vector<std::string> topics;
  auto d = makeSetInsertionLengthDialog(
      m, nullptr, DialogEnv{[&](const std::string& t) { topics.push_back(t); }});
  test::showAndWait(d.get());
  auto* length = d->findChild<QLineEdit*>();
  length->setFocus();
  length->selectAll();
  test::typeAndTab(d.get(), "44100");
  child<QRadioButton>(d.get(), kSetInsertionLengthSamples)->setChecked(true);
  d->helpButton()->click();
  EXPECT_EQ(topics, std::vector<std::string>{"setinsertionlength"});
  d->okButton()->click();
  EXPECT_EQ(m.length, "44100");
  EXPECT_TRUE(m.exactSamples);
}

TEST(ModelDialogs, CompatibleBlockParametersFromTheKeyboard) {
  CompatParamsModel m{"10", "0:05.000", false};
  DialogRequest request{kCompatParamsDialogId, &m};
  auto d = createDialog(request, nullptr, {});
  ASSERT_TRUE(d);
  test::showAndWait(d.get());
  auto* first = d->findChild<QLineEdit*>();
  first->setFocus();
  first->selectAll();
  test::typeAndTab(d.get(), "25");
  static_cast<QLineEdit*>(test::focused(d.get()))->selectAll();
  test::typeAndTab(d.get(), "0:12.500");
  QTest::keyClick(test::focused(d.get()), Qt::Key_Space);  // "Search Forwards in File"
  test::screenshot(d.get(), "compat_params");
  QTest::keyClick(test::focused(d.get()), Qt::Key_Return);
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_EQ(m.relativeSampleSize, "25");
  EXPECT_EQ(m.timeLimit, "0:12.500");
  EXPECT_TRUE(m.forwards);
}

}  // namespace
}  // namespace tolmar::ui
