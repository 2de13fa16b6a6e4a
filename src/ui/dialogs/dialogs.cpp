#include "ui/dialogs/dialogs.h"

#include <cctype>
#include <functional>
#include <map>
#include <string>

#include "base/settings.h"
#include "config/declick_params.h"
#include "document/wav_format.h"
#include "dsp/effect_controls.h"
#include "dsp/fft.h"
#include "dsp/frequency_analysis.h"
#include "dsp/noise_reduction.h"
#include "dsp/statistics.h"
#include "editor/block_commands.h"
#include "editor/cue_commands.h"
#include "editor/declick_commands.h"
#include "editor/document_commands.h"
#include "editor/effect_commands.h"
#include "editor/macro_dialogs.h"
#include "editor/replace.h"
#include "editor/view_commands.h"
#include "ui/dialogs/analysis_dialogs.h"
#include "ui/dialogs/automation_dialogs.h"
#include "ui/dialogs/click_params_dialog.h"
#include "ui/dialogs/level_dialogs.h"
#include "ui/dialogs/model_dialogs.h"
#include "ui/dialogs/navigation_dialogs.h"
#include "ui/dialogs/options_dialog.h"
#include "ui/dialogs/recording_window.h"
#include "ui/dialogs/spectral_dialogs.h"

namespace tolmar::ui {

namespace {

using Factory = std::function<std::unique_ptr<FormDialog>(void*, QWidget*, const DialogEnv&)>;

template <class Model>
Factory factory(DialogPtr (*make)(Model&, QWidget*, const DialogEnv&)) {
  return [make](void* model, QWidget* parent, const DialogEnv& env) {
    return make(*static_cast<Model*>(model), parent, env);
  };
}

const std::map<std::string, Factory>& factories() {
  static const std::map<std::string, Factory> table{
      {kUnsupportedFormatDialogId, factory(&makeUnsupportedFormatDialog)},
      {kRewriteHeaderDialogId, factory(&makeRewriteHeaderDialog)},
      {kConfirmTruncationDialogId, factory(&makeConfirmTruncationDialog)},
      {kSetInsertionLengthDialogId, factory(&makeSetInsertionLengthDialog)},
      {kAddSurroundingSilenceDialogId, factory(&makeAddSurroundingSilenceDialog)},
      {kSelectReplacementDataDialogId, factory(&makeSelectReplacementDataDialog)},
      {kFindClicksResultDialogId, factory(&makeFindClicksResultDialog)},
      {kGotoClickDialogId, factory(&makeGotoClickDialog)},
      {kGotoTimeDialogId, factory(&makeGotoTimeDialog)},
      {kMarkRegionDialogId, factory(&makeMarkRegionDialog)},
      {"AddCue", factory(&makeAddCueDialog)},
      {"AddRegularCues", factory(&makeRegularCuesDialog)},
      {"GotoCue", factory(&makeGotoCueDialog)},
      {"DisplayTrack", factory(&makeDisplayTrackDialog)},
      {"CDTextSetup", factory(&makeCdTextDialog)},
      {"ExistingCueFile", factory(&makeExistingCueFileDialog)},
      {kPresetPickerDialogId, factory(&makePresetPickerDialog)},
      {kMacroPickerDialogId, factory(&makeMacroPickerDialog)},
      {ClickParamsDialog::kDialogId, factory(&makeClickParamsDialog)},
      {kNormaliseDialogId, factory(&makeNormaliseDialog)},
      {kCompatParamsDialogId, factory(&makeCompatParamsDialog)},
      {kSelectionStatsDialogId, factory(&makeSelectionStatsDialog)},
      {kSetPrecisionDialogId, factory(&makeSetPrecisionDialog)},
      {kFadeFactorDialogId, factory(&makeFadeFactorDialog)},
      {kMacroSetupDialogId, factory(&makeMacroSetupDialog)},
      {kBatchModeDialogId, factory(&makeBatchModeDialog)},
      {kReduceNoiseDialogId, factory(&makeReduceNoiseDialog)},
      {kFrequencyAnalysisDialogId, factory(&makeFrequencyAnalysisDialog)},
      {kClippingDialogId, factory(&makeClippingDialog)},
      {"Recording", factory(&makeRecordingWindow)},
      {kOptionsDialogId,
       [](void* m, QWidget* parent, const DialogEnv& env) {
         return makeOptionsDialog(*static_cast<OptionsModel*>(m), parent, env);
       }},
  };
  return table;
}

}  // namespace

std::string dialogPositionKey(const std::string& id) {
  std::string key;
  for (char c : id)
    if (std::isalnum(static_cast<unsigned char>(c)))
      key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

std::unique_ptr<FormDialog> createDialog(DialogRequest& request, QWidget* parent,
                                         const DialogEnv& env) {
  if (!request.model) return nullptr;
  const auto& table = factories();
  const auto it = table.find(request.id);
  if (it == table.end()) return nullptr;
  auto dialog = it->second(request.model, parent, env);
  if (dialog && env.positions && !dialog->remembersPosition())
    dialog->rememberPosition(*env.positions, dialogPositionKey(request.id));
  return dialog;
}

bool runDialog(DialogRequest& request, QWidget* parent, const DialogEnv& env) {
  auto dialog = createDialog(request, parent, env);
  if (!dialog) return false;
  return dialog->exec() == QDialog::Accepted;
}

}  // namespace tolmar::ui
