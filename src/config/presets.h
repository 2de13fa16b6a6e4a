#pragma once
// The four named preset families (declick, equaliser, filter, channel mix): their records, their
// texts in VESKOR.INI, the factory presets, and the list operations of the main window.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/declick_types.h"
#include "base/session.h"
#include "config/ini_file.h"

namespace tolmar {

struct ClickPreset {
  int16_t clickWidth = 0;         // frames
  int16_t repairWidth = 0;        // frames
  int16_t displayWidth = 0;       // frames
  int16_t relativeAmplitude = 0;  // percent
  ClickShape shape = ClickShape::InstantRise;
  RepairMethod repairMethod = RepairMethod::Linear;
  int16_t smoothingCount = 0;
  std::string name;
};

struct EQPreset {
  std::string name;
  std::array<double, 10> dbGain{};  // 31 Hz … 16 kHz
};

struct FilterPreset {
  std::string name;
  std::array<int, 3> type{};  // 0 off, 1 high pass, 2 low pass, 3 notch
  std::array<double, 3> freq{};
  std::array<double, 3> q{};
};

struct ChanmixPreset {
  std::string name;
  int leftleft = 0;
  int leftright = 0;
  int rightleft = 0;
  int rightright = 0;
  bool leftInvert = false;
  bool rightInvert = false;
};

// What distinguishes one family from another. Each has:
//   Preset, kSection, format(preset, separator), parse(text, separator), sameValues(a, b),
//   factory(), and the overwrite question's kind, buttons and accepting answer.
struct ClickPresetFamily {
  using Preset = ClickPreset;
  static constexpr const char* kSection = "Declick";
  static constexpr MsgKind kAskKind = MsgKind::Warning;
  static constexpr Buttons kAskButtons = Buttons::YesNo;
  static constexpr Answer kAccept = Answer::Yes;
  // "/5/30/30/2500/0/1/0/Larger Clicks"
  static std::string format(const Preset& p, std::string_view separator);
  // Also reads the older form "n/click/repair/display/amplitude/n/shape/name".
  static std::optional<Preset> parse(std::string_view text, std::string_view separator);
  static bool sameValues(const Preset& a, const Preset& b);
  static std::vector<Preset> factory();
};

struct EQPresetFamily {
  using Preset = EQPreset;
  static constexpr const char* kSection = "Equalise";
  static constexpr MsgKind kAskKind = MsgKind::Warning;
  static constexpr Buttons kAskButtons = Buttons::OkCancel;
  static constexpr Answer kAccept = Answer::Ok;
  // "0.0/0.0/0.0/0.0/0.0/2.0/4.0/5.0/6.0/3.0/Add Sparkle"
  static std::string format(const Preset& p, std::string_view separator);
  static std::optional<Preset> parse(std::string_view text, std::string_view separator);
  static bool sameValues(const Preset& a, const Preset& b);
  static std::vector<Preset> factory();
};

struct FilterPresetFamily {
  using Preset = FilterPreset;
  static constexpr const char* kSection = "Filter";
  static constexpr MsgKind kAskKind = MsgKind::Warning;
  static constexpr Buttons kAskButtons = Buttons::OkCancel;
  static constexpr Answer kAccept = Answer::Ok;
  // "1/0/0/35.00/1000.00/1000.00/1.00/0.50/0.50/Rumble"
  static std::string format(const Preset& p, std::string_view separator);
  static std::optional<Preset> parse(std::string_view text, std::string_view separator);
  static bool sameValues(const Preset& a, const Preset& b);
  static std::vector<Preset> factory();
};

struct ChanmixPresetFamily {
  using Preset = ChanmixPreset;
  static constexpr const char* kSection = "Mixer";
  static constexpr MsgKind kAskKind = MsgKind::Warning;
  static constexpr Buttons kAskButtons = Buttons::OkCancel;
  static constexpr Answer kAccept = Answer::Ok;
  // "50/50/50/50/0/0/Convert to Mono"
  static std::string format(const Preset& p, std::string_view separator);
  static std::optional<Preset> parse(std::string_view text, std::string_view separator);
  static bool sameValues(const Preset& a, const Preset& b);
  static std::vector<Preset> factory();
};

// One family's presets in insertion order. Names are compared exactly; when several presets
// share a name, the last one is found and deleted.
template <class Family>
class PresetList {
 public:
  using Preset = typename Family::Preset;

  const std::vector<Preset>& items() const { return items_; }
  std::vector<std::string> names() const;

  const Preset* get(std::string_view name) const;
  // Appends a preset with a new name. A preset of the same name with other values is
  // overwritten after the family's question (without asking in silent mode); with the same
  // values nothing happens. Returns whether the list changed.
  bool add(Session& ctx, const Preset& preset);
  // Returns whether a preset was removed.
  bool del(std::string_view name);
  // Reads preset1, preset2, … up to the first missing or empty key. A text that does not parse
  // installs the factory presets instead and sets invalidNumbers; so does an empty family
  // (without the flag).
  void read(const IniFile& ini, bool& invalidNumbers);
  // Replaces the family's preset keys by preset1, preset2, … in list order. The section's
  // other keys (the current settings) are kept.
  void write(IniFile& ini) const;
  // Adds every factory preset through add(), then writes the family.
  void setDefault(Session& ctx, IniFile& ini);
  // Replaces the list by the factory presets, asking nothing.
  void installFactory() { items_ = Family::factory(); }

 private:
  Preset* findLast(std::string_view name);
  std::vector<Preset> items_;
};

using ClickPresetList = PresetList<ClickPresetFamily>;
using EQPresetList = PresetList<EQPresetFamily>;
using FilterPresetList = PresetList<FilterPresetFamily>;
using ChanmixPresetList = PresetList<ChanmixPresetFamily>;

extern template class PresetList<ClickPresetFamily>;
extern template class PresetList<EQPresetFamily>;
extern template class PresetList<FilterPresetFamily>;
extern template class PresetList<ChanmixPresetFamily>;

// The main window's preset lists.
struct PresetStore {
  ClickPresetList click;
  EQPresetList eq;
  FilterPresetList filter;
  ChanmixPresetList chanmix;

  // Declick, equaliser, filter, channel mix, in that order.
  void readAll(const IniFile& ini, bool& invalidNumbers);
};

// The main window's operations under their established names.
inline const ClickPreset* GetClickPreset(const ClickPresetList& l, std::string_view name) {
  return l.get(name);
}
inline bool AddClickPreset(Session& ctx, ClickPresetList& l, const ClickPreset& p) {
  return l.add(ctx, p);
}
inline bool DelClickPreset(ClickPresetList& l, std::string_view name) {
  return l.del(name);
}
inline void ReadClickPresets(ClickPresetList& l, const IniFile& ini, bool& invalidNumbers) {
  l.read(ini, invalidNumbers);
}
inline void WriteClickPresets(const ClickPresetList& l, IniFile& ini) {
  l.write(ini);
}
inline void SetDefaultClickPresets(Session& ctx, ClickPresetList& l, IniFile& ini) {
  l.setDefault(ctx, ini);
}

inline const EQPreset* GetEQPreset(const EQPresetList& l, std::string_view name) {
  return l.get(name);
}
inline bool AddEQPreset(Session& ctx, EQPresetList& l, const EQPreset& p) {
  return l.add(ctx, p);
}
inline bool DelEQPreset(EQPresetList& l, std::string_view name) {
  return l.del(name);
}
inline void ReadEQPresets(EQPresetList& l, const IniFile& ini, bool& invalidNumbers) {
  l.read(ini, invalidNumbers);
}
inline void WriteEQPresets(const EQPresetList& l, IniFile& ini) {
  l.write(ini);
}
inline void SetDefaultEQPresets(Session& ctx, EQPresetList& l, IniFile& ini) {
  l.setDefault(ctx, ini);
}

inline const FilterPreset* GetFilterPreset(const FilterPresetList& l, std::string_view name) {
  return l.get(name);
}
inline bool AddFilterPreset(Session& ctx, FilterPresetList& l, const FilterPreset& p) {
  return l.add(ctx, p);
}
inline bool DelFilterPreset(FilterPresetList& l, std::string_view name) {
  return l.del(name);
}
inline void ReadFilterPresets(FilterPresetList& l, const IniFile& ini, bool& invalidNumbers) {
  l.read(ini, invalidNumbers);
}
inline void WriteFilterPresets(const FilterPresetList& l, IniFile& ini) {
  l.write(ini);
}
inline void SetDefaultFilterPresets(Session& ctx, FilterPresetList& l, IniFile& ini) {
  l.setDefault(ctx, ini);
}

inline const ChanmixPreset* GetChanmixPreset(const ChanmixPresetList& l, std::string_view name) {
  return l.get(name);
}
inline bool AddChanmixPreset(Session& ctx, ChanmixPresetList& l, const ChanmixPreset& p) {
  return l.add(ctx, p);
}
inline bool DelChanmixPreset(ChanmixPresetList& l, std::string_view name) {
  return l.del(name);
}
inline void ReadChanmixPresets(ChanmixPresetList& l, const IniFile& ini, bool& invalidNumbers) {
  l.read(ini, invalidNumbers);
}
inline void WriteChanmixPresets(const ChanmixPresetList& l, IniFile& ini) {
  l.write(ini);
}
inline void SetDefaultChanmixPresets(Session& ctx, ChanmixPresetList& l, IniFile& ini) {
  l.setDefault(ctx, ini);
}

}  // namespace tolmar
