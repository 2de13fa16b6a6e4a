#include "editor/declick_commands.h"

#include "declick/detection.h"
#include "editor/editor.h"

namespace tolmar {

Editor& DeclickCommands::ed() {
  return static_cast<Editor&>(*this);
}
const Editor& DeclickCommands::ed() const {
  return static_cast<const Editor&>(*this);
}

std::string findClicksResultText(int32_t count) {
  return std::to_string(count) + " Potential Clicks Found";
}

void DeclickCommands::discardClickLists() {
  clicks.stored.reset();
  clicks.falseClicks = GlitchList{};
  clicks.current = -1;
}

void DeclickCommands::FindAllClicks1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  const int32_t count =
      FindClicks(*e.doc, params, clicks, params.includeUpdates, /*showProgress=*/true,
                 /*repair=*/false);
  clicks.current = -1;
  if (!clicks.stored) return;
  if (e.ctx.silentMode) {
    e.ctx.info(std::to_string(count) + " potential clicks found");
  } else {
    FindClicksResultModel result{count, false};
    DialogRequest request{kFindClicksResultDialogId, &result};
    e.ctx.host().runDialog(request);
    if (result.removeRequested && count >= 1) e.RemoveAllClicks1Click();
  }
  e.ctx.host().requestRepaint(Repaint::overlays());
}

void DeclickCommands::FindandRemoveAllClicks1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  // Declicking is normally run over a whole side, and what it removes cannot be put back.
  if (!e.VerifyDirectOverwrite(/*wholeFile=*/true, /*strong=*/true)) return;
  int32_t count = 0;
  bool failed = false;
  {
    DirectWriteScope scope(*e.doc);
    count = FindClicks(*e.doc, params, clicks, /*includeUpdates=*/false,
                       /*showProgress=*/true, /*repair=*/true, e.smoothEdges, &failed);
  }
  // The clicks counted reached the file; the rest of the selection was left as it was.
  if (failed) e.ctx.error("Failed to write to " + e.doc->path);
  // Repairs that did not reach the disk are not reported as removed.
  if (e.doc->finishDirectWrite()) e.ctx.info(std::to_string(count) + " Clicks Removed");
  e.ctx.host().requestRepaint(e.doc->selectionSamples());
}

}  // namespace tolmar
