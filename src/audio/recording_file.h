#pragma once
// The WAV file a recording writes, kept openable at every moment: the header always claims
// exactly the sample bytes that were committed, and a commit (data to storage, then the header
// sizes, then storage again) is asked for once per second of recorded sound. A crash or a
// kill therefore loses at most the last commit interval, never the file.
//
// Commits run on a thread of their own, through a second descriptor of the file: a storage
// flush can take longer than the input queue holds, and the sound must not wait for it.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

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
  uint32_t bytesCommitted() const { return committed_.load(std::memory_order_acquire); }
  bool failed() const { return failed_; }

  // Writes the final sizes, commits and closes. False when the header could not be written.
  bool finish();

  // Runs on the committing thread before each commit (tests hold a commit up with it).
  std::function<void()> commitStarting;

 private:
  static bool writeSizes(BinaryFile& f, uint32_t bytes);
  void commitLoop();
  void stopCommitter();
  void recoverAfterFailure();

  BinaryFile f_;
  std::string path_;
  int rate_ = 44100;
  uint32_t bytes_ = 0;
  uint32_t requested_ = 0;
  std::atomic<uint32_t> committed_{0};
  bool failed_ = false;

  // The committing thread's own descriptor and hand-over.
  BinaryFile header_;
  std::thread committer_;
  std::mutex mutex_;
  std::condition_variable wake_;
  uint32_t wanted_ = 0;  // under mutex_
  bool stopping_ = false;
  std::atomic<bool> commitFailed_{false};
};

}  // namespace tolmar
