#pragma once
// The declick parameter set: one instance, held by the editor, used by detection, repair,
// the preview and decrackle.

#include <cstdint>

#include "declick/declick_types.h"

namespace tolmar {

struct DeclickParams {
  int16_t windowSize = 250;  // never edited by a dialog
  int16_t clickWidth = 5;    // 1..40 frames (for Blip: a percentage)
  int16_t repairWidth = 15;  // 4..120 frames, kept >= clickWidth
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
};

}  // namespace tolmar
