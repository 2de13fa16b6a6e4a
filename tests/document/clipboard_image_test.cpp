#include "document/clipboard_image.h"

#include <gtest/gtest.h>

#include "document/binary_file.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

ClipboardImage parse(const std::vector<uint8_t>& image, int rate = 44100) {
  return parseClipboardImage(image.data(), image.size(), rate);
}

TEST(ClipboardImageTest, EachHeaderCheckGivesItsOwnMessageInOrder) {
  auto notRiff = WavBuilder().staircase(4).bytes();
  notRiff[0] = 'X';
  auto notWaveFmt = WavBuilder().staircase(4).bytes();
  notWaveFmt[12] = 'F';
  struct Case {
    std::vector<uint8_t> image;
    std::string text;
  };
  const std::vector<Case> cases = {
      {notRiff, kClipNotWavText},
      {notWaveFmt, kClipNotWavText},
      // PCM is tested before channels, channels before the rate, the rate before the bits.
      {WavBuilder().formatTag(3).channels(1).staircase(4).bytes(), kClipNotPcmText},
      {WavBuilder().channels(1).rate(48000).staircase(4).bytes(), kClipNotStereoText},
      {WavBuilder().rate(48000).bits(8).staircase(4).bytes(),
       "Data in clipboard is at sample rate 48000, loaded file is 44100"},
      {WavBuilder().bits(8).staircase(4).bytes(), kClipNot16BitText},
  };
  for (const Case& c : cases) {
    const ClipboardImage r = parse(c.image);
    EXPECT_FALSE(r.accepted) << c.text;
    EXPECT_EQ(r.error, c.text);
  }
  const ClipboardImage r = parse(WavBuilder().staircase(4).bytes(), 48000);
  EXPECT_EQ(r.error, "Data in clipboard is at sample rate 44100, loaded file is 48000");
}

TEST(ClipboardImageTest, EighteenByteFmtChunkAndChunksBeforeDataAreRead) {
  const auto fmt18 = WavBuilder().fmtSize(18).staircase(7).bytes();
  ClipboardImage r = parse(fmt18);
  ASSERT_TRUE(r.accepted) << r.error;
  EXPECT_EQ(r.dataOffset, 46u);
  EXPECT_EQ(r.frames, 7);

  // Frame 0 follows the data chunk, not the fmt chunk, when a LIST chunk stands between them.
  const WavBuilder listed = WavBuilder().chunk("LIST", bytesOf("INFOabcd")).staircase(5);
  r = parse(listed.bytes());
  ASSERT_TRUE(r.accepted) << r.error;
  EXPECT_EQ(r.dataOffset, static_cast<size_t>(listed.dataOffset()));
  EXPECT_EQ(r.frames, 5);
}

TEST(ClipboardImageTest, SizesBeyondTheImageAreRefused) {
  // A data size one frame more than the image holds.
  EXPECT_EQ(parse(WavBuilder().staircase(10).dataSizeField(44).bytes()).error, kClipNotWavText);
  // A chunk before data that claims to run past the end, and a fmt size that does.
  EXPECT_EQ(
      parse(WavBuilder().chunk("LIST", bytesOf("ab"), 0xFFFFFFF0u).staircase(10).bytes()).error,
      kClipNotWavText);
  auto hugeFmt = WavBuilder().staircase(10).bytes();
  storeU32(&hugeFmt[16], 0xFFFFFFFFu);
  EXPECT_EQ(parse(hugeFmt).error, kClipNotWavText);
  // A fmt chunk too short for its own fields, no data chunk, a header cut short.
  EXPECT_EQ(parse(WavBuilder().fmtSize(8).staircase(10).bytes()).error, kClipNotWavText);
  EXPECT_EQ(parse(WavBuilder().dataId("junk").staircase(10).bytes()).error, kClipNotWavText);
  auto cut = WavBuilder().staircase(10).bytes();
  cut.resize(30);
  EXPECT_EQ(parse(cut).error, kClipNotWavText);

  // An odd byte after the last whole frame is not a frame; a size exactly at the end is fine.
  const auto odd = WavBuilder().rawData(std::vector<uint8_t>(11, 1)).bytes();
  const ClipboardImage r = parse(odd);
  ASSERT_TRUE(r.accepted);
  EXPECT_EQ(r.frames, 2);
}

}  // namespace
}  // namespace tolmar::test
