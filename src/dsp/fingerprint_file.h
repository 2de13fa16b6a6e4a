#pragma once
// The noise fingerprint file (".fpr", little-endian): N as a signed 32-bit integer, then for
// each bin k = 0 … N − 1 the left and the right mean magnitude as IEEE 754 doubles. The file is
// exactly 16·N + 4 bytes long.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolmar {

inline constexpr char kFingerprintFilter[] =
    "Noise Fingerprint Files (*.fpr)|*.fpr|All Files (*.*)|*.*";

// "<path> is not a valid noise fingerprint file"
std::string invalidFingerprintText(const std::string& path);

struct FingerprintData {
  int n = 0;
  std::vector<double> left;  // n values each
  std::vector<double> right;
};

// The file size that belongs to N.
int64_t fingerprintFileBytes(int n);

// Reads a whole file image. Nothing when it is under 4 bytes, when N is not a power of two from
// 128 to 16384, or when the size is not 16·N + 4.
std::optional<FingerprintData> parseFingerprintFile(const uint8_t* bytes, size_t size);
// Reads the file at path; its size is checked before anything else is read. Throws FileError
// when it cannot be opened; nothing when it is not a valid fingerprint file.
std::optional<FingerprintData> readFingerprintFile(const std::string& path);
// Creates (replaces) the file. Throws FileError when it cannot be written.
void writeFingerprintFile(const std::string& path, int n, const double* left, const double* right);
// The file image writeFingerprintFile writes.
std::vector<uint8_t> fingerprintFileImage(int n, const double* left, const double* right);

}  // namespace tolmar
