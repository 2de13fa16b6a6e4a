// Writing the edit overlay into the file.

#include <algorithm>
#include <vector>

#include "document/save_journal.h"
#include "document/wav_format.h"
#include "document/wave_file.h"

namespace tolmar {

// Cancel can only stop a save where the file then holds exactly the oldest steps and nothing
// of the others, since undo cannot take back what is in the file. That is a step boundary that
// no run of overlapping records crosses; the steps between two such boundaries form a unit,
// and every frame of a unit is written once, from the view through the whole edit list.
WaveFile::SavePlan WaveFile::planSave() const {
  SavePlan plan;
  // Where each undo step's records begin, oldest step first; records before the first step
  // belong to none and go with it.
  std::vector<size_t> stepStart(undoSteps.size());
  size_t at = interps.size();
  for (size_t k = undoSteps.size(); k-- > 0;) {
    at -= std::min(at, static_cast<size_t>(std::max(undoSteps[k]->recordCount, 0)));
    stepStart[k] = at;
  }
  plan.stepStart = stepStart;
  const size_t groups = stepStart.size() + 1;
  const auto groupOf = [&](size_t record) {
    return static_cast<size_t>(std::upper_bound(stepStart.begin(), stepStart.end(), record) -
                               stepStart.begin());
  };

  struct Run {
    int32_t first, last;
    size_t minGroup, maxGroup;
  };
  std::vector<Run> runs;
  runs.reserve(interps.size());
  for (size_t i = 0; i < interps.size(); ++i) {
    const Interpolation& r = *interps[i];
    // Records never reach past the data, whatever they claim. A hidden record still ties its
    // step to the one hiding it.
    const int32_t first = std::max(r.start, 0);
    const int32_t last = std::min(r.end, frameCount - 1);
    if (first > last) continue;
    const size_t g = groupOf(i);
    runs.push_back({first, last, g, g});
  }
  std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.first < b.first; });
  // Overlapping records join: both channels of a frame are written together.
  std::vector<Run> joined;
  for (const Run& r : runs) {
    if (!joined.empty() && r.first <= joined.back().last) {
      Run& j = joined.back();
      j.last = std::max(j.last, r.last);
      j.minGroup = std::min(j.minGroup, r.minGroup);
      j.maxGroup = std::max(j.maxGroup, r.maxGroup);
    } else {
      joined.push_back(r);
    }
  }

  // crossing[g] > 0: some run spans the boundary just before group g.
  std::vector<int> crossing(groups + 1, 0);
  for (const Run& j : joined) {
    if (j.minGroup == j.maxGroup) continue;
    ++crossing[j.minGroup + 1];
    --crossing[j.maxGroup + 1];
  }
  std::vector<size_t> unitOf(groups);
  int open = 0;
  size_t unit = 0;
  for (size_t g = 0; g < groups; ++g) {
    open += crossing[g];
    if (g > 0 && open == 0) {
      plan.unitStart.push_back(stepStart[g - 1]);
      ++unit;
    }
    if (g == 0) plan.unitStart.push_back(0);
    unitOf[g] = unit;
  }

  plan.spans.reserve(joined.size());
  for (const Run& j : joined) plan.spans.push_back({j.first, j.last, unitOf[j.minGroup]});
  // The journal holds the same bytes, ascending, with touching runs as one region.
  for (const Run& j : joined) {
    const int64_t offset = dataOffset + int64_t{j.first} * 4;
    const int64_t bytes = (int64_t{j.last} - j.first + 1) * 4;
    if (!plan.regions.empty() && plan.regions.back().offset + plan.regions.back().bytes == offset) {
      plan.regions.back().bytes += bytes;
    } else {
      plan.regions.push_back({offset, bytes, 0});
    }
  }
  std::stable_sort(
      plan.spans.begin(), plan.spans.end(),
      [](const SavePlan::Span& a, const SavePlan::Span& b) { return a.unit < b.unit; });
  return plan;
}

std::vector<JournalRegion> WaveFile::regionsToOverwrite() const {
  return planSave().regions;
}

bool WaveFile::finalFrames(BinaryFile& f, int16_t* buf, int32_t first, int32_t last,
                           std::string& unreadable) {
  index_.query(interps, first, last, hits_);
  // Where the records replace both channels of every frame, the file's bytes are not needed.
  bool covered[2] = {false, false};
  for (int channel = 0; channel < 2; ++channel) {
    coverage_.clear();
    for (size_t pos : hits_) {
      const Interpolation& r = *interps[pos];
      if (r.active && r.channel == channel)
        coverage_.emplace_back(std::max(r.start, first), std::min(r.end, last));
    }
    std::sort(coverage_.begin(), coverage_.end());
    int64_t reached = int64_t{first} - 1;
    for (const auto& [a, b] : coverage_) {
      if (a > reached + 1) break;
      reached = std::max<int64_t>(reached, b);
    }
    covered[channel] = reached >= last;
  }
  const size_t frames = static_cast<size_t>(last - first + 1);
  if (!covered[0] || !covered[1]) {
    if (!f.seek(dataOffset + static_cast<int64_t>(first) * 4) || !f.readExact(buf, frames * 4)) {
      unreadable = path;
      return false;
    }
    samplesFromLittleEndian(buf, frames * 2);
  }
  for (size_t pos : hits_) {
    const Interpolation& r = *interps[pos];
    if (r.active && !applyRecord(r, buf, first, last)) {
      unreadable = store.path();
      return false;
    }
  }
  return true;
}

bool WaveFile::WriteEditsToFile(BinaryFile& f) {
  // The progress panel pumps messages: an Undo or Redo then would change the records under
  // the walk, and what it took back might already be in the file.
  DirectWriteScope busy(*this);
  invalidateReadStream();

  Progress progress(ctx_, " Updating:");
  const SavePlan plan = planSave();
  // The original bytes of everything about to be overwritten go to storage first: a save cut
  // short anywhere from here on is undone at the next open.
  const std::string journal = journalPathFor(path);
  bool journaled = false;
  BinaryFile held;
  if (journalSaves && !plan.regions.empty()) {
    switch (writeJournal(journal, held, f, f.size(), dataOffset, plan.regions)) {
      case JournalWriteError::None:
        journaled = true;
        break;
      case JournalWriteError::Taken:
        ctx_.error("Cannot save " + path + ": the save journal " + journal +
                   " of an earlier save is in the way");
        return false;
      case JournalWriteError::Write:
        ctx_.error("Failed to write to " + journal);
        return false;
      case JournalWriteError::ReadWav:
        ctx_.error("Failed to read from " + path);
        return false;
    }
  }
  int64_t total = 0;
  for (const SavePlan::Span& s : plan.spans) total += int64_t{s.last} - s.first + 1;

  std::vector<int16_t> buf(static_cast<size_t>(kChunkFrames) * 2);
  int64_t done = 0;
  bool ok = true;
  // What could not be read is never written: the buffer would hold silence or stale samples.
  std::string unreadable;
  const size_t units = plan.unitStart.size();
  size_t unit = 0;
  auto span = plan.spans.begin();
  for (; unit < units; ++unit) {
    if (!ctx_.continueFlag) break;
    for (; span != plan.spans.end() && span->unit == unit && ok; ++span) {
      for (int32_t a = span->first; a <= span->last && ok; a += kChunkFrames) {
        const int32_t b = std::min(span->last, a + kChunkFrames - 1);
        if (!finalFrames(f, buf.data(), a, b, unreadable)) {
          ok = false;
          break;
        }
        ok = WriteFramesDirectRaw(f, a, b, buf.data());
        saveBoundary();
        done += int64_t{b} - a + 1;
        progress.step(percentOf(done, total));
      }
    }
    if (!ok) break;
  }
  // A save that has not reached the disk is not reported as done.
  if (!f.sync()) ok = false;
  saveBoundary();
  if (!ok) {
    ctx_.error(unreadable.empty() ? "Failed to write to " + path
                                  : "Failed to read from " + unreadable);
  }
  // The units before this one are in the file. After a failure the journal takes them back,
  // unless there is none.
  size_t savedUnits = ok || !journaled ? unit : 0;
  bool keepJournal = false;
  if (!ok && journaled) {
    // A failure can come in the middle of a step: the whole save is taken back instead, so
    // that the file holds no half step. Should that fail too, the journal stays for the next
    // open to replay.
    BinaryFile check(journal, BinaryFile::Mode::Read);
    FileByteSource src(check);
    const JournalCheck written = checkJournal(src, f.size(), dataOffset);
    check.close();
    if (written.state != JournalState::Complete || !copyJournalBack(journal, written, f)) {
      keepJournal = true;
      ctx_.error("The previous contents of " + path + " will be put back from " + journal +
                 " when it is next opened");
    }
  }
  if (journaled && !keepJournal && !removeJournal(journal)) {
    // Left beside the file, it would take this save back at the next open.
    ctx_.error("Failed to remove " + journal);
    ok = false;
    savedUnits = 0;
  }
  if (!ok || savedUnits < units) {
    // Cancelled or failed: the steps already written are saved, so they leave the history.
    const size_t savedRecords = savedUnits < units ? plan.unitStart[savedUnits] : interps.size();
    const auto savedSteps =
        std::lower_bound(plan.stepStart.begin(), plan.stepStart.end(), savedRecords) -
        plan.stepStart.begin();
    interps.erase(interps.begin(), interps.begin() + static_cast<std::ptrdiff_t>(savedRecords));
    undoSteps.erase(undoSteps.begin(), undoSteps.begin() + savedSteps);
    index_.invalidate();
    return false;
  }
  interps.clear();
  index_.invalidate();
  return true;
}

void WaveFile::EndHistory() {
  undoSteps.clear();
  DiscardRedoData();
  store.remove();
}

}  // namespace tolmar
