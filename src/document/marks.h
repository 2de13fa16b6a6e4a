#pragma once

#include <cstdint>

namespace tolmar {

// A section marked for deletion (inclusive frames).
struct Deletion {
  int32_t start = 0;
  int32_t end = 0;
};

// A silence of `length` frames to be inserted immediately before frame `position`.
struct Insertion {
  int32_t position = 0;
  int32_t length = 0;
};

}  // namespace tolmar
