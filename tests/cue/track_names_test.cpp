#include "cue/track_names.h"

#include <gtest/gtest.h>

#include "base/settings.h"

namespace tolmar::test {
namespace {

TrackNaming naming(bool stub, int type, bool number = true) {
  Settings s;
  s.splitstub = stub;
  s.splitcdtexttype = type;
  s.splittrackno = number;
  s.splitcustomstring = "%N. %p - %T (%o) 100%";
  return TrackNaming::from("/music/side a.wav", s);
}

const TrackText kSong{"Song", "Band", "Album", "Various"};

TEST(TrackNames, StubNamingPutsTheNumberAfterOrBeforeTheStub) {
  TrackNaming n = naming(true, 0);
  EXPECT_EQ(n.directory, "/music/");
  EXPECT_EQ(trackFileName(n, 3, kSong), "/music/side a 03.wav");
  EXPECT_EQ(trackFileName(n, 12, kSong), "/music/side a 12.wav");
  n.numberFirst = true;
  EXPECT_EQ(trackFileName(n, 3, kSong), "/music/03 side a.wav");
  // A bare name has no directory part.
  EXPECT_EQ(trackFileName(TrackNaming::from("take.WAV", Settings{}), 1, {}), "take 01.WAV");
}

TEST(TrackNames, CdTextNamingByEachType) {
  EXPECT_EQ(trackFileName(naming(false, 0), 1, kSong), "/music/01 Song - Band.wav");
  EXPECT_EQ(trackFileName(naming(false, 1), 2, kSong), "/music/02 Band - Song.wav");
  EXPECT_EQ(trackFileName(naming(false, 2), 9, kSong), "/music/09 Song.wav");
  EXPECT_EQ(trackFileName(naming(false, 2, false), 9, kSong), "/music/Song.wav");
  // The custom string never gets the number prefix; its own %n does.
  EXPECT_EQ(trackFileName(naming(false, 3), 4, kSong), "/music/04. Band - Song (Album) 100%.wav");
}

TEST(TrackNames, MissingTextFallsBackToTheDiscPerformerOrTheStub) {
  const TrackText noPerformer{"Song", "", "Album", "Various"};
  EXPECT_EQ(trackFileName(naming(false, 1), 5, noPerformer), "/music/05 Various - Song.wav");
  const TrackText noTitle{"", "Band", "Album", "Various"};
  EXPECT_EQ(trackFileName(naming(false, 0), 5, noTitle), "/music/side a 05.wav");
}

TEST(TrackNames, PatternReplacesEveryKeyOnceAndLeavesOtherPercents) {
  EXPECT_EQ(expandTrackPattern("%t%T %x %", "07", "P", "O", "T"), "TT %x %");
  // Replaced text is not expanded again.
  EXPECT_EQ(expandTrackPattern("%p-%n", "01", "50%n", "", ""), "50%n-01");
}

}  // namespace
}  // namespace tolmar::test
