#pragma once
// A document opened on a generated WAV file, with a scripted host and its context.

#include <memory>
#include <string>
#include <vector>

#include "document/wave_file.h"
#include "editor/context.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {

struct DocFixture {
  TempDir dir;
  ScriptedHost host;
  Context ctx{host};
  std::unique_ptr<WaveFile> doc;
  std::string wavPath = dir.file("side.wav");

  DocFixture() { host.ctx = &ctx; }

  // Writes the builder's file and opens it as the document.
  WaveFile& open(const WavBuilder& wav, bool peaks = false) {
    wav.write(wavPath);
    ctx.settings.newstylewaveform = peaks;
    doc = std::make_unique<WaveFile>(ctx);
    if (!doc->Open(wavPath, false, 0)) throw std::runtime_error("fixture WAV did not open");
    if (peaks) doc->BuildPeakSummary();
    return *doc;
  }

  // Frames first..last through the overlay (or not).
  std::vector<int16_t> read(int32_t first, int32_t last, bool edits = true) {
    std::vector<int16_t> buf(static_cast<size_t>(last - first + 1) * 2);
    doc->ReadFrames(edits, buf.data(), first, last);
    return buf;
  }

  // One sample-block record over first..last on a channel, values from gen(frame).
  template <class Gen>
  Interpolation* block(int32_t first, int32_t last, int channel, Gen gen) {
    auto rec = std::make_unique<Interpolation>();
    doc->BeginBlock(*rec, first, last, channel);
    for (int32_t f = first; f <= last; ++f) doc->PutSample(*rec, f, static_cast<int16_t>(gen(f)));
    doc->FinishBlock(*rec);
    return doc->AddEdit(std::move(rec), channel);
  }
};

}  // namespace tolmar::test
