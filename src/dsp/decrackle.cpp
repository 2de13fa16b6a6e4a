#include "dsp/decrackle.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "core/context.h"
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

// One linked record per channel over first … last; returns how many were accepted. A record
// that cannot be begun skips the block's storing.
int32_t storeBlock(WaveFile& doc, const int16_t* buf, int32_t first, int32_t last) {
  std::unique_ptr<Interpolation> recs[2] = {std::make_unique<Interpolation>(),
                                            std::make_unique<Interpolation>()};
  if (!doc.BeginBlock(*recs[0], first, last, 0) || !doc.BeginBlock(*recs[1], first, last, 1))
    return 0;
  for (int c = 0; c < 2; ++c) {
    const int16_t* src = buf + c;
    for (int32_t f = first; f <= last; ++f, src += 2) doc.PutSample(*recs[c], f, *src);
    doc.FinishBlock(*recs[c]);
  }
  Interpolation* added[2] = {nullptr, nullptr};
  for (int c = 0; c < 2; ++c) added[c] = doc.AddEdit(std::move(recs[c]), c);
  if (added[0] && added[1]) WaveFile::LinkChannels(added[0], added[1]);
  return (added[0] ? 1 : 0) + (added[1] ? 1 : 0);
}

}  // namespace

DecrackleOutcome decrackleSelection(WaveFile& doc, SpectralEngine& engine,
                                    const NoiseFingerprint& fingerprint, DeclickParams& declick,
                                    const GlitchList& falseClicks, const DecrackleParams& params,
                                    bool direct, bool smoothEdges) {
  Context& ctx = doc.ctx();
  DecrackleOutcome out;
  const int32_t S = doc.selStart;
  const int32_t E = doc.selEnd;
  if (S < 0 || E < S) return out;
  const ParamsSwap swap(declick, params);
  const int n = engine.N();
  const int h = n / 2;
  const int64_t blocks = (static_cast<int64_t>(E) - S) / n + 1;

  BinaryFile own;
  BinaryFile* stream = &doc.readStream();
  if (direct) {
    if (!own.open(doc.path, BinaryFile::Mode::ReadWrite)) {
      ctx.error("Cannot open file \"" + doc.path + "\" for writing");
      out.failed = out.stopped = true;
      return out;
    }
    stream = &own;
  }
  // A is taken from the previous block's C as read, so reads never meet this run's own edits:
  // those lie before the block being read.
  const bool throughOverlay = direct || ctx.overlayNonEmpty;
  const bool writable[2] = {ctx.editLeft, ctx.editRight};
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
      const int32_t frames = last - s + 1;
      if (direct) {
        if (!writable[0] && !writable[1]) {
          ++out.blocks;
          continue;
        }
        for (int ch = 0; ch < 2; ++ch) {
          if (writable[ch]) continue;
          for (int32_t i = 0; i < frames; ++i)
            b[2 * static_cast<size_t>(i) + ch] = d[2 * static_cast<size_t>(i) + ch];
        }
        if (!doc.WriteFramesDirect(*stream, s, last, b.data())) {
          ctx.error("Failed to write to file \"" + doc.path + "\"");
          out.failed = out.stopped = true;
          break;
        }
      } else {
        out.records += storeBlock(doc, b.data(), s, last);
      }
      ++out.blocks;
    }
    out.stopped = out.stopped || !ctx.continueFlag;
  }
  if (direct) {
    own.close();
    doc.ProcessRescanQueue();
    doc.displayOutOfDate = true;
  } else if (out.records > 0) {
    doc.CommitEdit(out.records, "Decrackle");
  }
  return out;
}

}  // namespace tolmar
