#include "support/wav_builder.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tolmar::test {

namespace {

void put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void putId(std::vector<uint8_t>& out, const std::string& id) {
  for (size_t i = 0; i < 4; ++i) out.push_back(i < id.size() ? static_cast<uint8_t>(id[i]) : ' ');
}

}  // namespace

WavBuilder& WavBuilder::rate(uint32_t hz) {
  rate_ = hz;
  return *this;
}
WavBuilder& WavBuilder::channels(uint16_t n) {
  channels_ = n;
  return *this;
}
WavBuilder& WavBuilder::bits(uint16_t n) {
  bits_ = n;
  return *this;
}
WavBuilder& WavBuilder::formatTag(uint16_t tag) {
  formatTag_ = tag;
  return *this;
}
WavBuilder& WavBuilder::byteRate(uint32_t v) {
  byteRate_ = v;
  return *this;
}
WavBuilder& WavBuilder::blockAlign(uint16_t v) {
  blockAlign_ = v;
  return *this;
}
WavBuilder& WavBuilder::fmtSize(uint32_t bytes) {
  fmtSize_ = bytes;
  return *this;
}

WavBuilder& WavBuilder::chunk(const std::string& id, std::vector<uint8_t> body,
                              std::optional<uint32_t> sizeField) {
  chunks_.push_back({id, std::move(body), sizeField});
  return *this;
}

WavBuilder& WavBuilder::chunkBeforeFmt(const std::string& id, std::vector<uint8_t> body) {
  chunksBeforeFmt_.push_back({id, std::move(body), std::nullopt});
  return *this;
}

WavBuilder& WavBuilder::fmtExtension(std::vector<uint8_t> bytes) {
  fmtSize_ = static_cast<uint32_t>(16 + bytes.size());
  fmtExtension_ = std::move(bytes);
  return *this;
}

WavBuilder& WavBuilder::padOddChunks() {
  padOdd_ = true;
  return *this;
}

WavBuilder& WavBuilder::dataId(const std::string& id) {
  dataId_ = id;
  return *this;
}

WavBuilder& WavBuilder::samples(const std::vector<int16_t>& interleaved) {
  data_.clear();
  for (int16_t s : interleaved) put16(data_, static_cast<uint16_t>(s));
  return *this;
}

WavBuilder& WavBuilder::frames(int32_t count, const std::function<Frame(int32_t)>& gen) {
  data_.clear();
  data_.reserve(static_cast<size_t>(count) * 4);
  for (int32_t i = 0; i < count; ++i) {
    const Frame f = gen(i);
    put16(data_, static_cast<uint16_t>(f.left));
    put16(data_, static_cast<uint16_t>(f.right));
  }
  return *this;
}

WavBuilder& WavBuilder::staircase(int32_t count) {
  return frames(count, [](int32_t i) {
    return Frame{static_cast<int16_t>(i), static_cast<int16_t>(-i)};
  });
}

WavBuilder& WavBuilder::rawData(std::vector<uint8_t> bytes) {
  data_ = std::move(bytes);
  return *this;
}

WavBuilder& WavBuilder::dataSizeField(uint32_t v) {
  dataSizeField_ = v;
  return *this;
}
WavBuilder& WavBuilder::riffSizeField(uint32_t v) {
  riffSizeField_ = v;
  return *this;
}
WavBuilder& WavBuilder::trailing(std::vector<uint8_t> bytes, bool countInRiffSize) {
  trailing_ = std::move(bytes);
  trailingCounted_ = countInRiffSize;
  return *this;
}

int64_t WavBuilder::dataOffset() const {
  const auto pad = [this](uint64_t n) { return padOdd_ ? static_cast<int64_t>(n & 1) : 0; };
  int64_t offset = 12;
  for (const Chunk& c : chunksBeforeFmt_)
    offset += 8 + static_cast<int64_t>(c.body.size()) + pad(c.body.size());
  offset += 8 + std::max<int64_t>(16, fmtSize_) + pad(fmtSize_) + 8;
  for (const Chunk& c : chunks_)
    offset += 8 + static_cast<int64_t>(c.body.size()) + pad(c.body.size());
  return offset;
}

std::vector<uint8_t> WavBuilder::bytes() const {
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(dataOffset()) + data_.size() + trailing_.size());
  const auto pad = [&](uint64_t n) {
    if (padOdd_ && (n & 1)) out.push_back(0);
  };
  const auto putChunk = [&](const Chunk& c) {
    putId(out, c.id);
    put32(out, c.sizeField.value_or(static_cast<uint32_t>(c.body.size())));
    out.insert(out.end(), c.body.begin(), c.body.end());
    pad(c.body.size());
  };
  putId(out, "RIFF");
  put32(out, 0);  // filled in below
  putId(out, "WAVE");
  for (const Chunk& c : chunksBeforeFmt_) putChunk(c);
  putId(out, "fmt ");
  put32(out, fmtSize_);
  const uint16_t align = blockAlign_.value_or(static_cast<uint16_t>(channels_ * bits_ / 8));
  put16(out, formatTag_);
  put16(out, channels_);
  put32(out, rate_);
  put32(out, byteRate_.value_or(rate_ * align));
  put16(out, align);
  put16(out, bits_);
  if (fmtExtension_)
    out.insert(out.end(), fmtExtension_->begin(), fmtExtension_->end());
  else
    for (uint32_t i = 16; i < fmtSize_; ++i) out.push_back(0);
  pad(fmtSize_);
  for (const Chunk& c : chunks_) putChunk(c);
  putId(out, dataId_);
  put32(out, dataSizeField_.value_or(static_cast<uint32_t>(data_.size())));
  out.insert(out.end(), data_.begin(), data_.end());
  pad(data_.size());
  const size_t counted = out.size() + (trailingCounted_ ? trailing_.size() : 0);
  out.insert(out.end(), trailing_.begin(), trailing_.end());
  const uint32_t riff = riffSizeField_.value_or(static_cast<uint32_t>(counted - 8));
  for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(riff >> (8 * i));
  return out;
}

void WavBuilder::write(const std::filesystem::path& path) const {
  writeFileBytes(path, bytes());
}

std::vector<uint8_t> extensibleFmtExtension(uint16_t validBits, bool pcm) {
  std::vector<uint8_t> out;
  put16(out, 22);
  put16(out, validBits);
  put32(out, 3);
  put16(out, pcm ? 1 : 3);
  for (uint8_t b :
       {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71})
    out.push_back(b);
  return out;
}

std::vector<uint8_t> bytesOf(const std::string& s) {
  return std::vector<uint8_t>(s.begin(), s.end());
}

void writeFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<uint8_t> readFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace tolmar::test
