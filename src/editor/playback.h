#pragma once
// The playback engine: the selection (with or without context, with or without the selection
// itself) sent block by block through the edit overlay, the channel choice, the audible marker,
// an effect preview and the speed factor to an output device of B numbered buffers.
//
// The core has no message loop, so the engine is polled: start() primes the device and
// returns; each poll() takes one step of the wait (refill the next buffer once the one it
// reuses is done, end a pass, start the next one, finish). A window calls poll() from a short
// timer; batch runs and macros use runToEnd(), which pumps the host between polls.

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/output_device.h"
#include "document/marks.h"

namespace tolmar {

class Editor;
class BinaryFile;

enum class PreviewKind { None, Declick, Compress, Equalise, Filter, ChannelMix, Decrackle };

struct PlayRequest {
  bool applyEdits = true;
  bool mono = false;
  bool playLeft = true;
  bool playRight = true;
  bool minusSelection = false;
  bool withContext = false;
  bool loop = false;
  PreviewKind preview = PreviewKind::None;
  // Context in tenths of a second (beforeplay / afterplay, or 0 for the Before/After items).
  int beforeTenths = 0;
  int afterTenths = 0;
};

// What a preview dialog and the playback share. The dialog's controls write the settings and
// these flags; the playback reads them for every buffer it fills.
struct PreviewState {
  PreviewKind kind = PreviewKind::None;
  bool open = false;    // a preview dialog is showing
  bool bypass = false;  // play the unprocessed sound; off whenever a dialog opens
  // "Include Context", shared by every preview dialog.
  bool includeContext = false;
  bool clipped = false;  // the clip indicator is red
  int32_t clicksThisPass = 0;
  int32_t clicksLastPass = 0;
  bool removeRequested = false;  // the declick preview's Remove
};

class Playback {
 public:
  explicit Playback(Editor& editor);
  ~Playback();
  Playback(const Playback&) = delete;
  Playback& operator=(const Playback&) = delete;

  // Steps up to the priming of the first pass; when nothing can play, the playback has ended
  // (with its message) before this returns.
  void start(const PlayRequest& request);
  // One step; false once the playback has ended.
  bool poll();
  // Polls, pumping the host and sleeping 2 ms while a buffer plays, until the playback ends.
  void runToEnd();

  bool active() const { return phase_ != Phase::Idle; }
  bool paused() const { return paused_; }
  void stop() { stopFlag_ = true; }
  // Ends the pass; the next one starts over the same range with the settings as they are then.
  void restartPass() {
    restartFlag_ = true;
    stopFlag_ = true;
  }
  void togglePause();
  // n = ±1 or ±10 view widths.
  void skip(int n);
  void faster();
  void slower();
  int speedFactor() const { return speed_; }
  bool slowMotion() const { return slow_; }

  // The play cursor: advanced by the window's 100 ms timer, corrected at every buffer switch.
  void cursorTick();
  int32_t playPosition = 0;
  int32_t rangeFirst() const { return first_; }
  int32_t rangeLast() const { return last_; }
  int blockFrames() const { return F_; }
  int bufferCount() const { return B_; }
  // The latency the open device reports, in seconds.
  double deviceLatency() const { return device_ ? device_->latencySeconds() : 0.0; }

 private:
  enum class Phase { Idle, Refilling, Draining };
  struct Slot {
    std::vector<int16_t> memory;
    bool prepared = false;
    bool queued = false;  // written successfully and not yet seen done
    int32_t firstFrame = 0;
    int64_t block = 0;
  };

  void beginPass();
  void endPass();
  void finish();
  void prepareBuffer(int64_t k);
  void writeBuffer(int64_t k);
  bool slotDone(int slot);
  int slotOf(int64_t k) const { return static_cast<int>(((k % B_) + B_) % B_); }
  void fillFrames(int16_t* buf, int32_t first, int32_t last);
  void applyPreview(int16_t* buf, int32_t first, int32_t last);
  void decracklePreview(int16_t* buf, int32_t first, int32_t last, bool edits);
  void applySpeed(Slot& slot, int32_t frames, uint32_t& bytes) const;
  void releaseSlots(bool wait);
  void deviceError(const char* what, const DeviceStatus& st);

  Editor& ed_;
  PlayRequest req_;
  Phase phase_ = Phase::Idle;
  std::unique_ptr<OutputDevice> device_;
  std::unique_ptr<BinaryFile> stream_;
  std::vector<Slot> slots_;
  int F_ = 0;
  int B_ = 0;
  int64_t N_ = 0;
  int32_t lastBlockFrames_ = 0;
  int64_t k_ = 0;  // the block being waited for
  int lastSlot_ = -1;
  int32_t first_ = 0;
  int32_t last_ = 0;
  int32_t readPos_ = 0;
  bool skipDeletions_ = false;
  bool stopFlag_ = false;
  bool restartFlag_ = false;
  bool paused_ = false;
  int speed_ = 1;
  bool slow_ = false;
  int savedCursorStep_ = 0;
  bool deletionsSaved_ = false;
  bool inPoll_ = false;
  bool starting_ = false;
  std::vector<Deletion> savedDeletions_;
  std::vector<int16_t> decrackled_;
  // The click scan inside the decrackle preview runs to the end of every block.
  bool keepGoing_ = true;
};

}  // namespace tolmar
