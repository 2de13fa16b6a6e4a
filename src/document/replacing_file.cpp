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
  std::error_code ec;
  if (!scratch_.empty()) fs::remove(scratch_, ec);
  file_.close();
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
    scratch_ = scratchNameFor(path_);
    if (createScratch(file_, scratch_)) {
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
  if (scratch_.empty()) {
    file_.close();
    return ok;
  }
  std::error_code ec;
  // Renamed while still open and locked, so that nobody clearing leftovers takes it meanwhile.
  if (ok) {
    fs::rename(scratch_, path_, ec);
    ok = !ec;
  }
  if (!ok) fs::remove(scratch_, ec);
  file_.close();
  scratch_.clear();
  // The rename itself must reach the disk, or a power cut may bring back the old file.
  return ok && syncDirectoryOf(path_);
}

}  // namespace tolmar
