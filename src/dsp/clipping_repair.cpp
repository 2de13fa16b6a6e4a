#include "dsp/clipping_repair.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "document/wave_file.h"

namespace tolmar {

namespace {

struct Run {
  int32_t first = 0, last = 0;
};

// The runs of one channel, first frame to last: a marker stands at a run's K-th frame and
// counts its width once the run has ended; a run still open at the end of the scan is as long
// as the scan's run count says.
std::vector<Run> runsOf(const ClipScanState& found, int channel, int32_t minimumRun) {
  const std::vector<Marker>& items = found.found[channel].items;
  std::vector<Run> runs;
  for (size_t i = 0; i < items.size(); ++i) {
    const Marker& m = items[i];
    const bool open = i + 1 == items.size() && found.run[channel] >= minimumRun;
    const int32_t width = open ? found.run[channel] : std::max(m.count, minimumRun);
    const int32_t first = m.position - (minimumRun - 1);
    runs.push_back({first, first + width - 1});
  }
  return runs;
}

}  // namespace

ClippingRepair repairClipping(WaveFile& doc, const ClipSearch& search, const ClipScanState& found,
                              const ClipRepairOptions& options) {
  ClippingRepair out;
  out.runs = static_cast<int64_t>(found.runs());
  Session& ctx = doc.ctx();
  const int32_t K = std::max(1, search.minimumRun);
  const bool editable[2] = {ctx.editLeft, ctx.editRight};
  const int32_t lastFrame = doc.lastFrame;

  // Runs close enough to share rows of the model go into one solve.
  struct Cluster {
    int channel;
    std::vector<Run> runs;
  };
  std::vector<Cluster> clusters;
  for (int c = 0; c < 2; ++c) {
    if (!editable[c]) continue;
    for (const Run& r : runsOf(found, c, K)) {
      Cluster* last = clusters.empty() || clusters.back().channel != c ? nullptr : &clusters.back();
      if (last && r.first - last->runs.back().last <= options.order &&
          r.last - last->runs.front().first < kClipClusterFrames)
        last->runs.push_back(r);
      else
        clusters.push_back({c, {r}});
    }
  }
  if (clusters.empty()) return out;

  // The records join the edit list as they are made, their step only after the pass.
  DirectWriteScope busy(doc);
  Progress progress(ctx, " Repairing:");
  const int64_t reach = static_cast<int64_t>(options.fitContext) + options.order;
  std::vector<int16_t> buf;
  for (size_t k = 0; k < clusters.size(); ++k) {
    if (!progress.step(percentOf(static_cast<int64_t>(k), static_cast<int64_t>(clusters.size())))) {
      out.stopped = true;
      break;
    }
    const Cluster& cl = clusters[k];
    const int32_t from = static_cast<int32_t>(std::max<int64_t>(0, cl.runs.front().first - reach));
    const int32_t to =
        static_cast<int32_t>(std::min<int64_t>(lastFrame, cl.runs.back().last + reach));
    buf.assign(2 * (static_cast<size_t>(to - from) + 1), 0);
    // Through the edits, this pass's own included: its rebuilt tops are still at or beyond
    // the level, so they are solved again, never fitted.
    doc.ReadFrames(true, buf.data(), from, to);
    std::vector<ClipSpan> spans;
    for (const Run& r : cl.runs) spans.push_back({r.first - from, r.last - from});
    const ClipRepairResult r =
        repairClippedSpans(buf.data() + cl.channel, to - from + 1, 2, spans, options);
    if (!r.repaired) continue;
    out.limited += r.limited;
    for (const Run& run : cl.runs) {
      auto rec = std::make_unique<Interpolation>();
      if (!doc.BeginBlock(*rec, run.first, run.last, cl.channel)) continue;
      for (int32_t f = run.first; f <= run.last; ++f)
        doc.PutSample(*rec, f, buf[2 * static_cast<size_t>(f - from) + cl.channel]);
      doc.FinishBlock(*rec);
      if (doc.AddEdit(std::move(rec), cl.channel)) {
        ++out.records;
        ++out.repaired;
      }
    }
  }
  return out;
}

std::string clippingRepairedText(const ClippingRepair& r) {
  std::string text = "Clipping repaired at " + std::to_string(r.repaired) + " of " +
                     std::to_string(r.runs) + " places";
  if (r.limited > 0) text += "; " + std::to_string(r.limited) + " samples stayed at full scale";
  return text;
}

}  // namespace tolmar
