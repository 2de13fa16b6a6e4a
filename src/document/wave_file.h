#pragma once
// The one open document: a WAV file on disk (never loaded whole), its view and selection, its
// edit overlay and undo history, its marks, cue points and per-1000-frame peak summary.

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/session.h"
#include "document/big_edit_store.h"
#include "document/binary_file.h"
#include "document/cue.h"
#include "document/interpolation.h"
#include "document/marks.h"
#include "document/overlay_index.h"
#include "document/save_journal.h"

namespace tolmar {

// Long operations read, write, undo and report progress this many frames at a time.
inline constexpr int32_t kChunkFrames = 9000;

class WaveFile {
 public:
  explicit WaveFile(Session& ctx);
  // Destroy: writes the peak cache, deletes the big-edit store, frees every record.
  ~WaveFile();
  WaveFile(const WaveFile&) = delete;
  WaveFile& operator=(const WaveFile&) = delete;

  Session& ctx() { return ctx_; }

  // ---- File and header (wave_file.cpp) ----
  // Opens and parses the file; throws FileError when the file cannot be opened at all.
  bool Open(const std::string& filePath, bool strict, int initialDisplaySeconds);
  // The read stream used by ReadFrames without a stream argument; dropped after any write so
  // that no stale buffered bytes are ever returned.
  BinaryFile& readStream();
  void invalidateReadStream() { reader_.close(); }

  // ---- The lock on the file (wave_file.cpp) ----
  // Set before Open by whoever may write the file. Open then takes an advisory lock on it,
  // held while the document lives, so that no other process edits it meanwhile; it puts back
  // an interrupted save and clears away the scratch files a killed run left (only while it
  // holds the lock, or when the file is read only).
  bool lockForWriting = false;
  // Open found the lock held by another process: the file is that process's to write, and
  // this document must write nothing into it nor beside it.
  bool lockedElsewhere() const { return lockedElsewhere_; }
  // After Save As has moved the document to another file: the lock moves with it. A lock
  // already held on the file named by `path` is kept, never let go of and taken again.
  LockResult relock();
  // Takes over a lock held on the file that is (or will be, at Open) under `path`: a file
  // rebuilt and renamed over the document stays locked from its creation on.
  void adoptLock(BinaryFile held) { lock_ = std::move(held); }

  // ---- Edit overlay (edit_overlay.cpp) ----
  bool BeginBlock(Interpolation& rec, int32_t first, int32_t last, int channel);
  void PutSample(Interpolation& rec, int32_t frame, int16_t value);
  void FinishBlock(Interpolation& rec);
  // Appends the record when its channel's editing is on; returns it, or null when discarded.
  Interpolation* AddEdit(std::unique_ptr<Interpolation> rec, int channel);
  Interpolation* AddLinearEdit(int32_t a, int32_t b, int16_t va, int16_t vb, int channel);
  static void LinkChannels(Interpolation* left, Interpolation* right);
  int16_t SampleAt(const Interpolation& rec, int32_t frame);
  bool EditedSampleAt(int32_t frame, int channel, int16_t& value);
  // Fills buf (interleaved L,R) with frames first..last; frames before 0 or after the last
  // frame read as silence.
  void ReadFrames(BinaryFile& f, bool applyEdits, int16_t* buf, int32_t first, int32_t last);
  void ReadFrames(bool applyEdits, int16_t* buf, int32_t first, int32_t last) {
    ReadFrames(readStream(), applyEdits, buf, first, last);
  }
  // Writes frames straight into the file and keeps the peak summary up to date.
  bool WriteFramesDirect(BinaryFile& f, int32_t first, int32_t last, const int16_t* buf);
  bool BeginLargeEdit(int32_t first, int32_t last, int chunkFrames);
  void EndLargeEdit();
  void OrganiseEdits();

  // ---- Undo and redo (undo.cpp) ----
  // False, with the step's records taken off the list again, when the step failed part-way.
  bool CommitEdit(int32_t recordCount, const std::string& caption);
  // Marks the edit being built as failed (the big-edit store is full, a read failed): its
  // CommitEdit then drops its records instead of committing half an effect. Cleared by
  // BeginLargeEdit, EndLargeEdit and CommitEdit.
  void failStep() { stepFailed_ = true; }
  bool stepFailed() const { return stepFailed_; }
  bool Undo();
  bool Redo();
  void DiscardRedoData();
  std::string undoCaption() const;  // "Undo" or "Undo " + newest caption
  std::string redoCaption() const;
  bool canUndo() const { return !undoSteps.empty(); }
  bool canRedo() const { return !redoSteps.empty(); }

  // ---- Saving (save.cpp) ----
  // Writes every frame the records change into the file once, with its final value, behind a
  // rollback journal; on completion the edit list is emptied. False when cancelled (the steps
  // written leave the history) or when a read or write failed (the file is put back as it was,
  // nothing leaves).
  bool WriteEditsToFile(BinaryFile& f);
  // The byte ranges of the file a save would overwrite: the union of the records.
  std::vector<JournalRegion> regionsToOverwrite() const;
  // Off only to measure what the journal costs.
  bool journalSaves = true;
  // After a completed save: history ends and the big-edit store goes.
  void EndHistory();

  // ---- Peak summary and cache (peaks.cpp) ----
  bool hasPeaks() const { return !peakLeft.empty(); }
  int32_t peakBlockCount() const { return frameCount / kPeakBlockFrames + 1; }
  void BuildPeakSummary();
  void RescanBlock(int32_t block);
  void RescanSelection();
  void QueueRescan(int32_t block);
  void ProcessRescanQueue();
  std::string peakCachePath() const;
  bool LoadPeakCache();
  bool WritePeakCache();
  void DeletePeakCache();

  // ---- Fields ----
  std::string path;
  BigEditStore store;

  int64_t dataOffset = 0;
  uint32_t dataBytes = 0;
  int32_t frameCount = 0;

  int32_t viewWidth = 0;
  int32_t viewStart = 0;
  int32_t lastFrame = -1;

  bool maxVertical = false;

  int32_t selStart = -1;
  int32_t selEnd = -1;
  int32_t rememberedStart = -1;
  int32_t rememberedEnd = -1;

  bool displayOutOfDate = false;

  // Edit-mode values set by BeginLargeEdit.
  bool bigEditMode = false;
  int chunkSize = kChunkFrames;
  bool overlayNonEmpty = false;

  Interps interps;
  UndoSteps undoSteps;
  Interps redoRecords;
  UndoSteps redoSteps;

  std::string discPerformer, discTitle, track1Performer, track1Title;
  std::vector<Cue> cues;
  bool cuesNotWritten = false;

  std::vector<Deletion> deletions;
  std::vector<Insertion> insertions;

  bool painting = false;
  bool organising = false;
  bool stepFailed_ = false;
  // Set while a command writes straight into the file: the records and the file must not be
  // changed under it by an Undo, Redo or Close that the message pump delivers meanwhile.
  bool directWriting = false;
  // Ends a direct write: commits the file to storage; false (and an error message) if that fails.
  bool finishDirectWrite();

  std::vector<uint16_t> peakLeft;
  std::vector<uint16_t> peakRight;
  std::set<int32_t> rescanQueue;

  bool hasSelection() const { return selStart >= 0 && selStart < selEnd; }
  int32_t clampToFile(int32_t frame) const;
  // What the window redraws after a step: the selection's frames, or those the newest undo
  // step's records cover.
  Repaint selectionSamples() const { return Repaint::samples(selStart, selEnd); }
  Repaint newestStepSpan() const;

 private:
  friend class OverlayIndex;
  Session& ctx_;
  BinaryFile reader_;
  BinaryFile lock_;
  bool lockedElsewhere_ = false;
  OverlayIndex index_;
  std::vector<int16_t> spillBuf_;
  std::vector<size_t> hits_;

  void storeBlockPeaks(int32_t block, const int16_t* frames, int32_t count);
  void buildRecordPeaks(Interpolation& rec);
  void spill(Interpolation& rec);
  bool WriteFramesDirectRaw(BinaryFile& f, int32_t first, int32_t last, const int16_t* buf);
  // False when a spilled record's samples could not be read (the buffer keeps what it held).
  bool applyRecord(const Interpolation& rec, int16_t* buf, int32_t first, int32_t last);
  // After records join or leave the list every record is whole again, until OrganiseEdits
  // trims the overlaps anew.
  void reorganiseAll();

  struct SavePlan {
    std::vector<size_t> stepStart;  // where each undo step's records begin
    std::vector<size_t> unitStart;  // where each unit a cancel may stop after begins
    struct Span {
      int32_t first;
      int32_t last;
      size_t unit;
    };
    std::vector<Span> spans;  // disjoint, unit by unit
    std::vector<JournalRegion> regions;
  };
  SavePlan planSave() const;
  // The frames first..last as the whole edit list makes them; false (naming what could not
  // be read in `unreadable`) when a read failed.
  bool finalFrames(BinaryFile& f, int16_t* buf, int32_t first, int32_t last,
                   std::string& unreadable);
  std::vector<std::pair<int32_t, int32_t>> coverage_;
};

// Marks a direct write for its duration. Scopes nest (a command that holds one commits its
// step, which holds another), so each puts back what it found, on every exit path.
class DirectWriteScope {
 public:
  explicit DirectWriteScope(WaveFile& doc) : doc_(doc), before_(doc.directWriting) {
    doc_.directWriting = true;
  }
  ~DirectWriteScope() { doc_.directWriting = before_; }
  DirectWriteScope(const DirectWriteScope&) = delete;
  DirectWriteScope& operator=(const DirectWriteScope&) = delete;

 private:
  WaveFile& doc_;
  bool before_;
};

}  // namespace tolmar
