#include "document/big_edit_store.h"

#include <bit>
#include <cstdio>
#include <utility>
#include <vector>

#include "document/file_names.h"

namespace tolmar {

void BigEditStore::adopt(BinaryFile&& file, const std::string& path) {
  remove();
  file_ = std::move(file);
  path_ = path;
  // Samples follow the scratch mark, so that a store left by a killed run is known for ours.
  end_ =
      file_.seek(0) && file_.writeExact(kScratchMark.data(), kScratchMark.size()) && file_.flush()
          ? static_cast<int64_t>(kScratchMark.size())
          : 0;
}

int64_t BigEditStore::append(const int16_t* samples, int64_t count) {
  if (!file_.isOpen() || count < 0) return -1;
  const int64_t pos = end_;
  if (!file_.seek(pos)) return -1;
  const size_t bytes = static_cast<size_t>(count) * 2;
  size_t done;
  if constexpr (std::endian::native == std::endian::little) {
    done = file_.write(samples, bytes);
  } else {
    std::vector<uint8_t> le(bytes);
    for (int64_t i = 0; i < count; ++i) storeU16(&le[2 * i], static_cast<uint16_t>(samples[i]));
    done = file_.write(le.data(), bytes);
  }
  if (done != bytes || !file_.flush()) {
    // A partial write leaves bytes past end_ that nothing refers to; the next append overwrites.
    return -1;
  }
  end_ += static_cast<int64_t>(bytes);
  return pos;
}

bool BigEditStore::read(int64_t pos, int16_t* samples, int64_t count) {
  if (!file_.isOpen() || pos < 0 || count < 0 || pos + count * 2 > end_) return false;
  if (!file_.seek(pos)) return false;
  const size_t bytes = static_cast<size_t>(count) * 2;
  if (file_.read(samples, bytes) != bytes) return false;
  if constexpr (std::endian::native != std::endian::little) {
    auto* p = reinterpret_cast<uint8_t*>(samples);
    for (int64_t i = 0; i < count; ++i) samples[i] = static_cast<int16_t>(loadU16(p + 2 * i));
  }
  return true;
}

void BigEditStore::remove() {
  if (file_.isOpen()) {
    // The name goes first, while the file is still held: see removeStaleScratchFiles.
    std::remove(path_.c_str());
    file_.close();
  }
  path_.clear();
  end_ = 0;
}

}  // namespace tolmar
