#pragma once
// A binary file stream with explicit results and 64-bit offsets. Reads and writes report how
// many bytes moved; nothing here throws except open failures where the caller asks for it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "document/storage_sync.h"

namespace tolmar {

class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class BinaryFile {
 public:
  // CreateNew makes a file that must not exist yet (exclusive creation) and fails otherwise.
  enum class Mode { Read, ReadWrite, Create, CreateNew };

  BinaryFile() = default;
  BinaryFile(const std::string& path, Mode mode) { open(path, mode); }
  ~BinaryFile() { close(); }
  BinaryFile(const BinaryFile&) = delete;
  BinaryFile& operator=(const BinaryFile&) = delete;
  BinaryFile(BinaryFile&& other) noexcept;
  BinaryFile& operator=(BinaryFile&& other) noexcept;

  // Returns false when the file cannot be opened; Create truncates or makes the file.
  bool open(const std::string& path, Mode mode);
  // Like open, but throws FileError with the path and the system's reason.
  void openOrThrow(const std::string& path, Mode mode);
  void close();
  bool isOpen() const { return f_ != nullptr; }
  const std::string& path() const { return path_; }
  // The file was given another name while open (a rename or a link).
  void renamed(const std::string& path) { path_ = path; }

  bool seek(int64_t offset);
  int64_t tell();
  int64_t size();
  // Bytes actually read or written.
  size_t read(void* dst, size_t bytes);
  size_t write(const void* src, size_t bytes);
  bool readExact(void* dst, size_t bytes) { return read(dst, bytes) == bytes; }
  bool writeExact(const void* src, size_t bytes) { return write(src, bytes) == bytes; }
  bool flush();
  // Flush and commit to storage: the only proof that the bytes survive a power cut.
  bool sync();
  // Starts writing what was written so far to storage, without waiting for it.
  void startWriteback();
  // An advisory lock on the file, held until it is closed; false when someone else holds one.
  bool tryLock();
  LockResult lock();
  // Whether `path` still names this open file.
  bool isNamed(const std::string& path) { return f_ && streamIsFile(f_, path); }

  bool readU16(uint16_t& v);
  bool readU32(uint32_t& v);
  bool writeU32(uint32_t v);

 private:
  std::FILE* f_ = nullptr;
  std::string path_;
  bool lastWasWrite_ = false;
  bool lastWasRead_ = false;
};

// Little-endian helpers for memory images.
inline uint16_t loadU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t loadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void storeU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void storeU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Turns samples read from a file into host order (nothing to do on little-endian machines).
void samplesFromLittleEndian(int16_t* samples, size_t count);

bool fileExists(const std::string& path);
// Whether the user may write the file (false also when it does not exist).
bool fileWritable(const std::string& path);

}  // namespace tolmar
