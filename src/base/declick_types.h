#pragma once
// The declick parameter set and its types: one instance, in the settings, used by detection,
// repair, the preview, decrackle and the presets. [Declick] stores the widths, the amplitude,
// the shape, the repair method and the smoothing count.

#include <cstdint>

namespace tolmar {

// The click shapes the detector tests for; the numbers are stored in VESKOR.INI.
enum class ClickShape : uint8_t {
  InstantRise = 0,
  Spike = 1,
  Step = 2,
  Hill = 3,
  Blip = 4,
  Model = 5
};
inline constexpr int kLastClickShape = 5;

// How a detected click is repaired; the numbers are stored in VESKOR.INI.
enum class RepairMethod : uint8_t {
  Linear = 0,
  Bezier = 1,
  CopyPreceding = 2,
  Smooth = 3,
  ArInterpolate = 4
};
inline constexpr int kLastRepairMethod = 4;

struct DeclickParams {
  int16_t windowSize = 250;     // never edited by a dialog
  int16_t clickWidth = 5;       // 1..40 frames (for Blip: a percentage)
  int16_t repairWidth = 15;     // 4..120 frames, kept >= clickWidth
  int16_t relAmplitude = 2000;  // 50..2500 percent
  int16_t levelThreshold = 0;   // percent of the window's mean level
  int16_t displayWidth = 30;    // 1..100 frames
  ClickShape shape = ClickShape::InstantRise;
  RepairMethod repairMethod = RepairMethod::Bezier;
  int16_t smoothingCount = 1;
  bool includeUpdates = true;
  bool declickingOn = true;  // used by the declick preview only
  bool processLeft = true;
  bool processRight = true;

  // Takes the fields [Declick] does not store: they belong to the run, not to the file.
  void takeRunState(const DeclickParams& from) {
    windowSize = from.windowSize;
    levelThreshold = from.levelThreshold;
    includeUpdates = from.includeUpdates;
    declickingOn = from.declickingOn;
    processLeft = from.processLeft;
    processRight = from.processRight;
  }
};

}  // namespace tolmar
