#include "ui/dialogs/dialogs.h"

#include <cctype>
#include <string>
#include <variant>

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

// One call per model and no catch-all: a model added to DialogModel fails to compile here
// until it has its dialog (or says plainly that it has none yet).
// The id must name the model's own dialog, so that a request cannot open one dialog over
// another dialog's struct.
struct Maker {
  const std::string& id;
  QWidget* parent;
  const DialogEnv& env;
  bool is(const char* expected) const { return id == expected; }
  DialogPtr operator()(std::monostate) const { return nullptr; }
  DialogPtr operator()(UnsupportedFormatModel* m) const {
    return is(kUnsupportedFormatDialogId) ? makeUnsupportedFormatDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(ConfirmTruncationModel* m) const {
    return is(kConfirmTruncationDialogId) ? makeConfirmTruncationDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(RewriteHeaderModel* m) const {
    return is(kRewriteHeaderDialogId) ? makeRewriteHeaderDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(SetInsertionLengthModel* m) const {
    return is(kSetInsertionLengthDialogId) ? makeSetInsertionLengthDialog(*m, parent, env)
                                           : nullptr;
  }
  DialogPtr operator()(AddSurroundingSilenceModel* m) const {
    return is(kAddSurroundingSilenceDialogId) ? makeAddSurroundingSilenceDialog(*m, parent, env)
                                              : nullptr;
  }
  DialogPtr operator()(SelectReplacementDataModel* m) const {
    return is(kSelectReplacementDataDialogId) ? makeSelectReplacementDataDialog(*m, parent, env)
                                              : nullptr;
  }
  DialogPtr operator()(FindClicksResultModel* m) const {
    return is(kFindClicksResultDialogId) ? makeFindClicksResultDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(GotoClickModel* m) const {
    return is(kGotoClickDialogId) ? makeGotoClickDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(ClickParamsDialog* m) const {
    return is(ClickParamsDialog::kDialogId) ? makeClickParamsDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(CompatParamsModel* m) const {
    return is(kCompatParamsDialogId) ? makeCompatParamsDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(NormaliseModel* m) const {
    return is(kNormaliseDialogId) ? makeNormaliseDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(FadeFactorModel* m) const {
    return is(kFadeFactorDialogId) ? makeFadeFactorDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(SelectionStatsModel* m) const {
    return is(kSelectionStatsDialogId) ? makeSelectionStatsDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(ClippingHistogramModel* m) const {
    return is(kClippingDialogId) ? makeClippingDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(SetPrecisionModel* m) const {
    return is(kSetPrecisionDialogId) ? makeSetPrecisionDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(SpectrumModel* m) const {
    return is(kFrequencyAnalysisDialogId) ? makeFrequencyAnalysisDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(ReduceNoiseModel* m) const {
    return is(kReduceNoiseDialogId) ? makeReduceNoiseDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(AddCueModel* m) const {
    return is("AddCue") ? makeAddCueDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(RegularCuesModel* m) const {
    return is("AddRegularCues") ? makeRegularCuesDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(GotoCueModel* m) const {
    return is("GotoCue") ? makeGotoCueDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(DisplayTrackModel* m) const {
    return is("DisplayTrack") ? makeDisplayTrackDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(CdTextModel* m) const {
    return is("CDTextSetup") ? makeCdTextDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(ExistingCueFileModel* m) const {
    return is("ExistingCueFile") ? makeExistingCueFileDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(PresetPickerModel* m) const {
    return is(kPresetPickerDialogId) ? makePresetPickerDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(MacroPickerModel* m) const {
    return is(kMacroPickerDialogId) ? makeMacroPickerDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(MacroSetupModel* m) const {
    return is(kMacroSetupDialogId) ? makeMacroSetupDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(BatchModeModel* m) const {
    return is(kBatchModeDialogId) ? makeBatchModeDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(OptionsModel* m) const {
    return is(kOptionsDialogId) ? makeOptionsDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(GotoTimeModel* m) const {
    return is(kGotoTimeDialogId) ? makeGotoTimeDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(MarkRegionModel* m) const {
    return is(kMarkRegionDialogId) ? makeMarkRegionDialog(*m, parent, env) : nullptr;
  }
  DialogPtr operator()(TRecording* m) const {
    return is("Recording") ? makeRecordingWindow(*m, parent, env) : nullptr;
  }
};

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
  if (!hasModel(request.model)) return nullptr;
  auto dialog = std::visit(Maker{request.id, parent, env}, request.model);
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
