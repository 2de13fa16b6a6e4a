// The command table and the availability pass.
//
// Wiring a handler: build it as a member of Editor (in its command part, e.g.
// `void FindAllClicks1Click();` in editor/declick_commands.h), then replace the row's `nullptr`
// action below with its address, e.g.
//     item(kDc, "Find &All Clicks", "FindAllClicks1Click", "", sel, &Editor::FindAllClicks1Click),
// A row whose action is null is "not built": the menu shows it, but it is never enabled, and a
// macro step naming it reports it as not valid. A handler that returns a value gets a small void
// member that calls it (see Editor::saveMenuClick). A check item whose check mark lives in new
// state also gets a `checked` function (see editLeftChecked). When the state behind a predicate
// is built, fill its field in computeCommandState (each missing one is marked there).

#include "editor/command_table.h"

#include <algorithm>

#include "editor/editor.h"

namespace tolmar {

namespace {

// ---- Availability predicates (one per row of the enabling rules) ----

bool always(const CommandState&) {
  return true;
}
bool notRecording(const CommandState& s) {
  return !s.recording;
}
bool file(const CommandState& s) {
  return s.file;
}
bool fileWritable(const CommandState& s) {
  return s.file && !s.readonly;
}
bool fileNoUndo(const CommandState& s) {
  return s.file && !s.undo;
}
bool saveable(const CommandState& s) {
  return s.undo && !s.readonly;
}
bool sel(const CommandState& s) {
  return s.sel;
}
bool selL(const CommandState& s) {
  return s.sel && s.editl;
}
bool selR(const CommandState& s) {
  return s.sel && s.editr;
}
// Spectral replacement works on at most 16384 frames.
bool spectralL(const CommandState& s) {
  return s.sel && s.editl && s.sellen <= 16384;
}
bool spectralR(const CommandState& s) {
  return s.sel && s.editr && s.sellen <= 16384;
}
// Frequency analysis needs one whole 4096-frame block.
bool analysable(const CommandState& s) {
  return s.sel && s.sellen >= 4096;
}
bool direct(const CommandState& s) {
  return s.direct;
}
bool selFingerprint(const CommandState& s) {
  return s.sel && s.fingerprint;
}
bool directFingerprint(const CommandState& s) {
  return s.direct && s.fingerprint;
}
bool fingerprint(const CommandState& s) {
  return s.fingerprint;
}
bool point(const CommandState& s) {
  return s.point;
}
bool pointClipWave(const CommandState& s) {
  return s.point && s.clipwave;
}
bool selDeletions(const CommandState& s) {
  return s.sel && s.deletions;
}
bool selInsertions(const CommandState& s) {
  return s.sel && s.insertions;
}
bool executable(const CommandState& s) {
  return (s.deletions || s.insertions) && !s.readonly;
}
bool undo(const CommandState& s) {
  return s.undo;
}
bool redo(const CommandState& s) {
  return s.redo;
}
bool views(const CommandState& s) {
  return s.views;
}
bool remembered(const CommandState& s) {
  return s.remembered;
}
bool clicks(const CommandState& s) {
  return s.clicks;
}
bool currentClick(const CommandState& s) {
  return s.currentClick;
}
bool falseClicks(const CommandState& s) {
  return s.falseClicks;
}
bool anyClicks(const CommandState& s) {
  return s.clicks || s.falseClicks;
}
bool markers(const CommandState& s) {
  return s.markers;
}
bool markersSel(const CommandState& s) {
  return s.markers && s.sel;
}
bool cues(const CommandState& s) {
  return s.cues;
}
bool cuesSel(const CommandState& s) {
  return s.cues && s.sel;
}
bool compat(const CommandState& s) {
  return s.compat;
}
bool compatL(const CommandState& s) {
  return s.compat && s.editl;
}
bool compatR(const CommandState& s) {
  return s.compat && s.editr;
}
bool overlay(const CommandState& s) {
  return s.overlay;
}
bool overlayL(const CommandState& s) {
  return s.overlay && s.editl;
}
bool overlayR(const CommandState& s) {
  return s.overlay && s.editr;
}
bool playSel(const CommandState& s) {
  return s.playdev && s.sel;
}
bool recordable(const CommandState& s) {
  return s.recdev && !s.recording;
}
bool stoppable(const CommandState& s) {
  return s.playing || s.recording;
}

// ---- Check marks ----

bool editLeftChecked(const Editor& ed) {
  return ed.ctx.editLeft;
}
bool editRightChecked(const Editor& ed) {
  return ed.ctx.editRight;
}

bool redrawChecked(const Editor& ed) {
  return ed.view.redrawMode;
}
bool spectralChecked(const Editor& ed) {
  return ed.view.spectral;
}
bool maximiseChecked(const Editor& ed) {
  return ed.doc ? ed.doc->maxVertical : ed.ctx.settings.maxamplitude;
}
bool ignoreLeftChecked(const Editor& ed) {
  return ed.view.ignoreLeft;
}
bool ignoreRightChecked(const Editor& ed) {
  return ed.view.ignoreRight;
}

// ---- Row builders ----

Command item(std::string_view menu, std::string_view caption, std::string_view handler,
             std::string_view shortcut, Availability available, Action action) {
  Command c;
  c.menu = menu;
  c.caption = caption;
  c.handler = handler;
  c.shortcut = shortcut;
  c.available = available;
  c.action = action;
  return c;
}

Command check(std::string_view menu, std::string_view caption, std::string_view handler,
              std::string_view shortcut, Availability available, Action action,
              CheckedState checked) {
  Command c = item(menu, caption, handler, shortcut, available, action);
  c.checkItem = true;
  c.checked = checked;
  return c;
}

Command separator(std::string_view menu) {
  Command c;
  c.menu = menu;
  c.caption = "-";
  return c;
}

Command withPresets(PresetKind kind, Command c) {
  c.presets = kind;
  return c;
}

Command debugOnly(Command c) {
  c.visible = false;
  c.debugItem = true;
  return c;
}

constexpr std::string_view kFi = "&File";
constexpr std::string_view kEd = "&Edit";
constexpr std::string_view kVw = "&View";
constexpr std::string_view kNv = "N&avigate";
constexpr std::string_view kSl = "&Selection";
constexpr std::string_view kMk = "&Markers";
constexpr std::string_view kCu = "&Cue Points";
constexpr std::string_view kDc = "&Declicking";
constexpr std::string_view kNr = "&Noise Reduction";
constexpr std::string_view kFx = "&Other Effects";
constexpr std::string_view kBl = "&Blocks";
constexpr std::string_view kPr = "&Play/Record";

std::vector<Command> buildTable() {
  // clang-format off
  return {
    // File: 14 fixed items; the recent files follow them.
    item(kFi, "&Open WAV File...", "OpenWAVFile1Click", "Ctrl+O", notRecording, &Editor::OpenWAVFile1Click),
    item(kFi, "&Close WAV File", "CloseFile1Click", "", file, &Editor::CloseFile1Click),
    separator(kFi),
    item(kFi, "&Save", "Save1Click", "Ctrl+S", saveable, &Editor::saveMenuClick),
    item(kFi, "Save &As...", "SaveAs1Click", "", file, &Editor::SaveAs1Click),
    item(kFi, "Save Selected Sa&mples...", "SaveSelectedSamples1Click", "", sel, &Editor::SaveSelectedSamples1Click),
    item(kFi, "&Truncate Extra Data", "TruncateExtraData1Click", "", fileWritable, &Editor::TruncateExtraData1Click),
    separator(kFi),
    item(kFi, "O&ptions...", "Options1Click", "", always, &Editor::Options1Click),
    item(kFi, "Mac&ros...", "Macros1Click", "", always, &Editor::Macros1Click),
    item(kFi, "&Batch Mode...", "BatchMode1Click", "", always, &Editor::BatchMode1Click),
    separator(kFi),
    item(kFi, "E&xit", "Exit1Click", "", always, nullptr),
    separator(kFi),

    item(kEd, "&Undo", "Undo1Click", "Ctrl+Del", undo, &Editor::Undo1Click),
    item(kEd, "&Redo", "Redo1Click", "Ctrl+Ins", redo, &Editor::Redo1Click),
    separator(kEd),
    check(kEd, "Edit &Left", "EditLeftClick", "", file, &Editor::EditLeftClick, editLeftChecked),
    check(kEd, "Edit Ri&ght", "EditRightClick", "", file, &Editor::EditRightClick, editRightChecked),
    separator(kEd),
    item(kEd, "&Copy Selected Samples to Clipboard", "CopySelectedSampletoClipboard1Click", "", sel, &Editor::CopySelectedSampletoClipboard1Click),
    item(kEd, "Replace From Clip&board (With Undo)", "ReplaceFromClipboardWithUndo1Click", "", pointClipWave, &Editor::ReplaceFromClipboardWithUndo1Click),
    item(kEd, "Replace From &File (With Undo)...", "ReplaceFromFile1Click", "", sel, &Editor::ReplaceFromFile1Click),
    item(kEd, "Replace From File (&Direct Overwrite)...", "ReplaceFromFileDirectOverwrite1Click", "", direct, &Editor::ReplaceFromFileDirectOverwrite1Click),
    item(kEd, "&Append Other File at End", "AppendOtherFiletoEnd1Click", "", fileNoUndo, &Editor::AppendOtherFiletoEnd1Click),
    separator(kEd),
    item(kEd, "I&nterpolate Left", "InterpLeftClick", "", selL, &Editor::InterpLeftClick),
    item(kEd, "In&terpolate Right", "InterpRightClick", "", selR, &Editor::InterpRightClick),
    item(kEd, "Interpolate B&oth", "InterpBothClick", "", sel, &Editor::InterpBothClick),
    item(kEd, "Be&zier Interpolate Left", "BezierLeft1Click", "", selL, &Editor::BezierLeft1Click),
    item(kEd, "Bezier Interpolate Rig&ht", "BezierRight1Click", "", selR, &Editor::BezierRight1Click),
    item(kEd, "Bezier Interpolate Bot&h", "BezierInterpolateBoth1Click", "", sel, &Editor::BezierInterpolateBoth1Click),
    item(kEd, "&Silence", "Silence1Click", "", sel, &Editor::Silence1Click),
    item(kEd, "S&mooth Abrasion", "SmoothSelection1Click", "", sel, &Editor::SmoothSelection1Click),
    separator(kEd),
    item(kEd, "Mar&k Selection for Deletion", "MarkforDeletion1Click", "", sel, &Editor::MarkforDeletion1Click),
    item(kEd, "Clear D&eletion Mark(s)", "ClearDeletionMarks1Click", "", selDeletions, &Editor::ClearDeletionMarks1Click),
    item(kEd, "Add Silence &Insertion Mark", "InsertSilence1Click", "", point, &Editor::InsertSilence1Click),
    item(kEd, "Remo&ve Silence Insertion Mark(s)", "RemoveSilenceClick", "", selInsertions, &Editor::RemoveSilenceClick),
    item(kEd, "Add S&urrounding Silence", "AddSurroundingSilence1Click", "", sel, &Editor::AddSurroundingSilence1Click),
    item(kEd, "E&xecute Deletions/Insertions", "ExecuteDeletions1Click", "", executable, &Editor::ExecuteDeletions1Click),

    // View: 21 fixed items; the view history follows them.
    check(kVw, "&Redraw Wave Mode", "RedrawWaveModeClick", "", file, &Editor::RedrawWaveModeClick, redrawChecked),
    check(kVw, "&Spectral View", "SpectralView1Click", "", file, &Editor::SpectralView1Click, spectralChecked),
    separator(kVw),
    check(kVw, "&Maximise Amplitude", "MaxAmplitudeBtnClick", "", file, &Editor::MaxAmplitudeBtnClick, maximiseChecked),
    check(kVw, "Ignore &Left in Maximise", "IgnoreLeftClick", "", file, &Editor::IgnoreLeftClick, ignoreLeftChecked),
    check(kVw, "Ignore Ri&ght in Maximise", "IgnoreRightClick", "", file, &Editor::IgnoreRightClick, ignoreRightChecked),
    item(kVw, "Reset &Vertical Adjusters", "ResetVerticalAdjusters1Click", "", file, &Editor::ResetVerticalAdjusters1Click),
    separator(kVw),
    item(kVw, "S&tandard Detail Scale", "QuickHorzBtnClick", "", file, &Editor::QuickHorzBtnClick),
    item(kVw, "Set &Detail Scale", "SetDetailScale1Click", "", file, &Editor::SetDetailScale1Click),
    item(kVw, "Zoom &In", "ZoomIn1Click", "", file, &Editor::ZoomIn1Click),
    item(kVw, "Zoom &Out", "ZoomOut1Click", "", file, &Editor::ZoomOut1Click),
    item(kVw, "&Entire File", "EntireFileBtnClick", "", file, &Editor::EntireFileBtnClick),
    item(kVw, "Selected Sam&ples", "ShowSelBtnClick", "", sel, &Editor::ShowSelBtnClick),
    item(kVw, "Start o&f Selection", "GoSelStartBtnClick", "", sel, &Editor::GoSelStartBtnClick),
    item(kVw, "Middle of Selec&tion", "MiddleofSelection1Click", "", sel, &Editor::MiddleofSelection1Click),
    item(kVw, "End of Selectio&n", "EndofSelection1Click", "", sel, &Editor::EndofSelection1Click),
    separator(kVw),
    item(kVw, "Pre&vious View", "PreviousView1Click", "", views, &Editor::PreviousView1Click),
    item(kVw, "Ne&xt View", "NextView1Click", "", views, &Editor::NextView1Click),
    separator(kVw),

    item(kNv, "&Beginning of File", "BeginFileBtnClick", "", file, &Editor::BeginFileBtnClick),
    item(kNv, "&End of File", "EndFileBtnClick", "", file, &Editor::EndFileBtnClick),
    separator(kNv),
    item(kNv, "&Next Page", "NextPageBtnClick", "", file, &Editor::NextPageBtnClick),
    item(kNv, "&Previous Page", "PrevPageBtnClick", "", file, &Editor::PrevPageBtnClick),
    item(kNv, "Next &Fragment", "NextFragBtnClick", "", file, &Editor::NextFragBtnClick),
    item(kNv, "Previous Fr&agment", "PrevFragBtnClick", "", file, &Editor::PrevFragBtnClick),
    item(kNv, "Next &Revolution", "NextRevolution1Click", "", file, &Editor::NextRevolution1Click),
    item(kNv, "Previous Re&volution", "PreviousRevolution1Click", "", file, &Editor::PreviousRevolution1Click),
    separator(kNv),
    item(kNv, "&Goto Position...", "Goto1Click", "", file, &Editor::Goto1Click),

    item(kSl, "Select &Displayed Samples", "SelectDispBtnClick", "", file, &Editor::SelectDispBtnClick),
    item(kSl, "Select &Entire File", "SelectEntireFile1Click", "", file, &Editor::SelectEntireFile1Click),
    item(kSl, "&Mark Region...", "MarkRegion1Click", "", file, &Editor::MarkRegion1Click),
    separator(kSl),
    item(kSl, "&Remember Selection", "RetainRegion1Click", "", sel, &Editor::RetainRegion1Click),
    item(kSl, "Re&instate Selection", "RestoreRegion1Click", "", remembered, &Editor::RestoreRegion1Click),
    separator(kSl),
    item(kSl, "Snap Selection (&Left)", "snapselectionleft1Click", "", sel, &Editor::snapselectionleft1Click),
    item(kSl, "Snap Selection (Ri&ght)", "snapselectionright1Click", "", sel, &Editor::snapselectionright1Click),
    separator(kSl),
    item(kSl, "Selection De&tails...", "SelectionDetails1Click", "", sel, &Editor::SelectionDetails1Click),
    item(kSl, "Selection &Statistics...", "SelectionStatistics1Click", "", sel, &Editor::SelectionStatistics1Click),
    item(kSl, "Find &Clipping in Selection", "FindClippinginSelection1Click", "", sel, &Editor::FindClippinginSelection1Click),
    item(kSl, "Re&pair Clipping in Selection (With Undo)", "RepairClippinginSelection1Click", "", sel, &Editor::RepairClippinginSelection1Click),
    item(kSl, "&Frequency Analysis...", "FrequencyAnalysis1Click", "", analysable, &Editor::FrequencyAnalysis1Click),

    item(kMk, "Goto &First Marker", "GotoFirstMarker1Click", "", markers, &Editor::GotoFirstMarker1Click),
    item(kMk, "Goto &Next Marker", "GotoNextMarker1Click", "", markers, &Editor::GotoNextMarker1Click),
    separator(kMk),
    item(kMk, "Clear Markers in &Selection", "ClearPlaybackMarkers1Click", "", markersSel, &Editor::ClearPlaybackMarkers1Click),
    item(kMk, "Clear &All Markers", "ClearAllMarkers1Click", "", markers, &Editor::ClearAllMarkers1Click),
    separator(kMk),
    item(kMk, "Sa&ve Markers in File...", "SaveMarkersinFile1Click", "", markers, &Editor::SaveMarkersinFile1Click),
    item(kMk, "&Load Markers from File...", "LoadMarkersfromFile1Click", "", file, &Editor::LoadMarkersfromFile1Click),
    separator(kMk),
    item(kMk, "Convert &Click Positions to Markers", "PlaceMarkersatClickPositions1Click", "", clicks, &Editor::PlaceMarkersatClickPositions1Click),

    item(kCu, "&Add Cue Point...", "AddCue1Click", "Ctrl+Q", point, &Editor::AddCue1Click),
    item(kCu, "&Delete Cue Point(s)", "RemoveDAOCuePoints1Click", "Shift+Ctrl+Q", cuesSel, &Editor::RemoveDAOCuePoints1Click),
    item(kCu, "Add &Regular Cue Points...", "AddRegularCuePoints1Click", "", sel, &Editor::AddRegularCuePoints1Click),
    separator(kCu),
    item(kCu, "&Goto Cue Point...", "GotoCuePoint1Click", "Q", cues, &Editor::GotoCuePoint1Click),
    item(kCu, "Goto &First Cue Point", "GotoFirstCuePoint1Click", "", cues, &Editor::GotoFirstCuePoint1Click),
    item(kCu, "Goto &Next Cue Point", "GotoNextCuePoint1Click", "", cues, &Editor::GotoNextCuePoint1Click),
    item(kCu, "Goto &Previous Cue Point", "GotoPreviousCuePoint1Click", "", cues, &Editor::GotoPreviousCuePoint1Click),
    separator(kCu),
    item(kCu, "Find &Tracks", "FindTracks1Click", "", sel, &Editor::FindTracks1Click),
    item(kCu, "Convert &Markers to Cue Points", "ConvertMarkersClick", "", markers, &Editor::ConvertMarkersClick),
    item(kCu, "Displa&y Track...", "DisplayTrack1Click", "", file, &Editor::DisplayTrack1Click),
    separator(kCu),
    item(kCu, "Setup CD T&ext Data...", "SetupCDTextData1Click", "", file, &Editor::SetupCDTextData1Click),
    item(kCu, "&Write Cue Sheet...", "CreateDAOCueSheet1Click", "", file, &Editor::CreateDAOCueSheet1Click),
    item(kCu, "Read &Cue Sheet...", "ReadDAOCueSheet1Click", "", file, &Editor::ReadDAOCueSheet1Click),
    separator(kCu),
    item(kCu, "&Split Tracks...", "SplitTracks1Click", "", file, &Editor::SplitTracks1Click),

    withPresets(PresetKind::Declick, item(kDc, "Find &All Clicks", "FindAllClicks1Click", "", sel, &Editor::FindAllClicks1Click)),
    withPresets(PresetKind::Declick, item(kDc, "Find and &Remove All Clicks", "FindandRemoveAllClicks1Click", "", direct, &Editor::FindandRemoveAllClicks1Click)),
    separator(kDc),
    item(kDc, "&Set Declick Parameters...", "Set1Click", "", file, &Editor::Set1Click),
    item(kDc, "Analyse Click (&Left)", "AutoSetup1Click", "", point, &Editor::AutoSetup1Click),
    item(kDc, "Analyse Click (R&ight)", "AutoSetup2Click", "", point, &Editor::AutoSetup2Click),
    item(kDc, "Declick &Preview", "DeclickPreview1Click", "", sel, &Editor::DeclickPreview1Click),
    separator(kDc),
    item(kDc, "Goto &Next Click", "FindNextClick1Click", "", clicks, &Editor::FindNextClick1Click),
    item(kDc, "Goto Pre&vious Click", "GotoPreviousClick1Click", "", clicks, &Editor::GotoPreviousClick1Click),
    item(kDc, "Goto Spe&cific Click...", "GotoSpecificClick1Click", "", clicks, &Editor::GotoSpecificClick1Click),
    item(kDc, "Goto Click After Start of Selec&tion", "GotoClickAfterSelClick", "", clicks, &Editor::GotoClickAfterSelClick),
    separator(kDc),
    item(kDc, "Remove C&urrent Click", "RemoveCurrentClick1Click", "", currentClick, &Editor::RemoveCurrentClick1Click),
    item(kDc, "Set Current Click as &False", "MarkCurrentClickasFalse1Click", "", currentClick, &Editor::MarkCurrentClickasFalse1Click),
    item(kDc, "Re&move All Clicks", "RemoveAllClicks1Click", "", clicks, &Editor::RemoveAllClicks1Click),
    separator(kDc),
    item(kDc, "Clear St&ored Clicks", "ClearStoredClicks1Click", "", clicks, &Editor::ClearStoredClicks1Click),
    item(kDc, "Clear Fals&e Clicks", "ClearFalseClicks1Click", "", falseClicks, &Editor::ClearFalseClicks1Click),
    separator(kDc),
    item(kDc, "Save Clic&ks in File...", "SaveClicksinFile1Click", "", anyClicks, &Editor::SaveClicksinFile1Click),
    item(kDc, "Loa&d Clicks from File...", "LoadClicksfromFile1Click", "", file, &Editor::LoadClicksfromFile1Click),

    item(kNr, "&Get Fingerprint", "GetFingerprint1Click", "", sel, &Editor::GetFingerprint1Click),
    separator(kNr),
    item(kNr, "&Reduce Noise (With Undo)", "RemoveNoise1Click", "", selFingerprint, &Editor::RemoveNoise1Click),
    item(kNr, "Reduce &Noise (Direct Overwrite)", "ReduceNoise1Click", "", directFingerprint, &Editor::ReduceNoise1Click),
    separator(kNr),
    item(kNr, "&Decrackle (With Undo)", "Decrackle1Click", "", selFingerprint, &Editor::Decrackle1Click),
    item(kNr, "De&crackle (Direct Overwrite)", "DecrackleDirectOverwrite1Click", "", directFingerprint, &Editor::DecrackleDirectOverwrite1Click),
    debugOnly(item(kNr, "Decrackle &Preview", "DecracklePreview1Click", "", selFingerprint, &Editor::DecracklePreview1Click)),
    separator(kNr),
    item(kNr, "&Save Fingerprint in File...", "SaveFingerprintinFile1Click", "", fingerprint, &Editor::SaveFingerprintinFile1Click),
    item(kNr, "&Load Fingerprint from File...", "LoadFingerprintfromFile1Click", "", file, &Editor::LoadFingerprintfromFile1Click),

    item(kFx, "&Normalise (With Undo)", "Normalize1Click", "", sel, &Editor::Normalize1Click),
    item(kFx, "Normalise (&Direct Overwrite)", "NormalizedirectOverwrite1Click", "", direct, &Editor::NormalizedirectOverwrite1Click),
    separator(kFx),
    item(kFx, "&Amplify/Compress (With Undo)", "Compress1Click", "", sel, &Editor::Compress1Click),
    item(kFx, "Amplify/Compress (Direct O&verwrite)", "CompressDirectOverwrite1Click", "", direct, &Editor::CompressDirectOverwrite1Click),
    item(kFx, "Amplify/Compress &Preview", "CompressPreview1Click", "", sel, &Editor::CompressPreview1Click),
    separator(kFx),
    item(kFx, "Fade &In", "FadeIn1Click", "", sel, &Editor::FadeIn1Click),
    item(kFx, "Fade &Out", "FadeOut1Click", "", sel, &Editor::FadeOut1Click),
    item(kFx, "Pa&rtial Fade In...", "PartialFadeIn1Click", "", sel, &Editor::PartialFadeIn1Click),
    item(kFx, "Partial Fade Ou&t...", "PartialFadeOut1Click", "", sel, &Editor::PartialFadeOut1Click),
    separator(kFx),
    withPresets(PresetKind::Equaliser, item(kFx, "&Equalise (With Undo)", "EqualiseWithUndo1Click", "", sel, &Editor::EqualiseWithUndo1Click)),
    withPresets(PresetKind::Equaliser, item(kFx, "E&qualise (Direct Overwrite)", "EqualiseDirectOverwrite1Click", "", direct, &Editor::EqualiseDirectOverwrite1Click)),
    item(kFx, "Equalise Previe&w", "EqualisePreview1Click", "", sel, &Editor::EqualisePreview1Click),
    separator(kFx),
    withPresets(PresetKind::Filter, item(kFx, "&Filter (With Undo)", "FilterWithUndo1Click", "", sel, &Editor::FilterWithUndo1Click)),
    withPresets(PresetKind::Filter, item(kFx, "Filter (Direct Overwrite)", "FilterDirectOverwrite1Click", "", direct, &Editor::FilterDirectOverwrite1Click)),
    item(kFx, "Filter Pr&eview", "FilterPreview1Click", "", sel, &Editor::FilterPreview1Click),
    separator(kFx),
    withPresets(PresetKind::ChannelMix, item(kFx, "&Channel Mix (With Undo)", "ChannelMixWithUndo1Click", "", sel, &Editor::ChannelMixWithUndo1Click)),
    withPresets(PresetKind::ChannelMix, item(kFx, "C&hannel Mix (Direct Overwrite)", "ChannelMixDirectOverwrite1Click", "", direct, &Editor::ChannelMixDirectOverwrite1Click)),
    item(kFx, "Channel Mi&x Preview", "ChannelMixPreview1Click", "", sel, &Editor::ChannelMixPreview1Click),

    item(kBl, "Copy &Preceding Block (Left)", "CopyPrecedingBlock1Click", "", selL, &Editor::CopyPrecedingBlock1Click),
    item(kBl, "Copy Preceding Block (Right)", "CopyPrecedingBlockRight1Click", "", selR, &Editor::CopyPrecedingBlockRight1Click),
    separator(kBl),
    item(kBl, "Copy &Left to Right", "CopyLefttoRight1Click", "", selR, &Editor::CopyLefttoRight1Click),
    item(kBl, "Copy &Right to Left", "CopyRighttoLeft1Click", "", selL, &Editor::CopyRighttoLeft1Click),
    separator(kBl),
    item(kBl, "&Spectral Replacement (Left)", "SpectralReplacementLeft1Click", "", spectralL, &Editor::SpectralReplacementLeft1Click),
    item(kBl, "Spectral Replacement (Right)", "SpectralReplacementRight1Click", "", spectralR, &Editor::SpectralReplacementRight1Click),
    separator(kBl),
    item(kBl, "Nudge &Up (Left)", "NudgeUpLeft1Click", "", sel, &Editor::NudgeUpLeft1Click),
    item(kBl, "Nudge &Down (Left)", "NudgeDownLeft1Click", "", sel, &Editor::NudgeDownLeft1Click),
    item(kBl, "Nudge Up (Right)", "NudgeUpRight1Click", "", sel, &Editor::NudgeUpRight1Click),
    item(kBl, "Nudge Down (Right)", "NudgeDownRight1Click", "", sel, &Editor::NudgeDownRight1Click),
    separator(kBl),
    item(kBl, "Set &Compatible Block Params...", "SetCompatibleBlockParams1Click", "", always, &Editor::SetCompatibleBlockParams1Click),
    item(kBl, "&Find Compatible Block", "FindCompatibleBlock1Click", "", sel, &Editor::FindCompatibleBlock1Click),
    item(kBl, "Copy Compatible Block (Left)", "CopyCompatibleBlock1Click", "", compatL, &Editor::CopyCompatibleBlock1Click),
    item(kBl, "Copy Compatible Block (Right)", "CopyCompatibleBlockRight1Click", "", compatR, &Editor::CopyCompatibleBlockRight1Click),
    item(kBl, "Reset Compatible Bloc&k", "ResetCompatibleBlock1Click", "", compat, &Editor::ResetCompatibleBlock1Click),
    separator(kBl),
    item(kBl, "Setup &Overlay Block", "SetupOverlayBlockClick", "", sel, &Editor::SetupOverlayBlockClick),
    item(kBl, "&Back by Block Width", "BackbyBlockWidthClick", "", overlay, &Editor::BackbyBlockWidthClick),
    item(kBl, "Forward by Block &Width", "ForwardbyBlockWidthClick", "", overlay, &Editor::ForwardbyBlockWidthClick),
    item(kBl, "Back One Sa&mple", "BackOneSampleClick", "", overlay, &Editor::BackOneSampleClick),
    item(kBl, "Forward One Sample", "ForwardOneSampleClick", "", overlay, &Editor::ForwardOneSampleClick),
    item(kBl, "Copy Overlay (Left)", "CopyOverlayLeftClick", "", overlayL, &Editor::CopyOverlayLeftClick),
    item(kBl, "Copy Overlay (Right)", "CopyOverlayRightClick", "", overlayR, &Editor::CopyOverlayRightClick),
    item(kBl, "Reselect Or&iginal Block", "ReselectOriginalBlockClick", "", overlay, &Editor::ReselectOriginalBlockClick),
    item(kBl, "Discard Overla&y Block", "DiscardOverlayBlockClick", "", overlay, &Editor::DiscardOverlayBlockClick),
    separator(kBl),
    check(kBl, "Smooth &Edges After Copying", "SmoothEdgesClick", "", file, &Editor::SmoothEdgesClick, [](const Editor& e) { return e.smoothEdges; }),

    item(kPr, "&Output (Play) Selection", "PlaySelectionBtnClick", "", playSel, &Editor::PlaySelectionBtnClick),
    item(kPr, "Output (Play) Selection - Left Only", "OutputPlaySelectionLeftChannel1Click", "", playSel, &Editor::OutputPlaySelectionLeftChannel1Click),
    item(kPr, "Output (Play) Selection - Right Only", "OutputPlaySelectionRightChannel1Click", "", playSel, &Editor::OutputPlaySelectionRightChannel1Click),
    item(kPr, "Play Selection &With Context", "OutputSelectionWithContext1Click", "", playSel, &Editor::OutputSelectionWithContext1Click),
    item(kPr, "Play Selection With Context - Left Only", "PlaySelectionWithContextLeftChannel1Click", "", playSel, &Editor::PlaySelectionWithContextLeftChannel1Click),
    item(kPr, "Play Selection With Context - Right Only", "PlaySelectionWithContextRightChannel1Click", "", playSel, &Editor::PlaySelectionWithContextRightChannel1Click),
    item(kPr, "Play &Context Around Selection", "PlayContextMinusSelection1Click", "", playSel, &Editor::PlayContextMinusSelection1Click),
    item(kPr, "Play Context Around Selection - Left Only", "PlayContextAroundSelectionLeftOnly1Click", "", playSel, &Editor::PlayContextAroundSelectionLeftOnly1Click),
    item(kPr, "Play Context Around Selection - Right Only", "PlayContextAroundSelectionRightOnly1Click", "", playSel, &Editor::PlayContextAroundSelectionRightOnly1Click),
    item(kPr, "Play Selection With Context &After", "PlaySelectionWithContextAfter1Click", "", playSel, &Editor::PlaySelectionWithContextAfter1Click),
    item(kPr, "Play Selection With Context &Before", "PlaySelectionWithContextBefore1Click", "", playSel, &Editor::PlaySelectionWithContextBefore1Click),
    separator(kPr),
    item(kPr, "&Kill (Stop) Output", "StopPlayBtnClick", "", stoppable, &Editor::StopPlayBtnClick),
    separator(kPr),
    check(kPr, "Play &Left Channel", "PlayLeftClick", "", file, &Editor::PlayLeftClick, [](const Editor& e) { return e.playLeft; }),
    check(kPr, "Play &Right Channel", "PlayRightClick", "", file, &Editor::PlayRightClick, [](const Editor& e) { return e.playRight; }),
    separator(kPr),
    item(kPr, "&Input (Record) New WAV File", "Record1Click", "", recordable, &Editor::Record1Click),
  };
  // clang-format on
}

struct Index {
  std::vector<std::string> paths;  // parallel to the table; empty for separators
  std::vector<int> positions;      // position within the item's menu
};

const Index& tableIndex() {
  static const Index index = [] {
    Index ix;
    const auto& table = commandTable();
    std::vector<std::string_view> menus;
    std::vector<int> counts;
    for (const Command& c : table) {
      ix.paths.push_back(isSeparator(c) ? std::string() : menuPath(c));
      size_t m = 0;
      while (m < menus.size() && menus[m] != c.menu) ++m;
      if (m == menus.size()) {
        menus.push_back(c.menu);
        counts.push_back(0);
      }
      ix.positions.push_back(counts[m]++);
    }
    return ix;
  }();
  return index;
}

}  // namespace

const std::vector<Command>& commandTable() {
  static const std::vector<Command> table = buildTable();
  return table;
}

std::vector<std::string_view> topLevelMenus() {
  std::vector<std::string_view> menus;
  for (const Command& c : commandTable())
    if (menus.empty() || menus.back() != c.menu) menus.push_back(c.menu);
  return menus;
}

std::string cleanCaption(std::string_view caption) {
  std::string out;
  out.reserve(caption.size());
  for (char ch : caption)
    if (ch != '&') out += ch;
  return out;
}

std::string menuPath(const Command& c) {
  return cleanCaption(c.menu) + " | " + cleanCaption(c.caption);
}

const Command* findCommand(std::string_view path) {
  const auto& table = commandTable();
  const Index& ix = tableIndex();
  for (size_t i = 0; i < table.size(); ++i)
    if (!ix.paths[i].empty() && ix.paths[i] == path) return &table[i];
  return nullptr;
}

const Command* findHandler(std::string_view handler) {
  if (handler.empty()) return nullptr;
  for (const Command& c : commandTable())
    if (c.handler == handler) return &c;
  return nullptr;
}

size_t commandIndex(const Command& c) {
  const auto& table = commandTable();
  for (size_t i = 0; i < table.size(); ++i)
    if (&table[i] == &c) return i;
  return table.size();
}

int menuPosition(const Command& c) {
  const size_t i = commandIndex(c);
  return i < commandTable().size() ? tableIndex().positions[i] : -1;
}

bool isSeparator(const Command& c) {
  return c.caption == "-";
}

bool isVisible(const Command& c, bool showDebugItems) {
  return c.visible || (c.debugItem && showDebugItems);
}

CommandState computeCommandState(const Editor& ed) {
  const Context& ctx = ed.ctx;
  CommandState s;
  s.playing = ctx.playing;
  s.recording = ctx.recording;
  // PLAYDEV: a playback device with 44.1 kHz stereo 16-bit capability was found at start-up.
  s.playdev = ed.playDeviceFound;
  // RECDEV: a recording device with that capability was found at start-up.
  s.recdev = ed.recordDeviceFound;
  s.showDebugItems = ctx.settings.debugDcp;

  s.file = ed.doc && !ctx.recording;
  if (!s.file) return s;  // everything else stays false
  const WaveFile& doc = *ed.doc;

  // An unset start (-1) below a set end is no selection.
  s.sel = doc.hasSelection();
  s.point = doc.selStart >= 0;
  if (doc.selStart >= 0 && doc.selEnd >= 0)
    s.sellen = static_cast<int64_t>(doc.selEnd) - doc.selStart + 1;
  s.undo = doc.canUndo();
  s.redo = doc.canRedo();
  s.clicks = ed.clicks.hasClicks();
  s.falseClicks = !ed.clicks.falseClicks.empty();
  s.currentClick = ed.clicks.hasCurrentClick();
  s.markers = !ed.markers.empty() || ed.audibleMarker >= 0;
  s.cues = !doc.cues.empty();
  s.deletions = !doc.deletions.empty();
  s.insertions = !doc.insertions.empty();
  s.views = ed.hasViews();
  s.remembered = doc.rememberedStart >= 0;
  s.compat = ed.compatible.found();
  s.overlay = ed.overlayBlock.active;
  s.fingerprint = ed.fingerprint.present;
  s.clipwave = ctx.host().clipboardHasWave();
  s.readonly = ctx.readOnly;
  s.editl = ctx.editLeft;
  s.editr = ctx.editRight;
  s.direct = s.sel && !s.undo && !s.readonly;
  return s;
}

bool isEnabled(const Command& c, const CommandState& state) {
  // While playing, every menu is disabled but Play/Record, where only the stop stays enabled.
  if (state.playing && c.handler != "StopPlayBtnClick") return false;
  return !isSeparator(c) && c.action && c.available && isVisible(c, state.showDebugItems) &&
         c.available(state);
}

namespace {

// One condition a command may wait for, and how to make it hold in a trial state.
struct Need {
  const char* text;
  void (*make)(CommandState&);
  bool sized = false;  // a length of a selection: only tried once there is one
};

// In the order a user would put them right: the file first, then what the file holds.
constexpr Need kNeeds[] = {
    {"an open file", [](CommandState& s) { s.file = true; }},
    {"no recording running", [](CommandState& s) { s.recording = false; }},
    {"a file that is not read-only", [](CommandState& s) { s.readonly = false; }},
    {"unsaved edits", [](CommandState& s) { s.undo = true; }},
    {"no unsaved edits (save or undo them first)", [](CommandState& s) { s.undo = false; }},
    {"an undone edit to redo", [](CommandState& s) { s.redo = true; }},
    {"a selection",
     [](CommandState& s) {
       s.sel = s.point = true;
       s.sellen = std::max<int64_t>(s.sellen, 1);
     }},
    {"a selection of at least 4096 frames",
     [](CommandState& s) {
       if (s.sel && s.sellen < 4096) s.sellen = 4096;
     },
     true},
    {"a selection of at most 16384 frames",
     [](CommandState& s) {
       if (s.sel && s.sellen > 16384) s.sellen = 16384;
     },
     true},
    {"a position (a selection start)", [](CommandState& s) { s.point = true; }},
    {"Edit Left on", [](CommandState& s) { s.editl = true; }},
    {"Edit Right on", [](CommandState& s) { s.editr = true; }},
    {"stored clicks", [](CommandState& s) { s.clicks = true; }},
    {"stored false clicks", [](CommandState& s) { s.falseClicks = true; }},
    {"a current click", [](CommandState& s) { s.currentClick = true; }},
    {"markers", [](CommandState& s) { s.markers = true; }},
    {"cue points", [](CommandState& s) { s.cues = true; }},
    {"pending deletions", [](CommandState& s) { s.deletions = true; }},
    {"pending insertions", [](CommandState& s) { s.insertions = true; }},
    {"views in the view history", [](CommandState& s) { s.views = true; }},
    {"a remembered selection", [](CommandState& s) { s.remembered = true; }},
    {"a compatible passage found", [](CommandState& s) { s.compat = true; }},
    {"an overlay", [](CommandState& s) { s.overlay = true; }},
    {"a noise fingerprint", [](CommandState& s) { s.fingerprint = true; }},
    {"a wave on the clipboard", [](CommandState& s) { s.clipwave = true; }},
    {"a playback device", [](CommandState& s) { s.playdev = true; }},
    {"a recording device", [](CommandState& s) { s.recdev = true; }},
    {"playback or recording running", [](CommandState& s) { s.playing = true; }},
};

constexpr size_t kSelectionNeed = 6;
static_assert(std::string_view(kNeeds[kSelectionNeed].text) == "a selection");

bool holdsWith(const Command& c, CommandState s, const std::vector<const Need*>& needs) {
  for (const Need* n : needs) n->make(s);
  s.direct = s.sel && !s.undo && !s.readonly;
  return c.available(s);
}

std::string joined(const std::vector<const Need*>& needs, const char* word) {
  std::string text = "needs ";
  for (size_t i = 0; i < needs.size(); ++i)
    text += (i ? std::string(" ") + word + " " : std::string()) + needs[i]->text;
  return text;
}

}  // namespace

std::string unavailableReason(const Command& c, const CommandState& state) {
  if (isSeparator(c) || isEnabled(c, state)) return "";
  if (!c.action || !c.available) return "not built in this version";
  if (!isVisible(c, state.showDebugItems)) return "hidden in this version";
  // Any one condition that would be enough on its own is the answer ("... or ...").
  std::vector<const Need*> alone;
  for (const Need& n : kNeeds)
    if (holdsWith(c, state, {&n})) alone.push_back(&n);
  if (!alone.empty()) return joined(alone, "or");
  // Otherwise take conditions in order until the command holds, then drop those it did
  // not need after all. Dropping runs front to back: a later condition may undo an earlier
  // one ("no unsaved edits" after "unsaved edits"), and the earlier one must go first.
  std::vector<const Need*> taken;
  for (const Need& n : kNeeds) {
    taken.push_back(&n);
    if (holdsWith(c, state, taken)) break;
  }
  if (!holdsWith(c, state, taken)) return "";
  for (size_t i = 0; i < taken.size();) {
    std::vector<const Need*> without;
    for (size_t k = 0; k < taken.size(); ++k)
      if (k != i) without.push_back(taken[k]);
    if (holdsWith(c, state, without))
      taken.swap(without);
    else
      ++i;
  }
  // "a selection of at least 4096 frames" says "a selection" already.
  if (std::any_of(taken.begin(), taken.end(), [](const Need* n) { return n->sized; }))
    std::erase(taken, &kNeeds[kSelectionNeed]);
  return joined(taken, "and");
}

bool isChecked(const Editor& editor, const Command& c) {
  return c.checkItem && c.checked && c.checked(editor);
}

std::string commandCaption(const Editor& editor, const Command& c) {
  // undoCaption() is "Undo" or "Undo " + the step's caption; the table caption keeps its "&".
  if (c.handler == "Undo1Click" && editor.doc)
    return std::string(c.caption) + editor.doc->undoCaption().substr(4);
  if (c.handler == "Redo1Click" && editor.doc)
    return std::string(c.caption) + editor.doc->redoCaption().substr(4);
  return std::string(c.caption);
}

void invoke(Editor& editor, const Command& c) {
  if (c.action) (editor.*c.action)();
}

bool macroButtonEnabled(bool slotDefined, const CommandState& state) {
  return slotDefined && !state.recording && !state.playing;
}

}  // namespace tolmar
