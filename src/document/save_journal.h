#pragma once
// The rollback journal of Save. Before Save writes into a WAV file in place, the original
// bytes of every region it is about to overwrite go into "<file>.tqj" beside it, committed to
// storage; the journal goes once the file is committed. A journal found beside a file at open
// means a save was cut short: its bytes put the file back as it was before that save.
//
// Layout, little-endian:
//   header   "TQJRNL1\n", u64 size of the WAV file, u64 offset of its data
//   region   u64 offset in the WAV file, u64 length, then the original bytes (repeated)
//   trailer  "TQJEND1\n", u64 number of regions, u64 checksum of every byte before the
//            trailer and of the region count
// Regions are ascending, disjoint, non-empty and inside the file's data. A journal without its
// trailer was cut short before the WAV file was touched.

#include <cstdint>
#include <string>
#include <vector>

namespace tolmar {

class BinaryFile;
class ByteSource;
class Session;

// Test seam: called after every write, storage commit and rename of Save, of a journal's
// replay, of the rebuild of Execute Deletions/Insertions, of file copies and of the range
// writer, so that a test can stop the process there. Null unless a test sets it.
extern void (*saveBoundaryHook)();
inline void saveBoundary() {
  if (saveBoundaryHook) saveBoundaryHook();
}

inline constexpr int64_t kJournalHeaderBytes = 24;
inline constexpr int64_t kJournalRegionHeaderBytes = 16;
inline constexpr int64_t kJournalTrailerBytes = 24;

std::string journalPathFor(const std::string& wavPath);

struct JournalRegion {
  int64_t offset = 0;  // in the WAV file
  int64_t bytes = 0;
  int64_t at = 0;  // where its bytes begin in the journal (set by the reader)
};

enum class JournalState {
  Complete,    // trusted: its bytes may be put back
  Incomplete,  // cut short while being written: the WAV file was never touched
  Foreign,     // not a journal of ours
  Corrupt,     // malformed or failing its checksum
  Mismatch,    // well-formed, but written for a file of another size or layout
};

struct JournalCheck {
  JournalState state = JournalState::Foreign;
  int64_t wavSize = 0;
  int64_t dataOffset = 0;
  std::vector<JournalRegion> regions;
};

// Walks a journal image and checks it against the file beside it. Never trusts a length before
// checking it against the image's size; regions are only returned for Complete journals.
JournalCheck checkJournal(ByteSource& journal, int64_t wavSize, int64_t dataOffset);

// A 64-bit checksum fed in pieces of any size; the same bytes give the same value however they
// are split.
class JournalChecksum {
 public:
  void update(const uint8_t* p, size_t n);
  uint64_t value() const;

 private:
  void mix(uint64_t word);
  uint64_t h_ = 0x9e3779b97f4a7c15ull;
  uint64_t length_ = 0;
  uint8_t pending_[8] = {};
  size_t pendingBytes_ = 0;
};

// Why writing the journal failed.
enum class JournalWriteError { None, Taken, Write, ReadWav };

// Creates the journal exclusively at `journalPath` with the original bytes of `regions`
// (ascending, disjoint, inside the file) read from `wav`, and commits it and its directory
// entry. `journal` stays open with a lock on it, so that no other process replays it while
// the save runs: close it after removeJournal. On failure nothing of it is left behind, unless
// the name was taken already.
JournalWriteError writeJournal(const std::string& journalPath, BinaryFile& journal, BinaryFile& wav,
                               int64_t wavSize, int64_t dataOffset,
                               const std::vector<JournalRegion>& regions);

// Copies a Complete journal's bytes back into `wav` and commits it. False when a read or a
// write failed (the journal must then stay).
bool copyJournalBack(const std::string& journalPath, const JournalCheck& check, BinaryFile& wav);

// Removes the journal and commits the directory entry.
bool removeJournal(const std::string& journalPath);

// At open, with the data offset its header gave: puts back the original bytes from a complete
// journal beside `wavPath`, removes an incomplete one, leaves an untrusted one alone, and tells
// the user what it did through `ctx`.
void recoverInterruptedSave(const std::string& wavPath, int64_t dataOffset, Session& ctx);

}  // namespace tolmar
