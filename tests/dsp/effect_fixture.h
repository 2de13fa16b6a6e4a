#pragma once
// An editor on a generated WAV file, for the effect tests: open a builder's frames, select,
// read back through the overlay or straight from the file.

#include <array>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "editor/editor.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {

struct EffectFixture {
  TempDir dir;
  ScriptedHost host;
  Editor editor{host};
  Context& ctx = editor.ctx;
  std::string wavPath = dir.file("side.wav");

  EffectFixture() {
    host.ctx = &editor.ctx;
    ctx.settings.newstylewaveform = false;
    // What start-up installs when VESKOR.INI holds no presets.
    editor.presets.eq.installFactory();
    editor.presets.filter.installFactory();
    editor.presets.chanmix.installFactory();
  }

  WaveFile& doc() { return *editor.doc; }

  // Opens frames 0 … count − 1 from gen and selects first … last (the whole file by default).
  WaveFile& open(int32_t count, const std::function<Frame(int32_t)>& gen, uint32_t rate = 44100) {
    WavBuilder().rate(rate).frames(count, gen).write(wavPath);
    if (!editor.OpenDocument(wavPath)) throw std::runtime_error("fixture WAV did not open");
    return doc();
  }
  WaveFile& openConstant(int32_t count, int16_t left, int16_t right) {
    return open(count, [=](int32_t) { return Frame{left, right}; });
  }
  void select(int32_t first, int32_t last) {
    doc().selStart = first;
    doc().selEnd = last;
  }

  // Interleaved frames first … last, through the edit overlay or as the file holds them.
  std::vector<int16_t> frames(int32_t first, int32_t last, bool edits = true) {
    std::vector<int16_t> buf(static_cast<size_t>(last - first + 1) * 2);
    doc().ReadFrames(edits, buf.data(), first, last);
    return buf;
  }
  int16_t left(int32_t frame) { return frames(frame, frame)[0]; }
  int16_t right(int32_t frame) { return frames(frame, frame)[1]; }

  // Markers as (kind, position, count) triples.
  std::vector<std::array<int32_t, 3>> markerList() const {
    std::vector<std::array<int32_t, 3>> out;
    for (const Marker& m : editor.markers.items) out.push_back({m.kind, m.position, m.count});
    return out;
  }
};

using Markers = std::vector<std::array<int32_t, 3>>;

}  // namespace tolmar::test
