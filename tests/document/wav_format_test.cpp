#include "document/wav_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar {
namespace {

using test::bytesOf;
using test::readFileBytes;
using test::TempDir;
using test::WavBuilder;
using test::writeFileBytes;

struct Parsed {
  WavParseResult r;
  HeaderCopy copy;
};

Parsed parseBytes(const std::vector<uint8_t>& bytes, bool strict = false, int rate = 44100) {
  Parsed p;
  MemoryByteSource src(bytes.data(), bytes.size());
  p.r = parseWavHeader(src, strict, rate, p.copy);
  return p;
}

Parsed parseFile(const std::string& path, bool strict = false, int rate = 44100) {
  Parsed p;
  BinaryFile f(path, BinaryFile::Mode::Read);
  FileByteSource src(f);
  p.r = parseWavHeader(src, strict, rate, p.copy);
  return p;
}

std::string str(const std::array<char, 4>& id) {
  return std::string(id.begin(), id.end());
}

// ---- Parsing ----

TEST(WavParse, CanonicalFileFromFileAndMemoryAgree) {
  TempDir dir;
  const auto wav = WavBuilder().rate(48000).staircase(1000);
  wav.write(dir.file("a.wav"));
  for (const Parsed& p : {parseFile(dir.file("a.wav")), parseBytes(wav.bytes())}) {
    EXPECT_TRUE(p.r.accepted);
    EXPECT_EQ(p.r.dataOffset, 44);
    EXPECT_EQ(p.r.dataBytes, 4000u);
    EXPECT_EQ(p.r.frameCount, 1000);
    EXPECT_EQ(p.r.sampleRate, 48000);
    EXPECT_TRUE(p.r.adoptRate);
    EXPECT_EQ(p.copy.riffSize, 4036u);
    EXPECT_EQ(p.copy.byteRate, 192000u);
    EXPECT_EQ(str(p.copy.dataId), "data");
  }
}

TEST(WavParse, ChunksBetweenFmtAndDataMoveTheDataOffset) {
  const std::vector<uint8_t> list(26, 'x');
  auto b = WavBuilder().chunk("LIST", list).staircase(5).bytes();
  Parsed p = parseBytes(b);
  ASSERT_TRUE(p.r.accepted);
  EXPECT_EQ(p.r.dataOffset, 44 + 8 + 26);
  EXPECT_EQ(p.r.frameCount, 5);
  // Frame 3 really lies there: left 3, right -3.
  EXPECT_EQ(loadU16(&b[p.r.dataOffset + 12]), 3);
  EXPECT_EQ(static_cast<int16_t>(loadU16(&b[p.r.dataOffset + 14])), -3);

  // An odd size is followed by its pad byte; several chunks add up.
  p = parseBytes(WavBuilder()
                     .chunk("LIST", {1, 2, 3})
                     .chunk("fact", {0, 0, 0, 0})
                     .padOddChunks()
                     .staircase(2)
                     .bytes());
  ASSERT_TRUE(p.r.accepted);
  EXPECT_EQ(p.r.dataOffset, 44 + 12 + 12);
  EXPECT_EQ(p.r.frameCount, 2);
}

TEST(WavParse, ChunksBeforeFmtAreSteppedOver) {
  // A JUNK chunk reserving room for a 64-bit header, and an odd one with its pad byte.
  const auto b = WavBuilder()
                     .chunkBeforeFmt("JUNK", std::vector<uint8_t>(28, 0))
                     .chunkBeforeFmt("bext", {7, 7, 7})
                     .padOddChunks()
                     .staircase(6)
                     .bytes();
  Parsed p = parseBytes(b);
  ASSERT_TRUE(p.r.accepted);
  EXPECT_EQ(p.r.dataOffset, 44 + 36 + 12);
  EXPECT_EQ(p.r.frameCount, 6);
  EXPECT_EQ(loadU16(&b[p.r.dataOffset + 20]), 5);
  EXPECT_EQ(std::string(p.copy.waveFmt.begin(), p.copy.waveFmt.end()), "WAVEfmt ");
  EXPECT_EQ(p.copy.fmtSize, 16u);
  EXPECT_EQ(p.copy.sampleRate, 44100u);

  // A data chunk ahead of any fmt chunk leaves the format unknown.
  auto noFmt = WavBuilder().staircase(2).bytes();
  std::memcpy(&noFmt[12], "data", 4);
  p = parseBytes(noFmt);
  EXPECT_FALSE(p.r.accepted);
  EXPECT_EQ(std::string(p.copy.waveFmt.begin(), p.copy.waveFmt.end()), "WAVEdata");
  // A chunk before fmt that runs past the end.
  p = parseBytes(WavBuilder().chunkBeforeFmt("JUNK", {}).staircase(2).bytes());
  ASSERT_TRUE(p.r.accepted);
  auto past = WavBuilder().chunkBeforeFmt("JUNK", {1, 2}).staircase(2).bytes();
  storeU32(&past[16], 0xFFFFFFFF);
  EXPECT_FALSE(parseBytes(past).r.accepted);
}

TEST(WavParse, ExtensibleFormatIsAcceptedOnlyFor16BitPcm) {
  const auto ext = WavBuilder()
                       .formatTag(0xFFFE)
                       .fmtExtension(test::extensibleFmtExtension())
                       .rate(48000)
                       .staircase(9)
                       .bytes();
  Parsed p = parseBytes(ext);
  ASSERT_TRUE(p.r.accepted);
  EXPECT_EQ(p.r.dataOffset, 44 + 24);
  EXPECT_EQ(p.r.frameCount, 9);
  EXPECT_TRUE(p.r.adoptRate);
  EXPECT_EQ(p.copy.formatTag, 0xFFFE);
  EXPECT_EQ(p.copy.fmtSize, 40u);

  // Float samples, 16 bits carrying fewer valid ones, and an extension too short to say.
  const WavBuilder refused[] = {
      WavBuilder().formatTag(0xFFFE).fmtExtension(test::extensibleFmtExtension(16, false)),
      WavBuilder().formatTag(0xFFFE).fmtExtension(test::extensibleFmtExtension(12)),
      WavBuilder().formatTag(0xFFFE).fmtSize(18),
  };
  for (const WavBuilder& r : refused) {
    WavBuilder wav = r;
    p = parseBytes(wav.staircase(4).bytes());
    EXPECT_FALSE(p.r.accepted);
    EXPECT_EQ(p.copy.formatTag, 0xFFFE);
    EXPECT_EQ(str(p.copy.dataId), "data");
  }
}

TEST(WavParse, LongerFmtChunkIsSkipped) {
  Parsed p = parseBytes(WavBuilder().fmtSize(18).staircase(3).bytes());
  ASSERT_TRUE(p.r.accepted);
  EXPECT_EQ(p.r.dataOffset, 46);
  EXPECT_EQ(p.r.frameCount, 3);
  EXPECT_EQ(p.copy.fmtSize, 18u);
}

TEST(WavParse, OtherFormatsAreRefusedWithTheHeaderCopyFilled) {
  struct Case {
    WavBuilder wav;
    uint32_t rate;
    uint16_t channels, bits, tag;
    bool adoptRate;  // the rate is taken before the bits are looked at
  };
  const Case cases[] = {
      {WavBuilder().rate(22050), 22050, 2, 16, 1, false},
      {WavBuilder().channels(1), 44100, 1, 16, 1, false},
      {WavBuilder().bits(8), 44100, 2, 8, 1, true},
      {WavBuilder().formatTag(3), 44100, 2, 16, 3, false},
  };
  for (const Case& c : cases) {
    WavBuilder wav = c.wav;
    Parsed p = parseBytes(wav.rawData(std::vector<uint8_t>(64, 0x80)).bytes());
    EXPECT_FALSE(p.r.accepted);
    EXPECT_EQ(p.r.adoptRate, c.adoptRate);
    EXPECT_EQ(p.copy.sampleRate, c.rate);
    EXPECT_EQ(p.copy.channels, c.channels);
    EXPECT_EQ(p.copy.bitsPerSample, c.bits);
    EXPECT_EQ(p.copy.formatTag, c.tag);
    EXPECT_EQ(p.copy.fmtSize, 16u);
    // The data identifier is still looked for, so the report can show it.
    EXPECT_EQ(str(p.copy.dataId), "data");
  }
}

TEST(WavParse, StrictModeWantsTheDocumentRate) {
  const auto b48 = WavBuilder().rate(48000).staircase(4).bytes();
  Parsed p = parseBytes(b48, true, 44100);
  EXPECT_FALSE(p.r.accepted);
  EXPECT_EQ(p.copy.sampleRate, 48000u);

  p = parseBytes(b48, true, 48000);
  EXPECT_TRUE(p.r.accepted);
  EXPECT_FALSE(p.r.adoptRate);  // a strict open never changes the rate

  EXPECT_EQ(strictOpenErrorText("/x/b.wav", 44100),
            "/x/b.wav is not a 44.1kHz 16bit stereo WAV file");
  EXPECT_EQ(strictOpenErrorText("/x/b.wav", 48000),
            "/x/b.wav is not a 48kHz 16bit stereo WAV file");
}

TEST(WavParse, FrameCountDropsPartialFramesAndIsLimitedToTheFile) {
  // Size field not a multiple of 4.
  Parsed p = parseBytes(WavBuilder().rawData(std::vector<uint8_t>(43, 1)).bytes());
  ASSERT_TRUE(p.r.accepted);
  EXPECT_EQ(p.r.dataBytes, 43u);
  EXPECT_EQ(p.r.frameCount, 10);

  // Size fields that claim more than the file holds keep their value but not their frames.
  for (uint32_t claimed : {4000u, 0xFFFFFFFFu, 0x7FFFFFFCu}) {
    p = parseBytes(
        WavBuilder().rawData(std::vector<uint8_t>(42, 1)).dataSizeField(claimed).bytes());
    ASSERT_TRUE(p.r.accepted);
    EXPECT_EQ(p.r.dataBytes, claimed);
    EXPECT_EQ(p.r.frameCount, 10);
  }

  // A data chunk header at the very end: no frames, still a file.
  p = parseBytes(WavBuilder().dataSizeField(400).bytes());
  ASSERT_TRUE(p.r.accepted);
  EXPECT_EQ(p.r.frameCount, 0);
}

TEST(WavParse, ChunkWalkEndingAtEndOfFileFails) {
  // No data chunk at all: the walk runs off the end.
  Parsed p = parseBytes(WavBuilder().dataId("junk").staircase(8).bytes());
  EXPECT_FALSE(p.r.accepted);
  EXPECT_EQ(str(p.copy.dataId), "junk");

  // A chunk claiming more bytes than follow it, up to the largest 32-bit sizes.
  for (uint32_t size : {100u, 0x7FFFFFFFu, 0xFFFFFFF8u, 0xFFFFFFFFu}) {
    p = parseBytes(WavBuilder().chunk("LIST", {1, 2, 3, 4}, size).staircase(8).bytes());
    EXPECT_FALSE(p.r.accepted) << size;
  }
  // A chunk size that would land exactly on the end leaves no identifier to read.
  auto b = WavBuilder().chunk("LIST", {}, 12).rawData({1, 2, 3, 4}).dataId("abcd").bytes();
  EXPECT_FALSE(parseBytes(b).r.accepted);
  // fmt sizes that do not fit the file, where 32-bit sums would wrap around.
  for (uint32_t f : {0xFFFFFFFFu, 0xFFFFFFE4u, 0xFFFFFFF0u}) {
    auto bad = WavBuilder().staircase(8).bytes();
    storeU32(&bad[16], f);
    EXPECT_FALSE(parseBytes(bad).r.accepted) << f;
  }
  // RIFF size is not checked.
  EXPECT_TRUE(parseBytes(WavBuilder().riffSizeField(0xFFFFFFFF).staircase(2).bytes()).r.accepted);
}

TEST(WavParse, IdentifierMismatchesEndTheParseAtOnce) {
  auto b = WavBuilder().staircase(2).bytes();
  b[3] = 'X';
  Parsed p = parseBytes(b);
  EXPECT_FALSE(p.r.accepted);
  EXPECT_EQ(str(p.copy.riff), "RIFX");
  EXPECT_EQ(p.copy.riffSize, 0u);  // nothing after the marker was read

  // Without a fmt chunk the report shows what follows "WAVE".
  b = WavBuilder().staircase(2).bytes();
  std::memcpy(&b[12], "LIST", 4);
  p = parseBytes(b);
  EXPECT_FALSE(p.r.accepted);
  EXPECT_EQ(std::string(p.copy.waveFmt.begin(), p.copy.waveFmt.end()), "WAVELIST");
  EXPECT_EQ(p.copy.fmtSize, 0u);
}

TEST(WavParse, FmtChunkShorterThanItsFieldsIsRefused) {
  // The fields still sit at 20..35 and "data" at 36, but frame 0 would land at 28 + 14.
  Parsed p = parseBytes(WavBuilder().fmtSize(14).staircase(4).bytes());
  EXPECT_FALSE(p.r.accepted);
  EXPECT_EQ(p.copy.fmtSize, 14u);
}

TEST(WavParse, EveryTruncatedHeaderIsRefusedAndTheCopyIsZeroedFirst) {
  const auto full = WavBuilder().rate(48000).staircase(1).bytes();
  for (size_t n = 0; n < 44; ++n) {
    Parsed p = parseBytes(WavBuilder().rate(22050).channels(1).bytes());
    MemoryByteSource src(full.data(), n);
    EXPECT_FALSE(parseWavHeader(src, false, 44100, p.copy).accepted) << n;
    EXPECT_NE(p.copy.sampleRate, 22050u) << n;
    EXPECT_NE(p.copy.channels, 1) << n;
  }
  MemoryByteSource src(full.data(), 44);
  HeaderCopy copy;
  WavParseResult r = parseWavHeader(src, false, 44100, copy);
  EXPECT_TRUE(r.accepted);
  EXPECT_EQ(r.frameCount, 0);
  EXPECT_EQ(r.dataBytes, 4u);
}

// ---- Writing ----

TEST(WavWrite, CanonicalHeaderBytesAreExact) {
  const uint8_t expected[44] = {'R', 'I', 'F',  'F',  0x28, 0x03, 0x02, 0x01, 'W',  'A',  'V',
                                'E', 'f', 'm',  't',  ' ',  16,   0,    0,    0,    1,    0,
                                2,   0,   0x44, 0xAC, 0,    0,    0x10, 0xB1, 0x02, 0x00, 4,
                                0,   16,  0,    'd',  'a',  't',  'a',  0x04, 0x03, 0x02, 0x01};
  const auto h = makeWavHeader(0x01020304, 44100);
  EXPECT_EQ(std::memcmp(h.data(), expected, 44), 0);

  // 48000: rate 0x0000BB80, byte rate 192000 = 0x0002EE00.
  const auto h48 = makeWavHeader(0, 48000);
  EXPECT_EQ(loadU32(&h48[4]), 36u);
  EXPECT_EQ(loadU32(&h48[24]), 48000u);
  EXPECT_EQ(loadU32(&h48[28]), 192000u);

  std::vector<uint8_t> block(50, 0xEE);
  uint8_t* p = block.data() + 3;
  ASSERT_TRUE(writeWavHeader(p, 0x01020304, 44100));
  EXPECT_EQ(p, block.data() + 47);
  EXPECT_EQ(std::memcmp(block.data() + 3, expected, 44), 0);
  EXPECT_EQ(block[2], 0xEE);
  EXPECT_EQ(block[47], 0xEE);

  // Too large for the RIFF size: nothing written, pointer unmoved.
  p = block.data();
  EXPECT_FALSE(writeWavHeader(p, kMaxWavDataBytes + 1, 44100));
  EXPECT_EQ(p, block.data());
  EXPECT_TRUE(writeWavHeader(p, kMaxWavDataBytes, 44100));
  EXPECT_EQ(loadU32(block.data() + 4), 0xFFFFFFFFu);
}

TEST(WavWrite, FileHeaderWithFramesParsesBack) {
  TempDir dir;
  const std::string path = dir.file("w.wav");
  {
    BinaryFile f(path, BinaryFile::Mode::Create);
    ASSERT_TRUE(writeWavHeader(f, 40, 48000));
    const auto frames = WavBuilder().staircase(10).bytes();
    f.writeExact(frames.data() + 44, 40);
  }
  EXPECT_EQ(readFileBytes(path), WavBuilder().rate(48000).staircase(10).bytes());
  Parsed p = parseFile(path, true, 48000);
  EXPECT_TRUE(p.r.accepted);
  EXPECT_EQ(p.r.frameCount, 10);
}

// ---- Rewrite Damaged WAV Header ----

TEST(WavRewrite, HeaderClaimsEveryByteAfterIt) {
  TempDir dir;
  const std::string path = dir.file("d.wav");
  std::vector<uint8_t> bytes(44 + 4 * 100 + 3);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  writeFileBytes(path, bytes);
  ASSERT_FALSE(parseFile(path).r.accepted);

  ASSERT_TRUE(rewriteDamagedHeader(path, 48000));
  const auto after = readFileBytes(path);
  const uint32_t L = static_cast<uint32_t>(bytes.size());
  ASSERT_EQ(after.size(), bytes.size());
  const auto h = makeWavHeader(L - 44, 48000);
  EXPECT_TRUE(std::equal(h.begin(), h.end(), after.begin()));
  EXPECT_EQ(loadU32(&after[4]), L - 8);
  EXPECT_EQ(loadU32(&after[40]), L - 44);
  EXPECT_TRUE(std::equal(after.begin() + 44, after.end(), bytes.begin() + 44));

  Parsed p = parseFile(path);
  EXPECT_TRUE(p.r.accepted);
  EXPECT_EQ(p.r.sampleRate, 48000);
  EXPECT_EQ(p.r.frameCount, 100);
}

TEST(WavRewrite, ShortFilesAndOtherRatesAreRefusedUntouched) {
  TempDir dir;
  const std::string path = dir.file("s.wav");
  const std::vector<uint8_t> shortFile(43, 'z');
  writeFileBytes(path, shortFile);
  EXPECT_FALSE(rewriteDamagedHeader(path, 44100));
  EXPECT_EQ(readFileBytes(path), shortFile);

  writeFileBytes(path, std::vector<uint8_t>(44, 'z'));
  EXPECT_FALSE(rewriteDamagedHeader(path, 22050));
  EXPECT_TRUE(rewriteDamagedHeader(path, 44100));
  EXPECT_EQ(readFileBytes(path), WavBuilder().bytes());

  EXPECT_FALSE(rewriteDamagedHeader(dir.file("missing.wav"), 44100));
  EXPECT_FALSE(std::filesystem::exists(dir.file("missing.wav")));
}

// ---- Unsupported Format report ----

TEST(WavReport, ElevenLinesShowTheHeaderCopy) {
  Parsed p = parseBytes(WavBuilder().rate(22050).channels(1).bits(8).rawData({1, 2}).bytes());
  ASSERT_FALSE(p.r.accepted);
  const std::vector<std::string> expected = {
      "Type marker (should be \"RIFF\"): RIFF",
      "File Length: 38",
      "Format marker (should be \"WAVEfmt\"): WAVEfmt ",
      "Data Offset (usually 16): 16",
      "Format (should be 1): 1",
      "Channels (should be 2): 1",
      "Samples/sec (should be 44100 or 48000): 22050",
      "Bytes/sec (should be 176400 or 192000): 22050",
      "Bytes/sample (should be 4): 1",
      "Bits/sample (should be 16): 8",
      "Data marker (should be \"data\"): data",
  };
  EXPECT_EQ(unsupportedFormatLines(p.copy), expected);

  HeaderCopy odd;
  odd.riff = {'R', '\0', '\xFF', '\n'};
  odd.riffSize = 0xFFFFFFFF;
  const auto lines = unsupportedFormatLines(odd);
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[0], "Type marker (should be \"RIFF\"): R???");
  EXPECT_EQ(lines[1], "File Length: 4294967295");
  EXPECT_EQ(lines[2], "Format marker (should be \"WAVEfmt\"): ????????");
}

// ---- Spurious bytes ----

TEST(WavTruncate, RiffSizeEqualToExpectedHasNoSpuriousBytes) {
  TempDir dir;
  const std::string path = dir.file("t.wav");
  WavBuilder().chunk("LIST", bytesOf("abc")).padOddChunks().staircase(50).write(path);
  Parsed p = parseFile(path);
  TruncateInfo info = inspectSpuriousBytes(path, p.r.frameCount, p.r.dataOffset);
  EXPECT_EQ(info.expectedRiffSize, 200 + p.r.dataOffset - 8);
  EXPECT_EQ(info.storedRiffSize, info.expectedRiffSize);
  EXPECT_EQ(info.spuriousBytes, 0);
  EXPECT_TRUE(info.firstBytes.empty());
  EXPECT_STREQ(kNoSpuriousBytesText, "File has no spurious bytes");
}

TEST(WavTruncate, StrayBytesAfterTheDataAreCountedShownAndRemoved) {
  TempDir dir;
  const std::string path = dir.file("t.wav");
  std::vector<uint8_t> tail = {0x00, 0x7F, 0xFF};
  tail.resize(30, 'A');
  const auto wav = WavBuilder().staircase(50).trailing(tail);
  wav.write(path);
  Parsed p = parseFile(path);
  ASSERT_TRUE(p.r.accepted);
  TruncateInfo info = inspectSpuriousBytes(path, p.r.frameCount, p.r.dataOffset);
  EXPECT_EQ(info.expectedRiffSize, 236);
  EXPECT_EQ(info.storedRiffSize, 266u);
  EXPECT_TRUE(info.hasSpuriousBytes);
  EXPECT_EQ(info.keptChunkBytes, 0);
  EXPECT_EQ(info.spuriousBytes, 30);
  EXPECT_EQ(info.firstBytes, tail);

  const ConfirmTruncationModel m = confirmTruncationModel(info);
  EXPECT_EQ(m.intro, "There are 30 spurious bytes in the file, starting with: ");
  EXPECT_EQ(m.characters, "???" + std::string(27, 'A'));
  EXPECT_EQ(m.hex.substr(0, 12), "00 7F FF 41 ");
  EXPECT_EQ(m.hex.size(), 90u);
  EXPECT_EQ(spuriousBytesRemovedText(info.spuriousBytes), "30 spurious bytes removed");

  ASSERT_TRUE(truncateSpuriousBytes(path, info.newRiffSize()));
  EXPECT_EQ(readFileBytes(path), WavBuilder().staircase(50).bytes());
  EXPECT_FALSE(inspectSpuriousBytes(path, 50, 44).hasSpuriousBytes);
}

TEST(WavTruncate, WellFormedChunksAfterTheDataAreKept) {
  TempDir dir;
  const std::string path = dir.file("t.wav");
  // A LIST chunk with an odd body and its pad byte, a second chunk, then stray bytes.
  std::vector<uint8_t> chunks = bytesOf("LIST");
  chunks.insert(chunks.end(), {5, 0, 0, 0, 'I', 'N', 'F', 'O', '!', 0});
  const std::vector<uint8_t> id3 = {'i', 'd', '3', ' ', 2, 0, 0, 0, 7, 7};
  chunks.insert(chunks.end(), id3.begin(), id3.end());
  std::vector<uint8_t> tail = chunks;
  tail.insert(tail.end(), {0xFF, 0xFE, 0x01});
  WavBuilder().staircase(50).trailing(tail).write(path);

  TruncateInfo info = inspectSpuriousBytes(path, 50, 44);
  EXPECT_EQ(info.keptChunkBytes, static_cast<int64_t>(chunks.size()));
  EXPECT_TRUE(info.hasSpuriousBytes);
  EXPECT_EQ(info.spuriousBytes, 3);
  ASSERT_TRUE(truncateSpuriousBytes(path, info.newRiffSize()));
  EXPECT_EQ(readFileBytes(path), WavBuilder().staircase(50).trailing(chunks).bytes());
  EXPECT_FALSE(inspectSpuriousBytes(path, 50, 44).hasSpuriousBytes);

  // Nothing but well-formed chunks: nothing spurious at all.
  WavBuilder().staircase(50).trailing(chunks).write(path);
  EXPECT_FALSE(inspectSpuriousBytes(path, 50, 44).hasSpuriousBytes);
}

TEST(WavTruncate, ReadsOnlyWhatTheFileHolds) {
  TempDir dir;
  const std::string path = dir.file("t.wav");
  // More than 255 spurious bytes: only 255 are shown.
  WavBuilder().staircase(4).trailing(std::vector<uint8_t>(1000, 'q')).write(path);
  TruncateInfo info = inspectSpuriousBytes(path, 4, 44);
  EXPECT_EQ(info.spuriousBytes, 1000);
  EXPECT_EQ(info.firstBytes.size(), 255u);

  // A RIFF size promising bytes that are not there: counted, none read, nothing appended.
  WavBuilder().staircase(4).riffSizeField(0xFFFFFFF0).write(path);
  info = inspectSpuriousBytes(path, 4, 44);
  // Only the size field is wrong: it is mended, and no byte is claimed removed.
  EXPECT_TRUE(info.hasSpuriousBytes);
  EXPECT_EQ(info.spuriousBytes, 0);
  EXPECT_TRUE(info.firstBytes.empty());
  ASSERT_TRUE(truncateSpuriousBytes(path, info.newRiffSize()));
  EXPECT_EQ(readFileBytes(path), WavBuilder().staircase(4).bytes());

  // Truncation never lengthens a file, nor writes a size that does not fit.
  EXPECT_FALSE(truncateSpuriousBytes(path, 100));
  EXPECT_FALSE(truncateSpuriousBytes(path, 0x100000000ll));
  EXPECT_EQ(std::filesystem::file_size(path), 60u);

  EXPECT_THROW(inspectSpuriousBytes(dir.file("missing.wav"), 4, 44), FileError);
}

}  // namespace
}  // namespace tolmar
