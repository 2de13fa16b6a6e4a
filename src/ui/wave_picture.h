#pragma once
// The wave area's picture in device pixels, drawn from the editor's drawing records. The part
// under the selection (background, waveform, time scale, cue lines) is kept between paints: the
// columns the selection, markers and play cursor are about to cover are copied aside first, so
// when the next picture's kept part has the same records and the points were not rebuilt, it
// only puts those columns back and draws the selection, markers and play cursor again.

#include <QFont>
#include <QImage>
#include <QSize>
#include <cstdint>
#include <utility>
#include <vector>

#include "view/paint_display.h"

namespace tolmar {

// The trace's segments straight into a 32-bit image as a pen one device pixel wide: point
// coordinates are logical and scaled by `dpr`; each segment covers its first pixel and not its
// last, so the trace's last point is left out; nothing outside `clip` (device pixels) changes.
void drawTrace(QImage& img, const WaveTrace& trace, qreal dpr, const QRect& clip);

// 0x00BBGGRR to an opaque QRgb.
inline uint32_t rgbOf(uint32_t colour) {
  return 0xFF000000u | ((colour & 0xFFu) << 16) | (colour & 0xFF00u) | ((colour >> 16) & 0xFFu);
}

class WavePicture {
 public:
  struct Cursor {
    int x = -1;  // logical column; -1 for none
    int top = 0;
    int height = 0;
  };
  // The records whose colours end the kept part: the selection's inversion and its start and
  // end lines come first among the records a selection change alters.
  struct SelectionColours {
    uint32_t startsel = 0;
    uint32_t endsel = 0;
  };

  // The whole picture for `list` over a `size` (logical pixels) area. The returned image has
  // its device pixel ratio set and stays valid until the next call.
  const QImage& compose(const DisplayList& list, uint32_t background, QSize size, qreal dpr,
                        const QFont& font, SelectionColours sel, Cursor cursor);
  // Whether the last compose drew over the kept part instead of drawing everything.
  bool reusedUnderlay() const { return reused_; }
  void drop() { valid_ = false; }

 private:
  bool underlayMatches(const DisplayList& list, size_t end) const;
  void keepUnderlayRecords(const DisplayList& list, size_t end);
  // Copies device columns [first, last) of every row aside, and puts them back.
  void saveColumns(std::vector<std::pair<int, int>> columns);
  void restoreColumns();

  QImage frame_;
  bool valid_ = false;
  bool reused_ = false;
  uint32_t background_ = 0;
  QSize size_;
  qreal dpr_ = 1;
  QFont font_;
  std::vector<PaintOp> underOps_;
  std::vector<WaveTrace> underTraces_;  // the traces of underOps_, in their order
  // Device columns [first, last) of the kept part as they were before the last picture drew
  // over them, and their pixels, row by row within each span.
  std::vector<std::pair<int, int>> saved_;
  std::vector<uint32_t> savedPixels_;
};

}  // namespace tolmar
