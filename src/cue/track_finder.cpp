#include "cue/track_finder.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/settings.h"
#include "document/wave_file.h"

namespace tolmar {

namespace {

constexpr int32_t kBlockFrames = 8999;  // a block is c .. c + 8998
constexpr int32_t kSubBlockFrames = 99;
constexpr int32_t kCandidateBack = 100;

// Whether both channels' RMS over `frames` interleaved frames is below the threshold.
bool silent(const int16_t* buf, int32_t frames, int threshold) {
  if (frames <= 0) return true;
  int64_t squares[2] = {0, 0};
  for (int32_t i = 0; i < frames; ++i) {
    for (int c = 0; c < 2; ++c) {
      const int64_t v = std::max<int64_t>(buf[2 * static_cast<size_t>(i) + c], -32767);
      squares[c] += v * v;
    }
  }
  for (int c = 0; c < 2; ++c)
    if (!(std::sqrt(static_cast<double>(squares[c]) / frames) < threshold)) return false;
  return true;
}

}  // namespace

int silenceAmplitude(double db) {
  const double a = std::round(std::pow(2.0, (90.0 - db) / 6.0));
  return a >= 32767.0 ? 32767 : static_cast<int>(a);
}

TrackFinding TrackFinding::fromSettings(const Settings& s, int rate) {
  TrackFinding f;
  f.threshold = silenceAmplitude(s.silencelevel);
  f.minSilenceBlocks = static_cast<int32_t>(int64_t{rate} * s.silencelength / 1000 / kChunkFrames);
  // Not narrowed: a length from the INI file may pass the 32-bit range, and wrapped it would
  // let every gap through.
  f.minTrackFrames = int64_t{rate / 100} * s.mintracklen / 10;
  f.place = s.placetrackoption;
  return f;
}

TrackFindResult findTrackBoundaries(WaveFile& doc, int32_t selStart, int32_t selEnd,
                                    const TrackFinding& finding,
                                    const std::function<void(int32_t)>& place) {
  Session& ctx = doc.ctx();
  TrackFindResult result;
  if (selStart < 0 || selEnd <= selStart) return result;
  const bool edits = !doc.interps.empty();
  // One block and the frame after it, which the refinement walk reaches.
  std::vector<int16_t> buf(2 * static_cast<size_t>(kBlockFrames + 1));
  const int64_t blocks = (int64_t{selEnd} - selStart) / kChunkFrames + 1;
  int64_t lastBoundary = selStart;
  int32_t silentRun = 0;
  int64_t block = 0;

  ctx.continueFlag = true;
  Progress progress(ctx, " Scanning:");
  for (int32_t c = selStart;;) {
    const int32_t e = static_cast<int32_t>(std::min<int64_t>(int64_t{c} + kBlockFrames, selEnd));
    if (!progress.step(percentOf(block++, blocks))) {
      result.cancelled = true;
      break;
    }
    doc.ReadFrames(edits, buf.data(), c, e);
    if (silent(buf.data(), e - c, finding.threshold)) {
      ++silentRun;
    } else {
      if (silentRun > finding.minSilenceBlocks) {
        // The gap ends somewhere in this block: the first loud sub-block.
        for (int32_t s = c; s <= e; s += kSubBlockFrames) {
          const int32_t end = std::min(s + kSubBlockFrames - 1, e);
          if (silent(&buf[2 * static_cast<size_t>(s - c)], end - s + 1, finding.threshold))
            continue;
          const int64_t p = int64_t{s} - kCandidateBack;
          if (p - finding.minTrackFrames <= lastBoundary) continue;
          lastBoundary = p;
          int64_t at = p;
          if (finding.place == 1) at = p - int64_t{silentRun} * kChunkFrames / 2;
          if (finding.place == 2) at = p - int64_t{silentRun} * kChunkFrames;
          place(static_cast<int32_t>(std::max<int64_t>(at, 0)));
          ++result.found;
          break;
        }
      }
      silentRun = 0;
    }
    c = e;
    if (e >= selEnd) break;
  }
  return result;
}

}  // namespace tolmar
