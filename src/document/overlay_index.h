#pragma once
// An index over the edit list so that an overlay read touches only the records overlapping the
// frames read, applied in list order (newest last), however many records there are.

#include <cstdint>
#include <vector>

#include "document/interpolation.h"

namespace tolmar {

class OverlayIndex {
 public:
  // Positions in the edit list of the records whose range overlaps first..last, ascending.
  // Inactive records are included; the caller decides what to skip.
  void query(const Interps& list, int32_t first, int32_t last, std::vector<size_t>& out);
  // Must be called whenever records were removed or reordered (undo, redo, save).
  void invalidate() { valid_ = false; }

 private:
  struct Entry {
    int32_t start;
    int32_t end;
    size_t pos;
    const Interpolation* rec;
  };
  void rebuild(const Interps& list);
  void absorbTail(const Interps& list);
  bool stale(const Interps& list) const;

  bool valid_ = false;
  size_t indexed_ = 0;         // records [0, indexed_) are in sorted_ or long_
  std::vector<Entry> sorted_;  // short records, sorted by start
  int32_t maxShortLen_ = 0;
  std::vector<Entry> long_;  // records longer than kLongFrames, in list order
  const Interpolation* lastSeen_ = nullptr;
  int32_t lastStart_ = 0;
  int32_t lastEnd_ = 0;
  static constexpr int32_t kLongFrames = 1 << 16;
  static constexpr size_t kTailLimit = 64;
};

}  // namespace tolmar
