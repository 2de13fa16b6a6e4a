#pragma once
// Detected clicks and the lists that hold them.

#include <cstdint>
#include <vector>

namespace tolmar {

struct Glitch {
  int32_t position = 0;
  uint8_t polarity = 0;  // 1 upwards, 0 downwards
  uint8_t channel = 0;   // 0 left, 1 right
  // Disturbed frames from `position` on, when the detector measured them (the Model shape);
  // 0: not known, the repair width centred on the position is repaired.
  int16_t width = 0;
};

class GlitchList {
 public:
  // Appends unless the last item is the same click (only the last item is compared).
  bool Add(int32_t position, uint8_t polarity, uint8_t channel, int16_t width = 0) {
    if (!items.empty()) {
      const Glitch& last = items.back();
      if (last.position == position && last.polarity == polarity && last.channel == channel)
        return false;
    }
    items.push_back({position, polarity, channel, width});
    return true;
  }
  // Any item at that position and channel, whatever its polarity.
  bool Contains(int32_t position, uint8_t channel) const {
    for (const Glitch& g : items)
      if (g.position == position && g.channel == channel) return true;
    return false;
  }
  size_t size() const { return items.size(); }
  bool empty() const { return items.empty(); }

  std::vector<Glitch> items;
};

}  // namespace tolmar
