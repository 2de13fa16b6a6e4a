#pragma once
// The WAV file layer: the header parser used by every open, the one header writer used by
// every file or clipboard image the program makes, the damaged-header rewrite, the removal of
// bytes beyond the sample data, and the texts of the dialogs that go with them.
//
// Only one kind of sample data is accepted: 16-bit PCM (format tag 1, or the extensible format
// with the PCM subformat and 16 valid bits), 2 channels, 44100 or 48000 frames per second.
// Other chunks may stand before "fmt " and between fmt and data; every odd-sized chunk is
// followed by its pad byte. Nothing here touches the Session; callers apply what the parse
// found.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/session.h"
#include "document/binary_file.h"

namespace tolmar {

inline constexpr int kWavHeaderBytes = 44;
inline constexpr int kWavFrameBytes = 4;
// The largest data byte count whose RIFF size (count + 36) still fits 32 bits.
inline constexpr uint32_t kMaxWavDataBytes = 0xFFFFFFFFu - 36;

// ---- Byte sources ----

// Where the parser reads from: a file or a memory image. Offsets are absolute.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Total length in bytes, or -1 when it cannot be known.
  virtual int64_t size() = 0;
  virtual bool seek(int64_t offset) = 0;
  // Bytes actually read.
  virtual size_t read(void* dst, size_t bytes) = 0;
};

class FileByteSource : public ByteSource {
 public:
  explicit FileByteSource(BinaryFile& f) : f_(f) {}
  int64_t size() override { return f_.size(); }
  bool seek(int64_t offset) override { return f_.seek(offset); }
  size_t read(void* dst, size_t bytes) override { return f_.read(dst, bytes); }

 private:
  BinaryFile& f_;
};

// Reads a block the caller owns and keeps alive.
class MemoryByteSource : public ByteSource {
 public:
  MemoryByteSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  int64_t size() override { return static_cast<int64_t>(size_); }
  bool seek(int64_t offset) override;
  size_t read(void* dst, size_t bytes) override;

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// ---- Parsing ----

struct WavParseResult {
  bool accepted = false;
  int64_t dataOffset = 0;  // byte position of frame 0
  uint32_t dataBytes = 0;  // the data chunk's size field as stored
  // dataBytes div 4, but never more whole frames than the file holds after dataOffset.
  int32_t frameCount = 0;
  int sampleRate = 0;  // as read, whatever its value
  // The rate passed the checks of a non-strict open. A non-strict open adopts the rate at that
  // point, also when the chunk walk fails afterwards.
  bool adoptRate = false;
};

// Parses from offset 0. `copy` is zeroed, then filled with the fields as far as they were read
// (it feeds the Unsupported Format report; its form marker is "WAVE" and "fmt ", or "WAVE" and
// the first identifier after it when the file has no fmt chunk). In strict mode a rate other than
// `currentRate` is refused. Never allocates; every chunk size is checked against the source's
// length first.
WavParseResult parseWavHeader(ByteSource& src, bool strict, int currentRate, HeaderCopy& copy);

// ---- Writing ----

// The canonical 44-byte header for `dataBytes` bytes of frames at `rate`.
std::array<uint8_t, kWavHeaderBytes> makeWavHeader(uint32_t dataBytes, int rate);
// Writes the header at the file's current position. False when dataBytes > kMaxWavDataBytes
// (nothing is written then) or when the write fails.
bool writeWavHeader(BinaryFile& f, uint32_t dataBytes, int rate);
// Copies the header to `block` and advances it by 44. False, with nothing copied, when
// dataBytes > kMaxWavDataBytes.
bool writeWavHeader(uint8_t*& block, uint32_t dataBytes, int rate);

// Overwrites the first 44 bytes of the file with the canonical header at `rate` (44100 or
// 48000), claiming every byte after it as data. The file is neither truncated nor extended:
// a file shorter than 44 bytes, or too long for a 32-bit RIFF size, is refused with false.
bool rewriteDamagedHeader(const std::string& path, int rate);

// ---- Spurious bytes ----

struct TruncateInfo {
  int64_t expectedRiffSize = 0;  // E: frameCount * 4 + dataOffset - 8
  uint32_t storedRiffSize = 0;   // R, at offset 4
  // The well-formed chunks right after the data (a LIST chunk, say), kept by the truncation.
  int64_t keptChunkBytes = 0;
  // Whether the RIFF size claims more than the data and the kept chunks (R > E + kept).
  bool hasSpuriousBytes = false;
  // The bytes the truncation removes: those present after the kept chunks (0 when the RIFF
  // size promises bytes that the file does not hold).
  int64_t spuriousBytes = 0;
  // The first min(X, 255) of them.
  std::vector<uint8_t> firstBytes;
  // The RIFF size after the truncation: E + kept.
  int64_t newRiffSize() const { return expectedRiffSize + keptChunkBytes; }
};

inline constexpr size_t kSpuriousBytesShown = 255;

// Throws FileError when the file cannot be opened or holds no RIFF size.
TruncateInfo inspectSpuriousBytes(const std::string& path, int32_t frameCount, int64_t dataOffset);
// Cuts the file at newRiffSize + 8 and stores newRiffSize as its RIFF size. Refuses (false) to
// lengthen a file that is already shorter than that, and a size that does not fit 32 bits.
bool truncateSpuriousBytes(const std::string& path, int64_t newRiffSize);

// The length of the run of complete chunks (four-character id, 32-bit size, body, pad byte)
// that starts at `from` and ends by `end`; 0 when the first is not one.
int64_t wellFormedChunkBytes(BinaryFile& f, int64_t from, int64_t end);

// ---- Texts ----

// Unsupported Format dialog (id kUnsupportedFormatDialogId, model UnsupportedFormatModel).
inline constexpr char kUnsupportedFormatDialogId[] = "UnsupportedFormat";
inline constexpr char kUnsupportedFormatCaption[] = "Unsupported Format";
inline constexpr char kUnsupportedFormatText[] =
    "File is not a 44.1kHz or 48kHz 16bit stereo WAV file";
inline constexpr char kUnsupportedFormatSummary[] = "Here is a summary of its header:";
inline constexpr char kUnsupportedFormatClose[] = "Close";
inline constexpr char kUnsupportedFormatRewrite[] = "Rewrite Header...";

// The host returns true only when the user chose "Rewrite Header..." and then "Rewrite Header"
// in the inner dialog; rewriteRate then holds the rate chosen there.
struct UnsupportedFormatModel {
  std::string path;
  std::vector<std::string> lines;  // unsupportedFormatLines()
  int rewriteRate = 44100;
};

// The eleven lines of the header summary, each "<label> <value>". Markers are shown as their
// characters, with every byte outside printable ASCII shown as '?'.
std::vector<std::string> unsupportedFormatLines(const HeaderCopy& copy);

// Strict opens: "<path> is not a 44.1kHz 16bit stereo WAV file" ("48" for a 48000 document).
std::string strictOpenErrorText(const std::string& path, int currentRate);

// Rewrite Damaged WAV Header dialog (id kRewriteHeaderDialogId, model RewriteHeaderModel).
inline constexpr char kRewriteHeaderDialogId[] = "RewriteHeader";
inline constexpr char kRewriteHeaderCaption[] = "Rewrite Damaged WAV Header";
inline constexpr std::array<const char*, 4> kRewriteHeaderLines = {
    "This operation will write a new header to the file, defining it as a",
    "16 bit stereo WAV file, with a sample rate of either 44.1 or 48kHz.",
    "Note that the first 44 bytes of the file will be OVERWRITTEN by the",
    "new header, so any data present in those first 44 bytes will be lost."};
inline constexpr char kRewriteHeaderRateGroup[] = "Sample Rate ";
inline constexpr std::array<const char*, 2> kRewriteHeaderRates = {"44100", "48000"};
inline constexpr char kRewriteHeaderOk[] = "Rewrite Header";
inline constexpr char kRewriteHeaderCancel[] = "Cancel";
inline constexpr char kHeaderRewrittenText[] = "Header Rewritten - File will now be opened";

struct RewriteHeaderModel {
  int rate = 44100;
};

// Truncate Extra Data and its Confirm Truncation dialog (id kConfirmTruncationDialogId).
inline constexpr char kNoSpuriousBytesText[] = "File has no spurious bytes";
inline constexpr char kConfirmTruncationDialogId[] = "ConfirmTruncation";
inline constexpr char kConfirmTruncationCaption[] = "Confirm Truncation";
inline constexpr char kConfirmTruncationHexLabel[] = "(in hexadecimal):";
inline constexpr char kConfirmTruncationOk[] = "Remove Them";
inline constexpr char kConfirmTruncationCancel[] = "Leave Them";

struct ConfirmTruncationModel {
  std::string intro;       // spuriousBytesIntro()
  std::string characters;  // spuriousBytesAsText()
  std::string hex;         // spuriousBytesAsHex()
};

// "There are <X> spurious bytes in the file, starting with: "
std::string spuriousBytesIntro(int64_t spuriousBytes);
// The bytes as characters, '?' for each byte outside printable ASCII.
std::string spuriousBytesAsText(const std::vector<uint8_t>& bytes);
// Two upper-case hex digits and a space per byte: "52 49 46 46 ".
std::string spuriousBytesAsHex(const std::vector<uint8_t>& bytes);
// "<X> spurious bytes removed"
std::string spuriousBytesRemovedText(int64_t spuriousBytes);
// The Confirm Truncation model for what inspectSpuriousBytes found.
ConfirmTruncationModel confirmTruncationModel(const TruncateInfo& info);

}  // namespace tolmar
