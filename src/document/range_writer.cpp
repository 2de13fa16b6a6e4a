#include "document/range_writer.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>
#include <new>
#include <system_error>
#include <vector>

#include "document/file_names.h"
#include "document/save_journal.h"
#include "document/storage_sync.h"
#include "document/wav_format.h"
#include "document/wave_file.h"

namespace tolmar {

namespace {

constexpr char kForbidden[] = "\\/:*?\"<>|";
// The raw copy moves 1 MiB at a time: a track of a side is tens of megabytes, and small
// reads and writes cost more in calls than in copying.
constexpr int32_t kCopyFrames = 1 << 18;

std::string fileNamePart(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where the frames go: a memory image or an open file, both addressed from frame 0 of the range.
class RangeSink {
 public:
  virtual ~RangeSink() = default;
  virtual bool write(int64_t frame, const int16_t* buf, int32_t count) = 0;
  virtual bool read(int64_t frame, int16_t* buf, int32_t count) = 0;
  // Copies the raw frames begin..end-1 of the range (range frame 0 = file frame `first`) on
  // another thread, through handles of its own, counting into `done`; false when it cannot.
  virtual bool copyOnWorker(const WaveFile& /*doc*/, int32_t /*first*/, int64_t /*begin*/,
                            int64_t /*end*/, std::atomic<int64_t>& /*done*/,
                            const std::atomic<bool>& /*stop*/) {
    return false;
  }
  virtual bool canCopyOnWorker() const { return false; }
};

class MemorySink : public RangeSink {
 public:
  explicit MemorySink(uint8_t* data) : data_(data) {}
  bool write(int64_t frame, const int16_t* buf, int32_t count) override {
    std::memcpy(data_ + frame * kWavFrameBytes, buf, static_cast<size_t>(count) * kWavFrameBytes);
    return true;
  }
  bool read(int64_t frame, int16_t* buf, int32_t count) override {
    std::memcpy(buf, data_ + frame * kWavFrameBytes, static_cast<size_t>(count) * kWavFrameBytes);
    return true;
  }

 private:
  uint8_t* data_;
};

class FileSink : public RangeSink {
 public:
  explicit FileSink(BinaryFile& f) : f_(f) {}
  bool write(int64_t frame, const int16_t* buf, int32_t count) override {
    const size_t bytes = static_cast<size_t>(count) * kWavFrameBytes;
    if (!f_.seek(kWavHeaderBytes + frame * kWavFrameBytes) || !f_.writeExact(buf, bytes))
      return false;
    written(bytes);
    saveBoundary();
    return true;
  }
  bool read(int64_t frame, int16_t* buf, int32_t count) override {
    const size_t bytes = static_cast<size_t>(count) * kWavFrameBytes;
    return f_.seek(kWavHeaderBytes + frame * kWavFrameBytes) && f_.readExact(buf, bytes);
  }
  bool canCopyOnWorker() const override { return true; }
  bool copyOnWorker(const WaveFile& doc, int32_t first, int64_t begin, int64_t end,
                    std::atomic<int64_t>& done, const std::atomic<bool>& stop) override {
    BinaryFile src;
    BinaryFile dst;
    if (!src.open(doc.path, BinaryFile::Mode::Read) ||
        !dst.open(f_.path(), BinaryFile::Mode::ReadWrite))
      return false;
    std::vector<uint8_t> buf(static_cast<size_t>(kCopyFrames) * kWavFrameBytes);
    size_t unstarted = 0;
    for (int64_t at = begin; at < end && !stop.load();) {
      const int64_t n = std::min<int64_t>(kCopyFrames, end - at);
      const int64_t frame = first + at;
      const size_t bytes = static_cast<size_t>(n) * kWavFrameBytes;
      // Byte for byte: both files are little-endian. Frames past the file read as silence;
      // frames the document holds but that cannot be read are a failure, not silence.
      const int64_t present = std::clamp<int64_t>(doc.frameCount - frame, 0, n);
      const size_t want = static_cast<size_t>(present) * kWavFrameBytes;
      if (want > 0 &&
          (!src.seek(doc.dataOffset + frame * kWavFrameBytes) || !src.readExact(buf.data(), want)))
        return false;
      std::memset(buf.data() + want, 0, bytes - want);
      if (!dst.seek(kWavHeaderBytes + at * kWavFrameBytes) || !dst.writeExact(buf.data(), bytes))
        return false;
      unstarted += bytes;
      if (unstarted >= kWritebackBytes) {
        dst.startWriteback();
        unstarted = 0;
      }
      at += n;
      done.fetch_add(n);
    }
    return dst.flush();
  }

 private:
  // The disk writes while the copy goes on; the commit at the end then waits for little.
  void written(size_t bytes) {
    unstarted_ += bytes;
    if (unstarted_ >= kWritebackBytes) {
      f_.startWriteback();
      unstarted_ = 0;
    }
  }

  static constexpr size_t kWritebackBytes = size_t{8} << 20;
  BinaryFile& f_;
  size_t unstarted_ = 0;
};

// The raw frames from..from + n - 1 of the document's file, as the worker reads them: frames
// past the file read as silence, frames the document holds must all be read.
bool readRawFrames(WaveFile& doc, int16_t* buf, int64_t from, int32_t n) {
  const int64_t present = std::clamp<int64_t>(doc.frameCount - from, 0, n);
  const size_t want = static_cast<size_t>(present) * kWavFrameBytes;
  if (want > 0) {
    BinaryFile& in = doc.readStream();
    if (!in.seek(doc.dataOffset + from * kWavFrameBytes) || !in.readExact(buf, want)) return false;
    samplesFromLittleEndian(buf, static_cast<size_t>(present) * 2);
  }
  std::memset(buf + 2 * present, 0, static_cast<size_t>(n) * kWavFrameBytes - want);
  return true;
}

// The second thread of a raw copy. It is always stopped and joined before the range's frames
// are touched again, on every way out of the copy.
class RawCopyWorker {
 public:
  std::atomic<int64_t> done{0};

  RawCopyWorker() = default;
  RawCopyWorker(const RawCopyWorker&) = delete;
  RawCopyWorker& operator=(const RawCopyWorker&) = delete;
  ~RawCopyWorker() {
    stop_.store(true);
    if (result_.valid()) result_.wait();
  }

  bool start(RangeSink& sink, const WaveFile& doc, int32_t first, int64_t begin, int64_t end) {
    try {
      result_ = std::async(std::launch::async, [this, &sink, &doc, first, begin, end] {
        return sink.copyOnWorker(doc, first, begin, end, done, stop_);
      });
      return true;
    } catch (const std::system_error&) {
      return false;  // no thread to be had: the calling thread copies it all
    }
  }
  // Waits a little; true while the worker is still copying.
  bool running() {
    return result_.valid() &&
           result_.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready;
  }
  bool succeeded() { return !result_.valid() || result_.get(); }

 private:
  std::atomic<bool> stop_{false};
  std::future<bool> result_;
};

// The raw copy, the overlay laid over it, then the silent frames. False on a failed write or
// Cancel (the continue flag tells which).
bool fillRange(WaveFile& doc, RangeSink& sink, const std::string& caption, int32_t first,
               int32_t extra, int32_t last) {
  Session& ctx = doc.ctx();
  ctx.continueFlag = true;
  const int64_t total = static_cast<int64_t>(last) - first + 1;
  {
    std::vector<int16_t> copy(static_cast<size_t>(std::min<int64_t>(kCopyFrames, total)) * 2);
    Progress progress(ctx, caption);
    // A long copy is shared with a second thread: the copying is memory-bound work for the
    // processor, and a machine with two cores does it in about half the time.
    RawCopyWorker worker;
    int64_t mainEnd = total;
    if (sink.canCopyOnWorker() && total >= 4 * int64_t{kCopyFrames}) {
      const int64_t half = total / 2 / kCopyFrames * kCopyFrames;
      if (worker.start(sink, doc, first, half, total)) mainEnd = half;
    }
    for (int64_t done = 0; done < mainEnd;) {
      const int32_t n = static_cast<int32_t>(std::min<int64_t>(kCopyFrames, mainEnd - done));
      if (!readRawFrames(doc, copy.data(), first + done, n) || !sink.write(done, copy.data(), n))
        return false;
      done += n;
      if (!progress.step(percentOf(done + worker.done.load(), total))) return false;
    }
    while (worker.running()) {
      if (!progress.step(percentOf(mainEnd + worker.done.load(), total))) return false;
    }
    if (!worker.succeeded()) return false;
  }
  std::vector<int16_t> buf(static_cast<size_t>(kChunkFrames) * 2);
  {
    Progress progress(ctx, " Updating:");
    const size_t records = doc.interps.size();
    for (size_t i = 0; i < records; ++i) {
      const Interpolation& rec = *doc.interps[i];
      const int32_t from = std::max(rec.start, first);
      const int32_t to = std::min(rec.end, last);
      if (rec.active && from <= to) {
        for (int32_t f = from; f <= to; f += kChunkFrames) {
          const int32_t n = std::min(kChunkFrames, to - f + 1);
          const int64_t at = static_cast<int64_t>(f) - first;
          if (!sink.read(at, buf.data(), n)) return false;
          for (int32_t k = 0; k < n; ++k)
            buf[2 * static_cast<size_t>(k) + rec.channel] = doc.SampleAt(rec, f + k);
          if (!sink.write(at, buf.data(), n)) return false;
        }
      }
      if (!progress.step(percentOf(static_cast<int64_t>(i) + 1, static_cast<int64_t>(records))))
        return false;
    }
  }
  std::fill(buf.begin(), buf.end(), int16_t{0});
  for (int64_t done = 0; done < extra;) {
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(kChunkFrames, extra - done));
    if (!sink.write(total + done, buf.data(), n)) return false;
    done += n;
  }
  return true;
}

}  // namespace

bool validFileName(const std::string& path) {
  return fileNamePart(path).find_first_of(kForbidden) == std::string::npos;
}

std::string invalidFileNameText(const std::string& path) {
  std::string text = "Invalid Filename: \"" + fileNamePart(path) +
                     "\".\rA file name may not contain any of these characters:\r";
  for (const char* c = kForbidden; *c; ++c) {
    if (c != kForbidden) text += ' ';
    text += *c;
  }
  return text;
}

bool writeRange(WaveFile& doc, const std::string& destination, int32_t first, int32_t extra,
                int32_t last, UncommittedFile* uncommitted) {
  Session& ctx = doc.ctx();
  if (first < 0 || last < first || extra < 0) return false;
  const uint64_t frames = static_cast<uint64_t>(last - first + 1) + static_cast<uint64_t>(extra);
  const uint64_t dataBytes64 = frames * kWavFrameBytes;
  const std::string name = destination.empty() ? std::string("clipboard") : destination;
  if (dataBytes64 > kMaxWavDataBytes) {
    ctx.error("Failed to write to " + name);
    return false;
  }
  const auto dataBytes = static_cast<uint32_t>(dataBytes64);
  // Undo and Redo, reachable while the progress panel pumps messages, would take records from
  // under the overlay being laid, and the copy must show one state of the document anyway.
  DirectWriteScope busy(doc);

  if (destination.empty()) {
    std::vector<uint8_t> image;
    try {
      image.assign(dataBytes64 + kWavHeaderBytes, 0);
    } catch (const std::bad_alloc&) {
      ctx.error(
          "Unable to allocate sufficient memory to hold the data to be written to the clipboard "
          "(code=" +
          std::to_string(ENOMEM) + ")");
      return false;
    }
    uint8_t* p = image.data();
    writeWavHeader(p, dataBytes, ctx.sampleRate);
    MemorySink sink(p);
    if (!fillRange(doc, sink, " Copying to Clipboard:", first, extra, last)) {
      if (ctx.continueFlag) ctx.error("Failed to write to " + name);
      return false;
    }
    if (!ctx.setClipboardWave(image)) {
      ctx.error("Failed to write to " + name);
      return false;
    }
    return true;
  }

  if (!validFileName(destination)) {
    ctx.error(invalidFileNameText(destination));
    return false;
  }
  // The file is written under a scratch name beside its destination and takes the name only
  // once complete and committed: a killed or failed write never leaves a short file there,
  // nor destroys the file that had the name before. A link is written through, in place.
  std::error_code ec;
  const bool inPlace =
      std::filesystem::is_symlink(std::filesystem::symlink_status(destination, ec));
  if (!inPlace && fileExists(destination) && !fileWritable(destination)) {
    ctx.error("Failed to write to " + destination);
    return false;
  }
  // Replacing a file another process is editing would leave that process writing into a file
  // that no longer has a name.
  if (heldElsewhere(destination)) {
    ctx.error("Failed to write to " + destination + ": it is open for writing in another process");
    return false;
  }
  const std::string target = inPlace ? destination : scratchNameFor(destination);
  bool ok = false;
  // Only what this writer made may be deleted: a name it could not open (a read-only file, a
  // folder) still holds what the user had there.
  bool created = false;
  UncommittedFile out;
  out.path = target;
  {
    created =
        inPlace ? out.file.open(target, BinaryFile::Mode::Create) : createScratch(out.file, target);
    if (created) {
      if (writeWavHeader(out.file, dataBytes, ctx.sampleRate)) {
        // Until it is whole, the file's first bytes say it is a scratch file of ours.
        std::array<uint8_t, 8> head{};
        ok = inPlace || hideHead(out.file, head);
        FileSink sink(out.file);
        const std::string caption = " " + fileNamePart(destination) + ":";
        ok = ok && fillRange(doc, sink, caption, first, extra, last);
        if (!ok && ctx.continueFlag) ctx.error("Failed to write to " + destination);
        if (ok && !inPlace && !restoreHead(out.file, head)) {
          ok = false;
          ctx.error("Failed to write to " + destination);
        }
        // The last buffered bytes (a full disk among them) fail only here.
        if (ok && !(uncommitted ? out.file.flush() : out.file.sync())) {
          ok = false;
          ctx.error("Failed to write to " + destination);
        }
      } else {
        ctx.error("Failed to write to " + destination);
      }
    } else {
      ctx.error("Failed to write to " + destination);
    }
  }
  if (!ok) {
    if (created) std::filesystem::remove(target, ec);
    out.file.close();
    return false;
  }
  // An uncommitted file is named by the caller once it is put in place.
  if (uncommitted) {
    *uncommitted = std::move(out);
    return true;
  }
  if (!putInPlace(out, destination)) {
    ctx.error("Failed to write to " + destination);
    return false;
  }
  ctx.wrote(destination);
  return true;
}

bool putInPlace(UncommittedFile& written, const std::string& destination) {
  if (written.path == destination) {
    written.file.close();
    return syncDirectoryOf(destination);
  }
  std::error_code ec;
  std::filesystem::rename(written.path, destination, ec);
  if (ec) {
    std::filesystem::remove(written.path, ec);
    written.file.close();
    return false;
  }
  written.file.close();
  saveBoundary();
  // The new name must survive a power cut as well as the bytes.
  return syncDirectoryOf(destination);
}

}  // namespace tolmar
