#pragma once
// Click detection, click lists, repair, declick parameters and decrackle.
// A part of the editor core: Editor inherits it, so these handlers are Editor's handlers.

#include <cstdint>
#include <string>

#include "config/declick_params.h"
#include "declick/click_list.h"

namespace tolmar {

class Editor;

// The Find Clicks Result dialog (id kFindClicksResultDialogId): shows `count` followed by
// " Potential Clicks Found"; its Remove button (enabled when count >= 1) sets removeRequested
// and closes the dialog like OK.
struct FindClicksResultModel {
  int32_t count = 0;
  bool removeRequested = false;
};
inline constexpr char kFindClicksResultDialogId[] = "FindClicksResult";
std::string findClicksResultText(int32_t count);

// The Goto Click dialog (id kGotoClickDialogId): the entry "Click Number:", as typed.
struct GotoClickModel {
  std::string number;
};
inline constexpr char kGotoClickDialogId[] = "GotoClick";

class DeclickCommands {
 public:
  // The parameter set lives in the settings, which read and write it as [Declick].
  explicit DeclickCommands(DeclickParams& settingsParams) : params(settingsParams) {}
  DeclickParams& params;
  ClickLists clicks;

  // A newly opened document starts with no stored clicks and an empty false list.
  void discardClickLists();

  // ---- Searching (declick_commands.cpp) ----
  void FindAllClicks1Click();
  void FindandRemoveAllClicks1Click();

  // ---- The click lists (click_list.cpp) ----
  void ClearStoredClicks1Click();
  void ClearFalseClicks1Click();
  void FindNextClick1Click();
  // The toolbar button: Goto Next Click with its own list-index error site.
  void NextClickButtonClick();
  void GotoPreviousClick1Click();
  void GotoSpecificClick1Click();
  void GotoClickAfterSelClick();
  void MarkCurrentClickasFalse1Click();
  void SaveClicksinFile1Click();
  void LoadClicksfromFile1Click();
  void PlaceMarkersatClickPositions1Click();
  // Loads a click file without asking (also the command line's ".clk" argument). False when the
  // file cannot be opened; the lists are unchanged then.
  bool loadClickFile(const std::string& path);

 protected:
  // The whole editor, for state that other parts own.
  Editor& ed();
  const Editor& ed() const;

 private:
  void gotoNextClick(int errorSite);
  // Shows the click at `position` with a little of its surroundings selected.
  void showClick(int32_t position);
  std::string proposedClickFileName() const;
};

}  // namespace tolmar
