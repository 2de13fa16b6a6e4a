#include "config/macro_store.h"

namespace tolmar {

namespace {

const char* const kSection = "Macros";

std::string stepKey(int slot, int step) {
  return "macro" + std::to_string(slot) + "." + std::to_string(step);
}

std::string nameKey(int slot) {
  return "macro" + std::to_string(slot) + ".nm";
}

bool validSlot(int slot) {
  return slot >= 1 && slot <= MacroTable::kSlots;
}

}  // namespace

MacroDefinition* MacroTable::get(int slot) {
  return validSlot(slot) ? slots_[static_cast<std::size_t>(slot - 1)].get() : nullptr;
}

const MacroDefinition* MacroTable::get(int slot) const {
  return validSlot(slot) ? slots_[static_cast<std::size_t>(slot - 1)].get() : nullptr;
}

void MacroTable::store(int slot, std::vector<std::string> steps, std::string name) {
  if (!validSlot(slot)) return;
  auto& entry = slots_[static_cast<std::size_t>(slot - 1)];
  if (steps.empty()) {
    entry.reset();
    return;
  }
  if (!entry) entry = std::make_unique<MacroDefinition>();
  entry->steps = std::move(steps);
  entry->name = std::move(name);
}

void MacroTable::clear(int slot) {
  if (validSlot(slot)) slots_[static_cast<std::size_t>(slot - 1)].reset();
}

void MacroTable::clearAll() {
  for (auto& entry : slots_) entry.reset();
}

void MacroTable::read(const IniFile& ini) {
  for (int slot = 1; slot <= kSlots; ++slot) {
    auto& entry = slots_[static_cast<std::size_t>(slot - 1)];
    entry.reset();
    std::string step = ini.readString(kSection, stepKey(slot, 1), "");
    if (step.empty()) continue;
    entry = std::make_unique<MacroDefinition>();
    for (int s = 2; !step.empty(); ++s) {
      entry->steps.push_back(std::move(step));
      step = ini.readString(kSection, stepKey(slot, s), "");
    }
    std::string name = ini.readString(kSection, nameKey(slot), "");
    if (!name.empty()) entry->name = std::move(name);
  }
}

void MacroTable::write(IniFile& ini) const {
  ini.eraseSection(kSection);
  for (int slot = 1; slot <= kSlots; ++slot) {
    const MacroDefinition* m = get(slot);
    if (!m) continue;
    ini.writeString(kSection, nameKey(slot), m->name);
    for (std::size_t s = 0; s < m->steps.size(); ++s) {
      ini.writeString(kSection, stepKey(slot, static_cast<int>(s) + 1), m->steps[s]);
    }
  }
}

std::string MacroTable::listText(int slot) const {
  std::string text = "Macro #" + std::to_string(slot);
  const MacroDefinition* m = get(slot);
  if (m && !m->name.empty()) text += " [" + m->name + "]";
  return text;
}

std::vector<std::string> MacroTable::listLines() const {
  std::vector<std::string> lines;
  for (int slot = 1; slot <= kSlots; ++slot) {
    if (get(slot)) lines.push_back(listText(slot));
  }
  return lines;
}

int MacroTable::slotFromListText(std::string_view text) {
  static constexpr std::string_view kPrefix = "Macro #";
  if (!text.starts_with(kPrefix)) return 0;
  const auto number = parseInteger(text.substr(kPrefix.size(), 2));
  return number && validSlot(*number) ? *number : 0;
}

}  // namespace tolmar
