#pragma once
// Reading and writing the settings record, window positions, the recent-files list and the
// legacy migration of VESKOR.INI. Every function works on an IniFile in memory; the caller loads
// and saves it.

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/session.h"
#include "base/settings.h"
#include "config/declick_params.h"
#include "config/ini_file.h"

namespace tolmar {

class MacroTable;
struct PresetStore;

// Shown once at start-up when some float could not be read.
extern const char* const kInvalidNumberFormatText;
// Shows kInvalidNumberFormatText as a warning.
void showInvalidNumberFormatMessage(Session& ctx);

// Reads every key of [Options] … [Dialogpos], in the reader's order, into ctx.settings; missing
// keys take the record's defaults. The declick fields [Declick] does not store keep their
// values of this run. A float that does not parse keeps its default and sets
// invalidNumbers. A temporary or WAV directory that does not exist is reported (warning) and
// cleared.
void readSettings(const IniFile& ini, Session& ctx, bool& invalidNumbers);
// Erases [Options], [Colours] and [Noise], then writes every key of the reader's list except
// those of [Debug] and [Dialogpos], in the same order. The shortcut table is written apart.
void writeSettings(IniFile& ini, const Settings& settings);

// [Dialogpos]: the five preview dialogs' positions, -1 = default position.
void readDialogPositions(const IniFile& ini, Settings& settings);
// Erases [Dialogpos] and writes its ten values.
void writeDialogPositions(IniFile& ini, const Settings& settings);

// [Dialogpos] of every other dialog, by its key (lower-case letters and digits): "<key>x" and
// "<key>y". -1 = default position.
struct DialogPosition {
  int x = -1;
  int y = -1;
};
using DialogPositions = std::map<std::string, DialogPosition>;
// Pairs whose two values are numbers; a half pair is left out (that dialog opens at its default
// place), and so are the five preview dialogs' keys, which Settings holds.
DialogPositions readOtherDialogPositions(const IniFile& ini);
// Adds the pairs to [Dialogpos] (after writeDialogPositions, which erases the section); a pair
// that is -1 or whose key is not a dialog key is not written.
void writeOtherDialogPositions(IniFile& ini, const DialogPositions& positions);

// [Startpos]: the main window. A missing `top` means the window was closed maximised.
struct WindowPosition {
  bool maximised = true;
  int top = 0;
  int left = 0;
  int height = 0;
  int width = 0;
};
WindowPosition readWindowPosition(const IniFile& ini);
// A maximised window erases the section, so that the next start is maximised again.
void writeWindowPosition(IniFile& ini, const WindowPosition& pos);

// Legacy migration. Renames VESKOR.DAT to VESKOR.INI in dir when only the first exists;
// returns whether it renamed.
bool migrateLegacyFileName(const std::filesystem::path& dir);
// The twelve menu paths that moved to other menus: old path, new path.
const std::vector<std::pair<std::string, std::string>>& legacyMenuPathRenames();
// Rewrites old menu paths at the beginning of [Shortcut] values and in [Macros] steps equal to
// an old path. Returns whether anything changed.
bool renameLegacyMenuPaths(IniFile& ini);

// Recent files ([Files] file1 … file9, newest first).
inline constexpr int kMaxRecentFiles = 9;
// Puts path first; an entry equal to it moves up instead of being repeated.
void addToRecentFiles(IniFile& ini, const std::string& path);
// The stored entries, file1 onwards up to the first empty one.
std::vector<std::string> recentFiles(const IniFile& ini);
struct RecentFileItem {
  std::string caption;  // "&1: /music/side a.wav"
  std::string path;
};
// The File menu's items: only entries whose file exists, numbered 1, 2, … without gaps.
std::vector<RecentFileItem> recentFileMenu(const IniFile& ini);

// One-run overrides of settings (tolmar-batch --set): [Section] key=value entries in an IniFile
// that is never saved. Why `value` cannot stand for section.key, or empty when it can: the
// key must be one the options reader knows, and the value must read as the key's type.
std::string checkSettingOverride(std::string_view section, std::string_view key,
                                 std::string_view value);
// Reads the keys present in `overrides` over ctx.settings, through the same reader, checks and
// limits as the file's own values.
void applySettingOverrides(const IniFile& overrides, Session& ctx, bool& invalidNumbers);

// Start-up: legacy migration, load, presets, settings, macros, the invalid-number message.
// The shortcut table is read by its owner from the same IniFile afterwards.
struct StartupResult {
  IniFile::LoadResult load;
  bool invalidNumbers = false;
  WindowPosition window;
};
// With overrides, they are applied right after the file's settings.
StartupResult readConfigurationAtStartup(Session& ctx, IniFile& ini, PresetStore& presets,
                                         MacroTable& macros, const IniFile* overrides = nullptr);

// Closing: window position, dialog positions, then all settings. The caller then writes the
// shortcut table when it changed, and saves the file.
void writeConfigurationAtClose(IniFile& ini, const Settings& settings,
                               const WindowPosition& window);

}  // namespace tolmar
