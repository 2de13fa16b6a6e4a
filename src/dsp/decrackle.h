#pragma once
// Decrackle: noise reduction against the fingerprint yields a residual; the click engine repairs
// the residual, and only what that repair took out is removed from the sound (or kept alone).

#include <cstdint>
#include <functional>

#include "base/settings.h"
#include "config/declick_params.h"
#include "dsp/fft.h"
#include "dsp/noise_reduction.h"

namespace tolmar {

class WaveFile;
class GlitchList;

struct DecrackleParams {
  double factor = 3.0;       // crackle sensitivity
  bool keepCrackle = false;  // leave only what the repair removed
  int16_t clickWidth = 5;
  int16_t repairWidth = 20;
  int16_t relAmplitude = 400;
  ClickShape shape = ClickShape::InstantRise;
  RepairMethod repairMethod = RepairMethod::Bezier;

  static DecrackleParams fromSettings(const Settings& s);
};

inline constexpr char kKeepCrackleDirectQuestion[] =
    "You have chosen to overwrite the file on disk with just the crackle.\r\r"
    "This means that the original music will be lost, which is probably not what you "
    "intended.\r\rAbandon this operation?";

struct DecrackleOutcome {
  int32_t records = 0;  // records accepted (With Undo)
  int32_t blocks = 0;   // blocks processed
  bool stopped = false;
  bool failed = false;  // the file could not be opened or written
};

// Runs the selection in blocks of N frames. The click widths, threshold, shape and method of
// `declick` are replaced by the decrackle values for the run and put back afterwards, however
// it ends. With Undo (direct false) stores linked records and commits "Decrackle"; Direct
// Overwrite writes into the file, leaving a channel whose editing is off as it was. The caller
// has run BeginLargeEdit or the direct-overwrite guard.
DecrackleOutcome decrackleSelection(WaveFile& doc, SpectralEngine& engine,
                                    const NoiseFingerprint& fingerprint, DeclickParams& declick,
                                    const GlitchList& falseClicks, const DecrackleParams& params,
                                    bool direct, bool smoothEdges = false);

// The decrackle a preview plays: frames s ... last (at most N of them) as the selection's run
// would leave them for a block starting at s. `read` reads N frames from a first frame (through
// the overlay, silence outside the file); the result goes to `out`, interleaved.
void decracklePreviewBlock(SpectralEngine& engine, const NoiseFingerprint& fingerprint,
                           DeclickParams& declick, const GlitchList& falseClicks,
                           const DecrackleParams& params, const bool& keepGoing,
                           const std::function<void(int16_t*, int64_t)>& read, int32_t s,
                           int32_t last, int16_t* out);

}  // namespace tolmar
