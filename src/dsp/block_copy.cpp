#include "dsp/block_copy.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "declick/repair.h"
#include "document/wave_file.h"

namespace tolmar {

namespace {

constexpr int32_t kCopyChunkFrames = kChunkFrames - 1;

// The peak entries a step saved, spread over blocks first..last; blocks it did not save keep
// the current summary (nothing touched them since).
std::vector<uint16_t> savedOver(const std::vector<uint16_t>& summary, const UndoCount& step,
                                const std::vector<uint16_t>& saved, int32_t first, int32_t last) {
  std::vector<uint16_t> out(static_cast<size_t>(last - first + 1), 0);
  for (int32_t b = first; b <= last; ++b) {
    const size_t k = static_cast<size_t>(b - first);
    if (b - 1 < static_cast<int32_t>(summary.size())) out[k] = summary[b - 1];
    const int32_t i = b - step.firstBlock;
    if (i >= 0 && i < static_cast<int32_t>(saved.size())) out[k] = saved[i];
  }
  return out;
}

}  // namespace

bool MergeNewestUndoStep(WaveFile& doc) {
  auto& steps = doc.undoSteps;
  if (steps.size() < 2) return false;
  UndoCount& older = *steps[steps.size() - 2];
  UndoCount& newer = *steps.back();
  older.recordCount += newer.recordCount;
  older.large = older.large || newer.large;
  if (!newer.savedLeft.empty()) {
    if (older.savedLeft.empty()) {
      older.savedLeft = std::move(newer.savedLeft);
      older.savedRight = std::move(newer.savedRight);
      older.firstBlock = newer.firstBlock;
      older.lastBlock = newer.lastBlock;
    } else {
      // Where both saved a block, the older step's entry is the state before either.
      const int32_t first = std::min(older.firstBlock, newer.firstBlock);
      const int32_t last = std::max(older.lastBlock, newer.lastBlock);
      auto left = savedOver(doc.peakLeft, newer, newer.savedLeft, first, last);
      auto right = savedOver(doc.peakRight, newer, newer.savedRight, first, last);
      for (int32_t b = older.firstBlock; b <= older.lastBlock; ++b) {
        const size_t i = static_cast<size_t>(b - older.firstBlock);
        if (i >= older.savedLeft.size()) break;
        left[static_cast<size_t>(b - first)] = older.savedLeft[i];
        right[static_cast<size_t>(b - first)] = older.savedRight[i];
      }
      older.savedLeft = std::move(left);
      older.savedRight = std::move(right);
      older.firstBlock = first;
      older.lastBlock = last;
    }
  }
  steps.pop_back();
  return true;
}

int32_t TakeNewestUndoStep(WaveFile& doc) {
  if (doc.undoSteps.empty()) return 0;
  std::unique_ptr<UndoCount> step = std::move(doc.undoSteps.back());
  doc.undoSteps.pop_back();
  for (size_t k = 0; k < step->savedLeft.size(); ++k) {
    const size_t at = static_cast<size_t>(step->firstBlock - 1) + k;
    if (at < doc.peakLeft.size()) doc.peakLeft[at] = step->savedLeft[k];
    if (at < doc.peakRight.size() && k < step->savedRight.size())
      doc.peakRight[at] = step->savedRight[k];
  }
  return step->recordCount;
}

void SmoothCopyEdges(WaveFile& doc, MarkerList& markers, int32_t first, int32_t last, bool left,
                     bool right) {
  Session& ctx = doc.ctx();
  if (!doc.hasSelection()) return;
  if (!((left && ctx.editLeft) || (right && ctx.editRight))) return;
  const int32_t selStart = doc.selStart;
  const int32_t selEnd = doc.selEnd;
  for (const int32_t centre : {first, last}) {
    doc.selStart = std::max(0, centre - kEdgeSmoothFrames);
    doc.selEnd = std::min(doc.lastFrame, centre + kEdgeSmoothFrames);
    const size_t steps = doc.undoSteps.size();
    Interpolate(doc, markers, left, right, true);
    if (doc.undoSteps.size() > steps) MergeNewestUndoStep(doc);
  }
  doc.selStart = selStart;
  doc.selEnd = selEnd;
}

int32_t CopyEarlierBlock(WaveFile& doc, MarkerList& markers, int32_t sourceStart, bool right,
                         bool left, int32_t destStart, int32_t sourceEnd,
                         const BlockCopyOptions& options) {
  Session& ctx = doc.ctx();
  const int32_t offset = destStart - sourceStart;
  // Records outside the file would be written past its data at Save.
  const int32_t lo = std::max({sourceStart, 0, -offset});
  const int32_t hi = std::min({sourceEnd, doc.lastFrame + 1, doc.lastFrame + 1 - offset});
  if (lo >= hi || !(left || right)) return 0;
  if (!doc.BeginLargeEdit(lo, hi, kChunkFrames)) return 0;
  // The records go on the edit list chunk by chunk, their step only after the copy: an Undo or
  // Redo let through by the pump meanwhile would pair them with an earlier step.
  DirectWriteScope busy(doc);

  const bool channels[2] = {left, right};
  int32_t kept = 0;
  {
    Progress progress(ctx, " Copying:");
    const int32_t chunks = (hi - lo) / kChunkFrames + 1;
    std::vector<int16_t> buf(2 * static_cast<size_t>(std::min(kCopyChunkFrames, hi - lo)));
    int32_t p = lo;
    int32_t k = 0;
    do {
      const int32_t q = std::min(p + kCopyChunkFrames, hi);
      progress.step(percentOf(++k, chunks));
      doc.ReadFrames(true, buf.data(), p, q - 1);
      Interpolation* added[2] = {nullptr, nullptr};
      for (int c = 0; c < 2; ++c) {
        if (!channels[c]) continue;
        auto rec = std::make_unique<Interpolation>();
        doc.BeginBlock(*rec, p + offset, q - 1 + offset, c);
        for (int32_t f = p; f < q; ++f)
          doc.PutSample(*rec, f + offset, buf[2 * static_cast<size_t>(f - p) + c]);
        doc.FinishBlock(*rec);
        added[c] = doc.AddEdit(std::move(rec), c);
        if (added[c]) ++kept;
      }
      if (added[0] && added[1]) WaveFile::LinkChannels(added[0], added[1]);
      p = q;
    } while (p != hi && ctx.continueFlag);
  }

  int32_t result = 0;
  if (kept > 0) {
    doc.CommitEdit(kept, "Copy Block");
    if (options.smoothEdges) SmoothCopyEdges(doc, markers, lo + offset, hi + offset, left, right);
    result = doc.undoSteps.back()->recordCount;
  }
  if (options.refreshDisplay)
    ctx.requestRepaint(
        Repaint::samples(lo + offset - kEdgeSmoothFrames, hi + offset + kEdgeSmoothFrames));
  doc.EndLargeEdit();
  return result;
}

}  // namespace tolmar
