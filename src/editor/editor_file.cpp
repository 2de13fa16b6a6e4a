// Opening, closing and saving the document.

#include <filesystem>

#include "config/settings_io.h"
#include "document/file_names.h"
#include "document/time_text.h"
#include "document/wav_format.h"
#include "editor/editor.h"

namespace tolmar {

std::string lockedElsewhereText(const std::string& path) {
  return "File " + path +
         " is open for writing in another Tolmar process; it is left alone until that process "
         "closes it";
}

std::string lockedElsewhereReadOnlyText() {
  return "File being opened is open for writing in another Tolmar process.\rIt is opened read "
         "only: edits cannot be saved back to this file";
}

Editor::Editor(Host& host) : EditorCore(host), DeclickCommands(ctx.settings.declick) {}

Editor::~Editor() = default;

std::string Editor::titleText() const {
  if (!doc) return "Tolmar";
  return doc->path + " (length " + formatTime(ctx, doc->lastFrame, doc->cues) + "; samplerate " +
         std::to_string(ctx.sampleRate) + ")";
}

void Editor::refreshTitle() {
  ctx.host().setTitle(titleText());
}

bool Editor::OpenDocument(const std::string& path, bool replace, BinaryFile* heldLock) {
  // A repaired header sends the open round again, as often as the user repairs.
  bool retry = true;
  bool ok = false;
  while (retry) {
    retry = false;
    ok = openOnce(path, replace, retry, heldLock);
  }
  ctx.host().refreshCommands();
  return ok;
}

bool Editor::openOnce(const std::string& path, bool replace, bool& retry, BinaryFile* heldLock) {
  ctx.readOnly = fileExists(path) && !fileWritable(path);
  if (ctx.readOnly)
    ctx.warning("File being opened is read only.\rEdits cannot be saved back to this file");
  if (replace || !doc) {
    // Markers belong to the file they were placed on.
    if (replace) forgetMarkers();
    if (doc) documentClosed();
    doc.reset();
    doc = std::make_unique<WaveFile>(ctx);
  }
  // Before the pump: another process must never find the file unlocked in between.
  if (heldLock && heldLock->isOpen()) doc->adoptLock(std::move(*heldLock));
  ctx.host().pump();

  bool opened = false;
  doc->lockForWriting = !ctx.inspectOnly;
  try {
    opened = doc->Open(path, false, ctx.settings.initialdisplay);
  } catch (const FileError& e) {
    doc.reset();
    ctx.error(e.what());
    refreshTitle();
    return false;
  }

  if (!opened) {
    doc.reset();
    refreshTitle();
    if (ctx.silentMode) {
      // No dialog in silent mode: the report goes to the log instead.
      ctx.error(std::string(kUnsupportedFormatText) + ": " + path);
      return false;
    }
    UnsupportedFormatModel model{path, unsupportedFormatLines(ctx.headerCopy), 44100};
    DialogRequest req{kUnsupportedFormatDialogId, &model};
    if (ctx.host().runDialog(req)) {
      if (rewriteDamagedHeader(path, model.rewriteRate)) {
        ctx.info(kHeaderRewrittenText);
        retry = true;
      } else {
        ctx.error("Failed to rewrite the header of " + path);
      }
    }
    return false;
  }

  if (doc->lockedElsewhere()) {
    // A run over the file must not go on with it: it is refused, and counts as failed.
    if (ctx.inMacroOrBatch() || ctx.silentMode) {
      doc.reset();
      ctx.error(lockedElsewhereText(path));
      refreshTitle();
      return false;
    }
    // A person may still look at it and listen to it.
    ctx.readOnly = true;
    ctx.warning(lockedElsewhereReadOnlyText());
  }

  // Clicks belong to the file they were found in.
  if (replace) discardClickLists();
  forgetBlocks();
  viewDocumentOpened(replace);
  addToRecentFiles(iniFile, path);
  refreshTitle();
  if (ctx.settings.openselect) {
    doc->selStart = 0;
    doc->selEnd = doc->lastFrame;
  }
  doc->BuildPeakSummary();
  ctx.host().requestRepaint(Repaint::all());
  return true;
}

bool Editor::QueryClose() {
  // A long operation pumping messages holds the document, also inside a macro step.
  if (ctx.progressDepth > 0) return false;
  if (ctx.inMacroOrBatch()) return true;
  if (!doc) return true;
  if (!doc->deletions.empty() || !doc->insertions.empty()) {
    if (!ctx.askYesNo(
            "There are sections marked for deletion and/or silences marked for insertion;\rif "
            "you proceed these deletions/insertions will not be actioned.\rDo you wish to "
            "proceed?"))
      return false;
  }
  if (!doc->cues.empty() && doc->cuesNotWritten) {
    if (!ctx.askYesNo("There cue points which have not been saved to a cue sheet or used to split "
                      "tracks;\rif you proceed they will be lost.\rDo you wish to proceed?"))
      return false;
  }
  if (doc->undoSteps.empty()) return true;
  if (ctx.readOnly) {
    return !ctx.askYesNo(
        "There are unsaved changes but the file is read only.\rThe only way to save your edits "
        "is to use File | SaveAs.\rDo you want to go back and have the chance to save your "
        "edits?");
  }
  const Answer a =
      ctx.ask(MsgKind::Information, Buttons::YesNoCancel, "Save updates to " + doc->path + "?");
  if (a == Answer::Cancel) return false;
  bool proceed = true;
  if (a == Answer::Yes) {
    proceed = Save1Click();
  } else {
    while (doc->Undo()) {
    }
  }
  ctx.host().refreshCommands();
  return proceed;
}

void Editor::OpenWAVFile1Click() {
  FileDialogSpec spec;
  spec.title = "Open WAV File";
  spec.directory = ctx.settings.wavdir.empty() ? workingDirectory() : ctx.settings.wavdir;
  spec.filter = kWavFileFilter;
  spec.defaultExt = "wav";
  const auto chosen = ctx.host().openFileDialog(spec);
  if (!chosen) return;
  if (!QueryClose()) return;
  OpenDocument(*chosen, true);
}

void Editor::CloseFile1Click() {
  if (doc && QueryClose()) {
    doc.reset();
    documentClosed();
    ctx.host().requestRepaint(Repaint::all());
  }
  refreshTitle();
  ctx.host().refreshCommands();
}

bool Editor::FormClose(const WindowPosition& window) {
  if (ctx.playing) return false;
  if (!QueryClose()) return false;
  doc.reset();
  writeSettingsAtClose(window);
  return true;
}

void Editor::TruncateExtraData1Click() {
  if (!doc) return;
  TruncateInfo info;
  try {
    info = inspectSpuriousBytes(doc->path, doc->frameCount, doc->dataOffset);
  } catch (const FileError& e) {
    ctx.error(e.what());
    return;
  }
  if (!info.hasSpuriousBytes) {
    ctx.info(kNoSpuriousBytesText);
    return;
  }
  if (!ctx.inMacroOrBatch()) {
    ConfirmTruncationModel model = confirmTruncationModel(info);
    DialogRequest req{kConfirmTruncationDialogId, &model};
    if (!ctx.host().runDialog(req)) return;
  }
  doc->invalidateReadStream();
  if (!truncateSpuriousBytes(doc->path, info.newRiffSize())) {
    ctx.error("Failed to truncate " + doc->path);
    return;
  }
  ctx.info(spuriousBytesRemovedText(info.spuriousBytes));
}

bool Editor::saveEnabled() const {
  return doc && doc->canUndo() && !ctx.readOnly;
}

// A long edit pumps messages while its records are on the list but not yet in an undo step:
// Save, Undo or Redo run from the pump then would write them, or pair them with the wrong step.
bool Editor::Save1Click() {
  if (!doc || ctx.progressDepth > 0 || doc->undoSteps.empty()) return false;
  if (ctx.settings.saveconfirm && !ctx.askYesNo("Are you sure you wish to save back to hard disk?"))
    return false;
  BinaryFile f;
  if (!f.open(doc->path, BinaryFile::Mode::ReadWrite)) {
    ctx.error("Cannot open file \"" + doc->path + "\" for writing");
    return false;
  }
  const bool ok = doc->WriteEditsToFile(f);
  f.close();
  if (ok) doc->EndHistory();
  ctx.host().refreshCommands();
  ctx.host().requestRepaint(Repaint::all());
  return ok;
}

void Editor::Undo1Click() {
  if (!doc || ctx.progressDepth > 0 || !doc->Undo()) return;
  ctx.host().refreshCommands();
  ctx.host().requestRepaint(Repaint::all());
}

void Editor::Redo1Click() {
  if (!doc || ctx.progressDepth > 0 || !doc->Redo()) return;
  ctx.host().refreshCommands();
  ctx.host().requestRepaint(Repaint::all());
}

}  // namespace tolmar
