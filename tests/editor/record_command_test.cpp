// Record New WAV File through the editor: the window is the host's "Recording" dialog.

#include <gtest/gtest.h>

#include "editor/command_table.h"
#include "support/editor_fixture.h"
#include "support/recording_support.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

struct RecordCommandTest : EditorTest {
  GeneratorFactory devices;
  FakeClock clock;
  std::string recorded = dir.file("new side.wav");

  RecordCommandTest() {
    editor.inputDevices = &devices;
    editor.recordingClock = &clock;
    devices.gen = [](int64_t n, int16_t& l, int16_t& r) {
      l = (n >= 10000 && n < 10004) ? 32767 : 1000;
      r = 1000;
    };
  }
};

TEST_F(RecordCommandTest, TheNewFileOpensWithItsClipMarkersAndTrackCues) {
  editor.ctx.settings.recordrate = 1;
  editor.markers.Add(0, 5, 0);
  host.saveAnswers.push_back(recorded);
  host.dialogs["Recording"] = [&](tolmar::test::ModelRef model) {
    auto& rec = *static_cast<TRecording*>(model);
    EXPECT_TRUE(editor.ctx.recording);
    rec.startbtnClick();
    EXPECT_TRUE(editor.markers.empty()) << "the main markers go when the input starts";
    rec.startbtnClick();
    rec.tick();  // four buffers of 4800 frames
    rec.trackbtnClick();
    rec.stopbtnClick();
    rec.tick();
    rec.cancelbtnClick();  // "Close"
    return false;
  };
  editor.Record1Click();
  ASSERT_EQ(host.fileDialogs.size(), 1u);
  EXPECT_EQ(host.fileDialogs[0].title, "Record New WAV File");
  EXPECT_FALSE(editor.ctx.recording);
  ASSERT_TRUE(editor.doc);
  EXPECT_EQ(editor.doc->path, recorded);
  EXPECT_EQ(editor.ctx.sampleRate, 48000);
  EXPECT_EQ(editor.doc->frameCount, 8 * 4800);
  ASSERT_EQ(editor.markers.size(), 1u);
  EXPECT_EQ(editor.markers.items[0].kind, Marker::Left);
  EXPECT_EQ(editor.markers.items[0].position, 10003);
  ASSERT_EQ(editor.doc->cues.size(), 1u);
  EXPECT_EQ(editor.doc->cues[0].position, 19200);
  EXPECT_TRUE(editor.doc->cuesNotWritten);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(RecordCommandTest, CancelFromMonitoringOpensNothingAndTheMenuNeedsADevice) {
  host.saveAnswers.push_back(recorded);
  host.dialogs["Recording"] = [&](tolmar::test::ModelRef model) {
    auto& rec = *static_cast<TRecording*>(model);
    rec.startbtnClick();
    rec.tick();
    rec.cancelbtnClick();
    return false;
  };
  editor.Record1Click();
  EXPECT_FALSE(editor.doc);
  EXPECT_FALSE(fileExists(recorded));

  const Command* c = findHandler("Record1Click");
  ASSERT_NE(c, nullptr);
  EXPECT_FALSE(isEnabled(*c, computeCommandState(editor)));
  editor.recordDeviceFound = true;
  EXPECT_TRUE(isEnabled(*c, computeCommandState(editor)));
  editor.ctx.recording = true;
  EXPECT_FALSE(isEnabled(*c, computeCommandState(editor)));
}

}  // namespace
}  // namespace tolmar::test
