#pragma once
// Names for scratch files (the big-edit store, the deletion pass, track splitting) and for
// files that must not overwrite an existing one.

#include <array>
#include <cstdint>
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

// ---- Scratch files of ours ----
// A scratch file is created exclusively and locked by the process that makes it, for as long
// as that process uses it; it is renamed into place, or removed, while still open. One that nobody
// holds was left by a killed run. Ours are told from anything else by their name: beside their
// target, the target's name, ".tmp-" and sixteen hex digits whose last four check the rest
// against the target's name; the "TQnnnnnn" names anyone could give a file are ours only
// while their first bytes are kScratchMark, which is the case until the file is complete.

inline constexpr std::array<uint8_t, 8> kScratchMark = {'T', 'Q', '~', 'P', 'A', 'R', 'T', '~'};

// target + ".tmp-" + sixteen hex digits, fresh each call.
std::string scratchNameFor(const std::string& target);
// Whether the file name (no directory) is one that scratchNameFor makes.
bool isScratchName(const std::string& fileName);
// Whether it is the save journal of such a name (scratch name + ".tqj").
bool isScratchJournalName(const std::string& fileName);
// Creates `name` exclusively and locks it; false when the name is taken or cannot be made.
bool createScratch(BinaryFile& file, const std::string& name);

// Replaces the first bytes of an open scratch file (written already) with kScratchMark and
// keeps them in `head`; the file position is left where it was.
bool hideHead(BinaryFile& file, std::array<uint8_t, 8>& head);
// Puts them back once the rest of the file is written; the position is left at the end.
bool restoreHead(BinaryFile& file, const std::array<uint8_t, 8>& head);

// Removes the scratch files of ours that no process holds: those beside `wavPath` (with the
// journals of scratch files) and the
// "TQnnnnnn" ones in the temporary-directory setting's directory. Returns how many went.
int removeStaleScratchFiles(const std::string& wavPath, const std::string& tmpdirSetting);

// Whether another open of the file (another process, or another document of this one)
// holds its lock.
bool heldElsewhere(const std::string& path);

// path with 1, 2, 3, ... inserted before its extension ("a/song.wav" -> "a/song1.wav"; a path
// without extension gets the number at its end): the first such name that does not exist.
std::string makeNumberedFileName(const std::string& path);

// The directory part of `path`, "." for a bare name: where a file dialog opens beside it.
std::string directoryOf(const std::string& path);

// The process's working directory, or "" when it has none any more (the folder of the last
// batch run was deleted, say), so that a file dialog opens in its default place.
std::string workingDirectory();

}  // namespace tolmar
