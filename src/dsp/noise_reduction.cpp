#include "dsp/noise_reduction.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "config/ini_file.h"
#include "document/wave_file.h"
#include "dsp/effect_road.h"
#include "dsp/simd2.h"

namespace tolmar {

using simd2::D2;
using simd2::load;
using simd2::splat;
using simd2::store;

void NoiseFingerprint::set(int size, const double* leftValues, const double* rightValues) {
  n = size;
  std::fill(left.begin(), left.end(), 0.0);
  std::fill(right.begin(), right.end(), 0.0);
  std::copy(leftValues, leftValues + size, left.begin());
  std::copy(rightValues, rightValues + size, right.begin());
  present = true;
  ++generation;
}

// ---- Sensitivity scale ----

int sensitivityPosition(double value) {
  for (size_t i = 0; i < kSensitivityValues.size(); ++i)
    if (kSensitivityValues[i] == value) return static_cast<int>(i) + 1;
  return 1;
}

double sensitivityValue(int position) {
  const int p = std::clamp(position, 1, static_cast<int>(kSensitivityValues.size()));
  return kSensitivityValues[static_cast<size_t>(p - 1)];
}

std::string sensitivityText(double value) {
  return formatFixed(value, 2, localeDecimalSeparator());
}

// ---- The block core ----

double levelDistance(const int16_t* frames, int n, int channel) {
  // At most 16384 squares of at most 2^30: the sum is exact in 64 bits and in a double.
  int64_t sum = 0;
  for (int k = 0; k < n; ++k) {
    const int64_t x = frames[2 * k + channel];
    sum += x * x;
  }
  const double rms = std::sqrt(static_cast<double>(sum) / n);
  const std::string separator = localeDecimalSeparator();
  const std::string text = LevelToDb(static_cast<int>(roundEven(rms)));
  const auto value = parseFloat(text, separator);
  return value ? std::abs(*value) : 96.0;
}

void ReduceNoiseBlock(SpectralEngine& engine, const NoiseFingerprint& fingerprint, int16_t* frames,
                      int capacityFrames, bool levelDependent, bool synthesisWindow, double f) {
  const int n = engine.N();
  if (capacityFrames < n) return;
  double factor[2] = {f, f};
  if (levelDependent)
    for (int c = 0; c < 2; ++c) factor[c] = (0.025 * f) * levelDistance(frames, n, c);
  engine.forwardStereo(frames, false);
  const double* prints[2] = {fingerprint.left.data(), fingerprint.right.data()};
  const int half = n / 2;
  for (int c = 0; c < 2; ++c) {
    const double* re = engine.re(c);
    const double* im = engine.im(c);
    const double* p = prints[c];
    const double fc = factor[c];
    double* gain = engine.gainScratch(c);
    // Bins k and N − k hold conjugates, so they share one magnitude. The gain of an empty
    // bin is computed from a meaningless quotient and then set to 0.
    for (int k = 0; k <= half; k += 2) {
      const D2 r = load(re + k), i = load(im + k);
      store(gain + k, simd2::sqrt(r * r + i * i));
    }
    int k = half + 1;
    for (; k + 1 < n; k += 2) store(gain + k, simd2::swap(load(gain + n - k - 1)));
    for (; k < n; ++k) gain[k] = gain[n - k];
    const D2 one = splat(1.0), f2 = splat(fc);
    for (int k = 0; k < n; k += 2) {
      const D2 m = load(gain + k);
      const D2 g = one - load(p + k) * f2 / m;
      store(gain + k, simd2::whereMPositive(simd2::positiveOrZero(g), m));
    }
    // The written inverse keeps each channel's real part, which sees the mean of the gains of
    // bins k and N − k; a measured fingerprint differs there by rounding only.
    makeSymmetric(gain, n);
  }
  engine.inverseStereoScaled(engine.gainScratch(0), engine.gainScratch(1), frames, synthesisWindow,
                             capacityFrames, true);
}

// ---- Reduce Noise over the selection ----

NoiseParams NoiseParams::fromSettings(const Settings& s) {
  NoiseParams p;
  p.factor = s.noiseFactor;
  p.keepNoise = s.keepnoise;
  p.levelDependent = s.leveldep;
  p.window = s.window;
  return p;
}

namespace {

inline int16_t addLimited(int16_t a, int16_t b) {
  return static_cast<int16_t>(std::clamp(static_cast<int32_t>(a) + b, -32768, 32767));
}

}  // namespace

namespace {

// The selection's frames as records: one per channel over first … last, linked. Returns how
// many records were accepted; a record that cannot be begun skips the block's storing.
int32_t storeBlock(WaveFile& doc, const int16_t* buf, int32_t first, int32_t last) {
  std::unique_ptr<Interpolation> recs[2] = {std::make_unique<Interpolation>(),
                                            std::make_unique<Interpolation>()};
  if (!doc.BeginBlock(*recs[0], first, last, 0) || !doc.BeginBlock(*recs[1], first, last, 1))
    return 0;
  Interpolation* added[2] = {nullptr, nullptr};
  for (int c = 0; c < 2; ++c) {
    const int16_t* src = buf + c;
    for (int32_t f = first; f <= last; ++f, src += 2) doc.PutSample(*recs[c], f, *src);
    doc.FinishBlock(*recs[c]);
  }
  for (int c = 0; c < 2; ++c) added[c] = doc.AddEdit(std::move(recs[c]), c);
  if (added[0] && added[1]) WaveFile::LinkChannels(added[0], added[1]);
  return (added[0] ? 1 : 0) + (added[1] ? 1 : 0);
}

}  // namespace

SpectralOutput::SpectralOutput(WaveFile& doc, bool direct)
    : doc_(doc), busy_(doc), direct_(direct), stream_(&doc.readStream()) {}

bool SpectralOutput::open() {
  if (!direct_) return true;
  own_ = std::make_unique<BinaryFile>();
  if (!own_->open(doc_.path, BinaryFile::Mode::ReadWrite)) {
    doc_.ctx().error("Cannot open file \"" + doc_.path + "\" for writing");
    return false;
  }
  stream_ = own_.get();
  return true;
}

bool SpectralOutput::put(int16_t* buf, const int16_t* asRead, int32_t first, int32_t last) {
  if (!direct_) {
    records_ += storeBlock(doc_, buf, first, last);
    return true;
  }
  Session& ctx = doc_.ctx();
  const bool writable[2] = {ctx.editLeft, ctx.editRight};
  if (!writable[0] && !writable[1]) return true;
  const int32_t frames = last - first + 1;
  for (int ch = 0; ch < 2; ++ch) {
    if (writable[ch]) continue;
    for (int32_t i = 0; i < frames; ++i)
      buf[2 * static_cast<size_t>(i) + ch] = asRead[2 * static_cast<size_t>(i) + ch];
  }
  if (doc_.WriteFramesDirect(*stream_, first, last, buf)) return true;
  ctx.error("Failed to write to file \"" + doc_.path + "\"");
  return false;
}

void SpectralOutput::finish(const std::string& step) {
  if (direct_) {
    if (own_) own_->close();
    doc_.ProcessRescanQueue();
    doc_.displayOutOfDate = true;
  } else if (records_ > 0) {
    doc_.CommitEdit(records_, step);
  }
}

NoiseOutcome reduceNoiseSelection(WaveFile& doc, SpectralEngine& engine,
                                  const NoiseFingerprint& fingerprint, const NoiseParams& params,
                                  bool direct) {
  Session& ctx = doc.ctx();
  NoiseOutcome out;
  const int32_t S = doc.selStart;
  const int32_t E = doc.selEnd;
  if (S < 0 || E < S) return out;
  const int n = engine.N();
  const int h = n / 2;
  const int64_t blocks = (static_cast<int64_t>(E) - S) / n + 1;

  SpectralOutput output(doc, direct);
  if (!output.open()) {
    out.failed = out.stopped = true;
    return out;
  }
  BinaryFile* stream = &output.stream();
  // Reads never meet this run's own records: those lie before the block being read.
  const bool throughOverlay = direct || doc.overlayNonEmpty;
  const size_t samples = static_cast<size_t>(n) * 2;
  std::vector<int16_t> a(samples), b(samples), c(samples), cAsRead(samples), asRead(samples);
  uint64_t generationOfA = 0;

  {
    Progress progress(ctx, params.keepNoise ? " Keeping Noise:" : " Reducing Noise:");
    for (int64_t k = 0; k < blocks && ctx.continueFlag; ++k) {
      progress.step(percentOf(k + 1, blocks));
      // A command let through by the pump may have loaded a fingerprint of another length; the
      // buffers are this length's, so the run ends there.
      if (engine.N() != n) {
        out.stopped = true;
        break;
      }
      const int32_t s = static_cast<int32_t>(S + k * n);
      const int32_t last =
          static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(s) + n - 1, E));
      const auto read = [&](int16_t* buf, int64_t first) {
        doc.ReadFrames(*stream, throughOverlay, buf, static_cast<int32_t>(first),
                       static_cast<int32_t>(first + n - 1));
      };
      if (params.window) {
        // A is the previous block's C as read; processing it again would give the processed C
        // already at hand, unless the fingerprint changed in between.
        if (k == 0) {
          read(a.data(), static_cast<int64_t>(s) - h);
          ReduceNoiseBlock(engine, fingerprint, a.data(), n, params.levelDependent, true,
                           params.factor);
        } else if (generationOfA != fingerprint.generation) {
          a = cAsRead;
          ReduceNoiseBlock(engine, fingerprint, a.data(), n, params.levelDependent, true,
                           params.factor);
        } else {
          std::swap(a, c);
        }
        read(b.data(), s);
        asRead = b;
        read(c.data(), static_cast<int64_t>(s) + h);
        cAsRead = c;
        ReduceNoiseBlock(engine, fingerprint, b.data(), n, params.levelDependent, true,
                         params.factor);
        ReduceNoiseBlock(engine, fingerprint, c.data(), n, params.levelDependent, true,
                         params.factor);
        generationOfA = fingerprint.generation;
        for (int i = 0; i < h * 2; ++i)
          b[static_cast<size_t>(i)] =
              addLimited(b[static_cast<size_t>(i)], a[static_cast<size_t>(h * 2 + i)]);
        for (int i = h * 2; i < n * 2; ++i)
          b[static_cast<size_t>(i)] =
              addLimited(b[static_cast<size_t>(i)], c[static_cast<size_t>(i - h * 2)]);
      } else {
        read(b.data(), s);
        asRead = b;
        ReduceNoiseBlock(engine, fingerprint, b.data(), n, params.levelDependent, false,
                         params.factor);
      }
      if (params.keepNoise) {
        // What the reduction removed, in 16-bit arithmetic: it wraps.
        for (size_t i = 0; i < samples; ++i) b[i] = static_cast<int16_t>(asRead[i] - b[i]);
      }
      if (!output.put(b.data(), asRead.data(), s, last)) {
        out.failed = out.stopped = true;
        break;
      }
      ++out.blocks;
    }
    out.stopped = out.stopped || !ctx.continueFlag;
  }
  out.records = output.records();
  output.finish("Reduce Noise");
  return out;
}

// ---- Dialog model ----

ReduceNoiseModel ReduceNoiseModel::forNoise(const Settings& s) {
  ReduceNoiseModel m;
  m.caption = kReduceNoiseCaption;
  m.keepLabel = kKeepNoiseLabel;
  m.helpTopic = kReduceNoiseHelpTopic;
  m.fullHeight = s.debugFull;
  m.showLevelDependent = true;
  m.showDecrackle = false;
  m.sensitivityPosition = tolmar::sensitivityPosition(s.noiseFactor);
  m.keep = s.keepnoise;
  m.levelDependent = s.leveldep;
  return m;
}

void ReduceNoiseModel::storeNoise(Settings& s) const {
  s.noiseFactor = sensitivity();
  s.keepnoise = keep;
  s.leveldep = levelDependent;
}

ReduceNoiseModel ReduceNoiseModel::forCrackle(const Settings& s) {
  ReduceNoiseModel m;
  m.caption = kReduceCrackleCaption;
  m.keepLabel = kKeepCrackleLabel;
  m.helpTopic = kReduceCrackleHelpTopic;
  m.fullHeight = s.debugFull;
  m.showLevelDependent = false;
  m.showDecrackle = true;
  m.sensitivityPosition = tolmar::sensitivityPosition(s.crackleFactor);
  m.keep = s.keepnoise;
  m.levelDependent = s.leveldep;
  m.relativeAmplitude = s.noiseRelamp;
  m.clickWidth = s.noiseClkwidth;
  m.repairWidth = s.noiseRepwidth;
  m.shape = s.noiseShape;
  m.repairMethod = s.noiseRepair;
  return m;
}

void ReduceNoiseModel::storeCrackle(Settings& s) const {
  s.crackleFactor = sensitivity();
  s.keepnoise = keep;
  s.noiseRelamp = relativeAmplitude;
  s.noiseClkwidth = clickWidth;
  s.noiseRepwidth = repairWidth;
  s.noiseShape = shape;
  s.noiseRepair = repairMethod;
}

}  // namespace tolmar
