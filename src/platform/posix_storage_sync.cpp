// POSIX side of committing files to storage.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "document/storage_sync.h"

namespace tolmar {

namespace {
bool syncDescriptor(int fd) {
  for (;;) {
    if (::fsync(fd) == 0) return true;
    if (errno != EINTR) return false;
  }
}
}  // namespace

bool syncStreamToStorage(std::FILE* f) {
  if (!f || std::fflush(f) != 0) return false;
  return syncDescriptor(::fileno(f));
}

void startWriteback(std::FILE* f) {
  if (!f || std::fflush(f) != 0) return;
#if defined(__linux__)
  ::sync_file_range(::fileno(f), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

bool syncFileToStorage(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = syncDescriptor(fd);
  return ::close(fd) == 0 && ok;
}

bool syncDirectoryOf(const std::string& path) {
  std::filesystem::path dir = std::filesystem::path(path).parent_path();
  if (dir.empty()) dir = ".";
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = syncDescriptor(fd);
  // Some filesystems refuse fsync on a directory; their rename is as durable as it gets.
  if (!ok && (errno == EINVAL || errno == ENOTSUP)) ok = true;
  ::close(fd);
  return ok;
}

bool tryLockStream(std::FILE* f) {
  if (!f) return false;
  for (;;) {
    if (::flock(::fileno(f), LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EINTR) return false;
  }
}

}  // namespace tolmar
