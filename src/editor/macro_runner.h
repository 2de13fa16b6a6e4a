#pragma once
// Running macros: each step replays a menu command exactly as if the user had chosen it, with an
// optional named preset, in silent mode when asked, and only while its command is enabled.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/declick_params.h"
#include "config/macro_store.h"
#include "config/presets.h"
#include "editor/command_table.h"
#include "editor/context.h"

namespace tolmar {

class Editor;

inline constexpr std::string_view kSilentPrefix = "<Silent> ";
inline constexpr std::string_view kRefreshDisplayStep = "[Refresh Display]";
inline constexpr std::string_view kCallMacroPrefix = "[Call Macro #";

// "[Call Macro #7]"
std::string callMacroStep(int slot);
// "Attempt to make recursive call to macro #7"
std::string recursiveCallText(int slot);
// "Macro error: operation \"Edit | Undo\" not valid in this context"
std::string invalidStepText(std::string_view step);

// One step string taken apart.
struct ParsedStep {
  enum class Kind { RefreshDisplay, CallMacro, Command };
  Kind kind = Kind::Command;
  bool silent = false;                // began with "<Silent> "
  std::string text;                   // the step without the silent prefix
  int callSlot = 0;                   // CallMacro: the slot, 0 when the digits do not make a number
  std::string path;                   // Command: the menu path
  std::optional<std::string> preset;  // Command: the name in brackets when the step ends in "]"
};
ParsedStep parseStep(std::string_view step);

// The preset family on the command's row; None for a path that names no command.
PresetKind presetKindOf(std::string_view menuPath);
// The family's preset names in list order (empty for None).
std::vector<std::string> presetNames(const PresetStore& presets, PresetKind kind);

// The current parameters of the preset-capable commands.
struct CurrentParameters {
  Settings& settings;  // the declick parameter set, equaliser, filter and channel mix
};

// Loads the named preset of the path's family into the current parameters: a declick preset
// gives click width, repair width, relative amplitude, display width and shape; a filter preset
// its three types, frequencies and Q values; an equaliser preset its dB values with linear gains
// of 1.12^dB; a channel-mix preset its four percentages. Returns false, changing nothing, when the
// path takes no preset or the family has no preset of that name.
bool loadStepPreset(std::string_view menuPath, std::string_view name, const PresetStore& presets,
                    CurrentParameters params);

// What macro steps reach: menu items by path, and the window.
class StepTarget {
 public:
  enum class Item { Missing, Disabled, Enabled };
  virtual ~StepTarget() = default;
  // Whether an item of that path exists and is enabled in the state as it is now.
  virtual Item lookup(std::string_view path) = 0;
  // Runs the item's click action.
  virtual void invoke(std::string_view path) = 0;
  // After a step: the menus and buttons follow the new state.
  virtual void recomputeAvailability() = 0;
  // "[Refresh Display]": repaint and let pending window messages run.
  virtual void refreshDisplay() = 0;
  // Why a disabled item is disabled now ("needs a selection"), or empty when not known.
  virtual std::string whyDisabled(std::string_view) { return ""; }
};

// The program's command table over an editor: the target of every macro the program runs.
class CommandTableTarget : public StepTarget {
 public:
  explicit CommandTableTarget(Editor& editor) : editor_(editor) {}
  Item lookup(std::string_view path) override;
  void invoke(std::string_view path) override;
  void recomputeAvailability() override;
  void refreshDisplay() override;
  std::string whyDisabled(std::string_view path) override;

 private:
  Editor& editor_;
};

// What happened during runs of one runner, sub-macros included.
struct MacroRunStats {
  int invoked = 0;    // commands run
  int refused = 0;    // steps whose command was disabled
  int skipped = 0;    // steps naming no menu item
  int recursive = 0;  // refused recursive calls
  int failed = 0;     // commands that reported an error
  int declined = 0;   // commands stopped by a question a batch run answered No
};

class MacroRunner {
 public:
  MacroRunner(Context& ctx, MacroTable& macros, const PresetStore& presets,
              CurrentParameters params, StepTarget& target);

  // Runs the slot's macro when the slot is defined. log: the batch log, or null.
  void run(int slot, std::vector<std::string>* log);
  // Runs a macro that lives outside the table (steps given on a command line).
  void run(MacroDefinition& macro, std::vector<std::string>* log);

  const MacroRunStats& stats() const { return stats_; }

 private:
  void runMacro(MacroDefinition& macro, int slot, std::vector<std::string>* log);
  void runStep(const std::string& step, std::vector<std::string>* log);
  void refuse(const ParsedStep& step, bool wasSilent);

  Context& ctx_;
  MacroTable& macros_;
  const PresetStore& presets_;
  CurrentParameters params_;
  StepTarget& target_;
  MacroRunStats stats_;
};

}  // namespace tolmar
