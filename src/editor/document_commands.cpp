#include "editor/document_commands.h"
#include "base/whole_number.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>
#include <optional>
#include <vector>

#include "config/settings_io.h"
#include "document/deletions.h"
#include "document/file_copy.h"
#include "document/file_names.h"
#include "document/save_journal.h"
#include "document/storage_sync.h"
#include "document/time_text.h"
#include "document/wav_format.h"
#include "editor/editor.h"

namespace fs = std::filesystem;

namespace tolmar {

Editor& DocumentCommands::ed() {
  return static_cast<Editor&>(*this);
}
const Editor& DocumentCommands::ed() const {
  return static_cast<const Editor&>(*this);
}

bool DocumentCommands::VerifyDirectOverwrite(bool wholeFile, bool strong) {
  Editor& e = ed();
  if (!e.doc) return false;
  if (!e.doc->undoSteps.empty()) {
    e.ctx.error(kUnsavedChangesText);
    return false;
  }
  if (e.ctx.inMacroOrBatch()) return true;
  if (wholeFile && (e.doc->selStart != 0 || e.doc->selEnd != e.doc->lastFrame)) {
    if (!e.ctx.askYesNo(kWholeFileQuestion)) return false;
  }
  const std::string text =
      strong ? "*** NOTE CAREFULLY ***\r\rThis operation will overwrite the original file on disk "
               "and CANNOT be undone\r\rONLY PROCEED IF YOU ARE CONFIDENT THAT THE CURRENT "
               "SETTINGS FOR THIS OPERATION ARE CORRECT!!!\r\rDo you wish to proceed?"
             : "*** NOTE CAREFULLY ***\r\rThis operation will overwrite the original file on disk "
               "and CANNOT be undone\r\rDo you wish to proceed?";
  return e.ctx.ask(MsgKind::Warning, Buttons::YesNo, text) == Answer::Yes;
}

void DocumentCommands::SaveAs1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  FileDialogSpec spec;
  spec.title = "Save Entire WAV File";
  spec.directory = directoryOf(e.doc->path);
  spec.fileName = makeNumberedFileName(e.doc->path);
  spec.filter = kWavFileFilter;
  spec.defaultExt = "wav";
  std::string target = spec.fileName;
  if (!e.ctx.inMacroOrBatch()) {
    const auto chosen = e.ctx.host().saveFileDialog(spec);
    if (!chosen) return;
    target = *chosen;
  }
  // The same file under another spelling would be truncated by the copy.
  if (sameFile(target, e.doc->path)) {
    e.ctx.error("New file same as existing file!");
    return;
  }
  // Replacing a file another process is editing would leave it writing into a nameless file.
  if (heldElsewhere(target)) {
    e.ctx.error("Failed to write file " + target + ": it is open for writing in another process");
    return;
  }
  // The copy and the edits go into a scratch file beside the new name, which takes the name
  // only once it is complete: a kill or a full disk leaves whatever had the name before.
  WaveFile& doc = *e.doc;
  const std::string original = doc.path;
  const std::string scratch = scratchNameFor(target);
  BinaryFile copy;
  if (!createScratch(copy, scratch)) {
    e.ctx.error("Failed to write file " + target);
    return;
  }
  if (!copyFileInto(e.ctx, original, copy, scratch, " Writing:", std::nullopt)) return;
  doc.path = scratch;
  doc.invalidateReadStream();  // the old stream still reads the old file
  // Without edits there is nothing to save: the copy is the whole new file.
  const bool saved = e.Save1Click() || doc.undoSteps.empty();
  std::error_code ec;
  const std::string journal = journalPathFor(scratch);
  if (fs::exists(fs::symlink_status(journal, ec))) {
    // The save failed and could not be taken back: the scratch file is nobody's, and the
    // steps it did not take are still in the history.
    fs::remove(scratch, ec);
    fs::remove(journal, ec);
    copy.close();
    doc.path = original;
    doc.invalidateReadStream();
    return;
  }
  // A save stopped part-way still took the steps it wrote out of the history: the file that
  // holds them takes the new name all the same, as the document now shows it.
  fs::rename(scratch, target, ec);
  const bool renamed = !ec;
  if (!renamed) {
    fs::remove(scratch, ec);
    copy.close();
    doc.path = original;
    doc.invalidateReadStream();
    e.ctx.error("Failed to write file " + target);
    return;
  }
  saveBoundary();
  syncDirectoryOf(target);
  doc.path = target;
  doc.invalidateReadStream();
  // The scratch file's lock is the new file's: held from its creation on, never let go of.
  copy.renamed(target);
  doc.adoptLock(std::move(copy));
  doc.relock();
  if (saved) e.ctx.wrote(target);
  e.ctx.readOnly = false;
  e.refreshTitle();
  addToRecentFiles(e.iniFile, target);
  e.ctx.host().refreshCommands();
}

void DocumentCommands::MarkforDeletion1Click() {
  Editor& e = ed();
  if (!e.doc || !e.doc->hasSelection()) return;
  addDeletionMark(e.doc->deletions, {e.doc->selStart, e.doc->selEnd});
  e.ctx.host().requestRepaint(Repaint::overlays());
  e.ctx.host().refreshCommands();
}

void DocumentCommands::ClearDeletionMarks1Click() {
  Editor& e = ed();
  if (!e.doc) return;
  const int32_t s = e.doc->selStart;
  const int32_t t = e.doc->selEnd;
  std::erase_if(e.doc->deletions, [&](const Deletion& d) { return s <= d.start && d.end <= t; });
  e.ctx.host().requestRepaint(Repaint::overlays());
  e.ctx.host().refreshCommands();
}

void DocumentCommands::InsertSilence1Click() {
  Editor& e = ed();
  if (!e.doc || e.doc->selStart < 0 || e.ctx.inMacroOrBatch()) return;
  SetInsertionLengthModel model = insertionLength;
  DialogRequest req{kSetInsertionLengthDialogId, &model};
  if (!e.ctx.host().runDialog(req)) return;
  insertionLength = model;
  int64_t length = 0;
  if (model.exactSamples) {
    const auto n = parseWholeNumber<int64_t>(model.length);
    if (!n) {
      e.ctx.error("\"" + model.length + "\" is not a whole number");
      return;
    }
    length = *n;
  } else {
    length = parseTime(e.ctx, model.length, e.doc->cues);
  }
  // Nothing to insert; a negative length would shrink the rebuilt file's size below its data.
  if (length <= 0 || length > INT32_MAX) return;
  addInsertionMark(e.doc->insertions, {e.doc->selStart, static_cast<int32_t>(length)});
  e.ctx.host().requestRepaint(Repaint::overlays());
  e.ctx.host().refreshCommands();
}

void DocumentCommands::RemoveSilenceClick() {
  Editor& e = ed();
  if (!e.doc) return;
  const int32_t s = e.doc->selStart;
  // A selection reaching the last frame also takes a silence placed after it.
  const int64_t t = e.doc->selEnd == e.doc->lastFrame ? int64_t{e.doc->frameCount} : e.doc->selEnd;
  std::erase_if(e.doc->insertions,
                [&](const Insertion& m) { return s <= m.position && m.position <= t; });
  e.ctx.host().requestRepaint(Repaint::overlays());
  e.ctx.host().refreshCommands();
}

void DocumentCommands::AddSurroundingSilence1Click() {
  Editor& e = ed();
  if (!e.doc || !e.doc->hasSelection()) return;
  WaveFile& doc = *e.doc;
  int64_t startMs = e.ctx.settings.surroundstart;
  int64_t endMs = e.ctx.settings.surroundend;
  if (!e.ctx.inMacroOrBatch()) {
    if (doc.selStart != 0 || doc.selEnd != doc.lastFrame) {
      if (!e.ctx.askYesNo(kWholeFileQuestion)) return;
    }
    int16_t first[2];
    int16_t last[2];
    doc.ReadFrames(true, first, doc.selStart, doc.selStart);
    doc.ReadFrames(true, last, doc.selEnd, doc.selEnd);
    if (first[0] || first[1] || last[0] || last[1]) {
      if (!e.ctx.askYesNo("There are non-zero sample(s) at the start and/or end of the selected "
                          "region.\rThis could cause a small tick at the transition point.\rAre "
                          "you sure you wish to proceed?",
                          MsgKind::Warning))
        return;
    }
    AddSurroundingSilenceModel model{e.ctx.settings.surroundstart, e.ctx.settings.surroundend};
    DialogRequest req{kAddSurroundingSilenceDialogId, &model};
    if (!e.ctx.host().runDialog(req)) return;
    e.ctx.settings.surroundstart = model.startMs;
    e.ctx.settings.surroundend = model.endMs;
    startMs = model.startMs;
    endMs = model.endMs;
  }
  const int64_t startFrames = msToFrames(startMs, e.ctx.sampleRate);
  const int64_t endFrames = msToFrames(endMs, e.ctx.sampleRate);
  // A silence after a selection that ends the file goes after the last frame, not in front of
  // it: the file must not end in one stray frame of audio behind the silence.
  const int32_t endPosition = std::min(doc.selEnd + 1, doc.frameCount);
  if (startFrames > 0 && startFrames <= INT32_MAX)
    addInsertionMark(doc.insertions, {doc.selStart, static_cast<int32_t>(startFrames)});
  if (endFrames > 0 && endFrames <= INT32_MAX)
    addInsertionMark(doc.insertions, {endPosition, static_cast<int32_t>(endFrames)});
  e.ctx.host().requestRepaint(Repaint::overlays());
  e.ctx.host().refreshCommands();
}

void DocumentCommands::ExecuteDeletions1Click() {
  Editor& e = ed();
  // Run from the message pump of a long operation, the rebuild would replace the file and
  // reopen the document that operation is still using.
  if (!e.doc || e.ctx.progressDepth > 0) return;
  Context& ctx = e.ctx;
  WaveFile& doc = *e.doc;
  // A read-only file is never replaced, whatever the directory would allow.
  if ((doc.deletions.empty() && doc.insertions.empty()) || ctx.readOnly) return;
  if (!doc.undoSteps.empty()) {
    ctx.error(kUnsavedChangesText);
    return;
  }
  if (!doc.cues.empty() &&
      !ctx.askYesNo("When the cue points are adjusted as a result on this deletion/insertion, "
                    "they may be shifted by up to 1/75th second in order to keep them on CD "
                    "frame boundaries. Do you wish to proceed?"))
    return;

  const std::string tempDir =
      ctx.settings.tmpdir.empty() ? directoryOf(doc.path) : ctx.settings.tmpdir;
  const EditPlan plan = planEdits(doc.deletions, doc.insertions, doc.frameCount);
  const int64_t newDataBytes = plan.newFrameCount * kWavFrameBytes;
  // The chunks around the data (LIST and the like) go into the rebuilt file unchanged.
  const WavLayout layout = wavLayoutOf(doc.path, doc.dataOffset, doc.dataBytes);
  const int64_t required = layout.headerBytes + newDataBytes + layout.trailerBytes;
  if (newDataBytes > kMaxWavDataBytes || required - 8 > 0xFFFFFFFFll) {
    ctx.error("The file would be too large for a WAV file after the insertions");
    return;
  }
  BinaryFile dst;
  const std::string tempPath = claimTempFile(dst, tempDir, "", doc.path);
  if (tempPath.empty()) {
    ctx.error("Failed to create a temporary file in directory " + tempDir);
    return;
  }
  std::error_code ec;
  if (!enoughDiskSpace(tempPath, static_cast<uint64_t>(required))) {
    fs::remove(tempPath, ec);
    dst.close();
    ctx.error("Not enough free space for temporary file on disk " + volumeText(tempPath) + " (" +
              std::to_string(required) + " bytes required)");
    return;
  }

  // Where everything lands once the marks are carried out.
  auto moved = [&](int32_t p) {
    return static_cast<int32_t>(positionAfterEdits(plan.deletions, plan.insertions, p));
  };
  MarkerList newMarkers;
  for (const Marker& m : e.markers.items)
    if (!insideDeletion(plan.deletions, m.position))
      newMarkers.Add(m.kind, moved(m.position), m.count);
  const bool audibleKept = e.audibleMarker >= 0 && !insideDeletion(plan.deletions, e.audibleMarker);
  const int32_t newAudible = audibleKept ? moved(e.audibleMarker) : -1;
  std::vector<Cue> newCues;
  for (const Cue& c : doc.cues) {
    if (insideDeletion(plan.deletions, c.position)) continue;
    Cue n = c;
    n.position = static_cast<int32_t>(roundUpToCdFrame(moved(c.position), ctx.sampleRate));
    // Two cues rounded onto one frame: the list never holds two cues on a frame.
    if (!newCues.empty() && newCues.back().position >= n.position) continue;
    newCues.push_back(std::move(n));
  }
  auto movedClicks = [&](const GlitchList& list) {
    GlitchList out;
    out.items.reserve(list.items.size());
    for (const Glitch& g : list.items)
      out.items.push_back({moved(g.position), g.polarity, g.channel});
    return out;
  };
  std::optional<GlitchList> newStored;
  if (e.clicks.stored) newStored = movedClicks(*e.clicks.stored);
  GlitchList newFalse = movedClicks(e.clicks.falseClicks);

  // The rebuilt file is complete and on disk before the original is touched at all. Until it
  // is whole its first bytes mark it as a scratch file of ours, so that one a killed run left
  // is cleared away, while a rebuilt file that could not take its name is never taken for one.
  bool written = false;
  {
    BinaryFile src;
    if (!src.open(doc.path, BinaryFile::Mode::Read)) {
      fs::remove(tempPath, ec);
      dst.close();
      ctx.error("Cannot open file \"" + doc.path + "\"");
      return;
    }
    std::array<uint8_t, 8> head{};
    if (!writeRebuiltHeader(src, layout, static_cast<uint32_t>(newDataBytes), dst) ||
        !hideHead(dst, head)) {
      ctx.error("Failed to write to " + tempPath);
    } else {
      written = writeRebuiltFrames(ctx, plan, src, doc.dataOffset, doc.path, dst, tempPath);
      if (written && (!copyTrailer(src, layout, dst) || !restoreHead(dst, head))) {
        ctx.error("Failed to write to " + tempPath);
        written = false;
      }
      if (written && !dst.sync()) {
        ctx.error("Failed to write to " + tempPath);
        written = false;
      }
      saveBoundary();
    }
  }
  if (written && fs::file_size(tempPath, ec) != static_cast<uintmax_t>(required)) {
    ctx.error("Failed to write to " + tempPath);
    written = false;
  }
  if (!written) {
    fs::remove(tempPath, ec);
    dst.close();
    return;
  }
  // The rebuilt file replaces the original with the permissions the user gave it.
  fs::permissions(tempPath, fs::status(doc.path, ec).permissions(), ec);

  // Held open (and locked) until it has its name, and from then on by the reopened document:
  // this process goes on writing it (cue points, later saves).
  BinaryFile placed;
  const bool replaced = replaceWithRebuilt(tempPath, placed);
  if (!replaced) {
    dst.close();
    ctx.warning("Failed to replace old " + doc.path + ", new file can be found in " + tempPath);
    return;
  }
  if (placed.isOpen())
    dst.close();
  else
    placed = std::move(dst);

  const std::string path = doc.path;
  const std::string discPerformer = doc.discPerformer;
  const std::string discTitle = doc.discTitle;
  const std::string track1Performer = doc.track1Performer;
  const std::string track1Title = doc.track1Title;
  // Clears the summary too, so that closing the old document writes no stale cache.
  doc.DeletePeakCache();
  if (!e.OpenDocument(path, true, &placed)) return;
  e.doc->discPerformer = discPerformer;
  e.doc->discTitle = discTitle;
  e.doc->track1Performer = track1Performer;
  e.doc->track1Title = track1Title;
  e.markers = std::move(newMarkers);
  e.audibleMarker = newAudible;
  e.doc->cues = std::move(newCues);
  // Moved cue points need writing out again; with none there is nothing to lose, and Read Cue
  // Sheet must not ask about it (a batch run's No would stop the step).
  e.doc->cuesNotWritten = !e.doc->cues.empty();
  e.clicks.stored = std::move(newStored);
  e.clicks.falseClicks = std::move(newFalse);
  e.clicks.current = -1;
  ctx.host().requestRepaint(Repaint::all());
  ctx.host().refreshCommands();
}

bool DocumentCommands::replaceWithRebuilt(const std::string& tempPath, BinaryFile& placed) {
  Editor& e = ed();
  Context& ctx = e.ctx;
  const std::string path = e.doc->path;
  e.doc->invalidateReadStream();
  ctx.host().setBusyCursor(true);
  // On one filesystem the rename replaces the original in a single step. From another one the
  // file is first copied beside the original and committed, and only that copy is renamed over
  // it: the original stays in place until its replacement is whole.
  const std::error_code ec =
      moveFileWithProgress(ctx, tempPath, path, " Moving temp file:", &placed);
  ctx.host().setBusyCursor(false);
  if (ec) {
    ctx.error("Failed to move new file, code = " + std::to_string(ec.value()));
    return false;
  }
  saveBoundary();
  // The new name must survive a power cut as well as the new bytes.
  syncDirectoryOf(path);
  saveBoundary();
  return true;
}

}  // namespace tolmar
