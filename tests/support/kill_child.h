#pragma once
// Running a piece of work in a forked child that stops dead at its n-th write boundary, as a
// kill there would leave it: no buffers flushed, no destructors run.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "document/save_journal.h"

namespace tolmar::test {

namespace kill_child {
inline constexpr int kStopped = 40;
inline constexpr int kFinished = 41;
inline int stopAt = -1;
inline int reached = 0;
inline void stopHere() {
  if (reached++ == stopAt) ::_exit(kStopped);
}
}  // namespace kill_child

// Runs fn in a child process that dies at boundary n (never when n < 0). Returns the number of
// boundaries reached when it ran to the end, -1 when it was stopped, -2 when it died otherwise.
template <class F>
int inChild(int n, const std::string& countFile, F fn) {
  using namespace kill_child;
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    stopAt = n;
    reached = 0;
    saveBoundaryHook = stopHere;
    fn();
    std::FILE* out = std::fopen(countFile.c_str(), "w");
    if (out) {
      std::fprintf(out, "%d", reached);
      std::fclose(out);
    }
    ::_exit(kFinished);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status)) return -2;
  if (WEXITSTATUS(status) == kStopped) return -1;
  if (WEXITSTATUS(status) != kFinished) return -2;
  int count = -2;
  if (std::FILE* in = std::fopen(countFile.c_str(), "r")) {
    if (std::fscanf(in, "%d", &count) != 1) count = -2;
    std::fclose(in);
  }
  return count;
}

}  // namespace tolmar::test
