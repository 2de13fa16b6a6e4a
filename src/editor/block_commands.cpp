#include "editor/block_commands.h"
#include "base/whole_number.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <vector>

#include "document/time_text.h"
#include "dsp/block_copy.h"
#include "editor/editor.h"

namespace tolmar {

Editor& BlockCommands::ed() {
  return static_cast<Editor&>(*this);
}
const Editor& BlockCommands::ed() const {
  return static_cast<const Editor&>(*this);
}

void BlockCommands::forgetBlocks() {
  compatible.reset();
  overlayBlock = OverlayBlock{};
}

WaveFile* BlockCommands::readableDocument() {
  Editor& e = ed();
  if (!e.doc) return nullptr;
  // A file that cannot be read would make every block copied from it silence.
  if (!e.doc->readStream().isOpen()) {
    e.ctx.error("Cannot open file \"" + e.doc->path + "\" for reading");
    return nullptr;
  }
  return e.doc.get();
}

// ---- Block copies ----

void BlockCommands::copyPreceding(bool right) {
  Editor& e = ed();
  if (!e.doc || !e.doc->hasSelection()) return;
  const int32_t S = e.doc->selStart;
  const int32_t E = e.doc->selEnd;
  const int64_t length = static_cast<int64_t>(E) - S + 1;
  if (S <= length) return;  // not a whole block before the selection
  WaveFile* doc = readableDocument();
  if (!doc) return;
  BlockCopyOptions options;
  options.smoothEdges = e.smoothEdges;
  CopyEarlierBlock(*doc, e.markers, static_cast<int32_t>(S - length), right, !right, S, S - 1,
                   options);
}

void BlockCommands::CopyPrecedingBlock1Click() {
  copyPreceding(false);
}

void BlockCommands::CopyPrecedingBlockRight1Click() {
  copyPreceding(true);
}

void BlockCommands::copyCompatible(bool right) {
  Editor& e = ed();
  if (!e.doc || !compatible.found() || e.doc->selStart < 0) return;
  WaveFile* doc = readableDocument();
  if (!doc) return;
  BlockCopyOptions options;
  options.smoothEdges = e.smoothEdges;
  CopyEarlierBlock(*doc, e.markers, compatible.foundStart, right, !right, doc->selStart,
                   compatible.foundEnd, options);
}

void BlockCommands::CopyCompatibleBlock1Click() {
  copyCompatible(false);
}

void BlockCommands::CopyCompatibleBlockRight1Click() {
  copyCompatible(true);
}

// ---- Compatible block search ----

void BlockCommands::SetCompatibleBlockParams1Click() {
  Editor& e = ed();
  if (e.ctx.silentMode) return;
  static const std::vector<Cue> kNoCues;
  const std::vector<Cue>& cues = e.doc ? e.doc->cues : kNoCues;
  CompatParamsModel model;
  model.relativeSampleSize = std::to_string(compatTolerance);
  model.timeLimit = formatTime(e.ctx.compatibleSearchSpan, e.ctx.sampleRate,
                               e.ctx.settings.timeinframes, false, cues);
  model.forwards = compatForwards;
  DialogRequest request{kCompatParamsDialogId, &model};
  if (!e.ctx.host().runDialog(request)) {
    e.ctx.abortFlag = true;
    return;
  }
  const auto tolerance = parseWholeNumber<int>(model.relativeSampleSize);
  if (!tolerance) {
    e.ctx.error("\"" + model.relativeSampleSize + "\" is not a whole number");
    return;
  }
  compatTolerance = *tolerance;
  e.ctx.compatibleSearchSpan = parseTime(e.ctx, model.timeLimit, cues);
  compatForwards = model.forwards;
}

void BlockCommands::ResetCompatibleBlock1Click() {
  resetCompatibleBlock();
  ed().ctx.host().requestRepaint(Repaint::overlays());
}

bool BlockCommands::FindNextCompatibleBlock() {
  Editor& e = ed();
  if (!e.doc) {
    if (e.ctx.settings.emitbeeps) e.ctx.host().beep();
    return false;
  }
  WaveFile* doc = readableDocument();
  if (!doc) return false;
  const CompatibleSearchParams params{compatTolerance, e.ctx.compatibleSearchSpan, compatForwards};
  const bool found =
      tolmar::FindNextCompatibleBlock(*doc, compatible, params, blockDisplay.framesPerPixel);
  e.ctx.host().refreshCommands();
  return found;
}

void BlockCommands::FindCompatibleBlock1Click() {
  FindNextCompatibleBlock();
}

// ---- Overlay block ----

void BlockCommands::SetupOverlayBlockClick() {
  Editor& e = ed();
  if (!e.doc || !e.doc->hasSelection()) return;
  overlayBlock.setup(e.doc->selStart, e.doc->selEnd);
  resetCompatibleBlock();
  e.ctx.host().requestRepaint(Repaint::overlays());
  e.ctx.host().refreshCommands();
}

void BlockCommands::DiscardOverlayBlockClick() {
  overlayBlock.discard();
  ed().ctx.host().requestRepaint(Repaint::overlays());
  ed().ctx.host().refreshCommands();
}

void BlockCommands::moveOverlay(int64_t frames) {
  if (!ed().doc || !overlayBlock.active) return;
  overlayBlock.move(frames);
  ed().ctx.host().requestRepaint(Repaint::overlays());
}

void BlockCommands::BackbyBlockWidthClick() {
  moveOverlay(-static_cast<int64_t>(overlayBlock.length));
}

void BlockCommands::ForwardbyBlockWidthClick() {
  moveOverlay(overlayBlock.length);
}

void BlockCommands::BackOneSampleClick() {
  moveOverlay(-1);
}

void BlockCommands::ForwardOneSampleClick() {
  moveOverlay(1);
}

void BlockCommands::copyOverlay(bool right) {
  Editor& e = ed();
  if (!e.doc || !overlayBlock.active) return;
  WaveFile* doc = readableDocument();
  if (!doc) return;
  CopyOverlay(*doc, e.markers, overlayBlock, right, !right, e.smoothEdges);
}

void BlockCommands::CopyOverlayLeftClick() {
  copyOverlay(false);
}

void BlockCommands::CopyOverlayRightClick() {
  copyOverlay(true);
}

void BlockCommands::ReselectOriginalBlockClick() {
  Editor& e = ed();
  if (!e.doc || !overlayBlock.active) return;
  WaveFile& doc = *e.doc;
  doc.selStart = std::min(overlayBlock.sourceStart, doc.lastFrame);
  doc.selEnd = static_cast<int32_t>(std::min<int64_t>(
      static_cast<int64_t>(overlayBlock.sourceStart) + overlayBlock.length - 1, doc.lastFrame));
  e.ctx.host().requestRepaint(Repaint::selection());
  e.ctx.host().refreshCommands();
}

// ---- Channels, nudges and spectral replacement ----

int32_t BlockCommands::CopyOtherChannel(int32_t first, int32_t last, bool destinationRight) {
  Editor& e = ed();
  WaveFile* doc = readableDocument();
  if (!doc) return 0;
  return tolmar::CopyOtherChannel(*doc, e.markers, first, last, destinationRight, e.smoothEdges);
}

void BlockCommands::CopyLefttoRight1Click() {
  if (ed().doc && ed().doc->hasSelection())
    CopyOtherChannel(ed().doc->selStart, ed().doc->selEnd, true);
}

void BlockCommands::CopyRighttoLeft1Click() {
  if (ed().doc && ed().doc->hasSelection())
    CopyOtherChannel(ed().doc->selStart, ed().doc->selEnd, false);
}

int32_t BlockCommands::MoveBlockVertically(int32_t first, int32_t last, int32_t amount, bool up,
                                           bool right, bool left) {
  Editor& e = ed();
  WaveFile* doc = readableDocument();
  if (!doc) return 0;
  const int64_t step = blockDisplay.magnified
                           ? amount
                           : static_cast<int64_t>(amount) * blockDisplay.sampleUnitsPerPixel;
  return tolmar::MoveBlockVertically(*doc, e.markers, first, last, step, up, right, left,
                                     e.smoothEdges);
}

void BlockCommands::nudge(bool up, bool right) {
  if (ed().doc && ed().doc->hasSelection())
    MoveBlockVertically(ed().doc->selStart, ed().doc->selEnd, 1, up, right, !right);
}

void BlockCommands::NudgeUpLeft1Click() {
  nudge(true, false);
}

void BlockCommands::NudgeDownLeft1Click() {
  nudge(false, false);
}

void BlockCommands::NudgeUpRight1Click() {
  nudge(true, true);
}

void BlockCommands::NudgeDownRight1Click() {
  nudge(false, true);
}

void BlockCommands::spectralReplacement(int channel) {
  Editor& e = ed();
  if (!e.doc || !e.doc->hasSelection()) return;
  WaveFile* doc = readableDocument();
  if (!doc) return;
  SpectralReplace(*doc, e.spectral, channel);
}

void BlockCommands::SpectralReplacementLeft1Click() {
  spectralReplacement(0);
}

void BlockCommands::SpectralReplacementRight1Click() {
  spectralReplacement(1);
}

}  // namespace tolmar
