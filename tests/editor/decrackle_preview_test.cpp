// The Decrackle preview plays what Decrackle would make of the selection, block for block.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "audio/memory_output.h"
#include "dsp/noise_reduction.h"
#include "editor/editor.h"
#include "support/editor_fixture.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

constexpr int kN = 2048;
constexpr int32_t kNoiseFrames = kN * 4;
constexpr int32_t kFrames = kN * 12;

struct DecracklePreviewTest : EditorTest {
  MemoryOutputBackend* out = nullptr;

  DecracklePreviewTest() {
    auto backend = std::make_unique<MemoryOutputBackend>();
    out = backend.get();
    editor.setOutputBackend(std::move(backend));
    // Noise alone, then a tone over the noise with short spikes the decrackler takes out.
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(0.0, 150.0);
    std::vector<Frame> sound(kFrames);
    for (int32_t f = 0; f < kFrames; ++f) {
      const double tone = f < kNoiseFrames ? 0.0 : 4000.0 * std::sin(f * 0.031);
      sound[static_cast<size_t>(f)] = {static_cast<int16_t>(std::lround(tone + noise(rng))),
                                       static_cast<int16_t>(std::lround(tone / 2 + noise(rng)))};
      if (f > kNoiseFrames && f % 577 == 0) {
        sound[static_cast<size_t>(f)].left = static_cast<int16_t>(sound[f].left + 2500);
        sound[static_cast<size_t>(f)].right = static_cast<int16_t>(sound[f].right - 2500);
      }
    }
    WavBuilder()
        .frames(kFrames, [&](int32_t f) { return sound[static_cast<size_t>(f)]; })
        .write(wav);
    EXPECT_TRUE(editor.OpenDocument(wav));
    editor.spectral.SetFFTSize(kN);
    editor.ctx.silentMode = true;
    select(0, kNoiseFrames - 1);
    editor.GetFingerprint1Click();
    editor.ctx.silentMode = false;
    EXPECT_TRUE(editor.fingerprint.present);
    host.dialogs[kReduceNoiseDialogId] = [](tolmar::test::ModelRef) { return true; };
    // No dialog can stop a batch run's preview, so it plays its selection once.
    editor.ctx.batchRunning = true;
  }
  void select(int32_t s, int32_t e) {
    editor.doc->selStart = s;
    editor.doc->selEnd = e;
  }
  std::vector<int16_t> frames(int32_t first, int32_t last) {
    std::vector<int16_t> buf(static_cast<size_t>(last - first + 1) * 2);
    editor.doc->ReadFrames(true, buf.data(), first, last);
    return buf;
  }
};

TEST_F(DecracklePreviewTest, PlaysWhatDecrackleMakesOfTheSelectionAndBypassPlaysTheFile) {
  // A selection that ends inside a block: the last buffer is short.
  const int32_t S = kNoiseFrames + 100, E = kFrames - 1 - 700;
  select(S, E);
  const std::vector<int16_t> raw = frames(S, E);
  editor.DecracklePreview1Click();
  const std::vector<int16_t> heard = out->log->played();
  ASSERT_EQ(heard.size(), raw.size());
  for (const auto& b : out->log->buffers) EXPECT_LE(b.samples.size(), 2u * kN);
  EXPECT_EQ(out->log->buffers.front().samples.size(), 2u * kN) << "buffers of N frames";
  EXPECT_NE(heard, raw);

  editor.preview.bypass = true;
  out->log->clear();
  editor.DecracklePreview1Click();
  EXPECT_EQ(out->log->played(), raw);
  editor.preview.bypass = false;

  editor.ctx.batchRunning = false;
  editor.Decrackle1Click();
  ASSERT_TRUE(editor.doc->overlayNonEmpty) << "Decrackle made no records";
  EXPECT_EQ(frames(S, E), heard);
}

TEST_F(DecracklePreviewTest, OnlyTheSelectionAndTheEditedChannelsAreProcessed) {
  editor.ctx.settings.beforeplay = 1;
  editor.ctx.settings.afterplay = 1;
  editor.preview.includeContext = true;
  const int32_t S = kNoiseFrames + 2 * kN, E = S + 3 * kN - 1;
  select(S, E);
  editor.ctx.editRight = false;
  const std::vector<int16_t> raw = frames(S - 4410, E + 4410);
  // The dialog shows, so the preview loops: stop it once the first pass is queued, 14964 frames
  // in eight buffers.
  host.onPump = [&](int) {
    if (out->log->buffers.size() >= 8) editor.StopPlayBtnClick();
  };
  editor.ctx.batchRunning = false;
  editor.DecracklePreview1Click();
  const std::vector<int16_t> heard = out->log->played();
  ASSERT_EQ(heard.size(), raw.size());
  bool leftChanged = false;
  for (size_t i = 0; i < raw.size(); i += 2) {
    const int32_t f = S - 4410 + static_cast<int32_t>(i / 2);
    EXPECT_EQ(heard[i + 1], raw[i + 1]) << "right channel at " << f;
    if (f < S || f > E)
      EXPECT_EQ(heard[i], raw[i]) << "context at " << f;
    else if (heard[i] != raw[i])
      leftChanged = true;
  }
  EXPECT_TRUE(leftChanged);
}

}  // namespace
}  // namespace tolmar::test
