#include "cue/cue_sheet.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>

#include "document/time_text.h"

namespace tolmar {

int32_t snapUpToCdFrame(int64_t position, int rate) {
  const int64_t cd = cdFrameFrames(rate);
  const int64_t r = position > 0 ? (position + cd - 1) / cd * cd : 0;
  return static_cast<int32_t>(std::min<int64_t>(r, std::numeric_limits<int32_t>::max() / cd * cd));
}

int32_t snapDownToCdFrame(int64_t position, int rate) {
  const int64_t cd = cdFrameFrames(rate);
  const int64_t r = position > 0 ? position / cd * cd : 0;
  return static_cast<int32_t>(std::min<int64_t>(r, std::numeric_limits<int32_t>::max() / cd * cd));
}

bool cueOccupied(const std::vector<Cue>& cues, int32_t position) {
  if (position == 0) return true;
  return std::any_of(cues.begin(), cues.end(),
                     [&](const Cue& c) { return c.position == position; });
}

bool insertCue(std::vector<Cue>& cues, Cue cue) {
  if (cueOccupied(cues, cue.position)) return false;
  auto at = std::upper_bound(cues.begin(), cues.end(), cue.position,
                             [](int32_t p, const Cue& c) { return p < c.position; });
  cues.insert(at, std::move(cue));
  return true;
}

std::string cueSheetTime(int32_t position, int rate) {
  std::string t = formatTime(position, rate, true, false, {});
  std::replace(t.begin(), t.end(), '.', ':');
  return t;
}

namespace {

constexpr size_t kShownLineChars = 80;
constexpr size_t kListedUnreadableLines = 20;

std::string twoDigits(int n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%.2d", n);
  return buf;
}

// The sheet format has no escape: quotes inside a text are written as they stand.
std::string quoted(const std::string& s) {
  return "\"" + s + "\"";
}

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view skipBlanks(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && isBlank(s[i])) ++i;
  return s.substr(i);
}

// A quoted text to its closing quote (or the end when it has none), else the rest of the line
// (toSpace: to the next space).
std::string textField(std::string_view s, bool toSpace) {
  s = skipBlanks(s);
  if (!s.empty() && s[0] == '"') {
    s.remove_prefix(1);
    return std::string(s.substr(0, s.find('"')));
  }
  if (toSpace) return std::string(s.substr(0, s.find_first_of(" \t")));
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return std::string(s);
}

// Leading decimal digits of s as a number no larger than limit; false when there are none
// or the number passes the limit.
bool readNumber(std::string_view& s, int64_t limit, int64_t& value) {
  size_t i = 0;
  value = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
    value = value * 10 + (s[i] - '0');
    if (value > limit) return false;
    ++i;
  }
  s.remove_prefix(i);
  return i > 0;
}

std::string keywordOf(std::string_view line) {
  std::string key(line.substr(0, 5));
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return key;
}

// Splits text into lines at LF, dropping a CR before it.
template <class F>
void forEachLine(std::string_view text, F f) {
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!f(line)) return;
    if (end == std::string_view::npos) return;
    text.remove_prefix(end + 1);
  }
}

// At most kShownLineChars characters, each byte outside printable ASCII as '?'.
std::string shownLineText(std::string_view line) {
  std::string out;
  for (char c : line.substr(0, kShownLineChars)) {
    const auto b = static_cast<unsigned char>(c);
    out += b >= 0x20 && b < 0x7F ? c : '?';
  }
  while (!out.empty() && isBlank(out.back())) out.pop_back();
  if (line.size() > kShownLineChars) out += "...";
  return out;
}

}  // namespace

std::string unreadableCueLinesText(const std::vector<UnreadableCueLine>& lines) {
  std::string text = "Lines of the cue sheet that could not be read were left out:";
  for (size_t i = 0; i < lines.size() && i < kListedUnreadableLines; ++i)
    text += "\rLine " + std::to_string(lines[i].number) + ": " + lines[i].text;
  if (lines.size() > kListedUnreadableLines)
    text += "\r... and " + std::to_string(lines.size() - kListedUnreadableLines) + " more";
  return text;
}

bool equalIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

int lastTrackNumber(std::string_view sheet) {
  int last = 1;
  forEachLine(sheet, [&](std::string_view line) {
    line = skipBlanks(line);
    if (line.size() > 4 && keywordOf(line) == "TRACK") {
      std::string_view rest = skipBlanks(line.substr(5));
      int64_t n = 0;
      if (readNumber(rest, 9999, n)) last = static_cast<int>(n);
    }
    return true;
  });
  return last;
}

std::string cueSheetText(const CueSheetData& data, const std::string& wavPath, int rate,
                         bool append, int firstTrack) {
  std::string out;
  auto line = [&](const std::string& s) { out += s + "\n"; };
  if (append) {
    line("REM Cue Sheet appended to by Tolmar");
  } else {
    line("REM Cue Sheet written by Tolmar");
    if (!data.discPerformer.empty()) line("PERFORMER " + quoted(data.discPerformer));
    if (!data.discTitle.empty()) line("TITLE " + quoted(data.discTitle));
  }
  // Always quoted: readers split an unquoted name at its first blank.
  line("FILE " + quoted(wavPath) + " WAVE");

  int track = firstTrack;
  auto trackLines = [&](const std::string& title, const std::string& performer) {
    line("  TRACK " + twoDigits(track) + " AUDIO");
    if (!title.empty()) line("    TITLE " + quoted(title));
    if (!performer.empty()) line("    PERFORMER " + quoted(performer));
  };
  trackLines(data.track1Title, data.track1Performer);
  line("    INDEX 01 00:00:00");
  int index = 1;
  for (const Cue& cue : data.cues) {
    const std::string time = cueSheetTime(cue.position, rate);
    if (cue.track) {
      ++track;
      trackLines(cue.title, cue.performer);
      index = cue.indexZero ? 0 : 1;
      line("    INDEX " + twoDigits(index) + " " + time);
    } else {
      ++index;
      line("    INDEX " + twoDigits(index) + " " + time);
    }
  }
  return out;
}

bool readCueSheet(std::string_view sheet, int rate, int32_t lastFrame, CueSheetData& data,
                  const std::function<bool(const std::string&)>& fileLine,
                  std::vector<UnreadableCueLine>* unreadable) {
  int lineNumber = 0;
  std::string_view current;
  auto cannotRead = [&] {
    if (unreadable) unreadable->push_back({lineNumber, shownLineText(current)});
    return true;
  };
  bool tracksBegun = false;
  bool inFirstTrack = false;
  bool nextIsTrack = false;
  bool firstIndexSeen = false;
  std::string performer, title;
  bool replaced = false;
  bool stopped = false;

  forEachLine(sheet, [&](std::string_view line) {
    ++lineNumber;
    if (line.size() <= 4) return true;
    line = skipBlanks(line);
    current = line;
    const std::string key = keywordOf(line);
    if (key == "FILE ") {
      if (!fileLine(textField(line.substr(5), true))) {
        stopped = true;
        return false;
      }
      data.cues.clear();
      replaced = true;
    } else if (key == "PERFO" || key == "TITLE") {
      std::string_view rest = line.substr(5);
      if (key == "PERFO") {
        if (keywordOf(rest).substr(0, 4) != "RMER") return true;
        rest.remove_prefix(4);
      }
      std::string& pending = key == "TITLE" ? title : performer;
      pending = textField(rest, false);
      if (!tracksBegun)
        (key == "TITLE" ? data.discTitle : data.discPerformer) = pending;
      else if (inFirstTrack)
        (key == "TITLE" ? data.track1Title : data.track1Performer) = pending;
    } else if (key == "TRACK") {
      if (!tracksBegun) {
        tracksBegun = true;
        inFirstTrack = true;
      } else {
        inFirstTrack = false;
        nextIsTrack = true;
        title.clear();
        performer.clear();
      }
    } else if (key == "INDEX") {
      if (!firstIndexSeen) {
        firstIndexSeen = true;
        return true;
      }
      std::string_view rest = skipBlanks(line.substr(5));
      int64_t index = 0, minutes = 0, seconds = 0, frames = 0;
      if (!readNumber(rest, 99, index)) return cannotRead();
      rest = skipBlanks(rest);
      if (!readNumber(rest, 1000000, minutes) || rest.empty() || rest[0] != ':')
        return cannotRead();
      rest.remove_prefix(1);
      if (!readNumber(rest, 59, seconds) || rest.empty() || rest[0] != ':') return cannotRead();
      rest.remove_prefix(1);
      if (!readNumber(rest, 74, frames)) return cannotRead();
      const int64_t position =
          (minutes * 60 + seconds) * rate + frames * static_cast<int64_t>(cdFrameFrames(rate));
      const bool track = nextIsTrack;
      nextIsTrack = false;
      if (position > lastFrame) return true;
      Cue cue;
      cue.position = static_cast<int32_t>(position);
      cue.track = track;
      cue.indexZero = index == 0;
      cue.performer = performer;
      cue.title = title;
      insertCue(data.cues, std::move(cue));
    }
    return true;
  });
  return replaced && !stopped;
}

}  // namespace tolmar
