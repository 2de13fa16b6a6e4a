// When the playback device is looked for, and a sound system started only when it is needed.

#include <gtest/gtest.h>

#include <memory>

#include "audio/deferred_output.h"
#include "audio/memory_output.h"
#include "editor/command_table.h"
#include "editor/editor.h"
#include "support/editor_fixture.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

// A backend whose only device cannot take 44.1 kHz stereo 16-bit.
class NoCdBackend : public MemoryOutputBackend {
 public:
  std::vector<OutputDeviceInfo> outputDevices() override { return {{0, "Mono only", false}}; }
};

struct SoundBackendTest : EditorTest {
  int starts = 0;
  std::shared_ptr<MemoryOutputLog> log;

  std::unique_ptr<DeferredOutputBackend> deferred() {
    return std::make_unique<DeferredOutputBackend>([this]() -> std::unique_ptr<OutputBackend> {
      ++starts;
      auto b = std::make_unique<MemoryOutputBackend>();
      log = b->log;
      return b;
    });
  }
  bool playEnabled() {
    return isEnabled(*findHandler("PlaySelectionBtnClick"), computeCommandState(editor));
  }
};

TEST_F(SoundBackendTest, AStartUpCheckNeedsADeviceThatTakesTheCdFormat) {
  WavBuilder().staircase(20000).write(wav);
  ASSERT_TRUE(editor.OpenDocument(wav));
  editor.doc->selStart = 0;
  editor.doc->selEnd = 9999;
  editor.setOutputBackend(std::make_unique<NoCdBackend>());
  EXPECT_FALSE(editor.playDeviceFound);
  EXPECT_FALSE(playEnabled());
  editor.setOutputBackend(deferred());
  EXPECT_EQ(starts, 1) << "listing the devices starts the sound system";
  EXPECT_TRUE(editor.playDeviceFound);
  EXPECT_TRUE(playEnabled());
}

TEST_F(SoundBackendTest, ADeviceLookedForWhenPlayingStartsTheSoundSystemOnlyThen) {
  WavBuilder().staircase(20000).write(wav);
  ASSERT_TRUE(editor.OpenDocument(wav));
  editor.doc->selStart = 100;
  editor.doc->selEnd = 9999;
  editor.setOutputBackend(deferred(), Editor::DeviceCheck::WhenPlaying);
  EXPECT_EQ(starts, 0);
  EXPECT_TRUE(playEnabled()) << "available before any device was looked for";
  editor.Normalize1Click();
  EXPECT_EQ(starts, 0) << "other commands leave the sound system alone";

  editor.PlaySelectionBtnClick();
  editor.PlaySelectionBtnClick();
  EXPECT_EQ(starts, 1);
  ASSERT_TRUE(log);
  EXPECT_EQ(log->opens, 2);
  EXPECT_EQ(log->played().size(), 2u * 2 * 9900);

  // No backend at all: available all the same, and the play gives the device-open message.
  editor.setOutputBackend(nullptr, Editor::DeviceCheck::WhenPlaying);
  EXPECT_FALSE(editor.playDeviceFound) << "a build without sound has nothing to look for";
  editor.setOutputBackend(
      std::make_unique<DeferredOutputBackend>([] { return std::unique_ptr<OutputBackend>(); }),
      Editor::DeviceCheck::WhenPlaying);
  EXPECT_TRUE(playEnabled());
  host.messages.clear();
  editor.PlaySelectionBtnClick();
  EXPECT_EQ(host.texts(),
            (std::vector<std::string>{
                "Failed to open a suitable output device (No device driver present)"}));
  EXPECT_FALSE(editor.ctx.playing);
}

TEST_F(SoundBackendTest, APollWhileThePreviewDialogOpensWaitsForThePass) {
  WavBuilder().staircase(20000).write(wav);
  ASSERT_TRUE(editor.OpenDocument(wav));
  editor.doc->selStart = 100;
  editor.doc->selEnd = 9999;
  editor.setOutputBackend(deferred());
  host.drives = true;
  // A window's poll timer fires while the dialog shows, before the file is open for reading.
  bool polled = false;
  host.onPump = [&](int) {
    polled = true;
    EXPECT_TRUE(editor.pollPlayback());
  };
  editor.ChannelMixPreview1Click();
  EXPECT_TRUE(polled);
  ASSERT_TRUE(editor.ctx.playing);
  ASSERT_TRUE(log);
  EXPECT_EQ(log->buffers.size(), 3u) << "the pass primes its buffers once the dialog shows";
  host.onPump = nullptr;
  editor.StopPlayBtnClick();
  while (editor.pollPlayback()) {
  }
  EXPECT_FALSE(editor.ctx.playing);
}

}  // namespace
}  // namespace tolmar::test
