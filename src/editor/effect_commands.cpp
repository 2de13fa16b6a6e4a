#include "editor/effect_commands.h"

#include <algorithm>

#include "document/time_text.h"
#include "dsp/channel_mix.h"
#include "dsp/clipping_repair.h"
#include "dsp/effect_controls.h"
#include "dsp/level_effects.h"
#include "dsp/statistics.h"
#include "editor/editor.h"

namespace tolmar {

Editor& EffectCommands::ed() {
  return static_cast<Editor&>(*this);
}
const Editor& EffectCommands::ed() const {
  return static_cast<const Editor&>(*this);
}

bool EffectCommands::beginEffect(bool direct) {
  Editor& e = ed();
  if (!e.doc || !e.doc->hasSelection()) return false;
  if (direct) {
    if (!e.VerifyDirectOverwrite(false, false)) return false;
    e.doc->directWriting = true;
    return true;
  }
  return e.doc->BeginLargeEdit(e.doc->selStart, e.doc->selEnd, kChunkFrames);
}

void EffectCommands::endEffect(bool direct) {
  Editor& e = ed();
  if (!e.doc) return;
  if (direct) {
    e.doc->directWriting = false;
    e.doc->finishDirectWrite();
  } else {
    e.doc->EndLargeEdit();
  }
  e.ctx.host().requestRepaint(e.doc->selectionSamples());
  e.ctx.host().refreshCommands();
}

// ---- Level effects ----

void EffectCommands::amplify(bool direct) {
  Editor& e = ed();
  if (!beginEffect(direct)) return;
  amplifyCompressSelection(*e.doc, AmplifyParams::fromSettings(e.ctx.settings), direct, &e.markers);
  endEffect(direct);
}

void EffectCommands::Compress1Click() {
  amplify(false);
}
void EffectCommands::CompressDirectOverwrite1Click() {
  amplify(true);
}

void EffectCommands::normalise(bool direct) {
  Editor& e = ed();
  if (!e.doc || !e.doc->hasSelection()) return;
  Settings& s = e.ctx.settings;
  if (!e.ctx.silentMode) {
    NormaliseModel model = NormaliseModel::fromSettings(s);
    DialogRequest req{kNormaliseDialogId, &model};
    if (!e.ctx.host().runDialog(req)) {
      e.ctx.abortFlag = true;
      return;
    }
    model.store(s);
  }
  if (!s.donormalise && !s.removedc) return;
  if (!beginEffect(direct)) return;
  normaliseSelection(*e.doc, NormaliseSettings::fromSettings(s), direct);
  endEffect(direct);
}

void EffectCommands::Normalize1Click() {
  normalise(false);
}
void EffectCommands::NormalizedirectOverwrite1Click() {
  normalise(true);
}

void EffectCommands::fade(bool fadeOut, bool partial) {
  Editor& e = ed();
  if (!e.doc || !e.doc->hasSelection()) return;
  double F = 0;
  if (partial) {
    if (!e.ctx.silentMode) {
      FadeFactorModel model{e.ctx.settings.fadefactor};
      DialogRequest req{kFadeFactorDialogId, &model};
      if (!e.ctx.host().runDialog(req)) {
        e.ctx.abortFlag = true;
        return;
      }
      e.ctx.settings.fadefactor = model.fadefactor;
    }
    F = -e.ctx.settings.fadefactor;
  }
  if (!beginEffect(false)) return;
  FadeSelection(*e.doc, fadeOut, F);
  endEffect(false);
}

void EffectCommands::FadeIn1Click() {
  fade(false, false);
}
void EffectCommands::FadeOut1Click() {
  fade(true, false);
}
void EffectCommands::PartialFadeIn1Click() {
  fade(false, true);
}
void EffectCommands::PartialFadeOut1Click() {
  fade(true, true);
}

// ---- Equalise and filter ----

int EffectCommands::equalisePasses() {
  Context& ctx = ed().ctx;
  switch (ctx.settings.eqpassprompt) {
    case 1:
      return 1;
    case 2:
      return 2;
    default:
      break;
  }
  if (ctx.silentMode) return 2;
  switch (ctx.ask(MsgKind::Information, Buttons::YesNoCancel, kEqualisePassesText)) {
    case Answer::Yes:
      return 2;
    case Answer::No:
      return 1;
    default:
      return 0;
  }
}

void EffectCommands::equalise(bool direct) {
  Editor& e = ed();
  if (!e.doc || !e.doc->hasSelection()) return;
  const int passes = equalisePasses();
  if (passes == 0) return;
  if (!beginEffect(direct)) return;
  equaliseSelection(*e.doc, filterState, e.ctx.settings.equalise, passes, direct, &e.markers);
  endEffect(direct);
}

void EffectCommands::EqualiseWithUndo1Click() {
  equalise(false);
}
void EffectCommands::EqualiseDirectOverwrite1Click() {
  equalise(true);
}

void EffectCommands::filter(bool direct) {
  Editor& e = ed();
  if (!beginEffect(direct)) return;
  filterSelection(*e.doc, filterState, e.ctx.settings.filter, direct, &e.markers);
  endEffect(direct);
}

void EffectCommands::FilterWithUndo1Click() {
  filter(false);
}
void EffectCommands::FilterDirectOverwrite1Click() {
  filter(true);
}

// ---- Channel mix ----

void EffectCommands::channelMix(bool direct) {
  Editor& e = ed();
  if (!beginEffect(direct)) return;
  channelMixSelection(*e.doc, e.ctx.settings.mixer, direct, &e.markers);
  endEffect(direct);
}

void EffectCommands::ChannelMixWithUndo1Click() {
  channelMix(false);
}
void EffectCommands::ChannelMixDirectOverwrite1Click() {
  channelMix(true);
}

// ---- Statistics and clipping search ----

void EffectCommands::SelectionStatistics1Click() {
  Editor& e = ed();
  if (!e.doc || !e.doc->hasSelection()) return;
  WaveFile& doc = *e.doc;
  const SelectionStats stats = measureSelection(doc);
  const int32_t displayLast = std::min(doc.viewStart + doc.viewWidth, doc.lastFrame);
  SelectionStatsModel model = statisticsModel(
      stats, formatTime(e.ctx, doc.viewStart, doc.cues), formatTime(e.ctx, displayLast, doc.cues),
      formatTime(e.ctx, doc.selStart, doc.cues), formatTime(e.ctx, doc.selEnd, doc.cues));
  if (e.ctx.silentMode) {
    // A batch run logs the text "To Clipboard" would copy, a line each.
    const std::string text = model.clipboardText();
    for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
      e.ctx.info(text.substr(at, end - at));
    return;
  }
  DialogRequest req{kSelectionStatsDialogId, &model};
  e.ctx.host().runDialog(req);
}

void EffectCommands::FindClippinginSelection1Click() {
  Editor& e = ed();
  if (!e.doc || !e.doc->hasSelection()) return;
  Settings& s = e.ctx.settings;
  if (s.showonclipdetect && !e.ctx.silentMode) {
    if (!e.runOptionsDialog(OptionsTab::Operations)) return;
  }
  const ClipScanState found = findClipping(*e.doc, ClipSearch::fromSettings(s));
  placeClipMarkers(e.markers, e.doc->selStart, e.doc->selEnd, found);
  e.ctx.host().requestRepaint(Repaint::overlays());
  if (found.runs() == 0) {
    e.ctx.info(kNoClippingText);
  } else if (s.showcliphistogram && !e.ctx.silentMode) {
    ClippingHistogramModel histogram = ClippingHistogramModel::fromRuns(found);
    DialogRequest req{kClippingDialogId, &histogram};
    e.ctx.host().runDialog(req);
  } else {
    e.ctx.info(clippingFoundText(found.runs()));
  }
  e.ctx.host().requestRepaint(Repaint::overlays());
}

void EffectCommands::RepairClippinginSelection1Click() {
  Editor& e = ed();
  if (!e.doc || !e.doc->hasSelection()) return;
  WaveFile& doc = *e.doc;
  Settings& s = e.ctx.settings;
  if (s.showonclipdetect && !e.ctx.silentMode) {
    if (!e.runOptionsDialog(OptionsTab::Operations)) return;
  }
  const ClipSearch search = ClipSearch::fromSettings(s);
  const ClipScanState found = findClipping(doc, search);
  placeClipMarkers(e.markers, doc.selStart, doc.selEnd, found);
  e.ctx.host().requestRepaint(Repaint::overlays());
  if (found.runs() == 0) {
    e.ctx.info(kNothingToRepairText);
    return;
  }
  // A scan stopped part-way knows neither all the runs nor where the last one ends.
  if (!e.ctx.continueFlag) {
    e.ctx.info(clippingFoundText(found.runs()));
    return;
  }
  ClipRepairOptions options;
  options.level = std::max(1, search.level);
  const ClippingRepair r = repairClipping(doc, search, found, options);
  if (r.records > 0) doc.CommitEdit(r.records, "Repair Clipping");
  e.ctx.info(clippingRepairedText(r));
  e.ctx.host().requestRepaint(r.records > 0 ? doc.newestStepSpan() : Repaint::overlays());
}

}  // namespace tolmar
