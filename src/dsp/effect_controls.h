#pragma once
// What the effect dialogs do to the settings, without widgets: the Normalise and fade-amount
// dialog models, the Amplify/Compress preview's steppers and texts, the equaliser and filter
// previews' bar mappings and frequency steps, the channel mix labels, and how a preset reaches
// the current parameters (from a preview's preset box, or from a macro step).

#include <cstdint>
#include <string>

#include "base/settings.h"
#include "config/presets.h"

namespace tolmar {

// The preview dialogs' clip indicator (0x00BBGGRR).
inline constexpr uint32_t kClipIndicatorRed = 0x0000FF;
inline constexpr uint32_t kClipIndicatorGreen = 0x00FF00;

// ---- Normalise dialog (id kNormaliseDialogId): OK proceeds, Cancel raises the abort flag.
inline constexpr char kNormaliseDialogId[] = "Normalise";
struct NormaliseModel {
  bool donormalise = true;
  double normaliseto = 0.0;  // −3.00 … 0.00
  bool removedc = true;
  bool normindep = false;

  static NormaliseModel fromSettings(const Settings& s);
  void store(Settings& s) const;
  void step(double delta);  // ±0.01 or ±0.1, stopping at the bounds
  std::string targetText() const;
};

// ---- Specify Fade Amount dialog (id kFadeFactorDialogId), help topic "partialfade".
inline constexpr char kFadeFactorDialogId[] = "FadeFactor";
struct FadeFactorModel {
  double fadefactor = 30.0;  // 0.1 … 90 dB

  void step(double delta);  // ±0.1 or ±1
  std::string text() const;
};

// ---- Amplify/Compress preview controls (they change the settings at once).
namespace amplify_controls {
// Steps one channel's gain (channel 0 left) by ±0.1 or ±1 within −50 … 50; with ampequal the
// other gain follows.
void stepGain(Settings& s, int channel, double delta);
// Ticking "Amplify Both Channels Equally" copies the left gain to the right.
void setEqual(Settings& s, bool equal);
void stepStartFade(Settings& s, int delta);  // ±1 or ±10 within 0 … 120
void stepEndFade(Settings& s, int delta);
void stepThreshold(Settings& s, double delta);  // X by ±0.5 within 3 … 12
void stepRatio(Settings& s, double delta);      // R by ±0.1 within 1 … 6
std::string gainText(double db);                // "3.5"
std::string thresholdText(double x);            // "-3.0"
std::string ratioText(double r);                // "2.0:1"
}  // namespace amplify_controls

// ---- Equaliser preview: ten bars −120 … 120 (top = +12 dB) and the overall-gain bar 0 … 100.
namespace equaliser_controls {
inline constexpr double kDialogBase = 1.1225;  // dB to linear in the dialog and its presets
int barPosition(double db);
void setBand(Settings::Equalise& eq, int band, int position);
std::string bandText(double db);  // "+2.5", "0.0", "-1.0"
int overallPosition(double overallgain);
void setOverall(Settings::Equalise& eq, int position);
std::string overallText(double overallgain);  // two decimals
// Clicking a preset in the dialog (a macro step loads presets with 1.12^dB instead).
void applyPreset(Settings::Equalise& eq, const EQPreset& p);
EQPreset presetFrom(const Settings::Equalise& eq, std::string name);
}  // namespace equaliser_controls

// ---- Filter preview.
namespace filter_controls {
// One click of a frequency up-down: m = 1 for the small one, 10 for the large one.
double stepFrequency(double f, bool up, double m);
double qFromPosition(int position);  // "Gradual" 1 … 10 "Steep"
int positionFromQ(double q);
std::string frequencyText(double f);  // shortest general form
// A preset gives the types, frequencies and Q values (the overall gain is not part of it).
void applyPreset(Settings::Filter& f, const FilterPreset& p);
FilterPreset presetFrom(const Settings::Filter& f, std::string name);
}  // namespace filter_controls

// ---- Channel mix preview.
namespace mix_controls {
std::string percentText(int value);  // "-50%"
// Clicking a preset sets the four bars and both invert boxes (a macro step's preset gives only
// the four percentages).
void applyPreset(Settings::Mixer& m, const ChanmixPreset& p);
ChanmixPreset presetFrom(const Settings::Mixer& m, std::string name);
}  // namespace mix_controls

}  // namespace tolmar
