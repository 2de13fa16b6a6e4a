#include "ui/dialogs/level_dialogs.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "dialog_test_support.h"
#include "dsp/effect_controls.h"
#include "ui/dialogs/dialogs.h"

namespace tolmar::ui {
namespace {

QCheckBox* box(QWidget* d, const QString& text) {
  for (QCheckBox* c : d->findChildren<QCheckBox*>())
    if (c->text() == text) return c;
  return nullptr;
}

TEST(LevelDialogs, NormaliseStepsFromTheKeyboardWithinItsRangeAndOkStores) {
  NormaliseModel m;
  DialogRequest request{kNormaliseDialogId, &m};
  auto d = createDialog(request, nullptr, {});
  ASSERT_TRUE(d);
  test::showAndWait(d.get());
  auto* value = d->findChild<QLineEdit*>();
  EXPECT_EQ(value->text(), "0.00");
  value->setFocus();
  QTest::keyClick(value, Qt::Key_Up);  // already at the top
  EXPECT_EQ(value->text(), "0.00");
  for (int i = 0; i < 3; ++i) QTest::keyClick(value, Qt::Key_Down);
  QTest::keyClick(value, Qt::Key_PageDown);
  EXPECT_EQ(value->text(), "-0.13");
  for (int i = 0; i < 40; ++i) QTest::keyClick(value, Qt::Key_PageDown);
  EXPECT_EQ(value->text(), "-3.00");
  QTest::keyClick(value, Qt::Key_PageUp);
  box(d.get(), "Remove DC Offset")->setChecked(false);
  box(d.get(), "Normalise to (dB):")->setChecked(false);
  EXPECT_DOUBLE_EQ(m.normaliseto, 0.0);  // nothing before OK
  test::screenshot(d.get(), "normalise");
  QTest::keyClick(value, Qt::Key_Return);
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_NEAR(m.normaliseto, -2.9, 1e-9);
  EXPECT_FALSE(m.removedc);
  EXPECT_FALSE(m.donormalise);
}

TEST(LevelDialogs, FadeAmountCancelKeepsTheFactorAndHelpOpensPartialFade) {
  FadeFactorModel m;
  std::vector<std::string> topics;
  auto d = makeFadeFactorDialog(m, nullptr,
                                DialogEnv{[&](const std::string& t) { topics.push_back(t); }});
  test::showAndWait(d.get());
  auto* value = d->findChild<QLineEdit*>();
  value->setFocus();
  QTest::keyClick(value, Qt::Key_PageUp);
  QTest::keyClick(value, Qt::Key_Up);
  EXPECT_EQ(value->text(), "31.1");
  d->helpButton()->click();
  EXPECT_EQ(topics, std::vector<std::string>{"partialfade"});
  QTest::keyClick(value, Qt::Key_Escape);
  EXPECT_DOUBLE_EQ(m.fadefactor, 30.0);

  auto again = makeFadeFactorDialog(m, nullptr, {});
  auto* v2 = again->findChild<QLineEdit*>();
  QTest::keyClick(v2, Qt::Key_PageDown);
  test::screenshot(again.get(), "fade_factor");
  again->okButton()->click();
  EXPECT_DOUBLE_EQ(m.fadefactor, 29.0);
}

}  // namespace
}  // namespace tolmar::ui
