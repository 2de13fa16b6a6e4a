// Feeds arbitrary bytes to the save journal reader and checks what it promises before anything
// is written from a journal: only a Complete journal has regions, and they are ascending,
// disjoint, non-empty, inside the data of the file it names and inside the journal itself.
//
// A random trailer never carries the right checksum, so when the input ends in a trailer its
// checksum is filled in first: the structural checks are then reached with a trusted sum.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "document/binary_file.h"
#include "document/save_journal.h"
#include "document/wav_format.h"

using namespace tolmar;

namespace {
uint64_t loadU64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  if (size >= static_cast<size_t>(kJournalHeaderBytes + kJournalTrailerBytes) &&
      std::memcmp(&bytes[size - kJournalTrailerBytes], "TQJEND1\n", 8) == 0) {
    JournalChecksum sum;
    sum.update(bytes.data(), size - kJournalTrailerBytes + 16);
    const uint64_t v = sum.value();
    for (int i = 0; i < 8; ++i) bytes[size - 8 + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  // The file it is checked against: the one the header names, so that Complete is reachable.
  int64_t wavSize = 1 << 20, dataOffset = 44;
  if (size >= 24) {
    wavSize = static_cast<int64_t>(loadU64(&bytes[8]) & 0x7fffffffffffull);
    dataOffset = static_cast<int64_t>(loadU64(&bytes[16]) & 0x7fffffffffffull);
  }
  MemoryByteSource src(bytes.data(), bytes.size());
  const JournalCheck check = checkJournal(src, wavSize, dataOffset);
  if (check.state != JournalState::Complete) {
    if (!check.regions.empty()) std::abort();
    return 0;
  }
  int64_t previousEnd = dataOffset;
  for (const JournalRegion& r : check.regions) {
    if (r.bytes <= 0 || r.offset < previousEnd || r.offset + r.bytes > wavSize) std::abort();
    if (r.at < kJournalHeaderBytes || r.at + r.bytes > static_cast<int64_t>(size)) std::abort();
    previousEnd = r.offset + r.bytes;
  }
  return 0;
}
