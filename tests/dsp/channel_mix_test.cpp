#include "dsp/channel_mix.h"

#include <gtest/gtest.h>

#include "dsp/effect_controls.h"
#include "dsp/effect_fixture.h"

namespace tolmar::test {
namespace {

struct ChannelMix : ::testing::Test, EffectFixture {
  void preset(const char* name) {
    mix_controls::applyPreset(ctx.settings.mixer, *editor.presets.chanmix.get(name));
  }
  EffectOutcome mix(bool direct = false) {
    return channelMixSelection(doc(), ctx.settings.mixer, direct, &editor.markers);
  }
};

TEST_F(ChannelMix, SwapExchangesChannelsExactlyUpToTheEndFrame) {
  open(1000, [](int32_t i) {
    return Frame{static_cast<int16_t>(i * 37 - 18000), static_cast<int16_t>(12345 - i * 29)};
  });
  const std::vector<int16_t> before = frames(0, 999);
  preset("Swap Channels");
  mix();
  const std::vector<int16_t> after = frames(0, 999);
  for (size_t f = 0; f < 1000; ++f) {
    ASSERT_EQ(after[2 * f], before[2 * f + 1]) << f;
    ASSERT_EQ(after[2 * f + 1], before[2 * f]) << f;
  }
  EXPECT_EQ(doc().undoCaption(), "Undo Channel Mix");
  EXPECT_EQ(host.progressCaptions.back(), " Channel Mix:");

  openConstant(3, -32768, 5);
  mix();
  EXPECT_EQ(right(0), -32767) << "the limit is 32767 whatever the matrix";
  EXPECT_TRUE(editor.markers.empty());
}

TEST_F(ChannelMix, MonoOfFullScaleStaysAtFullScaleWithoutMarkers) {
  openConstant(10, 32767, 32767);
  preset("Convert to Mono");
  EXPECT_FALSE(mix().clipped);
  EXPECT_EQ(left(9), 32767);
  EXPECT_EQ(right(9), 32767);
}

TEST_F(ChannelMix, InvertingMinusFullScaleIsLimitedWithoutAMarker) {
  openConstant(10, 100, -32768);
  preset("Out of Phase");
  EXPECT_FALSE(mix().clipped);
  EXPECT_EQ(right(0), 32767);
  EXPECT_EQ(left(0), 100);
  EXPECT_TRUE(editor.markers.empty());
}

TEST_F(ChannelMix, SummedOverloadIsMarkedAtEachRunAndEveryChunkOf9000) {
  openConstant(20000, 20000, 20000);
  ctx.settings.mixer.leftright = 100;  // new left = L + R = 40000
  EXPECT_TRUE(mix().clipped);
  EXPECT_EQ(left(0), 32767);
  EXPECT_EQ(right(0), 20000);
  // Chunks end at 8999, 17999 and the selection end: one marker per chunk's run.
  EXPECT_EQ(markerList(), (Markers{{1, 0, 1}, {1, 9000, 1}, {1, 18000, 1}}));
  EXPECT_EQ(host.messages.back().text, kChannelMixClipText);
}

TEST_F(ChannelMix, EditLeftOffWritesOnlyTheNewRightBuiltFromBoth) {
  for (bool direct : {false, true}) {
    openConstant(100, 1000, -3000);
    ctx.editLeft = false;
    ctx.settings.mixer = {};
    ctx.settings.mixer.leftright = 100;  // would overload nothing, but left is not written
    ctx.settings.mixer.rightleft = 50;
    ctx.settings.mixer.rightright = 50;
    mix(direct);
    EXPECT_EQ(left(99), 1000);
    EXPECT_EQ(right(99), -1000);
    ctx.editLeft = true;
  }
  EXPECT_EQ(frames(50, 50, false), (std::vector<int16_t>{1000, -1000}));
}

TEST_F(ChannelMix, AChannelThatIsNotWrittenNeverReportsClipping) {
  openConstant(10, 20000, 20000);
  ctx.editLeft = false;
  ctx.settings.mixer.leftright = 100;
  EXPECT_FALSE(mix().clipped);
  EXPECT_TRUE(editor.markers.empty());
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(ChannelMix, PreviewMixesOnlyTheSelectionAndReportsClipping) {
  Settings::Mixer m;
  m.leftright = 100;
  std::vector<int16_t> buf{20000, 20000, 20000, 20000, 20000, 20000};  // frames 10 … 12
  EXPECT_TRUE(channelMixPreview(buf.data(), 3, 10, m, 11, 11, true, true));
  EXPECT_EQ(buf, (std::vector<int16_t>{20000, 20000, 32767, 20000, 20000, 20000}));
}

}  // namespace
}  // namespace tolmar::test
