#pragma once
// Selection, navigation, views and markers.
// A part of the editor core: Editor inherits it, so these handlers are Editor's handlers.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "document/marker_list.h"
#include "view/paint_display.h"
#include "view/view_state.h"

namespace tolmar {

class Editor;

// What is wrong with a dialog's values: the message, and which of its edits it is about
// (0 the first, 1 the second).
struct FieldProblem {
  std::string text;
  int field = 0;
};

// ---- Goto Time dialog (id kGotoTimeDialogId, model GotoTimeModel, caption "Goto Time") ----
inline constexpr char kGotoTimeDialogId[] = "GotoTime";
struct GotoTimeModel {
  enum Mark { SetStart = 0, SetEnd = 1, NoMark = 2 };
  std::string time;  // "time", as typed
  int mark = SetStart;
  // Filled by the core before the dialog opens: OK runs it and keeps the dialog open on a
  // problem, so that a mistyped time changes nothing.
  std::function<std::optional<FieldProblem>(const GotoTimeModel&)> check;
};

// ---- Mark Region dialog (id kMarkRegionDialogId, model MarkRegionModel, caption "Mark Region")
inline constexpr char kMarkRegionDialogId[] = "markrgndlg";
struct MarkRegionModel {
  enum Type { ByTime = 0, BySample = 1 };
  std::string startTime;  // "Start:"
  std::string endTime;    // "End:"
  int markType = ByTime;
  // As for GotoTimeModel.
  std::function<std::optional<FieldProblem>(const MarkRegionModel&)> check;
};

// "'<text>' is not a valid whole number"
std::string notWholeNumberText(const std::string& text);
inline constexpr char kRegionEndBeforeStartText[] = "The end of the region lies before its start";

inline constexpr char kNoSnapPointsText[] = "No suitable snap points found";

class ViewCommands {
 public:
  ViewState view;
  // The play-channel menu items, as the status line reports them.
  bool playLeftChannel = true;
  bool playRightChannel = true;
  // A selection drag is in progress (the selection shows as its two end lines).
  bool dragInProgress = false;
  // Values the Goto Time and Mark Region dialogs open with.
  GotoTimeModel gotoTime;
  MarkRegionModel markRegion;

  // A document was opened: with `replace`, nothing of the previous view is kept.
  void viewDocumentOpened(bool replace);
  // The picture of the wave area for the current state (records in drawing order). Without
  // `buildPoints` it draws the page's points as they are.
  DisplayList paintDisplay(bool buildPoints = true);
  // Builds the page's points ahead of a paint, with the progress panel when the read is long.
  bool buildPagePoints();
  // The available-command predicate VIEWS.
  bool hasViews() const { return view.history.count() > 1; }
  // The history menu's items: "&1: 00:01.000 - 00:02.000", most recent first.
  std::vector<std::string> viewHistoryCaptions() const;
  // Goes back k views (the history menu's item k).
  void goBackViews(int k);
  // Applies the wheel notches the idle pass found; true when the view moved.
  bool applyWheelSteps();

  // ---- Selection from the wave area ----
  int32_t frameAtPixel(int x) const;
  void setSelectionStartFromPixel(int x);
  void setSelectionEndFromPixel(int x);
  // Every change of the selection drops a held compatible block.
  void selectionChanged();

  // ---- View menu ----
  void RedrawWaveModeClick();
  void SpectralView1Click();
  void MaxAmplitudeBtnClick();
  void IgnoreLeftClick();
  void IgnoreRightClick();
  void ResetVerticalAdjusters1Click();
  void vscalebarChange(int position);
  void voffsetbarChange(int position);
  void QuickHorzBtnClick();
  void SetDetailScale1Click();
  void ZoomIn1Click();
  void ZoomOut1Click();
  void EntireFileBtnClick();
  void ShowSelBtnClick();
  void GoSelStartBtnClick();
  void MiddleofSelection1Click();
  void EndofSelection1Click();
  void PreviousView1Click();
  void NextView1Click();

  // ---- Navigate menu ----
  void BeginFileBtnClick();
  void EndFileBtnClick();
  void NextPageBtnClick();
  void PrevPageBtnClick();
  void NextFragBtnClick();
  void PrevFragBtnClick();
  void NextRevolution1Click();
  void PreviousRevolution1Click();
  void Goto1Click();
  // The time scroller came to rest at `position` (scroller units).
  void filesegbarScroll(int position);

  // ---- Selection menu ----
  void SelectDispBtnClick();
  void SelectEntireFile1Click();
  void MarkRegion1Click();
  void RetainRegion1Click();
  void RestoreRegion1Click();
  void snapselectionleft1Click();
  void snapselectionright1Click();
  void SelectionDetails1Click();
  // Runs the dialogs' OK paths (also used by the window's dialogs). A value the check refuses
  // shows its message and changes nothing.
  void goToTime(const GotoTimeModel& model);
  void markRegionApply(const MarkRegionModel& model);
  // What the dialogs' OK refuses, for the open document.
  std::optional<FieldProblem> gotoTimeProblem(const GotoTimeModel& model) const;
  std::optional<FieldProblem> markRegionProblem(const MarkRegionModel& model) const;

  MarkerList markers;
  int32_t audibleMarker = -1;  // heard as a click during playback; -1 for none
  int32_t currentMarker = -1;  // where Goto Next Marker continues from

  // ---- Markers (view_commands.cpp) ----
  // Position order; equal positions keep the order in which they were added.
  void SortMarkers();
  // A full-height marker (kind 0, count 0) at the position, not below frame 0.
  void AddMarkerAt(int32_t position);
  void setAudibleMarker(int32_t position);
  // Forgets every marker and the audible marker (a new file was opened).
  void forgetMarkers();
  // Moves the view so that the position shows a quarter of the way in.
  void showMarkerPosition(int32_t position);

  void GotoFirstMarker1Click();
  void GotoNextMarker1Click();
  void ClearPlaybackMarkers1Click();
  void ClearAllMarkers1Click();
  void SaveMarkersinFile1Click();
  void LoadMarkersfromFile1Click();
  // Replaces the list by the file's markers, sorted (also the command line's ".mkr" argument).
  // False when the file cannot be opened; the list is unchanged then.
  bool loadMarkerFile(const std::string& path);
  bool saveMarkerFile(const std::string& path);

 protected:
  // The whole editor, for state that other parts own.
  Editor& ed();
  const Editor& ed() const;

 private:
  std::string proposedMarkerFileName() const;
  void refresh();
  void snapSelection(int channel);
};

}  // namespace tolmar
