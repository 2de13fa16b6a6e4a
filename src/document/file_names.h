#pragma once
// Names for scratch files (the big-edit store, the deletion pass, track splitting) and for
// files that must not overwrite an existing one.

#include <string>

namespace tolmar {

class Session;

// Picks the directory (the first non-empty of: directory, tmpdirSetting, the directory of
// documentPath, the system temporary directory) and returns "<dir>/TQnnnnnn" for the first
// six-digit n whose name is free. The file is created and deleted once to prove the directory
// writable; the result is empty when it cannot be created or every name is taken.
std::string makeTempFileName(const std::string& directory, const std::string& tmpdirSetting,
                             const std::string& documentPath);

// The same with the temporary-directory setting of the context.
std::string makeTempFileName(const Session& ctx, const std::string& directory,
                             const std::string& documentPath);

// Twelve random hex digits, for scratch names that parallel processes must not share.
std::string randomSuffix();

// path with 1, 2, 3, ... inserted before its extension ("a/song.wav" -> "a/song1.wav"; a path
// without extension gets the number at its end): the first such name that does not exist.
std::string makeNumberedFileName(const std::string& path);

}  // namespace tolmar
