#include "audio/recording_file.h"

#include <filesystem>

#include "document/storage_sync.h"
#include "document/wav_format.h"

namespace tolmar {

RecordingFile::~RecordingFile() {
  if (f_.isOpen()) finish();
}

bool RecordingFile::create(const std::string& path, int rate) {
  path_ = path;
  rate_ = rate;
  bytes_ = committed_ = 0;
  failed_ = false;
  if (!f_.open(path, BinaryFile::Mode::Create)) return false;
  // An empty but valid WAV from the first moment, so that even a crash in the first second
  // leaves a file that opens.
  if (!writeWavHeader(f_, 0, rate) || !f_.sync()) {
    f_.close();
    return false;
  }
  syncDirectoryOf(path);
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
  if (bytes_ - committed_ >= static_cast<uint32_t>(rate_) * 4 * kCommitSeconds && !commit()) {
    recoverAfterFailure();
    return false;
  }
  return true;
}

bool RecordingFile::writeSizes(BinaryFile& f) {
  return f.seek(4) && f.writeU32(bytes_ + 36) && f.seek(40) && f.writeU32(bytes_) &&
         f.seek(kWavHeaderBytes + static_cast<int64_t>(bytes_));
}

bool RecordingFile::commit() {
  // The samples reach storage before the header that claims them.
  if (!f_.sync() || !writeSizes(f_) || !f_.sync()) return false;
  committed_ = bytes_;
  return true;
}

void RecordingFile::recoverAfterFailure() {
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
  if (writeSizes(f) && f.sync()) committed_ = bytes_;
}

bool RecordingFile::finish() {
  if (!f_.isOpen()) return !failed_ || committed_ == bytes_;
  const bool ok = f_.flush() && writeSizes(f_) && f_.sync();
  if (ok) committed_ = bytes_;
  f_.close();
  return ok;
}

}  // namespace tolmar
