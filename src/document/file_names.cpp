#include "document/file_names.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string_view>
#include <system_error>
#include <thread>

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

// Locks a file this process has just created. Another process looking for leftovers may hold
// the lock for a moment: it then finds nothing of ours in the new file and lets it go.
void lockNew(BinaryFile& file) {
  for (int tries = 0; tries < 2000; ++tries) {
    if (file.lock() != LockResult::HeldElsewhere) return;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
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
    if (file.open(name, BinaryFile::Mode::CreateNew)) {
      // Known for ours by the mark written into it later, never by its name alone.
      lockNew(file);
      return name;
    }
    if (errno == EEXIST || nameTaken(name)) continue;
    return {};
  }
  return {};
}

std::string claimTempFile(BinaryFile& file, const Session& ctx, const std::string& directory,
                          const std::string& documentPath) {
  return claimTempFile(file, directory, ctx.settings.tmpdir, documentPath);
}

std::string directoryOf(const std::string& path) {
  const std::string dir = fs::path(path).parent_path().string();
  return dir.empty() ? "." : dir;
}

std::string workingDirectory() {
  std::error_code ec;
  const fs::path cwd = fs::current_path(ec);
  return ec ? std::string() : cwd.string();
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

namespace {

constexpr char kScratchInfix[] = ".tmp-";
constexpr size_t kScratchDigits = 16;
constexpr size_t kCheckDigits = 4;

// 64-bit FNV-1a: the check only has to tell our names from names nobody chose for it.
uint64_t nameHash(const std::string& text) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : text) {
    h ^= c;
    h *= 0x100000001b3ull;
  }
  return h;
}

std::string checkDigits(const std::string& targetName, const std::string& random) {
  static const char kHex[] = "0123456789abcdef";
  uint64_t h = nameHash(targetName + '\0' + random);
  std::string out;
  for (size_t i = 0; i < kCheckDigits; ++i, h >>= 4) out += kHex[h & 15];
  return out;
}

bool isLowerHex(const std::string& s) {
  return s.find_first_not_of("0123456789abcdef") == std::string::npos;
}

bool isTempName(const std::string& name) {
  if (name.size() != 8 || name[0] != 'T' || name[1] != 'Q') return false;
  return name.find_first_not_of("0123456789", 2) == std::string::npos;
}

// Removes `path` when it is a scratch file of ours nobody holds.
bool removeIfStale(const fs::path& path, bool needsMark) {
  std::error_code ec;
  // Never through a link: what it points at is not ours.
  if (!fs::is_regular_file(fs::symlink_status(path, ec))) return false;
  BinaryFile f;
  if (!f.open(path.string(), BinaryFile::Mode::Read)) return false;
  // Without locks there is no telling a live file from a dead one: leave them all.
  if (f.lock() != LockResult::Taken) return false;
  if (needsMark) {
    std::array<uint8_t, 8> head{};
    if (!f.readExact(head.data(), head.size()) || head != kScratchMark) return false;
  }
  // Owners take the name away before they let go of the lock, so a name that still leads to
  // the file locked here is the dead one's, not a new file that took the name meanwhile.
  if (!f.isNamed(path.string())) return false;
  return fs::remove(path, ec) && !ec;
}

}  // namespace

std::string scratchNameFor(const std::string& target) {
  const std::string random = randomSuffix();
  return target + kScratchInfix + random +
         checkDigits(fs::path(target).filename().string(), random);
}

bool isScratchName(const std::string& fileName) {
  const size_t at = fileName.rfind(kScratchInfix);
  if (at == std::string::npos || at == 0) return false;
  const std::string digits = fileName.substr(at + sizeof kScratchInfix - 1);
  if (digits.size() != kScratchDigits || !isLowerHex(digits)) return false;
  const std::string random = digits.substr(0, kScratchDigits - kCheckDigits);
  return digits.substr(kScratchDigits - kCheckDigits) ==
         checkDigits(fileName.substr(0, at), random);
}

// The save journal of a scratch file (Save As saves into one before it takes its name).
bool isScratchJournalName(const std::string& fileName) {
  constexpr std::string_view kJournal = ".tqj";
  return fileName.ends_with(kJournal) &&
         isScratchName(fileName.substr(0, fileName.size() - kJournal.size()));
}

bool createScratch(BinaryFile& file, const std::string& name) {
  // A name of ours is all that marks such a file as ours, so it must never be seen without
  // its lock: the file is made and locked under a name no sweep takes, then linked to its own.
  const std::string pending = name + ".new";
  if (!file.open(pending, BinaryFile::Mode::CreateNew)) return false;
  lockNew(file);
  std::error_code ec;
  fs::create_hard_link(pending, name, ec);
  if (ec && ec != std::errc::file_exists) {
    // A filesystem without hard links: the rename gives the name in one step too.
    ec.clear();
    fs::rename(pending, name, ec);
    if (!ec) {
      file.renamed(name);
      return true;
    }
  }
  std::error_code ignored;
  fs::remove(pending, ignored);
  if (ec) {
    file.close();
    return false;
  }
  file.renamed(name);
  return true;
}

bool hideHead(BinaryFile& file, std::array<uint8_t, 8>& head) {
  const int64_t at = file.tell();
  return at >= static_cast<int64_t>(head.size()) && file.seek(0) &&
         file.readExact(head.data(), head.size()) && file.seek(0) &&
         file.writeExact(kScratchMark.data(), kScratchMark.size()) && file.seek(at);
}

bool restoreHead(BinaryFile& file, const std::array<uint8_t, 8>& head) {
  // A write that failed in the buffer must fail here, not be lost by the size query's flush.
  if (!file.flush()) return false;
  const int64_t end = file.size();
  return end >= static_cast<int64_t>(head.size()) && file.seek(0) &&
         file.writeExact(head.data(), head.size()) && file.seek(end);
}

int removeStaleScratchFiles(const std::string& wavPath, const std::string& tmpdirSetting) {
  fs::path beside = fs::path(wavPath).parent_path();
  if (beside.empty()) beside = ".";
  int removed = 0;
  auto sweep = [&](const fs::path& dir, bool besideWav) {
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (isTempName(name)) {
        removed += removeIfStale(it->path(), true);
      } else if (besideWav && (isScratchName(name) || isScratchJournalName(name))) {
        removed += removeIfStale(it->path(), false);
      }
    }
  };
  sweep(beside, true);
  std::error_code ec;
  if (!tmpdirSetting.empty() && !fs::equivalent(tmpdirSetting, beside, ec))
    sweep(tmpdirSetting, false);
  return removed;
}

bool heldElsewhere(const std::string& path) {
  BinaryFile f;
  return f.open(path, BinaryFile::Mode::Read) && f.lock() == LockResult::HeldElsewhere;
}

}  // namespace tolmar
