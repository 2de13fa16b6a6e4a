#include "dsp/noise_reduction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "dsp/effect_fixture.h"
#include "dsp/spectral_reference.h"

namespace tolmar::test {
namespace {

// The mean magnitudes of the blocks of `frames` (interleaved) from frame 0, as Get Fingerprint
// takes them.
NoiseFingerprint fingerprintOf(SpectralEngine& e, const std::vector<int16_t>& frames, int blocks) {
  const int n = e.N();
  std::vector<double> l(static_cast<size_t>(n)), r(l.size()), ml(l.size()), mr(l.size());
  for (int b = 0; b < blocks; ++b) {
    e.ForwardStereoFFT(frames.data() + 2 * static_cast<size_t>(b) * n, nullptr, false, mr.data(),
                       ml.data(), nullptr);
    for (size_t k = 0; k < l.size(); ++k) {
      l[k] += ml[k];
      r[k] += mr[k];
    }
  }
  for (size_t k = 0; k < l.size(); ++k) {
    l[k] /= blocks;
    r[k] /= blocks;
  }
  NoiseFingerprint fp;
  fp.set(n, l.data(), r.data());
  return fp;
}

TEST(NoiseFingerprint, SetKeepsNBinsClearsTheRestAndMarksItPresent) {
  NoiseFingerprint fp;
  fp.left.assign(kMaxFFTSize, 9.0);
  const uint64_t before = fp.generation;
  std::vector<double> l(128, 1.5), r(128, 2.5);
  fp.set(128, l.data(), r.data());
  EXPECT_TRUE(fp.present);
  EXPECT_EQ(fp.n, 128);
  EXPECT_EQ(fp.left[127], 1.5);
  EXPECT_EQ(fp.right[0], 2.5);
  EXPECT_EQ(fp.left[128], 0.0);
  EXPECT_EQ(fp.left.size(), static_cast<size_t>(kMaxFFTSize));
  EXPECT_NE(fp.generation, before);
}

TEST(Sensitivity, ThirtyFivePositionsWithoutOnePointOne) {
  EXPECT_EQ(sensitivityPosition(3.0), 21);
  EXPECT_EQ(sensitivityPosition(0.1), 1);
  EXPECT_EQ(sensitivityPosition(10.0), 35);
  EXPECT_EQ(sensitivityPosition(1.1), 1) << "not on the scale";
  EXPECT_EQ(sensitivityValue(11), 1.0);
  EXPECT_EQ(sensitivityValue(12), 1.2);
  EXPECT_EQ(sensitivityValue(16), 1.75);
  EXPECT_EQ(sensitivityValue(99), 10.0);
  EXPECT_EQ(sensitivityText(3.25), "3.25");
  EXPECT_EQ(sensitivityText(1.0), "1.00");
}

TEST(ReduceNoiseModel, NoiseModeShowsItsThreeSettingsAndStoresThem) {
  Settings s;
  s.noiseFactor = 1.75;
  s.keepnoise = true;
  ReduceNoiseModel m = ReduceNoiseModel::forNoise(s);
  EXPECT_EQ(m.caption, "Reduce Noise");
  EXPECT_EQ(m.keepLabel, "Keep Noise Only");
  EXPECT_EQ(m.helpTopic, "reducenoise");
  EXPECT_FALSE(m.fullHeight) << "180/360 of the height unless [Debug] full";
  EXPECT_FALSE(m.showDecrackle);
  EXPECT_TRUE(m.showLevelDependent);
  EXPECT_EQ(m.sensitivityPosition, 16);
  EXPECT_EQ(m.sensitivityLabel(), "1.75");
  m.sensitivityPosition = 25;
  m.keep = false;
  m.levelDependent = true;
  m.relativeAmplitude = 1234;  // not a noise-mode value
  m.storeNoise(s);
  EXPECT_EQ(s.noiseFactor, 4.0);
  EXPECT_FALSE(s.keepnoise);
  EXPECT_TRUE(s.leveldep);
  EXPECT_EQ(s.noiseRelamp, 400);

  s.debugFull = true;
  s.crackleFactor = 9.0;
  const ReduceNoiseModel c = ReduceNoiseModel::forCrackle(s);
  EXPECT_EQ(c.caption, "Reduce Crackle");
  EXPECT_EQ(c.helpTopic, "reducecrackle");
  EXPECT_TRUE(c.fullHeight);
  EXPECT_FALSE(c.showLevelDependent);
  EXPECT_EQ(c.sensitivityPosition, 34);
  EXPECT_EQ(c.relativeAmplitude, 400);
}

// The distance is read back from LevelToDb's one-decimal text of the rms taken to the nearest
// integer, ties to even.
TEST(LevelDependence, DistanceComesFromTheRoundedRmsAndItsText) {
  const int n = 128;
  std::vector<int16_t> f(2 * n, 0);
  EXPECT_EQ(levelDistance(f.data(), n, 0), 96.0) << "silence";
  for (int k = 0; k < n; ++k) f[2 * k] = 1000;
  EXPECT_DOUBLE_EQ(levelDistance(f.data(), n, 0), 30.2);  // 6·log2(1000) − 90 = −30.206…
  // 32 samples of 5 among 128: rms exactly 2.5, which goes to 2 (−84.0 dB), not 3 (−80.5).
  for (int k = 0; k < n; ++k) f[2 * k + 1] = k < 32 ? 5 : 0;
  EXPECT_DOUBLE_EQ(levelDistance(f.data(), n, 1), 84.0);
}

TEST(LevelDependence, EachChannelUsesItsOwnFactorPointZeroTwoFiveTimesFTimesD) {
  SpectralEngine e;
  const int n = 2048;
  e.SetFFTSize(n);
  std::vector<int16_t> in = realisticFrames(n, 31);
  for (int k = 0; k < n; ++k) in[2 * k + 1] = static_cast<int16_t>(in[2 * k + 1] / 16);
  const NoiseFingerprint fp = fingerprintOf(e, realisticFrames(4 * n, 32), 4);
  const double f = 3.0;
  std::vector<int16_t> dep = in;
  ReduceNoiseBlock(e, fp, dep.data(), n, true, false, f);
  for (int c = 0; c < 2; ++c) {
    const double d = levelDistance(in.data(), n, c);
    std::vector<int16_t> plain = in;
    ReduceNoiseBlock(e, fp, plain.data(), n, false, false, (0.025 * f) * d);
    for (int k = 0; k < n; ++k) ASSERT_EQ(dep[2 * k + c], plain[2 * k + c]) << c << " " << k;
  }
  EXPECT_NE(levelDistance(in.data(), n, 0), levelDistance(in.data(), n, 1));
}

TEST(ReduceNoiseBlock, GainIsOneMinusFingerprintOverMagnitude) {
  SpectralEngine e;
  const int n = 4096;
  std::vector<int16_t> in = realisticFrames(n, 8);
  // A fingerprint equal to the block's own magnitudes removes everything at sensitivity 1.
  NoiseFingerprint same = fingerprintOf(e, in, 1);
  std::vector<int16_t> out = in;
  ReduceNoiseBlock(e, same, out.data(), n, false, false, 1.0);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t v) { return v == 0; }));
  // Half of them keeps half of every bin's amplitude.
  NoiseFingerprint half = same;
  for (double& v : half.left) v /= 2;
  for (double& v : half.right) v /= 2;
  out = in;
  ReduceNoiseBlock(e, half, out.data(), n, false, false, 1.0);
  for (size_t i = 0; i < in.size(); ++i)
    ASSERT_LE(std::abs(out[i] - in[i] * 0.5 * 32768 / 32767), 0.5 + 1e-6) << i;
  // An empty fingerprint leaves the block as a bare round trip does.
  NoiseFingerprint none;
  none.present = true;
  out = in;
  ReduceNoiseBlock(e, none, out.data(), n, false, false, 3.0);
  for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(out[i], toSample(in[i] * 32768.0 / 32767.0));
  // A buffer shorter than N is left alone.
  out = in;
  ReduceNoiseBlock(e, same, out.data(), n - 1, false, false, 1.0);
  EXPECT_EQ(out, in);
}

// Long realistic material through the block core in every mode: the engine (one packed
// transform for both channels) and the written loops (two transforms, each as written) give
// samples at most 1 apart. A fingerprint whose bins k and N − k differ is included.
TEST(ReduceNoiseBlock, MatchesTheWrittenLoopsOnLongRealisticMaterial) {
  std::vector<int16_t> material = demoFrames();
  const bool demo = material.size() >= 2u * 44100 * 30;
  if (!demo) material = realisticFrames(44100 * 30, 77);
  SpectralEngine e;
  int64_t samples = 0, differ = 0, worst = 0, changed = 0;
  int config = 0;
  for (int n : {2048, 4096, 8192, 16384}) {
    e.SetFFTSize(n);
    // The demo's first two seconds are hiss and hum only; otherwise any stretch will do.
    const NoiseFingerprint fp = fingerprintOf(e, material, std::max(1, 88200 / n));
    NoiseFingerprint skewed = fp;
    for (int k = 0; k < n; ++k) skewed.right[static_cast<size_t>(k)] *= 1.0 + 0.5 * (k % 3);
    const size_t blocks = material.size() / 2 / static_cast<size_t>(n);
    for (size_t b = 0; b < blocks; b += 5, ++config) {
      const bool levelDep = config % 2 == 1;
      const bool window = config % 3 != 0;
      const double f = sensitivityValue(1 + (config * 7) % 35);
      const NoiseFingerprint& print = config % 4 == 3 ? skewed : fp;
      std::vector<int16_t> got(material.begin() + static_cast<ptrdiff_t>(b * 2 * n),
                               material.begin() + static_cast<ptrdiff_t>((b + 1) * 2 * n));
      std::vector<int16_t> want = got;
      const std::vector<int16_t> before = got;
      ReduceNoiseBlock(e, print, got.data(), n, levelDep, window, f);
      std::vector<double> pl(print.left.begin(), print.left.begin() + n);
      std::vector<double> pr(print.right.begin(), print.right.begin() + n);
      refReduceNoiseBlock(want.data(), n, pl, pr, levelDep, window, f);
      for (size_t i = 0; i < got.size(); ++i) {
        const int64_t d = std::abs(static_cast<int64_t>(got[i]) - want[i]);
        worst = std::max(worst, d);
        differ += d != 0;
        changed += got[i] != before[i];
        ++samples;
      }
    }
  }
  EXPECT_GT(samples, 2000000);
  EXPECT_GT(changed, samples / 2) << "the material was really processed";
  EXPECT_LE(worst, 1);
  EXPECT_LE(differ, samples / 100000) << differ << " of " << samples << " samples differ by 1";
}

// ---- Reduce Noise over the selection ----

struct ReduceNoise : ::testing::Test, EffectFixture {
  std::vector<int16_t> original;

  void openMaterial(int32_t frames, uint64_t seed) {
    original = realisticFrames(frames, seed);
    open(frames, [&](int32_t i) {
      return Frame{original[2 * static_cast<size_t>(i)], original[2 * static_cast<size_t>(i) + 1]};
    });
  }
  void takeFingerprint(int blocks) {
    editor.fingerprint = fingerprintOf(editor.spectral, original, blocks);
  }
  NoiseOutcome run(bool direct, const NoiseParams& p) {
    return reduceNoiseSelection(doc(), editor.spectral, editor.fingerprint, p, direct);
  }
  std::vector<int16_t> whole(bool edits = true) { return frames(0, doc().lastFrame, edits); }

  // Original frames first … first + n − 1, silence outside the file.
  std::vector<int16_t> originalBlock(int64_t first, int n) const {
    std::vector<int16_t> out(2 * static_cast<size_t>(n), 0);
    const int64_t count = static_cast<int64_t>(original.size() / 2);
    for (int i = 0; i < n; ++i) {
      const int64_t f = first + i;
      if (f < 0 || f >= count) continue;
      out[2 * static_cast<size_t>(i)] = original[2 * static_cast<size_t>(f)];
      out[2 * static_cast<size_t>(i) + 1] = original[2 * static_cast<size_t>(f) + 1];
    }
    return out;
  }

  // The selection processed the way the steps are written: A, B and C read afresh for every
  // block, each reduced, B overlap-added with A's end and C's start.
  std::vector<int16_t> expected(const NoiseParams& p) {
    SpectralEngine& e = editor.spectral;
    const int n = e.N(), h = n / 2;
    std::vector<int16_t> out = original;
    const int32_t S = doc().selStart, E = doc().selEnd;
    for (int64_t s = S; s <= E; s += n) {
      std::vector<int16_t> a = originalBlock(s - h, n), b = originalBlock(s, n),
                           c = originalBlock(s + h, n);
      const std::vector<int16_t> asRead = b;
      if (p.window) {
        for (auto* buf : {&a, &b, &c})
          ReduceNoiseBlock(e, editor.fingerprint, buf->data(), n, p.levelDependent, true, p.factor);
        for (int i = 0; i < 2 * h; ++i)
          b[static_cast<size_t>(i)] = static_cast<int16_t>(std::clamp(
              b[static_cast<size_t>(i)] + a[static_cast<size_t>(2 * h + i)], -32768, 32767));
        for (int i = 2 * h; i < 2 * n; ++i)
          b[static_cast<size_t>(i)] = static_cast<int16_t>(std::clamp(
              b[static_cast<size_t>(i)] + c[static_cast<size_t>(i - 2 * h)], -32768, 32767));
      } else {
        ReduceNoiseBlock(e, editor.fingerprint, b.data(), n, p.levelDependent, false, p.factor);
      }
      if (p.keepNoise)
        for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<int16_t>(asRead[i] - b[i]);
      const int64_t last = std::min<int64_t>(s + n - 1, E);
      for (int64_t f = s; f <= last; ++f)
        for (int ch = 0; ch < 2; ++ch)
          out[2 * static_cast<size_t>(f) + ch] = b[2 * static_cast<size_t>(f - s) + ch];
    }
    return out;
  }
};

TEST_F(ReduceNoise, WindowedRunIsTheOverlapAddOfThreeReducedBlocksPerBlock) {
  editor.spectral.SetFFTSize(2048);
  openMaterial(2048 * 6 + 500, 1);
  takeFingerprint(6);
  select(300, 2048 * 5 + 1000);
  NoiseParams p;
  p.factor = 2.0;
  p.levelDependent = true;
  const NoiseOutcome r = run(false, p);
  EXPECT_EQ(r.blocks, 6);  // (E − S) div N + 1
  EXPECT_EQ(r.records, 12);
  EXPECT_EQ(whole(), expected(p));
  EXPECT_EQ(doc().undoCaption(), "Undo Reduce Noise");
  EXPECT_EQ(host.progressCaptions.back(), " Reducing Noise:");
}

TEST_F(ReduceNoise, WithoutWindowBlocksAreIndependentAndTheLastStopsAtTheSelectionEnd) {
  editor.spectral.SetFFTSize(1024);
  openMaterial(1024 * 4, 2);
  takeFingerprint(4);
  select(0, 1024 + 10);
  NoiseParams p;
  p.window = false;
  run(false, p);
  const std::vector<int16_t> got = whole();
  EXPECT_EQ(got, expected(p));
  // Frames after the selection end stay, though the last block read them.
  EXPECT_TRUE(std::equal(got.begin() + 2 * 1035, got.end(), original.begin() + 2 * 1035));
  EXPECT_EQ(doc().interps.back()->end, 1034);
}

// The last block and its C reach past the end of the file, which reads as silence.
TEST_F(ReduceNoise, RunsToTheLastFrameOfTheFile) {
  editor.spectral.SetFFTSize(512);
  openMaterial(512 * 3 + 77, 3);
  takeFingerprint(3);
  select(5, doc().lastFrame);
  NoiseParams p;
  run(true, p);
  EXPECT_EQ(whole(false), expected(p));
}

TEST_F(ReduceNoise, WithUndoAndDirectOverwriteGiveTheSameSamples) {
  for (bool keep : {false, true}) {
    editor.spectral.SetFFTSize(4096);
    openMaterial(4096 * 3, 4);
    takeFingerprint(3);
    select(100, 4096 * 3 - 200);
    NoiseParams p;
    p.keepNoise = keep;
    run(false, p);
    const std::vector<int16_t> undoable = whole();
    openMaterial(4096 * 3, 4);
    select(100, 4096 * 3 - 200);
    run(true, p);
    EXPECT_EQ(whole(false), undoable) << "keep " << keep;
    EXPECT_FALSE(doc().canUndo());
    EXPECT_EQ(undoable, expected(p));
  }
}

TEST_F(ReduceNoise, DirectOverwriteHonoursEditLeftAndEditRight) {
  editor.spectral.SetFFTSize(2048);
  openMaterial(2048 * 3, 5);
  takeFingerprint(3);
  select(0, doc().lastFrame);
  NoiseParams p;
  const std::vector<int16_t> both = expected(p);
  ctx.editLeft = false;
  run(true, p);
  std::vector<int16_t> got = whole(false);
  for (size_t i = 0; i < got.size(); i += 2) {
    ASSERT_EQ(got[i], original[i]) << "left is not edited";
    ASSERT_EQ(got[i + 1], both[i + 1]);
  }
  // With Undo stores records for the edited channel only.
  openMaterial(2048 * 3, 5);
  select(0, doc().lastFrame);
  ctx.editLeft = true;
  ctx.editRight = false;
  const NoiseOutcome r = run(false, p);
  EXPECT_EQ(r.records, 3);
  got = whole();
  for (size_t i = 0; i < got.size(); i += 2) {
    ASSERT_EQ(got[i], both[i]);
    ASSERT_EQ(got[i + 1], original[i + 1]);
  }
  // Neither channel: the file is not touched.
  openMaterial(2048 * 3, 5);
  select(0, doc().lastFrame);
  ctx.editRight = ctx.editLeft = false;
  run(true, p);
  EXPECT_EQ(whole(false), original);
}

// Keep Noise Only takes unprocessed − reduced in 16-bit arithmetic. A negative fingerprint
// value (as a foreign file may hold) boosts the Nyquist bin until the output limits at the
// opposite full scale, so that the difference passes 32767 and wraps.
TEST_F(ReduceNoise, KeepNoiseOnlyWrapsIn16Bits) {
  editor.spectral.SetFFTSize(128);
  openMaterial(128, 6);
  original.assign(256, 0);
  for (int i = 0; i < 128; ++i)
    original[2 * static_cast<size_t>(i)] = original[2 * static_cast<size_t>(i) + 1] =
        static_cast<int16_t>(i % 2 ? 10000 : 30000);
  open(128, [&](int32_t i) {
    return Frame{original[2 * static_cast<size_t>(i)], original[2 * static_cast<size_t>(i) + 1]};
  });
  NoiseFingerprint& fp = editor.fingerprint;
  std::vector<double> zero(128, 0.0);
  fp.set(128, zero.data(), zero.data());
  fp.left[64] = fp.right[64] = -1e6;
  select(0, 127);
  NoiseParams p;
  p.window = false;
  p.keepNoise = true;
  p.factor = 1.0;
  run(false, p);
  EXPECT_EQ(left(0), 30000 - 32767);
  EXPECT_EQ(left(1), static_cast<int16_t>(10000 + 32768)) << "wraps to −22768";
  EXPECT_EQ(right(1), -22768);
}

TEST_F(ReduceNoise, StopKeepsTheBlocksDoneInOneUndoStep) {
  editor.spectral.SetFFTSize(1024);
  openMaterial(1024 * 5, 7);
  takeFingerprint(5);
  select(0, doc().lastFrame);
  NoiseParams p;
  const std::vector<int16_t> all = expected(p);
  host.pumps = 0;
  host.cancelAtPump = 2;  // pressed while the second block starts: it still completes
  const NoiseOutcome r = run(false, p);
  EXPECT_TRUE(r.stopped);
  EXPECT_EQ(r.blocks, 2);
  const std::vector<int16_t> got = whole();
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + 2 * 2048, all.begin()));
  EXPECT_TRUE(std::equal(got.begin() + 2 * 2048, got.end(), original.begin() + 2 * 2048));
  EXPECT_EQ(doc().undoSteps.size(), 1u);
  doc().Undo();
  EXPECT_EQ(whole(), original);
}

// A fingerprint that changes between blocks (a command let through by the progress pump) is
// used from the next block on, A included.
TEST_F(ReduceNoise, AFingerprintChangedBetweenBlocksIsUsedForTheNextBlock) {
  editor.spectral.SetFFTSize(1024);
  openMaterial(1024 * 3, 8);
  takeFingerprint(3);
  select(0, 1024 * 2 - 1);
  NoiseParams p;
  const NoiseFingerprint first = editor.fingerprint;
  NoiseFingerprint second = first;
  for (double& v : second.left) v *= 3;
  host.pumps = 0;
  host.onPump = [&](int k) {
    if (k == 2) editor.fingerprint.set(1024, second.left.data(), second.right.data());
  };
  run(false, p);
  const std::vector<int16_t> got = whole();
  // Block 2 alone, everything read from the original and reduced with the second fingerprint.
  editor.fingerprint = second;
  const std::vector<int16_t> late = expected(p);
  EXPECT_TRUE(std::equal(got.begin() + 2 * 1024, got.begin() + 2 * 2048, late.begin() + 2 * 1024));
  editor.fingerprint = first;
  const std::vector<int16_t> early = expected(p);
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + 2 * 1024, early.begin()));
}

}  // namespace
}  // namespace tolmar::test
