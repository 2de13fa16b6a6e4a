#include "config/presets.h"

#include <limits>

namespace tolmar {

namespace {

// The text before the next "/", or nothing when no "/" is left: what remains is the name.
std::optional<std::string_view> nextField(std::string_view& rest) {
  const std::size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const std::string_view field = rest.substr(0, slash);
  rest.remove_prefix(slash + 1);
  return field;
}

bool fitsInt16(int32_t v) {
  return v >= std::numeric_limits<int16_t>::min() && v <= std::numeric_limits<int16_t>::max();
}

// A field that is there must be an integer; a missing one reads as -1.
bool takeInteger(std::string_view& rest, int& out) {
  const auto field = nextField(rest);
  if (!field) {
    out = -1;
    return true;
  }
  const auto v = parseInteger(*field);
  if (!v) return false;
  out = *v;
  return true;
}

// A field that is there must be a float in the given format; a missing one reads as -1.
bool takeFloat(std::string_view& rest, std::string_view separator, double& out) {
  const auto field = nextField(rest);
  if (!field) {
    out = -1;
    return true;
  }
  const auto v = parseFloat(*field, separator);
  if (!v) return false;
  out = *v;
  return true;
}

bool isPresetKey(std::string_view key) {
  if (key.size() <= 6) return false;
  static const char kPrefix[] = "preset";
  for (std::size_t i = 0; i < 6; ++i) {
    char c = key[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kPrefix[i]) return false;
  }
  for (std::size_t i = 6; i < key.size(); ++i) {
    if (key[i] < '0' || key[i] > '9') return false;
  }
  return true;
}

std::string presetKey(std::size_t n) {
  return "preset" + std::to_string(n);
}

}  // namespace

// ---- declick ----

std::string ClickPresetFamily::format(const Preset& p, std::string_view) {
  return "/" + std::to_string(p.clickWidth) + "/" + std::to_string(p.repairWidth) + "/" +
         std::to_string(p.displayWidth) + "/" + std::to_string(p.relativeAmplitude) + "/" +
         std::to_string(static_cast<int>(p.shape)) + "/" +
         std::to_string(static_cast<int>(p.repairMethod)) + "/" + std::to_string(p.smoothingCount) +
         "/" + p.name;
}

std::optional<ClickPreset> ClickPresetFamily::parse(std::string_view text, std::string_view) {
  std::string_view rest = text;
  const bool newForm = rest.starts_with('/');
  if (newForm) rest.remove_prefix(1);
  std::array<int32_t, 7> n{};
  for (int32_t& v : n) {
    const auto field = nextField(rest);
    if (!field) return std::nullopt;
    const auto parsed = parseInteger(*field);
    if (!parsed) return std::nullopt;
    v = *parsed;
  }
  // New form: click, repair, display, amplitude, shape, method, smoothing.
  // Old form: unused, click, repair, display, amplitude, unused, shape.
  const int32_t width = newForm ? n[0] : n[1];
  const int32_t repair = newForm ? n[1] : n[2];
  const int32_t display = newForm ? n[2] : n[3];
  const int32_t amplitude = newForm ? n[3] : n[4];
  const int32_t shape = newForm ? n[4] : n[6];
  const int32_t method = newForm ? n[5] : 0;
  const int32_t smoothing = newForm ? n[6] : 0;
  // The detector only knows these shapes and methods; anything else is a damaged value.
  if (!fitsInt16(width) || !fitsInt16(repair) || !fitsInt16(display) || !fitsInt16(amplitude) ||
      !fitsInt16(smoothing) || shape < 0 || shape > kLastClickShape || method < 0 ||
      method > kLastRepairMethod) {
    return std::nullopt;
  }
  ClickPreset p;
  p.clickWidth = static_cast<int16_t>(width);
  p.repairWidth = static_cast<int16_t>(repair);
  p.displayWidth = static_cast<int16_t>(display);
  p.relativeAmplitude = static_cast<int16_t>(amplitude);
  p.shape = static_cast<ClickShape>(shape);
  p.repairMethod = static_cast<RepairMethod>(method);
  p.smoothingCount = static_cast<int16_t>(smoothing);
  p.name = std::string(rest);
  return p;
}

bool ClickPresetFamily::sameValues(const Preset& a, const Preset& b) {
  return a.clickWidth == b.clickWidth && a.repairWidth == b.repairWidth &&
         a.displayWidth == b.displayWidth && a.relativeAmplitude == b.relativeAmplitude &&
         a.shape == b.shape && a.repairMethod == b.repairMethod &&
         a.smoothingCount == b.smoothingCount;
}

std::vector<ClickPreset> ClickPresetFamily::factory() {
  using S = ClickShape;
  using M = RepairMethod;
  return {
      {5, 30, 30, 2500, S::InstantRise, M::Bezier, 0, "Larger Clicks"},
      {5, 10, 30, 600, S::InstantRise, M::Bezier, 0, "Minor Ticks (1)"},
      {3, 10, 30, 1200, S::Spike, M::Bezier, 0, "Minor Ticks (2)"},
      {5, 15, 30, 2000, S::InstantRise, M::Bezier, 0, "Moderate Clicks"},
      {5, 12, 30, 1400, S::InstantRise, M::Bezier, 0, "Small Clicks (1)"},
      {15, 20, 30, 1500, S::Spike, M::Bezier, 0, "Small Clicks (2)"},
      {15, 35, 45, 1600, S::Hill, M::Linear, 0, "Smeared Ticks"},
      {40, 60, 30, 700, S::Model, M::ArInterpolate, 0, "Model Clicks"},
      {40, 60, 30, 650, S::Model, M::ArInterpolate, 0, "Model Clicks + Crackle"},
  };
}

// ---- equaliser ----

std::string EQPresetFamily::format(const Preset& p, std::string_view separator) {
  std::string text;
  for (double db : p.dbGain) text += formatFixed(db, 1, separator) + "/";
  return text + p.name;
}

std::optional<EQPreset> EQPresetFamily::parse(std::string_view text, std::string_view separator) {
  EQPreset p;
  std::string_view rest = text;
  for (double& db : p.dbGain) {
    if (!takeFloat(rest, separator, db)) return std::nullopt;
  }
  p.name = std::string(rest);
  return p;
}

bool EQPresetFamily::sameValues(const Preset& a, const Preset& b) {
  return a.dbGain == b.dbGain;
}

std::vector<EQPreset> EQPresetFamily::factory() {
  return {
      {"Flat", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"Add Sparkle", {0, 0, 0, 0, 0, 2, 4, 5, 6, 3}},
      {"Bass Boost", {0, 4, 5.5, 4.5, 3, 0, 0, 0, 0, 0}},
  };
}

// ---- filter ----

std::string FilterPresetFamily::format(const Preset& p, std::string_view separator) {
  std::string text;
  for (int t : p.type) text += std::to_string(t) + "/";
  for (double f : p.freq) text += formatFixed(f, 2, separator) + "/";
  for (double q : p.q) text += formatFixed(q, 2, separator) + "/";
  return text + p.name;
}

std::optional<FilterPreset> FilterPresetFamily::parse(std::string_view text,
                                                      std::string_view separator) {
  FilterPreset p;
  std::string_view rest = text;
  for (int& t : p.type) {
    if (!takeInteger(rest, t)) return std::nullopt;
  }
  for (double& f : p.freq) {
    if (!takeFloat(rest, separator, f)) return std::nullopt;
  }
  for (double& q : p.q) {
    if (!takeFloat(rest, separator, q)) return std::nullopt;
  }
  p.name = std::string(rest);
  return p;
}

bool FilterPresetFamily::sameValues(const Preset& a, const Preset& b) {
  return a.type == b.type && a.freq == b.freq && a.q == b.q;
}

std::vector<FilterPreset> FilterPresetFamily::factory() {
  return {
      {"Rumble", {1, 0, 0}, {35, 1000, 1000}, {1.0, 0.5, 0.5}},
      {"Hum (60Hz)", {3, 0, 0}, {60, 1000, 1000}, {1.0, 0.5, 0.5}},
      {"Hum (50Hz)", {3, 0, 0}, {50, 1000, 1000}, {1.0, 0.5, 0.5}},
      {"Hum (60+120Hz)", {3, 3, 0}, {60, 120, 1000}, {1.0, 1.0, 0.5}},
      {"Hum (50+100Hz)", {3, 3, 0}, {50, 100, 1000}, {1.0, 1.0, 0.5}},
  };
}

// ---- channel mix ----

std::string ChanmixPresetFamily::format(const Preset& p, std::string_view) {
  return std::to_string(p.leftleft) + "/" + std::to_string(p.leftright) + "/" +
         std::to_string(p.rightleft) + "/" + std::to_string(p.rightright) + "/" +
         (p.leftInvert ? "1" : "0") + "/" + (p.rightInvert ? "1" : "0") + "/" + p.name;
}

std::optional<ChanmixPreset> ChanmixPresetFamily::parse(std::string_view text, std::string_view) {
  ChanmixPreset p;
  std::string_view rest = text;
  int leftInvert = 0;
  int rightInvert = 0;
  if (!takeInteger(rest, p.leftleft) || !takeInteger(rest, p.leftright) ||
      !takeInteger(rest, p.rightleft) || !takeInteger(rest, p.rightright) ||
      !takeInteger(rest, leftInvert) || !takeInteger(rest, rightInvert)) {
    return std::nullopt;
  }
  p.leftInvert = leftInvert == 1;
  p.rightInvert = rightInvert == 1;
  p.name = std::string(rest);
  return p;
}

bool ChanmixPresetFamily::sameValues(const Preset& a, const Preset& b) {
  return a.leftleft == b.leftleft && a.leftright == b.leftright && a.rightleft == b.rightleft &&
         a.rightright == b.rightright && a.leftInvert == b.leftInvert &&
         a.rightInvert == b.rightInvert;
}

std::vector<ChanmixPreset> ChanmixPresetFamily::factory() {
  return {
      {"Convert to Mono", 50, 50, 50, 50, false, false},
      {"Swap Channels", 0, 100, 100, 0, false, false},
      {"Narrow Image", 75, 25, 25, 75, false, false},
      {"No Mixing", 100, 0, 0, 100, false, false},
      {"Wide Stereo", 100, -50, -50, 100, false, false},
      {"Reduce Vocal", 100, -100, -100, 100, false, true},
      {"Out of Phase", 100, 0, 0, 100, false, true},
  };
}

// ---- the list ----

template <class Family>
std::vector<std::string> PresetList<Family>::names() const {
  std::vector<std::string> out;
  for (const Preset& p : items_) out.push_back(p.name);
  return out;
}

template <class Family>
typename PresetList<Family>::Preset* PresetList<Family>::findLast(std::string_view name) {
  for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
    if (it->name == name) return &*it;
  }
  return nullptr;
}

template <class Family>
const typename PresetList<Family>::Preset* PresetList<Family>::get(std::string_view name) const {
  for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
    if (it->name == name) return &*it;
  }
  return nullptr;
}

template <class Family>
bool PresetList<Family>::add(Session& ctx, const Preset& preset) {
  Preset* existing = findLast(preset.name);
  if (!existing) {
    items_.push_back(preset);
    return true;
  }
  if (Family::sameValues(*existing, preset)) return false;
  if (!ctx.silentMode) {
    const Answer answer = ctx.ask(Family::kAskKind, Family::kAskButtons,
                                  "Overwrite existing preset '" + preset.name + "'?");
    if (answer != Family::kAccept) return false;
  }
  *existing = preset;
  return true;
}

template <class Family>
bool PresetList<Family>::del(std::string_view name) {
  for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
    if (it->name == name) {
      items_.erase(std::next(it).base());
      return true;
    }
  }
  return false;
}

template <class Family>
void PresetList<Family>::read(const IniFile& ini, bool& invalidNumbers) {
  items_.clear();
  const std::string separator = ini.decimalSeparator();
  for (std::size_t n = 1;; ++n) {
    const auto text = ini.value(Family::kSection, presetKey(n));
    if (!text || text->empty()) break;
    auto preset = Family::parse(*text, separator);
    if (!preset) {
      invalidNumbers = true;
      installFactory();
      return;
    }
    items_.push_back(std::move(*preset));
  }
  if (items_.empty()) installFactory();
}

template <class Family>
void PresetList<Family>::write(IniFile& ini) const {
  // Only the preset keys go: the section also holds the family's current settings, which
  // must survive even if the settings are not written again before the program stops.
  for (const std::string& key : ini.keyNames(Family::kSection)) {
    if (isPresetKey(key)) ini.deleteKey(Family::kSection, key);
  }
  const std::string separator = ini.decimalSeparator();
  for (std::size_t i = 0; i < items_.size(); ++i) {
    ini.writeString(Family::kSection, presetKey(i + 1), Family::format(items_[i], separator));
  }
}

template <class Family>
void PresetList<Family>::setDefault(Session& ctx, IniFile& ini) {
  for (const Preset& p : Family::factory()) add(ctx, p);
  write(ini);
}

template class PresetList<ClickPresetFamily>;
template class PresetList<EQPresetFamily>;
template class PresetList<FilterPresetFamily>;
template class PresetList<ChanmixPresetFamily>;

void PresetStore::readAll(const IniFile& ini, bool& invalidNumbers) {
  click.read(ini, invalidNumbers);
  eq.read(ini, invalidNumbers);
  filter.read(ini, invalidNumbers);
  chanmix.read(ini, invalidNumbers);
}

}  // namespace tolmar
