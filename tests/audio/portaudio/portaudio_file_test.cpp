// The PortAudio backend over ALSA's file plugin: what the playback engine sends reaches the
// "speaker" (a WAV file the plugin writes), with no sound card needed.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "audio/portaudio/portaudio_output.h"
#include "editor/editor.h"
#include "support/editor_fixture.h"
#include "support/played_file.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

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

  const std::vector<int16_t> out = pluginWavSamples(playFile);
  ASSERT_FALSE(out.empty()) << playFile;
  ASSERT_EQ(out.size() % 2, 0u);
  // The staircase over 1000..30000 has no silent frame, so leaving out the silent frames must
  // give exactly the selection, in order, each frame once.
  const std::vector<int16_t> heard = heardFrames(out);
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
