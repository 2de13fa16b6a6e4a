// Recording from the PortAudio input over ALSA's file plugin: the plugin reads raw frames from
// a file as if a card captured them, so what lands in the WAV can be checked frame for frame.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/portaudio/portaudio_input.h"
#include "editor/recording.h"
#include "support/editor_fixture.h"
#include "support/recording_support.h"

namespace tolmar::test {
namespace {

struct PortAudioRecordTest : EditorTest {
  std::string captureFile = dir.file("capture.raw");
  std::string recorded = dir.file("recorded.wav");
  MarkerList markers;
  std::vector<Cue> cues;
  SystemRecordingClock clock;

  PortAudioRecordTest() {
    setenv("ALSA_CONFIG_PATH", TOLMAR_ALSA_TEST_CONF, 1);
    setenv("TEST_ALSA_PLAY_FILE", dir.file("played.wav").c_str(), 1);
    setenv("TEST_ALSA_CAPTURE_FILE", captureFile.c_str(), 1);
  }

  // The staircase as raw little-endian frames. The plugin is not paced and repeats stale data
  // once the file runs out, so the file outlasts everything the queue can take at once.
  void writeCapture(int64_t frames) {
    std::ofstream out(captureFile, std::ios::binary);
    std::vector<char> bytes;
    bytes.reserve(static_cast<size_t>(frames) * 4);
    for (int64_t n = 0; n < frames; ++n) {
      int16_t l, r;
      staircase(n, l, r);
      for (int16_t s : {l, r}) {
        bytes.push_back(static_cast<char>(s & 0xFF));
        bytes.push_back(static_cast<char>((s >> 8) & 0xFF));
      }
    }
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  RecordingRequest request() {
    RecordingRequest r;
    r.fileName = recorded;
    r.markers = &markers;
    r.cues = &cues;
    r.clippingvalue = 32767;
    return r;
  }

  // Monitor and Record at once, then takes buffers until the input stops by itself.
  void recordUntilStopped(TRecording& rec) {
    rec.startbtnClick();
    ASSERT_TRUE(rec.inputRunning()) << (host.messages.empty() ? "" : host.texts().front());
    rec.startbtnClick();
    ASSERT_EQ(rec.state(), TRecording::Recording);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (rec.inputRunning() && std::chrono::steady_clock::now() < deadline) {
      rec.tick();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_FALSE(rec.inputRunning()) << "the input never reached its limit";
  }
};

TEST_F(PortAudioRecordTest, ARecordingOfTheCaptureFileLandsByteExactAtBothRates) {
  for (const int rate : {44100, 48000}) {
    SCOPED_TRACE(rate);
    // Sixteen one-second buffers hold the first sixteen seconds before a frame can be lost;
    // the three-second limit keeps the file within them.
    writeCapture(int64_t{rate} * 24);
    editor.ctx.settings.recplaybuffs = 16;
    editor.ctx.settings.recplaybps = 1;
    editor.ctx.sampleRate = rate;
    host.messages.clear();
    PortAudioInputFactory devices;
    ASSERT_TRUE(devices.initialised());
    {
      TRecording rec(editor.ctx, &devices, clock, request());
      rec.limitSecondsExact = 3;
      recordUntilStopped(rec);
      EXPECT_TRUE(rec.autoStopped());
      EXPECT_TRUE(host.said("Recording stopped automatically after 0:03"));
    }
    const WavContents w = readWav(recorded);
    ASSERT_TRUE(w.accepted);
    EXPECT_EQ(w.rate, rate);
    ASSERT_EQ(w.dataBytes, static_cast<uint32_t>(rate) * 3 * 4);
    EXPECT_EQ(w.fileBytes, 44 + int64_t{rate} * 12);
    // Where the capture starts is the plugin's business; from there every frame follows.
    const int64_t first = static_cast<uint16_t>(w.samples[0]);
    EXPECT_LT(first, 8192) << "the capture skipped more than a few periods";
    EXPECT_TRUE(holdsFrames(w, 0, first, int64_t{rate} * 3));
  }
}

TEST_F(PortAudioRecordTest, TheFilePluginsCaptureIsListedAndAMissingDeviceFailsWithItsReason) {
  writeCapture(44100);
  PortAudioInputFactory devices;
  ASSERT_TRUE(devices.initialised());
  bool cd = false;
  for (const InputDeviceInfo& d : devices.inputDevices()) cd = cd || d.cdFormat;
  EXPECT_TRUE(cd) << "no listed input takes 44.1 kHz stereo 16-bit";

  editor.ctx.settings.recdevno = 999;
  TRecording rec(editor.ctx, &devices, clock, request());
  rec.startbtnClick();
  EXPECT_FALSE(rec.inputRunning());
  EXPECT_FALSE(rec.startbtn.enabled);
  EXPECT_TRUE(host.said("Failed to open a suitable input device (Bad device ID)"))
      << (host.messages.empty() ? std::string("no message") : host.texts().front());
  rec.cancelbtnClick();
  EXPECT_FALSE(fileExists(recorded));
}

}  // namespace
}  // namespace tolmar::test
