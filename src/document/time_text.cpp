#include "document/time_text.h"

#include <cstdio>
#include <limits>

#include "base/session.h"

namespace tolmar {

namespace {

// A rate of 0 would divide by zero; every real document has 44100 or 48000.
int usableRate(int rate) {
  return rate > 0 ? rate : 44100;
}

// Any number this large already names a time far beyond the 32-bit frame range, so saturating
// here keeps the arithmetic defined without changing which texts are valid.
constexpr int64_t kNumberCap = 100'000'000'000;

void appendDigit(int64_t& number, char c) {
  number = number * 10 + (c - '0');
  if (number > kNumberCap) number = kNumberCap;
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::string formatTime(int64_t position, int rate, bool timeInFrames, bool tracksInTimes,
                       const std::vector<Cue>& cues) {
  rate = usableRate(rate);
  if (position < 0) position = 0;

  std::string prefix;
  if (tracksInTimes) {
    int64_t track = 1;
    int64_t base = 0;
    for (const Cue& cue : cues) {
      if (!cue.track || cue.position >= position) continue;
      ++track;
      if (cue.position > base) base = cue.position;
    }
    position -= base;
    prefix = std::to_string(track) + "+";
  }

  const int64_t seconds = position / rate;
  const int64_t rest = position - seconds * rate;
  const int64_t fraction = timeInFrames ? rest * 75 / rate : rest * 1000 / rate;
  const int64_t minutes = seconds / 60;

  char buf[64];
  std::snprintf(buf, sizeof buf, timeInFrames ? "%.2lld:%.2lld.%.2lld" : "%.2lld:%.2lld.%.3lld",
                static_cast<long long>(minutes), static_cast<long long>(seconds - 60 * minutes),
                static_cast<long long>(fraction));
  return prefix + buf;
}

std::string formatTime(const Session& ctx, int64_t position, const std::vector<Cue>& cues) {
  return formatTime(position, ctx.sampleRate, ctx.settings.timeinframes, ctx.settings.tracksintimes,
                    cues);
}

std::optional<int32_t> parseTime(const std::string& text, int rate, bool timeInFrames,
                                 const std::vector<Cue>& cues) {
  std::string::size_type start = 0;
  int64_t base = 0;
  const auto plus = text.find('+');
  if (plus != std::string::npos) {
    if (plus == 0) return std::nullopt;
    int64_t track = 0;
    for (std::string::size_type i = 0; i < plus; ++i) {
      if (!isDigit(text[i])) return std::nullopt;
      appendDigit(track, text[i]);
    }
    // Track T starts at the (T-1)th track cue; track 1, and tracks past the last cue, at 0.
    int64_t seen = 0;
    for (const Cue& cue : cues) {
      if (!cue.track) continue;
      if (++seen == track - 1) {
        base = cue.position;
        break;
      }
    }
    start = plus + 1;
  }

  int64_t ms = 0;
  int64_t number = 0;
  bool dot = false;
  int fractionDigits = 0;
  for (std::string::size_type i = start; i < text.size(); ++i) {
    const char c = text[i];
    if (isDigit(c)) {
      if (!dot) {
        appendDigit(number, c);
      } else if (fractionDigits < 3) {
        appendDigit(number, c);
        ++fractionDigits;
      }
    } else if (c == ':' && !dot) {
      ms = number * 60000;
      number = 0;
    } else if (c == '.' && !dot) {
      // A second "." or a ":" inside the fraction has no reading as a time.
      ms += number * 1000;
      number = 0;
      dot = true;
    } else {
      return std::nullopt;
    }
  }

  // Thirds of a millisecond: a CD frame (40 thirds) and a millisecond both come out whole.
  int64_t thirds;
  if (number == 0) {
    thirds = 3 * ms;
  } else if (!dot) {
    thirds = 3 * (ms + number * 1000);
  } else if (timeInFrames) {
    thirds = 3 * ms + number * 3000 / 75;
  } else {
    const int64_t fraction = fractionDigits == 1   ? number * 100
                             : fractionDigits == 2 ? number * 10
                                                   : number;
    thirds = 3 * (ms + fraction);
  }

  const int64_t frames = rate == 48000 ? thirds * 48 / 3 : (thirds * 44 + thirds / 10) / 3;
  const int64_t position = frames + base;
  if (position > std::numeric_limits<int32_t>::max() ||
      position < std::numeric_limits<int32_t>::min())
    return std::nullopt;
  return static_cast<int32_t>(position);
}

int32_t parseTime(Session& ctx, const std::string& text, const std::vector<Cue>& cues) {
  const auto position = parseTime(text, ctx.sampleRate, ctx.settings.timeinframes, cues);
  if (!position) {
    ctx.error(kInvalidTimeText);
    return 0;
  }
  return *position;
}

}  // namespace tolmar
