#pragma once
// Frequency analysis, noise fingerprint and reduction, block repairs.
// A part of the editor core: Editor inherits it, so these handlers are Editor's handlers.
//
// The part owns the spectral engine and the noise fingerprint; decrackle, spectral replacement
// and the spectral view reach them through the editor (`ed().spectral`, `ed().fingerprint`).

#include <string>

#include "dsp/fft.h"
#include "dsp/noise_reduction.h"

namespace tolmar {

class Editor;

class SpectralCommands {
 public:
  // The one transform engine of the program, with the process-wide N.
  SpectralEngine spectral;
  NoiseFingerprint fingerprint;

  // ---- Frequency analysis ----
  void FrequencyAnalysis1Click();

  // ---- Noise fingerprint and reduction ----
  void GetFingerprint1Click();
  void RemoveNoise1Click();  // Reduce Noise (With Undo)
  void ReduceNoise1Click();  // Reduce Noise (Direct Overwrite)
  void SaveFingerprintinFile1Click();
  void LoadFingerprintfromFile1Click();

  // ---- Decrackle ----
  void Decrackle1Click();                 // Decrackle (With Undo)
  void DecrackleDirectOverwrite1Click();  // Decrackle (Direct Overwrite)

  // Start-up, after the settings are read: [Noise] fftsize becomes N while no fingerprint is
  // held (a length the engine cannot hold is ignored).
  void applyStartupFFTSize();
  // The document was closed: the fingerprint goes unless `keepfingerprint` is on.
  void documentClosed();
  // Loads a fingerprint file (the invalid-file message and an absent fingerprint when it is
  // not one). False when nothing was loaded.
  bool loadFingerprintFile(const std::string& path);

 protected:
  // The whole editor, for state that other parts own.
  Editor& ed();
  const Editor& ed() const;

 private:
  // Reduce Noise (crackle false) or Decrackle, with undo or by direct overwrite.
  void residualCommand(bool direct, bool crackle);
  // The file dialogs' start: the WAV file's directory and name with ".fpr".
  std::string proposedFingerprintFileName() const;
};

}  // namespace tolmar
