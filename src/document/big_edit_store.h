#pragma once
// The big-edit store: one temporary file per document holding the samples of large edit
// records, so that memory stays bounded however long the edits are.

#include <cstdint>
#include <string>

#include "document/binary_file.h"

namespace tolmar {

class BigEditStore {
 public:
  BigEditStore() = default;
  ~BigEditStore() { remove(); }
  BigEditStore(const BigEditStore&) = delete;
  BigEditStore& operator=(const BigEditStore&) = delete;

  bool isOpen() const { return file_.isOpen(); }
  const std::string& path() const { return path_; }
  // Takes over a file claimed by the temporary-file rule, open and empty, at `path`.
  void adopt(BinaryFile&& file, const std::string& path);
  // Appends `count` samples; returns the byte position, or -1 when fewer bytes were written.
  int64_t append(const int16_t* samples, int64_t count);
  // Reads `count` samples from byte position `pos`; false on a short read.
  bool read(int64_t pos, int16_t* samples, int64_t count);
  // Closes and deletes the file.
  void remove();

 private:
  BinaryFile file_;
  std::string path_;
  int64_t end_ = 0;
};

}  // namespace tolmar
