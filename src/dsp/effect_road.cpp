#include "dsp/effect_road.h"

#include <memory>
#include <vector>

#include "config/ini_file.h"
#include "document/wave_file.h"

namespace tolmar {

std::string LevelToDb(int magnitude) {
  if (magnitude == 0) return formatFixed(-96.0, 1, localeDecimalSeparator());
  return formatFixed(6 * std::log2(static_cast<double>(magnitude)) - 90, 1,
                     localeDecimalSeparator());
}

int DbToLevel(double db) {
  const double level = roundEven(std::exp2((db + 90) / 6));
  if (!(level < 32768.0)) return 32767;
  return static_cast<int>(level);
}

namespace {

// The chunk as one record per writable channel; returns how many were accepted.
int32_t storeRecords(WaveFile& doc, const int16_t* buf, int32_t first, int32_t last,
                     const bool writable[2]) {
  Interpolation* added[2] = {nullptr, nullptr};
  std::unique_ptr<Interpolation> recs[2];
  for (int c = 0; c < 2; ++c) {
    if (!writable[c]) continue;
    recs[c] = std::make_unique<Interpolation>();
    if (!doc.BeginBlock(*recs[c], first, last, c)) return 0;
  }
  for (int c = 0; c < 2; ++c) {
    if (!recs[c]) continue;
    const int16_t* src = buf + c;
    for (int32_t f = first; f <= last; ++f, src += 2) doc.PutSample(*recs[c], f, *src);
    doc.FinishBlock(*recs[c]);
    added[c] = doc.AddEdit(std::move(recs[c]), c);
  }
  if (added[0] && added[1]) WaveFile::LinkChannels(added[0], added[1]);
  return (added[0] ? 1 : 0) + (added[1] ? 1 : 0);
}

}  // namespace

PassResult runEffectPass(WaveFile& doc, const PassSpec& spec, const ChunkCompute& compute) {
  Session& ctx = doc.ctx();
  PassResult result;
  const int32_t chunks = spec.walk.count();
  if (chunks <= 0) return result;

  BinaryFile own;
  BinaryFile* stream = &doc.readStream();
  if (spec.store == PassStore::Direct) {
    if (!own.open(doc.path, BinaryFile::Mode::ReadWrite)) {
      ctx.error("Cannot open file \"" + doc.path + "\" for writing");
      result.failed = result.stopped = true;
      return result;
    }
    stream = &own;
  }
  const bool writable[2] = {spec.left && ctx.editLeft, spec.right && ctx.editRight};

  // The records go on the edit list chunk by chunk, their step only after the pass: an Undo or
  // Redo let through by the pump meanwhile would pair them with an earlier step.
  DirectWriteScope busy(doc);
  Progress progress(ctx, spec.caption);
  std::vector<int16_t> buf(static_cast<size_t>(spec.walk.size) * 2);
  for (int32_t k = 0; k < chunks; ++k) {
    progress.step(std::min(100, percentOf(k + 1, chunks)));
    const int32_t first = spec.walk.chunkFirst(k);
    const int32_t last = spec.walk.chunkLast(k);
    doc.ReadFrames(*stream, true, buf.data(), first, last);
    compute(buf.data(), first, last);
    if (spec.store == PassStore::Records) {
      result.records += storeRecords(doc, buf.data(), first, last, writable);
    } else if (spec.store == PassStore::Direct && (writable[0] || writable[1])) {
      if (!doc.WriteFramesDirect(*stream, first, last, buf.data())) {
        ctx.error("Failed to write to file \"" + doc.path + "\"");
        result.failed = result.stopped = true;
        break;
      }
    }
    if (!ctx.continueFlag) {
      result.stopped = true;
      break;
    }
  }
  if (spec.store == PassStore::Direct) {
    own.close();
    doc.ProcessRescanQueue();
    doc.displayOutOfDate = true;
  }
  return result;
}

}  // namespace tolmar
