#include "audio/sound_cards.h"

#include <gtest/gtest.h>

#include "audio/memory_output.h"

namespace tolmar {
namespace {

const std::string kLongName = "USB Audio CODEC: USB Audio (hw:1,0)";  // 35 characters

Settings chosen(int rec, const std::string& recName, int play, const std::string& playName) {
  Settings s;
  s.recdevno = rec;
  s.recdevnm = recName;
  s.playdevno = play;
  s.playdevnm = playName;
  return s;
}

TEST(SoundCards, AChoiceIsAskedForWhenNeverMadeOrWhenTheDeviceAtItsNumberChanged) {
  const std::vector<InputDeviceInfo> rec{{0, "HDA Intel PCH: ALC257 Analog (hw:0,0)", true},
                                         {3, kLongName, true}};
  const std::vector<OutputDeviceInfo> play{{0, "HDA Intel PCH: ALC257 Analog (hw:0,0)", true},
                                           {5, "default", true}};
  EXPECT_TRUE(soundCardsNeedChoosing(Settings{}, rec, play)) << "never chosen";
  EXPECT_TRUE(soundCardsNeedChoosing(chosen(3, kLongName, -1, ""), rec, play));
  EXPECT_TRUE(soundCardsNeedChoosing(chosen(-1, "", 5, "default"), rec, play));
  EXPECT_FALSE(soundCardsNeedChoosing(chosen(3, kLongName, 5, "default"), rec, play));
  // Only the first 30 characters count: the tail after them may change.
  EXPECT_FALSE(soundCardsNeedChoosing(
      chosen(3, kLongName.substr(0, 30) + " (hw:2,0)", 5, "default"), rec, play));
  EXPECT_TRUE(
      soundCardsNeedChoosing(chosen(3, "USB Audio CODEC: USB Audio #2", 5, "default"), rec, play));
  // The numbers moved: another card now has the stored number.
  EXPECT_TRUE(soundCardsNeedChoosing(chosen(0, kLongName, 5, "default"), rec, play));
  // The card is gone, even when the stored name is empty.
  EXPECT_TRUE(soundCardsNeedChoosing(chosen(3, kLongName, 7, ""), rec, play));
}

TEST(SoundCards, WithOneOrNoSuitableDeviceTheOnlyOneIsTakenAndEachMissingSideIsNamed) {
  const std::vector<InputDeviceInfo> noRec;
  const std::vector<OutputDeviceInfo> noPlay;
  OnlyDevices none = takeOnlyDevices(noRec, noPlay);
  EXPECT_EQ(none.recording, nullptr);
  EXPECT_EQ(none.playback, nullptr);
  EXPECT_EQ(none.message,
            "\rThere is no suitable playback soundcard in the PC."
            "\rThere is no suitable recording soundcard in the PC.");

  const std::vector<InputDeviceInfo> oneRec{{4, "Line In", true}};
  OnlyDevices recOnly = takeOnlyDevices(oneRec, noPlay);
  ASSERT_NE(recOnly.recording, nullptr);
  EXPECT_EQ(recOnly.recording->number, 4);
  EXPECT_EQ(recOnly.message, "\rThere is no suitable playback soundcard in the PC.");

  const std::vector<OutputDeviceInfo> onePlay{{2, "Speakers", true}};
  OnlyDevices both = takeOnlyDevices(oneRec, onePlay);
  ASSERT_NE(both.playback, nullptr);
  EXPECT_EQ(both.playback->name, "Speakers");
  EXPECT_EQ(both.message, "");
}

TEST(SoundCards, OnlyDevicesTakingTheCdFormatAreOffered) {
  const std::vector<InputDeviceInfo> rec{{0, "Mono mic", false}, {1, "Line", true}};
  const auto offered = cdFormatDevices(rec);
  ASSERT_EQ(offered.size(), 1u);
  EXPECT_EQ(offered[0].number, 1);
}

struct CountingInputs : InputDeviceFactory {
  int asked = 0;
  std::unique_ptr<InputDevice> create(int) override { return nullptr; }
  std::vector<InputDeviceInfo> inputDevices() override {
    ++asked;
    return {{7, "Capture", true}};
  }
};

TEST(SoundCards, TheBackendListsAreAskedForOnceAndAMissingSideHasNoDevices) {
  CountingInputs inputs;
  MemoryOutputBackend outputs;
  BackendSoundCards cards(&inputs, &outputs);
  EXPECT_EQ(cards.recordingDevices().size(), 1u);
  EXPECT_EQ(cards.recordingDevices()[0].number, 7);
  EXPECT_EQ(inputs.asked, 1);
  ASSERT_EQ(cards.playbackDevices().size(), 1u);
  EXPECT_TRUE(cards.playbackDevices()[0].cdFormat);

  BackendSoundCards silent(nullptr, nullptr);
  EXPECT_TRUE(silent.recordingDevices().empty());
  EXPECT_TRUE(silent.playbackDevices().empty());
  EXPECT_TRUE(silent.waveInputLines(0).empty());
}

TEST(SoundCards, TheChoiceCarriesEveryDeviceAndBufferSettingBothWays) {
  Settings s = chosen(2, "Rec", 3, "Play");
  s.reclineno = 9;
  s.recplaybuffs = 16;
  s.recplaybps = 20;
  s.playendreset = !s.playendreset;
  s.playendrelease = !s.playendrelease;
  s.playendwait = !s.playendwait;
  s.playstopreset = !s.playstopreset;
  s.playstoprelease = !s.playstoprelease;
  s.playstopwait = !s.playstopwait;
  s.muteunused = !s.muteunused;
  Settings back;
  SoundCardChoice::fromSettings(s).storeInto(back);
  EXPECT_EQ(back.recdevno, 2);
  EXPECT_EQ(back.recdevnm, "Rec");
  EXPECT_EQ(back.playdevno, 3);
  EXPECT_EQ(back.playdevnm, "Play");
  EXPECT_EQ(back.reclineno, 9);
  EXPECT_EQ(back.recplaybuffs, 16);
  EXPECT_EQ(back.recplaybps, 20);
  EXPECT_EQ(back.playendreset, s.playendreset);
  EXPECT_EQ(back.playendrelease, s.playendrelease);
  EXPECT_EQ(back.playendwait, s.playendwait);
  EXPECT_EQ(back.playstopreset, s.playstopreset);
  EXPECT_EQ(back.playstoprelease, s.playstoprelease);
  EXPECT_EQ(back.playstopwait, s.playstopwait);
  EXPECT_EQ(back.muteunused, s.muteunused);
}

}  // namespace
}  // namespace tolmar
