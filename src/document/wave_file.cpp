// The document: opening, destroying and the shared read stream.

#include "document/wave_file.h"

#include <algorithm>

#include "document/file_names.h"
#include "document/wav_format.h"

namespace tolmar {

WaveFile::WaveFile(Session& ctx) : ctx_(ctx) {}

WaveFile::~WaveFile() {
  // Unsaved edits die with the document, so the summary must not keep their peaks: put the
  // saved entries back, newest step first, before the cache is written.
  for (auto it = undoSteps.rbegin(); it != undoSteps.rend(); ++it) {
    UndoCount& s = **it;
    for (size_t k = 0; k < s.savedLeft.size(); ++k) {
      const size_t at = static_cast<size_t>(s.firstBlock - 1) + k;
      if (at < peakLeft.size()) {
        peakLeft[at] = s.savedLeft[k];
        peakRight[at] = s.savedRight[k];
      }
    }
  }
  if (hasPeaks()) {
    interps.clear();
    index_.invalidate();
    ProcessRescanQueue();
    WritePeakCache();
  }
  store.remove();
}

bool WaveFile::Open(const std::string& filePath, bool strict, int initialDisplaySeconds) {
  BinaryFile f;
  f.openOrThrow(filePath, BinaryFile::Mode::Read);
  FileByteSource src(f);
  const WavParseResult r = parseWavHeader(src, strict, ctx_.sampleRate, ctx_.headerCopy);
  if (r.adoptRate && !strict) {
    ctx_.sampleRate = r.sampleRate;
    ctx_.playBufferFrames = r.sampleRate / 10;
    ctx_.compatibleSearchSpan = r.sampleRate / 10;
  }
  if (!r.accepted) return false;
  f.close();
  path = filePath;
  lockedElsewhere_ = false;
  if (lockForWriting && relock() == LockResult::HeldElsewhere) {
    // Its journal and its scratch files are the other process's business.
    lockedElsewhere_ = true;
  } else {
    recoverInterruptedSave(filePath, r.dataOffset, ctx_);
    if (lockForWriting) removeStaleScratchFiles(filePath, ctx_.settings.tmpdir);
  }
  dataOffset = r.dataOffset;
  dataBytes = r.dataBytes;
  frameCount = r.frameCount;
  lastFrame = frameCount - 1;
  viewStart = 0;
  int64_t width = frameCount;
  if (initialDisplaySeconds > 0)
    width = std::min<int64_t>(width, static_cast<int64_t>(initialDisplaySeconds) * ctx_.sampleRate);
  viewWidth = static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(width, 6), frameCount));
  selStart = selEnd = -1;
  reader_.close();
  return true;
}

LockResult WaveFile::relock() {
  // A file the user may not write needs no lock: nothing will write it.
  if (!fileWritable(path)) {
    lock_.close();
    return LockResult::Unsupported;
  }
  if (lock_.isOpen() && lock_.isNamed(path)) {
    // The same open again: flock on it converts the lock in place, so it is never released.
    const LockResult r = lock_.lock();
    if (r != LockResult::Taken) lock_.close();
    return r;
  }
  // The new lock comes before the old one goes, for when both name one file.
  BinaryFile next;
  if (!next.open(path, BinaryFile::Mode::Read)) {
    lock_.close();
    return LockResult::Unsupported;
  }
  const LockResult r = next.lock();
  lock_.close();
  if (r == LockResult::Taken) lock_ = std::move(next);
  return r;
}

BinaryFile& WaveFile::readStream() {
  if (!reader_.isOpen()) reader_.open(path, BinaryFile::Mode::Read);
  return reader_;
}

int32_t WaveFile::clampToFile(int32_t frame) const {
  return std::clamp(frame, 0, std::max(0, lastFrame));
}

}  // namespace tolmar
