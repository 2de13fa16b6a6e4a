#include "document/binary_file.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "document/storage_sync.h"

namespace tolmar {

BinaryFile::BinaryFile(BinaryFile&& other) noexcept
    : f_(std::exchange(other.f_, nullptr)),
      path_(std::move(other.path_)),
      lastWasWrite_(other.lastWasWrite_),
      lastWasRead_(other.lastWasRead_) {}

BinaryFile& BinaryFile::operator=(BinaryFile&& other) noexcept {
  if (this != &other) {
    close();
    f_ = std::exchange(other.f_, nullptr);
    path_ = std::move(other.path_);
    lastWasWrite_ = other.lastWasWrite_;
    lastWasRead_ = other.lastWasRead_;
  }
  return *this;
}

bool BinaryFile::open(const std::string& path, Mode mode) {
  close();
  const char* m = mode == Mode::Read        ? "rb"
                  : mode == Mode::ReadWrite ? "r+b"
                  : mode == Mode::Create    ? "w+b"
                                            : "w+bx";
  f_ = std::fopen(path.c_str(), m);
  path_ = path;
  lastWasWrite_ = lastWasRead_ = false;
  return f_ != nullptr;
}

void BinaryFile::openOrThrow(const std::string& path, Mode mode) {
  if (!open(path, mode)) {
    throw FileError("Cannot open file \"" + path + "\". " + std::strerror(errno));
  }
}

void BinaryFile::close() {
  if (f_) std::fclose(f_);
  f_ = nullptr;
}

bool BinaryFile::seek(int64_t offset) {
  if (!f_ || offset < 0) return false;
  lastWasWrite_ = lastWasRead_ = false;
#if defined(_WIN32)
  return _fseeki64(f_, offset, SEEK_SET) == 0;
#else
  return std::fseek(f_, static_cast<long>(offset), SEEK_SET) == 0;
#endif
}

int64_t BinaryFile::tell() {
  if (!f_) return -1;
#if defined(_WIN32)
  return _ftelli64(f_);
#else
  return std::ftell(f_);
#endif
}

int64_t BinaryFile::size() {
  if (!f_) return -1;
  std::fflush(f_);
  std::error_code ec;
  auto s = std::filesystem::file_size(path_, ec);
  return ec ? -1 : static_cast<int64_t>(s);
}

size_t BinaryFile::read(void* dst, size_t bytes) {
  if (!f_ || bytes == 0) return 0;
  // C streams need a positioning call between a write and a read.
  if (lastWasWrite_) std::fseek(f_, 0, SEEK_CUR);
  lastWasWrite_ = false;
  lastWasRead_ = true;
  return std::fread(dst, 1, bytes, f_);
}

size_t BinaryFile::write(const void* src, size_t bytes) {
  if (!f_ || bytes == 0) return 0;
  if (lastWasRead_) std::fseek(f_, 0, SEEK_CUR);
  lastWasRead_ = false;
  lastWasWrite_ = true;
  return std::fwrite(src, 1, bytes, f_);
}

bool BinaryFile::flush() {
  return f_ && std::fflush(f_) == 0;
}

void BinaryFile::startWriteback() {
  if (f_) ::tolmar::startWriteback(f_);
}

bool BinaryFile::tryLock() {
  return f_ && tryLockStream(f_);
}

LockResult BinaryFile::lock() {
  return lockStream(f_);
}

bool BinaryFile::sync() {
  return f_ && syncStreamToStorage(f_);
}

bool BinaryFile::readU16(uint16_t& v) {
  uint8_t b[2];
  if (!readExact(b, 2)) return false;
  v = loadU16(b);
  return true;
}

bool BinaryFile::readU32(uint32_t& v) {
  uint8_t b[4];
  if (!readExact(b, 4)) return false;
  v = loadU32(b);
  return true;
}

bool BinaryFile::writeU32(uint32_t v) {
  uint8_t b[4];
  storeU32(b, v);
  return writeExact(b, 4);
}

void samplesFromLittleEndian(int16_t* samples, size_t count) {
  if constexpr (std::endian::native != std::endian::little) {
    auto* p = reinterpret_cast<uint8_t*>(samples);
    for (size_t i = 0; i < count; ++i) samples[i] = static_cast<int16_t>(loadU16(p + 2 * i));
  }
}

bool fileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

bool fileWritable(const std::string& path) {
  if (!fileExists(path)) return false;
  std::FILE* f = std::fopen(path.c_str(), "r+b");
  if (!f) return false;
  std::fclose(f);
  return true;
}

}  // namespace tolmar
