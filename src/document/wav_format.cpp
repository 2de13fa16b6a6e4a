#include "document/wav_format.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tolmar {

bool MemoryByteSource::seek(int64_t offset) {
  if (offset < 0 || static_cast<uint64_t>(offset) > size_) return false;
  pos_ = static_cast<size_t>(offset);
  return true;
}

size_t MemoryByteSource::read(void* dst, size_t bytes) {
  const size_t n = std::min(bytes, size_ - pos_);
  if (n > 0) std::memcpy(dst, data_ + pos_, n);
  pos_ += n;
  return n;
}

namespace {

// Tracks the position itself so that every skip can be checked against the length before the
// source is asked to move.
class Cursor {
 public:
  Cursor(ByteSource& src, int64_t size) : src_(src), size_(size) {}

  // Exactly n bytes; after a short read the rest of dst keeps what it held.
  bool take(uint8_t* dst, size_t n) {
    const size_t got = src_.read(dst, n);
    pos_ += static_cast<int64_t>(got);
    return got == n;
  }
  bool u16(uint16_t& v) {
    uint8_t b[2] = {};
    if (!take(b, 2)) return false;
    v = loadU16(b);
    return true;
  }
  bool u32(uint32_t& v) {
    uint8_t b[4] = {};
    if (!take(b, 4)) return false;
    v = loadU32(b);
    return true;
  }
  int64_t position() const { return pos_; }
  bool skip(int64_t bytes) {
    if (bytes < 0 || bytes > size_ - pos_) return false;
    pos_ += bytes;
    return src_.seek(pos_);
  }

 private:
  ByteSource& src_;
  int64_t size_;
  int64_t pos_ = 0;
};

// Every chunk body of odd size is followed by a pad byte that its size does not count.
int64_t paddedChunkBytes(uint32_t bytes) {
  return static_cast<int64_t>(bytes) + (bytes & 1);
}

constexpr uint16_t kWaveFormatExtensible = 0xFFFE;
// cbSize, valid bits, channel mask, subformat GUID.
constexpr size_t kExtensibleBytes = 24;
constexpr uint8_t kPcmSubformat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                       0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

bool isSupportedRate(uint32_t rate) {
  return rate == 44100 || rate == 48000;
}

template <size_t N>
bool sameId(const std::array<char, N>& id, const char* text) {
  return std::memcmp(id.data(), text, N) == 0;
}

char shownChar(uint8_t b) {
  return b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '?';
}

template <size_t N>
std::string shownMarker(const std::array<char, N>& id) {
  std::string s;
  for (char c : id) s += shownChar(static_cast<uint8_t>(c));
  return s;
}

}  // namespace

WavParseResult parseWavHeader(ByteSource& src, bool strict, int currentRate, HeaderCopy& copy) {
  WavParseResult result;
  copy = HeaderCopy{};
  const int64_t fileSize = src.size();
  if (fileSize < 0 || !src.seek(0)) return result;
  Cursor in(src, fileSize);

  // Identifier mismatches end the parse at once.
  const bool riffRead = in.take(reinterpret_cast<uint8_t*>(copy.riff.data()), 4);
  if (!riffRead || !sameId(copy.riff, "RIFF")) return result;
  if (!in.u32(copy.riffSize)) return result;
  auto* formMarker = reinterpret_cast<uint8_t*>(copy.waveFmt.data());
  if (!in.take(formMarker, 8) || !std::equal(formMarker, formMarker + 4, "WAVE")) return result;

  // Other programs put chunks (JUNK, bext, ...) before "fmt ". The report then shows "WAVE"
  // followed by the first identifier after it, unless a "fmt " chunk turns up.
  uint8_t chunkId[4];
  std::memcpy(chunkId, formMarker + 4, 4);
  while (std::memcmp(chunkId, "fmt ", 4) != 0) {
    uint32_t chunkBytes = 0;
    if (std::memcmp(chunkId, "data", 4) == 0 || !in.u32(chunkBytes) ||
        !in.skip(paddedChunkBytes(chunkBytes)) || !in.take(chunkId, 4))
      return result;
  }
  std::memcpy(formMarker + 4, "fmt ", 4);
  if (!in.u32(copy.fmtSize)) return result;

  // Value mismatches are collected; the fields are still read so the report shows them all.
  bool bad = false;
  // A fmt chunk shorter than its own fields would put frame 0 inside the header, and saving
  // edits there would overwrite it.
  if (copy.fmtSize < 16) bad = true;

  if (!in.u16(copy.formatTag)) return result;
  if (copy.formatTag != 1 && copy.formatTag != kWaveFormatExtensible) bad = true;
  if (!in.u16(copy.channels)) return result;
  if (copy.channels != 2) bad = true;

  if (!in.u32(copy.sampleRate)) return result;
  result.sampleRate = static_cast<int>(copy.sampleRate);
  if (strict && copy.sampleRate != static_cast<uint32_t>(currentRate)) bad = true;
  if (!isSupportedRate(copy.sampleRate)) bad = true;
  result.adoptRate = !strict && !bad;

  if (!in.u32(copy.byteRate)) return result;
  if (!in.u16(copy.blockAlign)) return result;
  if (!in.u16(copy.bitsPerSample)) return result;
  if (copy.bitsPerSample != 16) bad = true;

  int64_t fmtRest = copy.fmtSize >= 16 ? paddedChunkBytes(copy.fmtSize) - 16 : 0;
  if (copy.formatTag == kWaveFormatExtensible && copy.fmtSize >= 16 + kExtensibleBytes) {
    // The extension says what the samples are: only 16-bit PCM in all 16 bits is ours.
    uint8_t ext[kExtensibleBytes];
    if (!in.take(ext, kExtensibleBytes)) return result;
    fmtRest -= kExtensibleBytes;
    const uint16_t extensionBytes = loadU16(ext);
    const uint16_t validBits = loadU16(ext + 2);
    if (extensionBytes < kExtensibleBytes - 2 || validBits != 16 ||
        std::memcmp(ext + 8, kPcmSubformat, sizeof kPcmSubformat) != 0)
      bad = true;
  } else if (copy.formatTag == kWaveFormatExtensible) {
    bad = true;
  }

  if (fmtRest > 0 && !in.skip(fmtRest)) return result;

  // The first identifier is read even when bad, so the report can show it. A short read at
  // the end leaves the last identifier found in the copy.
  auto* id = reinterpret_cast<uint8_t*>(copy.dataId.data());
  if (!in.take(id, 4)) bad = true;
  while (!bad && !sameId(copy.dataId, "data")) {
    uint32_t chunkBytes = 0;
    // Each pass moves at least 8 bytes on and no skip passes the end, so the walk ends there.
    if (!in.u32(chunkBytes) || !in.skip(paddedChunkBytes(chunkBytes))) {
      bad = true;
      break;
    }
    if (!in.take(id, 4)) bad = true;
  }
  if (bad) return result;

  uint32_t dataBytes = 0;
  if (!in.u32(dataBytes)) return result;
  const int64_t dataOffset = in.position();
  // A size field may claim more than was ever written; only whole frames present count.
  const int64_t framesPresent = std::max<int64_t>(0, fileSize - dataOffset) / kWavFrameBytes;
  const int64_t framesClaimed = dataBytes / kWavFrameBytes;
  result.accepted = true;
  result.dataOffset = dataOffset;
  result.dataBytes = dataBytes;
  result.frameCount = static_cast<int32_t>(std::min(framesClaimed, framesPresent));
  return result;
}

std::array<uint8_t, kWavHeaderBytes> makeWavHeader(uint32_t dataBytes, int rate) {
  std::array<uint8_t, kWavHeaderBytes> h{};
  const auto r = static_cast<uint32_t>(rate);
  std::memcpy(&h[0], "RIFF", 4);
  storeU32(&h[4], dataBytes + 36);
  std::memcpy(&h[8], "WAVEfmt ", 8);
  storeU32(&h[16], 16);
  storeU16(&h[20], 1);
  storeU16(&h[22], 2);
  storeU32(&h[24], r);
  storeU32(&h[28], r * kWavFrameBytes);
  storeU16(&h[32], kWavFrameBytes);
  storeU16(&h[34], 16);
  std::memcpy(&h[36], "data", 4);
  storeU32(&h[40], dataBytes);
  return h;
}

bool writeWavHeader(BinaryFile& f, uint32_t dataBytes, int rate) {
  if (dataBytes > kMaxWavDataBytes) return false;
  const auto h = makeWavHeader(dataBytes, rate);
  return f.writeExact(h.data(), h.size());
}

bool writeWavHeader(uint8_t*& block, uint32_t dataBytes, int rate) {
  if (dataBytes > kMaxWavDataBytes) return false;
  const auto h = makeWavHeader(dataBytes, rate);
  std::memcpy(block, h.data(), h.size());
  block += h.size();
  return true;
}

bool rewriteDamagedHeader(const std::string& path, int rate) {
  if (!isSupportedRate(static_cast<uint32_t>(rate))) return false;
  BinaryFile f;
  if (!f.open(path, BinaryFile::Mode::ReadWrite)) return false;
  const int64_t length = f.size();
  // Writing 44 bytes into a shorter file would lengthen it with a header over nothing.
  if (length < kWavHeaderBytes || length - kWavHeaderBytes > kMaxWavDataBytes) return false;
  if (!f.seek(0)) return false;
  if (!writeWavHeader(f, static_cast<uint32_t>(length - kWavHeaderBytes), rate)) return false;
  return f.sync();
}

int64_t wellFormedChunkBytes(BinaryFile& f, int64_t from, int64_t end) {
  int64_t pos = from;
  while (pos >= 0 && pos + 8 <= end && f.seek(pos)) {
    uint8_t head[8];
    if (!f.readExact(head, sizeof head)) break;
    // Identifiers are printable characters; anything else is not a chunk but stray bytes.
    if (!std::all_of(head, head + 4, [](uint8_t c) { return c >= 0x20 && c < 0x7F; })) break;
    const int64_t body = loadU32(head + 4);
    const int64_t next = pos + 8 + body + (body & 1);
    // The pad byte of a last odd chunk may be missing; its body may not.
    if (pos + 8 + body > end) break;
    pos = std::min(next, end);
  }
  return pos - from;
}

TruncateInfo inspectSpuriousBytes(const std::string& path, int32_t frameCount, int64_t dataOffset) {
  TruncateInfo info;
  BinaryFile f;
  f.openOrThrow(path, BinaryFile::Mode::Read);
  info.expectedRiffSize = static_cast<int64_t>(frameCount) * kWavFrameBytes + dataOffset - 8;
  if (!f.seek(4) || !f.readU32(info.storedRiffSize)) {
    throw FileError("Cannot read the RIFF size of \"" + path + "\"");
  }
  if (info.storedRiffSize <= info.expectedRiffSize) return info;
  const int64_t fileBytes = f.size();
  const int64_t dataEnd = info.expectedRiffSize + 8;
  const int64_t riffEnd = std::min<int64_t>(fileBytes, int64_t{info.storedRiffSize} + 8);
  info.keptChunkBytes = wellFormedChunkBytes(f, dataEnd, riffEnd);
  if (info.storedRiffSize <= info.newRiffSize()) return info;
  info.hasSpuriousBytes = true;

  // The RIFF size may promise more than the file holds; count and read only what is there.
  const int64_t start = info.newRiffSize() + 8;
  info.spuriousBytes = std::max<int64_t>(0, fileBytes - start);
  const int64_t wanted =
      std::min<int64_t>(info.spuriousBytes, static_cast<int64_t>(kSpuriousBytesShown));
  if (wanted > 0 && f.seek(start)) {
    info.firstBytes.resize(static_cast<size_t>(wanted));
    info.firstBytes.resize(f.read(info.firstBytes.data(), info.firstBytes.size()));
  }
  return info;
}

bool truncateSpuriousBytes(const std::string& path, int64_t newRiffSize) {
  if (newRiffSize < 0 || newRiffSize > 0xFFFFFFFFll) return false;
  const auto newLength = static_cast<uintmax_t>(newRiffSize + 8);
  std::error_code ec;
  const uintmax_t length = std::filesystem::file_size(path, ec);
  // resize_file would pad a shorter file with zeros.
  if (ec || length < newLength) return false;
  std::filesystem::resize_file(path, newLength, ec);
  if (ec) return false;
  BinaryFile f;
  if (!f.open(path, BinaryFile::Mode::ReadWrite) || !f.seek(4)) return false;
  return f.writeU32(static_cast<uint32_t>(newRiffSize)) && f.sync();
}

std::vector<std::string> unsupportedFormatLines(const HeaderCopy& c) {
  auto num = [](uint32_t v) { return std::to_string(v); };
  return {
      "Type marker (should be \"RIFF\"): " + shownMarker(c.riff),
      "File Length: " + num(c.riffSize),
      "Format marker (should be \"WAVEfmt\"): " + shownMarker(c.waveFmt),
      "Data Offset (usually 16): " + num(c.fmtSize),
      "Format (should be 1): " + num(c.formatTag),
      "Channels (should be 2): " + num(c.channels),
      "Samples/sec (should be 44100 or 48000): " + num(c.sampleRate),
      "Bytes/sec (should be 176400 or 192000): " + num(c.byteRate),
      "Bytes/sample (should be 4): " + num(c.blockAlign),
      "Bits/sample (should be 16): " + num(c.bitsPerSample),
      "Data marker (should be \"data\"): " + shownMarker(c.dataId),
  };
}

std::string strictOpenErrorText(const std::string& path, int currentRate) {
  return path + " is not a " + (currentRate == 48000 ? "48" : "44.1") + "kHz 16bit stereo WAV file";
}

std::string spuriousBytesIntro(int64_t spuriousBytes) {
  return "There are " + std::to_string(spuriousBytes) +
         " spurious bytes in the file, starting with: ";
}

std::string spuriousBytesAsText(const std::vector<uint8_t>& bytes) {
  std::string s;
  s.reserve(bytes.size());
  for (uint8_t b : bytes) s += shownChar(b);
  return s;
}

std::string spuriousBytesAsHex(const std::vector<uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(bytes.size() * 3);
  for (uint8_t b : bytes) {
    s += kDigits[b >> 4];
    s += kDigits[b & 0xF];
    s += ' ';
  }
  return s;
}

std::string spuriousBytesRemovedText(int64_t spuriousBytes) {
  return std::to_string(spuriousBytes) + " spurious bytes removed";
}

ConfirmTruncationModel confirmTruncationModel(const TruncateInfo& info) {
  return {spuriousBytesIntro(info.spuriousBytes), spuriousBytesAsText(info.firstBytes),
          spuriousBytesAsHex(info.firstBytes)};
}

}  // namespace tolmar
