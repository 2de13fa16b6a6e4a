// The PortAudio backend over ALSA's file plugin: what the playback engine sends reaches the
// "speaker" (a WAV file the plugin writes), with no sound card needed.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "audio/portaudio/portaudio_output.h"
#include "editor/editor.h"
#include "support/editor_fixture.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

// The sample frames of the file the plugin wrote, read by its chunks.
std::vector<int16_t> wavSamples(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string b{std::istreambuf_iterator<char>(in), {}};
  auto u32 = [&](size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
  };
  std::vector<int16_t> samples;
  if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0) return samples;
  for (size_t at = 12; at + 8 <= b.size();) {
    const uint32_t size = u32(at + 4);
    if (b.compare(at, 4, "data") == 0) {
      // The plugin may leave the size field short of what it wrote; the bytes are what count.
      const size_t end = b.size();
      for (size_t i = at + 8; i + 1 < end; i += 2)
        samples.push_back(
            static_cast<int16_t>(static_cast<uint8_t>(b[i]) | static_cast<uint8_t>(b[i + 1]) << 8));
      return samples;
    }
    at += 8 + size + (size & 1);
  }
  return samples;
}

struct PortAudioFileTest : EditorTest {
  std::string playFile = dir.file("played.wav");

  PortAudioFileTest() {
    // The plugin's configuration replaces the system's, so no card is ever looked for.
    setenv("ALSA_CONFIG_PATH", TOLMAR_ALSA_TEST_CONF, 1);
    setenv("TEST_ALSA_PLAY_FILE", playFile.c_str(), 1);
    // PortAudio opens every device while listing them; capture then reads nothing.
    setenv("TEST_ALSA_CAPTURE_FILE", "/dev/null", 1);
  }
};

TEST_F(PortAudioFileTest, APlayedSelectionLandsFrameForFrameInTheOutputFile) {
  auto backend = std::make_unique<PortAudioBackend>();
  ASSERT_TRUE(backend->initialised());
  bool cd = false;
  for (const OutputDeviceInfo& d : backend->outputDevices()) cd = cd || d.cdFormat;
  ASSERT_TRUE(cd) << "the file plugin's device does not take 44.1 kHz stereo 16-bit";
  editor.setOutputBackend(std::move(backend));
  EXPECT_TRUE(editor.playDeviceFound);

  WavBuilder().staircase(100000).write(wav);
  ASSERT_TRUE(editor.OpenDocument(wav));
  editor.doc->selStart = 1000;
  editor.doc->selEnd = 30000;
  editor.PlaySelectionBtnClick();
  EXPECT_FALSE(editor.ctx.playing);
  EXPECT_TRUE(host.messages.empty()) << host.texts().front();
  // Closing PortAudio closes the plugin's file.
  editor.setOutputBackend(nullptr);

  const std::vector<int16_t> out = wavSamples(playFile);
  ASSERT_FALSE(out.empty()) << playFile;
  ASSERT_EQ(out.size() % 2, 0u);
  // The null sink behind the plugin takes sound faster than any buffer can be refilled, so the
  // stream plays silence whenever its queue is empty: before the first buffer, between
  // buffers, after the last. The staircase over 1000..30000 has no silent frame, so leaving
  // out the silent frames must give exactly the selection, in order, each frame once.
  std::vector<int16_t> heard;
  for (size_t i = 0; i < out.size(); i += 2)
    if (out[i] != 0 || out[i + 1] != 0) heard.insert(heard.end(), {out[i], out[i + 1]});
  std::vector<int16_t> want;
  for (int32_t f = 1000; f <= 30000; ++f)
    want.insert(want.end(), {static_cast<int16_t>(f), static_cast<int16_t>(-f)});
  ASSERT_EQ(heard.size(), want.size());
  EXPECT_EQ(heard, want);
}

TEST_F(PortAudioFileTest, ADeviceNumberPortAudioDoesNotHaveFailsWithItsMessage) {
  editor.setOutputBackend(std::make_unique<PortAudioBackend>());
  WavBuilder().staircase(20000).write(wav);
  ASSERT_TRUE(editor.OpenDocument(wav));
  editor.ctx.settings.playdevno = 999;
  editor.doc->selStart = 0;
  editor.doc->selEnd = 10000;
  editor.PlaySelectionBtnClick();
  EXPECT_FALSE(editor.ctx.playing);
  EXPECT_TRUE(host.said("Failed to open a suitable output device (Bad device ID)"))
      << (host.messages.empty() ? std::string("no message") : host.texts().front());
}

}  // namespace
}  // namespace tolmar::test
