#include "config/declick_params.h"

#include <algorithm>
#include <cctype>

#include "base/session.h"
#include "config/ini_file.h"
#include "config/presets.h"

namespace tolmar {

namespace {

// List boxes sort without regard to case; names differing only in case keep a fixed order.
bool nameBefore(const std::string& a, const std::string& b) {
  const auto lower = [](unsigned char c) { return std::tolower(c); };
  const bool less = std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(),
      [&](unsigned char x, unsigned char y) { return lower(x) < lower(y); });
  if (less) return true;
  const bool greater = std::lexicographical_compare(
      b.begin(), b.end(), a.begin(), a.end(),
      [&](unsigned char x, unsigned char y) { return lower(x) < lower(y); });
  return !greater && a < b;
}

}  // namespace

ClickParamsDialog::ClickParamsDialog(Session& ctx, ClickPresetList& presets, IniFile* presetFile,
                                     const DeclickParams& params, const std::string& presetName,
                                     bool findEnabled)
    : findEnabled(findEnabled), ctx_(ctx), presets_(presets), presetFile_(presetFile) {
  refillPresets();
  setClickWidth(params.clickWidth);
  setRepairWidth(params.repairWidth);
  setRelAmplitude(params.relAmplitude);
  setDisplayWidth(params.displayWidth);
  includeUpdates = params.includeUpdates;
  processLeft = params.processLeft;
  processRight = params.processRight;
  shape = params.shape;
  method = params.repairMethod;
  timesText = std::to_string(params.smoothingCount);
  name = presetName;
}

void ClickParamsDialog::setClickWidth(int v) {
  clickWidth_ = std::clamp(v, kClickWidthMin, kClickWidthMax);
  if (repairWidth_ < clickWidth_)
    repairWidth_ = std::clamp(clickWidth_, kRepairWidthMin, kRepairWidthMax);
}

void ClickParamsDialog::setRepairWidth(int v) {
  repairWidth_ = std::clamp(v, kRepairWidthMin, kRepairWidthMax);
  if (clickWidth_ > repairWidth_)
    clickWidth_ = std::clamp(repairWidth_, kClickWidthMin, kClickWidthMax);
}

void ClickParamsDialog::setRelAmplitude(int v) {
  relAmplitude_ = std::clamp(v, kRelAmpMin, kRelAmpMax);
}

void ClickParamsDialog::setDisplayWidth(int v) {
  displayWidth_ = std::clamp(v, kDisplayWidthMin, kDisplayWidthMax);
}

void ClickParamsDialog::refillPresets() {
  names_.clear();
  for (const ClickPreset& p : presets_.items()) names_.push_back(p.name);
  std::stable_sort(names_.begin(), names_.end(), nameBefore);
  selected = -1;
}

void ClickParamsDialog::savePresetFile() {
  // A configuration never loaded from disk (tests, a batch run without one) stays in memory.
  if (!presetFile_->path().empty()) presetFile_->save();
}

void ClickParamsDialog::writePresets() {
  if (!presetFile_) return;
  WriteClickPresets(presets_, *presetFile_);
  savePresetFile();
}

void ClickParamsDialog::presetClicked(int index) {
  if (index < 0 || index >= static_cast<int>(names_.size())) return;
  const ClickPreset* p = GetClickPreset(presets_, names_[static_cast<size_t>(index)]);
  if (!p) return;
  selected = index;
  name = p->name;
  setClickWidth(p->clickWidth);
  setRepairWidth(p->repairWidth);
  setDisplayWidth(p->displayWidth);
  setRelAmplitude(p->relativeAmplitude);
  shape = p->shape;
  method = p->repairMethod;
  if (method == RepairMethod::Smooth) timesText = std::to_string(p->smoothingCount);
}

void ClickParamsDialog::presetDoubleClicked(int index) {
  presetClicked(index);
  choice = Choice::Find;
}

std::optional<int16_t> ClickParamsDialog::smoothingCount() const {
  if (timesText.empty()) return int16_t{0};
  const std::optional<int32_t> v = parseInteger(timesText);
  if (!v) {
    ctx_.error("'" + timesText + "' is not a valid integer value");
    return std::nullopt;
  }
  // A negative count smooths nothing, as 0 does.
  return static_cast<int16_t>(std::clamp(*v, 0, 32767));
}

bool ClickParamsDialog::addPreset() {
  if (name.empty()) {
    ctx_.error("Please supply a name for the new preset");
    return false;
  }
  ClickPreset p;
  p.clickWidth = static_cast<int16_t>(clickWidth_);
  p.repairWidth = static_cast<int16_t>(repairWidth_);
  p.displayWidth = static_cast<int16_t>(displayWidth_);
  p.relativeAmplitude = static_cast<int16_t>(relAmplitude_);
  p.shape = shape;
  p.repairMethod = method;
  p.smoothingCount = 0;
  if (method == RepairMethod::Smooth) {
    const std::optional<int16_t> count = smoothingCount();
    if (!count) return false;
    p.smoothingCount = *count;
  }
  p.name = name;
  const bool added = AddClickPreset(ctx_, presets_, p);
  writePresets();
  refillPresets();
  return added;
}

void ClickParamsDialog::deletePreset() {
  if (selected < 0 || selected >= static_cast<int>(names_.size())) return;
  DelClickPreset(presets_, names_[static_cast<size_t>(selected)]);
  writePresets();
  refillPresets();
}

void ClickParamsDialog::restorePresets() {
  if (presetFile_) {
    SetDefaultClickPresets(ctx_, presets_, *presetFile_);
    savePresetFile();
  } else {
    for (const ClickPreset& p : ClickPresetFamily::factory()) AddClickPreset(ctx_, presets_, p);
  }
  refillPresets();
}

bool ClickParamsDialog::apply(DeclickParams& params, std::string& presetName) const {
  const std::optional<int16_t> count = smoothingCount();
  if (!count) return false;
  presetName = name;
  params.clickWidth = static_cast<int16_t>(clickWidth_);
  params.repairWidth = static_cast<int16_t>(repairWidth_);
  params.relAmplitude = static_cast<int16_t>(relAmplitude_);
  params.displayWidth = static_cast<int16_t>(displayWidth_);
  params.includeUpdates = includeUpdates;
  params.processLeft = processLeft;
  params.processRight = processRight;
  params.shape = shape;
  params.repairMethod = method;
  params.smoothingCount = *count;
  return true;
}

}  // namespace tolmar
