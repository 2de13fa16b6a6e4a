#pragma once
// Makes this process's writes fail past a size, as a full disk would, for the object's lifetime.
// The signal the limit raises is ignored, so a write past it simply comes up short.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

namespace tolmar::test {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    if (getrlimit(RLIMIT_FSIZE, &old_) != 0) ADD_FAILURE() << "getrlimit failed";
    handler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old_;
    limited.rlim_cur = bytes;
    if (setrlimit(RLIMIT_FSIZE, &limited) != 0) ADD_FAILURE() << "setrlimit failed";
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit old_{};
  void (*handler_)(int) = SIG_DFL;
};

}  // namespace tolmar::test
