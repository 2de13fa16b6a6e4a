#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "audio/memory_output.h"
#include "dsp/level_effects.h"
#include "editor/command_table.h"
#include "editor/editor.h"
#include "support/editor_fixture.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

// Frame i of the file holds left = i, right = -i (wrapped), so every played frame names itself.
struct PlaybackTest : EditorTest {
  MemoryOutputBackend* out = nullptr;
  static constexpr int32_t kFrames = 100000;

  PlaybackTest() {
    auto backend = std::make_unique<MemoryOutputBackend>();
    out = backend.get();
    editor.setOutputBackend(std::move(backend));
    WavBuilder().staircase(kFrames).write(wav);
    EXPECT_TRUE(editor.OpenDocument(wav));
    host.pumps = 0;  // onPump counts the playback's own pumps
  }

  void select(int32_t s, int32_t e) {
    editor.doc->selStart = s;
    editor.doc->selEnd = e;
  }

  // The frames first..last of the file as the staircase holds them.
  static std::vector<int16_t> frames(int32_t first, int32_t last) {
    std::vector<int16_t> v;
    for (int32_t i = first; i <= last; ++i) {
      v.push_back(static_cast<int16_t>(i));
      v.push_back(static_cast<int16_t>(-i));
    }
    return v;
  }
  static std::vector<int16_t> cat(std::vector<int16_t> a, const std::vector<int16_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }
  std::vector<int16_t> played() const { return out->log->played(); }
  size_t buffers() const { return out->log->buffers.size(); }
  bool saw(const std::string& event) const {
    const auto& ev = out->log->events;
    return std::find(ev.begin(), ev.end(), event) != ev.end();
  }
};

TEST_F(PlaybackTest, SelectionPlaysInBlocksThroughTheOverlay) {
  select(1000, 30000);
  // A left-channel record over 2000..2009 holding 7 is heard.
  auto rec = std::make_unique<Interpolation>();
  editor.doc->BeginBlock(*rec, 2000, 2009, 0);
  for (int32_t f = 2000; f <= 2009; ++f) editor.doc->PutSample(*rec, f, 7);
  editor.doc->FinishBlock(*rec);
  editor.doc->AddEdit(std::move(rec), 0);
  editor.doc->CommitEdit(1, "Test");

  editor.PlaySelectionBtnClick();
  auto want = frames(1000, 30000);
  for (int32_t f = 2000; f <= 2009; ++f) want[2 * static_cast<size_t>(f - 1000)] = 7;
  EXPECT_EQ(played(), want);
  // F = 4410 frames: six full blocks and a last block of 29001 - 6 * 4410 frames.
  ASSERT_EQ(buffers(), 7u);
  EXPECT_EQ(out->log->buffers[0].samples.size(), 2u * 4410);
  EXPECT_EQ(out->log->buffers[6].samples.size(), 2u * 2541);
  EXPECT_EQ(out->log->buffers[0].slot, 1);
  EXPECT_EQ(out->log->buffers[3].slot, 0);
  EXPECT_FALSE(editor.ctx.playing);
  EXPECT_EQ(out->log->events.front(), "open -1");
  EXPECT_EQ(out->log->events.back(), "close");
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(host.playingStates, (std::vector<bool>{true, false}));
}

TEST_F(PlaybackTest, TinySelectionsAndShortOnes) {
  select(500, 501);  // start = end - 1: two frames
  editor.PlaySelectionBtnClick();
  EXPECT_EQ(played(), frames(500, 501));
  out->log->clear();
  select(500, 500);
  editor.PlaySelectionBtnClick();
  EXPECT_EQ(out->log->opens, 0);
  // Shorter than B blocks: only N buffers are primed and nothing waits for more.
  out->log->clear();
  select(0, 9000);
  editor.PlaySelectionBtnClick();
  EXPECT_EQ(buffers(), 3u);
  EXPECT_EQ(played(), frames(0, 9000));
}

TEST_F(PlaybackTest, ContextIsCutAtTheFileEndsAndEachSideCanBeLeftOut) {
  editor.ctx.settings.beforeplay = 5;  // 22050 frames
  editor.ctx.settings.afterplay = 2;   // 8820 frames
  select(10000, 20000);
  editor.OutputSelectionWithContext1Click();
  EXPECT_EQ(played(), frames(0, 28820));
  out->log->clear();
  select(30000, 40000);
  editor.PlaySelectionWithContextBefore1Click();
  EXPECT_EQ(played(), frames(7950, 40000));
  EXPECT_EQ(editor.ctx.settings.afterplay, 2);
  out->log->clear();
  editor.PlaySelectionWithContextAfter1Click();
  EXPECT_EQ(played(), frames(30000, 48820));
  EXPECT_EQ(editor.ctx.settings.beforeplay, 5);
  out->log->clear();
  select(90000, 95000);
  editor.OutputSelectionWithContext1Click();
  EXPECT_EQ(played(), frames(67950, kFrames - 1));
}

TEST_F(PlaybackTest, ContextAroundSelectionSkipsItAndOtherDeletionsAndRestoresTheMarks) {
  editor.ctx.settings.beforeplay = 1;  // 4410
  editor.ctx.settings.afterplay = 1;
  editor.doc->deletions.push_back({20000, 20099});
  select(30000, 31000);
  editor.PlayContextMinusSelection1Click();
  EXPECT_EQ(played(), cat(frames(25590, 29999), frames(31001, 35410)));
  ASSERT_EQ(editor.doc->deletions.size(), 1u);
  EXPECT_EQ(editor.doc->deletions[0].start, 20000);
  out->log->clear();
  // A deletion inside the played range is skipped by plain playback too.
  select(19000, 21000);
  editor.PlaySelectionBtnClick();
  EXPECT_EQ(played(), cat(frames(19000, 19999), frames(20100, 21000)));
  // Nothing left to play when the whole range is marked.
  out->log->clear();
  editor.ctx.settings.beforeplay = 0;
  editor.ctx.settings.afterplay = 0;
  editor.PlayContextMinusSelection1Click();
  EXPECT_TRUE(played().empty());
  EXPECT_EQ(editor.doc->deletions.size(), 1u);
}

TEST_F(PlaybackTest, ChannelChoiceWithAndWithoutMono) {
  select(100, 199);
  editor.OutputPlaySelectionRightChannel1Click();
  auto want = frames(100, 199);
  for (size_t i = 0; i < want.size(); i += 2) want[i] = 0;
  EXPECT_EQ(played(), want);
  EXPECT_TRUE(editor.playLeft);
  EXPECT_TRUE(editor.playRight);
  out->log->clear();
  editor.ctx.settings.monoplayback = true;
  editor.OutputPlaySelectionRightChannel1Click();
  want = frames(100, 199);
  for (size_t i = 0; i < want.size(); i += 2) want[i] = want[i + 1];
  EXPECT_EQ(played(), want);
  out->log->clear();
  editor.PlayLeftClick();
  editor.PlayRightClick();
  EXPECT_FALSE(isChecked(editor, *findHandler("PlayLeftClick")));
  editor.PlaySelectionBtnClick();  // neither channel: silence
  EXPECT_EQ(played(), std::vector<int16_t>(200, 0));
}

TEST_F(PlaybackTest, AudibleMarkerClicksFiveFramesTenBeforeIt) {
  select(1000, 1999);
  editor.audibleMarker = 1500;
  editor.PlaySelectionBtnClick();
  auto want = frames(1000, 1999);
  for (int32_t f = 1490; f <= 1494; ++f) {
    want[2 * static_cast<size_t>(f - 1000)] = static_cast<int16_t>(1490 - 32767);
    want[2 * static_cast<size_t>(f - 1000) + 1] = static_cast<int16_t>(-1490 + 32767);
  }
  EXPECT_EQ(played(), want);
  // Near the range start the click starts at the first frame.
  out->log->clear();
  editor.audibleMarker = 1003;
  editor.PlaySelectionBtnClick();
  EXPECT_EQ(played()[0], static_cast<int16_t>(1000 - 32767));
  EXPECT_EQ(played()[8], static_cast<int16_t>(1000 - 32767));
  EXPECT_EQ(played()[10], 1005);
}

TEST_F(PlaybackTest, SpeedKeysChangeTheFramesOfLaterBuffers) {
  select(0, 44099);  // ten blocks
  host.onPump = [&](int n) {
    if (n == 1) editor.playbackKey(PlayKey::Equals, true);  // faster: factor 2
  };
  editor.PlaySelectionBtnClick();
  ASSERT_EQ(buffers(), 10u);
  EXPECT_EQ(out->log->buffers[3].samples, frames(13230, 17639));
  // Block 5 (frames 17640…22049) plays every second frame.
  std::vector<int16_t> half;
  for (int32_t f = 17640; f < 22050; f += 2) half = cat(half, frames(f, f));
  EXPECT_EQ(out->log->buffers[4].samples, half);
  EXPECT_EQ(editor.ctx.playBufferFrames, 4410);  // the cursor step comes back

  out->log->clear();
  host.pumps = 0;
  host.onPump = [&](int n) {
    if (n == 1) editor.playbackKey(PlayKey::Minus, true);  // slower: half speed
  };
  editor.PlaySelectionBtnClick();
  std::vector<int16_t> twice;
  for (int32_t f = 17640; f < 22050; ++f) twice = cat(twice, cat(frames(f, f), frames(f, f)));
  EXPECT_EQ(out->log->buffers[4].samples, twice);
}

TEST_F(PlaybackTest, FasterAndSlowerStepThroughTheFactors) {
  select(0, 44099);
  std::vector<std::pair<int, bool>> seen;
  host.onPump = [&](int n) {
    Playback& p = editor.playback();
    if (n == 1) {
      for (int i = 0; i < 5; ++i) editor.PlayFaster();
      seen.push_back({p.speedFactor(), p.slowMotion()});  // 16 stays 16
      for (int i = 0; i < 4; ++i) editor.PlaySlower();
      seen.push_back({p.speedFactor(), p.slowMotion()});
      editor.PlaySlower();
      seen.push_back({p.speedFactor(), p.slowMotion()});  // half speed
      editor.PlaySlower();
      editor.PlaySlower();
      seen.push_back({p.speedFactor(), p.slowMotion()});  // quarter stays quarter
      editor.PlayFaster();
      seen.push_back({p.speedFactor(), p.slowMotion()});
      editor.PlayFaster();
      seen.push_back({p.speedFactor(), p.slowMotion()});
      editor.StopPlayBtnClick();
    }
  };
  editor.PlaySelectionBtnClick();
  EXPECT_EQ(seen, (std::vector<std::pair<int, bool>>{
                      {16, false}, {1, false}, {2, true}, {4, true}, {2, true}, {1, false}}));
}

TEST_F(PlaybackTest, EnterSkipsAViewWidthAndPlusGoesBackToTheStart) {
  select(0, 44099);
  editor.doc->viewWidth = 10000;
  host.onPump = [&](int n) {
    if (n == 1) editor.playbackKey(PlayKey::Enter, false);
    if (n == 3) editor.playbackKey(PlayKey::NumpadPlus, true);
  };
  editor.PlaySelectionBtnClick();
  // Block 5 starts 10000 frames later than it would; block counter +2.
  EXPECT_EQ(out->log->buffers[4].samples, frames(27640, 32049));
  // Ten view widths back: the start of the range, block counter 0.
  EXPECT_EQ(out->log->buffers[6].samples, frames(0, 4409));
}

TEST_F(PlaybackTest, StopMidPassEndsWithResetAndClose) {
  select(0, 44099);
  host.onPump = [&](int n) {
    if (n == 2) editor.StopPlayBtnClick();
  };
  editor.PlaySelectionBtnClick();
  EXPECT_EQ(buffers(), 5u);  // four primed, one refill
  EXPECT_EQ(played(), frames(0, 5 * 4410 - 1));
  EXPECT_FALSE(editor.ctx.playing);
  EXPECT_TRUE(saw("reset"));
  EXPECT_EQ(out->log->events.back(), "close");
}

TEST_F(PlaybackTest, PauseHoldsTheDeviceUntilEscAgain) {
  select(0, 44099);
  size_t writtenWhenPaused = 0;
  size_t writtenLater = 0;
  host.onPump = [&](int n) {
    if (n == 1) editor.playbackKey(PlayKey::Escape, false);
    // The buffers done before the pause are refilled; then the queue stands still.
    if (n == 10) writtenWhenPaused = buffers();
    if (n == 20) {
      writtenLater = buffers();
      EXPECT_TRUE(editor.playback().paused());
      editor.playbackKey(PlayKey::Escape, false);
    }
  };
  editor.PlaySelectionBtnClick();
  EXPECT_EQ(writtenWhenPaused, 8u);
  EXPECT_EQ(writtenLater, writtenWhenPaused);
  EXPECT_TRUE(saw("pause"));
  EXPECT_TRUE(saw("restart"));
  EXPECT_EQ(played(), frames(0, 44099));
}

TEST_F(PlaybackTest, DeviceFailuresGiveTheirMessagesAndNothingElseChanges) {
  select(0, 999);
  const auto log = out->log;
  out->openResult = DeviceStatus::failure(kAllocated);
  editor.PlaySelectionBtnClick();
  out->openResult = DeviceStatus::backendFailure("Device unavailable");
  editor.PlaySelectionBtnClick();
  out->openResult = DeviceStatus::failure(99);
  editor.PlaySelectionBtnClick();
  editor.setOutputBackend(nullptr);  // no sound at all
  EXPECT_FALSE(editor.playDeviceFound);
  editor.PlaySelectionBtnClick();
  EXPECT_EQ(host.texts(),
            (std::vector<std::string>{
                "Failed to open a suitable output device (Already in use)",
                "Failed to open a suitable output device (Device unavailable)",
                "Failed to open a suitable output device (Unknown Windows code: 99)",
                "Failed to open a suitable output device (No device driver present)"}));
  EXPECT_TRUE(log->buffers.empty());
  EXPECT_EQ(log->opens, 0);
  EXPECT_FALSE(editor.ctx.playing);
  EXPECT_EQ(editor.doc->selStart, 0);
  EXPECT_EQ(editor.doc->selEnd, 999);
}

TEST_F(PlaybackTest, WhilePlayingOnlyStopIsEnabledAndPlayCommandsDoNothing) {
  select(0, 44099);
  bool othersEnabled = true;
  bool stopEnabled = false;
  host.onPump = [&](int n) {
    if (n != 1) return;
    const CommandState st = computeCommandState(editor);
    stopEnabled = isEnabled(*findHandler("StopPlayBtnClick"), st);
    othersEnabled = isEnabled(*findHandler("PlaySelectionBtnClick"), st) ||
                    isEnabled(*findHandler("SelectEntireFile1Click"), st);
    editor.PlaySelectionBtnClick();
    editor.CompressPreview1Click();
    editor.playFromClick(5);
  };
  editor.PlaySelectionBtnClick();
  EXPECT_TRUE(stopEnabled);
  EXPECT_FALSE(othersEnabled);
  EXPECT_EQ(out->log->opens, 1);
  EXPECT_EQ(played(), frames(0, 44099));
  EXPECT_EQ(editor.doc->selStart, 0);
  EXPECT_TRUE(isEnabled(*findHandler("PlaySelectionBtnClick"), computeCommandState(editor)));
}

TEST_F(PlaybackTest, APollingHostGetsControlBackAndDrivesThePlayback) {
  host.drives = true;
  select(0, 44099);
  editor.PlaySelectionBtnClick();
  EXPECT_TRUE(editor.ctx.playing);
  EXPECT_EQ(buffers(), 4u);
  EXPECT_EQ(host.cursorStarts, 1);
  // Space drops a marker markeroffset (300 ms) before the play position.
  for (int i = 0; i < 5; ++i) editor.PlaybackTimerTimer();
  EXPECT_EQ(editor.playPosition(), 5 * 4410);
  editor.playbackKey(PlayKey::Space, false);
  int polls = 0;
  while (editor.pollPlayback()) ++polls;
  EXPECT_GE(polls, 6);
  EXPECT_FALSE(editor.ctx.playing);
  EXPECT_EQ(played(), frames(0, 44099));
  EXPECT_EQ(host.cursorStops, 1);
  ASSERT_EQ(editor.markers.size(), 1u);
  EXPECT_EQ(editor.markers.items[0].position, 5 * 4410 - 13230);
}

TEST_F(PlaybackTest, PlayFromClickPlaysToTheEndAndMouseUpMarksWhereItWas) {
  host.drives = true;
  select(100, 200);
  editor.playFromClick(60000);
  EXPECT_EQ(editor.doc->selStart, 60000);
  EXPECT_EQ(editor.doc->selEnd, kFrames - 1);
  editor.pollPlayback();
  editor.pollPlayback();
  const int32_t at = editor.playPosition();
  editor.endPlayFromClick();
  while (editor.pollPlayback()) {
  }
  EXPECT_EQ(editor.doc->selStart, 100);
  EXPECT_EQ(editor.doc->selEnd, 200);
  ASSERT_EQ(editor.markers.size(), 1u);
  EXPECT_EQ(editor.markers.items[0].position, at);
  EXPECT_EQ(played(), frames(60000, 60000 + 6 * 4410 - 1));
}

TEST_F(PlaybackTest, EndOfPassSettingsDecideResetAndRelease) {
  select(0, 9999);
  editor.ctx.settings.playendreset = true;
  editor.PlaySelectionBtnClick();
  // The end of the pass resets, then the end of the playback resets and closes.
  const auto& ev = out->log->events;
  EXPECT_EQ(std::count(ev.begin(), ev.end(), "reset"), 2);
  out->log->clear();
  editor.ctx.settings.playendreset = false;
  editor.PlaySelectionBtnClick();
  EXPECT_EQ(std::count(out->log->events.begin(), out->log->events.end(), "reset"), 1);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(PlaybackTest, PreviewLoopsUntilStopAndRestartsWithNewSettings) {
  select(1000, 1999);
  editor.ctx.settings.amplifyfactorl = 6.0;
  editor.ctx.settings.amplifyfactorr = 6.0;
  host.onPump = [&](int n) {
    if (n == 3) editor.ctx.settings.amplifyfactorl = 0.0;  // read by the next buffer filled
    if (n == 4) editor.RestartPlayback();
    if (n == 6) editor.StopPlayBtnClick();
  };
  editor.CompressPreview1Click();
  const AmplifyParams loud = AmplifyParams::fromSettings(editor.ctx.settings);
  EXPECT_EQ(host.previewEvents,
            (std::vector<std::string>{"open CompressPreview", "close CompressPreview"}));
  ASSERT_GE(buffers(), 3u);
  for (const auto& b : out->log->buffers) EXPECT_EQ(b.samples.size(), 2000u);
  // Pass one: both gains 6 dB on the frames strictly inside the selection.
  AmplifyParams p = loud;
  p.leftDb = 6.0;
  auto want = frames(1000, 1999);
  amplifyCompressPreview(want.data(), 1000, 1000, p, 1000, 1999, 44100, true, true);
  EXPECT_EQ(out->log->buffers[0].samples, want);
  EXPECT_NE(want, frames(1000, 1999));
  // After the change only the right channel is amplified.
  want = frames(1000, 1999);
  amplifyCompressPreview(want.data(), 1000, 1000, loud, 1000, 1999, 44100, true, true);
  EXPECT_EQ(out->log->buffers.back().samples, want);
  EXPECT_FALSE(editor.ctx.playing);
}

TEST_F(PlaybackTest, BypassPlaysTheUnprocessedSoundWithoutRestarting) {
  select(1000, 1999);
  editor.ctx.settings.amplifyfactorl = 6.0;
  // Pump 1 lets the dialog show before the first pass.
  host.onPump = [&](int n) {
    if (n == 2) editor.preview.bypass = true;
    if (n == 4) editor.StopPlayBtnClick();
  };
  editor.preview.bypass = true;  // off whenever a dialog opens
  editor.CompressPreview1Click();
  ASSERT_GE(buffers(), 2u);
  EXPECT_NE(out->log->buffers[0].samples, frames(1000, 1999));
  EXPECT_EQ(out->log->buffers[1].samples, frames(1000, 1999));
  EXPECT_EQ(out->log->opens, 1);
}

TEST_F(PlaybackTest, IncludeContextProcessesOnlyTheSelection) {
  editor.ctx.settings.beforeplay = 1;
  editor.ctx.settings.afterplay = 1;
  editor.ctx.settings.mixer = {0, 100, 100, 0, false, false};  // swap
  select(10000, 10999);
  editor.preview.includeContext = true;
  host.onPump = [&](int n) {
    if (n == 2) editor.StopPlayBtnClick();
  };
  editor.ChannelMixPreview1Click();
  auto want = frames(5590, 15409);
  for (int32_t f = 10000; f <= 10999; ++f) {
    const size_t i = 2 * static_cast<size_t>(f - 5590);
    std::swap(want[i], want[i + 1]);
  }
  EXPECT_EQ(played(), want);
}

TEST_F(PlaybackTest, DeclickPreviewCountsRepairsPerPass) {
  WavBuilder()
      .frames(20000,
              [](int32_t i) {
                const int16_t v = (i == 5000 || i == 15000) ? 20000 : 0;
                return Frame{v, v};
              })
      .write(wav);
  ASSERT_TRUE(editor.OpenDocument(wav));
  host.pumps = 0;
  select(0, 19999);
  editor.params.shape = ClickShape::Spike;
  editor.params.relAmplitude = 200;
  editor.ctx.settings.recplaybps = 2;  // blocks of 22050: one buffer per pass
  host.onPump = [&](int n) {
    if (n == 3) editor.StopPlayBtnClick();
  };
  editor.DeclickPreview1Click();
  EXPECT_GE(buffers(), 2u);
  EXPECT_GT(editor.preview.clicksLastPass, 0);
  const auto heard = played();
  EXPECT_LT(heard[2 * 5000], 20000);  // repaired in the buffer only
  int16_t raw[2];
  editor.doc->ReadFrames(true, raw, 5000, 5000);
  EXPECT_EQ(raw[0], 20000);
}

}  // namespace
}  // namespace tolmar::test
