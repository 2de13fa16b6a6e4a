#include "editor/automation_commands.h"

#include "config/settings_io.h"

#include "editor/editor.h"
#include "editor/macro_dialogs.h"
#include "editor/shortcut_table.h"

namespace tolmar {

Editor& AutomationCommands::ed() {
  return static_cast<Editor&>(*this);
}
const Editor& AutomationCommands::ed() const {
  return static_cast<const Editor&>(*this);
}

MacroRunStats AutomationCommands::RunMacro(int slot, std::vector<std::string>* log) {
  Editor& e = ed();
  CommandTableTarget target(e);
  MacroRunner runner(e.ctx, macros, e.presets, {e.ctx.settings}, target);
  runner.run(slot, log);
  return runner.stats();
}

MacroRunStats AutomationCommands::RunMacro(MacroDefinition& macro, std::vector<std::string>* log) {
  Editor& e = ed();
  CommandTableTarget target(e);
  MacroRunner runner(e.ctx, macros, e.presets, {e.ctx.settings}, target);
  runner.run(macro, log);
  return runner.stats();
}

void AutomationCommands::runMacroFromKeyOrButton(int slot) {
  Context& ctx = ed().ctx;
  if (!macros.get(slot)) return;
  const bool wasRunning = ctx.macroRunning;
  ctx.macroRunning = true;
  RunMacro(slot, nullptr);
  ctx.macroRunning = wasRunning;
  // Repaints asked for during the run are done once, now.
  if (!wasRunning) ctx.host().requestRepaint(Repaint::all());
}

bool AutomationCommands::macroKeyDown(int fkey, bool shift, bool ctrl, bool alt) {
  const int slot = macroSlotForKey(fkey, shift, ctrl, alt);
  if (slot == 0 || ed().ctx.playing || !ed().doc) return false;
  runMacroFromKeyOrButton(slot);
  return true;
}

void AutomationCommands::Options1Click() {
  runOptionsDialog(OptionsTab::FilesMenus);
}

bool AutomationCommands::runOptionsDialog(OptionsTab first) {
  Editor& e = ed();
  Context& ctx = e.ctx;
  OptionsModel model{ctx.settings, shortcuts, ctx, ctx.settings.debugDcp, first};
  DialogRequest request{kOptionsDialogId, &model};
  const bool ok = ctx.host().runDialog(request);
  if (!ok) shortcuts.read(iniFile);
  writeSettings(iniFile, ctx.settings);
  shortcuts.write(iniFile, ctx.settings.debugDcp);
  if (!iniFile.path().empty()) {
    std::string error;
    if (!iniFile.save(&error))
      ctx.error("Failed to write " + iniFile.path().string() + (error.empty() ? "" : ": " + error));
  }
  // Reading back brings the record in line with the file; the dialog positions are not
  // written here, so they keep their values of this run.
  const auto positions = ctx.settings.dialogpos;
  bool invalidNumbers = false;
  readSettings(iniFile, ctx, invalidNumbers);
  ctx.settings.dialogpos = positions;
  shortcuts.read(iniFile);
  ctx.host().requestRepaint(Repaint::all());
  ctx.host().refreshCommands();
  return ok;
}

void AutomationCommands::Macros1Click() {
  Context& ctx = ed().ctx;
  if (ctx.silentMode) return;
  MacroSetupModel model(ctx, macros, ed().presets, iniFile,
                        eligibleMenuPaths(ctx.settings.debugDcp));
  DialogRequest request{kMacroSetupDialogId, &model};
  ctx.host().runDialog(request);
}

void AutomationCommands::BatchMode1Click() {
  Context& ctx = ed().ctx;
  if (ctx.silentMode) return;
  BatchModeModel model(ed());
  DialogRequest request{kBatchModeDialogId, &model};
  ctx.host().runDialog(request);
  ctx.host().refreshCommands();
}

}  // namespace tolmar
