#pragma once
// The 48 macro slots (F1–F12 alone and with Shift, Ctrl, Alt) and their [Macros] section.

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/ini_file.h"

namespace tolmar {

struct MacroDefinition {
  std::vector<std::string> steps;
  std::string name;      // "" when none
  bool running = false;  // set while it executes, against recursion
};

class MacroTable {
 public:
  static constexpr int kSlots = 48;

  // Slots are numbered 1 … 48; an empty slot or a number outside that range gives nullptr.
  MacroDefinition* get(int slot);
  const MacroDefinition* get(int slot) const;
  // Stores steps and name into the slot; an empty step list frees it.
  void store(int slot, std::vector<std::string> steps, std::string name);
  void clear(int slot);
  void clearAll();

  // For each slot: step 1 missing or empty leaves it empty; otherwise steps are taken up to
  // the first empty one, then the name. Slots read as empty are freed.
  void read(const IniFile& ini);
  // Erases [Macros] and writes macroN.nm (even when empty) and the steps of every slot in use.
  void write(IniFile& ini) const;

  // "Macro #7" or "Macro #7 [Name]", as the batch dialog and the macro picker list them.
  std::string listText(int slot) const;
  // One line per defined macro, in slot order.
  std::vector<std::string> listLines() const;
  // The slot number of a list line, read from the two characters after "Macro #"; 0 when
  // the text holds none.
  static int slotFromListText(std::string_view text);

 private:
  std::array<std::unique_ptr<MacroDefinition>, kSlots> slots_;
};

}  // namespace tolmar
