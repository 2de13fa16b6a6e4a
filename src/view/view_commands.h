#pragma once
// Selection, navigation, views and markers.
// A part of the editor core: Editor inherits it, so these handlers are Editor's handlers.

#include <cstdint>
#include <string>

#include "view/marker_list.h"

namespace tolmar {

class Editor;

class ViewCommands {
 public:
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
};

}  // namespace tolmar
