#pragma once
// The click parameters dialog model and the reading of click preset texts.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/declick_types.h"

namespace tolmar {

class Session;
class IniFile;
template <class Family>
class PresetList;
struct ClickPresetFamily;
using ClickPresetList = PresetList<ClickPresetFamily>;

// The "Click Detection/Repair Parameters" dialog without its widgets: the window draws these
// values and calls these operations. Shown through Host::runDialog with id kDialogId; the host
// returns true for OK and for Find (setting `choice`), false for Cancel.
class ClickParamsDialog {
 public:
  static constexpr const char* kDialogId = "SetClickDlg";
  static constexpr const char* kHelpTopic = "clickparams";
  enum class Choice { Ok, Find };

  // Bar ranges ("Max/Rel Click Width:", "Relative Amplitude:", "Click Repair Width:",
  // "Click Display Width:").
  static constexpr int kClickWidthMin = 1, kClickWidthMax = 40;
  static constexpr int kRelAmpMin = 50, kRelAmpMax = 2500;
  static constexpr int kRelAmpSmallStep = 10, kRelAmpLargeStep = 100;
  static constexpr int kRepairWidthMin = 4, kRepairWidthMax = 120;
  static constexpr int kDisplayWidthMin = 1, kDisplayWidthMax = 100;

  // Filled from the parameter set and the current preset name. presetFile: where the preset
  // operations write the presets (none: not written). findEnabled: a document with a
  // non-empty selection is open.
  ClickParamsDialog(Session& ctx, ClickPresetList& presets, IniFile* presetFile,
                    const DeclickParams& params, const std::string& presetName, bool findEnabled);

  // The bars. Positions are limited to their ranges; the width bar never stays above the
  // repair bar: moving either one drags the other along.
  int clickWidth() const { return clickWidth_; }
  int repairWidth() const { return repairWidth_; }
  int relAmplitude() const { return relAmplitude_; }
  int displayWidth() const { return displayWidth_; }
  void setClickWidth(int v);
  void setRepairWidth(int v);
  void setRelAmplitude(int v);
  void setDisplayWidth(int v);

  bool includeUpdates = true;
  bool processLeft = true;
  bool processRight = true;
  ClickShape shape = ClickShape::InstantRise;
  RepairMethod method = RepairMethod::Linear;
  std::string timesText;  // the Smooth method's times box
  std::string name;       // the name box
  bool findEnabled = false;
  Choice choice = Choice::Ok;

  // The preset list box, sorted by name, and its selected row (-1 for none).
  const std::vector<std::string>& presetNames() const { return names_; }
  int selected = -1;
  // Clicking row `index`: its name and values fill the controls (the times box only for the
  // Smooth method). Double-clicking also sets choice to Find; the host then closes with OK.
  void presetClicked(int index);
  void presetDoubleClicked(int index);
  // "Add New Preset": needs a name (else an error). False when nothing was added.
  bool addPreset();
  // "Delete Current Preset": the selected row's preset.
  void deletePreset();
  // "Install/Restore Factory Default Presets".
  void restorePresets();

  // The times box as a count: empty is 0; text that is not a number shows the conversion
  // error and gives nothing.
  std::optional<int16_t> smoothingCount() const;
  // OK and Find: the parameter set and the current preset name take the dialog's values.
  // False, with nothing changed, when the times box holds no number.
  bool apply(DeclickParams& params, std::string& presetName) const;

 private:
  void refillPresets();
  void writePresets();
  void savePresetFile();

  Session& ctx_;
  ClickPresetList& presets_;
  IniFile* presetFile_;
  std::vector<std::string> names_;
  int clickWidth_ = kClickWidthMin;
  int repairWidth_ = kRepairWidthMin;
  int relAmplitude_ = kRelAmpMin;
  int displayWidth_ = kDisplayWidthMin;
};

}  // namespace tolmar
