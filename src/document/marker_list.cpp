#include "document/marker_list.h"

#include <algorithm>
#include <functional>

#include "document/binary_file.h"

namespace tolmar {

namespace {

// Reads kind, position and count in turn, as three reads, and stops at the first short one.
size_t readRecords(MarkerList& list, const std::function<size_t(void*, size_t)>& read) {
  size_t added = 0;
  for (;;) {
    uint8_t kind = 0;
    uint8_t position[4];
    uint8_t count[4];
    if (read(&kind, 1) != 1) break;
    if (read(position, 4) != 4) break;
    if (read(count, 4) != 4) break;
    list.Add(kind, static_cast<int32_t>(loadU32(position)), static_cast<int32_t>(loadU32(count)));
    ++added;
  }
  return added;
}

}  // namespace

std::vector<uint8_t> MarkerList::toBytes() const {
  std::vector<uint8_t> out(items.size() * kMarkerRecordBytes);
  uint8_t* p = out.data();
  for (const Marker& m : items) {
    p[0] = m.kind;
    storeU32(p + 1, static_cast<uint32_t>(m.position));
    storeU32(p + 5, static_cast<uint32_t>(m.count));
    p += kMarkerRecordBytes;
  }
  return out;
}

bool MarkerList::Write(BinaryFile& f) const {
  const std::vector<uint8_t> bytes = toBytes();
  return f.writeExact(bytes.data(), bytes.size());
}

size_t MarkerList::Read(BinaryFile& f) {
  return readRecords(*this, [&](void* dst, size_t n) { return f.read(dst, n); });
}

size_t MarkerList::readBytes(const uint8_t* data, size_t size) {
  size_t pos = 0;
  return readRecords(*this, [&](void* dst, size_t n) {
    const size_t take = std::min(n, size - pos);
    if (take > 0) std::copy_n(data + pos, take, static_cast<uint8_t*>(dst));
    pos += take;
    return take;
  });
}

void MarkerList::sortByPosition() {
  std::stable_sort(items.begin(), items.end(),
                   [](const Marker& a, const Marker& b) { return a.position < b.position; });
}

}  // namespace tolmar
