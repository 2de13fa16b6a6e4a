// Find Tracks and Split Tracks: the handlers of the Cue Points menu that cut a side into tracks.

#include <algorithm>
#include <filesystem>
#include <future>
#include <system_error>

#include "cue/cue_sheet.h"
#include "cue/track_finder.h"
#include "cue/track_names.h"
#include "document/file_copy.h"
#include "document/range_writer.h"
#include "document/save_journal.h"
#include "document/storage_sync.h"
#include "editor/editor.h"

namespace tolmar {

namespace {

// Commits each written track to storage while the next one is copied: the commit waits for the
// disk, the copy for memory, and one after the other they take twice as long. Only the commit
// runs on the worker; what it finds is reported here, on the command's thread, before the next
// commit starts and before the command returns.
class TrackCommits {
 public:
  explicit TrackCommits(Context& ctx) : ctx_(ctx) {}
  ~TrackCommits() { finish(); }
  TrackCommits(const TrackCommits&) = delete;
  TrackCommits& operator=(const TrackCommits&) = delete;

  // `written` is the uncommitted file, `path` the name it takes once committed. It stays open
  // (and held) until then; the worker only commits its bytes.
  void start(UncommittedFile&& written, const std::string& path) {
    written_ = std::move(written);
    path_ = path;
    BinaryFile* file = &written_.file;
    try {
      pending_ = std::async(std::launch::async, [file] { return file->sync(); });
    } catch (const std::system_error&) {
      report(written_.file.sync());  // no thread to be had: commit here
    }
  }
  void finish() {
    if (pending_.valid()) report(pending_.get());
  }

 private:
  // An uncommitted track is no more trustworthy than a short one: it goes, as a failed write,
  // and whatever had its name before stays.
  void report(bool committed) {
    saveBoundary();
    if (committed && putInPlace(written_, path_)) {
      ctx_.wrote(path_);
      return;
    }
    ctx_.error("Failed to write to " + path_);
    std::error_code ec;
    std::filesystem::remove(written_.path, ec);
    written_.file.close();
  }

  Context& ctx_;
  UncommittedFile written_;
  std::string path_;
  std::future<bool> pending_;
};

}  // namespace

void CueCommands::FindTracks1Click() {
  Editor& e = ed();
  if (!e.doc || !e.doc->hasSelection()) return;
  WaveFile& doc = *e.doc;
  Settings& s = e.ctx.settings;
  if (s.showonfindtracks && !e.ctx.silentMode) {
    if (!e.runOptionsDialog(OptionsTab::TrackSplitting)) return;
  }
  const TrackFinding finding = TrackFinding::fromSettings(s, e.ctx.sampleRate);
  const int32_t start = doc.selStart;
  const int32_t end = doc.selEnd;
  const bool cues = s.findtrackoption == 1;
  if (s.clearbeforesearch) {
    if (cues) {
      if (std::erase_if(doc.cues,
                        [&](const Cue& c) { return start <= c.position && c.position <= end; }))
        doc.cuesNotWritten = true;
    } else {
      std::erase_if(e.markers.items,
                    [&](const Marker& m) { return start <= m.position && m.position <= end; });
      if (start <= e.audibleMarker && e.audibleMarker <= end) e.audibleMarker = -1;
    }
  }
  const bool offset = s.addoffsetonconvert;
  const TrackFindResult result = findTrackBoundaries(doc, start, end, finding, [&](int32_t at) {
    if (cues)
      AddTrackCue(at, true, offset);
    else
      e.AddMarkerAt(at);
  });
  if (!cues) e.SortMarkers();
  e.ctx.info(std::to_string(result.found) + " possible track boundaries detected");
  e.ctx.host().requestRepaint(Repaint::overlays());
  e.ctx.host().refreshCommands();
}

void CueCommands::SplitTracks1Click() {
  namespace fs = std::filesystem;
  Editor& e = ed();
  if (!e.doc || e.doc->frameCount <= 0) return;
  WaveFile& doc = *e.doc;
  const bool automated = e.ctx.inMacroOrBatch();
  std::string chosen = doc.path;
  if (!automated) {
    FileDialogSpec spec;
    spec.title = "Split Tracks";
    spec.directory = fs::path(doc.path).parent_path().string();
    spec.fileName = fs::path(doc.path).filename().string();
    spec.filter = kWavFileFilter;
    spec.defaultExt = "wav";
    const auto answer = e.ctx.host().saveFileDialog(spec);
    if (!answer) return;
    chosen = *answer;
  }
  const TrackNaming naming = TrackNaming::from(chosen, e.ctx.settings);
  const int32_t cd = cdFrameFrames(e.ctx.sampleRate);
  bool pad = false;
  if (!automated && doc.frameCount % cd != 0)
    pad = e.ctx.askYesNo(
        "WAV file is not an exact multiple of CD blocks.\rDo you want the last track padded "
        "with zeros?");

  // Track k runs from its start to the frame before the next track cue; index cues never split.
  struct Track {
    int32_t first;
    TrackText text;
  };
  std::vector<Track> tracks{
      {0, {doc.track1Title, doc.track1Performer, doc.discTitle, doc.discPerformer}}};
  for (const Cue& cue : doc.cues)
    if (cue.track)
      tracks.push_back(
          {cue.position, {cue.title, cue.performer, doc.discTitle, doc.discPerformer}});

  auto lastFrameOf = [&](size_t k) {
    return k + 1 == tracks.size() ? doc.lastFrame
                                  : std::min(tracks[k + 1].first - 1, doc.lastFrame);
  };
  // A cue on frame 0 or past the end leaves nothing to write: such a track has no name.
  std::vector<std::string> names(tracks.size());
  for (size_t k = 0; k < tracks.size(); ++k)
    if (lastFrameOf(k) >= tracks[k].first)
      names[k] = trackFileName(naming, static_cast<int>(k) + 1, tracks[k].text);
  // Two tracks under one name would leave only the later one; refuse before writing any.
  for (size_t k = 0; k < names.size(); ++k) {
    for (size_t j = 0; j < k; ++j) {
      if (names[k].empty() || names[k] != names[j]) continue;
      e.ctx.error(trackNameClashText(static_cast<int>(j) + 1, static_cast<int>(k) + 1, names[k]));
      return;
    }
  }

  TrackCommits commits(e.ctx);
  bool cancelled = false;
  for (size_t k = 0; k < tracks.size() && !cancelled; ++k) {
    const bool lastTrack = k + 1 == tracks.size();
    const int32_t first = tracks[k].first;
    const int32_t last = lastFrameOf(k);
    if (last < first) continue;
    const int32_t extra = lastTrack && pad ? cd - (last % cd) - 1 : 0;
    const std::string& name = names[k];
    // A '/' from the CD-Text would lead out of the chosen directory, and the writer only checks
    // what follows the last one.
    const std::string fileName = name.substr(naming.directory.size());
    if (fileName.find('/') != std::string::npos) {
      std::string text = invalidFileNameText("");
      text.insert(text.find('"') + 1, fileName);
      e.ctx.error(text);
      continue;
    }
    // A name that comes out as the document itself would be truncated while it is read.
    if (sameFile(name, doc.path)) {
      e.ctx.error("New file same as existing file!");
      continue;
    }
    if (!automated && fileExists(name)) {
      const Answer a = e.ctx.ask(MsgKind::Warning, Buttons::YesNoCancel, "Overwrite " + name);
      if (a == Answer::Cancel) {
        cancelled = true;
        break;
      }
      if (a != Answer::Yes) continue;
    }
    // A write refused before its copy starts leaves the flag as it was; a stale Cancel from an
    // earlier command must not read as this one's.
    e.ctx.continueFlag = true;
    UncommittedFile written;
    if (writeRange(doc, name, first, extra, last, &written)) {
      commits.finish();
      commits.start(std::move(written), name);
    } else if (!e.ctx.continueFlag) {
      cancelled = true;
    }
  }
  commits.finish();
  // A split that stopped part-way has not used every cue: they still need writing out.
  if (!cancelled) doc.cuesNotWritten = false;
  e.ctx.host().requestRepaint(Repaint::all());
  e.ctx.host().refreshCommands();
}

}  // namespace tolmar
