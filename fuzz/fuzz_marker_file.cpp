// Feeds arbitrary bytes to the marker file reader and checks what it promises: one marker per
// complete 9-byte record, nothing from a trailing partial record, and records that write back
// to exactly the bytes they came from.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "document/marker_list.h"

using namespace tolmar;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MarkerList list;
  const size_t added = list.readBytes(data, size);
  const size_t whole = size / kMarkerRecordBytes;
  if (added != whole || list.size() != whole) std::abort();
  const std::vector<uint8_t> back = list.toBytes();
  if (back.size() != whole * kMarkerRecordBytes) std::abort();
  if (!back.empty() && std::memcmp(back.data(), data, back.size()) != 0) std::abort();
  list.sortByPosition();
  for (size_t i = 1; i < list.size(); ++i)
    if (list.items[i - 1].position > list.items[i].position) std::abort();
  return 0;
}
