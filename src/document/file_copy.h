#pragma once
// Whole-file copies and moves under a progress panel, and the free-space test made before them.

#include <cstdint>
#include <optional>
#include <string>
#include <system_error>

#include "document/binary_file.h"

namespace tolmar {

class Session;

// The place a free-space message names for `path`: the directory it is written into. (There
// are no drive letters here; the directory is what the user recognises.)
std::string volumeText(const std::string& path);

// Whether the filesystem that `path` is (or would be) written on has at least `bytes` free for
// this user. A failing query counts as not enough.
bool enoughDiskSpace(const std::string& path, uint64_t bytes);

// Whether the two paths name one file, whatever their spelling (links, "..", relative parts).
bool sameFile(const std::string& a, const std::string& b);

// Copies source to destination in 5000-byte chunks under `caption`, shows its own errors
// ("Not enough free space on disk ...", "Failed to write file ...") and deletes the destination
// when it fails or is cancelled. A destination that is the source itself is refused untouched.
bool copyFileWithProgress(Session& ctx, const std::string& source, const std::string& destination,
                          const std::string& caption);

// The copy itself, into `out`: opened at `destination` with `openMode`, or, without one, already
// open there (a claimed scratch file). Shows the same messages; on failure or Cancel `out` is
// closed and the destination deleted. On success `out` stays open and committed.
bool copyFileInto(Session& ctx, const std::string& source, BinaryFile& out,
                  const std::string& destination, const std::string& caption,
                  std::optional<BinaryFile::Mode> openMode);

// Moves source to destination: a rename when both lie on one filesystem (an existing
// destination is replaced in one step), else a copy with progress followed by deleting the
// source. Returns the platform's error (empty on success) and shows none itself beyond the
// copy's own messages; the source stays in place whenever the move fails. When the move was a
// copy and `placed` is given, it receives the copy, still open and locked under the
// destination's name, so that the caller can hold the file without a moment's gap.
std::error_code moveFileWithProgress(Session& ctx, const std::string& source,
                                     const std::string& destination, const std::string& caption,
                                     BinaryFile* placed = nullptr);

}  // namespace tolmar
