// Reading VESKOR.INI at start-up and writing it at close.

#include "config/settings_io.h"
#include "editor/editor.h"

namespace tolmar {

StartupResult Editor::readSettingsAtStartup(const IniFile* overrides) {
  if (iniFile.path().empty()) iniFile.setPath(configFilePath());
  StartupResult result = readConfigurationAtStartup(ctx, iniFile, presets, macros, overrides);
  shortcuts.read(iniFile);
  dialogPositions = readOtherDialogPositions(iniFile);
  applyStartupFFTSize();
  return result;
}

bool Editor::writeSettingsAtClose(const WindowPosition& window) {
  // Never read at start-up: load what is there, so that presets, macros and recent files
  // already in the file survive the write.
  if (iniFile.path().empty()) {
    iniFile.setPath(configFilePath());
    iniFile.load();
  }
  writeConfigurationAtClose(iniFile, ctx.settings, window);
  writeOtherDialogPositions(iniFile, dialogPositions);
  shortcuts.write(iniFile, ctx.settings.debugDcp);
  std::string error;
  if (!iniFile.save(&error)) {
    ctx.error("Failed to write " + iniFile.path().string() + (error.empty() ? "" : ": " + error));
    return false;
  }
  return true;
}

}  // namespace tolmar
