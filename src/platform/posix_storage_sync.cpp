// POSIX side of committing files to storage.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

bool streamIsFile(std::FILE* f, const std::string& path) {
  struct stat open {};
  struct stat named {};
  if (!f || ::fstat(::fileno(f), &open) != 0 || ::lstat(path.c_str(), &named) != 0) return false;
  return open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

bool tryLockStream(std::FILE* f) {
  return lockStream(f) == LockResult::Taken;
}

LockResult lockStream(std::FILE* f) {
  if (!f) return LockResult::Unsupported;
  // flock, not fcntl: its lock belongs to this open of the file, so closing some other
  // descriptor of the same file elsewhere in the process does not drop it.
  for (;;) {
    if (::flock(::fileno(f), LOCK_EX | LOCK_NB) == 0) return LockResult::Taken;
    if (errno == EWOULDBLOCK) return LockResult::HeldElsewhere;
    if (errno != EINTR) return LockResult::Unsupported;
  }
}

}  // namespace tolmar
