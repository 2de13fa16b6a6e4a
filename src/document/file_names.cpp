#include "document/file_names.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "base/session.h"
#include "document/binary_file.h"

namespace fs = std::filesystem;

namespace tolmar {

namespace {

// Dangling links count as taken: creating through them would fail or write elsewhere.
bool nameTaken(const std::string& name) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(name, ec));
}

std::string chooseDirectory(const std::string& directory, const std::string& tmpdirSetting,
                            const std::string& documentPath) {
  if (!directory.empty()) return directory;
  if (!tmpdirSetting.empty()) return tmpdirSetting;
  if (!documentPath.empty()) {
    // Same directory as the document, so that a finished scratch file can be renamed over it.
    const std::string parent = fs::path(documentPath).parent_path().string();
    return parent.empty() ? "." : parent;
  }
  std::error_code ec;
  const fs::path system = fs::temp_directory_path(ec);
  return ec ? std::string() : system.string();
}

}  // namespace

std::string claimTempFile(BinaryFile& file, const std::string& directory,
                          const std::string& tmpdirSetting, const std::string& documentPath) {
  file.close();
  std::string dir = chooseDirectory(directory, tmpdirSetting, documentPath);
  if (dir.empty()) return {};
  if (dir.back() != '/') dir += '/';

  for (int n = 0; n <= 999999; ++n) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "TQ%.6d", n);
    const std::string name = dir + digits;
    if (nameTaken(name)) continue;
    // The name belongs to whoever creates it: another process that takes it between the test
    // above and this open makes the open fail, and the search moves on.
    errno = 0;
    if (file.open(name, BinaryFile::Mode::CreateNew)) return name;
    if (errno == EEXIST || nameTaken(name)) continue;
    return {};
  }
  return {};
}

std::string claimTempFile(BinaryFile& file, const Session& ctx, const std::string& directory,
                          const std::string& documentPath) {
  return claimTempFile(file, directory, ctx.settings.tmpdir, documentPath);
}

std::string makeNumberedFileName(const std::string& path) {
  const std::string extension = fs::path(path).extension().string();
  const std::string stem = path.substr(0, path.size() - extension.size());
  for (long n = 1;; ++n) {
    std::string name = stem + std::to_string(n) + extension;
    if (!nameTaken(name)) return name;
  }
}

std::string randomSuffix() {
  std::random_device rd;
  std::mt19937_64 gen((static_cast<uint64_t>(rd()) << 32) ^ rd());
  static const char kHex[] = "0123456789abcdef";
  uint64_t v = gen();
  std::string s;
  for (int i = 0; i < 12; ++i) {
    s += kHex[v & 15];
    v >>= 4;
  }
  return s;
}

}  // namespace tolmar
