#include "editor/cue_commands.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "config/settings_io.h"
#include "cue/cue_sheet.h"
#include "document/file_copy.h"
#include "document/replacing_file.h"
#include "document/time_text.h"
#include "editor/editor.h"

namespace tolmar {

namespace fs = std::filesystem;

namespace {

constexpr char kCueExists[] = "A cue point already exists on this frame";
constexpr char kCueFilter[] = "Cue Sheets (*.cue)|*.cue|All Files (*.*)|*.*";
// A sheet is a few kilobytes; anything near this is not one.
constexpr std::uintmax_t kMaxCueSheetBytes = 4u << 20;

std::string twoDigits(int n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%.2d", n);
  return buf;
}

CueSheetData sheetDataOf(const WaveFile& doc) {
  return {doc.discPerformer, doc.discTitle, doc.track1Performer, doc.track1Title, doc.cues};
}

}  // namespace

Editor& CueCommands::ed() {
  return static_cast<Editor&>(*this);
}
const Editor& CueCommands::ed() const {
  return static_cast<const Editor&>(*this);
}

int64_t CueCommands::safetyMarginFrames(int marginMs) const {
  return std::llround(static_cast<double>(marginMs) * ed().ctx.sampleRate / 1000.0);
}

bool CueCommands::AddTrackCue(int32_t position, bool snapDown, bool applyOffset) {
  Editor& e = ed();
  if (!e.doc) return false;
  int64_t p = position;
  if (applyOffset) p -= safetyMarginFrames(e.ctx.settings.safetymargin);
  const int rate = e.ctx.sampleRate;
  Cue cue;
  cue.position = snapDown ? snapDownToCdFrame(p, rate) : snapUpToCdFrame(p, rate);
  if (!insertCue(e.doc->cues, std::move(cue))) return false;
  e.doc->cuesNotWritten = true;
  if (!e.ctx.inMacroOrBatch()) e.ctx.host().requestRepaint(Repaint::overlays());
  return true;
}

void CueCommands::AddCue1Click() {
  Editor& e = ed();
  if (!e.doc || e.doc->selStart < 0) return;
  WaveFile& doc = *e.doc;
  const int rate = e.ctx.sampleRate;
  int32_t position = snapUpToCdFrame(doc.selStart, rate);
  if (cueOccupied(doc.cues, position)) {
    e.ctx.warning(kCueExists);
    return;
  }
  Cue cue;
  bool setStart = true;
  if (e.ctx.inMacroOrBatch()) {
    position = snapUpToCdFrame(
        int64_t{doc.selStart} - safetyMarginFrames(e.ctx.settings.safetymargin), rate);
  } else {
    AddCueModel model;
    model.marginMs = e.ctx.settings.safetymargin;
    DialogRequest request{"AddCue", &model};
    if (!e.ctx.host().runDialog(request)) return;
    if (model.marginMs != e.ctx.settings.safetymargin) {
      e.ctx.settings.safetymargin = model.marginMs;
      writeSettings(e.iniFile, e.ctx.settings);
      std::string error;
      if (!e.iniFile.path().empty() && !e.iniFile.save(&error)) e.ctx.error(error);
    }
    if (model.type == AddCueModel::TrackWithMargin && model.marginMs >= 1)
      position = snapUpToCdFrame(int64_t{doc.selStart} - safetyMarginFrames(model.marginMs), rate);
    cue.track = model.type != AddCueModel::Index;
    cue.indexZero = model.type == AddCueModel::TrackIndex0;
    setStart = model.setStartMark;
  }
  cue.position = position;
  if (!insertCue(doc.cues, std::move(cue))) {
    e.ctx.warning(kCueExists);
    return;
  }
  doc.cuesNotWritten = true;
  if (setStart) doc.selStart = position;
  e.ctx.host().requestRepaint(Repaint::overlays() | Repaint::selection());
  e.ctx.host().refreshCommands();
}

void CueCommands::RemoveDAOCuePoints1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  WaveFile& doc = *e.doc;
  const auto removed = std::erase_if(doc.cues, [&](const Cue& c) {
    return doc.selStart <= c.position && c.position <= doc.selEnd;
  });
  if (removed == 0) return;
  doc.cuesNotWritten = true;
  e.ctx.host().requestRepaint(Repaint::overlays());
  e.ctx.host().refreshCommands();
}

void CueCommands::AddRegularCuePoints1Click() {
  Editor& e = ed();
  if (!e.doc || e.ctx.inMacroOrBatch() || !e.doc->hasSelection()) return;
  WaveFile& doc = *e.doc;
  RegularCuesModel model;
  DialogRequest request{"AddRegularCues", &model};
  if (!e.ctx.host().runDialog(request)) return;
  // A step of nothing would never pass the selection end.
  if (model.seconds < 1) return;
  const int64_t step = int64_t{model.seconds} * e.ctx.sampleRate;
  bool added = false;
  for (int64_t p = snapUpToCdFrame(doc.selStart, e.ctx.sampleRate); p <= doc.selEnd; p += step) {
    Cue cue;
    cue.position = static_cast<int32_t>(p);
    cue.track = !model.indexes;
    added = insertCue(doc.cues, std::move(cue)) || added;
  }
  if (!added) return;
  doc.cuesNotWritten = true;
  e.ctx.host().requestRepaint(Repaint::overlays());
  e.ctx.host().refreshCommands();
}

std::vector<std::string> CueCommands::cueListTexts() const {
  const Editor& e = ed();
  std::vector<std::string> lines;
  if (!e.doc) return lines;
  int track = 1;
  int index = 1;
  for (const Cue& cue : e.doc->cues) {
    if (cue.track) {
      ++track;
      index = cue.indexZero ? 0 : 1;
    } else {
      ++index;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, " track %.2d, index %d (", track, index);
    lines.push_back(buf + formatTime(e.ctx, cue.position, e.doc->cues) + ")");
  }
  return lines;
}

std::vector<std::string> CueCommands::trackListTexts() const {
  const Editor& e = ed();
  std::vector<std::string> lines;
  if (!e.doc) return lines;
  lines.push_back("track 01 (" + formatTime(e.ctx, 0, e.doc->cues) + ")");
  int track = 1;
  for (const Cue& cue : e.doc->cues) {
    if (!cue.track) continue;
    ++track;
    lines.push_back("track " + twoDigits(track) + " (" +
                    formatTime(e.ctx, cue.position, e.doc->cues) + ")");
  }
  return lines;
}

void CueCommands::showCue(int32_t position, bool setStart) {
  Editor& e = ed();
  e.doc->viewStart = std::max(position - e.doc->viewWidth / 4, 0);
  if (setStart) e.doc->selStart = position;
  e.ctx.host().requestRepaint(Repaint::all());
}

void CueCommands::GotoCuePoint1Click() {
  Editor& e = ed();
  if (!e.doc || e.doc->cues.empty() || e.ctx.inMacroOrBatch()) return;
  GotoCueModel model;
  model.lines = cueListTexts();
  model.chosen = std::clamp(currentCue, 0, static_cast<int>(model.lines.size()) - 1);
  model.setStartMark = e.ctx.settings.gocuesetstart;
  DialogRequest request{"GotoCue", &model};
  const bool ok = e.ctx.host().runDialog(request);
  e.ctx.settings.gocuesetstart = model.setStartMark;
  if (!ok || model.chosen < 0 || model.chosen >= static_cast<int>(e.doc->cues.size())) return;
  currentCue = model.chosen;
  showCue(e.doc->cues[static_cast<size_t>(currentCue)].position, model.setStartMark);
}

void CueCommands::GotoFirstCuePoint1Click() {
  Editor& e = ed();
  if (!e.doc || e.doc->cues.empty()) return;
  currentCue = 0;
  showCue(e.doc->cues.front().position, e.ctx.settings.gocuesetstart);
}

void CueCommands::GotoNextCuePoint1Click() {
  Editor& e = ed();
  if (!e.doc || e.doc->cues.empty()) return;
  const int last = static_cast<int>(e.doc->cues.size()) - 1;
  currentCue = std::clamp(currentCue + 1, 0, last);
  showCue(e.doc->cues[static_cast<size_t>(currentCue)].position, e.ctx.settings.gocuesetstart);
}

void CueCommands::GotoPreviousCuePoint1Click() {
  Editor& e = ed();
  if (!e.doc || e.doc->cues.empty()) return;
  const int last = static_cast<int>(e.doc->cues.size()) - 1;
  currentCue = std::clamp(currentCue - 1, 0, last);
  showCue(e.doc->cues[static_cast<size_t>(currentCue)].position, e.ctx.settings.gocuesetstart);
}

void CueCommands::DisplayTrack1Click() {
  Editor& e = ed();
  if (!e.doc || e.ctx.inMacroOrBatch()) return;
  WaveFile& doc = *e.doc;
  DisplayTrackModel model;
  model.lines = trackListTexts();
  DialogRequest request{"DisplayTrack", &model};
  if (!e.ctx.host().runDialog(request)) return;
  std::vector<int32_t> starts{0};
  for (const Cue& cue : doc.cues)
    if (cue.track) starts.push_back(cue.position);
  if (model.chosen < 0 || model.chosen >= static_cast<int>(starts.size())) return;
  const size_t k = static_cast<size_t>(model.chosen);
  doc.selStart = std::min(starts[k], doc.lastFrame);
  doc.selEnd = k + 1 < starts.size() ? std::min(starts[k + 1], doc.lastFrame) : doc.lastFrame;
  // Show the selection: the page runs from its start over its length.
  doc.viewStart = doc.selStart;
  doc.viewWidth = std::max(std::min(doc.selEnd - doc.selStart, doc.frameCount), 6);
  e.ctx.host().requestRepaint(Repaint::all());
  e.ctx.host().refreshCommands();
}

void CueCommands::SetupCDTextData1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  WaveFile& doc = *e.doc;
  CdTextModel model;
  model.discPerformer = doc.discPerformer;
  model.discTitle = doc.discTitle;
  model.rows.push_back({doc.track1Performer, doc.track1Title});
  for (const Cue& cue : doc.cues)
    if (cue.track) model.rows.push_back({cue.performer, cue.title});
  DialogRequest request{"CDTextSetup", &model};
  if (!e.ctx.host().runDialog(request)) return;
  doc.discPerformer = model.discPerformer;
  doc.discTitle = model.discTitle;
  size_t row = 0;
  if (row < model.rows.size()) {
    doc.track1Performer = model.rows[row].performer;
    doc.track1Title = model.rows[row].title;
  }
  for (Cue& cue : doc.cues) {
    if (!cue.track) continue;
    if (++row >= model.rows.size()) break;
    cue.performer = model.rows[row].performer;
    cue.title = model.rows[row].title;
  }
}

std::string CueCommands::proposedCueSheetName() const {
  return fs::path(ed().doc->path).replace_extension(".cue").string();
}

bool CueCommands::writeCueSheetFile(const std::string& path, bool append) {
  Editor& e = ed();
  WaveFile& doc = *e.doc;
  int firstTrack = 1;
  bool lineBreak = false;
  std::string existing;
  if (append) {
    std::ifstream in(path, std::ios::binary);
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (!in || ec || size > kMaxCueSheetBytes) {
      e.ctx.error("Failed to read file " + path);
      return false;
    }
    existing.assign(std::istreambuf_iterator<char>(in), {});
    firstTrack = lastTrackNumber(existing) + 1;
    // A sheet written elsewhere may end without a line break: its last line must stay its own.
    if (!existing.empty() && existing.back() != '\n') lineBreak = true;
  }
  // The sheet is written whole under a new name and put in place, appended lines included, so
  // a failed write leaves the previous sheet as it was.
  const std::string text =
      existing + (lineBreak ? "\n" : "") +
      cueSheetText(sheetDataOf(doc), doc.path, e.ctx.sampleRate, append, firstTrack);
  ReplacingFile out(path);
  bool ok = false;
  try {
    out.openOrThrow();
    ok = out.file().writeExact(text.data(), text.size()) && out.commit();
  } catch (const FileError&) {
  }
  if (!ok) {
    e.ctx.error("Failed to write file " + path);
    return false;
  }
  doc.cuesNotWritten = false;
  e.ctx.wrote(path);
  return true;
}

void CueCommands::CreateDAOCueSheet1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  std::string target = proposedCueSheetName();
  const bool automated = e.ctx.inMacroOrBatch();
  if (!automated) {
    FileDialogSpec spec;
    spec.title = "Write Cue Sheet";
    spec.fileName = target;
    spec.directory = fs::path(e.doc->path).parent_path().string();
    spec.filter = kCueFilter;
    spec.defaultExt = "cue";
    const auto chosen = e.ctx.host().saveFileDialog(spec);
    if (!chosen) return;
    target = *chosen;
  }
  // The sheet format has no escape for a quote: such a name would end early when read back.
  if (e.doc->path.find('"') != std::string::npos) {
    e.ctx.error("Cannot write a cue sheet for \"" + e.doc->path +
                "\": a cue sheet cannot name a file whose name contains a double quote (\")");
    return;
  }
  // Overwriting the recording with its own sheet would destroy it.
  if (sameFile(target, e.doc->path)) {
    e.ctx.error("New file same as existing file!");
    return;
  }
  std::error_code ec;
  bool append = false;
  if (fs::exists(target, ec)) {
    if (automated) {
      append = true;
    } else {
      ExistingCueFileModel model;
      model.text = fs::path(target).filename().string() + " already exists";
      DialogRequest request{"ExistingCueFile", &model};
      if (!e.ctx.host().runDialog(request)) return;
      append = model.choice == ExistingCueFileModel::Append;
    }
  }
  if (!writeCueSheetFile(target, append)) return;
  e.ctx.info(append ? "Cue Sheet updated" : "Cue Sheet created");
}

bool CueCommands::readCueSheetFile(const std::string& path) {
  Editor& e = ed();
  WaveFile& doc = *e.doc;
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  std::ifstream in(path, std::ios::binary);
  if (ec || !in) {
    e.ctx.error("Failed to read file " + path);
    return false;
  }
  if (size > kMaxCueSheetBytes) {
    e.ctx.error(path + " is not a cue sheet");
    return false;
  }
  const std::string text{std::istreambuf_iterator<char>(in), {}};
  CueSheetData data = sheetDataOf(doc);
  const bool automated = e.ctx.inMacroOrBatch();
  std::vector<UnreadableCueLine> unreadable;
  const bool replaced = readCueSheet(
      text, e.ctx.sampleRate, doc.lastFrame, data,
      [&](const std::string& name) {
        if (automated) return true;
        if (equalIgnoringCase(name, doc.path)) return true;
        return e.ctx.ask(MsgKind::Warning, Buttons::OkCancel,
                         "Cue Sheet is not for this WAV file - Read Anyway?") == Answer::Ok;
      },
      &unreadable);
  if (!unreadable.empty()) e.ctx.warning(unreadableCueLinesText(unreadable));
  doc.discPerformer = std::move(data.discPerformer);
  doc.discTitle = std::move(data.discTitle);
  doc.track1Performer = std::move(data.track1Performer);
  doc.track1Title = std::move(data.track1Title);
  auto samePositions = [](const std::vector<Cue>& a, const std::vector<Cue>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const Cue& x, const Cue& y) { return x.position == y.position; });
  };
  // A list that is exactly the sheet's is on disk already; cues merged into unsaved ones, or
  // kept when reading stopped, still need writing out.
  if (replaced)
    doc.cuesNotWritten = false;
  else if (!samePositions(doc.cues, data.cues))
    doc.cuesNotWritten = true;
  doc.cues = std::move(data.cues);
  currentCue = 0;
  e.ctx.host().requestRepaint(Repaint::overlays());
  e.ctx.host().refreshCommands();
  return true;
}

void CueCommands::ReadDAOCueSheet1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  std::string source = proposedCueSheetName();
  if (!e.ctx.inMacroOrBatch()) {
    FileDialogSpec spec;
    spec.title = "Read Cue Sheet";
    spec.fileName = source;
    spec.directory = fs::path(e.doc->path).parent_path().string();
    spec.filter = kCueFilter;
    spec.defaultExt = "cue";
    const auto chosen = e.ctx.host().openFileDialog(spec);
    if (!chosen) return;
    source = *chosen;
  }
  if (e.doc->cuesNotWritten &&
      !e.ctx.askYesNo("There cue points which have not been saved to a cue sheet or used to "
                      "split tracks;\rif you proceed they will be lost.\rDo you wish to proceed?"))
    return;
  e.ctx.host().setBusyCursor(true);
  readCueSheetFile(source);
  e.ctx.host().setBusyCursor(false);
}

void CueCommands::ConvertMarkersClick() {
  Editor& e = ed();
  if (!e.doc) return;
  const int32_t s = e.doc->selStart;
  const int32_t t = e.doc->selEnd;
  for (size_t i = e.markers.items.size(); i-- > 0;) {
    const int32_t p = e.markers.items[i].position;
    if (p < s || p > t) continue;
    AddTrackCue(p, false, e.ctx.settings.addoffsetonconvert);
    e.markers.Delete(i);
  }
  e.ctx.host().requestRepaint(Repaint::overlays());
  e.ctx.host().refreshCommands();
}

}  // namespace tolmar
