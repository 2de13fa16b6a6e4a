#include "ui/dialogs/options_dialog.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include "base/settings.h"
#include "dialog_test_support.h"
#include "dsp/effect_road.h"
#include "editor/cue_commands.h"
#include "editor/effect_commands.h"
#include "ui/dialogs/dialogs.h"

namespace tolmar::ui {
namespace {

QLineEdit* editAfter(QWidget* dialog, const QString& label) {
  for (QLabel* l : dialog->findChildren<QLabel*>())
    if (l->text() == label) return qobject_cast<QLineEdit*>(l->buddy());
  return nullptr;
}

TEST(OptionsDialog, TypicalClipSettingsFillTheOperationsFieldsAndOkStoresThem) {
  Settings s;
  std::vector<std::string> topics;
  DialogRequest request{kOptionsOperationsDialogId, &s};
  auto d =
      createDialog(request, nullptr, DialogEnv{[&](const std::string& t) { topics.push_back(t); }});
  ASSERT_TRUE(d);
  test::showAndWait(d.get());
  auto* tabs = d->findChild<QTabWidget*>();
  EXPECT_EQ(tabs->tabText(tabs->currentIndex()), "Operations");
  EXPECT_EQ(editAfter(d.get(), "Clipping Level (dB):")->text(), QLocale().toString(0.0, 'f', 1));
  auto* typical = d->findChild<QListWidget*>();
  typical->setCurrentRow(1);  // "Soundcard with analogue clipping"
  d->helpButton()->click();
  test::screenshot(d.get(), "options_operations");
  d->okButton()->click();
  EXPECT_EQ(s.clippingvalue, DbToLevel(-4.0));
  EXPECT_TRUE(s.flattopsonly);
  EXPECT_DOUBLE_EQ(s.ftvariance, 0.4);
  EXPECT_EQ(s.clippingsamples, 4);
  EXPECT_EQ(topics, std::vector<std::string>{"optionsoperationstab"});
}

TEST(OptionsDialog, TrackSplittingRefusesAnOutOfRangeLevelAndChangesNothing) {
  Settings s;
  DialogRequest request{kOptionsTrackSplittingDialogId, &s};
  auto d = createDialog(request, nullptr, {});
  test::showAndWait(d.get());
  auto* tabs = d->findChild<QTabWidget*>();
  EXPECT_EQ(tabs->tabText(tabs->currentIndex()), "Track Splitting");
  editAfter(d.get(), "Minimum Silence Length (ms):")->setText("2000");
  editAfter(d.get(), "Maximum Silence Level (dB below full scale):")->setText("120");
  {
    test::MessageCatcher messages;
    d->okButton()->click();
    ASSERT_EQ(messages.texts().size(), 1u);
    EXPECT_TRUE(messages.texts()[0].startsWith(
        "\"Maximum Silence Level (dB below full scale)\" must be a number from"));
  }
  EXPECT_EQ(s.silencelength, 1500);
  EXPECT_DOUBLE_EQ(s.silencelevel, 36.0);
  editAfter(d.get(), "Maximum Silence Level (dB below full scale):")->setText("40");
  for (QRadioButton* r : d->findChildren<QRadioButton*>())
    if (r->text() == "Middle of Gap") r->setChecked(true);
  test::screenshot(d.get(), "options_track_splitting");
  d->okButton()->click();
  EXPECT_EQ(s.silencelength, 2000);
  EXPECT_DOUBLE_EQ(s.silencelevel, 40.0);
  EXPECT_EQ(s.placetrackoption, 1);
}

TEST(OptionsDialog, CancelLeavesTheSettings) {
  Settings s;
  auto d = makeOptionsDialog(s, OptionsTab::Operations, nullptr, {});
  d->findChild<QListWidget*>()->setCurrentRow(2);
  d->cancelButton()->click();
  EXPECT_EQ(s.clippingvalue, 32767);
  EXPECT_FALSE(s.flattopsonly);
}

}  // namespace
}  // namespace tolmar::ui
