#include "editor/macro_runner.h"

#include <cmath>

#include "editor/command_table.h"
#include "editor/editor.h"

namespace tolmar {

namespace {

// A macro step loads equaliser presets with this base, not the dialog's 1.1225.
constexpr double kStepEqualiserBase = 1.12;

template <class List>
std::vector<std::string> namesOf(const List& list) {
  std::vector<std::string> names;
  for (const auto& p : list.items()) names.push_back(p.name);
  return names;
}

}  // namespace

std::string callMacroStep(int slot) {
  return std::string(kCallMacroPrefix) + std::to_string(slot) + "]";
}

std::string recursiveCallText(int slot) {
  return "Attempt to make recursive call to macro #" + std::to_string(slot);
}

std::string invalidStepText(std::string_view step) {
  return "Macro error: operation \"" + std::string(step) + "\" not valid in this context";
}

ParsedStep parseStep(std::string_view step) {
  ParsedStep p;
  if (step.starts_with(kSilentPrefix)) {
    p.silent = true;
    step.remove_prefix(kSilentPrefix.size());
  }
  p.text = std::string(step);
  if (step == kRefreshDisplayStep) {
    p.kind = ParsedStep::Kind::RefreshDisplay;
    return p;
  }
  if (step.starts_with(kCallMacroPrefix)) {
    p.kind = ParsedStep::Kind::CallMacro;
    // One or two digits; the second only when it is not the closing bracket.
    const std::string_view rest = step.substr(kCallMacroPrefix.size());
    std::string_view digits = rest.substr(0, 1);
    if (rest.size() >= 2 && rest[1] != ']') digits = rest.substr(0, 2);
    int slot = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') {
        slot = 0;
        break;
      }
      slot = slot * 10 + (c - '0');
    }
    p.callSlot = digits.empty() ? 0 : slot;
    return p;
  }
  p.kind = ParsedStep::Kind::Command;
  p.path = p.text;
  const std::size_t open = step.find('[');
  if (step.ends_with(']') && open != std::string_view::npos) {
    p.preset = std::string(step.substr(open + 1, step.size() - open - 2));
    // The path ends two characters before the bracket, dropping the space.
    p.path = std::string(step.substr(0, open == 0 ? 0 : open - 1));
  }
  return p;
}

PresetKind presetKindOf(std::string_view menuPath) {
  const Command* c = findCommand(menuPath);
  return c ? c->presets : PresetKind::None;
}

std::vector<std::string> presetNames(const PresetStore& presets, PresetKind kind) {
  switch (kind) {
    case PresetKind::Declick:
      return namesOf(presets.click);
    case PresetKind::Filter:
      return namesOf(presets.filter);
    case PresetKind::Equaliser:
      return namesOf(presets.eq);
    case PresetKind::ChannelMix:
      return namesOf(presets.chanmix);
    case PresetKind::None:
      break;
  }
  return {};
}

bool loadStepPreset(std::string_view menuPath, std::string_view name, const PresetStore& presets,
                    CurrentParameters params) {
  Settings& s = params.settings;
  switch (presetKindOf(menuPath)) {
    case PresetKind::Declick: {
      const ClickPreset* p = presets.click.get(name);
      if (!p) return false;
      // Not the repair method or the smoothing count: a macro keeps the user's repair choice.
      s.declick.clickWidth = p->clickWidth;
      s.declick.repairWidth = p->repairWidth;
      s.declick.relAmplitude = p->relativeAmplitude;
      s.declick.displayWidth = p->displayWidth;
      s.declick.shape = p->shape;
      return true;
    }
    case PresetKind::Filter: {
      const FilterPreset* p = presets.filter.get(name);
      if (!p) return false;
      s.filter.type = p->type;
      s.filter.freq = p->freq;
      s.filter.q = p->q;
      return true;
    }
    case PresetKind::Equaliser: {
      const EQPreset* p = presets.eq.get(name);
      if (!p) return false;
      for (std::size_t band = 0; band < p->dbGain.size(); ++band) {
        s.equalise.dbgain[band] = p->dbGain[band];
        s.equalise.gain[band] = std::pow(kStepEqualiserBase, p->dbGain[band]);
      }
      return true;
    }
    case PresetKind::ChannelMix: {
      const ChanmixPreset* p = presets.chanmix.get(name);
      if (!p) return false;
      s.mixer.leftleft = p->leftleft;
      s.mixer.leftright = p->leftright;
      s.mixer.rightleft = p->rightleft;
      s.mixer.rightright = p->rightright;
      return true;
    }
    case PresetKind::None:
      break;
  }
  return false;
}

// ---- The command table as the target ----

StepTarget::Item CommandTableTarget::lookup(std::string_view path) {
  const Command* c = findCommand(path);
  if (!c || c->caption == "-") return Item::Missing;
  return isEnabled(*c, computeCommandState(editor_)) ? Item::Enabled : Item::Disabled;
}

void CommandTableTarget::invoke(std::string_view path) {
  if (const Command* c = findCommand(path)) tolmar::invoke(editor_, *c);
}

std::string CommandTableTarget::whyDisabled(std::string_view path) {
  const Command* c = findCommand(path);
  return c ? unavailableReason(*c, computeCommandState(editor_)) : "";
}

void CommandTableTarget::recomputeAvailability() {
  editor_.ctx.host().refreshCommands();
}

void CommandTableTarget::refreshDisplay() {
  editor_.ctx.host().requestRepaint(Repaint::all());
  editor_.ctx.host().pump();
}

// ---- Running ----

MacroRunner::MacroRunner(Context& ctx, MacroTable& macros, const PresetStore& presets,
                         CurrentParameters params, StepTarget& target)
    : ctx_(ctx), macros_(macros), presets_(presets), params_(params), target_(target) {}

void MacroRunner::run(int slot, std::vector<std::string>* log) {
  if (MacroDefinition* macro = macros_.get(slot)) runMacro(*macro, slot, log);
}

void MacroRunner::run(MacroDefinition& macro, std::vector<std::string>* log) {
  runMacro(macro, 0, log);
}

void MacroRunner::runMacro(MacroDefinition& macro, int slot, std::vector<std::string>* log) {
  if (macro.running) {
    ++stats_.recursive;
    ctx_.error(recursiveCallText(slot));
    return;
  }
  macro.running = true;
  ctx_.abortFlag = false;
  // A step may open the setup dialog and change or free this very macro: run the steps as they
  // were when it started, and find the definition again by its slot afterwards.
  const std::vector<std::string> steps = macro.steps;
  for (const std::string& step : steps) {
    if (ctx_.abortFlag) break;
    runStep(step, log);
  }
  if (slot == 0) {
    macro.running = false;
  } else if (MacroDefinition* still = macros_.get(slot)) {
    still->running = false;
  }
}

void MacroRunner::runStep(const std::string& stepText, std::vector<std::string>* log) {
  const bool wasSilent = ctx_.silentMode;
  const ParsedStep step = parseStep(stepText);
  if (step.silent) ctx_.silentMode = true;

  switch (step.kind) {
    case ParsedStep::Kind::RefreshDisplay:
      target_.refreshDisplay();
      break;
    case ParsedStep::Kind::CallMacro:
      if (MacroDefinition* called = macros_.get(step.callSlot))
        runMacro(*called, step.callSlot, log);
      break;
    case ParsedStep::Kind::Command: {
      if (step.preset && presetKindOf(step.path) != PresetKind::None)
        loadStepPreset(step.path, *step.preset, presets_, params_);
      switch (target_.lookup(step.path)) {
        case StepTarget::Item::Missing:
          ++stats_.skipped;
          break;
        case StepTarget::Item::Enabled: {
          if (log) log->push_back("    " + step.text);
          ++stats_.invoked;
          // Cancel of a progress panel stops the macro as well as the command.
          ctx_.continueFlag = true;
          const int errorsBefore = ctx_.errorCount;
          const int declinedBefore = ctx_.declinedCount;
          target_.invoke(step.path);
          if (!ctx_.continueFlag) ctx_.abortFlag = true;
          if (ctx_.declinedCount != declinedBefore) ++stats_.declined;
          // Later steps would work on what a failed one left, so the run stops unless told
          // to go on.
          if (ctx_.errorCount != errorsBefore) {
            ++stats_.failed;
            if (!ctx_.continueOnError) ctx_.abortFlag = true;
          }
          target_.recomputeAvailability();
          break;
        }
        case StepTarget::Item::Disabled:
          ++stats_.refused;
          refuse(step, wasSilent);
          break;
      }
      break;
    }
  }
  ctx_.silentMode = wasSilent;
}

void MacroRunner::refuse(const ParsedStep& step, bool wasSilent) {
  const std::string text = invalidStepText(step.text);
  if (!wasSilent && !step.silent) {
    if (ctx_.ask(MsgKind::Error, Buttons::YesNo, text + ". Abort macro execution?") == Answer::Yes)
      ctx_.abortFlag = true;
  } else if (wasSilent) {
    // A batch run: the log gets the text and why, and the run goes on only when told to.
    const std::string why = target_.whyDisabled(step.path);
    ctx_.error(why.empty() ? text : text + ": " + why);
    if (!ctx_.continueOnError) ctx_.abortFlag = true;
  } else {
    // Only the step's own prefix made it silent: the user must see why the macro stopped.
    ctx_.silentMode = false;
    ctx_.error(text + "\n\n*** Macro Aborted ***");
    ctx_.abortFlag = true;
  }
}

}  // namespace tolmar
