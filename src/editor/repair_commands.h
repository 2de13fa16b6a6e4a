#pragma once
// Interpolation repair, declick parameters and presets, click analysis and preview.
// A part of the editor core: Editor inherits it, so these handlers are Editor's handlers.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "document/overlay_index.h"

namespace tolmar {

class Editor;

class RepairCommands {
 public:
  // ---- Selection repairs (repair_commands.cpp) ----
  void InterpLeftClick();
  void InterpRightClick();
  void InterpBothClick();
  void BezierLeft1Click();
  void BezierRight1Click();
  void BezierInterpolateBoth1Click();
  void Silence1Click();
  void SmoothSelection1Click();

  // ---- Click repairs with undo ----
  void RemoveCurrentClick1Click();
  void RemoveAllClicks1Click();
  // Repairs stored click `index` with the parameter set's method and width, adding records
  // without committing them; returns how many were kept. single: false inside Remove All
  // Clicks, where a click's surroundings are read as they were before the run, except for the
  // repair made just before it.
  int32_t RepairClick(int32_t index, bool single);
  // Three-point smoothing of first .. end - 1 (nsmoothings passes from the smoothing context)
  // into one record per chosen channel; returns the number of records kept.
  int32_t SmoothRange(int32_t first, int32_t end, bool left, bool right);

  // ---- Parameters, presets and analysis ----
  // The "Click Detection/Repair Parameters" dialog.
  void Set1Click();
  // Analyse Click (Left) / (Right): searches for parameters that find exactly the click at the
  // selection start, examining only that channel.
  void AutoSetup1Click();
  void AutoSetup2Click();

  // ---- Declick preview ----
  // Declicks frames first..last of a playback buffer (buf holds frame `first` at buf[0]) in
  // sub-blocks of at most 9000 frames, repairing in place without storing; the file is not
  // touched. Returns the number of clicks repaired; 0 when "Declicking On" is off.
  int32_t DeclickPreviewBuffer(int16_t* buf, int32_t first, int32_t last);

  // The name last confirmed in the parameters dialog.
  std::string currentClickPresetName;
  // The frame before the range being smoothed (left, right).
  std::array<int16_t, 2> smoothingContext{0, 0};
  // The Blocks menu's "Smooth Edges After Copying" (SmoothEdges): block copies, including the
  // Copy Preceding click repair, end by smoothing their edges.
  bool smoothEdges = false;
  void SmoothEdgesClick() { smoothEdges = !smoothEdges; }

 protected:
  // The whole editor, for state that other parts own.
  Editor& ed();
  const Editor& ed() const;

 private:
  void interpolateCommand(bool left, bool right, bool bezier);
  void analyseClick(int channel);
  // A context sample of a click repair; inside Remove All Clicks, by the start-of-run rule.
  int16_t contextSample(int32_t frame, int channel);

  std::vector<int16_t> work_;
  // Remove All Clicks: the index of the newest record when the run began (-1: none), and an
  // index of its own over the edit list for reading the surroundings as they were then.
  bool inRun_ = false;
  int64_t runMark_ = -1;
  OverlayIndex runIndex_;
  std::vector<size_t> runHits_;
};

}  // namespace tolmar
