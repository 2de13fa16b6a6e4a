#pragma once
// The file names Split Tracks gives its tracks: the stub with the track number, or a name made
// from the CD-Text.

#include <string>

namespace tolmar {

struct Settings;

// What a name is built from. directory ends in '/' (or is empty); extension has its dot.
struct TrackNaming {
  std::string directory, stub, extension;
  bool useStub = true;       // splitstub
  bool numberFirst = false;  // splitprefix: "01 side.wav" rather than "side 01.wav"
  bool trackNumber = true;   // splittrackno: "01 " before a CD-Text name
  int cdTextType = 0;        // splitcdtexttype: 0 title - performer, 1 performer - title,
                             // 2 title, 3 the custom string
  std::string custom;        // splitcustomstring: %n %p %o %t

  // The name parts of `chosenPath` and the naming settings.
  static TrackNaming from(const std::string& chosenPath, const Settings& s);
};

struct TrackText {
  std::string title, performer;  // the track's own CD-Text
  std::string discTitle, discPerformer;
};

// The custom string with every %n, %p, %o and %t (either case) replaced by the track number,
// the performer, the disc title and the track title. Replaced text is not scanned again.
std::string expandTrackPattern(const std::string& pattern, const std::string& number,
                               const std::string& performer, const std::string& discTitle,
                               const std::string& title);

// The full path of track `track` (from 1). A track without a title takes the stub naming.
std::string trackFileName(const TrackNaming& naming, int track, const TrackText& text);

// Split Tracks refusing a naming that gives tracks `a` and `b` (from 1) the same `path`:
// "Tracks 02 and 05 would both be written to "<path>". Change the track naming so that every
// track gets a name of its own; no track was written."
std::string trackNameClashText(int a, int b, const std::string& path);

}  // namespace tolmar
