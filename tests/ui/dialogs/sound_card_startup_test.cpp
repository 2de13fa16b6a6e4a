// The window's start-up device check: the cards chosen last time, the choice made for the user
// when there is nothing to choose, the dialog when there is, and what can be offered after.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <cstdlib>
#include <fstream>

#include "dialog_test_support.h"
#include "editor/command_table.h"
#include "support/fake_sound_cards.h"
#include "support/temp_dir.h"
#include "ui/dialogs/sound_card_dialogs.h"
#include "ui/main_form.h"

namespace tolmar::ui {
namespace {

struct StartupCheck : ::testing::Test {
  tolmar::test::TempDir dir;
  tolmar::test::FakeSoundCards cards;

  void SetUp() override { setenv("TOLMAR_CONFIG_DIR", dir.file("").c_str(), 1); }

  void storedDevices(int rec, const std::string& recName, int play, const std::string& playName,
                     int line) {
    std::ofstream(dir.file("VESKOR.INI"))
        << "[Options]\nrecdevno=" << rec << "\nrecdevnm=" << recName << "\nplaydevno=" << play
        << "\nplaydevnm=" << playName << "\nreclineno=" << line << "\n";
  }

  // Starts a window over the fake cards; `dialog` answers the sound-card dialog if it opens.
  std::unique_ptr<TMainForm> start(std::vector<QString>& messages,
                                   std::function<void(TPickCards&)> dialog = {},
                                   bool* dialogRan = nullptr, bool interactive = true) {
    auto form = std::make_unique<TMainForm>(interactive);
    form->setSoundCards(&cards);
    test::MessageCatcher catcher;
    test::ModalDriver driver([&](QWidget* w) {
      auto* d = dynamic_cast<TPickCards*>(w);
      ASSERT_TRUE(d);
      if (dialog) dialog(*d);
    });
    form->FormCreate(false);
    messages = catcher.texts();
    if (dialogRan) *dialogRan = driver.ran();
    return form;
  }

  static bool enabled(TMainForm& form, const char* path) {
    return isEnabled(*findCommand(path), computeCommandState(form.editor()));
  }
};

TEST_F(StartupCheck, WithNoSuitableDeviceTheUserIsToldAndRecordAndPlayAreNotOffered) {
  cards.recording = {{0, "Mono Mic", false}};
  std::vector<QString> messages;
  bool ran = false;
  auto form = start(messages, {}, &ran);
  EXPECT_FALSE(ran);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0],
            "\nThere is no suitable playback soundcard in the PC."
            "\nThere is no suitable recording soundcard in the PC.");
  const Settings& s = form->editor().ctx.settings;
  EXPECT_EQ(s.recdevno, -1);
  EXPECT_EQ(s.playdevno, -1);
  EXPECT_FALSE(form->editor().recordDeviceFound);
  EXPECT_FALSE(form->editor().playDeviceFound);
  EXPECT_FALSE(enabled(*form, "Play/Record | Input (Record) New WAV File"));
}

TEST_F(StartupCheck, WithOneDeviceOnEachSideThoseAreTakenWithoutAsking) {
  cards.recording = {{0, "Mono Mic", false}, {3, "Line In", true}};
  cards.playback = {{1, "Speakers", true}};
  storedDevices(3, "Line In (old driver)", 1, "Speakers", 4);
  std::vector<QString> messages;
  bool ran = false;
  auto form = start(messages, {}, &ran);
  EXPECT_FALSE(ran);
  EXPECT_TRUE(messages.empty());
  const Settings& s = form->editor().ctx.settings;
  EXPECT_EQ(s.recdevno, 3);
  EXPECT_EQ(s.recdevnm, "Line In");
  EXPECT_EQ(s.playdevno, 1);
  EXPECT_EQ(s.playdevnm, "Speakers");
  EXPECT_EQ(s.reclineno, -1) << "a line of the card that was there before";
  EXPECT_TRUE(form->editor().recordDeviceFound);
  EXPECT_TRUE(form->editor().playDeviceFound);
  EXPECT_TRUE(enabled(*form, "Play/Record | Input (Record) New WAV File"));

  // One side only: the other is named in the message.
  cards.playback.clear();
  storedDevices(-1, "", -1, "", -1);
  auto second = start(messages);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "\nThere is no suitable playback soundcard in the PC.");
  EXPECT_EQ(second->editor().ctx.settings.recdevno, 3);
  EXPECT_FALSE(second->editor().playDeviceFound);
}

TEST_F(StartupCheck, WithAChoiceToMakeTheUserIsToldThenChoosesInTheInitialSetupDialog) {
  cards.recording = {{2, "Line In", true}, {5, "USB Codec", true}};
  cards.playback = {{1, "Speakers", true}};
  cards.lines[5] = {{30, "Phono"}, {31, "Aux"}};
  std::vector<QString> messages;
  bool ran = false;
  auto form = start(
      messages,
      [](TPickCards& d) {
        EXPECT_TRUE(d.initialSetup());
        EXPECT_EQ(d.windowTitle(), "Initial Setup - Choose Soundcard for Recording and Playback");
        test::ModalDriver line([](QWidget* w) {
          auto* p = dynamic_cast<FormDialog*>(w);
          p->findChild<QComboBox*>("lines")->setCurrentIndex(1);
          p->okButton()->click();
        });
        d.recdevs()->setCurrentIndex(1);
        d.okButton()->click();
      },
      &ran);
  EXPECT_TRUE(ran);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].toStdString(), kChooseSoundCardsText);
  const Settings& s = form->editor().ctx.settings;
  EXPECT_EQ(s.recdevno, 5);
  EXPECT_EQ(s.recdevnm, "USB Codec");
  EXPECT_EQ(s.playdevno, 1);
  EXPECT_EQ(s.playdevnm, "Speakers");
  EXPECT_EQ(s.reclineno, 31);
}

TEST_F(StartupCheck, CancellingTheInitialSetupStoresNothing) {
  cards.recording = {{2, "Line In", true}, {5, "USB Codec", true}};
  cards.playback = {{1, "Speakers", true}, {6, "HDMI", true}};
  storedDevices(5, "USB Codec", 6, "HDMI (old)", 8);
  std::vector<QString> messages;
  bool ran = false;
  auto form = start(
      messages,
      [](TPickCards& d) {
        d.playdevs()->setCurrentIndex(0);
        d.cancelButton()->click();
      },
      &ran);
  EXPECT_TRUE(ran) << "the playback card's name changed";
  const Settings& s = form->editor().ctx.settings;
  EXPECT_EQ(s.playdevno, 6);
  EXPECT_EQ(s.playdevnm, "HDMI (old)");
  EXPECT_EQ(s.reclineno, 8);
  EXPECT_TRUE(form->editor().playDeviceFound);
}

TEST_F(StartupCheck, TheCardsChosenBeforeAreNotAskedForAgainNorIsAWindowWithoutDialogs) {
  cards.recording = {{2, "Line In", true}, {5, "USB Codec", true}};
  cards.playback = {{1, "Speakers", true}, {6, "HDMI", true}};
  storedDevices(5, "USB Codec", 6, "HDMI", 8);
  std::vector<QString> messages;
  bool ran = false;
  auto form = start(messages, {}, &ran);
  EXPECT_FALSE(ran);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(form->editor().ctx.settings.reclineno, 8);

  // A window that shows nothing modal (a picture) is never held up by the dialog.
  storedDevices(-1, "", -1, "", -1);
  auto quiet = start(messages, {}, &ran, false);
  EXPECT_FALSE(ran);
  EXPECT_EQ(quiet->editor().ctx.settings.recdevno, -1);
  EXPECT_TRUE(quiet->editor().recordDeviceFound);
}

}  // namespace
}  // namespace tolmar::ui
