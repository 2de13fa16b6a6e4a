#pragma once
// Markers: transient position marks over the document, without undo, and the ".mkr" file that
// holds them: 9-byte records (kind, position, count; little-endian), no header, no padding.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tolmar {

class BinaryFile;

struct Marker {
  enum Kind : uint8_t { Both = 0, Left = 1, Right = 2 };
  uint8_t kind = Both;
  int32_t position = 0;
  int32_t count = 0;  // channel markers: how many events the marker stands for
};

inline constexpr size_t kMarkerRecordBytes = 9;

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

  // Every marker as one record, in list order, at the file's position. False on a short write.
  bool Write(BinaryFile& f) const;
  // Appends the records read from the file's position until a read comes up short; a trailing
  // partial record is ignored. Returns how many markers were added.
  size_t Read(BinaryFile& f);
  // The same over a memory image.
  std::vector<uint8_t> toBytes() const;
  size_t readBytes(const uint8_t* data, size_t size);

  // Stable position order: equal positions keep their relative order.
  void sortByPosition();

  std::vector<Marker> items;
};

}  // namespace tolmar
