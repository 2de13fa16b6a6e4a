#include "editor/playback.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <thread>

#include "document/binary_file.h"
#include "document/deletions.h"
#include "dsp/channel_mix.h"
#include "dsp/decrackle.h"
#include "dsp/eq_filter.h"
#include "dsp/level_effects.h"
#include "editor/editor.h"

namespace tolmar {

namespace {

void sleepMs(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The dialog id the host knows a preview by.
const char* previewDialogId(PreviewKind kind) {
  switch (kind) {
    case PreviewKind::Declick:
      return "DeclickPreview";
    case PreviewKind::Compress:
      return "CompressPreview";
    case PreviewKind::Equalise:
      return "EqualisePreview";
    case PreviewKind::Filter:
      return "FilterPreview";
    case PreviewKind::ChannelMix:
      return "ChannelMixPreview";
    case PreviewKind::Decrackle:
      return "DecracklePreview";
    case PreviewKind::None:
      break;
  }
  return "";
}

}  // namespace

Playback::Playback(Editor& editor) : ed_(editor) {}
Playback::~Playback() = default;

void Playback::deviceError(const char* what, const DeviceStatus& st) {
  ed_.ctx.error(std::string(what) + deviceCodeText(st));
}

void Playback::start(const PlayRequest& request) {
  Context& ctx = ed_.ctx;
  if (active() || !ed_.doc || !ed_.doc->hasSelection()) return;
  req_ = request;
  savedCursorStep_ = ctx.playBufferFrames;
  ed_.SetPlayingState(false);

  const int rate = ctx.sampleRate;
  const int perSecond = std::max(1, ctx.settings.recplaybps);
  F_ = req_.preview == PreviewKind::Decrackle ? ed_.spectral.N() : std::max(1, rate / perSecond);
  B_ = std::max(1, ctx.settings.recplaybuffs);
  ctx.playing = true;
  paused_ = false;
  phase_ = Phase::Refilling;  // until finish(): the playback is running

  try {
    slots_.assign(static_cast<size_t>(B_), Slot{});
    // Four times the block, so that quarter speed needs no other memory.
    for (Slot& s : slots_) s.memory.assign(static_cast<size_t>(F_) * 8, 0);
  } catch (const std::bad_alloc&) {
    slots_.clear();
    ctx.error("Failed to allocate buffers");
    finish();
    return;
  }

  device_ = ed_.outputBackend().createOutput();
  const DeviceStatus opened = device_->open(ctx.settings.playdevno, WaveFormat{rate, 2, 16}, B_);
  if (!opened.ok()) {
    ctx.error("Failed to open a suitable output device (" + openFailureReason(opened) + ")");
    device_.reset();
    slots_.clear();
    finish();
    return;
  }

  speed_ = 1;
  slow_ = false;
  PreviewState& pv = ed_.preview;
  pv.kind = req_.preview;
  pv.open = false;
  if (req_.preview != PreviewKind::None && !ctx.batchRunning) {
    pv.bypass = false;
    pv.clipped = false;
    pv.open = true;
    ctx.host().previewOpened(previewDialogId(req_.preview));
    starting_ = true;
    ctx.host().pump();
    starting_ = false;
  }

  stream_ = std::make_unique<BinaryFile>();
  if (!stream_->open(ed_.doc->path, BinaryFile::Mode::Read)) {
    ctx.error("Failed to open " + ed_.doc->path);
    stopFlag_ = true;
    finish();
    return;
  }
  beginPass();
}

void Playback::beginPass() {
  WaveFile& doc = *ed_.doc;
  Context& ctx = ed_.ctx;
  const int rate = ctx.sampleRate;
  // A: the play range.
  const bool contextWanted = req_.withContext || (ed_.preview.open && ed_.preview.includeContext);
  if (!contextWanted) {
    first_ = doc.selStart;
    last_ = doc.selEnd;
  } else {
    const int64_t before = static_cast<int64_t>(req_.beforeTenths) * rate / 10;
    const int64_t after = static_cast<int64_t>(req_.afterTenths) * rate / 10;
    first_ = static_cast<int32_t>(std::max<int64_t>(0, doc.selStart - before));
    last_ = static_cast<int32_t>(std::min<int64_t>(doc.frameCount - 1, doc.selEnd + after));
  }
  // C: a new pass for the declick counters; minus-selection plays around a deletion mark.
  ed_.preview.clicksLastPass = ed_.preview.clicksThisPass;
  ed_.preview.clicksThisPass = 0;
  ResetFilterState(ed_.filterState);
  if (req_.minusSelection) {
    savedDeletions_ = doc.deletions;
    deletionsSaved_ = true;
    addDeletionMark(doc.deletions, {doc.selStart, doc.selEnd});
  }
  // D: blocks, leaving out the frames marked for deletion.
  skipDeletions_ = !doc.deletions.empty();
  const int64_t deleted = skipDeletions_ ? countDeletedFrames(doc.deletions, first_, last_) : 0;
  const int64_t toPlay = static_cast<int64_t>(last_) - first_ + 1 - deleted;
  // B: nothing to play (a range of one frame, or every frame of it marked for deletion).
  if (first_ >= last_ || toPlay <= 0) {
    stopFlag_ = true;
    restartFlag_ = false;
    endPass();
    return;
  }
  N_ = (static_cast<int64_t>(last_) - first_ - deleted) / F_ + 1;
  const int64_t rest = toPlay % F_;
  lastBlockFrames_ = static_cast<int32_t>(rest == 0 ? F_ : rest);

  // E
  for (Slot& s : slots_) {
    s.prepared = false;
    s.queued = false;
  }
  stopFlag_ = false;
  restartFlag_ = false;
  readPos_ = first_;
  // The play cursor (StartPlaybackTimer).
  if (ctx.settings.clearmarkers && !ed_.markers.empty()) {
    ed_.markers.Clear();
    ctx.host().requestRepaint(Repaint::overlays());
  }
  playPosition = first_;
  ctx.host().playCursorStarted(first_, last_);

  // F: prime.
  lastSlot_ = -1;
  for (int64_t k = 1; k <= B_ && k <= N_; ++k) {
    prepareBuffer(k);
    writeBuffer(k);
  }
  k_ = B_ + 1;
  phase_ = Phase::Refilling;
}

bool Playback::slotDone(int slot) {
  Slot& s = slots_[static_cast<size_t>(slot)];
  if (s.queued && device_->done(slot)) s.queued = false;
  return !s.queued;
}

void Playback::writeBuffer(int64_t k) {
  const int slot = slotOf(k);
  Slot& s = slots_[static_cast<size_t>(slot)];
  lastSlot_ = slot;
  if (!s.prepared) return;  // an empty buffer: nothing to send, nothing to wait for
  const DeviceStatus st = device_->write(slot);
  if (!st.ok()) {
    ed_.ctx.error("Failed to send data buffer #" + std::to_string(k) +
                  " to output device, code=" + deviceCodeText(st));
    return;
  }
  s.queued = true;
}

void Playback::prepareBuffer(int64_t k) {
  WaveFile& doc = *ed_.doc;
  const int slot = slotOf(k);
  Slot& s = slots_[static_cast<size_t>(slot)];
  const int32_t count = k == N_ ? lastBlockFrames_ : F_;
  s.firstFrame = readPos_;
  s.block = k;
  int16_t* buf = s.memory.data();
  if (!skipDeletions_) {
    fillFrames(buf, readPos_, readPos_ + count - 1);
    readPos_ += count;
  } else {
    int32_t filled = 0;
    for (const Deletion& d : doc.deletions) {
      if (filled >= count) break;
      if (d.end < readPos_) continue;
      if (d.start <= readPos_) {
        readPos_ = d.end + 1;
        continue;
      }
      const int64_t room = count - filled;
      if (static_cast<int64_t>(d.start) - readPos_ < room) {
        const int32_t n = d.start - readPos_;
        fillFrames(buf + 2 * static_cast<size_t>(filled), readPos_, d.start - 1);
        filled += n;
        readPos_ = d.end + 1;
      }
    }
    if (filled < count) {
      fillFrames(buf + 2 * static_cast<size_t>(filled), readPos_, readPos_ + (count - filled) - 1);
      readPos_ += count - filled;
    }
  }
  uint32_t bytes = static_cast<uint32_t>(count) * 4;
  applySpeed(s, count, bytes);
  s.prepared = false;
  if (bytes != 0) {
    const DeviceStatus st = device_->prepare(slot, buf, bytes);
    if (!st.ok()) {
      ed_.ctx.error("Failed to prepare wave data buffer #" + std::to_string(k) +
                    ", code=" + deviceCodeText(st));
      return;
    }
    s.prepared = true;
  }
}

void Playback::applySpeed(Slot& slot, int32_t frames, uint32_t& bytes) const {
  if (speed_ <= 1) return;
  int16_t* b = slot.memory.data();
  const auto f = static_cast<size_t>(speed_);
  if (!slow_) {
    for (size_t i = 0, j = 0; j < static_cast<size_t>(frames); ++i, j += f) {
      b[2 * i] = b[2 * j];
      b[2 * i + 1] = b[2 * j + 1];
    }
    // Whole frames only: a partial frame would swap the channels of everything after it.
    bytes = bytes / static_cast<uint32_t>(speed_) / 4 * 4;
  } else {
    for (size_t j = static_cast<size_t>(frames); j-- > 0;)
      for (size_t r = f; r-- > 0;) {
        b[2 * (j * f + r)] = b[2 * j];
        b[2 * (j * f + r) + 1] = b[2 * j + 1];
      }
    bytes *= static_cast<uint32_t>(speed_);
  }
}

void Playback::fillFrames(int16_t* buf, int32_t first, int32_t last) {
  if (last < first) return;
  WaveFile& doc = *ed_.doc;
  const size_t frames = static_cast<size_t>(last - first + 1);
  // 1, 2: raw frames, then the overlay (for the declick preview only when it asks for it).
  const bool edits =
      req_.preview == PreviewKind::Declick ? ed_.params.includeUpdates : req_.applyEdits;
  doc.ReadFrames(*stream_, edits, buf, first, last);
  // Decrackle works on the file's frames around the buffer, not on the buffer, so it comes
  // before the channel choice, which then applies to what it made.
  if (req_.preview == PreviewKind::Decrackle && !ed_.preview.bypass)
    decracklePreview(buf, first, last, edits);
  // 3: channel choice.
  if (!req_.playLeft || !req_.playRight) {
    for (size_t i = 0; i < frames; ++i) {
      int16_t* f = buf + 2 * i;
      if (!req_.playLeft) f[0] = (req_.mono && req_.playRight) ? f[1] : 0;
      if (!req_.playRight) f[1] = (req_.mono && req_.playLeft) ? f[0] : 0;
    }
  }
  // 4: the preview.
  if (req_.preview != PreviewKind::None && !ed_.preview.bypass) applyPreview(buf, first, last);
  // 5: the audible marker, a click of five frames.
  const int32_t p = ed_.audibleMarker;
  if (p >= 0 && p >= first && p <= last) {
    const int32_t at = std::max(p - 10, first);
    int16_t* src = buf + 2 * static_cast<size_t>(at - first);
    int16_t v[2];
    for (int c = 0; c < 2; ++c)
      v[c] = static_cast<int16_t>(src[c] < 0 ? src[c] + 32767 : src[c] - 32767);
    for (int32_t j = at; j <= std::min(at + 4, last); ++j) {
      int16_t* f = buf + 2 * static_cast<size_t>(j - first);
      f[0] = v[0];
      f[1] = v[1];
    }
  }
}

void Playback::decracklePreview(int16_t* buf, int32_t first, int32_t last, bool edits) {
  Editor& e = ed_;
  WaveFile& doc = *e.doc;
  // Only the selection's frames, each buffer as one block: with the buffers N frames long and
  // the range starting at the selection, the blocks are those of Decrackle itself.
  const int32_t a = std::max(first, doc.selStart);
  const int32_t b = std::min(last, doc.selEnd);
  const int n = e.spectral.N();
  if (a > b || !e.fingerprint.present || e.fingerprint.n != n) return;
  std::vector<int16_t>& out = decrackled_;
  out.resize(static_cast<size_t>(n) * 2);
  const auto read = [&](int16_t* to, int64_t from) {
    doc.ReadFrames(*stream_, edits, to, static_cast<int32_t>(from),
                   static_cast<int32_t>(from + n - 1));
  };
  for (int32_t s = a; s <= b; s += n) {
    const int32_t end = static_cast<int32_t>(std::min<int64_t>(b, int64_t{s} + n - 1));
    decracklePreviewBlock(e.spectral, e.fingerprint, e.params, e.clicks.falseClicks,
                          DecrackleParams::fromSettings(e.ctx.settings), keepGoing_, read, s, end,
                          out.data());
    for (int32_t f = s; f <= end; ++f) {
      int16_t* to = buf + 2 * static_cast<size_t>(f - first);
      const int16_t* from = out.data() + 2 * static_cast<size_t>(f - s);
      if (e.ctx.editLeft) to[0] = from[0];
      if (e.ctx.editRight) to[1] = from[1];
    }
  }
}

void Playback::applyPreview(int16_t* buf, int32_t first, int32_t last) {
  Context& ctx = ed_.ctx;
  const WaveFile& doc = *ed_.doc;
  const int32_t S = doc.selStart;
  const int32_t E = doc.selEnd;
  const int32_t frames = last - first + 1;
  const bool l = ctx.editLeft;
  const bool r = ctx.editRight;
  bool clipped = false;
  switch (req_.preview) {
    case PreviewKind::Declick: {
      // Only the selection's frames: the context around it plays as it is.
      const int32_t a = std::max(first, S);
      const int32_t b = std::min(last, E);
      if (a <= b)
        ed_.preview.clicksThisPass +=
            ed_.DeclickPreviewBuffer(buf + 2 * static_cast<size_t>(a - first), a, b);
      break;
    }
    case PreviewKind::Compress: {
      const AmplifyParams p = AmplifyParams::fromSettings(ctx.settings);
      if (!p.isIdentity())
        clipped = amplifyCompressPreview(buf, frames, first, p, S, E, ctx.sampleRate, l, r);
      break;
    }
    case PreviewKind::Equalise:
      clipped =
          equalisePreview(ed_.filterState, buf, frames, first, ctx.settings.equalise, S, E, l, r);
      break;
    case PreviewKind::Filter:
      clipped = filterPreview(ed_.filterState, buf, frames, first, ctx.settings.filter,
                              ctx.sampleRate, S, E, l, r);
      break;
    case PreviewKind::ChannelMix:
      clipped = channelMixPreview(buf, frames, first, ctx.settings.mixer, S, E, l, r);
      break;
    case PreviewKind::Decrackle:
    case PreviewKind::None:
      break;
  }
  if (clipped) ed_.preview.clipped = true;
}

bool Playback::poll() {
  // Also while start() lets messages run for a preview dialog: no pass has begun yet.
  if (phase_ == Phase::Idle || inPoll_ || starting_) return active();
  inPoll_ = true;
  // The document went away under the playback: end it without touching the document.
  if (!ed_.doc) {
    stopFlag_ = true;
    restartFlag_ = false;
    finish();
    inPoll_ = false;
    return false;
  }
  if (phase_ == Phase::Refilling) {
    if (stopFlag_) {
      endPass();
    } else if (k_ > N_) {
      phase_ = Phase::Draining;
    } else if (slotDone(slotOf(k_))) {
      const int slot = slotOf(k_);
      Slot& s = slots_[static_cast<size_t>(slot)];
      if (s.prepared) {
        const DeviceStatus st = device_->unprepare(slot);
        if (!st.ok())
          ed_.ctx.error("Failed to unprepare buffer #" + std::to_string(k_) +
                        ", code=" + deviceCodeText(st));
        s.prepared = false;
      }
      prepareBuffer(k_);
      playPosition = slots_[static_cast<size_t>(slotOf(k_ - (B_ - 1)))].firstFrame;
      writeBuffer(k_);
      ++k_;
    }
  }
  if (phase_ == Phase::Draining) {
    if (stopFlag_ || lastSlot_ < 0 || slotDone(lastSlot_)) endPass();
  }
  inPoll_ = false;
  return active();
}

void Playback::releaseSlots(bool wait) {
  // A paused device would never finish its buffers.
  if (wait && paused_) {
    device_->restart();
    paused_ = false;
  }
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(2000 + static_cast<int64_t>(B_) * F_ * 1000 /
                                                             std::max(1, ed_.ctx.sampleRate));
  for (size_t i = 0; i < slots_.size(); ++i) {
    Slot& s = slots_[i];
    if (!s.prepared) continue;
    const int slot = static_cast<int>(i);
    if (wait)
      while (!slotDone(slot) && std::chrono::steady_clock::now() < deadline) sleepMs(2);
    const DeviceStatus st = device_->unprepare(slot);
    if (!st.ok())
      ed_.ctx.error("Failed to unprepare buffer #" + std::to_string(s.block) +
                    ", code=" + deviceCodeText(st));
    else
      s.prepared = false;
  }
}

void Playback::endPass() {
  Context& ctx = ed_.ctx;
  const Settings& set = ctx.settings;
  ctx.host().playCursorStopped();
  // I: what the device does at the end of a pass.
  if (!stopFlag_) {
    if (set.playendreset) {
      const DeviceStatus st = device_->reset();
      if (!st.ok()) deviceError("Failed to reset output device, code=", st);
      paused_ = false;
    }
    if (set.playendrelease) releaseSlots(set.playendwait);
  } else {
    if (set.playstopreset) {
      const DeviceStatus st = device_->reset();
      if (!st.ok()) deviceError("Failed to reset the output device, code=", st);
      paused_ = false;
    }
    if (set.playstoprelease) releaseSlots(set.playstopwait);
  }
  // J, K. Only a preview dialog can stop a loop; a batch run shows none, so there a preview
  // plays its range once and the next step runs.
  if (!req_.loop || !ed_.preview.open) stopFlag_ = true;
  if (deletionsSaved_ && ed_.doc) {
    ed_.doc->deletions = savedDeletions_;
    deletionsSaved_ = false;
  }
  if (restartFlag_ && ed_.doc) stopFlag_ = false;
  if (!stopFlag_)
    beginPass();
  else
    finish();
}

void Playback::finish() {
  Context& ctx = ed_.ctx;
  stream_.reset();
  const PreviewKind kind = ed_.preview.kind;
  if (ed_.preview.open) {
    ed_.preview.open = false;
    ctx.host().previewClosed(previewDialogId(kind));
  }
  if (device_) {
    DeviceStatus st = device_->reset();
    if (!st.ok()) deviceError("Failed to reset output device, code=", st);
    st = device_->close();
    if (!st.ok()) deviceError("Failed to close output device, code=", st);
    device_.reset();
  }
  slots_.clear();
  phase_ = Phase::Idle;
  ctx.playing = false;
  paused_ = false;
  ed_.SortMarkers();
  ed_.SetPlayingState(true);
  ctx.playBufferFrames = savedCursorStep_;
  ed_.playbackEnded(kind);
}

void Playback::runToEnd() {
  while (active()) {
    ed_.ctx.host().pump();
    const bool waiting = phase_ != Phase::Idle && !stopFlag_ &&
                         ((phase_ == Phase::Refilling && k_ <= N_ && !slotDone(slotOf(k_))) ||
                          (phase_ == Phase::Draining && lastSlot_ >= 0 && !slotDone(lastSlot_)));
    if (waiting) sleepMs(2);
    poll();
  }
}

void Playback::togglePause() {
  if (!active()) return;
  paused_ = !paused_;
  if (device_) {
    if (paused_)
      device_->pause();
    else
      device_->restart();
  }
}

void Playback::skip(int n) {
  if (!active() || !ed_.doc) return;
  const int64_t frames = static_cast<int64_t>(n) * ed_.doc->viewWidth;
  const int64_t pos = readPos_ + frames;
  k_ += frames / F_;
  if (pos < first_) {
    readPos_ = first_;
    k_ = 0;
  } else {
    readPos_ = static_cast<int32_t>(std::min<int64_t>(pos, INT32_MAX));
  }
}

void Playback::faster() {
  if (!slow_) {
    if (speed_ < 16) {
      speed_ *= 2;
      ed_.ctx.playBufferFrames *= 2;
    }
  } else {
    if (speed_ == 2) {
      speed_ = 1;
      slow_ = false;
    } else {
      speed_ = 2;
    }
    ed_.ctx.playBufferFrames *= 2;
  }
}

void Playback::slower() {
  if (!slow_) {
    speed_ /= 2;
    if (speed_ == 0) {
      slow_ = true;
      speed_ = 2;
    }
    ed_.ctx.playBufferFrames /= 2;
  } else if (speed_ == 2) {
    speed_ = 4;
    ed_.ctx.playBufferFrames /= 2;
  }
}

void Playback::cursorTick() {
  if (!active() || paused_ || !ed_.doc) return;
  playPosition += ed_.ctx.playBufferFrames;
  if (skipDeletions_)
    for (const Deletion& d : ed_.doc->deletions)
      if (playPosition >= d.start && playPosition <= d.end) {
        playPosition = d.end;
        break;
      }
}

}  // namespace tolmar
