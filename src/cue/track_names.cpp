#include "cue/track_names.h"

#include <cctype>
#include <cstdio>
#include <filesystem>

#include "base/settings.h"

namespace tolmar {

TrackNaming TrackNaming::from(const std::string& chosenPath, const Settings& s) {
  namespace fs = std::filesystem;
  const fs::path p(chosenPath);
  TrackNaming n;
  n.directory = p.parent_path().string();
  if (!n.directory.empty() && n.directory.back() != '/') n.directory += '/';
  n.stub = p.stem().string();
  n.extension = p.extension().string();
  n.useStub = s.splitstub;
  n.numberFirst = s.splitprefix;
  n.trackNumber = s.splittrackno;
  n.cdTextType = s.splitcdtexttype;
  n.custom = s.splitcustomstring;
  return n;
}

std::string expandTrackPattern(const std::string& pattern, const std::string& number,
                               const std::string& performer, const std::string& discTitle,
                               const std::string& title) {
  std::string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size()) {
      const char key = static_cast<char>(std::tolower(static_cast<unsigned char>(pattern[i + 1])));
      const std::string* with = key == 'n'   ? &number
                                : key == 'p' ? &performer
                                : key == 'o' ? &discTitle
                                : key == 't' ? &title
                                             : nullptr;
      if (with) {
        out += *with;
        ++i;
        continue;
      }
    }
    out += pattern[i];
  }
  return out;
}

std::string trackFileName(const TrackNaming& naming, int track, const TrackText& text) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%.2d", track);
  const std::string n = buf;
  if (naming.useStub || text.title.empty()) {
    if (naming.numberFirst) return naming.directory + n + " " + naming.stub + naming.extension;
    return naming.directory + naming.stub + " " + n + naming.extension;
  }
  const std::string& performer = text.performer.empty() ? text.discPerformer : text.performer;
  std::string body;
  switch (naming.cdTextType) {
    case 1:
      body = performer + " - " + text.title;
      break;
    case 2:
      body = text.title;
      break;
    case 3:
      body = expandTrackPattern(naming.custom, n, performer, text.discTitle, text.title);
      break;
    default:
      body = text.title + " - " + performer;
      break;
  }
  const std::string prefix = naming.trackNumber && naming.cdTextType != 3 ? n + " " : "";
  return naming.directory + prefix + body + naming.extension;
}

std::string trackNameClashText(int a, int b, const std::string& path) {
  auto two = [](int n) { return (n < 10 ? "0" : "") + std::to_string(n); };
  return "Tracks " + two(a) + " and " + two(b) + " would both be written to \"" + path +
         "\". Change the track naming so that every track gets a name of its own; no track was "
         "written.";
}

}  // namespace tolmar
