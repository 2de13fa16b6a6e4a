// Writing the edit overlay into the file.

#include <algorithm>
#include <vector>

#include "document/save_journal.h"
#include "document/wav_format.h"
#include "document/wave_file.h"

namespace tolmar {

namespace {

bool isZeroLine(const Interpolation& r, int channel) {
  return r.kind == Interpolation::Line && r.channel == channel && r.startValue == 0 &&
         r.endValue == 0;
}
}  // namespace

std::vector<JournalRegion> WaveFile::regionsToOverwrite() const {
  std::vector<std::pair<int32_t, int32_t>> spans;
  for (const auto& r : interps) {
    if (!r->active) continue;
    const int32_t first = std::max(r->start, 0);
    const int32_t last = std::min(r->end, frameCount - 1);
    if (first <= last) spans.emplace_back(first, last);
  }
  std::sort(spans.begin(), spans.end());
  std::vector<JournalRegion> regions;
  int32_t first = 0, last = -2;
  const auto flush = [&] {
    if (last >= first)
      regions.push_back({dataOffset + int64_t{first} * 4, (int64_t{last} - first + 1) * 4, 0});
  };
  for (const auto& [a, b] : spans) {
    if (a > last + 1) {
      flush();
      first = a;
      last = b;
    } else {
      last = std::max(last, b);
    }
  }
  flush();
  return regions;
}

bool WaveFile::WriteEditsToFile(BinaryFile& f) {
  // The progress panel pumps messages: an Undo or Redo then would change the records under
  // the walk, and what it took back might already be in the file.
  DirectWriteScope busy(*this);
  invalidateReadStream();

  Progress progress(ctx_, " Updating:");
  // The original bytes of everything about to be overwritten go to storage first: a save cut
  // short anywhere from here on is undone at the next open.
  const std::string journal = journalPathFor(path);
  bool journaled = false;
  BinaryFile held;
  if (journalSaves) {
    const std::vector<JournalRegion> regions = regionsToOverwrite();
    if (!regions.empty()) {
      switch (writeJournal(journal, held, f, f.size(), dataOffset, regions)) {
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
  }
  int64_t total = 0;
  for (const auto& r : interps)
    if (r->active) total += r->end - r->start;
  if (total == 0) total = 1;

  for (auto& r : interps) r->written = false;
  std::vector<int16_t> buf(static_cast<size_t>(kChunkFrames) * 2);
  int64_t done = 0;
  bool ok = true;
  // What could not be read is never written: the buffer would hold silence or stale samples.
  std::string unreadable;

  // Where each undo step's records begin, oldest step first. A cancel is honoured only there:
  // undo cannot take back what is in the file, so every step goes in whole or not at all.
  std::vector<size_t> stepStart(undoSteps.size());
  size_t at = interps.size();
  for (size_t k = undoSteps.size(); k-- > 0;) {
    at -= std::min(at, static_cast<size_t>(std::max(undoSteps[k]->recordCount, 0)));
    stepStart[k] = at;
  }

  // A record skipped as hidden is in the file only once the records hiding it are: no cancel
  // before the last of them.
  size_t hiddenUntil = 0;
  // The last step boundary reached with every earlier record in the file.
  size_t safeStop = 0;
  size_t i = 0;
  for (; i < interps.size() && ok; ++i) {
    if (i >= hiddenUntil && (i == 0 || std::binary_search(stepStart.begin(), stepStart.end(), i))) {
      if (!ctx_.continueFlag) break;
      safeStop = i;
    }
    Interpolation& r = *interps[i];
    if (!r.active) {
      for (size_t k = interps.size(); k-- > i + 1;) {
        const Interpolation& l = *interps[k];
        if (l.channel == r.channel && l.start <= r.end && r.start <= l.end) {
          hiddenUntil = std::max(hiddenUntil, k + 1);
          break;
        }
      }
    }
    if (!r.active || r.written) continue;
    // Records never reach past the data, whatever they claim.
    const int32_t first = std::max(r.start, 0);
    const int32_t last = std::min(r.end, frameCount - 1);

    const bool silencePair = i + 1 < interps.size() && isZeroLine(r, 0) &&
                             isZeroLine(*interps[i + 1], 1) && interps[i + 1]->active &&
                             interps[i + 1]->start == r.start && interps[i + 1]->end == r.end;
    Interpolation* partner = r.partner;
    if (partner && (partner->start != r.start || partner->end != r.end)) partner = nullptr;

    for (int32_t a = first; a <= last && ok; a += kChunkFrames) {
      const int32_t b = std::min(last, a + kChunkFrames - 1);
      const size_t frames = static_cast<size_t>(b - a + 1);
      if (silencePair) {
        std::fill(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(frames * 2), 0);
      } else {
        if (!partner) {
          if (!f.seek(dataOffset + static_cast<int64_t>(a) * 4) ||
              !f.readExact(buf.data(), frames * 4)) {
            unreadable = path;
            break;
          }
          samplesFromLittleEndian(buf.data(), frames * 2);
        }
        if (!applyRecord(r, buf.data(), a, b) ||
            (partner && !applyRecord(*partner, buf.data(), a, b))) {
          unreadable = store.path();
          break;
        }
      }
      ok = WriteFramesDirectRaw(f, a, b, buf.data());
      saveBoundary();
    }
    if (!unreadable.empty()) {
      ok = false;
      break;
    }
    if (silencePair) {
      interps[i + 1]->written = true;
      ++i;
    }
    if (partner) partner->written = true;
    done += r.end - r.start;
    progress.step(percentOf(done, total));
  }
  // Every record up to i went into the file, unless a read or write failed on the way.
  bool walked = ok;
  // A save that has not reached the disk is not reported as done.
  if (!f.sync()) ok = false;
  saveBoundary();
  if (!ok) {
    ctx_.error(unreadable.empty() ? "Failed to write to " + path
                                  : "Failed to read from " + unreadable);
  }
  bool keepJournal = false;
  if (!ok && journaled) {
    // A failure can come in the middle of a step: the whole save is taken back instead, so
    // that the file holds no half step. Should that fail too, the journal stays for the next
    // open to replay.
    BinaryFile check(journal, BinaryFile::Mode::Read);
    FileByteSource src(check);
    const JournalCheck written = checkJournal(src, f.size(), dataOffset);
    check.close();
    walked = false;
    safeStop = 0;
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
    walked = false;
    safeStop = 0;
  }
  if (!ok || i < interps.size()) {
    // Cancelled or failed: the steps already written are saved, so they leave the history.
    const size_t savedRecords = walked ? i : safeStop;
    const auto savedSteps =
        std::lower_bound(stepStart.begin(), stepStart.end(), savedRecords) - stepStart.begin();
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
