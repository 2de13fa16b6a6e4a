// The View, Navigate and Selection menus: pages, zoom, views, selection and the picture.

#include <algorithm>
#include <charconv>

#include "document/time_text.h"
#include "editor/editor.h"
#include "editor/view_commands.h"

namespace tolmar {

void ViewCommands::refresh() {
  ed().ctx.host().requestRepaint(Repaint::all());
  ed().ctx.host().refreshCommands();
}

void ViewCommands::viewDocumentOpened(bool replace) {
  Editor& e = ed();
  if (replace) {
    view.documentOpened();
  } else {
    view.points.clear();
    view.overlayPoints.clear();
  }
  if (e.doc) {
    e.doc->maxVertical = e.ctx.settings.maxamplitude;
    setPageWidth(*e.doc, view, e.ctx.settings, e.doc->viewWidth);
    recomputeOverlap(*e.doc, view, e.ctx.settings);
  }
}

bool ViewCommands::buildPagePoints() {
  Editor& e = ed();
  if (!e.doc || e.ctx.batchRunning) return false;
  return BuildPagePoints(*e.doc, view, true);
}

DisplayList ViewCommands::paintDisplay(bool buildPoints) {
  Editor& e = ed();
  if (!e.doc) return {};
  PaintInput in;
  in.settings = &e.ctx.settings;
  in.sampleRate = e.ctx.sampleRate;
  in.editLeft = e.ctx.editLeft;
  in.editRight = e.ctx.editRight;
  in.playLeft = playLeftChannel;
  in.playRight = playRightChannel;
  in.busy = e.ctx.progressDepth > 0;
  in.batch = e.ctx.batchRunning;
  in.dragging = dragInProgress;
  in.markers = &markers;
  in.audibleMarker = audibleMarker;
  in.clickCount = e.clicks.storedCount();
  in.clickWidth = e.params.clickWidth;
  if (e.clicks.hasCurrentClick() && e.clicks.current < in.clickCount) {
    const Glitch& g = e.clicks.stored->items[static_cast<size_t>(e.clicks.current)];
    in.currentClick = g.position;
    in.currentClickFalse = e.clicks.falseClicks.Contains(g.position, g.channel);
    in.currentClickIndex = e.clicks.current;
  }
  in.compatHeld = e.compatible.found();
  in.compatOffset = e.compatible.offset;
  in.compatLeft = &e.compatible.displayLeft;
  in.compatRight = &e.compatible.displayRight;
  in.overlayActive = e.overlayBlock.active;
  in.overlaySource = e.overlayBlock.sourceStart;
  in.overlayLength = e.overlayBlock.length;
  in.overlayPosition = e.overlayBlock.position;
  in.buildPoints = buildPoints;
  DisplayList out = PaintDisplay(*e.doc, view, in);
  // The block commands work in the units of the picture last drawn.
  e.blockDisplay.framesPerPixel = view.mapping.framesPerPixel;
  e.blockDisplay.sampleUnitsPerPixel = view.vertical.divisor;
  e.blockDisplay.magnified = view.vertical.magnify;
  return out;
}

std::vector<std::string> ViewCommands::viewHistoryCaptions() const {
  const Editor& e = ed();
  std::vector<std::string> out;
  if (!e.doc) return out;
  int k = 1;
  for (const ViewHistory::Entry& v : view.history.menuEntries()) {
    std::string c = "&" + std::to_string(k++) + ": " + formatTime(e.ctx, v.first, e.doc->cues);
    c += e.ctx.settings.spansasdurations
             ? " / " + formatTime(e.ctx, int64_t{v.last} - v.first, e.doc->cues)
             : " - " + formatTime(e.ctx, v.last, e.doc->cues);
    out.push_back(c);
  }
  return out;
}

void ViewCommands::goBackViews(int k) {
  Editor& e = ed();
  if (!e.doc || k < 1) return;
  if (auto v = view.history.goBack(k)) showView(*e.doc, view, e.ctx.settings, *v);
  refresh();
}

bool ViewCommands::applyWheelSteps() {
  Editor& e = ed();
  if (!e.doc) return false;
  bool moved = false;
  if (view.wheelPages != 0) {
    for (int i = 0; i < std::abs(view.wheelPages); ++i)
      view.wheelPages > 0 ? nextPage(*e.doc, view) : previousPage(*e.doc, view);
    view.wheelPages = 0;
    moved = true;
  }
  if (view.wheelFragments != 0) {
    for (int i = 0; i < std::abs(view.wheelFragments); ++i)
      view.wheelFragments > 0 ? nextFragment(*e.doc, view, e.ctx.settings)
                              : previousFragment(*e.doc, view, e.ctx.settings);
    view.wheelFragments = 0;
    moved = true;
  }
  if (moved) e.ctx.host().requestRepaint(Repaint::view());
  return moved;
}

// ---- Selection from the wave area ----

int32_t ViewCommands::frameAtPixel(int x) const {
  const Editor& e = ed();
  if (!e.doc) return 0;
  const int32_t first = view.points.keyFirst >= 0 ? view.points.keyFirst : e.doc->viewStart;
  const int64_t limit = int64_t{e.doc->viewStart} + e.doc->viewWidth;
  return PixelToFrame(view.mapping, first,
                      static_cast<int32_t>(std::min<int64_t>(limit, INT32_MAX)), x);
}

void ViewCommands::selectionChanged() {
  ed().resetCompatibleBlock();
}

void ViewCommands::setSelectionStartFromPixel(int x) {
  Editor& e = ed();
  if (!e.doc) return;
  e.doc->selStart = std::max(0, frameAtPixel(x));
  selectionChanged();
}

void ViewCommands::setSelectionEndFromPixel(int x) {
  Editor& e = ed();
  if (!e.doc) return;
  e.doc->selEnd = std::min(e.doc->lastFrame, frameAtPixel(x));
  selectionChanged();
}

// ---- View menu ----

void ViewCommands::RedrawWaveModeClick() {
  if (!ed().doc) return;
  view.redrawMode = !view.redrawMode;
  refresh();
}

void ViewCommands::SpectralView1Click() {
  if (!ed().doc) return;
  view.spectral = !view.spectral;
  refresh();
}

void ViewCommands::MaxAmplitudeBtnClick() {
  Editor& e = ed();
  if (!e.doc) return;
  e.doc->maxVertical = !e.doc->maxVertical;
  e.ctx.settings.maxamplitude = e.doc->maxVertical;
  view.displayedPeak = RecalcDisplayPeak(view.points, view.ignoreLeft, view.ignoreRight);
  refresh();
}

void ViewCommands::IgnoreLeftClick() {
  Editor& e = ed();
  if (!e.doc) return;
  // Ignoring both channels would leave nothing to scale by.
  if (view.ignoreRight) {
    if (e.ctx.settings.emitbeeps) e.ctx.host().beep();
    return;
  }
  view.ignoreLeft = !view.ignoreLeft;
  view.displayedPeak = RecalcDisplayPeak(view.points, view.ignoreLeft, view.ignoreRight);
  refresh();
}

void ViewCommands::IgnoreRightClick() {
  Editor& e = ed();
  if (!e.doc) return;
  if (view.ignoreLeft) {
    if (e.ctx.settings.emitbeeps) e.ctx.host().beep();
    return;
  }
  view.ignoreRight = !view.ignoreRight;
  view.displayedPeak = RecalcDisplayPeak(view.points, view.ignoreLeft, view.ignoreRight);
  refresh();
}

void ViewCommands::ResetVerticalAdjusters1Click() {
  if (!ed().doc) return;
  view.scaleBarPosition = kDefaultScaleBarPosition;
  view.offsetBarPosition = 0;
  refresh();
}

void ViewCommands::vscalebarChange(int position) {
  view.scaleBarPosition = std::clamp(position, 1, 1000);
  ed().ctx.host().requestRepaint(Repaint::view());
}

void ViewCommands::voffsetbarChange(int position) {
  view.offsetBarPosition = std::clamp(position, -100, 100);
  ed().ctx.host().requestRepaint(Repaint::view());
}

void ViewCommands::QuickHorzBtnClick() {
  Editor& e = ed();
  if (!e.doc) return;
  const int64_t w = e.ctx.settings.detailscale > 0 ? e.ctx.settings.detailscale : view.areaWidth();
  zoomAboutCentre(*e.doc, view, e.ctx.settings, w);
  refresh();
}

void ViewCommands::SetDetailScale1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  e.ctx.settings.detailscale = e.doc->viewWidth;
  refresh();
}

void ViewCommands::ZoomIn1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  zoomIn(*e.doc, view, e.ctx.settings);
  refresh();
}

void ViewCommands::ZoomOut1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  zoomOut(*e.doc, view, e.ctx.settings);
  refresh();
}

void ViewCommands::EntireFileBtnClick() {
  Editor& e = ed();
  if (!e.doc) return;
  entireFile(*e.doc, view, e.ctx.settings);
  refresh();
}

void ViewCommands::ShowSelBtnClick() {
  Editor& e = ed();
  if (!e.doc) return;
  showSelection(*e.doc, view, e.ctx.settings);
  refresh();
}

void ViewCommands::GoSelStartBtnClick() {
  Editor& e = ed();
  if (!e.doc) return;
  e.doc->viewStart = limitViewStart(*e.doc, e.doc->selStart);
  recomputeOverlap(*e.doc, view, e.ctx.settings);
  refresh();
}

void ViewCommands::MiddleofSelection1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  const int64_t s = e.doc->selStart, t = e.doc->selEnd;
  e.doc->viewStart = limitViewStart(*e.doc, s + (t - s) / 2 - e.doc->viewWidth / 2);
  refresh();
}

void ViewCommands::EndofSelection1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  e.doc->viewStart = limitViewStart(*e.doc, int64_t{e.doc->selEnd} - e.doc->viewWidth);
  refresh();
}

void ViewCommands::PreviousView1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  if (auto v = view.history.previous()) showView(*e.doc, view, e.ctx.settings, *v);
  refresh();
}

void ViewCommands::NextView1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  if (auto v = view.history.next()) showView(*e.doc, view, e.ctx.settings, *v);
  refresh();
}

// ---- Navigate menu ----

void ViewCommands::BeginFileBtnClick() {
  if (!ed().doc) return;
  ed().doc->viewStart = 0;
  refresh();
}

void ViewCommands::EndFileBtnClick() {
  Editor& e = ed();
  if (!e.doc) return;
  e.doc->viewStart = limitViewStart(*e.doc, int64_t{e.doc->lastFrame} - e.doc->viewWidth);
  refresh();
}

void ViewCommands::NextPageBtnClick() {
  if (!ed().doc) return;
  nextPage(*ed().doc, view);
  refresh();
}

void ViewCommands::PrevPageBtnClick() {
  if (!ed().doc) return;
  previousPage(*ed().doc, view);
  refresh();
}

void ViewCommands::NextFragBtnClick() {
  if (!ed().doc) return;
  nextFragment(*ed().doc, view, ed().ctx.settings);
  refresh();
}

void ViewCommands::PrevFragBtnClick() {
  if (!ed().doc) return;
  previousFragment(*ed().doc, view, ed().ctx.settings);
  refresh();
}

void ViewCommands::NextRevolution1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  moveBy(*e.doc, revolutionFrames(e.ctx.sampleRate, e.ctx.settings));
  refresh();
}

void ViewCommands::PreviousRevolution1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  moveBy(*e.doc, -revolutionFrames(e.ctx.sampleRate, e.ctx.settings));
  refresh();
}

std::optional<FieldProblem> ViewCommands::gotoTimeProblem(const GotoTimeModel& model) const {
  const Editor& e = ed();
  if (!e.doc) return std::nullopt;
  if (!parseTime(model.time, e.ctx.sampleRate, e.ctx.settings.timeinframes, e.doc->cues))
    return FieldProblem{kInvalidTimeText, 0};
  return std::nullopt;
}

void ViewCommands::goToTime(const GotoTimeModel& model) {
  Editor& e = ed();
  if (!e.doc) return;
  const auto frame =
      parseTime(model.time, e.ctx.sampleRate, e.ctx.settings.timeinframes, e.doc->cues);
  if (!frame) {
    e.ctx.error(kInvalidTimeText);
    return;
  }
  goToFrame(*e.doc, *frame, model.mark == GotoTimeModel::SetStart,
            model.mark == GotoTimeModel::SetEnd);
  if (model.mark != GotoTimeModel::NoMark) selectionChanged();
}

void ViewCommands::Goto1Click() {
  Editor& e = ed();
  if (!e.doc || e.ctx.batchRunning) return;
  GotoTimeModel model = gotoTime;
  model.check = [this](const GotoTimeModel& m) { return gotoTimeProblem(m); };
  DialogRequest request{kGotoTimeDialogId, &model};
  if (!e.ctx.host().runDialog(request)) {
    e.ctx.abortFlag = true;
    return;
  }
  gotoTime = model;
  goToTime(model);
  refresh();
}

void ViewCommands::filesegbarScroll(int position) {
  Editor& e = ed();
  if (!e.doc) return;
  e.doc->viewStart = limitViewStart(*e.doc, int64_t{position} * view.scrollerStep);
  e.ctx.host().requestRepaint(Repaint::view());
}

// ---- Selection menu ----

void ViewCommands::SelectDispBtnClick() {
  if (!ed().doc) return;
  selectDisplayed(*ed().doc);
  selectionChanged();
  refresh();
}

void ViewCommands::SelectEntireFile1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  e.doc->selStart = 0;
  e.doc->selEnd = e.doc->frameCount - 1;
  selectionChanged();
  refresh();
}

namespace {
// A whole number as typed, or nullopt.
std::optional<int64_t> wholeNumber(const std::string& text) {
  size_t a = text.find_first_not_of(' ');
  size_t b = text.find_last_not_of(' ');
  if (a == std::string::npos) return std::nullopt;
  int64_t v = 0;
  const char* first = text.data() + a;
  const char* last = text.data() + b + 1;
  if (*first == '+') ++first;
  const auto r = std::from_chars(first, last, v);
  if (r.ec != std::errc() || r.ptr != last) return std::nullopt;
  return v;
}

// The region a Mark Region model names: first and last frame, or the problem.
struct Region {
  int32_t first = 0, last = 0;
  std::optional<FieldProblem> problem;
};

Region resolveRegion(const Editor& e, const MarkRegionModel& model) {
  Region r;
  const int32_t lastFrame = std::max(e.doc->lastFrame, 0);
  const std::string* texts[2] = {&model.startTime, &model.endTime};
  int32_t at[2] = {0, 0};
  for (int i = 0; i < 2; ++i) {
    if (model.markType == MarkRegionModel::BySample) {
      const auto n = wholeNumber(*texts[i]);
      if (!n) {
        r.problem = FieldProblem{notWholeNumberText(*texts[i]), i};
        return r;
      }
      // Sample numbers count from 1.
      if (*n < 1 || *n > int64_t{lastFrame} + 1) {
        r.problem = FieldProblem{std::string("\"") + (i == 0 ? "Start" : "End") +
                                     "\" must be a whole number from 1 to " +
                                     std::to_string(int64_t{lastFrame} + 1),
                                 i};
        return r;
      }
      at[i] = static_cast<int32_t>(*n - 1);
    } else {
      const auto f =
          parseTime(*texts[i], e.ctx.sampleRate, e.ctx.settings.timeinframes, e.doc->cues);
      if (!f) {
        r.problem = FieldProblem{kInvalidTimeText, i};
        return r;
      }
      at[i] = std::clamp(*f, 0, lastFrame);  // as Go to time holds a time at the file's ends
    }
  }
  if (at[1] < at[0]) {
    r.problem = FieldProblem{kRegionEndBeforeStartText, 1};
    return r;
  }
  r.first = at[0];
  r.last = at[1];
  return r;
}
}  // namespace

std::string notWholeNumberText(const std::string& text) {
  return "'" + text + "' is not a valid whole number";
}

std::optional<FieldProblem> ViewCommands::markRegionProblem(const MarkRegionModel& model) const {
  if (!ed().doc) return std::nullopt;
  return resolveRegion(ed(), model).problem;
}

void ViewCommands::markRegionApply(const MarkRegionModel& model) {
  Editor& e = ed();
  if (!e.doc) return;
  // Both ends are checked before either is set: a bad end leaves the whole selection.
  const Region r = resolveRegion(e, model);
  if (r.problem) {
    e.ctx.error(r.problem->text);
    return;
  }
  if (model.markType == MarkRegionModel::BySample) {
    e.doc->selStart = r.first;
    e.doc->selEnd = r.last;
  } else {
    goToTime({model.startTime, GotoTimeModel::SetStart, {}});
    goToTime({model.endTime, GotoTimeModel::SetEnd, {}});
  }
  selectionChanged();
  showSelection(*e.doc, view, e.ctx.settings);
}

void ViewCommands::MarkRegion1Click() {
  Editor& e = ed();
  if (!e.doc || e.ctx.batchRunning) return;
  MarkRegionModel model = markRegion;
  model.check = [this](const MarkRegionModel& m) { return markRegionProblem(m); };
  DialogRequest request{kMarkRegionDialogId, &model};
  if (!e.ctx.host().runDialog(request)) {
    e.ctx.abortFlag = true;
    return;
  }
  markRegion = model;
  markRegionApply(model);
  refresh();
}

void ViewCommands::RetainRegion1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  e.doc->rememberedStart = e.doc->selStart;
  e.doc->rememberedEnd = e.doc->selEnd;
  e.ctx.host().refreshCommands();
}

void ViewCommands::RestoreRegion1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  e.doc->selStart = e.doc->rememberedStart;
  e.doc->selEnd = e.doc->rememberedEnd;
  selectionChanged();
  refresh();
}

void ViewCommands::snapSelection(int channel) {
  Editor& e = ed();
  if (!e.doc) return;
  e.ctx.host().setBusyCursor(true);
  const auto found = tolmar::snapSelection(*e.doc, channel);
  e.ctx.host().setBusyCursor(false);
  if (!found) {
    e.ctx.info(kNoSnapPointsText);
    return;
  }
  e.doc->selStart = found->first;
  e.doc->selEnd = found->second;
  selectionChanged();
  refresh();
}

void ViewCommands::snapselectionleft1Click() {
  snapSelection(0);
}

void ViewCommands::snapselectionright1Click() {
  snapSelection(1);
}

void ViewCommands::SelectionDetails1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  const int64_t s = e.doc->selStart, t = e.doc->selEnd;
  e.ctx.info("Selection is from sample " + std::to_string(s + 1) + " to " + std::to_string(t + 1) +
             " (length: " + std::to_string(t - s + 1) + ")");
}

}  // namespace tolmar
