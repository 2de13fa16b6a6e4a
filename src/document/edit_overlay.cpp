// Building edit records and reading audio through them.

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

#include "document/file_names.h"
#include "document/storage_sync.h"
#include "document/wave_file.h"

namespace tolmar {

namespace {

uint16_t magnitude(int16_t v) {
  return static_cast<uint16_t>(std::abs(static_cast<int32_t>(v)));
}

}  // namespace

int16_t Interpolation::lineValueAt(int32_t frame) const {
  // 64-bit so that long lines with a large rise cannot overflow; the quotient truncates toward
  // zero as 32-bit arithmetic would have where it did not overflow.
  const int64_t rise = static_cast<int64_t>(endValue) - startValue;
  const int64_t run = static_cast<int64_t>(end) - start;
  if (run == 0) return startValue;
  return static_cast<int16_t>(startValue + rise * (static_cast<int64_t>(frame) - start) / run);
}

bool WaveFile::BeginBlock(Interpolation& rec, int32_t first, int32_t last, int channel) {
  rec.start = rec.effStart = first;
  rec.end = rec.effEnd = last;
  rec.channel = static_cast<uint8_t>(channel);
  rec.kind = Interpolation::Block;
  rec.highestWritten = -1;
  rec.samples.assign(static_cast<size_t>(last - first + 1), 0);
  rec.byteSize = static_cast<int64_t>(last - first + 1) * 2;
  rec.firstBlock = peakBlockOf(first);
  rec.lastBlock = peakBlockOf(last);
  rec.peaks.assign(static_cast<size_t>(rec.lastBlock - rec.firstBlock + 1), 0);
  rec.spilled = false;
  rec.active = true;
  return true;
}

void WaveFile::PutSample(Interpolation& rec, int32_t frame, int16_t value) {
  rec.samples[static_cast<size_t>(frame - rec.start)] = value;
  rec.highestWritten = std::max(rec.highestWritten, frame);
}

void WaveFile::buildRecordPeaks(Interpolation& rec) {
  rec.firstBlock = peakBlockOf(rec.start);
  rec.lastBlock = peakBlockOf(rec.end);
  rec.peaks.assign(static_cast<size_t>(rec.lastBlock - rec.firstBlock + 1), 0);
  for (int32_t f = rec.start; f <= rec.end; ++f) {
    const int16_t v = rec.kind == Interpolation::Block
                          ? rec.samples[static_cast<size_t>(f - rec.start)]
                          : rec.lineValueAt(f);
    uint16_t& p = rec.peaks[static_cast<size_t>(peakBlockOf(f) - rec.firstBlock)];
    p = std::max(p, magnitude(v));
  }
}

void WaveFile::FinishBlock(Interpolation& rec) {
  if (rec.highestWritten >= 0) {
    rec.end = rec.effEnd = rec.highestWritten;
    rec.byteSize = static_cast<int64_t>(rec.end - rec.start + 1) * 2;
    rec.samples.resize(static_cast<size_t>(rec.end - rec.start + 1));
  }
  buildRecordPeaks(rec);
  if (bigEditMode && rec.byteSize >= 2 * static_cast<int64_t>(chunkSize) - 2) spill(rec);
}

void WaveFile::spill(Interpolation& rec) {
  if (!store.isOpen()) {
    BinaryFile file;
    const std::string name = claimTempFile(file, ctx_, "", path);
    if (name.empty()) {
      ctx_.error("Failed to write edit data to file (disk full?)");
      ctx_.continueFlag = false;
      failStep();
      return;
    }
    store.adopt(std::move(file), name);
  }
  const int64_t pos = store.append(rec.samples.data(), static_cast<int64_t>(rec.samples.size()));
  if (pos < 0) {
    ctx_.error("Failed to write edit data to file (disk full?)");
    ctx_.continueFlag = false;
    failStep();
    return;
  }
  rec.storePos = pos;
  rec.spilled = true;
  std::vector<int16_t>().swap(rec.samples);
}

Interpolation* WaveFile::AddEdit(std::unique_ptr<Interpolation> rec, int channel) {
  if (channel == 1 && !ctx_.editRight) return nullptr;
  if (channel == 0 && !ctx_.editLeft) return nullptr;
  interps.push_back(std::move(rec));
  return interps.back().get();
}

Interpolation* WaveFile::AddLinearEdit(int32_t a, int32_t b, int16_t va, int16_t vb, int channel) {
  if (a == b) return nullptr;
  if (b < a) {
    std::swap(a, b);
    std::swap(va, vb);
  }
  auto rec = std::make_unique<Interpolation>();
  rec->start = rec->effStart = a;
  rec->end = rec->effEnd = b;
  rec->channel = static_cast<uint8_t>(channel);
  rec->startValue = va;
  rec->endValue = vb;
  rec->kind = Interpolation::Line;
  buildRecordPeaks(*rec);
  return AddEdit(std::move(rec), channel);
}

void WaveFile::LinkChannels(Interpolation* left, Interpolation* right) {
  if (left && right && left->channel == 0 && left->kind == Interpolation::Block)
    left->partner = right;
}

int16_t WaveFile::SampleAt(const Interpolation& rec, int32_t frame) {
  if (rec.kind == Interpolation::Line) return rec.lineValueAt(frame);
  if (!rec.spilled) return rec.samples[static_cast<size_t>(frame - rec.start)];
  int16_t v = 0;
  store.read(rec.storePos + static_cast<int64_t>(frame - rec.start) * 2, &v, 1);
  return v;
}

bool WaveFile::EditedSampleAt(int32_t frame, int channel, int16_t& value) {
  index_.query(interps, frame, frame, hits_);
  for (auto it = hits_.rbegin(); it != hits_.rend(); ++it) {
    const Interpolation& r = *interps[*it];
    if (r.channel == channel) {
      value = SampleAt(r, frame);
      return true;
    }
  }
  return false;
}

bool WaveFile::applyRecord(const Interpolation& rec, int16_t* buf, int32_t first, int32_t last) {
  const int32_t from = std::max(rec.start, first);
  const int32_t to = std::min(rec.end, last);
  if (from > to) return true;
  int16_t* out = buf + 2 * static_cast<size_t>(from - first) + rec.channel;
  const size_t n = static_cast<size_t>(to - from + 1);
  if (rec.kind == Interpolation::Line) {
    for (int32_t f = from; f <= to; ++f, out += 2) *out = rec.lineValueAt(f);
    return true;
  }
  const int16_t* src;
  if (rec.spilled) {
    spillBuf_.resize(n);
    if (!store.read(rec.storePos + static_cast<int64_t>(from - rec.start) * 2, spillBuf_.data(),
                    static_cast<int64_t>(n)))
      return false;
    src = spillBuf_.data();
  } else {
    src = rec.samples.data() + (from - rec.start);
  }
  for (size_t i = 0; i < n; ++i) out[2 * i] = src[i];
  return true;
}

void WaveFile::ReadFrames(BinaryFile& f, bool applyEdits, int16_t* buf, int32_t first,
                          int32_t last) {
  if (last < first) return;
  const size_t total = static_cast<size_t>(last - first + 1);
  // Frames outside the file read as silence.
  const int32_t from = std::max(first, 0);
  const int32_t to = std::min(last, frameCount - 1);
  size_t got = 0;
  if (from <= to) {
    int16_t* dst = buf + 2 * static_cast<size_t>(from - first);
    const size_t want = static_cast<size_t>(to - from + 1) * 4;
    if (f.seek(dataOffset + static_cast<int64_t>(from) * 4)) got = f.read(dst, want) / 4;
    samplesFromLittleEndian(dst, got * 2);
  }
  // Zero whatever was not read: before the file, a short read, after the file. A range wholly
  // before the file has fewer frames than it lies before frame 0.
  const size_t before = std::min(static_cast<size_t>(int64_t{from} - first), total);
  if (before > 0) std::memset(buf, 0, before * 4);
  const size_t filled = before + got;
  if (filled < total) std::memset(buf + 2 * filled, 0, (total - filled) * 4);

  if (!applyEdits || interps.empty()) return;
  index_.query(interps, first, last, hits_);
  for (size_t pos : hits_) {
    const Interpolation& r = *interps[pos];
    if (r.active) applyRecord(r, buf, first, last);
  }
}

bool WaveFile::WriteFramesDirectRaw(BinaryFile& f, int32_t first, int32_t last,
                                    const int16_t* buf) {
  if (last < first) return true;
  if (&f != &reader_) invalidateReadStream();
  const size_t frames = static_cast<size_t>(last - first + 1);
  if (!f.seek(dataOffset + static_cast<int64_t>(first) * 4)) return false;
  if constexpr (std::endian::native == std::endian::little) {
    return f.writeExact(buf, frames * 4);
  } else {
    std::vector<uint8_t> le(frames * 4);
    for (size_t i = 0; i < frames * 2; ++i) storeU16(&le[2 * i], static_cast<uint16_t>(buf[i]));
    return f.writeExact(le.data(), le.size());
  }
}

bool WaveFile::finishDirectWrite() {
  invalidateReadStream();
  if (syncFileToStorage(path)) return true;
  ctx_.error("Failed to write to " + path);
  return false;
}

bool WaveFile::WriteFramesDirect(BinaryFile& f, int32_t first, int32_t last, const int16_t* buf) {
  if (last < first) return true;
  const bool ok = WriteFramesDirectRaw(f, first, last, buf);
  if (!hasPeaks()) return ok;
  const int32_t firstBlock = peakBlockOf(first);
  const int32_t lastBlock = peakBlockOf(last);
  for (int32_t b = firstBlock; b <= lastBlock; ++b) {
    const int32_t bs = (b - 1) * kPeakBlockFrames;
    const int32_t be = bs + kPeakBlockFrames - 1;
    if (bs >= first && be <= last)
      storeBlockPeaks(b, buf + 2 * static_cast<size_t>(bs - first), kPeakBlockFrames);
  }
  QueueRescan(firstBlock);
  QueueRescan(lastBlock);
  return ok;
}

bool WaveFile::BeginLargeEdit(int32_t first, int32_t last, int chunkFrames) {
  if (!ctx_.inMacroOrBatch()) {
    for (auto it = undoSteps.rbegin(); it != undoSteps.rend(); ++it) {
      if (!(*it)->large) continue;
      const std::string q =
          "There are unsaved large edits (" + (*it)->caption + ").\r\r" +
          "This means that this operation is likely to run very slowly. " +
          "It would be better to review the current set of edits and " +
          "save (or undo) them before proceeding.\r\rDo you wish to proceed anyway?";
      if (!ctx_.askYesNo(q)) return false;
      break;
    }
  }
  bigEditMode = !ctx_.settings.bigeditsinmemory &&
                     static_cast<int64_t>(last) - first >
                   static_cast<int64_t>(ctx_.settings.bigeditthresh) * ctx_.sampleRate;
  overlayNonEmpty = !interps.empty();
  chunkSize = chunkFrames;
  stepFailed_ = false;
  return true;
}

void WaveFile::EndLargeEdit() {
  bigEditMode = false;
  stepFailed_ = false;
  if (overlayNonEmpty) OrganiseEdits();
  overlayNonEmpty = true;
  ctx_.refreshCommands();
}

void WaveFile::OrganiseEdits() {
  if (organising) return;
  organising = true;
  std::unique_ptr<Progress> progress;
  const size_t count = interps.size();
  if (count > 400) progress = std::make_unique<Progress>(ctx_, " Organising:");
  ctx_.continueFlag = true;
  size_t comparisons = 0;
  for (size_t i = 0; i < count && ctx_.continueFlag; ++i) {
    if (progress) progress->step(percentOf(static_cast<int64_t>(i), static_cast<int64_t>(count)));
    Interpolation& r = *interps[i];
    if (!r.active || r.kind != Interpolation::Block || !r.spilled) continue;
    for (size_t j = i + 1; j < count && r.active && ctx_.continueFlag; ++j) {
      const Interpolation& l = *interps[j];
      if (l.active && l.channel == r.channel) {
        if (l.start <= r.start && r.end <= l.end) {
          r.active = false;
        } else if (l.start < r.start && r.start <= l.end) {
          r.effStart = l.end + 1;
          if (r.effEnd < r.effStart) r.active = false;
        } else if (l.start <= r.end && r.end < l.end) {
          r.effEnd = l.start - 1;
          if (r.effEnd < r.effStart) r.active = false;
        }
      }
      // Cancel stays live without paying for a message pass on every comparison.
      if (++comparisons % 64 == 0) ctx_.pump();
    }
  }
  progress.reset();
  organising = false;
}

}  // namespace tolmar
