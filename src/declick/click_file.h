#pragma once
// The click file (".clk"): both click lists, little-endian, no header. A signed 32-bit count n,
// n records, a signed 32-bit count m, m records; a record is position (signed 32-bit),
// polarity (1 byte), channel (1 byte).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "declick/glitch_list.h"

namespace tolmar {

class BinaryFile;

struct ClickFileContents {
  GlitchList stored;
  GlitchList falseClicks;
};

inline constexpr size_t kClickRecordBytes = 6;

// Reading never trusts the counts: a count larger than what is left, or a negative one, reads
// records up to the end of the data; a partial record is ignored. Records go through
// GlitchList::Add, so one equal to its predecessor is dropped; a record whose channel is
// neither 0 nor 1 is no click of this program and is skipped.
ClickFileContents parseClickFile(const uint8_t* data, size_t size);
ClickFileContents readClickFile(BinaryFile& file);

// The file image; a missing stored list is written as an empty one.
std::vector<uint8_t> clickFileImage(const GlitchList* stored, const GlitchList& falseClicks);
// Creates (or overwrites) the file; throws FileError when it cannot be created or written.
void writeClickFile(const std::string& path, const GlitchList* stored,
                    const GlitchList& falseClicks);

}  // namespace tolmar
