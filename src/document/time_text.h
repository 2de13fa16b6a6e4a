#pragma once
// Time text: the one format every title, dialog, cue sheet and time entry field uses, and its
// parser. Minutes (never wrapped into hours), seconds and milliseconds, or CD frames of 1/75 s
// in place of the milliseconds, optionally preceded by a track number and "+".

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "document/cue.h"

namespace tolmar {

class Session;

inline constexpr const char kInvalidTimeText[] = "Invalid time specification";

// "mm:ss.mmm" or "mm:ss.ff"; with tracksInTimes, "T+" and the time from the start of the
// position's track. Negative positions format as 0. Cues must be ordered by position.
std::string formatTime(int64_t position, int rate, bool timeInFrames, bool tracksInTimes,
                       const std::vector<Cue>& cues);

// With the context's rate and its time-in-frames and tracks-in-times settings.
std::string formatTime(const Session& ctx, int64_t position, const std::vector<Cue>& cues);

// The frame position a time text names, or nullopt when the text is not a time, or names a
// position outside the 32-bit frame range. "T+time" counts from the start of track T.
std::optional<int32_t> parseTime(const std::string& text, int rate, bool timeInFrames,
                                 const std::vector<Cue>& cues);

// As the time fields use it: an invalid text shows kInvalidTimeText as an error and gives 0.
int32_t parseTime(Session& ctx, const std::string& text, const std::vector<Cue>& cues);

}  // namespace tolmar
