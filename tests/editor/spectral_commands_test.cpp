#include "editor/spectral_commands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "dsp/effect_fixture.h"
#include "dsp/fingerprint_file.h"
#include "dsp/frequency_analysis.h"
#include "dsp/spectral_reference.h"
#include "editor/command_table.h"

namespace tolmar::test {
namespace {

struct Spectral : ::testing::Test, EffectFixture {
  std::vector<int16_t> original;

  void openFrames(std::vector<int16_t> frames) {
    original = std::move(frames);
    open(static_cast<int32_t>(original.size() / 2), [&](int32_t i) {
      return Frame{original[2 * static_cast<size_t>(i)], original[2 * static_cast<size_t>(i) + 1]};
    });
  }
  // Block b (N frames from first + b·N) of what was opened.
  const int16_t* block(int32_t first, int b, int n) const {
    return original.data() + 2 * (static_cast<size_t>(first) + static_cast<size_t>(b) * n);
  }
  std::vector<double> magnitudes(const int16_t* frames, bool window, int channel) {
    const int n = editor.spectral.N();
    std::vector<double> l(static_cast<size_t>(n)), r(l.size());
    editor.spectral.ForwardStereoFFT(frames, nullptr, window, r.data(), l.data(), nullptr);
    return channel == 0 ? l : r;
  }
  void choosePrecision(int entry) {
    host.dialogs[kSetPrecisionDialogId] = [entry](tolmar::test::ModelRef m) {
      static_cast<SetPrecisionModel*>(m)->selected = entry;
      return true;
    };
  }
  void presetFingerprint(int n, double value) {
    std::vector<double> l(static_cast<size_t>(n), value), r(l.size(), value * 2);
    editor.fingerprint.set(n, l.data(), r.data());
    editor.spectral.SetFFTSize(n);
  }
};

std::vector<int16_t> sineThenSilence(int n, int bin, double amplitude, int extra) {
  std::vector<int16_t> f(2 * static_cast<size_t>(2 * n + extra), 0);
  for (int t = 0; t < n; ++t)
    f[2 * static_cast<size_t>(t)] = f[2 * static_cast<size_t>(t) + 1] =
        toSample(amplitude * std::sin(2 * kRefPi * bin * t / n));
  return f;
}

// ---- Get Fingerprint ----

TEST_F(Spectral, GetFingerprintIsTheMeanMagnitudeOfWholeBlocks) {
  const int n = 4096;
  openFrames(sineThenSilence(n, 100, 16000, 1000));  // two whole blocks and 1000 frames
  select(0, doc().lastFrame);
  EXPECT_FALSE(computeCommandState(editor).fingerprint);
  editor.GetFingerprint1Click();
  ASSERT_EQ(host.dialogIds, (std::vector<std::string>{kSetPrecisionDialogId}));
  EXPECT_EQ(host.progressCaptions.back(), " Scanning:");
  const NoiseFingerprint& fp = editor.fingerprint;
  EXPECT_TRUE(fp.present);
  EXPECT_EQ(fp.n, n);
  const std::vector<double> m1 = magnitudes(block(0, 0, n), false, 0);
  const std::vector<double> m2 = magnitudes(block(0, 1, n), false, 0);
  for (int k = 0; k < n; ++k) ASSERT_EQ(fp.left[static_cast<size_t>(k)], (m1[k] + m2[k]) / 2);
  // The sine of amplitude A on bin 100 gives N/2·A/32767 in its block, half that on average.
  EXPECT_NEAR(fp.right[100], n / 4.0 * 16000 / 32767, 0.05);
  EXPECT_EQ(fp.left[n], 0.0);
  EXPECT_TRUE(computeCommandState(editor).fingerprint);
  EXPECT_GT(host.repaints, 0);
}

TEST_F(Spectral, GetFingerprintTakesTheChosenPrecision) {
  openFrames(realisticFrames(20000, 3));
  select(0, doc().lastFrame);
  choosePrecision(2);  // "High"
  editor.GetFingerprint1Click();
  EXPECT_EQ(editor.spectral.N(), 8192);
  EXPECT_EQ(editor.fingerprint.n, 8192);
  EXPECT_EQ(ctx.settings.fftsize, 8192);
  const std::vector<double> m1 = magnitudes(block(0, 0, 8192), false, 1);
  const std::vector<double> m2 = magnitudes(block(0, 1, 8192), false, 1);
  EXPECT_EQ(editor.fingerprint.right[8191], (m1[8191] + m2[8191]) / 2);
}

// A refused Get Fingerprint leaves the fingerprint, its N and the engine's N as they were.
TEST_F(Spectral, FailedGetFingerprintChangesNothing) {
  openFrames(realisticFrames(5000, 4));
  presetFingerprint(4096, 0.5);
  const uint64_t generation = editor.fingerprint.generation;
  select(0, doc().lastFrame);
  choosePrecision(2);
  editor.GetFingerprint1Click();
  EXPECT_EQ(
      host.texts(),
      (std::vector<std::string>{"Selected Region too short; at least 8192 samples required"}));
  EXPECT_EQ(editor.spectral.N(), 4096);
  EXPECT_EQ(ctx.settings.fftsize, 4096);
  EXPECT_TRUE(editor.fingerprint.present);
  EXPECT_EQ(editor.fingerprint.n, 4096);
  EXPECT_EQ(editor.fingerprint.left[17], 0.5);
  EXPECT_EQ(editor.fingerprint.right[4095], 1.0);
  EXPECT_EQ(editor.fingerprint.generation, generation);
  EXPECT_TRUE(host.progressCaptions.empty()) << "no scan started";

  // Cancel in the precision dialog raises the macro abort flag and does nothing else.
  host.dialogs[kSetPrecisionDialogId] = [](tolmar::test::ModelRef) { return false; };
  editor.GetFingerprint1Click();
  EXPECT_TRUE(ctx.abortFlag);
  EXPECT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(editor.fingerprint.generation, generation);

  // Without a fingerprint the failure leaves none.
  editor.fingerprint.present = false;
  select(0, 4000);
  ctx.silentMode = true;
  editor.GetFingerprint1Click();
  EXPECT_FALSE(editor.fingerprint.present);
}

TEST_F(Spectral, StopDuringGetFingerprintAveragesTheBlocksDone) {
  const int n = 2048;
  editor.spectral.SetFFTSize(n);
  openFrames(realisticFrames(n * 4, 5));
  select(0, doc().lastFrame);
  ctx.silentMode = true;
  host.pumps = 0;
  host.cancelAtPump = 2;  // the second block still counts
  editor.GetFingerprint1Click();
  ASSERT_TRUE(editor.fingerprint.present);
  const std::vector<double> m1 = magnitudes(block(0, 0, n), false, 0);
  const std::vector<double> m2 = magnitudes(block(0, 1, n), false, 0);
  EXPECT_EQ(editor.fingerprint.left[33], (m1[33] + m2[33]) / 2);
  EXPECT_TRUE(host.dialogIds.empty()) << "silent mode shows no dialog";
}

// A fingerprint of another length loaded through the pump changes the engine's N under the
// measurement, whose buffers are the old N's; the loaded fingerprint stands.
TEST_F(Spectral, FingerprintLoadedDuringGetFingerprintEndsTheMeasurement) {
  editor.spectral.SetFFTSize(1024);
  openFrames(realisticFrames(1024 * 8, 11));
  select(0, doc().lastFrame);
  ctx.silentMode = true;
  const std::vector<double> l(8192, 5.0), r(8192, 7.0);
  writeFingerprintFile(std::filesystem::path(wavPath).replace_extension(".fpr").string(), 8192,
                       l.data(), r.data());
  host.pumps = 0;
  host.onPump = [&](int pump) {
    if (pump == 1) editor.LoadFingerprintfromFile1Click();
  };
  editor.GetFingerprint1Click();
  host.onPump = nullptr;
  EXPECT_EQ(editor.spectral.N(), 8192);
  EXPECT_EQ(editor.fingerprint.n, 8192);
  EXPECT_EQ(editor.fingerprint.left[100], 5.0);
  EXPECT_EQ(editor.fingerprint.right[8191], 7.0);
}

// ---- Reduce Noise ----

TEST_F(Spectral, ReduceNoiseAsksItsDialogAndStoresItsSettings) {
  openFrames(realisticFrames(8192, 6));
  select(0, doc().lastFrame);
  ctx.silentMode = true;
  editor.GetFingerprint1Click();
  ctx.silentMode = false;
  ReduceNoiseModel seen;
  host.dialogs[kReduceNoiseDialogId] = [&](tolmar::test::ModelRef m) {
    auto* model = static_cast<ReduceNoiseModel*>(m);
    seen = *model;
    model->sensitivityPosition = 11;  // 1.0
    model->levelDependent = true;
    return true;
  };
  editor.RemoveNoise1Click();
  EXPECT_EQ(seen.caption, "Reduce Noise");
  EXPECT_EQ(seen.sensitivityPosition, 21) << "3.0, the default";
  EXPECT_EQ(ctx.settings.noiseFactor, 1.0);
  EXPECT_TRUE(ctx.settings.leveldep);
  EXPECT_EQ(doc().undoCaption(), "Undo Reduce Noise");
  EXPECT_EQ(doc().chunkSize, 4096) << "the large edit's chunk is N";
  EXPECT_NE(frames(0, doc().lastFrame), original);
  EXPECT_TRUE(host.questions.empty());

  // Cancel ends the command and raises the abort flag.
  doc().Undo();
  host.dialogs[kReduceNoiseDialogId] = [](tolmar::test::ModelRef) { return false; };
  editor.RemoveNoise1Click();
  EXPECT_TRUE(ctx.abortFlag);
  EXPECT_EQ(frames(0, doc().lastFrame), original);
  EXPECT_FALSE(doc().canUndo());
}

// Each block's records go on the edit list before the step does; an Undo let through by the
// pump meanwhile would take them away with the step before.
TEST_F(Spectral, UndoDeliveredDuringReduceNoiseOrDecrackleIsRefused) {
  for (bool crackle : {false, true}) {
    SCOPED_TRACE(crackle ? "Decrackle" : "Reduce Noise");
    openFrames(realisticFrames(32768, 9));
    select(0, doc().lastFrame);
    ctx.silentMode = true;
    editor.GetFingerprint1Click();
    editor.FadeIn1Click();
    const std::vector<int16_t> faded = frames(0, doc().lastFrame);
    int refused = 0;
    host.onPump = [&](int) { refused += editor.doc->Undo() ? 0 : 1; };
    crackle ? editor.Decrackle1Click() : editor.RemoveNoise1Click();
    host.onPump = nullptr;
    EXPECT_GT(refused, 2);
    EXPECT_EQ(doc().undoCaption(), crackle ? "Undo Decrackle" : "Undo Reduce Noise");
    editor.Undo1Click();
    EXPECT_EQ(frames(0, doc().lastFrame), faded);
    editor.Undo1Click();
    EXPECT_EQ(frames(0, doc().lastFrame), original);
    EXPECT_FALSE(doc().canUndo());
  }
}

TEST_F(Spectral, KeepNoiseOnlyDirectOverwriteAsksWhetherToAbandon) {
  openFrames(realisticFrames(8192, 7));
  select(0, doc().lastFrame);
  ctx.silentMode = true;
  editor.GetFingerprint1Click();
  ctx.silentMode = false;
  ctx.settings.keepnoise = true;
  host.answers = {Answer::Yes, Answer::Yes};  // overwrite: yes; abandon: yes
  editor.ReduceNoise1Click();
  ASSERT_EQ(host.questions.size(), 2u);
  EXPECT_EQ(host.questions[1].text,
            "You have chosen to overwrite the file on disk with just the noise.\r\rThis means "
            "that the original music will be lost, which is probably not what you "
            "intended.\r\rAbandon this operation?");
  EXPECT_EQ(host.questions[1].kind, MsgKind::Warning);
  EXPECT_EQ(frames(0, doc().lastFrame, false), original);

  host.answers = {Answer::Yes, Answer::No};
  editor.ReduceNoise1Click();
  EXPECT_NE(frames(0, doc().lastFrame, false), original);
  EXPECT_EQ(host.progressCaptions.back(), " Keeping Noise:");
  EXPECT_FALSE(doc().canUndo());

  // Silent mode asks nothing.
  const size_t asked = host.questions.size();
  ctx.silentMode = true;
  ctx.batchRunning = true;
  editor.ReduceNoise1Click();
  EXPECT_EQ(host.questions.size(), asked);
}

TEST_F(Spectral, ReduceNoiseNeedsAFingerprintAndDirectOverwriteNoUnsavedEdits) {
  openFrames(realisticFrames(8192, 8));
  select(0, doc().lastFrame);
  editor.RemoveNoise1Click();
  EXPECT_TRUE(host.dialogIds.empty());
  EXPECT_FALSE(doc().canUndo());
  ctx.silentMode = true;
  editor.GetFingerprint1Click();
  editor.RemoveNoise1Click();
  ASSERT_TRUE(doc().canUndo());
  const std::vector<int16_t> onDisk = frames(0, doc().lastFrame, false);
  ctx.silentMode = false;
  editor.ReduceNoise1Click();
  EXPECT_TRUE(host.said("This operation is not available when there are unsaved changes"));
  EXPECT_TRUE(host.dialogIds.empty()) << "refused before its dialog";
  EXPECT_EQ(frames(0, doc().lastFrame, false), onDisk);
}

// ---- Fingerprint files ----

TEST_F(Spectral, FingerprintFilesRoundTripBesideTheWavFile) {
  openFrames(realisticFrames(9000, 9));
  select(0, doc().lastFrame);
  ctx.silentMode = true;
  editor.GetFingerprint1Click();
  const NoiseFingerprint taken = editor.fingerprint;
  editor.SaveFingerprintinFile1Click();
  const std::string fpr = dir.file("side.fpr");
  ASSERT_TRUE(std::filesystem::exists(fpr));
  EXPECT_EQ(std::filesystem::file_size(fpr), 65540u);

  // Loading sets the engine's N from the file.
  editor.fingerprint = NoiseFingerprint();
  editor.spectral.SetFFTSize(1024);
  editor.LoadFingerprintfromFile1Click();
  EXPECT_TRUE(editor.fingerprint.present);
  EXPECT_EQ(editor.spectral.N(), 4096);
  EXPECT_EQ(editor.fingerprint.left, taken.left);
  EXPECT_EQ(editor.fingerprint.right, taken.right);

  // Outside silent mode the dialogs start in the WAV file's directory with its name.
  ctx.silentMode = false;
  const std::string other = dir.file("other.fpr");
  host.saveAnswers = {other};
  editor.SaveFingerprintinFile1Click();
  ASSERT_EQ(host.fileDialogs.size(), 1u);
  EXPECT_EQ(host.fileDialogs[0].fileName, "side.fpr");
  EXPECT_EQ(host.fileDialogs[0].directory, dir.path().string());
  EXPECT_EQ(host.fileDialogs[0].defaultExt, "fpr");
  EXPECT_TRUE(std::filesystem::exists(other));
  host.openAnswers = {std::nullopt};
  editor.LoadFingerprintfromFile1Click();  // cancelled
  EXPECT_TRUE(editor.fingerprint.present);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(Spectral, InvalidFingerprintFilesAreRefusedAndLeaveNoFingerprint) {
  openFrames(realisticFrames(5000, 10));
  presetFingerprint(4096, 1.0);
  struct Case {
    std::string name;
    std::vector<uint8_t> bytes;
  };
  std::vector<uint8_t> wrongSize(65539, 0);
  storeU32(wrongSize.data(), 4096);
  std::vector<uint8_t> notPowerOfTwo(16 * 3000 + 4, 0);  // the size matches its N
  storeU32(notPowerOfTwo.data(), 3000);
  std::vector<uint8_t> tooLong(16 * 32768 + 4, 0);
  storeU32(tooLong.data(), 32768);
  // The right size, but a value that would have Reduce Noise write silence.
  std::vector<double> bins(128, 1.0);
  bins[5] = std::nan("");
  const std::vector<uint8_t> nanBin = fingerprintFileImage(128, bins.data(), bins.data());
  for (const Case& c :
       {Case{"short.fpr", {1, 2}}, Case{"size.fpr", wrongSize}, Case{"npot.fpr", notPowerOfTwo},
        Case{"long.fpr", tooLong}, Case{"nan.fpr", nanBin}}) {
    const std::string path = dir.file(c.name);
    writeFileBytes(path, c.bytes);
    editor.fingerprint.present = true;
    host.messages.clear();
    host.openAnswers = {path};
    editor.LoadFingerprintfromFile1Click();
    EXPECT_EQ(host.texts(),
              (std::vector<std::string>{path + " is not a valid noise fingerprint file"}))
        << c.name;
    EXPECT_FALSE(editor.fingerprint.present) << c.name;
    EXPECT_EQ(editor.spectral.N(), 4096) << c.name;
    EXPECT_EQ(editor.fingerprint.n, 4096) << c.name;
  }
  // A file that cannot be opened is reported and changes nothing.
  editor.fingerprint.present = true;
  host.openAnswers = {dir.file("missing.fpr")};
  editor.LoadFingerprintfromFile1Click();
  EXPECT_TRUE(editor.fingerprint.present);
}

TEST_F(Spectral, ClosingTheDocumentDropsTheFingerprintUnlessKeptAndStartUpTakesFftsize) {
  openFrames(realisticFrames(5000, 11));
  presetFingerprint(4096, 1.0);
  ctx.settings.keepfingerprint = true;
  editor.CloseFile1Click();
  EXPECT_TRUE(editor.fingerprint.present);
  openFrames(realisticFrames(5000, 11));
  ctx.settings.keepfingerprint = false;
  openFrames(realisticFrames(5000, 12));  // opening another file closes this one
  EXPECT_FALSE(editor.fingerprint.present);
  presetFingerprint(4096, 1.0);
  editor.CloseFile1Click();
  EXPECT_FALSE(editor.fingerprint.present);
  EXPECT_FALSE(computeCommandState(editor).fingerprint);

  ctx.settings.fftsize = 16384;
  editor.applyStartupFFTSize();
  EXPECT_EQ(editor.spectral.N(), 16384);
  ctx.settings.fftsize = 1000;
  editor.applyStartupFFTSize();
  EXPECT_EQ(editor.spectral.N(), 16384) << "not a length the engine holds";
  presetFingerprint(2048, 1.0);
  ctx.settings.fftsize = 8192;
  editor.applyStartupFFTSize();
  EXPECT_EQ(editor.spectral.N(), 2048) << "a fingerprint keeps its N";
}

// ---- Frequency Analysis ----

TEST_F(Spectral, FrequencyAnalysisShowsTheMeanWindowedMagnitudesAndRestoresN) {
  openFrames(realisticFrames(4096 * 2 + 20, 13));
  editor.spectral.SetFFTSize(8192);
  SpectrumModel shown;
  int shows = 0;
  host.dialogs[kFrequencyAnalysisDialogId] = [&](tolmar::test::ModelRef m) {
    shown = *static_cast<SpectrumModel*>(m);
    ++shows;
    return true;
  };
  select(10, 10 + 4095);  // exactly one block
  editor.FrequencyAnalysis1Click();
  ASSERT_EQ(shows, 1);
  EXPECT_EQ(editor.spectral.N(), 8192);
  EXPECT_EQ(shown.n, 4096);
  EXPECT_EQ(shown.sampleRate, 44100);
  {
    FFTSizeGuard size(editor.spectral, 4096);
    EXPECT_EQ(shown.left, magnitudes(block(10, 0, 4096), true, 0));
    EXPECT_EQ(shown.right, magnitudes(block(10, 0, 4096), true, 1));
  }

  select(10, 10 + 4094);
  editor.FrequencyAnalysis1Click();
  EXPECT_EQ(shows, 1);
  EXPECT_EQ(
      host.texts(),
      (std::vector<std::string>{"Selected Region too short; at least 4096 samples required"}));
  EXPECT_EQ(editor.spectral.N(), 8192);

  ctx.silentMode = true;
  select(0, doc().lastFrame);
  editor.FrequencyAnalysis1Click();
  EXPECT_EQ(shows, 1) << "nothing in silent mode";
}

// A fingerprint loaded through the pump brings its own N, which putting back the length the
// analysis found would leave out of step with the fingerprint.
TEST_F(Spectral, FingerprintLoadedDuringFrequencyAnalysisKeepsItsLength) {
  editor.spectral.SetFFTSize(8192);
  openFrames(realisticFrames(4096 * 6, 14));
  select(0, doc().lastFrame);
  const std::string fpr = std::filesystem::path(wavPath).replace_extension(".fpr").string();
  const std::vector<double> l(2048, 5.0), r(2048, 7.0);
  writeFingerprintFile(fpr, 2048, l.data(), r.data());
  host.openAnswers = {fpr};
  host.pumps = 0;
  host.onPump = [&](int pump) {
    if (pump == 2) editor.LoadFingerprintfromFile1Click();
  };
  editor.FrequencyAnalysis1Click();
  host.onPump = nullptr;
  ASSERT_EQ(editor.fingerprint.n, 2048);
  EXPECT_EQ(editor.spectral.N(), 2048);
}

TEST_F(Spectral, StopDuringFrequencyAnalysisStillShowsTheMeanSoFar) {
  openFrames(realisticFrames(4096 * 3, 14));
  select(0, doc().lastFrame);
  SpectrumModel shown;
  host.dialogs[kFrequencyAnalysisDialogId] = [&](tolmar::test::ModelRef m) {
    shown = *static_cast<SpectrumModel*>(m);
    return true;
  };
  host.pumps = 0;
  host.cancelAtPump = 1;
  editor.FrequencyAnalysis1Click();
  ASSERT_EQ(shown.left.size(), 4096u);
  EXPECT_EQ(shown.left, magnitudes(block(0, 0, 4096), true, 0)) << "one block, its own mean";
}

// ---- Command table ----

TEST_F(Spectral, NoiseCommandsAreWiredAndNeedAFingerprint) {
  for (const char* h :
       {"FrequencyAnalysis1Click", "GetFingerprint1Click", "RemoveNoise1Click", "ReduceNoise1Click",
        "SaveFingerprintinFile1Click", "LoadFingerprintfromFile1Click"}) {
    const Command* c = findHandler(h);
    ASSERT_NE(c, nullptr) << h;
    EXPECT_NE(c->action, nullptr) << h;
  }
  openFrames(realisticFrames(5000, 15));
  select(0, doc().lastFrame);
  const Command& reduce = *findHandler("RemoveNoise1Click");
  EXPECT_FALSE(isEnabled(reduce, computeCommandState(editor)));
  presetFingerprint(4096, 1.0);
  EXPECT_TRUE(isEnabled(reduce, computeCommandState(editor)));
  EXPECT_TRUE(isEnabled(*findHandler("ReduceNoise1Click"), computeCommandState(editor)));
}

}  // namespace
}  // namespace tolmar::test
