#pragma once
// Channel Mix: the two channels recombined through a 2×2 matrix of percentages, each new
// channel optionally inverted (mono, swap, narrowing, widening, vocal reduction, phase fixes).

#include <cstdint>

#include "base/settings.h"
#include "dsp/effect_road.h"
#include "dsp/level_effects.h"

namespace tolmar {

class WaveFile;

inline constexpr char kChannelMixClipText[] =
    "Markers have been added to indicate where mixing has produced clipping";

// newL = a·L + b·R, newR = c·L + d·R with a = leftleft/100 … (signs flipped by the inverts);
// a result beyond ±32767 is limited, beyond ±32768 it also counts as clipped. Only the
// channels run writes are stored, though both are computed from both old channels.
void ChannelMixFrames(int16_t* buf, int32_t frames, CoreRun& run, const Settings::Mixer& mix);

// Channel Mix over the selection S … E ("Channel Mix" undo step).
EffectOutcome channelMixSelection(WaveFile& doc, const Settings::Mixer& mix, bool direct,
                                  MarkerList* markers);

// The preview's work on one playback buffer: frames inside S … E, no markers.
bool channelMixPreview(int16_t* buf, int32_t frames, int32_t bufferFirstFrame,
                       const Settings::Mixer& mix, int32_t S, int32_t E, bool left, bool right);

}  // namespace tolmar
