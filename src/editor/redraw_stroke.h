#pragma once
// A stroke drawn over the waveform in redraw mode, turned into straight-line edit records of
// the channel of the band it started in and committed as one undo step.

#include <cstdint>
#include <vector>

namespace tolmar {

class Editor;

struct PaintPoint {
  int x = 0;
  int y = 0;
};

// The channel a stroke starting at row y edits: 0 (upper band) or 1 (lower band).
int redrawChannelAt(const Editor& e, int y);
// One record from each point to the next (points on the same frame add none); the last runs
// one frame past its point and ends on the sound there, so the stroke rejoins the waveform.
// A point in the other band takes the most positive value (stroke begun in the upper band) or
// the most negative (lower band). Returns the number of records committed as "Redraw".
int commitRedrawStroke(Editor& e, const std::vector<PaintPoint>& stroke);

}  // namespace tolmar
