#include "editor/repair_commands.h"

#include <algorithm>
#include <memory>
#include <new>

#include "declick/ar_model.h"
#include "declick/click_analysis.h"
#include "declick/detection.h"
#include "declick/repair.h"
#include "dsp/block_copy.h"
#include "editor/editor.h"

namespace tolmar {

Editor& RepairCommands::ed() {
  return static_cast<Editor&>(*this);
}
const Editor& RepairCommands::ed() const {
  return static_cast<const Editor&>(*this);
}

namespace {

// Repairs read the sound; a file that cannot be read would turn them into silence.
bool canRead(WaveFile& doc) {
  if (doc.readStream().isOpen()) return true;
  doc.ctx().error("Cannot open file \"" + doc.path + "\" for reading");
  return false;
}

}  // namespace

bool arRepairFromDocument(WaveFile& doc, int32_t first, int32_t last, int channel,
                          std::vector<int16_t>& out, int32_t maxTail) {
  if (first < 0 || last < first || last > doc.lastFrame) return false;
  // The edited sound around the gap, this run's earlier repairs included: they are cleaner
  // surroundings than the clicks they replaced.
  const int32_t from = std::max(0, first - kArContext);
  const int32_t to = static_cast<int32_t>(std::min<int64_t>(
      doc.lastFrame, static_cast<int64_t>(last) + std::max(maxTail, 0) + kArContext));
  const size_t n = static_cast<size_t>(to - from) + 1;
  std::vector<int16_t> frames(2 * n);
  doc.ReadFrames(true, frames.data(), from, to);
  int64_t changedLast = last - from;
  if (!arRepairClick(frames.data() + channel, static_cast<int64_t>(n), 2, first - from, last - from,
                     kArContext, std::max(maxTail, 0), &changedLast))
    return false;
  last = from + static_cast<int32_t>(changedLast);
  if (last < first) {
    out.clear();  // left as it was
    return true;
  }
  out.resize(static_cast<size_t>(last - first) + 1);
  for (int32_t f = first; f <= last; ++f)
    out[static_cast<size_t>(f - first)] = frames[2 * static_cast<size_t>(f - from) + channel];
  return true;
}

// ---- Selection repairs ----

void RepairCommands::interpolateCommand(bool left, bool right, bool bezier) {
  Editor& e = ed();
  if (!e.doc || !e.doc->hasSelection() || !canRead(*e.doc)) return;
  const bool clipped = Interpolate(*e.doc, e.markers, left, right, bezier);
  if (bezier && clipped)
    e.ctx.warning(left && right ? "Interpolation has resulted in clipping; markers added"
                                : "Interpolation has resulted in clipping; marker added");
  e.ctx.host().requestRepaint(e.doc->selectionSamples());
}

void RepairCommands::InterpLeftClick() {
  interpolateCommand(true, false, false);
}
void RepairCommands::InterpRightClick() {
  interpolateCommand(false, true, false);
}
void RepairCommands::InterpBothClick() {
  interpolateCommand(true, true, false);
}
void RepairCommands::BezierLeft1Click() {
  interpolateCommand(true, false, true);
}
void RepairCommands::BezierRight1Click() {
  interpolateCommand(false, true, true);
}
void RepairCommands::BezierInterpolateBoth1Click() {
  interpolateCommand(true, true, true);
}

void RepairCommands::Silence1Click() {
  Editor& e = ed();
  if (!e.doc || !e.doc->hasSelection()) return;
  Silence(*e.doc);
  e.ctx.host().requestRepaint(e.doc->selectionSamples());
}

int32_t RepairCommands::SmoothRange(int32_t first, int32_t end, bool left, bool right) {
  Editor& e = ed();
  WaveFile& doc = *e.doc;
  if (end <= first || first < 0 || end > doc.lastFrame) return 0;
  const bool chosen[2] = {left, right};
  std::unique_ptr<Interpolation> recs[2];
  try {
    for (int c = 0; c < 2; ++c) {
      if (!chosen[c]) continue;
      recs[c] = std::make_unique<Interpolation>();
      doc.BeginBlock(*recs[c], first, end - 1, c);
    }
  } catch (const std::bad_alloc&) {
    return 0;
  }

  const int32_t count = end - first;
  const size_t need = 2 * static_cast<size_t>(count + 1);
  if (work_.size() < need) work_.resize(std::max(need, size_t{2 * kChunkFrames}));
  doc.ReadFrames(true, work_.data(), first, end);
  for (int pass = 0; pass < e.ctx.settings.nsmoothings; ++pass)
    smoothPass(work_.data(), count, smoothingContext[0], smoothingContext[1], e.ctx.continueFlag);

  Interpolation* kept[2] = {nullptr, nullptr};
  int32_t n = 0;
  for (int c = 0; c < 2; ++c) {
    if (!recs[c]) continue;
    for (int32_t k = 0; k < count; ++k)
      doc.PutSample(*recs[c], first + k, work_[2 * static_cast<size_t>(k) + c]);
    doc.FinishBlock(*recs[c]);
    kept[c] = doc.AddEdit(std::move(recs[c]), c);
    if (kept[c]) ++n;
  }
  if (kept[0] && kept[1]) WaveFile::LinkChannels(kept[0], kept[1]);
  return n;
}

void RepairCommands::SmoothSelection1Click() {
  Editor& e = ed();
  if (!e.doc || !e.doc->hasSelection()) return;
  WaveFile& doc = *e.doc;
  const int32_t s = doc.selStart;
  const int32_t end = std::min(doc.selEnd, doc.lastFrame);
  if (end <= s || !doc.BeginLargeEdit(s, end, kChunkFrames)) return;
  doc.overlayNonEmpty = true;
  int32_t count = 0;
  if (canRead(doc)) {
    Progress progress(e.ctx, " Smoothing:");
    const int32_t chunks = (end - s) / kChunkFrames + 1;
    int32_t p = s;
    int32_t k = 0;
    do {
      const int32_t q = std::min(p + kChunkFrames - 1, end);
      progress.step(percentOf(++k, chunks));
      int16_t before[2];
      doc.ReadFrames(true, before, p > 0 ? p - 1 : 0, p > 0 ? p - 1 : 0);
      smoothingContext = {before[0], before[1]};
      count += SmoothRange(p, q, true, true);
      p = q;
    } while (p != end && e.ctx.continueFlag);
  }
  if (count > 0) doc.CommitEdit(count, "Smooth");
  e.ctx.host().requestRepaint(doc.selectionSamples());
  doc.EndLargeEdit();
}

// ---- Click repairs with undo ----

int16_t RepairCommands::contextSample(int32_t frame, int channel) {
  WaveFile& doc = *ed().doc;
  if (!inRun_) return soundSampleAt(doc, frame, channel);
  // Inside Remove All Clicks: the newest record, else what the edit list held before the run,
  // so that repairs of later clicks do not feed each other.
  const Interps& list = doc.interps;
  if (!list.empty()) {
    const Interpolation& newest = *list.back();
    if (newest.channel == channel && newest.covers(frame)) return doc.SampleAt(newest, frame);
  }
  if (runMark_ >= 0) {
    runIndex_.query(list, frame, frame, runHits_);
    for (auto it = runHits_.rbegin(); it != runHits_.rend(); ++it) {
      if (static_cast<int64_t>(*it) > runMark_) continue;
      const Interpolation& r = *list[*it];
      if (r.channel == channel) return doc.SampleAt(r, frame);
    }
  }
  int16_t v[2];
  doc.ReadFrames(false, v, frame, frame);
  return v[channel];
}

int32_t RepairCommands::RepairClick(int32_t index, bool single) {
  Editor& e = ed();
  if (!e.doc || index < 0 || !e.clicks.stored) return 0;
  if (index >= e.clicks.storedCount()) {
    e.ctx.listIndexError("MAIN", 9);
    return 0;
  }
  WaveFile& doc = *e.doc;
  const Glitch g = e.clicks.stored->items[static_cast<size_t>(index)];
  // A click file made for another recording may name frames this one does not have.
  if (g.position < 0 || g.position > doc.lastFrame || g.channel > 1) return 0;
  const int c = g.channel;
  int32_t w = e.params.repairWidth;
  int32_t a = std::max(0, g.position - w / 2);
  int32_t b = std::min(doc.lastFrame, g.position + w / 2);
  if (g.width > 0) {
    // A measured click: its disturbed frames lie between the anchors.
    a = std::max(0, g.position - 1 - kSpanPad);
    b = static_cast<int32_t>(
        std::min<int64_t>(doc.lastFrame, static_cast<int64_t>(g.position) + g.width + kSpanPad));
    w = b - a;
  }
  const bool wasInRun = inRun_;
  inRun_ = inRun_ && !single;

  const auto bezierRepair = [&]() -> int32_t {
    if (b - a < 2) return 0;
    const int16_t va = contextSample(a, c);
    const int16_t vb = contextSample(b, c);
    const int16_t before = a > 0 ? contextSample(a - 1, c) : va;
    const int16_t after = b < doc.lastFrame ? contextSample(b + 1, c) : vb;
    auto rec = std::make_unique<Interpolation>();
    Interpolation& r = *rec;
    doc.BeginBlock(r, a + 1, b - 1, c);
    bezierCurve(va, vb, before, after, b - a,
                [&](int32_t k, int16_t v) { doc.PutSample(r, a + k, v); });
    doc.FinishBlock(r);
    return doc.AddEdit(std::move(rec), c) ? 1 : 0;
  };

  int32_t result = 0;
  switch (e.params.repairMethod) {
    case RepairMethod::Linear:
      if (doc.AddLinearEdit(a, b, contextSample(a, c), contextSample(b, c), c)) result = 1;
      break;
    case RepairMethod::Bezier:
      result = bezierRepair();
      break;
    case RepairMethod::ArInterpolate: {
      if (b - a < 2) break;
      std::vector<int16_t> gap;
      // A measured click may trail a decaying tail, within the repair width.
      const int32_t tail = g.width > 0 ? std::max(0, e.params.repairWidth - g.width) : 0;
      if (arRepairFromDocument(doc, a + 1, b - 1, c, gap, tail)) {
        // A refused repair changed nothing: no record for it.
        if (gap.empty()) break;
        const int32_t last = a + static_cast<int32_t>(gap.size());
        auto rec = std::make_unique<Interpolation>();
        Interpolation& r = *rec;
        doc.BeginBlock(r, a + 1, last, c);
        for (int32_t f = a + 1; f <= last; ++f)
          doc.PutSample(r, f, gap[static_cast<size_t>(f - a - 1)]);
        doc.FinishBlock(r);
        if (doc.AddEdit(std::move(rec), c)) result = 1;
      } else {
        result = bezierRepair();
      }
      break;
    }
    case RepairMethod::CopyPreceding: {
      // The copy runs its own progress, which would forget a Cancel pressed just before it.
      const bool cancelled = !e.ctx.continueFlag;
      BlockCopyOptions options;
      options.smoothEdges = smoothEdges;
      options.refreshDisplay = false;
      if (CopyEarlierBlock(doc, e.markers, a - w, c == 1, c == 0, a, a, options) > 0)
        result = TakeNewestUndoStep(doc);
      if (cancelled) e.ctx.continueFlag = false;
      break;
    }
    case RepairMethod::Smooth:
      for (int k = 0; k < e.params.smoothingCount; ++k) {
        int16_t before[2];
        doc.ReadFrames(true, before, a > 0 ? a - 1 : 0, a > 0 ? a - 1 : 0);
        smoothingContext = {before[0], before[1]};
        result += SmoothRange(a, b, c == 0, c == 1);
      }
      break;
  }
  inRun_ = wasInRun;
  return result;
}

void RepairCommands::RemoveCurrentClick1Click() {
  Editor& e = ed();
  if (!e.doc || !canRead(*e.doc)) return;
  const int32_t n = RepairClick(e.clicks.current, true);
  if (n > 0) {
    e.doc->CommitEdit(n, "Remove Click");
    e.ctx.host().requestRepaint(e.doc->newestStepSpan());
  }
}

void RepairCommands::RemoveAllClicks1Click() {
  Editor& e = ed();
  if (!e.doc || !e.clicks.stored || !canRead(*e.doc)) return;
  WaveFile& doc = *e.doc;
  runMark_ = static_cast<int64_t>(doc.interps.size()) - 1;
  runIndex_.invalidate();
  inRun_ = true;
  const int32_t count = e.clicks.storedCount();
  int32_t total = 0;
  int32_t i = 0;
  {
    Progress progress(e.ctx, " Removing:");
    for (; i < count && e.ctx.continueFlag; ++i) {
      progress.step(percentOf(i, count));
      total += RepairClick(i, false);
    }
  }
  inRun_ = false;
  runMark_ = -1;
  e.ctx.info(std::to_string(i) + " Clicks Removed");
  if (total > 0) {
    doc.CommitEdit(total, "Remove All Clicks");
    e.ctx.host().requestRepaint(doc.newestStepSpan());
  }
}

// ---- Parameters, presets and analysis ----

void RepairCommands::Set1Click() {
  Editor& e = ed();
  if (e.ctx.silentMode) return;
  ClickParamsDialog dialog(e.ctx, e.presets.click, &e.iniFile, e.params, currentClickPresetName,
                           e.doc && e.doc->hasSelection());
  DialogRequest request{ClickParamsDialog::kDialogId, &dialog};
  if (!e.ctx.host().runDialog(request)) {
    e.ctx.abortFlag = true;
    return;
  }
  if (!dialog.apply(e.params, currentClickPresetName)) return;
  if (dialog.choice == ClickParamsDialog::Choice::Find && dialog.findEnabled)
    e.FindAllClicks1Click();
}

void RepairCommands::analyseClick(int channel) {
  Editor& e = ed();
  if (!e.doc || e.doc->selStart < 0) return;
  WaveFile& doc = *e.doc;
  const bool left = e.params.processLeft;
  const bool right = e.params.processRight;
  e.params.processLeft = channel == 0;
  e.params.processRight = channel == 1;
  const ClickTrial trial = [&]() {
    ClickTrialResult r;
    r.count = FindClicks(doc, e.params, e.clicks, true, false, false, smoothEdges);
    if (e.clicks.hasClicks()) r.firstPosition = e.clicks.stored->items.front().position;
    return r;
  };
  AnalyseClick(e.ctx, doc, e.params, doc.selStart, trial);
  e.params.processLeft = left;
  e.params.processRight = right;
  e.clicks.stored.reset();
  e.clicks.current = -1;
  e.ctx.host().requestRepaint(Repaint::overlays());
}

void RepairCommands::AutoSetup1Click() {
  analyseClick(0);
}
void RepairCommands::AutoSetup2Click() {
  analyseClick(1);
}

// ---- Declick preview ----

int32_t RepairCommands::DeclickPreviewBuffer(int16_t* buf, int32_t first, int32_t last) {
  Editor& e = ed();
  if (!e.params.declickingOn || last < first) return 0;
  ClickDetector detector(e.params, e.clicks.falseClicks, e.ctx.continueFlag);
  detector.smoothEdges = smoothEdges;
  int32_t count = 0;
  int32_t s = first;
  for (;;) {
    const int32_t end = std::min(s + kChunkFrames - 1, last);
    count += detector.FindClicksInBlock(buf + 2 * static_cast<size_t>(s - first),
                                        static_cast<size_t>(last - s + 1), s, end, nullptr, true);
    if (end == last) break;
    // Sub-blocks overlap by the click width, as the search's blocks do.
    s = std::max(end - e.params.clickWidth + 1, s + 1);
  }
  return count;
}

}  // namespace tolmar
