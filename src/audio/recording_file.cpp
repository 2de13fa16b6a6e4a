#include "audio/recording_file.h"

#include <filesystem>

#include "document/storage_sync.h"
#include "document/wav_format.h"

namespace tolmar {

RecordingFile::~RecordingFile() {
  if (f_.isOpen())
    finish();
  else
    stopCommitter();
}

bool RecordingFile::create(const std::string& path, int rate) {
  stopCommitter();
  path_ = path;
  rate_ = rate;
  bytes_ = requested_ = 0;
  committed_ = 0;
  failed_ = false;
  commitFailed_ = false;
  if (!f_.open(path, BinaryFile::Mode::Create)) return false;
  // An empty but valid WAV from the first moment, so that even a crash in the first second
  // leaves a file that opens.
  if (!writeWavHeader(f_, 0, rate) || !f_.sync() ||
      !header_.open(path, BinaryFile::Mode::ReadWrite)) {
    f_.close();
    return false;
  }
  syncDirectoryOf(path);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    wanted_ = 0;
    stopping_ = false;
  }
  committer_ = std::thread([this] { commitLoop(); });
  return true;
}

bool RecordingFile::append(const void* bytes, uint32_t count) {
  if (failed_ || !f_.isOpen()) return false;
  if (static_cast<uint64_t>(bytes_) + count > kMaxWavDataBytes) {
    recoverAfterFailure();
    return false;
  }
  const size_t n = f_.write(bytes, count);
  if (n != count || !f_.flush()) {
    recoverAfterFailure();
    return false;
  }
  bytes_ += count;
  if (commitFailed_.load(std::memory_order_acquire)) {
    recoverAfterFailure();
    return false;
  }
  if (bytes_ - requested_ >= static_cast<uint32_t>(rate_) * 4 * kCommitSeconds) {
    // The written bytes are with the system (flushed above): the other descriptor sees them.
    requested_ = bytes_;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      wanted_ = bytes_;
    }
    wake_.notify_one();
  }
  return true;
}

bool RecordingFile::writeSizes(BinaryFile& f, uint32_t bytes) {
  return f.seek(4) && f.writeU32(bytes + 36) && f.seek(40) && f.writeU32(bytes) && f.flush();
}

void RecordingFile::commitLoop() {
  uint32_t done = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stopping_ || wanted_ != done; });
    if (stopping_) return;
    const uint32_t bytes = wanted_;
    lock.unlock();
    if (commitStarting) commitStarting();
    // The samples reach storage before the header that claims them; a flush of either
    // descriptor commits the whole file.
    const bool ok = header_.sync() && writeSizes(header_, bytes) && header_.sync();
    lock.lock();
    if (!ok) {
      commitFailed_ = true;
      return;
    }
    done = bytes;
    committed_.store(bytes, std::memory_order_release);
  }
}

void RecordingFile::stopCommitter() {
  if (!committer_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  committer_.join();
  header_.close();
}

void RecordingFile::recoverAfterFailure() {
  stopCommitter();
  failed_ = true;
  // What the stream still buffers cannot be trusted to land: start again from what the file
  // really holds, in whole frames.
  f_.close();
  std::error_code ec;
  const auto size = std::filesystem::file_size(path_, ec);
  if (ec || size < static_cast<uintmax_t>(kWavHeaderBytes)) return;
  uint64_t data = (size - kWavHeaderBytes) / 4 * 4;
  if (data > kMaxWavDataBytes) data = kMaxWavDataBytes / 4 * 4;
  std::filesystem::resize_file(path_, kWavHeaderBytes + data, ec);
  bytes_ = static_cast<uint32_t>(data);
  BinaryFile f;
  if (!f.open(path_, BinaryFile::Mode::ReadWrite)) return;
  if (writeSizes(f, bytes_) && f.sync()) committed_ = bytes_;
}

bool RecordingFile::finish() {
  stopCommitter();
  if (!f_.isOpen()) return !failed_ || committed_ == bytes_;
  const bool ok = f_.flush() && writeSizes(f_, bytes_) && f_.sync();
  if (ok) committed_ = bytes_;
  f_.close();
  return ok;
}

}  // namespace tolmar
