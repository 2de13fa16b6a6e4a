#include "ui/dialogs/form_dialog.h"

#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "dialog_test_support.h"

namespace tolmar::ui {
namespace {

using test::MessageCatcher;

struct Fields {
  int count = 5;
  double level = 36.0;
  bool on = false;
  int choice = 1;
  int combo = 0;
  int bar = 20;
  std::string name = "side A";
};

// One dialog with one control of each kind, in this order.
struct Form {
  explicit Form(Fields& f, DialogEnv env = {}) : dialog("Test Form", nullptr, std::move(env)) {
    count = dialog.addInt("Count:", f.count, 1, 99);
    level = dialog.addDouble("Level:", f.level, 0.0, 96.0, 1);
    on = dialog.addCheck("Switch On", f.on);
    radios = dialog.addRadios("Choice ", f.choice, {"First", "Second", "Third"});
    combo = dialog.addCombo("Combo:", f.combo, {"a", "b"});
    bar = dialog.addTrackBar("Bar:", f.bar, 10, 40);
    name = dialog.addText("Name:", f.name);
    dialog.addButtons("OK", "Cancel", "testtopic");
  }
  FormDialog dialog;
  QLineEdit* count;
  QLineEdit* level;
  QCheckBox* on;
  QButtonGroup* radios;
  QComboBox* combo;
  QSlider* bar;
  QLineEdit* name;
};

TEST(FormDialog, ShowsTheModelAndWritesItOnlyOnOk) {
  Fields f;
  Form form(f);
  EXPECT_EQ(form.count->text(), "5");
  EXPECT_EQ(form.level->text(), QLocale().toString(36.0, 'f', 1));
  EXPECT_FALSE(form.on->isChecked());
  EXPECT_EQ(form.radios->checkedId(), 1);
  EXPECT_EQ(form.bar->value(), 20);
  form.count->setText("12");
  form.level->setText(QLocale().toString(40.5, 'f', 1));
  form.on->setChecked(true);
  form.radios->button(2)->setChecked(true);
  form.combo->setCurrentIndex(1);
  form.bar->setValue(33);
  form.name->setText("side B");
  EXPECT_EQ(f.count, 5);  // nothing is written before OK
  form.dialog.okButton()->click();
  EXPECT_EQ(form.dialog.result(), QDialog::Accepted);
  EXPECT_EQ(f.count, 12);
  EXPECT_DOUBLE_EQ(f.level, 40.5);
  EXPECT_TRUE(f.on);
  EXPECT_EQ(f.choice, 2);
  EXPECT_EQ(f.combo, 1);
  EXPECT_EQ(f.bar, 33);
  EXPECT_EQ(f.name, "side B");
}

TEST(FormDialog, CancelAndEscapeWriteNothing) {
  for (bool escape : {false, true}) {
    Fields f;
    Form form(f);
    test::showAndWait(&form.dialog);
    form.count->setText("12");
    form.on->setChecked(true);
    if (escape)
      QTest::keyClick(&form.dialog, Qt::Key_Escape);
    else
      form.dialog.cancelButton()->click();
    EXPECT_EQ(form.dialog.result(), QDialog::Rejected);
    EXPECT_EQ(f.count, 5);
    EXPECT_FALSE(f.on);
  }
}

TEST(FormDialog, OutOfRangeValuesAreRefusedWithTheirRangeAndChangeNothing) {
  struct Case {
    QString count, level, message;
  };
  const QString level = QLocale().toString(10.0, 'f', 1);
  for (const Case& c :
       {Case{"100", level, "\"Count\" must be a whole number from 1 to 99"},
        Case{"0", level, "\"Count\" must be a whole number from 1 to 99"},
        Case{"2x", level, "\"Count\" must be a whole number from 1 to 99"},
        Case{"7", "97",
             QString("\"Level\" must be a number from %1 to %2")
                 .arg(QLocale().toString(0.0, 'f', 1), QLocale().toString(96.0, 'f', 1))}}) {
    Fields f;
    Form form(f);
    test::showAndWait(&form.dialog);
    form.count->setText(c.count);
    form.level->setText(c.level);
    form.on->setChecked(true);
    MessageCatcher messages;
    form.dialog.okButton()->click();
    ASSERT_EQ(messages.texts().size(), 1u) << c.count.toStdString();
    EXPECT_EQ(messages.texts()[0], c.message);
    EXPECT_TRUE(form.dialog.isVisible());  // the dialog stays open for a correction
    EXPECT_EQ(f.count, 5);
    EXPECT_DOUBLE_EQ(f.level, 36.0);
    EXPECT_FALSE(f.on);
  }
}

TEST(FormDialog, ClampedFieldsTakeTheNearestBound) {
  int16_t fragment = 16;
  FormDialog dialog("Clamp", nullptr);
  QLineEdit* edit = dialog.addInt16("Fragment:", fragment, 1, 99, OutOfRange::Clamp);
  dialog.addButtons();
  for (auto [typed, stored] : {std::pair{"0", 1}, {"150", 99}, {"42.6", 43}}) {
    edit->setText(typed);
    dialog.okButton()->click();
    EXPECT_EQ(fragment, stored) << typed;
  }
}

TEST(FormDialog, KeyboardAloneFillsTheFormInTabOrderAndEnterConfirms) {
  Fields f;
  Form form(f);
  test::showAndWait(&form.dialog);
  form.count->setFocus();
  QTest::keyClick(form.count, Qt::Key_A, Qt::ControlModifier);
  test::typeAndTab(&form.dialog, "42");
  EXPECT_EQ(test::focused(&form.dialog), form.level);
  QTest::keyClick(form.level, Qt::Key_A, Qt::ControlModifier);
  test::typeAndTab(&form.dialog, "12");
  EXPECT_EQ(test::focused(&form.dialog), form.on);
  QTest::keyClick(form.on, Qt::Key_Space);
  QTest::keyClick(form.on, Qt::Key_Tab);
  test::screenshot(&form.dialog, "form_dialog");
  QTest::keyClick(test::focused(&form.dialog), Qt::Key_Return);
  EXPECT_EQ(form.dialog.result(), QDialog::Accepted);
  EXPECT_EQ(f.count, 42);
  EXPECT_DOUBLE_EQ(f.level, 12.0);
  EXPECT_TRUE(f.on);
}

TEST(FormDialog, HelpOpensTheNamedTopic) {
  Fields f;
  std::vector<std::string> topics;
  Form form(f, DialogEnv{[&](const std::string& t) { topics.push_back(t); }});
  form.dialog.helpButton()->click();
  EXPECT_EQ(topics, std::vector<std::string>{"testtopic"});
  EXPECT_FALSE(form.dialog.result() == QDialog::Accepted);
}

TEST(FormDialog, RemembersItsPosition) {
  DialogPositions places;
  {
    FormDialog dialog("Pos", nullptr);
    dialog.addButtons();
    dialog.rememberPosition(places, "pos");
    test::showAndWait(&dialog);
    dialog.move(123, 77);
    dialog.reject();
  }
  EXPECT_EQ(places["pos"].x, 123);
  EXPECT_EQ(places["pos"].y, 77);
  // The map may be replaced meanwhile (the settings are read back after Options).
  places = DialogPositions{{"pos", {123, 77}}};
  FormDialog again("Pos", nullptr);
  again.addButtons();
  again.rememberPosition(places, "pos");
  test::showAndWait(&again);
  EXPECT_EQ(again.pos(), QPoint(123, 77));
  FormDialog other("Other", nullptr);
  other.addButtons();
  other.rememberPosition(places, "other");
  test::showAndWait(&other);
  EXPECT_NE(other.pos(), QPoint(123, 77)) << "each dialog has its own place";
}

TEST(FormDialog, DrawsWithARealFont) {
  EXPECT_EQ(QFontInfo(QApplication::font()).family(), "DejaVu Sans");
}

}  // namespace
}  // namespace tolmar::ui
