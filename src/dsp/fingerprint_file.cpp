#include "dsp/fingerprint_file.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <system_error>

#include "document/binary_file.h"
#include "document/replacing_file.h"
#include "dsp/fft.h"

namespace tolmar {

namespace {

double loadDouble(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(p[i]) << (8 * i);
  return std::bit_cast<double>(v);
}

void storeDouble(uint8_t* p, double d) {
  const uint64_t v = std::bit_cast<uint64_t>(d);
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// N from the first four bytes, when it is one the engine can hold.
std::optional<int> headerSize(const uint8_t* p) {
  const int32_t n = static_cast<int32_t>(loadU32(p));
  if (!isValidFFTSize(n)) return std::nullopt;
  return n;
}

// A magnitude that is not finite or is negative would make every gain NaN or send it above
// one, and Reduce Noise would write silence or noise over the music.
bool validMagnitude(double v) {
  return std::isfinite(v) && v >= 0.0;
}

std::optional<FingerprintData> decodeBins(int n, const uint8_t* p) {
  FingerprintData d;
  d.n = n;
  d.left.resize(static_cast<size_t>(n));
  d.right.resize(static_cast<size_t>(n));
  for (size_t k = 0; k < static_cast<size_t>(n); ++k, p += 16) {
    d.left[k] = loadDouble(p);
    d.right[k] = loadDouble(p + 8);
    if (!validMagnitude(d.left[k]) || !validMagnitude(d.right[k])) return std::nullopt;
  }
  return d;
}

}  // namespace

std::string invalidFingerprintText(const std::string& path) {
  return path + " is not a valid noise fingerprint file";
}

int64_t fingerprintFileBytes(int n) {
  return static_cast<int64_t>(n) * 16 + 4;
}

std::optional<FingerprintData> parseFingerprintFile(const uint8_t* bytes, size_t size) {
  if (size < 4) return std::nullopt;
  const auto n = headerSize(bytes);
  if (!n || static_cast<uint64_t>(size) != static_cast<uint64_t>(fingerprintFileBytes(*n)))
    return std::nullopt;
  return decodeBins(*n, bytes + 4);
}

std::optional<FingerprintData> readFingerprintFile(const std::string& path) {
  BinaryFile f;
  f.openOrThrow(path, BinaryFile::Mode::Read);
  const int64_t size = f.size();
  uint8_t head[4];
  if (size < 4 || !f.readExact(head, 4)) return std::nullopt;
  const auto n = headerSize(head);
  if (!n || size != fingerprintFileBytes(*n)) return std::nullopt;
  std::vector<uint8_t> body(static_cast<size_t>(size - 4));
  if (!f.readExact(body.data(), body.size())) return std::nullopt;
  return decodeBins(*n, body.data());
}

std::vector<uint8_t> fingerprintFileImage(int n, const double* left, const double* right) {
  std::vector<uint8_t> image(static_cast<size_t>(fingerprintFileBytes(n)));
  storeU32(image.data(), static_cast<uint32_t>(n));
  uint8_t* p = image.data() + 4;
  for (int k = 0; k < n; ++k, p += 16) {
    storeDouble(p, left[k]);
    storeDouble(p + 8, right[k]);
  }
  return image;
}

void writeFingerprintFile(const std::string& path, int n, const double* left, const double* right) {
  const std::vector<uint8_t> image = fingerprintFileImage(n, left, right);
  // A failed write leaves the previous fingerprint whole.
  ReplacingFile f(path);
  f.openOrThrow();
  if (!f.file().writeExact(image.data(), image.size()) || !f.commit())
    throw FileError("Cannot write file \"" + path + "\"");
}

}  // namespace tolmar
