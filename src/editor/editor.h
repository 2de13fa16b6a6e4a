#pragma once
// The editor core: what belongs to the main window, without a window. The Qt main form and
// tolmar-batch each own one and forward commands to its handlers, which keep their established
// names and give the exact messages through the host.

#include <memory>
#include <string>

#include "config/presets.h"
#include "config/settings_io.h"
#include "document/wave_file.h"
#include "editor/audio_commands.h"
#include "editor/automation_commands.h"
#include "editor/block_commands.h"
#include "editor/context.h"
#include "editor/cue_commands.h"
#include "editor/declick_commands.h"
#include "editor/document_commands.h"
#include "editor/effect_commands.h"
#include "editor/host.h"
#include "editor/repair_commands.h"
#include "editor/spectral_commands.h"
#include "editor/view_commands.h"

namespace tolmar {

// A batch run's refusal of a file another process is editing, and the window's warning when it
// opens such a file read only.
std::string lockedElsewhereText(const std::string& path);
std::string lockedElsewhereReadOnlyText();

// Constructed before the command parts, so that they may use the context from the start.
struct EditorCore {
  explicit EditorCore(Host& host) : ctx(host) {}
  Context ctx;
  std::unique_ptr<WaveFile> doc;  // empty while no file is open
  // Every preset family (declick, equaliser, filter, channel mix), read at start-up. The
  // dialogs and the macro runner all use these lists; no command part keeps its own copy.
  PresetStore presets;
};

// Each command part lives in its subsystem's folder; Editor is all of them together.
class Editor : public EditorCore,
               public DocumentCommands,
               public DeclickCommands,
               public RepairCommands,
               public EffectCommands,
               public SpectralCommands,
               public BlockCommands,
               public ViewCommands,
               public CueCommands,
               public AutomationCommands,
               public AudioCommands {
 public:
  explicit Editor(Host& host);
  ~Editor();
  Editor(const Editor&) = delete;
  Editor& operator=(const Editor&) = delete;

  // ---- Documents (editor_file.cpp) ----
  // Opens `path` as the document; with replace, the old document is destroyed first, else the
  // existing document object is reopened in place. Shows every message itself. `heldLock`, when
  // open, is a lock on the file under `path` that the document takes over.
  bool OpenDocument(const std::string& path, bool replace = true, BinaryFile* heldLock = nullptr);
  // Whether the current document may be closed (asks about unsaved work).
  bool QueryClose();
  void OpenWAVFile1Click();
  void CloseFile1Click();
  // Main window close: false while playback runs or the close query refuses; otherwise the
  // document is destroyed and the settings are written with the window's position.
  bool FormClose(const WindowPosition& window = WindowPosition{});

  // ---- Settings file (editor_settings.cpp) ----
  // Start-up: VESKOR.INI (migration, presets, settings, macros), then the shortcut table and
  // the values that live outside the settings record. Returns the saved window position.
  // With overrides (one run's values, never saved), they are read over the file's settings
  // before anything derived from the settings is applied.
  StartupResult readSettingsAtStartup(const IniFile* overrides = nullptr);
  // Close: window and dialog positions, every setting, the shortcut table when it changed.
  // False (with a message) when the file cannot be written.
  bool writeSettingsAtClose(const WindowPosition& window);
  // Where each dialog other than the five previews was last closed ([Dialogpos]).
  DialogPositions dialogPositions;
  std::string titleText() const;
  void refreshTitle();
  void TruncateExtraData1Click();

  // ---- Undo, redo and saving ----
  void Undo1Click();
  void Redo1Click();
  bool Save1Click();
  // The menu's action for Save: the command table's actions return nothing.
  void saveMenuClick() { Save1Click(); }
  bool saveEnabled() const;

  // ---- Edit menu switches (editor_edit.cpp) ----
  // Toggle which channels the editing commands change.
  void EditLeftClick();
  void EditRightClick();

 private:
  bool openOnce(const std::string& path, bool replace, bool& retry, BinaryFile* heldLock);
};

}  // namespace tolmar
