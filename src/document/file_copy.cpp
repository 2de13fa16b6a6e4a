#include "document/file_copy.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <vector>

#include "base/session.h"
#include "document/binary_file.h"
#include "document/file_names.h"
#include "document/save_journal.h"
#include "document/storage_sync.h"

namespace fs = std::filesystem;

namespace tolmar {

namespace {

constexpr size_t kCopyChunkBytes = 5000;

fs::path absoluteDirectoryOf(const std::string& path) {
  fs::path dir = fs::path(path).parent_path();
  if (dir.empty()) dir = ".";
  std::error_code ec;
  fs::path abs = fs::absolute(dir, ec);
  return ec ? dir : abs.lexically_normal();
}

// The name goes before the file is let go of: a scratch file is never unheld under its name.
void removeOpenFile(BinaryFile& f, const std::string& path) {
  std::error_code ec;
  fs::remove(path, ec);
  f.close();
}

}  // namespace

std::string volumeText(const std::string& path) {
  std::string text = absoluteDirectoryOf(path).string();
  // "/music/" and "/music" name the same place; keep the root as it is.
  if (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

bool enoughDiskSpace(const std::string& path, uint64_t bytes) {
  std::error_code ec;
  const fs::space_info info = fs::space(absoluteDirectoryOf(path), ec);
  if (ec) return false;
  return info.available >= bytes;
}

bool sameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  std::error_code ec;
  if (fs::equivalent(a, b, ec)) return true;
  const fs::path ca = fs::weakly_canonical(a, ec);
  if (ec) return false;
  const fs::path cb = fs::weakly_canonical(b, ec);
  return !ec && ca == cb;
}

bool copyFileWithProgress(Session& ctx, const std::string& source, const std::string& destination,
                          const std::string& caption) {
  if (sameFile(source, destination)) {
    // Creating the destination would truncate the source itself.
    ctx.error("Failed to write file " + destination);
    return false;
  }
  BinaryFile out;
  return copyFileInto(ctx, source, out, destination, caption, BinaryFile::Mode::Create);
}

bool copyFileInto(Session& ctx, const std::string& source, BinaryFile& out,
                  const std::string& destination, const std::string& caption,
                  std::optional<BinaryFile::Mode> openMode) {
  BinaryFile in;
  try {
    in.openOrThrow(source, BinaryFile::Mode::Read);
  } catch (const FileError& e) {
    ctx.error(e.what());
    if (!openMode) removeOpenFile(out, destination);
    return false;
  }
  const int64_t total = in.size();
  if (total < 0) {
    ctx.error("Failed to read from " + source);
    if (!openMode) removeOpenFile(out, destination);
    return false;
  }
  if (!enoughDiskSpace(destination, static_cast<uint64_t>(total))) {
    ctx.error("Not enough free space on disk " + volumeText(destination) + " (" +
              std::to_string(total) + " bytes required)");
    if (!openMode) removeOpenFile(out, destination);
    return false;
  }
  if (openMode && !out.open(destination, *openMode)) {
    ctx.error("Failed to write file " + destination);
    return false;
  }

  bool ok = true;
  // A claimed scratch file reads as one of ours, not as a copy of the source, until complete.
  const bool scratch = !openMode;
  bool hidden = false;
  std::array<uint8_t, 8> head{};
  {
    Progress progress(ctx, caption);
    std::vector<uint8_t> buf(kCopyChunkBytes);
    int64_t done = 0;
    while (done < total && ctx.continueFlag) {
      const size_t n = static_cast<size_t>(std::min<int64_t>(total - done, kCopyChunkBytes));
      if (in.read(buf.data(), n) != n) {
        ctx.error("Failed to read from " + source);
        ok = false;
        break;
      }
      if (out.write(buf.data(), n) != n) {
        ctx.error("Failed to write file " + destination);
        ok = false;
        break;
      }
      done += static_cast<int64_t>(n);
      if (scratch && !hidden && done >= static_cast<int64_t>(head.size())) {
        if (!hideHead(out, head)) {
          ctx.error("Failed to write file " + destination);
          ok = false;
          break;
        }
        hidden = true;
      }
      saveBoundary();
      progress.step(percentOf(done, total));
    }
    if (ok && hidden && !restoreHead(out, head)) {
      ctx.error("Failed to write file " + destination);
      ok = false;
    }
    if (ok && !out.sync()) {
      ctx.error("Failed to write file " + destination);
      ok = false;
    }
    ok = ok && ctx.continueFlag && done == total;
  }
  if (!ok) removeOpenFile(out, destination);
  return ok;
}

std::error_code moveFileWithProgress(Session& ctx, const std::string& source,
                                     const std::string& destination, const std::string& caption,
                                     BinaryFile* placed) {
  std::error_code ec;
  fs::rename(source, destination, ec);
  if (ec != std::errc::cross_device_link) return ec;

  // Another filesystem: the copy goes under a scratch name beside the destination and takes
  // the destination's name only once complete, so a failed copy never leaves a partial file
  // under that name.
  BinaryFile out;
  const std::string scratch = claimTempFile(out, absoluteDirectoryOf(destination).string(), "", "");
  if (scratch.empty()) return std::make_error_code(std::errc::permission_denied);
  if (!copyFileInto(ctx, source, out, scratch, caption, std::nullopt))
    return std::make_error_code(std::errc::io_error);
  // Renamed while open and held, so that nobody clearing leftovers takes it meanwhile.
  fs::rename(scratch, destination, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(scratch, ignored);
    out.close();
    return ec;
  }
  out.renamed(destination);
  if (placed)
    *placed = std::move(out);
  else
    out.close();
  saveBoundary();
  syncDirectoryOf(destination);
  fs::remove(source, ec);
  // The move is complete once the destination holds the file; a source that could not be
  // removed is only a leftover.
  return {};
}

}  // namespace tolmar
