// Undo steps: committing records, undo, redo and discarding the redo side.

#include <algorithm>

#include "document/wave_file.h"

namespace tolmar {

void WaveFile::DiscardRedoData() {
  if (redoSteps.empty() && redoRecords.empty()) return;
  Progress progress(ctx_, " Discarding Unused Redo Data:", false);
  const int64_t total = static_cast<int64_t>(redoSteps.size() + redoRecords.size());
  int64_t done = 0;
  // Freed newest first so that a partner is never left pointing at a freed twin.
  while (!redoSteps.empty()) {
    redoSteps.pop_back();
    progress.step(percentOf(++done, total));
  }
  while (!redoRecords.empty()) {
    redoRecords.pop_back();
    progress.step(percentOf(++done, total));
  }
}

void WaveFile::reorganiseAll() {
  for (auto& r : interps) {
    r->active = true;
    r->effStart = r->start;
    r->effEnd = r->end;
  }
  OrganiseEdits();
}

Repaint WaveFile::newestStepSpan() const {
  if (undoSteps.empty()) return Repaint::all();
  const size_t n = std::min(static_cast<size_t>(undoSteps.back()->recordCount), interps.size());
  int64_t first = INT64_MAX;
  int64_t last = -1;
  for (size_t i = interps.size() - n; i < interps.size(); ++i) {
    first = std::min<int64_t>(first, interps[i]->start);
    last = std::max<int64_t>(last, interps[i]->end);
  }
  return last < 0 ? Repaint::all() : Repaint::samples(first, last);
}

bool WaveFile::CommitEdit(int32_t recordCount, const std::string& caption) {
  if (stepFailed_) {
    stepFailed_ = false;
    // Half an effect on the list would be written by Save as if it were whole.
    for (int32_t k = 0; k < recordCount && !interps.empty(); ++k) interps.pop_back();
    index_.invalidate();
    displayOutOfDate = true;
    reorganiseAll();
    return false;
  }
  if (recordCount < 1) return false;
  // Both progress panels below pump messages while the step's records are on the list but the
  // step is not: an Undo or Redo then would pair records with the wrong step.
  DirectWriteScope busy(*this);
  DiscardRedoData();
  auto step = std::make_unique<UndoCount>(recordCount, caption, bigEditMode);
  const size_t n = std::min(static_cast<size_t>(recordCount), interps.size());
  const size_t firstIdx = interps.size() - n;

  if (hasPeaks() && n > 0) {
    // Entries still waiting for a rescan are measured first, without this step's records, so
    // that what Undo puts back describes the audio as it was.
    if (!rescanQueue.empty()) {
      std::vector<bool> active;
      for (size_t i = firstIdx; i < interps.size(); ++i) {
        active.push_back(interps[i]->active);
        interps[i]->active = false;
      }
      ProcessRescanQueue();
      for (size_t i = firstIdx; i < interps.size(); ++i) interps[i]->active = active[i - firstIdx];
    }
    // The saved range spans every block any record of the step touches, so that undo restores
    // all of them even when the step's records are not in frame order.
    int32_t first = interps[firstIdx]->firstBlock;
    int32_t last = interps.back()->lastBlock;
    for (size_t i = firstIdx; i < interps.size(); ++i) {
      first = std::min(first, interps[i]->firstBlock);
      last = std::max(last, interps[i]->lastBlock);
    }
    last = std::min(last, peakBlockCount());
    first = std::max(first, 1);
    step->firstBlock = first;
    step->lastBlock = last;
    if (first <= last) {
      step->savedLeft.assign(peakLeft.begin() + (first - 1), peakLeft.begin() + last);
      step->savedRight.assign(peakRight.begin() + (first - 1), peakRight.begin() + last);
    }

    Progress progress(ctx_, " Rescanning:", false);
    // Per block and channel, the largest peak of the step's records replaces the entry.
    std::vector<uint16_t> merged[2];
    std::vector<uint8_t> touched[2];
    const size_t span = static_cast<size_t>(std::max(0, last - first + 1));
    for (int c = 0; c < 2; ++c) {
      merged[c].assign(span, 0);
      touched[c].assign(span, 0);
    }
    for (size_t i = firstIdx; i < interps.size(); ++i) {
      const Interpolation& r = *interps[i];
      for (int32_t b = std::max(r.firstBlock, first); b <= std::min(r.lastBlock, last); ++b) {
        const size_t k = static_cast<size_t>(b - first);
        merged[r.channel][k] = std::max(merged[r.channel][k], r.peaks[b - r.firstBlock]);
        touched[r.channel][k] = 1;
        // A record's peak only speaks for the frames it covers; a block it covers in part
        // is measured again before the next paint.
        const int32_t bs = (b - 1) * kPeakBlockFrames;
        if (r.start > bs || r.end < bs + kPeakBlockFrames - 1) QueueRescan(b);
      }
      progress.step(percentOf(static_cast<int64_t>(i - firstIdx + 1), static_cast<int64_t>(n)));
    }
    for (size_t k = 0; k < span; ++k) {
      if (touched[0][k]) peakLeft[k + first - 1] = merged[0][k];
      if (touched[1][k]) peakRight[k + first - 1] = merged[1][k];
    }
  }
  undoSteps.push_back(std::move(step));
  displayOutOfDate = true;
  return true;
}

namespace {
void swapPeaks(std::vector<uint16_t>& doc, std::vector<uint16_t>& saved, int32_t first) {
  for (size_t k = 0; k < saved.size(); ++k) {
    const size_t at = static_cast<size_t>(first - 1) + k;
    if (at < doc.size()) std::swap(doc[at], saved[k]);
  }
}
}  // namespace

bool WaveFile::Undo() {
  if (painting || organising || directWriting || undoSteps.empty()) return false;
  // The entries swapped out are put back by Redo: measure the pending ones first.
  ProcessRescanQueue();
  std::unique_ptr<UndoCount> step = std::move(undoSteps.back());
  undoSteps.pop_back();
  swapPeaks(peakLeft, step->savedLeft, step->firstBlock);
  swapPeaks(peakRight, step->savedRight, step->firstBlock);
  for (int32_t k = 0; k < step->recordCount; ++k) {
    if (interps.empty()) {
      ctx_.error("bad undo!");
      break;
    }
    redoRecords.push_back(std::move(interps.back()));
    interps.pop_back();
  }
  redoSteps.push_back(std::move(step));
  index_.invalidate();
  displayOutOfDate = true;
  reorganiseAll();
  return true;
}

bool WaveFile::Redo() {
  if (painting || organising || directWriting || redoSteps.empty()) return false;
  ProcessRescanQueue();
  std::unique_ptr<UndoCount> step = std::move(redoSteps.back());
  redoSteps.pop_back();
  swapPeaks(peakLeft, step->savedLeft, step->firstBlock);
  swapPeaks(peakRight, step->savedRight, step->firstBlock);
  for (int32_t k = 0; k < step->recordCount && !redoRecords.empty(); ++k) {
    interps.push_back(std::move(redoRecords.back()));
    redoRecords.pop_back();
  }
  undoSteps.push_back(std::move(step));
  displayOutOfDate = true;
  reorganiseAll();
  return true;
}

std::string WaveFile::undoCaption() const {
  return undoSteps.empty() ? "Undo" : "Undo " + undoSteps.back()->caption;
}

std::string WaveFile::redoCaption() const {
  return redoSteps.empty() ? "Redo" : "Redo " + redoSteps.back()->caption;
}

}  // namespace tolmar
