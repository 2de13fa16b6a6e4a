#pragma once
// Pushing written bytes down to the storage device. A save is reported as done only after
// this succeeds, so a power cut right after "saved" cannot leave the old or a torn file.
// The implementation is the one platform call of the core and lives in src/platform/.

#include <cstdio>
#include <string>

namespace tolmar {

// Flushes the stream's buffer and asks the system to commit the file's data to storage.
bool syncStreamToStorage(std::FILE* f);
// Flushes the stream and asks the system to start writing its data to storage now, without
// waiting. Long writes call it as they go, so that the final commit finds little left to do.
void startWriteback(std::FILE* f);
// The same for a file that is not open (opened, committed, closed).
bool syncFileToStorage(const std::string& path);
// Commits the directory entry of `path` (after a rename or a new file), so the name survives
// too. Filesystems that cannot sync directories count as success.
bool syncDirectoryOf(const std::string& path);

// Takes an advisory lock on the open file without waiting; false when another open of it (in
// this process or another) holds one. Released when the file is closed or the process ends.
bool tryLockStream(std::FILE* f);

// Whether `path` names the very file open in the stream (not a link to it, nor a file that
// took the name since).
bool streamIsFile(std::FILE* f, const std::string& path);

enum class LockResult { Taken, HeldElsewhere, Unsupported };
// The same, telling a lock someone holds from a filesystem that keeps no locks.
LockResult lockStream(std::FILE* f);

}  // namespace tolmar
