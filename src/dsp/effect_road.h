#pragma once
// The road every block effect travels: the level convention, chunk walks over the selection,
// progress and Stop, the With Undo records or the Direct Overwrite write-back, and the markers
// an effect leaves where it clipped.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>

#include "base/session.h"
#include "document/marker_list.h"
#include "document/wave_file.h"

namespace tolmar {

class WaveFile;

// ---- Level convention: a magnitude a is 6·log2(a) − 90 dB; a gain of G dB multiplies by
// 1.122462048309373^G (that constant, so that one doubling is 6 dB and not 6.02).

inline constexpr double kSixthRootOfTwo = 1.122462048309373;

inline double dbGainFactor(double db) {
  return std::pow(kSixthRootOfTwo, db);
}

// "-96.0" for silence, else 6·log2(a) − 90 with one decimal.
std::string LevelToDb(int magnitude);
// The nearest integer to 2^((d + 90)/6), at most 32767.
int DbToLevel(double db);

// Nearest integer, ties to even (the rounding mode is never changed).
inline double roundEven(double v) {
  return std::nearbyint(v);
}

// A computed value as a sample: nearest integer (ties to even) limited to −32768 … 32767. A
// filter fed nonsense (a zero Q) may give NaN; that becomes silence rather than undefined
// behaviour.
inline int16_t toSample(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 32767.0) return 32767;
  if (v <= -32768.0) return -32768;
  return static_cast<int16_t>(roundEven(v));
}

// ---- The per-buffer cores' common arguments.

struct CoreRun {
  int32_t firstFrame = 0;         // frame number of the buffer's first frame
  MarkerList* markers = nullptr;  // clip markers go here; null when none are wanted
  bool left = true;               // channels written back; only they may report clipping
  bool right = true;
  // The preview processes only the selection: frames outside this window pass untouched.
  int32_t windowFirst = INT32_MIN;
  int32_t windowLast = INT32_MAX;
  bool clipCheck = true;  // equaliser and filter only
  double factor = 1.0;    // equaliser and filter: overall factor

  bool clipped = false;  // out: a written sample clipped
  double peak = 0.0;     // out, equaliser and filter: largest |output| of the last call

  bool writes(int channel) const { return channel == 0 ? left : right; }
  bool inWindow(int32_t frame) const { return frame >= windowFirst && frame <= windowLast; }
};

// The markers of one buffer: a run of clipped frames gets one marker at its first frame. The
// last clipped frame serves both channels and starts as "none" in every buffer.
class ClipMarks {
 public:
  explicit ClipMarks(CoreRun& run) : run_(run) {}
  void clip(int channel, int32_t frame) {
    run_.clipped = true;
    if (run_.markers && (!any_ || frame > last_ + 1))
      run_.markers->Add(static_cast<uint8_t>(channel + 1), frame, 1);
    any_ = true;
    last_ = frame;
  }

 private:
  CoreRun& run_;
  bool any_ = false;
  int32_t last_ = 0;
};

// ---- Chunks: frames first … last in chunks of `size` frames (the last one shorter).

struct ChunkWalk {
  int32_t first = 0;
  int32_t last = -1;
  int32_t size = kChunkFrames;

  int32_t count() const {
    if (last < first) return 0;
    return static_cast<int32_t>((static_cast<int64_t>(last) - first) / size + 1);
  }
  int32_t chunkFirst(int32_t k) const {
    return static_cast<int32_t>(first + static_cast<int64_t>(k) * size);
  }
  int32_t chunkLast(int32_t k) const {
    return static_cast<int32_t>(
        std::min<int64_t>(static_cast<int64_t>(chunkFirst(k)) + size - 1, last));
  }
};

// Amplify/Compress, Normalise, statistics and clipping search: S … E − 1, 8999 frames a chunk
// (the frame at the selection end is left alone).
inline ChunkWalk levelWalk(int32_t S, int32_t E) {
  return {S, E - 1, kChunkFrames - 1};
}
// Equalise, Filter, Channel Mix: S … E, 9000 frames a chunk.
inline ChunkWalk filterWalk(int32_t S, int32_t E) {
  return {S, E, kChunkFrames};
}
// Fades: S … E, 8999 frames a chunk.
inline ChunkWalk fadeWalk(int32_t S, int32_t E) {
  return {S, E, kChunkFrames - 1};
}

// ---- One pass over the selection.

enum class PassStore { None, Records, Direct };

struct PassSpec {
  std::string caption;  // progress caption, e.g. " Compress/Amplify:"
  ChunkWalk walk;
  PassStore store = PassStore::None;
  // Channels the pass may change, before the Edit Left / Edit Right switches are applied.
  bool left = true;
  bool right = true;
};

struct PassResult {
  int32_t records = 0;   // records accepted (With Undo)
  bool stopped = false;  // Stop was pressed (or a write failed)
  bool failed = false;   // the file could not be opened or written
};

// compute(buf, first, last) turns the frames first … last (interleaved, left first) into the
// new samples in place; only the channels it was told to write may change.
using ChunkCompute = std::function<void(int16_t* buf, int32_t first, int32_t last)>;

// Reads each chunk through the edit overlay, lets compute change it, and stores it as the
// spec's store says: two linked sample-block records, or written back into the file. Direct
// passes bring the peak summary up to date at the end. Shows and hides the progress panel.
PassResult runEffectPass(WaveFile& doc, const PassSpec& spec, const ChunkCompute& compute);

}  // namespace tolmar
