#pragma once
// Types shared by click detection, repair and the declick presets.

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

}  // namespace tolmar
