#include "dsp/decrackle.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "base/session.h"
#include "declick/detection.h"
#include "declick/glitch_list.h"
#include "document/wave_file.h"

namespace tolmar {

DecrackleParams DecrackleParams::fromSettings(const Settings& s) {
  DecrackleParams p;
  p.factor = s.crackleFactor;
  p.keepCrackle = s.keepnoise;
  p.clickWidth = static_cast<int16_t>(std::clamp(s.noiseClkwidth, 1, 40));
  p.repairWidth = static_cast<int16_t>(std::clamp(s.noiseRepwidth, 4, 120));
  p.relAmplitude = static_cast<int16_t>(std::clamp(s.noiseRelamp, 50, 2500));
  p.shape = static_cast<ClickShape>(std::clamp(s.noiseShape, 0, 4));
  p.repairMethod = static_cast<RepairMethod>(std::clamp(s.noiseRepair, 0, 3));
  return p;
}

namespace {

inline int16_t limited(int32_t v) {
  return static_cast<int16_t>(std::clamp(v, -32768, 32767));
}

// Puts the decrackle values into the declick parameter set for the life of the run; every other
// field, the false clicks and the channel flags stay in force.
class ParamsSwap {
 public:
  ParamsSwap(DeclickParams& p, const DecrackleParams& d) : p_(p), saved_(p) {
    p.clickWidth = d.clickWidth;
    p.repairWidth = d.repairWidth;
    p.relAmplitude = d.relAmplitude;
    p.shape = d.shape;
    p.repairMethod = d.repairMethod;
  }
  ~ParamsSwap() {
    p_.clickWidth = saved_.clickWidth;
    p_.repairWidth = saved_.repairWidth;
    p_.relAmplitude = saved_.relAmplitude;
    p_.shape = saved_.shape;
    p_.repairMethod = saved_.repairMethod;
  }
  ParamsSwap(const ParamsSwap&) = delete;
  ParamsSwap& operator=(const ParamsSwap&) = delete;

 private:
  DeclickParams& p_;
  const DeclickParams saved_;
};

// One block at s: a, b and c hold the n frames read from s - n/2, s and s + n/2; b comes back
// as the block decrackled (or as the crackle alone). a, c and d are the stages' work space.
void decrackleBlock(SpectralEngine& engine, const NoiseFingerprint& fingerprint,
                    ClickDetector& detector, const DecrackleParams& params, int n,
                    std::vector<int16_t>& a, std::vector<int16_t>& b, std::vector<int16_t>& c,
                    std::vector<int16_t>& d, int32_t s, int32_t last) {
  const int h = n / 2;
  const size_t samples = static_cast<size_t>(n) * 2;
  d = b;
  ReduceNoiseBlock(engine, fingerprint, a.data(), n, false, true, params.factor);
  ReduceNoiseBlock(engine, fingerprint, b.data(), n, false, true, params.factor);
  ReduceNoiseBlock(engine, fingerprint, c.data(), n, false, true, params.factor);
  for (int i = 0; i < h * 2; ++i) {
    const size_t j = static_cast<size_t>(i);
    b[j] = limited(b[j] + a[j + static_cast<size_t>(h) * 2]);
  }
  for (int i = h * 2; i < n * 2; ++i) {
    const size_t j = static_cast<size_t>(i);
    b[j] = limited(b[j] + c[j - static_cast<size_t>(h) * 2]);
  }
  // The residual covers the whole buffer, not only the frames to be written: a repair near
  // the selection end interpolates from the frames after it, which must be residual too.
  for (size_t i = 0; i < samples; ++i) b[i] = static_cast<int16_t>(d[i] - b[i]);
  c = b;
  detector.FindClicksInBlock(c.data(), static_cast<size_t>(n), s, last, nullptr, true);
  if (params.keepCrackle) {
    for (size_t i = 0; i < samples; ++i) b[i] = static_cast<int16_t>(b[i] - c[i]);
  } else {
    for (size_t i = 0; i < samples; ++i) b[i] = limited(int32_t{d[i]} + c[i] - b[i]);
  }
}

}  // namespace

void decracklePreviewBlock(SpectralEngine& engine, const NoiseFingerprint& fingerprint,
                           DeclickParams& declick, const GlitchList& falseClicks,
                           const DecrackleParams& params, const bool& keepGoing,
                           const std::function<void(int16_t*, int64_t)>& read, int32_t s,
                           int32_t last, int16_t* out) {
  const int n = engine.N();
  if (last < s || static_cast<int64_t>(last) - s >= n) return;
  const ParamsSwap swap(declick, params);
  ClickDetector detector(declick, falseClicks, keepGoing);
  const size_t samples = static_cast<size_t>(n) * 2;
  std::vector<int16_t> a(samples), b(samples), c(samples), d(samples);
  read(a.data(), static_cast<int64_t>(s) - n / 2);
  read(b.data(), s);
  read(c.data(), static_cast<int64_t>(s) + n / 2);
  decrackleBlock(engine, fingerprint, detector, params, n, a, b, c, d, s, last);
  std::copy(b.begin(), b.begin() + 2 * (static_cast<ptrdiff_t>(last) - s + 1), out);
}

DecrackleOutcome decrackleSelection(WaveFile& doc, SpectralEngine& engine,
                                    const NoiseFingerprint& fingerprint, DeclickParams& declick,
                                    const GlitchList& falseClicks, const DecrackleParams& params,
                                    bool direct, bool smoothEdges) {
  Session& ctx = doc.ctx();
  DecrackleOutcome out;
  const int32_t S = doc.selStart;
  const int32_t E = doc.selEnd;
  if (S < 0 || E < S) return out;
  const ParamsSwap swap(declick, params);
  const int n = engine.N();
  const int h = n / 2;
  const int64_t blocks = (static_cast<int64_t>(E) - S) / n + 1;

  SpectralOutput output(doc, direct);
  if (!output.open()) {
    out.failed = out.stopped = true;
    return out;
  }
  BinaryFile* stream = &output.stream();
  // A is taken from the previous block's C as read, so reads never meet this run's own edits:
  // those lie before the block being read.
  const bool throughOverlay = direct || doc.overlayNonEmpty;
  const size_t samples = static_cast<size_t>(n) * 2;
  std::vector<int16_t> a(samples), b(samples), c(samples), d(samples), cAsRead(samples);
  ClickDetector detector(declick, falseClicks, ctx.continueFlag);
  detector.smoothEdges = smoothEdges;

  {
    Progress progress(ctx, params.keepCrackle ? " Keeping Crackle:" : " Decrackling:");
    for (int64_t k = 0; k < blocks && ctx.continueFlag; ++k) {
      progress.step(percentOf(k + 1, blocks));
      // A fingerprint of another length loaded meanwhile does not fit these buffers.
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
      if (k == 0)
        read(a.data(), static_cast<int64_t>(s) - h);
      else
        a = cAsRead;
      read(b.data(), s);
      read(c.data(), static_cast<int64_t>(s) + h);
      cAsRead = c;
      decrackleBlock(engine, fingerprint, detector, params, n, a, b, c, d, s, last);
      if (!output.put(b.data(), d.data(), s, last)) {
        out.failed = out.stopped = true;
        break;
      }
      ++out.blocks;
    }
    out.stopped = out.stopped || !ctx.continueFlag;
  }
  out.records = output.records();
  output.finish("Decrackle");
  return out;
}

}  // namespace tolmar
