#include "editor/redraw_stroke.h"

#include <algorithm>

#include "editor/editor.h"
#include "view/wave_geometry.h"

namespace tolmar {

int redrawChannelAt(const Editor& e, int y) {
  const ViewState& v = e.view;
  return y > v.areaTop() + v.areaHeight() / 2 ? 1 : 0;
}

int commitRedrawStroke(Editor& e, const std::vector<PaintPoint>& stroke) {
  if (!e.doc || stroke.size() < 2) return 0;
  WaveFile& doc = *e.doc;
  const ViewState& v = e.view;
  const int channel = redrawChannelAt(e, stroke.front().y);
  const int top = v.areaTop(), h = v.areaHeight();
  const int centre = channel == 0 ? leftBandCentre(top, h) : rightBandCentre(top, h);
  const auto valueOf = [&](const PaintPoint& p) -> int16_t {
    if (redrawChannelAt(e, p.y) != channel) return channel == 0 ? 32767 : -32768;
    return valueAtY(v.vertical, centre, p.y);
  };
  int added = 0;
  for (size_t i = 0; i + 1 < stroke.size(); ++i) {
    const int32_t fp = e.frameAtPixel(stroke[i].x);
    int32_t fq = e.frameAtPixel(stroke[i + 1].x);
    int16_t vq = valueOf(stroke[i + 1]);
    if (i + 2 == stroke.size() && fq < doc.lastFrame) {
      ++fq;
      int16_t frame[2];
      doc.ReadFrames(true, frame, fq, fq);
      vq = frame[channel];
    }
    if (fp != fq && doc.AddLinearEdit(fp, fq, valueOf(stroke[i]), vq, channel)) ++added;
  }
  if (added > 0) {
    doc.CommitEdit(added, "Redraw");
    e.ctx.host().requestRepaint(doc.newestStepSpan());
  }
  return added;
}

}  // namespace tolmar
