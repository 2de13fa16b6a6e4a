#include "declick/click_file.h"

#include <cstring>
#include <system_error>

#include "document/binary_file.h"
#include "document/replacing_file.h"

namespace tolmar {

namespace {

class MemorySource {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), left_(size) {}
  size_t read(uint8_t* dst, size_t bytes) {
    const size_t n = bytes < left_ ? bytes : left_;
    if (n > 0) std::memcpy(dst, data_, n);
    data_ += n;
    left_ -= n;
    return n;
  }

 private:
  const uint8_t* data_;
  size_t left_;
};

class FileSource {
 public:
  explicit FileSource(BinaryFile& file) : file_(file) {}
  size_t read(uint8_t* dst, size_t bytes) { return file_.read(dst, bytes); }

 private:
  BinaryFile& file_;
};

// Reads up to `count` records (all that are left when count is negative) into `list`; false
// when the data ended first.
template <class Source>
bool readRecords(Source& src, int32_t count, GlitchList& list) {
  uint8_t rec[kClickRecordBytes];
  for (int64_t i = 0; count < 0 || i < count; ++i) {
    if (src.read(rec, sizeof rec) != sizeof rec) return false;
    const uint8_t channel = rec[5];
    if (channel > 1) continue;
    list.Add(static_cast<int32_t>(loadU32(rec)), rec[4], channel);
  }
  return true;
}

template <class Source>
bool readCount(Source& src, int32_t& count) {
  uint8_t b[4];
  if (src.read(b, sizeof b) != sizeof b) return false;
  count = static_cast<int32_t>(loadU32(b));
  return true;
}

template <class Source>
ClickFileContents parse(Source& src) {
  ClickFileContents out;
  int32_t n = 0;
  if (!readCount(src, n) || !readRecords(src, n, out.stored)) return out;
  int32_t m = 0;
  if (!readCount(src, m)) return out;
  readRecords(src, m, out.falseClicks);
  return out;
}

void appendList(std::vector<uint8_t>& out, const GlitchList* list) {
  const size_t n = list ? list->size() : 0;
  size_t at = out.size();
  out.resize(at + 4 + n * kClickRecordBytes);
  storeU32(&out[at], static_cast<uint32_t>(n));
  at += 4;
  for (size_t i = 0; i < n; ++i, at += kClickRecordBytes) {
    const Glitch& g = list->items[i];
    storeU32(&out[at], static_cast<uint32_t>(g.position));
    out[at + 4] = g.polarity;
    out[at + 5] = g.channel;
  }
}

}  // namespace

ClickFileContents parseClickFile(const uint8_t* data, size_t size) {
  MemorySource src(data, data ? size : 0);
  return parse(src);
}

ClickFileContents readClickFile(BinaryFile& file) {
  FileSource src(file);
  return parse(src);
}

std::vector<uint8_t> clickFileImage(const GlitchList* stored, const GlitchList& falseClicks) {
  std::vector<uint8_t> out;
  appendList(out, stored);
  appendList(out, &falseClicks);
  return out;
}

void writeClickFile(const std::string& path, const GlitchList* stored,
                    const GlitchList& falseClicks) {
  const std::vector<uint8_t> image = clickFileImage(stored, falseClicks);
  // A failed write leaves the previous lists whole.
  ReplacingFile file(path);
  file.openOrThrow();
  if (!file.file().writeExact(image.data(), image.size()) || !file.commit())
    throw FileError("Cannot write file \"" + path + "\"");
}

}  // namespace tolmar
