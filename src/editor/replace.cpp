// Replace From Clipboard, Replace From File (with undo and by direct overwrite) and Append
// Other File at End: the DocumentCommands handlers that bring audio in from the outside.

#include "editor/replace.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <vector>

#include "document/clipboard_image.h"
#include "document/file_copy.h"
#include "document/file_names.h"
#include "document/wav_format.h"
#include "editor/document_commands.h"
#include "editor/editor.h"

namespace fs = std::filesystem;

namespace tolmar {

namespace {

constexpr int32_t kDirectBlockFrames = 2000;
constexpr size_t kBackupChunkBytes = 1 << 16;

int16_t sampleAt(const uint8_t* frames, size_t index) {
  return static_cast<int16_t>(loadU16(frames + 2 * index));
}

// Asks for a WAV file in the document's directory and opens it strictly as a second document.
// Null when the dialog was cancelled or the file was refused (its message shown).
std::unique_ptr<WaveFile> openSourceFile(Editor& e, const std::string& title) {
  FileDialogSpec spec;
  spec.title = title;
  spec.directory = directoryOf(e.doc->path);
  spec.filter = kWavFileFilter;
  spec.defaultExt = "wav";
  const auto chosen = e.ctx.host().openFileDialog(spec);
  if (!chosen) return nullptr;
  auto source = std::make_unique<WaveFile>(e.ctx);
  try {
    if (source->Open(*chosen, true, 0)) return source;
  } catch (const FileError& err) {
    e.ctx.error(err.what());
    return nullptr;
  }
  e.ctx.error(strictOpenErrorText(*chosen, e.ctx.sampleRate));
  return nullptr;
}

// What both Replace From File commands copy: frames firstSource.. of the source onto frames
// selStart.. of the document.
struct Replacement {
  std::unique_ptr<WaveFile> source;
  int32_t firstSource = 0;  // counted from 0
  int32_t frames = 0;
};

// The open dialog, the Select Replacement Data dialog and the number of frames R. False when
// cancelled, refused, or there is nothing to replace.
bool chooseReplacement(Editor& e, Replacement& r) {
  WaveFile& doc = *e.doc;
  r.source = openSourceFile(e, "Select Replacement WAV File");
  if (!r.source) return false;
  const int64_t selectionFrames = static_cast<int64_t>(doc.selEnd) - doc.selStart + 1;
  SelectReplacementDataModel model;
  model.startSample = static_cast<int64_t>(doc.selStart) + 1;
  model.sampleCount = selectionFrames;
  DialogRequest req{kSelectReplacementDataDialogId, &model};
  if (!e.ctx.host().runDialog(req)) return false;
  // Source frames before the first would be header bytes.
  if (model.startSample < 1) return false;
  int64_t frames = model.replaceCount ? model.sampleCount : selectionFrames;
  // From start sample s (counted from 1) the source holds count - s + 1 frames; all of them
  // may be used.
  frames = std::min<int64_t>(frames, int64_t{r.source->frameCount} - model.startSample + 1);
  frames = std::min<int64_t>(frames, int64_t{doc.frameCount} - doc.selStart);
  if (frames <= 0) return false;
  r.firstSource = static_cast<int32_t>(model.startSample - 1);
  r.frames = static_cast<int32_t>(frames);
  return true;
}

// The bytes of source frames first..first + count - 1, all of them or false.
bool readSourceFrames(WaveFile& source, uint8_t* dst, int64_t first, int32_t count) {
  BinaryFile& in = source.readStream();
  return in.isOpen() && in.seek(source.dataOffset + first * kWavFrameBytes) &&
         in.readExact(dst, static_cast<size_t>(count) * kWavFrameBytes);
}

// Puts `count` bytes at `to` back from `from` in the backup file.
bool copyBytes(BinaryFile& from, int64_t fromPos, BinaryFile& to, int64_t toPos, int64_t count) {
  std::vector<uint8_t> buf(kBackupChunkBytes);
  if (!from.seek(fromPos) || !to.seek(toPos)) return false;
  for (int64_t done = 0; done < count;) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(kBackupChunkBytes, count - done));
    if (!from.readExact(buf.data(), n) || !to.writeExact(buf.data(), n)) return false;
    done += static_cast<int64_t>(n);
  }
  return to.flush();
}

// The document's file as it was before an append: the bytes the new frames will cover (kept in
// a scratch file, as they may be many), the file's length and both size fields.
class AppendUndo {
 public:
  AppendUndo(Context& ctx, WaveFile& doc) : ctx_(ctx), doc_(doc) {}
  ~AppendUndo() { discard(); }
  AppendUndo(const AppendUndo&) = delete;
  AppendUndo& operator=(const AppendUndo&) = delete;

  // Records the state; false (with a message) when the backup cannot be made.
  bool save(BinaryFile& f, int64_t coveredFrom, int64_t coveredBytes) {
    fileBytes_ = f.size();
    coveredFrom_ = coveredFrom;
    coveredBytes_ = coveredBytes;
    if (fileBytes_ < 0 || !f.seek(4) || !f.readU32(riffSize_) || !f.seek(doc_.dataOffset - 4) ||
        !f.readU32(dataSize_)) {
      ctx_.error("Failed to read from " + doc_.path);
      return false;
    }
    if (coveredBytes_ == 0) return true;
    backupPath_ = claimTempFile(backup_, ctx_, "", doc_.path);
    if (backupPath_.empty() || !copyBytes(f, coveredFrom_, backup_, 0, coveredBytes_)) {
      ctx_.error("Failed to write to " + (backupPath_.empty() ? doc_.path : backupPath_));
      return false;
    }
    return true;
  }

  // Puts everything back through a fresh stream (the failed one may still hold bytes it could
  // not write); false when the file could not be restored.
  bool restore() {
    BinaryFile f;
    bool ok = f.open(doc_.path, BinaryFile::Mode::ReadWrite);
    if (ok && coveredBytes_ > 0) ok = copyBytes(backup_, 0, f, coveredFrom_, coveredBytes_);
    ok = ok && f.seek(4) && f.writeU32(riffSize_);
    ok = ok && f.seek(doc_.dataOffset - 4) && f.writeU32(dataSize_);
    ok = ok && f.sync();
    f.close();
    std::error_code ec;
    fs::resize_file(doc_.path, static_cast<uintmax_t>(fileBytes_), ec);
    return ok && !ec;
  }

  void discard() {
    backup_.close();
    if (backupPath_.empty()) return;
    std::error_code ec;
    fs::remove(backupPath_, ec);
    backupPath_.clear();
  }

 private:
  Context& ctx_;
  WaveFile& doc_;
  int64_t fileBytes_ = 0;
  int64_t coveredFrom_ = 0;
  int64_t coveredBytes_ = 0;
  uint32_t riffSize_ = 0;
  uint32_t dataSize_ = 0;
  std::string backupPath_;
  BinaryFile backup_;
};

// Copies every source frame to the end of the document's data and fixes both size fields.
// On failure or Cancel the file is put back as it was. True when the append is complete.
bool appendToFile(Context& ctx, WaveFile& doc, WaveFile& source) {
  doc.invalidateReadStream();
  BinaryFile out;
  if (!out.open(doc.path, BinaryFile::Mode::ReadWrite)) {
    ctx.error("Cannot open file \"" + doc.path + "\" for writing");
    return false;
  }
  const int64_t end = doc.dataOffset + int64_t{doc.frameCount} * kWavFrameBytes;
  const int64_t addedBytes = int64_t{source.frameCount} * kWavFrameBytes;
  const int64_t fileBytes = out.size();
  const int64_t covered = std::clamp<int64_t>(fileBytes - end, 0, addedBytes);
  const int64_t growth = std::max<int64_t>(0, end + addedBytes - fileBytes);
  if (!enoughDiskSpace(doc.path, static_cast<uint64_t>(growth + covered))) {
    ctx.error("Not enough free space on disk " + volumeText(doc.path) + " (" +
              std::to_string(growth + covered) + " bytes required)");
    return false;
  }
  AppendUndo undo(ctx, doc);
  if (!undo.save(out, end, covered)) return false;

  bool ok = true;
  bool readFailed = false;
  {
    DirectWriteScope scope(doc);
    Progress progress(ctx, " Appending:");
    std::vector<uint8_t> buf(static_cast<size_t>(kDirectBlockFrames) * kWavFrameBytes);
    const int32_t total = source.frameCount;
    for (int32_t done = 0; done < total && ok;) {
      const int32_t n = std::min(kDirectBlockFrames, total - done);
      if (!readSourceFrames(source, buf.data(), done, n)) {
        readFailed = true;
        ok = false;
        break;
      }
      const size_t bytes = static_cast<size_t>(n) * kWavFrameBytes;
      ok = out.seek(end + int64_t{done} * kWavFrameBytes) && out.writeExact(buf.data(), bytes);
      done += n;
      if (ok && !progress.step(percentOf(done, total))) ok = false;
    }
  }
  const bool cancelled = ok ? false : !ctx.continueFlag && !readFailed;
  if (ok) {
    // The frames are on disk before the header claims them. The data size counts the frames
    // the file now holds, whatever the old field claimed.
    const int64_t newData = end - doc.dataOffset + addedBytes;
    ok = out.sync() && out.seek(doc.dataOffset - 4) &&
         out.writeU32(static_cast<uint32_t>(newData)) && out.seek(4) &&
         out.writeU32(static_cast<uint32_t>(newData + doc.dataOffset - 8)) && out.sync();
  }
  out.close();
  if (ok) return true;
  if (readFailed)
    ctx.error("Failed to read from " + source.path);
  else if (!cancelled)
    ctx.error("Failed to write to " + doc.path);
  if (!undo.restore()) ctx.error("Failed to restore " + doc.path + " after the append failed");
  return false;
}

}  // namespace

int32_t replaceFromSource(WaveFile& doc, const uint8_t* frames, int32_t first, int32_t last) {
  Session& ctx = doc.ctx();
  if (last < first) return 0;
  const bool both = ctx.editLeft && ctx.editRight;
  const int single = ctx.editLeft ? 0 : 1;
  std::unique_ptr<Interpolation> recs[2];
  for (int c = 0; c < 2; ++c) {
    if (!both && c != single) continue;
    recs[c] = std::make_unique<Interpolation>();
    if (!doc.BeginBlock(*recs[c], first, last, c)) return 0;
  }
  for (int32_t f = first; f <= last && ctx.continueFlag; ++f) {
    const size_t at = 2 * static_cast<size_t>(f - first);
    for (int c = 0; c < 2; ++c)
      if (recs[c]) doc.PutSample(*recs[c], f, sampleAt(frames, at + c));
  }
  Interpolation* added[2] = {nullptr, nullptr};
  for (int c = 0; c < 2; ++c) {
    // A record that received nothing (Cancel before its first frame) would replace with zeros.
    if (!recs[c] || recs[c]->highestWritten < 0) continue;
    doc.FinishBlock(*recs[c]);
    added[c] = doc.AddEdit(std::move(recs[c]), c);
  }
  if (added[0] && added[1]) WaveFile::LinkChannels(added[0], added[1]);
  return (added[0] ? 1 : 0) + (added[1] ? 1 : 0);
}

void DocumentCommands::ReplaceFromClipboardWithUndo1Click() {
  Editor& e = ed();
  if (!e.doc || e.doc->selStart < 0) return;
  WaveFile& doc = *e.doc;
  Context& ctx = e.ctx;
  const auto image = ctx.host().clipboardWave();
  if (!image) {
    ctx.error("Failed to read from clipboard (code=" + std::to_string(EIO) + ")");
    return;
  }
  const ClipboardImage clip = parseClipboardImage(image->data(), image->size(), ctx.sampleRate);
  if (!clip.accepted) {
    ctx.error(clip.error);
    return;
  }
  const int32_t first = doc.selStart;
  const int32_t end =
      static_cast<int32_t>(std::min<int64_t>(int64_t{first} + clip.frames, doc.frameCount));
  ctx.continueFlag = true;
  const int32_t records = replaceFromSource(doc, image->data() + clip.dataOffset, first, end - 1);
  if (records > 0) {
    doc.displayOutOfDate = true;
    // The commit pumps messages while it rescans; an Undo then would pop this step's records.
    DirectWriteScope busy(doc);
    doc.CommitEdit(records, "Replace From Clipboard");
  }
  ctx.host().requestRepaint(Repaint::all());
  ctx.host().refreshCommands();
}

void DocumentCommands::ReplaceFromFile1Click() {
  Editor& e = ed();
  if (!e.doc || !e.doc->hasSelection() || e.ctx.inMacroOrBatch()) return;
  Context& ctx = e.ctx;
  Replacement r;
  if (!chooseReplacement(e, r)) return;
  WaveFile& doc = *e.doc;
  const int32_t first = doc.selStart;
  // Long replacements keep their samples in the big-edit store, not in memory.
  if (!doc.BeginLargeEdit(first, first + r.frames - 1, kChunkFrames)) return;
  // Undo or Redo between chunks would move records under the ones not yet committed.
  DirectWriteScope busy(doc);
  int32_t records = 0;
  {
    Progress progress(ctx, " Replacing:");
    std::vector<uint8_t> buf(static_cast<size_t>(kChunkFrames) * kWavFrameBytes);
    const int32_t chunks = (r.frames - 1) / kChunkFrames + 1;
    for (int32_t k = 0; k < chunks; ++k) {
      const int32_t offset = k * kChunkFrames;
      const int32_t n = std::min(kChunkFrames, r.frames - offset);
      if (!readSourceFrames(*r.source, buf.data(), int64_t{r.firstSource} + offset, n)) {
        ctx.error("Failed to read from " + r.source->path);
        break;
      }
      records += replaceFromSource(doc, buf.data(), first + offset, first + offset + n - 1);
      if (!progress.step(percentOf(k + 1, chunks))) break;
    }
  }
  // What was made before a Cancel or a failed read is kept as the step.
  if (records > 0) doc.CommitEdit(records, "Replace From File");
  doc.EndLargeEdit();
  doc.displayOutOfDate = true;
  ctx.host().requestRepaint(Repaint::all());
  ctx.host().refreshCommands();
}

void DocumentCommands::ReplaceFromFileDirectOverwrite1Click() {
  Editor& e = ed();
  if (!e.doc || !e.doc->hasSelection() || e.ctx.inMacroOrBatch()) return;
  // With neither channel edited nothing would change.
  if (!e.ctx.editLeft && !e.ctx.editRight) return;
  if (!e.VerifyDirectOverwrite(false, false)) return;
  Context& ctx = e.ctx;
  Replacement r;
  if (!chooseReplacement(e, r)) return;
  WaveFile& doc = *e.doc;
  BinaryFile out;
  if (!out.open(doc.path, BinaryFile::Mode::ReadWrite)) {
    ctx.error("Cannot open file \"" + doc.path + "\" for writing");
    return;
  }
  const int32_t first = doc.selStart;
  // Copying within one file onto a later, overlapping range must start at the end, or the
  // copy would read frames it has already overwritten.
  const int64_t fromByte = r.source->dataOffset + int64_t{r.firstSource} * kWavFrameBytes;
  const int64_t toByte = doc.dataOffset + int64_t{first} * kWavFrameBytes;
  const bool oneFile = sameFile(r.source->path, doc.path);
  const bool backwards =
      oneFile && toByte > fromByte && toByte < fromByte + int64_t{r.frames} * kWavFrameBytes;
  const bool keepOther = !(ctx.editLeft && ctx.editRight);
  const int kept = ctx.editLeft ? 1 : 0;  // the channel taken unchanged from the document

  std::vector<uint8_t> bytes(static_cast<size_t>(kDirectBlockFrames) * kWavFrameBytes);
  std::vector<int16_t> frames(static_cast<size_t>(kDirectBlockFrames) * 2);
  std::vector<int16_t> old(frames.size());
  {
    DirectWriteScope scope(doc);
    Progress progress(ctx, " Replacing:");
    const int32_t blocks = (r.frames - 1) / kDirectBlockFrames + 1;
    for (int32_t k = 0; k < blocks; ++k) {
      const int32_t b = backwards ? blocks - 1 - k : k;
      const int32_t offset = b * kDirectBlockFrames;
      const int32_t n = std::min(kDirectBlockFrames, r.frames - offset);
      // A stream's read-ahead may hold bytes written since through the other stream.
      if (oneFile) r.source->invalidateReadStream();
      if (!readSourceFrames(*r.source, bytes.data(), int64_t{r.firstSource} + offset, n)) {
        ctx.error("Failed to read from " + r.source->path);
        break;
      }
      for (size_t i = 0; i < 2 * static_cast<size_t>(n); ++i) frames[i] = sampleAt(bytes.data(), i);
      if (keepOther) {
        doc.ReadFrames(out, false, old.data(), first + offset, first + offset + n - 1);
        for (size_t i = static_cast<size_t>(kept); i < 2 * static_cast<size_t>(n); i += 2)
          frames[i] = old[i];
      }
      // Flushed block by block: the source may be this very file, read through another stream.
      if (!doc.WriteFramesDirect(out, first + offset, first + offset + n - 1, frames.data()) ||
          !out.flush()) {
        ctx.error("Failed to write to file \"" + doc.path + "\"");
        break;
      }
      const int64_t done = int64_t{k + 1} * kDirectBlockFrames;
      if (!progress.step(percentOf(std::min<int64_t>(done, r.frames), r.frames))) break;
    }
  }
  out.close();
  r.source.reset();
  // What was written is committed to storage also after a failure.
  doc.finishDirectWrite();
  doc.ProcessRescanQueue();
  doc.displayOutOfDate = true;
  ctx.host().requestRepaint(Repaint::all());
  ctx.host().refreshCommands();
}

void DocumentCommands::AppendOtherFiletoEnd1Click() {
  Editor& e = ed();
  // It reopens the document: never under a long operation that is still using it.
  if (!e.doc || e.ctx.inMacroOrBatch() || e.ctx.progressDepth > 0) return;
  if (!e.VerifyDirectOverwrite(false, false)) return;
  Context& ctx = e.ctx;
  auto source = openSourceFile(e, "Select WAV File to Append");
  if (!source) return;
  WaveFile& doc = *e.doc;
  // Nothing to append: no cue may stand at a frame the file does not hold.
  if (source->frameCount == 0) return;
  const int32_t oldFrames = doc.frameCount;
  const int64_t newData = (int64_t{oldFrames} + source->frameCount) * kWavFrameBytes;
  if (newData > kMaxWavDataBytes || newData + doc.dataOffset - 8 > int64_t{UINT32_MAX}) {
    ctx.error("The file would be too large for a WAV file after the append");
    return;
  }
  if (!appendToFile(ctx, doc, *source)) {
    ctx.host().requestRepaint(Repaint::all());
    return;
  }
  source.reset();
  const std::string path = doc.path;
  // The cached summary describes the shorter file.
  doc.DeletePeakCache();
  if (!e.OpenDocument(path, false)) return;
  e.AddTrackCue(oldFrames, true, false);
  ctx.host().requestRepaint(Repaint::all());
  ctx.host().refreshCommands();
}

}  // namespace tolmar
