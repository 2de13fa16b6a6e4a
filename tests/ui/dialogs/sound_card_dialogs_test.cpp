#include "ui/dialogs/sound_card_dialogs.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "dialog_test_support.h"
#include "support/fake_sound_cards.h"

namespace tolmar::ui {
namespace {

QStringList items(QComboBox* c) {
  QStringList out;
  for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
  return out;
}

QStringList shownLabels(QWidget* d) {
  QStringList out;
  for (QLabel* l : d->findChildren<QLabel*>())
    if (l->isVisibleTo(d)) out << l->text();
  return out;
}

struct PickCardsTest : ::testing::Test {
  tolmar::test::FakeSoundCards cards;
  SoundCardChoice choice;
  std::vector<std::string> topics;
  DialogEnv env;

  void SetUp() override {
    cards.recording = {{0, "Mono Mic", false}, {2, "Line In", true}, {5, "USB Codec", true}};
    cards.playback = {{1, "Speakers", true}, {3, "HDMI", true}, {4, "Headset (mono)", false}};
    choice.recdevno = 5;
    choice.recdevnm = "USB Codec";
    choice.playdevno = 99;  // gone: the first is selected
    choice.playdevnm = "Old card";
    choice.reclineno = 7;
    choice.recplaybuffs = 8;
    choice.recplaybps = 5;
    env.showHelp = [this](const std::string& t) { topics.push_back(t); };
  }
};

TEST_F(PickCardsTest, ListsTheSuitableDevicesWithTheChosenOnesAndOkStoresEveryControl) {
  TPickCards d(choice, cards, false, nullptr, env);
  EXPECT_EQ(d.windowTitle(), "Select and Configure Soundcard(s)");
  EXPECT_EQ(items(d.recdevs()), QStringList({"Line In", "USB Codec"}));
  EXPECT_EQ(d.recdevs()->currentText(), "USB Codec");
  EXPECT_EQ(items(d.playdevs()), QStringList({"Speakers", "HDMI"}));
  EXPECT_EQ(d.playdevs()->currentText(), "Speakers");
  EXPECT_EQ(items(d.nbuffs()), QStringList({"2", "4", "8", "16"}));
  EXPECT_EQ(d.nbuffs()->currentText(), "8");
  EXPECT_EQ(items(d.buffspersec()), QStringList({"1", "2", "5", "10", "20"}));
  EXPECT_EQ(d.buffspersec()->currentText(), "5");
  for (const char* label :
       {"Recording Devices:", "Playback Devices:", "Number of Buffers:", "Buffers per Second:"})
    EXPECT_TRUE(shownLabels(&d).contains(label)) << label;
  QStringList groups;
  for (QGroupBox* g : d.findChildren<QGroupBox*>()) {
    groups << g->title();
    QStringList texts;
    for (QCheckBox* c : g->findChildren<QCheckBox*>()) texts << c->text();
    EXPECT_EQ(texts, QStringList({"Reset Soundcard", "Release Buffers", "Wait Before Release"}));
  }
  EXPECT_EQ(groups,
            QStringList({"Special Actions on Playback End ", "Special Actions on Playback Stop "}));
  EXPECT_EQ(d.findChild<QCheckBox*>("muteunused")->text(), "Mute Unused Inputs During Recording");
  test::showAndWait(&d);
  test::screenshot(&d, "pick_cards");

  d.playdevs()->setCurrentIndex(1);
  d.nbuffs()->setCurrentIndex(3);
  d.buffspersec()->setCurrentIndex(4);
  d.findChild<QCheckBox*>("playendreset")->setChecked(true);
  d.findChild<QCheckBox*>("playstopwait")->setChecked(false);
  d.findChild<QCheckBox*>("muteunused")->setChecked(false);
  d.helpButton()->click();
  EXPECT_EQ(topics, std::vector<std::string>{"configuresoundcard"});
  d.okButton()->click();
  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_EQ(choice.playdevno, 3);
  EXPECT_EQ(choice.playdevnm, "HDMI");
  EXPECT_EQ(choice.recdevno, 5);
  EXPECT_EQ(choice.reclineno, 7) << "the line stays while its device does";
  EXPECT_EQ(choice.recplaybuffs, 16);
  EXPECT_EQ(choice.recplaybps, 20);
  EXPECT_TRUE(choice.playendreset);
  EXPECT_TRUE(choice.playendrelease);
  EXPECT_FALSE(choice.playstopwait);
  EXPECT_FALSE(choice.muteunused);
}

TEST_F(PickCardsTest, CancelLeavesTheChoiceSetsTheCancelledFlagAndAValueOutsideTheListsSurvivesOk) {
  choice.recplaybuffs = 3;  // written by hand into the settings file
  const SoundCardChoice before = choice;
  int cancels = 0;
  env.cancelled = [&cancels] { ++cancels; };
  {
    TPickCards d(choice, cards, false, nullptr, env);
    EXPECT_EQ(d.nbuffs()->currentText(), "3");
    d.playdevs()->setCurrentIndex(1);
    d.findChild<QCheckBox*>("muteunused")->setChecked(false);
    d.cancelButton()->click();
    EXPECT_EQ(d.result(), QDialog::Rejected);
  }
  EXPECT_EQ(cancels, 1);
  EXPECT_EQ(choice.playdevno, before.playdevno);
  EXPECT_EQ(choice.playdevnm, before.playdevnm);
  EXPECT_EQ(choice.muteunused, before.muteunused);
  TPickCards d(choice, cards, false, nullptr, env);
  d.okButton()->click();
  EXPECT_EQ(choice.recplaybuffs, 3);
  EXPECT_EQ(cancels, 1) << "OK is not a cancel";
}

TEST_F(PickCardsTest, EmptyListsSaySoAreDisabledAndKeepTheDevicesChosenBefore) {
  cards.recording = {{0, "Mono Mic", false}};
  cards.playback.clear();
  TPickCards d(choice, cards, false, nullptr, env);
  EXPECT_EQ(d.recdevs()->currentText(), "No Suitable Recording Devices");
  EXPECT_FALSE(d.recdevs()->isEnabled());
  EXPECT_EQ(d.playdevs()->currentText(), "No Suitable Playback Devices");
  EXPECT_FALSE(d.playdevs()->isEnabled());
  test::screenshot(&d, "pick_cards_empty");
  d.okButton()->click();
  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_EQ(choice.recdevno, 5);
  EXPECT_EQ(choice.playdevnm, "Old card");
}

TEST_F(PickCardsTest, OkWithoutADeviceSelectedInAnEnabledListIsRefused) {
  const SoundCardChoice before = choice;
  TPickCards d(choice, cards, false, nullptr, env);
  test::showAndWait(&d);
  d.playdevs()->setCurrentIndex(-1);
  {
    test::MessageCatcher messages;
    d.okButton()->click();
    ASSERT_EQ(messages.texts().size(), 1u);
    EXPECT_EQ(messages.texts()[0], "Please select recording/playback devices");
  }
  EXPECT_TRUE(d.isVisible());
  EXPECT_EQ(choice.playdevnm, before.playdevnm);
  d.playdevs()->setCurrentIndex(0);
  d.okButton()->click();
  EXPECT_EQ(choice.playdevnm, "Speakers");
}

TEST_F(PickCardsTest, InitialSetupHidesTheBufferBoxesAndIsSmaller) {
  TPickCards full(choice, cards, false, nullptr, env);
  TPickCards first(choice, cards, true, nullptr, env);
  EXPECT_EQ(first.windowTitle(), "Initial Setup - Choose Soundcard for Recording and Playback");
  EXPECT_FALSE(first.nbuffs()->isVisibleTo(&first));
  EXPECT_FALSE(first.buffspersec()->isVisibleTo(&first));
  EXPECT_FALSE(shownLabels(&first).contains("Number of Buffers:"));
  EXPECT_FALSE(shownLabels(&first).contains("Buffers per Second:"));
  EXPECT_TRUE(first.recdevs()->isVisibleTo(&first));
  EXPECT_TRUE(first.findChild<QCheckBox*>("muteunused")->isVisibleTo(&first));
  test::showAndWait(&full);
  test::showAndWait(&first);
  EXPECT_LT(first.height(), full.height());
  test::screenshot(&first, "pick_cards_initial_setup");
}

TEST_F(PickCardsTest, ARecordingDeviceWithSeveralLinesAsksWhichLineAndOneWithOneDoesNot) {
  cards.lines[2] = {{10, "Line In (rear)"}, {11, "Microphone (front)"}};
  cards.lines[5] = {{20, "Capture"}};
  TPickCards d(choice, cards, false, nullptr, env);
  EXPECT_TRUE(cards.linesAskedFor.empty()) << "opening the dialog changes no device";
  EXPECT_EQ(d.recordLine(), 7);

  bool picked = false;
  {
    test::ModalDriver driver([&](QWidget* w) {
      auto* p = dynamic_cast<FormDialog*>(w);
      ASSERT_TRUE(p);
      EXPECT_EQ(p->windowTitle(), "Pick Recording Line");
      const QStringList labels = shownLabels(p);
      EXPECT_TRUE(
          labels.contains("The selected recording device has more than one logical "
                          "input line."));
      EXPECT_TRUE(labels.contains("Please select the line you wish to use:"));
      auto* lines = p->findChild<QComboBox*>("lines");
      ASSERT_TRUE(lines);
      EXPECT_EQ(items(lines), QStringList({"Line In (rear)", "Microphone (front)"}));
      lines->setCurrentIndex(1);
      test::screenshot(p, "pick_rec_line");
      picked = true;
      p->okButton()->click();
    });
    d.recdevs()->setCurrentIndex(0);  // Line In, device 2
    EXPECT_TRUE(driver.ran());
  }
  EXPECT_TRUE(picked);
  EXPECT_EQ(cards.linesAskedFor, std::vector<int>{2});
  EXPECT_EQ(d.recordLine(), 11);

  d.recdevs()->setCurrentIndex(1);  // one line: nothing to ask
  EXPECT_EQ(d.recordLine(), -1);
  {
    test::ModalDriver driver(
        [&](QWidget* w) { dynamic_cast<FormDialog*>(w)->cancelButton()->click(); });
    d.recdevs()->setCurrentIndex(0);
    EXPECT_TRUE(driver.ran());
  }
  EXPECT_EQ(d.recordLine(), -1) << "no line picked";
  {
    test::ModalDriver driver([&](QWidget* w) {
      auto* p = dynamic_cast<FormDialog*>(w);
      p->findChild<QComboBox*>("lines")->setCurrentIndex(0);
      p->okButton()->click();
    });
    d.recdevs()->setCurrentIndex(1);
    d.recdevs()->setCurrentIndex(0);
  }
  d.okButton()->click();
  EXPECT_EQ(choice.recdevno, 2);
  EXPECT_EQ(choice.recdevnm, "Line In");
  EXPECT_EQ(choice.reclineno, 10);
}

}  // namespace
}  // namespace tolmar::ui
