// The click list commands: visiting the stored clicks, marking them false, the click file and
// the conversion to markers.

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>

#include "base/whole_number.h"
#include "declick/click_file.h"
#include "document/binary_file.h"
#include "editor/editor.h"

namespace tolmar {

namespace {

constexpr char kNoMoreClicksText[] = "No more potential clicks";
constexpr char kClickFileFilter[] = "Click Files (*.clk)|*.clk|All Files (*.*)|*.*";

}  // namespace

std::string DeclickCommands::proposedClickFileName() const {
  return std::filesystem::path(ed().doc->path).replace_extension(".clk").string();
}

void DeclickCommands::showClick(int32_t position) {
  WaveFile& doc = *ed().doc;
  const int64_t p = position;
  doc.viewStart = static_cast<int32_t>(std::max<int64_t>(0, p - doc.viewWidth / 2));
  const int64_t around = static_cast<int64_t>(params.displayWidth) + params.clickWidth / 2;
  doc.selStart = static_cast<int32_t>(std::max<int64_t>(0, p - around));
  doc.selEnd = static_cast<int32_t>(std::min<int64_t>(doc.lastFrame, p + around));
  ed().resetCompatibleBlock();
}

void DeclickCommands::ClearStoredClicks1Click() {
  if (!ed().doc) return;
  clicks.stored.reset();
  ed().ctx.host().requestRepaint(Repaint::overlays());
}

void DeclickCommands::ClearFalseClicks1Click() {
  if (!ed().doc) return;
  clicks.falseClicks = GlitchList{};
  ed().ctx.host().requestRepaint(Repaint::overlays());
}

void DeclickCommands::gotoNextClick(int errorSite) {
  Editor& e = ed();
  if (!e.doc) return;
  bool shown = false;
  if (clicks.stored) {
    ++clicks.current;
    if (clicks.current < clicks.storedCount()) {
      if (clicks.current < 0) {
        e.ctx.listIndexError("MAIN", errorSite);
        return;
      }
      showClick(clicks.stored->items[static_cast<size_t>(clicks.current)].position);
      shown = true;
    } else {
      clicks.current = -1;
    }
  }
  if (!shown) e.ctx.warning(kNoMoreClicksText);
  e.ctx.host().requestRepaint(Repaint::all());
}

void DeclickCommands::FindNextClick1Click() {
  gotoNextClick(10);
}

void DeclickCommands::NextClickButtonClick() {
  gotoNextClick(8);
}

void DeclickCommands::GotoPreviousClick1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  bool shown = false;
  if (clicks.stored) {
    clicks.current = clicks.current == -1 ? clicks.storedCount() - 1 : clicks.current - 1;
    if (clicks.current < 0) {
      clicks.current = -1;
    } else if (clicks.current >= clicks.storedCount()) {
      e.ctx.listIndexError("MAIN", 11);
      return;
    } else {
      showClick(clicks.stored->items[static_cast<size_t>(clicks.current)].position);
      shown = true;
    }
  }
  if (!shown) e.ctx.warning(kNoMoreClicksText);
  e.ctx.host().requestRepaint(Repaint::all());
}

void DeclickCommands::GotoSpecificClick1Click() {
  Editor& e = ed();
  if (!e.doc || !clicks.stored || e.ctx.silentMode) return;
  GotoClickModel entry;
  DialogRequest request{kGotoClickDialogId, &entry};
  if (!e.ctx.host().runDialog(request)) {
    e.ctx.abortFlag = true;
    return;
  }
  const std::optional<int32_t> number = parseWholeNumber<int32_t>(entry.number);
  if (!number) {
    e.ctx.error("\"" + entry.number + "\" is not a whole number");
    return;
  }
  const int64_t index = static_cast<int64_t>(*number) - 1;
  if (index < 0 || index >= clicks.storedCount()) {
    clicks.current = -1;
    e.ctx.error("Invalid Click Number");
    return;
  }
  clicks.current = static_cast<int32_t>(index);
  showClick(clicks.stored->items[static_cast<size_t>(index)].position);
  e.ctx.host().requestRepaint(Repaint::all());
}

void DeclickCommands::GotoClickAfterSelClick() {
  Editor& e = ed();
  if (!e.doc || !clicks.stored) return;
  const auto& items = clicks.stored->items;
  const int32_t start = e.doc->selStart;
  const auto it =
      std::find_if(items.begin(), items.end(), [&](const Glitch& g) { return g.position > start; });
  clicks.current = static_cast<int32_t>(it - items.begin()) - (it == items.end() ? 0 : 1);
  gotoNextClick(41);
}

void DeclickCommands::MarkCurrentClickasFalse1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  if (!clicks.stored || clicks.current < 0 || clicks.current >= clicks.storedCount()) {
    e.ctx.listIndexError("MAIN", 39);
    return;
  }
  auto& items = clicks.stored->items;
  const Glitch g = items[static_cast<size_t>(clicks.current)];
  clicks.falseClicks.Add(g.position, g.polarity, g.channel);
  items.erase(items.begin() + clicks.current);
  // The next Goto Next Click shows the click that followed the one removed.
  --clicks.current;
  e.ctx.host().requestRepaint(Repaint::overlays());
}

void DeclickCommands::SaveClicksinFile1Click() {
  Editor& e = ed();
  if (!e.doc || (!clicks.hasClicks() && clicks.falseClicks.empty())) return;
  std::string path = proposedClickFileName();
  if (!e.ctx.silentMode) {
    FileDialogSpec spec;
    spec.title = "Save Clicks in File";
    spec.directory = std::filesystem::path(path).parent_path().string();
    spec.fileName = std::filesystem::path(path).filename().string();
    spec.filter = kClickFileFilter;
    spec.defaultExt = "clk";
    const auto chosen = e.ctx.host().saveFileDialog(spec);
    if (!chosen) return;
    path = *chosen;
  }
  e.ctx.host().setBusyCursor(true);
  try {
    writeClickFile(path, clicks.stored ? &*clicks.stored : nullptr, clicks.falseClicks);
  } catch (const FileError& err) {
    e.ctx.host().setBusyCursor(false);
    e.ctx.error(err.what());
    return;
  }
  e.ctx.host().setBusyCursor(false);
  e.ctx.wrote(path);
}

bool DeclickCommands::loadClickFile(const std::string& path) {
  Editor& e = ed();
  if (!e.doc) return false;
  BinaryFile file;
  try {
    file.openOrThrow(path, BinaryFile::Mode::Read);
  } catch (const FileError& err) {
    e.ctx.error(err.what());
    return false;
  }
  e.ctx.host().setBusyCursor(true);
  ClickFileContents lists = readClickFile(file);
  file.close();
  clicks.stored = std::move(lists.stored);
  clicks.falseClicks = std::move(lists.falseClicks);
  clicks.current = -1;
  e.ctx.host().setBusyCursor(false);
  e.ctx.host().requestRepaint(Repaint::overlays());
  return true;
}

void DeclickCommands::LoadClicksfromFile1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  if (!e.ctx.silentMode && clicks.stored &&
      e.ctx.ask(MsgKind::Warning, Buttons::OkCancel,
                "Existing list of clicks will be lost; continue?") != Answer::Ok)
    return;
  std::string path = proposedClickFileName();
  if (!e.ctx.silentMode) {
    FileDialogSpec spec;
    spec.title = "Load Clicks from File";
    spec.directory = std::filesystem::path(path).parent_path().string();
    spec.fileName = std::filesystem::path(path).filename().string();
    spec.filter = kClickFileFilter;
    spec.defaultExt = "clk";
    const auto chosen = e.ctx.host().openFileDialog(spec);
    if (!chosen) return;
    path = *chosen;
  }
  loadClickFile(path);
}

void DeclickCommands::PlaceMarkersatClickPositions1Click() {
  Editor& e = ed();
  if (!e.doc || !clicks.stored) return;
  // A click and its twin in the other channel, met one after the other, give one marker.
  bool first = true;
  int32_t previous = 0;
  for (const Glitch& g : clicks.stored->items) {
    if (first || g.position != previous) e.markers.Add(Marker::Both, g.position, 0);
    previous = g.position;
    first = false;
  }
  clicks.stored.reset();
  e.ctx.host().requestRepaint(Repaint::overlays());
}

}  // namespace tolmar
