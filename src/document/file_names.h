#pragma once
// Names for scratch files (the big-edit store, the deletion pass, track splitting) and for
// files that must not overwrite an existing one.

#include <string>

namespace tolmar {

class BinaryFile;
class Session;

// Picks the directory (the first non-empty of: directory, tmpdirSetting, the directory of
// documentPath, the system temporary directory), creates "<dir>/TQnnnnnn" exclusively for the
// first six-digit n whose name nobody holds, leaves it open in `file` and returns its name.
// Names taken meanwhile by another process are passed over, so two processes never share one.
// The result is empty (and `file` closed) when nothing can be created there.
std::string claimTempFile(BinaryFile& file, const std::string& directory,
                          const std::string& tmpdirSetting, const std::string& documentPath);

// The same with the temporary-directory setting of the context.
std::string claimTempFile(BinaryFile& file, const Session& ctx, const std::string& directory,
                          const std::string& documentPath);

// Twelve random hex digits, for scratch names that parallel processes must not share.
std::string randomSuffix();

// path with 1, 2, 3, ... inserted before its extension ("a/song.wav" -> "a/song1.wav"; a path
// without extension gets the number at its end): the first such name that does not exist.
std::string makeNumberedFileName(const std::string& path);

}  // namespace tolmar
