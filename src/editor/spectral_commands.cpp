#include "editor/spectral_commands.h"

#include <filesystem>
#include <optional>
#include <vector>

#include "dsp/decrackle.h"
#include "dsp/fingerprint_file.h"
#include "dsp/frequency_analysis.h"
#include "editor/editor.h"

namespace tolmar {

namespace fs = std::filesystem;

Editor& SpectralCommands::ed() {
  return static_cast<Editor&>(*this);
}
const Editor& SpectralCommands::ed() const {
  return static_cast<const Editor&>(*this);
}

// ---- Frequency analysis ----

void SpectralCommands::FrequencyAnalysis1Click() {
  Editor& e = ed();
  if (!e.doc || !e.doc->hasSelection()) return;
  WaveFile& doc = *e.doc;
  const uint64_t generation = fingerprint.generation;
  {
    FFTSizeGuard size(spectral, kFrequencyAnalysisSize);
    const int n = spectral.N();
    const int64_t blocks = (static_cast<int64_t>(doc.selEnd) - doc.selStart + 1) / n;
    if (blocks == 0) {
      e.ctx.error(regionTooShortText(n));
      return;
    }
    SpectrumModel model;
    model.n = n;
    model.sampleRate = e.ctx.sampleRate;
    model.left.resize(static_cast<size_t>(n));
    model.right.resize(static_cast<size_t>(n));
    meanMagnitudes(doc, spectral, doc.selStart, static_cast<int32_t>(blocks), true,
                   model.left.data(), model.right.data());
    // The fingerprint drawn under the curves shows how far the music stands above the noise.
    if (fingerprint.present) {
      const auto bins = static_cast<std::ptrdiff_t>(fingerprint.n);
      model.fingerprintN = fingerprint.n;
      model.fingerprintLeft.assign(fingerprint.left.begin(), fingerprint.left.begin() + bins);
      model.fingerprintRight.assign(fingerprint.right.begin(), fingerprint.right.begin() + bins);
    }
    if (e.ctx.silentMode) {
      // No window to show it in: the log gets what a user would read off the graph.
      for (const std::string& line : spectrumPeakLines(model)) e.ctx.info(line);
    } else {
      DialogRequest req{kFrequencyAnalysisDialogId, &model};
      e.ctx.host().runDialog(req);
    }
  }
  // A fingerprint loaded through the pump meanwhile keeps its own N.
  if (fingerprint.present && fingerprint.generation != generation)
    spectral.SetFFTSize(fingerprint.n);
}

// ---- Noise fingerprint ----

void SpectralCommands::GetFingerprint1Click() {
  Editor& e = ed();
  if (!e.doc || !e.doc->hasSelection()) return;
  WaveFile& doc = *e.doc;
  int n = spectral.N();
  if (!e.ctx.silentMode) {
    SetPrecisionModel model = SetPrecisionModel::forSize(n);
    DialogRequest req{kSetPrecisionDialogId, &model};
    if (!e.ctx.host().runDialog(req)) {
      e.ctx.abortFlag = true;
      return;
    }
    n = model.chosenSize(n);
  }
  // The length is checked before anything changes: a refused fingerprint leaves the old one,
  // its N and the engine's N as they were.
  const int64_t blocks = (static_cast<int64_t>(doc.selEnd) - doc.selStart + 1) / n;
  if (blocks == 0) {
    e.ctx.error(regionTooShortText(n));
    return;
  }
  if (n != spectral.N()) spectral.SetFFTSize(n);
  e.ctx.settings.fftsize = n;
  std::vector<double> left(static_cast<size_t>(n)), right(static_cast<size_t>(n));
  meanMagnitudes(doc, spectral, doc.selStart, static_cast<int32_t>(blocks), false, left.data(),
                 right.data());
  if (spectral.N() != n) return;  // a fingerprint loaded meanwhile stands
  fingerprint.set(n, left.data(), right.data());
  e.ctx.host().requestRepaint(Repaint::all());
  e.ctx.host().refreshCommands();
}

// ---- Reduce Noise and Decrackle ----

// The two share everything but their dialog fields, their keep question and the pass itself.
void SpectralCommands::residualCommand(bool direct, bool crackle) {
  Editor& e = ed();
  if (!e.doc || !e.doc->hasSelection() || !fingerprint.present) return;
  WaveFile& doc = *e.doc;
  Context& ctx = e.ctx;
  if (direct) {
    if (!e.VerifyDirectOverwrite(false, false)) return;
  } else if (!doc.BeginLargeEdit(doc.selStart, doc.selEnd, spectral.N())) {
    return;
  }
  std::optional<DirectWriteScope> directScope;
  if (direct) directScope.emplace(doc);
  bool go = true;
  if (!ctx.silentMode) {
    ReduceNoiseModel model = crackle ? ReduceNoiseModel::forCrackle(ctx.settings)
                                     : ReduceNoiseModel::forNoise(ctx.settings);
    DialogRequest req{kReduceNoiseDialogId, &model};
    if (!ctx.host().runDialog(req)) {
      ctx.abortFlag = true;
      go = false;
    } else if (crackle) {
      model.storeCrackle(ctx.settings);
    } else {
      model.storeNoise(ctx.settings);
    }
  }
  if (go && ctx.settings.keepnoise && direct && !ctx.silentMode &&
      ctx.ask(MsgKind::Warning, Buttons::YesNo,
              crackle ? kKeepCrackleDirectQuestion : kKeepNoiseDirectQuestion) == Answer::Yes)
    go = false;
  if (go && crackle)
    decrackleSelection(doc, spectral, fingerprint, e.params, e.clicks.falseClicks,
                       DecrackleParams::fromSettings(ctx.settings), direct, e.smoothEdges);
  else if (go)
    reduceNoiseSelection(doc, spectral, fingerprint, NoiseParams::fromSettings(ctx.settings),
                         direct);
  if (direct) {
    directScope.reset();
    doc.finishDirectWrite();
  } else {
    doc.EndLargeEdit();
  }
  ctx.host().requestRepaint(doc.selectionSamples());
  ctx.host().refreshCommands();
}

void SpectralCommands::RemoveNoise1Click() {
  residualCommand(false, false);
}

void SpectralCommands::ReduceNoise1Click() {
  residualCommand(true, false);
}

void SpectralCommands::Decrackle1Click() {
  residualCommand(false, true);
}

void SpectralCommands::DecrackleDirectOverwrite1Click() {
  residualCommand(true, true);
}

// ---- Fingerprint files ----

std::string SpectralCommands::proposedFingerprintFileName() const {
  const Editor& e = ed();
  if (!e.doc) return {};
  fs::path p(e.doc->path);
  p.replace_extension(".fpr");
  return p.string();
}

void SpectralCommands::SaveFingerprintinFile1Click() {
  Editor& e = ed();
  if (!fingerprint.present) return;
  std::string path = proposedFingerprintFileName();
  if (!e.ctx.silentMode) {
    FileDialogSpec spec;
    spec.title = "Save Fingerprint in File";
    spec.directory = path.empty() ? e.ctx.settings.wavdir : fs::path(path).parent_path().string();
    spec.fileName = fs::path(path).filename().string();
    spec.filter = kFingerprintFilter;
    spec.defaultExt = "fpr";
    const auto chosen = e.ctx.host().saveFileDialog(spec);
    if (!chosen) return;
    path = *chosen;
  }
  if (path.empty()) return;
  e.ctx.host().setBusyCursor(true);
  try {
    writeFingerprintFile(path, fingerprint.n, fingerprint.left.data(), fingerprint.right.data());
  } catch (const FileError& err) {
    e.ctx.host().setBusyCursor(false);
    e.ctx.error(err.what());
    return;
  }
  e.ctx.host().setBusyCursor(false);
  e.ctx.wrote(path);
}

bool SpectralCommands::loadFingerprintFile(const std::string& path) {
  Context& ctx = ed().ctx;
  std::optional<FingerprintData> data;
  try {
    data = readFingerprintFile(path);
  } catch (const FileError& err) {
    ctx.error(err.what());
    return false;
  }
  if (!data) {
    ctx.error(invalidFingerprintText(path));
    fingerprint.present = false;
    ++fingerprint.generation;
    ctx.host().refreshCommands();
    return false;
  }
  spectral.SetFFTSize(data->n);
  fingerprint.set(data->n, data->left.data(), data->right.data());
  ctx.host().refreshCommands();
  return true;
}

void SpectralCommands::LoadFingerprintfromFile1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  std::string path = proposedFingerprintFileName();
  if (!e.ctx.silentMode) {
    FileDialogSpec spec;
    spec.title = "Load Fingerprint from File";
    spec.directory = fs::path(path).parent_path().string();
    spec.fileName = fs::path(path).filename().string();
    spec.filter = kFingerprintFilter;
    spec.defaultExt = "fpr";
    const auto chosen = e.ctx.host().openFileDialog(spec);
    if (!chosen) return;
    path = *chosen;
  }
  e.ctx.host().setBusyCursor(true);
  loadFingerprintFile(path);
  e.ctx.host().setBusyCursor(false);
}

// ---- Lifecycle ----

void SpectralCommands::applyStartupFFTSize() {
  if (!fingerprint.present) spectral.SetFFTSize(ed().ctx.settings.fftsize);
}

void SpectralCommands::documentClosed() {
  if (ed().ctx.settings.keepfingerprint || !fingerprint.present) return;
  fingerprint.present = false;
  ++fingerprint.generation;
}

}  // namespace tolmar
