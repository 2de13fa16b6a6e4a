#pragma once
// The click lists the editor holds: the clicks of the last search or click file, the clicks the
// user rejected, and the click being visited.

#include <cstdint>
#include <optional>

#include "declick/glitch_list.h"

namespace tolmar {

struct ClickLists {
  // None until a search or a click file makes one; none again after Clear Stored Clicks and
  // Convert Click Positions to Markers.
  std::optional<GlitchList> stored;
  // Always present while a document is open; every search skips these.
  GlitchList falseClicks;
  // Index into `stored`, -1 for none.
  int32_t current = -1;

  int32_t storedCount() const { return stored ? static_cast<int32_t>(stored->size()) : 0; }
  bool hasClicks() const { return stored && !stored->empty(); }
  bool hasCurrentClick() const { return hasClicks() && current >= 0; }
};

}  // namespace tolmar
