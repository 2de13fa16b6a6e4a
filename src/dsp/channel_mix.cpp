#include "dsp/channel_mix.h"

#include <cmath>

#include "document/wave_file.h"

namespace tolmar {

void ChannelMixFrames(int16_t* buf, int32_t frames, CoreRun& run, const Settings::Mixer& mix) {
  double a = mix.leftleft / 100.0;
  double b = mix.leftright / 100.0;
  double c = mix.rightleft / 100.0;
  double d = mix.rightright / 100.0;
  if (mix.leftinvert) {
    a = -a;
    b = -b;
  }
  if (mix.rightinvert) {
    c = -c;
    d = -d;
  }
  ClipMarks marks(run);
  for (int32_t i = 0; i < frames; ++i) {
    const int32_t frame = run.firstFrame + i;
    if (!run.inWindow(frame)) continue;
    int16_t* x = buf + 2 * static_cast<size_t>(i);
    const double L = x[0];
    const double R = x[1];
    double out[2] = {a * L + b * R, c * L + d * R};
    for (int ch = 0; ch < 2; ++ch) {
      if (!run.writes(ch)) continue;
      double v = out[ch];
      const double mag = std::abs(v);
      if (mag > 32767) {
        v = std::copysign(32767.0, v);
        if (mag > 32768) marks.clip(ch, frame);
      }
      x[ch] = toSample(v);
    }
  }
}

EffectOutcome channelMixSelection(WaveFile& doc, const Settings::Mixer& mix, bool direct,
                                  MarkerList* markers) {
  EffectOutcome out;
  if (!doc.hasSelection()) return out;
  Session& ctx = doc.ctx();
  const PassSpec spec{" Channel Mix:", filterWalk(doc.selStart, doc.selEnd),
                      direct ? PassStore::Direct : PassStore::Records};
  const PassResult r = runEffectPass(doc, spec, [&](int16_t* buf, int32_t first, int32_t last) {
    CoreRun run;
    run.firstFrame = first;
    run.markers = markers;
    run.left = ctx.editLeft;
    run.right = ctx.editRight;
    ChannelMixFrames(buf, last - first + 1, run, mix);
    out.clipped = out.clipped || run.clipped;
  });
  out.ran = !r.failed;
  out.stopped = r.stopped;
  out.records = r.records;
  if (r.records > 0) doc.CommitEdit(r.records, "Channel Mix");
  ctx.requestRepaint(doc.selectionSamples());
  if (out.clipped) ctx.warning(kChannelMixClipText);
  return out;
}

bool channelMixPreview(int16_t* buf, int32_t frames, int32_t bufferFirstFrame,
                       const Settings::Mixer& mix, int32_t S, int32_t E, bool left, bool right) {
  CoreRun run;
  run.firstFrame = bufferFirstFrame;
  run.windowFirst = S;
  run.windowLast = E;
  run.left = left;
  run.right = right;
  ChannelMixFrames(buf, frames, run, mix);
  return run.clipped;
}

}  // namespace tolmar
