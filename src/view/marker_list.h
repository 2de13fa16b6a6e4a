#pragma once
// Markers: transient position marks over the document, without undo.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tolmar {

struct Marker {
  enum Kind : uint8_t { Both = 0, Left = 1, Right = 2 };
  uint8_t kind = Both;
  int32_t position = 0;
  int32_t count = 0;  // channel markers: how many events the marker stands for
};

class MarkerList {
 public:
  void Add(uint8_t kind, int32_t position, int32_t count) {
    items.push_back({kind, position, count});
  }
  void Delete(size_t index) {
    if (index < items.size()) items.erase(items.begin() + static_cast<std::ptrdiff_t>(index));
  }
  void Clear() { items.clear(); }
  size_t size() const { return items.size(); }
  bool empty() const { return items.empty(); }

  std::vector<Marker> items;
};

}  // namespace tolmar
