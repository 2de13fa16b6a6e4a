#pragma once

#include <cstdint>
#include <string>

namespace tolmar {

// A cue point: starts a track, or adds an index inside the current one.
struct Cue {
  int32_t position = 0;
  bool track = true;
  bool indexZero = false;
  std::string performer;
  std::string title;
};

}  // namespace tolmar
