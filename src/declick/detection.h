#pragma once
// The click detection engine. It scans a buffer of interleaved 16-bit stereo frames window by
// window, measures each window's typical sample-to-sample movement and mean level, and tests
// every position against the click shape of the parameter set. Find All Clicks, Find and Remove
// All Clicks, the declick preview, decrackle and click analysis all use it.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "config/declick_params.h"
#include "declick/click_list.h"
#include "declick/glitch_list.h"

namespace tolmar {

class WaveFile;

// Frames read and scanned at a time by FindClicks.
// Blocks that a search without repair reads with one call and scans on two threads.
inline constexpr size_t kSearchStretchBlocks = 32;

// Membership test over a false-click list (position and channel; polarity not compared). The
// list is scanned directly while it is short; a longer one gets a sorted key table, built on
// the first lookup, so that thousands of false clicks do not make a long scan quadratic. The
// list must not change while the index is in use.
class FalseClickIndex {
 public:
  explicit FalseClickIndex(const GlitchList& list) : list_(list) {}
  bool contains(int32_t position, uint8_t channel) const;

 private:
  const GlitchList& list_;
  mutable std::vector<uint64_t> keys_;
  mutable bool built_ = false;
};

// One detection run: the parameter set, the false clicks to skip and the continue flag. The
// parameter values are taken at every FindClicksInBlock call; the false-click list is indexed
// once, so build one detector per run (a search, a preview, a decrackle pass) and do not change
// that list meanwhile.
class ClickDetector {
 public:
  // keepGoing: the continue flag; the scan stops at its next test once the flag is clear (the
  // current window is abandoned, what was stored or repaired stays).
  ClickDetector(const DeclickParams& params, const GlitchList& falseClicks, const bool& keepGoing);

  // Scans frames blockStart..blockEnd held in `buf` (interleaved left, right; the sample of
  // channel c at frame f is buf[2 * (f - blockStart) + c]) and returns the number of clicks
  // counted. store: add each click to this list (null: do not store; a click refused by the
  // list's duplicate test is not counted). repair: repair each click inside the buffer with the
  // parameter set's method and width. Frames beyond capacityFrames are never touched.
  int32_t FindClicksInBlock(int16_t* buf, size_t capacityFrames, int32_t blockStart,
                            int32_t blockEnd, GlitchList* store, bool repair);

  // The Blocks menu's "Smooth Edges After Copying", used by the Copy Preceding repair method.
  bool smoothEdges = false;
  // Model: only clicks whose first frame lies here are counted (a search's blocks overlap
  // widely and share these ranges out); any click of the block by default.
  int32_t ownFrom = std::numeric_limits<int32_t>::min();
  int32_t ownTo = std::numeric_limits<int32_t>::max();

 private:
  const DeclickParams& params_;
  FalseClickIndex falseClicks_;
  const bool& keepGoing_;
  std::vector<int64_t> scratch_;
};

// Scans the document's selection. Without repair the stored list is replaced by a new list of
// the clicks found; with repair every click found is repaired straight into the WAV file and
// the stored list is replaced by a new empty one. Either way the current click becomes none.
// Returns the number of clicks found; 0, with nothing changed, when the selection end is not
// after its start. A file that cannot be opened or written ends the run with only a beep;
// `failed`, when given, tells the caller so.
int32_t FindClicks(WaveFile& doc, const DeclickParams& params, ClickLists& lists,
                   bool includeUpdates, bool showProgress, bool repair, bool smoothEdges = false,
                   bool* failed = nullptr);

// The progress counter label of a search.
std::string clicksFoundText(int32_t count);

}  // namespace tolmar
