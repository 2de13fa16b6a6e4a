#pragma once
// The WAV file a recording writes, kept openable at every moment: the header always claims
// exactly the sample bytes that were committed, and a commit (data to storage, then the header
// sizes, then storage again) happens at least once per second of recorded sound. A crash or a
// kill therefore loses at most the last commit interval, never the file.

#include <cstdint>
#include <string>

#include "document/binary_file.h"

namespace tolmar {

class RecordingFile {
 public:
  static constexpr int kCommitSeconds = 1;

  ~RecordingFile();

  // Creates the file with a header for no data and commits it. False when it cannot.
  bool create(const std::string& path, int rate);
  bool isOpen() const { return f_.isOpen(); }
  const std::string& path() const { return path_; }

  // Appends sample bytes (whole frames). False when the write comes up short, as on a full
  // disk: the file then keeps the whole frames that did land and takes no further writes.
  bool append(const void* bytes, uint32_t count);
  // Bytes of sample data in the file so far.
  uint32_t bytesWritten() const { return bytes_; }
  // The sample bytes the header and the storage are known to hold.
  uint32_t bytesCommitted() const { return committed_; }
  bool failed() const { return failed_; }

  // Writes the final sizes, commits and closes. False when the header could not be written.
  bool finish();

 private:
  bool commit();
  bool writeSizes(BinaryFile& f);
  void recoverAfterFailure();

  BinaryFile f_;
  std::string path_;
  int rate_ = 44100;
  uint32_t bytes_ = 0;
  uint32_t committed_ = 0;
  bool failed_ = false;
};

}  // namespace tolmar
