#pragma once
// Repair Clipping in Selection: the runs the clipping search found, rebuilt beyond the clip
// level from the sound on both sides, one edit record per run.

#include <cstdint>
#include <string>

#include "declick/clip_repair.h"
#include "dsp/statistics.h"

namespace tolmar {

class WaveFile;

struct ClippingRepair {
  int64_t runs = 0;      // runs found, both channels
  int64_t repaired = 0;  // runs rebuilt
  int64_t limited = 0;   // rebuilt samples limited to the 16-bit range
  int32_t records = 0;   // records kept, for the caller's undo step
  bool stopped = false;  // Stop was pressed during the repair
};

// Runs that share model rows are solved together, up to this many frames from the first
// run's start to the last run's end.
inline constexpr int32_t kClipClusterFrames = 2048;

// Rebuilds the runs `found` (by findClipping with `search` over the selection) on the channels
// being edited, with progress (" Repairing:") and Stop. The records are added, not committed.
ClippingRepair repairClipping(WaveFile& doc, const ClipSearch& search, const ClipScanState& found,
                              const ClipRepairOptions& options);

inline constexpr char kNothingToRepairText[] = "No clipping found; nothing to repair";
// "Clipping repaired at R of N places", and how many samples stayed at full scale.
std::string clippingRepairedText(const ClippingRepair& r);

}  // namespace tolmar
