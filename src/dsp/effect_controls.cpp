#include "dsp/effect_controls.h"

#include <algorithm>
#include <cmath>

#include "config/ini_file.h"
#include "dsp/effect_road.h"

namespace tolmar {

namespace {

std::string fixed(double v, int decimals) {
  return formatFixed(v, decimals, localeDecimalSeparator());
}

}  // namespace

NormaliseModel NormaliseModel::fromSettings(const Settings& s) {
  return {s.donormalise, s.normaliseto, s.removedc, s.normindep};
}

void NormaliseModel::store(Settings& s) const {
  s.donormalise = donormalise;
  s.normaliseto = normaliseto;
  s.removedc = removedc;
  s.normindep = normindep;
}

void NormaliseModel::step(double delta) {
  normaliseto = std::clamp(normaliseto + delta, -3.0, 0.0);
}

std::string NormaliseModel::targetText() const {
  return fixed(normaliseto, 2);
}

void FadeFactorModel::step(double delta) {
  fadefactor = std::clamp(fadefactor + delta, 0.1, 90.0);
}

std::string FadeFactorModel::text() const {
  return fixed(fadefactor, 1);
}

namespace amplify_controls {

void stepGain(Settings& s, int channel, double delta) {
  double& g = channel == 0 ? s.amplifyfactorl : s.amplifyfactorr;
  g = std::clamp(g + delta, -50.0, 50.0);
  if (s.ampequal) (channel == 0 ? s.amplifyfactorr : s.amplifyfactorl) = g;
}

void setEqual(Settings& s, bool equal) {
  s.ampequal = equal;
  if (equal) s.amplifyfactorr = s.amplifyfactorl;
}

void stepStartFade(Settings& s, int delta) {
  s.ampfadestartsecs = std::clamp(s.ampfadestartsecs + delta, 0, 120);
}

void stepEndFade(Settings& s, int delta) {
  s.ampfadeendsecs = std::clamp(s.ampfadeendsecs + delta, 0, 120);
}

void stepThreshold(Settings& s, double delta) {
  s.compressthresh = std::clamp(s.compressthresh + delta, 3.0, 12.0);
}

void stepRatio(Settings& s, double delta) {
  s.compressfactor = std::clamp(s.compressfactor + delta, 1.0, 6.0);
}

std::string gainText(double db) {
  return fixed(db, 1);
}

std::string thresholdText(double x) {
  return "-" + fixed(x, 1);
}

std::string ratioText(double r) {
  return fixed(r, 1) + ":1";
}

}  // namespace amplify_controls

namespace equaliser_controls {

int barPosition(double db) {
  return std::clamp(-static_cast<int>(roundEven(db * 10)), -120, 120);
}

void setBand(Settings::Equalise& eq, int band, int position) {
  if (band < 0 || band >= 10) return;
  const double db = -position / 10.0;
  eq.dbgain[static_cast<size_t>(band)] = db;
  eq.gain[static_cast<size_t>(band)] = std::pow(kDialogBase, db);
}

std::string bandText(double db) {
  return (db > 0 ? "+" : "") + fixed(db, 1);
}

int overallPosition(double overallgain) {
  return std::clamp(100 - static_cast<int>(roundEven(overallgain * 100)), 0, 100);
}

void setOverall(Settings::Equalise& eq, int position) {
  eq.overallgain = (100 - position) * 0.01;
}

std::string overallText(double overallgain) {
  return fixed(overallgain, 2);
}

void applyPreset(Settings::Equalise& eq, const EQPreset& p) {
  for (size_t b = 0; b < eq.dbgain.size(); ++b) {
    eq.dbgain[b] = p.dbGain[b];
    eq.gain[b] = std::pow(kDialogBase, p.dbGain[b]);
  }
}

EQPreset presetFrom(const Settings::Equalise& eq, std::string name) {
  return {std::move(name), eq.dbgain};
}

}  // namespace equaliser_controls

namespace filter_controls {

double stepFrequency(double f, bool up, double m) {
  if (up) {
    if (f < 200) return f + m;
    if (f < 500) return f + 5 * m;
    if (f < 1000) return f + 10 * m;
    if (f < 5000) return f + 50 * m;
    if (f < 20000) return f + 100 * m;
    return f;
  }
  if (f > 5000) return f - 100 * m;
  if (f > 1000) return f - 50 * m;
  if (f > 500) return f - 10 * m;
  if (f > 200) return f - 5 * m;
  if (f > 5) return f - m;
  return f;
}

double qFromPosition(int position) {
  return position / 10.0;
}

int positionFromQ(double q) {
  return std::clamp(static_cast<int>(roundEven(q * 10)), 1, 10);
}

std::string frequencyText(double f) {
  return formatFloat(f, localeDecimalSeparator());
}

void applyPreset(Settings::Filter& f, const FilterPreset& p) {
  f.type = p.type;
  f.freq = p.freq;
  f.q = p.q;
}

FilterPreset presetFrom(const Settings::Filter& f, std::string name) {
  return {std::move(name), f.type, f.freq, f.q};
}

}  // namespace filter_controls

namespace mix_controls {

std::string percentText(int value) {
  return std::to_string(value) + "%";
}

void applyPreset(Settings::Mixer& m, const ChanmixPreset& p) {
  m.leftleft = p.leftleft;
  m.leftright = p.leftright;
  m.rightleft = p.rightleft;
  m.rightright = p.rightright;
  m.leftinvert = p.leftInvert;
  m.rightinvert = p.rightInvert;
}

ChanmixPreset presetFrom(const Settings::Mixer& m, std::string name) {
  return {std::move(name), m.leftleft,   m.leftright,  m.rightleft,
          m.rightright,    m.leftinvert, m.rightinvert};
}

}  // namespace mix_controls
}  // namespace tolmar
