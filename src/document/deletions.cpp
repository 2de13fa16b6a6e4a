#include "document/deletions.h"

#include <algorithm>

#include "base/session.h"
#include "document/binary_file.h"
#include "document/save_journal.h"
#include "document/wav_format.h"
#include "document/wave_file.h"

namespace tolmar {

namespace {

constexpr size_t kCopyChunkBytes = 5000;
constexpr int64_t kFrameBytes = 4;

void mergeDeletions(std::vector<Deletion>& marks) {
  bool merged = true;
  while (merged) {
    merged = false;
    for (size_t i = 0; i + 1 < marks.size(); ++i) {
      Deletion& a = marks[i];
      const Deletion& b = marks[i + 1];
      if (static_cast<int64_t>(a.end) + 1 >= b.start) {
        a.end = std::max(a.end, b.end);
        marks.erase(marks.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        merged = true;
      }
    }
  }
}

}  // namespace

void addDeletionMark(std::vector<Deletion>& marks, Deletion mark) {
  if (mark.end < mark.start) std::swap(mark.start, mark.end);
  auto at = std::upper_bound(marks.begin(), marks.end(), mark.start,
                             [](int32_t start, const Deletion& d) { return start < d.start; });
  marks.insert(at, mark);
  mergeDeletions(marks);
}

void addInsertionMark(std::vector<Insertion>& marks, Insertion mark) {
  auto at = std::upper_bound(marks.begin(), marks.end(), mark.position,
                             [](int32_t pos, const Insertion& m) { return pos < m.position; });
  marks.insert(at, mark);
}

bool insideDeletion(const std::vector<Deletion>& deletions, int64_t position) {
  for (const Deletion& d : deletions)
    if (d.start <= position && position <= d.end) return true;
  return false;
}

int64_t countDeletedFrames(const std::vector<Deletion>& deletions, int64_t from, int64_t to) {
  int64_t total = 0;
  for (const Deletion& d : deletions) {
    const int64_t a = std::max<int64_t>(d.start, from);
    const int64_t b = std::min<int64_t>(d.end, to);
    if (a <= b) total += b - a + 1;
  }
  return total;
}

int64_t countInsertedFrames(const std::vector<Insertion>& insertions,
                            const std::vector<Deletion>& deletions, int64_t from, int64_t to) {
  int64_t total = 0;
  for (const Insertion& m : insertions)
    if (from <= m.position && m.position <= to && !insideDeletion(deletions, m.position))
      total += m.length;
  return total;
}

int64_t positionAfterEdits(const std::vector<Deletion>& deletions,
                           const std::vector<Insertion>& insertions, int64_t position) {
  return position - countDeletedFrames(deletions, -1, position) +
         countInsertedFrames(insertions, deletions, -1, position);
}

int64_t msToFrames(int64_t ms, int rate) {
  return rate == 48000 ? ms * 48 : ms * 44 + ms / 10;
}

int32_t cdFrameFrames(int rate) {
  return rate == 48000 ? 640 : 588;
}

int64_t roundUpToCdFrame(int64_t position, int rate) {
  const int64_t cd = cdFrameFrames(rate);
  if (position <= 0) return 0;
  return (position + cd - 1) / cd * cd;
}

EditPlan planEdits(const std::vector<Deletion>& deletions, const std::vector<Insertion>& insertions,
                   int32_t frameCount) {
  EditPlan plan;
  plan.frameCount = frameCount;
  for (Deletion d : deletions) {
    d.start = std::max(d.start, 0);
    d.end = std::min(d.end, frameCount - 1);
    if (d.start <= d.end) plan.deletions.push_back(d);
  }
  std::stable_sort(plan.deletions.begin(), plan.deletions.end(),
                   [](const Deletion& a, const Deletion& b) { return a.start < b.start; });
  mergeDeletions(plan.deletions);

  int64_t inserted = 0;
  for (const Insertion& m : insertions) {
    if (m.length <= 0 || m.position < 0 || m.position > frameCount) continue;
    if (insideDeletion(plan.deletions, m.position)) continue;
    plan.insertions.push_back(m);
    inserted += m.length;
  }
  std::stable_sort(plan.insertions.begin(), plan.insertions.end(),
                   [](const Insertion& a, const Insertion& b) { return a.position < b.position; });
  plan.newFrameCount =
      frameCount - countDeletedFrames(plan.deletions, 0, frameCount - 1) + inserted;
  return plan;
}

bool writeRebuiltFrames(Session& ctx, const EditPlan& plan, BinaryFile& src, int64_t dataOffset,
                        const std::string& srcPath, BinaryFile& dst, const std::string& dstPath) {
  Progress progress(ctx, " Writing temp file:");
  const int64_t total = std::max<int64_t>(plan.newFrameCount, 1);
  int64_t written = 0;
  std::vector<uint8_t> buf(kCopyChunkBytes);
  const std::vector<uint8_t> zeros(static_cast<size_t>(kChunkFrames * kFrameBytes), 0);

  auto writeFailed = [&] {
    ctx.error("Failed to write to " + dstPath);
    ctx.cancel();
    return false;
  };
  auto readFailed = [&] {
    ctx.error("Failed to read from " + srcPath);
    ctx.cancel();
    return false;
  };

  // Frames a..b of the source, inclusive.
  auto copyFrames = [&](int64_t a, int64_t b) {
    if (a > b) return ctx.continueFlag;
    if (!src.seek(dataOffset + a * kFrameBytes)) return readFailed();
    int64_t bytes = (b - a + 1) * kFrameBytes;
    while (bytes > 0 && ctx.continueFlag) {
      const size_t n = static_cast<size_t>(std::min<int64_t>(bytes, kCopyChunkBytes));
      if (src.read(buf.data(), n) != n) return readFailed();
      if (dst.write(buf.data(), n) != n) return writeFailed();
      saveBoundary();
      bytes -= static_cast<int64_t>(n);
      written += static_cast<int64_t>(n) / kFrameBytes;
      progress.step(percentOf(written, total));
    }
    return ctx.continueFlag;
  };
  auto writeSilence = [&](int64_t frames) {
    while (frames > 0 && ctx.continueFlag) {
      const int64_t n = std::min<int64_t>(frames, kChunkFrames);
      const size_t bytes = static_cast<size_t>(n * kFrameBytes);
      if (dst.write(zeros.data(), bytes) != bytes) return writeFailed();
      saveBoundary();
      frames -= n;
      written += n;
      progress.step(percentOf(written, total));
    }
    return ctx.continueFlag;
  };

  size_t next = 0;  // the next insertion, in position order
  // Frames a..b with the silences positioned among them; the last stretch also takes those
  // positioned just after it (at the end of the file).
  auto stretch = [&](int64_t a, int64_t b, bool last) {
    const int64_t limit = last ? b + 1 : b;
    while (next < plan.insertions.size() && plan.insertions[next].position <= limit) {
      const Insertion& m = plan.insertions[next++];
      if (m.position < a) continue;
      if (!copyFrames(a, m.position - 1) || !writeSilence(m.length)) return false;
      a = m.position;
    }
    return copyFrames(a, b);
  };

  int64_t cursor = 0;
  bool ok = true;
  for (const Deletion& d : plan.deletions) {
    ok = stretch(cursor, static_cast<int64_t>(d.start) - 1, false);
    if (!ok) break;
    cursor = static_cast<int64_t>(d.end) + 1;
  }
  if (ok) ok = stretch(cursor, static_cast<int64_t>(plan.frameCount) - 1, true);
  return ok && ctx.continueFlag && written == plan.newFrameCount;
}

namespace {

bool copyRange(BinaryFile& src, int64_t from, int64_t bytes, BinaryFile& dst) {
  std::vector<uint8_t> buf(kCopyChunkBytes);
  if (!src.seek(from)) return false;
  while (bytes > 0) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(bytes, kCopyChunkBytes));
    if (!src.readExact(buf.data(), n) || !dst.writeExact(buf.data(), n)) return false;
    bytes -= static_cast<int64_t>(n);
  }
  return true;
}

}  // namespace

WavLayout wavLayoutOf(const std::string& path, int64_t dataOffset, uint32_t dataBytes) {
  WavLayout layout;
  layout.headerBytes = dataOffset;
  BinaryFile f;
  uint32_t riffSize = 0;
  if (!f.open(path, BinaryFile::Mode::Read) || !f.seek(4) || !f.readU32(riffSize)) return layout;
  const int64_t fileBytes = f.size();
  const int64_t riffEnd = std::min<int64_t>(fileBytes, int64_t{riffSize} + 8);
  layout.trailerStart = dataOffset + dataBytes + (dataBytes & 1);
  layout.trailerBytes = wellFormedChunkBytes(f, layout.trailerStart, riffEnd);
  return layout;
}

bool writeRebuiltHeader(BinaryFile& src, const WavLayout& layout, uint32_t newDataBytes,
                        BinaryFile& dst) {
  if (layout.headerBytes < kWavHeaderBytes) return false;
  if (!copyRange(src, 0, layout.headerBytes, dst)) return false;
  const int64_t riffSize = layout.headerBytes - 8 + newDataBytes + layout.trailerBytes;
  if (riffSize > 0xFFFFFFFFll) return false;
  const bool ok = dst.seek(4) && dst.writeU32(static_cast<uint32_t>(riffSize)) &&
                  dst.seek(layout.headerBytes - 4) && dst.writeU32(newDataBytes);
  return ok && dst.seek(layout.headerBytes);
}

bool copyTrailer(BinaryFile& src, const WavLayout& layout, BinaryFile& dst) {
  return layout.trailerBytes == 0 || copyRange(src, layout.trailerStart, layout.trailerBytes, dst);
}

}  // namespace tolmar
