#include "document/replacing_file.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "document/file_names.h"
#include "document/storage_sync.h"

namespace tolmar {

namespace fs = std::filesystem;

ReplacingFile::ReplacingFile(std::string path) : path_(std::move(path)) {}

ReplacingFile::~ReplacingFile() {
  file_.close();
  std::error_code ec;
  if (!scratch_.empty()) fs::remove(scratch_, ec);
}

void ReplacingFile::openOrThrow() {
  const fs::path target(path_);
  std::error_code ec;
  const bool exists = fileExists(path_);
  const bool inPlace =
      fs::is_symlink(fs::symlink_status(target, ec)) || (exists && !fileWritable(path_));
  if (!inPlace) {
    // Beside the file, so the rename stays on one filesystem; random, so parallel batch jobs
    // saving in one folder never share it.
    scratch_ = path_ + ".tmp-" + randomSuffix();
    if (file_.open(scratch_, BinaryFile::Mode::Create)) {
      // The replacement keeps the permissions the user gave the file.
      if (exists) fs::permissions(scratch_, fs::status(target, ec).permissions(), ec);
      return;
    }
    scratch_.clear();
  }
  file_.openOrThrow(path_, BinaryFile::Mode::Create);
}

bool ReplacingFile::commit() {
  bool ok = file_.isOpen() && file_.sync();
  file_.close();
  if (scratch_.empty()) return ok;
  std::error_code ec;
  if (ok) {
    fs::rename(scratch_, path_, ec);
    ok = !ec;
  }
  if (!ok) fs::remove(scratch_, ec);
  scratch_.clear();
  // The rename itself must reach the disk, or a power cut may bring back the old file.
  return ok && syncDirectoryOf(path_);
}

}  // namespace tolmar
