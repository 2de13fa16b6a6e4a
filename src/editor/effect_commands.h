#pragma once
// Level effects, equaliser and filter, channel mix, statistics and clipping search.
// A part of the editor core: Editor inherits it, so these handlers are Editor's handlers.
//
// The current parameters of these commands are the settings (ctx.settings: the [Options]
// amplify, normalise, fade and clipping values, and the equalise, filter and mixer records);
// the dialogs and macro steps change them there. The preset families are the editor core's.

#include "dsp/eq_filter.h"

namespace tolmar {

class Editor;

class EffectCommands {
 public:
  // The equaliser's and filter's history: one for the commands and their previews.
  FilterState filterState;

  // ---- Level effects ----
  void Compress1Click();
  void CompressDirectOverwrite1Click();
  void Normalize1Click();
  void NormalizedirectOverwrite1Click();
  void FadeIn1Click();
  void FadeOut1Click();
  void PartialFadeIn1Click();
  void PartialFadeOut1Click();

  // ---- Equalise and filter ----
  void EqualiseWithUndo1Click();
  void EqualiseDirectOverwrite1Click();
  void FilterWithUndo1Click();
  void FilterDirectOverwrite1Click();

  // ---- Channel mix ----
  void ChannelMixWithUndo1Click();
  void ChannelMixDirectOverwrite1Click();

  // ---- Statistics and clipping search ----
  void SelectionStatistics1Click();
  void FindClippinginSelection1Click();
  // Finds and marks the runs as Find Clipping does, then rebuilds them beyond the clip level
  // from the sound around them: one undo step, "Repair Clipping".
  void RepairClippinginSelection1Click();

  // Equalise's number of passes from `eqpassprompt` (asking when it is 0 outside silent mode);
  // 0 when the question was cancelled.
  int equalisePasses();

 protected:
  // The whole editor, for state that other parts own.
  Editor& ed();
  const Editor& ed() const;

 private:
  // Common start and end of an effect on the selection: a document with a selection, then
  // BeginLargeEdit (With Undo) or the direct-overwrite guard.
  bool beginEffect(bool direct);
  void endEffect(bool direct);
  void amplify(bool direct);
  void normalise(bool direct);
  void fade(bool fadeOut, bool partial);
  void equalise(bool direct);
  void filter(bool direct);
  void channelMix(bool direct);
};

}  // namespace tolmar
