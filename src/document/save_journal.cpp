// Writing, checking and replaying the rollback journal of Save.

#include "document/save_journal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/session.h"
#include "document/binary_file.h"
#include "document/storage_sync.h"
#include "document/wav_format.h"

namespace tolmar {

void (*saveBoundaryHook)() = nullptr;

namespace {

namespace fs = std::filesystem;

constexpr char kHeaderMagic[8] = {'T', 'Q', 'J', 'R', 'N', 'L', '1', '\n'};
constexpr char kTrailerMagic[8] = {'T', 'Q', 'J', 'E', 'N', 'D', '1', '\n'};
constexpr size_t kCopyBytes = size_t{1} << 20;
// Long journals are pushed towards the disk as they grow, so the commit has little left to do.
constexpr int64_t kWritebackBytes = int64_t{64} << 20;

uint64_t loadU64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

void storeU64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool readAt(ByteSource& src, int64_t at, uint8_t* dst, size_t n) {
  return src.seek(at) && src.read(dst, n) == n;
}

}  // namespace

std::string journalPathFor(const std::string& wavPath) {
  return wavPath + ".tqj";
}

// ---- Checksum ----

void JournalChecksum::mix(uint64_t word) {
  h_ ^= word;
  h_ *= 0x9fb21c651e98df25ull;
  h_ ^= h_ >> 29;
}

void JournalChecksum::update(const uint8_t* p, size_t n) {
  if (n == 0) return;
  length_ += n;
  // Copies sized from the room left, so the optimiser sees the bound too.
  if (pendingBytes_ > 0) {
    const size_t take = std::min(n, sizeof pending_ - pendingBytes_);
    std::memcpy(pending_ + pendingBytes_, p, take);
    pendingBytes_ += take;
    p += take;
    n -= take;
    if (pendingBytes_ < sizeof pending_) return;
    mix(loadU64(pending_));
    pendingBytes_ = 0;
  }
  for (; n >= 8; n -= 8, p += 8) mix(loadU64(p));
  if (n > 0) std::memcpy(pending_, p, n);
  pendingBytes_ = n;
}

uint64_t JournalChecksum::value() const {
  JournalChecksum end = *this;
  uint8_t tail[8] = {};
  std::memcpy(tail, pending_, pendingBytes_);
  end.mix(loadU64(tail));
  end.mix(length_);
  return end.h_;
}

// ---- Reading ----

JournalCheck checkJournal(ByteSource& src, int64_t wavSize, int64_t dataOffset) {
  JournalCheck out;
  const int64_t size = src.size();
  if (size < 0) {
    out.state = JournalState::Corrupt;
    return out;
  }
  uint8_t head[kJournalHeaderBytes];
  const size_t magicBytes = static_cast<size_t>(std::min<int64_t>(size, 8));
  if (!readAt(src, 0, head, magicBytes)) {
    out.state = JournalState::Corrupt;
    return out;
  }
  // A name of ours holding something else is not ours to remove.
  if (std::memcmp(head, kHeaderMagic, magicBytes) != 0) {
    out.state = JournalState::Foreign;
    return out;
  }
  if (size < kJournalHeaderBytes) {
    out.state = JournalState::Incomplete;
    return out;
  }
  if (!readAt(src, 0, head, sizeof head)) {
    out.state = JournalState::Corrupt;
    return out;
  }
  const uint64_t journalWavSize = loadU64(head + 8);
  const uint64_t journalDataOffset = loadU64(head + 16);
  JournalChecksum sum;
  sum.update(head, sizeof head);

  std::vector<uint8_t> buf;
  std::vector<JournalRegion> regions;
  uint64_t previousEnd = journalDataOffset;
  int64_t pos = kJournalHeaderBytes;
  for (;;) {
    if (size - pos < 8) {
      out.state = JournalState::Incomplete;
      return out;
    }
    uint8_t rec[kJournalTrailerBytes];
    if (!readAt(src, pos, rec, 8)) {
      out.state = JournalState::Corrupt;
      return out;
    }
    if (std::memcmp(rec, kTrailerMagic, 8) == 0) {
      if (size - pos < kJournalTrailerBytes) {
        out.state = JournalState::Incomplete;
        return out;
      }
      if (!readAt(src, pos, rec, sizeof rec) || size - pos != kJournalTrailerBytes ||
          loadU64(rec + 8) != regions.size()) {
        out.state = JournalState::Corrupt;
        return out;
      }
      sum.update(rec + 8, 8);
      if (sum.value() != loadU64(rec + 16)) {
        out.state = JournalState::Corrupt;
        return out;
      }
      out.wavSize = static_cast<int64_t>(journalWavSize);
      out.dataOffset = static_cast<int64_t>(journalDataOffset);
      if (journalWavSize != static_cast<uint64_t>(wavSize) ||
          journalDataOffset != static_cast<uint64_t>(dataOffset)) {
        out.state = JournalState::Mismatch;
        return out;
      }
      out.state = JournalState::Complete;
      out.regions = std::move(regions);
      return out;
    }
    if (size - pos < kJournalRegionHeaderBytes) {
      out.state = JournalState::Incomplete;
      return out;
    }
    if (!readAt(src, pos, rec, kJournalRegionHeaderBytes)) {
      out.state = JournalState::Corrupt;
      return out;
    }
    const uint64_t offset = loadU64(rec);
    const uint64_t bytes = loadU64(rec + 8);
    // Every region lies inside the data the header describes, after the one before it.
    if (bytes == 0 || offset < previousEnd || offset > journalWavSize ||
        bytes > journalWavSize - offset) {
      out.state = JournalState::Corrupt;
      return out;
    }
    sum.update(rec, kJournalRegionHeaderBytes);
    pos += kJournalRegionHeaderBytes;
    if (static_cast<uint64_t>(size - pos) < bytes) {
      out.state = JournalState::Incomplete;
      return out;
    }
    regions.push_back({static_cast<int64_t>(offset), static_cast<int64_t>(bytes), pos});
    buf.resize(static_cast<size_t>(std::min<uint64_t>(bytes, kCopyBytes)));
    for (uint64_t done = 0; done < bytes;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(bytes - done, buf.size()));
      if (!readAt(src, pos + static_cast<int64_t>(done), buf.data(), n)) {
        out.state = JournalState::Corrupt;
        return out;
      }
      sum.update(buf.data(), n);
      done += n;
    }
    pos += static_cast<int64_t>(bytes);
    previousEnd = offset + bytes;
  }
}

// ---- Writing ----

JournalWriteError writeJournal(const std::string& journalPath, BinaryFile& j, BinaryFile& wav,
                               int64_t wavSize, int64_t dataOffset,
                               const std::vector<JournalRegion>& regions) {
  errno = 0;
  if (!j.open(journalPath, BinaryFile::Mode::CreateNew))
    return errno == EEXIST ? JournalWriteError::Taken : JournalWriteError::Write;
  const auto fail = [&](JournalWriteError e) {
    j.close();
    std::error_code ec;
    fs::remove(journalPath, ec);
    return e;
  };
  // Nobody else can have it open yet; a filesystem without locks still gets its journal.
  j.tryLock();
  JournalChecksum sum;
  const auto put = [&](const uint8_t* p, size_t n) {
    if (!j.writeExact(p, n)) return false;
    sum.update(p, n);
    saveBoundary();
    return true;
  };

  uint8_t head[kJournalHeaderBytes];
  std::memcpy(head, kHeaderMagic, 8);
  storeU64(head + 8, static_cast<uint64_t>(wavSize));
  storeU64(head + 16, static_cast<uint64_t>(dataOffset));
  if (!put(head, sizeof head)) return fail(JournalWriteError::Write);

  std::vector<uint8_t> buf;
  int64_t sinceWriteback = 0;
  for (const JournalRegion& r : regions) {
    uint8_t rec[kJournalRegionHeaderBytes];
    storeU64(rec, static_cast<uint64_t>(r.offset));
    storeU64(rec + 8, static_cast<uint64_t>(r.bytes));
    if (!put(rec, sizeof rec)) return fail(JournalWriteError::Write);
    buf.resize(static_cast<size_t>(std::min<int64_t>(r.bytes, kCopyBytes)));
    for (int64_t done = 0; done < r.bytes;) {
      const size_t n = static_cast<size_t>(std::min<int64_t>(r.bytes - done, kCopyBytes));
      if (!wav.seek(r.offset + done) || !wav.readExact(buf.data(), n))
        return fail(JournalWriteError::ReadWav);
      if (!put(buf.data(), n)) return fail(JournalWriteError::Write);
      done += static_cast<int64_t>(n);
      sinceWriteback += static_cast<int64_t>(n);
      if (sinceWriteback >= kWritebackBytes) {
        j.startWriteback();
        sinceWriteback = 0;
      }
    }
  }

  uint8_t trailer[kJournalTrailerBytes];
  std::memcpy(trailer, kTrailerMagic, 8);
  storeU64(trailer + 8, regions.size());
  sum.update(trailer + 8, 8);
  storeU64(trailer + 16, sum.value());
  if (!j.writeExact(trailer, sizeof trailer)) return fail(JournalWriteError::Write);
  saveBoundary();
  if (!j.sync()) return fail(JournalWriteError::Write);
  saveBoundary();
  if (!syncDirectoryOf(journalPath)) return fail(JournalWriteError::Write);
  saveBoundary();
  return JournalWriteError::None;
}

// ---- Replaying ----

bool copyJournalBack(const std::string& journalPath, const JournalCheck& check, BinaryFile& wav) {
  BinaryFile j;
  if (!j.open(journalPath, BinaryFile::Mode::Read)) return false;
  std::vector<uint8_t> buf;
  for (const JournalRegion& r : check.regions) {
    buf.resize(static_cast<size_t>(std::min<int64_t>(r.bytes, kCopyBytes)));
    for (int64_t done = 0; done < r.bytes;) {
      const size_t n = static_cast<size_t>(std::min<int64_t>(r.bytes - done, kCopyBytes));
      if (!j.seek(r.at + done) || !j.readExact(buf.data(), n)) return false;
      if (!wav.seek(r.offset + done) || !wav.writeExact(buf.data(), n)) return false;
      saveBoundary();
      done += static_cast<int64_t>(n);
    }
  }
  if (!wav.sync()) return false;
  saveBoundary();
  return true;
}

bool removeJournal(const std::string& journalPath) {
  std::error_code ec;
  if (!fs::remove(journalPath, ec) || ec) return false;
  saveBoundary();
  const bool ok = syncDirectoryOf(journalPath);
  saveBoundary();
  return ok;
}

void recoverInterruptedSave(const std::string& wavPath, int64_t dataOffset, Session& ctx) {
  const std::string journalPath = journalPathFor(wavPath);
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(journalPath, ec))) return;
  const std::string untrusted = "The save journal " + journalPath + " does not match " + wavPath +
                                ", so it was left alone and the file may hold part of an "
                                "interrupted save.";
  // Held until the journal is gone, so that two processes opening the file do not both replay.
  BinaryFile j;
  if (!j.open(journalPath, BinaryFile::Mode::Read)) {
    ctx.warning(untrusted);
    return;
  }
  if (!j.tryLock()) {
    ctx.warning("The save journal " + journalPath + " is held by another process saving " +
                wavPath + ", so it was left alone.");
    return;
  }
  const auto wavSize = fs::file_size(wavPath, ec);
  if (ec) return;
  FileByteSource src(j);
  const JournalCheck check = checkJournal(src, static_cast<int64_t>(wavSize), dataOffset);
  switch (check.state) {
    case JournalState::Incomplete:
      // Cut short before the file was touched: nothing to put back.
      removeJournal(journalPath);
      return;
    case JournalState::Foreign:
    case JournalState::Corrupt:
    case JournalState::Mismatch:
      ctx.warning(untrusted);
      return;
    case JournalState::Complete:
      break;
  }
  if (!fileWritable(wavPath)) {
    ctx.warning("The last save of " + wavPath +
                " was interrupted, and its previous contents cannot be put back while the file "
                "is read only.");
    return;
  }
  BinaryFile wav;
  if (!wav.open(wavPath, BinaryFile::Mode::ReadWrite) ||
      !copyJournalBack(journalPath, check, wav)) {
    ctx.error("Failed to put back the previous contents of " + wavPath + " from " + journalPath);
    return;
  }
  wav.close();
  if (!removeJournal(journalPath)) {
    ctx.error("Failed to remove " + journalPath);
    return;
  }
  ctx.info("The last save of " + wavPath +
           " was interrupted, so its previous contents have been put back.");
}

}  // namespace tolmar
