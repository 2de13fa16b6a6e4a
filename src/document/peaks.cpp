// The per-1000-frame peak summary and its cache file.

#include <algorithm>
#include <filesystem>
#include <vector>

#include "document/peak_cache.h"
#include "document/wave_file.h"

namespace tolmar {

namespace fs = std::filesystem;

void WaveFile::storeBlockPeaks(int32_t block, const int16_t* frames, int32_t count) {
  if (block < 1 || block > static_cast<int32_t>(peakLeft.size())) return;
  framePeaks(frames, static_cast<size_t>(count), peakLeft[block - 1], peakRight[block - 1]);
}

void WaveFile::BuildPeakSummary() {
  if (!ctx_.settings.newstylewaveform) return;
  peakLeft.clear();
  peakRight.clear();
  rescanQueue.clear();
  if (LoadPeakCache()) return;

  const int32_t blocks = peakBlockCount();
  std::vector<uint16_t> left(static_cast<size_t>(blocks), 0);
  std::vector<uint16_t> right(static_cast<size_t>(blocks), 0);
  bool complete = true;
  {
    Progress progress(ctx_, " Scanning:");
    BinaryFile f;
    if (!f.open(path, BinaryFile::Mode::Read) || !f.seek(dataOffset)) return;
    // Read many blocks at a time; only frames inside the data are ever read.
    constexpr int32_t kBlocksPerRead = 256;
    std::vector<int16_t> buf(static_cast<size_t>(kBlocksPerRead) * kPeakBlockFrames * 2);
    for (int32_t b = 1; b <= blocks && complete; b += kBlocksPerRead) {
      const int32_t firstFrame = (b - 1) * kPeakBlockFrames;
      const int32_t frames = std::min(kBlocksPerRead * kPeakBlockFrames, frameCount - firstFrame);
      size_t got = 0;
      if (frames > 0) {
        got = f.read(buf.data(), static_cast<size_t>(frames) * 4) / 4;
        samplesFromLittleEndian(buf.data(), got * 2);
      }
      for (int32_t k = 0; k < kBlocksPerRead && b + k <= blocks; ++k) {
        if (!progress.step(percentOf(b + k, blocks))) {
          complete = false;
          break;
        }
        const size_t at = static_cast<size_t>(k) * kPeakBlockFrames;
        if (at >= got) continue;
        const size_t n = std::min<size_t>(kPeakBlockFrames, got - at);
        framePeaks(buf.data() + 2 * at, n, left[b + k - 1], right[b + k - 1]);
      }
    }
  }
  if (!complete) return;  // a cancelled scan leaves no summary
  peakLeft = std::move(left);
  peakRight = std::move(right);
  WritePeakCache();
  displayOutOfDate = true;
}

void WaveFile::RescanBlock(int32_t block) {
  if (block < 1 || block > static_cast<int32_t>(peakLeft.size())) return;
  std::vector<int16_t> buf(static_cast<size_t>(kPeakBlockFrames) * 2);
  const int32_t first = (block - 1) * kPeakBlockFrames;
  ReadFrames(true, buf.data(), first, first + kPeakBlockFrames - 1);
  storeBlockPeaks(block, buf.data(), kPeakBlockFrames);
}

void WaveFile::RescanSelection() {
  if (!hasPeaks() || selStart < 0 || selEnd < 0) return;
  Progress progress(ctx_, " Rescanning:");
  const int32_t first = peakBlockOf(selStart);
  const int32_t last = peakBlockOf(selEnd);
  for (int32_t b = first; b <= last && ctx_.continueFlag; ++b) {
    if (!progress.step(percentOf(b - first, std::max(1, last - first)))) break;
    RescanBlock(b);
  }
  displayOutOfDate = true;
}

void WaveFile::QueueRescan(int32_t block) {
  if (hasPeaks() && block >= 1 && block <= peakBlockCount()) rescanQueue.insert(block);
}

void WaveFile::ProcessRescanQueue() {
  for (int32_t b : rescanQueue) RescanBlock(b);
  rescanQueue.clear();
}

std::string WaveFile::peakCachePath() const {
  return fs::path(path).replace_extension(".qed").string();
}

bool WaveFile::LoadPeakCache() {
  const std::string cache = peakCachePath();
  std::error_code ec;
  if (!fs::exists(cache, ec)) return false;
  const auto cacheTime = fs::last_write_time(cache, ec);
  if (ec) return false;
  const auto wavTime = fs::last_write_time(path, ec);
  if (ec || cacheTime < wavTime) return false;
  const auto size = fs::file_size(cache, ec);
  // Only a file of exactly the expected size is read at all.
  const uint64_t expected = 4 + 4 * static_cast<uint64_t>(peakBlockCount());
  if (ec || size != expected) return false;
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  BinaryFile f;
  if (!f.open(cache, BinaryFile::Mode::Read) || !f.readExact(bytes.data(), bytes.size()))
    return false;
  return parsePeakCache(bytes.data(), bytes.size(), peakBlockCount(), peakLeft, peakRight);
}

bool WaveFile::WritePeakCache() {
  // The process that holds the file keeps its cache.
  if (!hasPeaks() || lockedElsewhere_) return false;
  const std::vector<uint8_t> bytes = makePeakCache(peakLeft, peakRight);
  BinaryFile f;
  if (!f.open(peakCachePath(), BinaryFile::Mode::Create)) return false;
  if (f.writeExact(bytes.data(), bytes.size()) && f.flush()) return true;
  f.close();
  // A half-written cache would be newer than the WAV and trusted next time.
  std::error_code ec;
  fs::remove(peakCachePath(), ec);
  return false;
}

void WaveFile::DeletePeakCache() {
  peakLeft.clear();
  peakRight.clear();
  rescanQueue.clear();
  std::error_code ec;
  fs::remove(peakCachePath(), ec);
}

}  // namespace tolmar
