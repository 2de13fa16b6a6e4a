#include "editor/view_commands.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "document/binary_file.h"
#include "document/replacing_file.h"
#include "editor/editor.h"

namespace fs = std::filesystem;

namespace tolmar {

namespace {
constexpr char kMarkerFilter[] = "Marker Files (*.mkr)|*.mkr|All Files (*.*)|*.*";
}

Editor& ViewCommands::ed() {
  return static_cast<Editor&>(*this);
}
const Editor& ViewCommands::ed() const {
  return static_cast<const Editor&>(*this);
}

void ViewCommands::SortMarkers() {
  markers.sortByPosition();
}

void ViewCommands::AddMarkerAt(int32_t position) {
  markers.Add(Marker::Both, std::max(position, 0), 0);
}

void ViewCommands::setAudibleMarker(int32_t position) {
  audibleMarker = std::max(position, 0);
}

void ViewCommands::forgetMarkers() {
  markers.Clear();
  audibleMarker = -1;
  currentMarker = -1;
}

void ViewCommands::showMarkerPosition(int32_t position) {
  Editor& e = ed();
  if (!e.doc) return;
  // 64-bit: a position read from a marker file may lie anywhere in the 32-bit range.
  e.doc->viewStart =
      static_cast<int32_t>(std::max<int64_t>(int64_t{position} - e.doc->viewWidth / 4, 0));
  e.ctx.host().requestRepaint(Repaint::view());
}

void ViewCommands::GotoFirstMarker1Click() {
  if (!ed().doc || markers.empty()) return;
  currentMarker = markers.items.front().position;
  showMarkerPosition(currentMarker);
}

void ViewCommands::GotoNextMarker1Click() {
  Editor& e = ed();
  if (!e.doc || markers.empty()) return;
  for (const Marker& m : markers.items) {
    if (m.position > currentMarker) {
      currentMarker = m.position;
      showMarkerPosition(currentMarker);
      return;
    }
  }
  if (e.ctx.settings.emitbeeps) e.ctx.host().beep();
}

void ViewCommands::ClearPlaybackMarkers1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  const int32_t s = e.doc->selStart;
  const int32_t t = e.doc->selEnd;
  std::erase_if(markers.items, [&](const Marker& m) { return s <= m.position && m.position <= t; });
  if (s <= audibleMarker && audibleMarker <= t) audibleMarker = -1;
  e.ctx.host().requestRepaint(Repaint::overlays());
  e.ctx.host().refreshCommands();
}

void ViewCommands::ClearAllMarkers1Click() {
  markers.Clear();
  audibleMarker = -1;
  ed().ctx.host().requestRepaint(Repaint::overlays());
  ed().ctx.host().refreshCommands();
}

std::string ViewCommands::proposedMarkerFileName() const {
  return fs::path(ed().doc->path).replace_extension(".mkr").string();
}

bool ViewCommands::saveMarkerFile(const std::string& path) {
  Context& ctx = ed().ctx;
  // A failed write leaves the previous markers whole.
  ReplacingFile f(path);
  try {
    f.openOrThrow();
  } catch (const FileError& err) {
    ctx.error(err.what());
    return false;
  }
  if (!markers.Write(f.file()) || !f.commit()) {
    ctx.error("Failed to write file " + path);
    return false;
  }
  return true;
}

bool ViewCommands::loadMarkerFile(const std::string& path) {
  Context& ctx = ed().ctx;
  BinaryFile f;
  try {
    f.openOrThrow(path, BinaryFile::Mode::Read);
  } catch (const FileError& err) {
    ctx.error(err.what());
    return false;
  }
  markers.Clear();
  markers.Read(f);
  SortMarkers();
  ctx.host().requestRepaint(Repaint::overlays());
  ctx.host().refreshCommands();
  return true;
}

void ViewCommands::SaveMarkersinFile1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  FileDialogSpec spec;
  spec.title = "Save Markers in File";
  spec.fileName = proposedMarkerFileName();
  spec.directory = fs::path(e.doc->path).parent_path().string();
  spec.filter = kMarkerFilter;
  spec.defaultExt = "mkr";
  std::string target = spec.fileName;
  if (!e.ctx.batchRunning) {
    const auto chosen = e.ctx.host().saveFileDialog(spec);
    if (!chosen) return;
    target = *chosen;
  }
  e.ctx.host().setBusyCursor(true);
  const bool saved = saveMarkerFile(target);
  e.ctx.host().setBusyCursor(false);
  if (saved) e.ctx.wrote(target);
}

void ViewCommands::LoadMarkersfromFile1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  if (!e.ctx.batchRunning && !markers.empty() &&
      e.ctx.ask(MsgKind::Information, Buttons::OkCancel,
                "Existing markers will be lost; continue?") != Answer::Ok)
    return;
  FileDialogSpec spec;
  spec.title = "Load Markers from File";
  spec.fileName = proposedMarkerFileName();
  spec.directory = fs::path(e.doc->path).parent_path().string();
  spec.filter = kMarkerFilter;
  spec.defaultExt = "mkr";
  std::string source = spec.fileName;
  if (!e.ctx.batchRunning) {
    const auto chosen = e.ctx.host().openFileDialog(spec);
    if (!chosen) return;
    source = *chosen;
  }
  e.ctx.host().setBusyCursor(true);
  loadMarkerFile(source);
  e.ctx.host().setBusyCursor(false);
}

}  // namespace tolmar
