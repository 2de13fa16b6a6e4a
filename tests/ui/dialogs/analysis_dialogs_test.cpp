#include "ui/dialogs/analysis_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "dialog_test_support.h"
#include "dsp/fft.h"
#include "dsp/statistics.h"
#include "ui/dialogs/dialogs.h"

namespace tolmar::ui {
namespace {

TEST(AnalysisDialogs, SelectionStatisticsShowsEveryTextAndCopiesThemToTheClipboard) {
  SelectionStatsModel m{"0:00.000",
                        "0:10.000",
                        "0:01.000",
                        "0:02.000",
                        {"16384", "50.00", "-6.0", "5000", "15.26", "-16.3", "-3", "-0.01"},
                        {"32767", "100.00", "0.0", "9000", "27.47", "-11.2", "0", "0.00"}};
  DialogRequest request{kSelectionStatsDialogId, &m};
  auto d = createDialog(request, nullptr, {});
  ASSERT_TRUE(d);
  test::showAndWait(d.get());
  QStringList shown;
  for (QLineEdit* e : d->findChildren<QLineEdit*>()) {
    EXPECT_TRUE(e->isReadOnly());
    shown << e->text();
  }
  for (const char* text : {"0:01.000", "16384", "50.00%", "-16.3dB", "-0.01%", "27.47%"})
    EXPECT_TRUE(shown.contains(text)) << text;
  QApplication::clipboard()->clear();
  QPushButton* copy = nullptr;
  for (QPushButton* b : d->findChildren<QPushButton*>())
    if (b->text() == "To Clipboard") copy = b;
  ASSERT_TRUE(copy);
  copy->click();
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), m.clipboardText());
  EXPECT_TRUE(QApplication::clipboard()->text().startsWith("Display: 0:00.000-0:10.000\r\n"));
  test::screenshot(d.get(), "selection_statistics");
  QTest::keyClick(d.get(), Qt::Key_Return);  // Close
  EXPECT_FALSE(d->isVisible());
}

TEST(AnalysisDialogs, PrecisionChoiceFromTheKeyboard) {
  SetPrecisionModel m = SetPrecisionModel::forSize(4096);
  DialogRequest request{kSetPrecisionDialogId, &m};
  auto d = createDialog(request, nullptr, {});
  test::showAndWait(d.get());
  auto* combo = d->findChild<QComboBox*>();
  EXPECT_EQ(combo->currentText(), "Medium");
  combo->setFocus();
  QTest::keyClick(combo, Qt::Key_Down);
  test::screenshot(d.get(), "set_precision");
  QTest::keyClick(combo, Qt::Key_Return);
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_EQ(m.chosenSize(4096), 8192);
}

}  // namespace
}  // namespace tolmar::ui
