#pragma once
// Edit records: replacement values for one channel over one range of frames.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tolmar {

constexpr int32_t kPeakBlockFrames = 1000;

// Peak block number (counted from 1) of a frame.
inline int32_t peakBlockOf(int32_t frame) {
  return frame / kPeakBlockFrames + 1;
}

class Interpolation {
 public:
  enum Kind : uint8_t { Line = 0, Block = 1 };

  int32_t start = -1;
  int32_t end = -1;
  uint8_t channel = 0;
  int16_t startValue = 0;
  int16_t endValue = 0;
  uint8_t kind = Line;
  int32_t highestWritten = -1;
  std::vector<int16_t> samples;  // empty once spilled to the big-edit store
  int64_t storePos = 0;
  int64_t byteSize = 0;
  Interpolation* partner = nullptr;  // right-channel twin of a left sample block
  std::vector<uint16_t> peaks;       // one entry per peak block firstBlock..lastBlock
  int32_t firstBlock = 0;
  int32_t lastBlock = 0;
  bool active = true;
  int32_t effStart = -1;
  int32_t effEnd = -1;
  bool spilled = false;

  int32_t length() const { return end - start + 1; }
  bool covers(int32_t frame) const { return start <= frame && frame <= end; }
  // Value of a straight-line record at a frame (32-bit, truncating toward zero).
  int16_t lineValueAt(int32_t frame) const;
};

using Interps = std::vector<std::unique_ptr<Interpolation>>;

// One undo step: the last `recordCount` records of the edit list, with the peaks they replaced.
class UndoCount {
 public:
  UndoCount(int32_t count, std::string caption, bool large)
      : recordCount(count), caption(std::move(caption)), large(large) {}

  int32_t recordCount;
  std::string caption;
  bool large;
  std::vector<uint16_t> savedLeft;
  std::vector<uint16_t> savedRight;
  int32_t firstBlock = 0;
  int32_t lastBlock = 0;
};

using UndoSteps = std::vector<std::unique_ptr<UndoCount>>;

}  // namespace tolmar
