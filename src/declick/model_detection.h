#pragma once
// The "Model" click shape: each channel is predicted by an autoregressive model refitted every
// kModelFitFrames frames; a click is where the prediction error, forwards and backwards, stands
// far above the error's typical size (about its median).

#include <cstdint>
#include <vector>

namespace tolmar {

// Models are fitted over stretches of this many frames, aligned to multiples of it in the file,
// so that two overlapping blocks see the same model wherever both hold the whole stretch.
inline constexpr int32_t kModelFitFrames = 2048;
// Frames a block of a Model search shares with each neighbour's scanned region, and the block
// length: every click is reported by the one block whose own region holds its first frame.
inline constexpr int32_t kModelMargin = 2 * kModelFitFrames + 128;
inline constexpr int32_t kModelBlockFrames = 131072;
// Marked samples no more than this many frames apart belong to the same click: a bump shows at
// its two ends.
inline constexpr int32_t kModelGroupGap = 6;

struct ModelClick {
  int32_t first = 0;  // first disturbed frame
  int32_t last = 0;   // last disturbed frame
  uint8_t polarity = 0;
  uint8_t channel = 0;
};

struct ModelScanParams {
  bool channels[2] = {true, true};
  // Threshold: relAmplitude / 100 times the typical absolute prediction error (for Gaussian
  // errors, their median).
  int32_t relAmplitude = 1000;
  // The widest click; a wider disturbance is cut to this many frames from its start.
  int32_t maxWidth = 40;
};

// Scans frames blockStart..blockEnd of an interleaved buffer and appends the clicks whose first
// frame lies in ownFrom..ownTo, in frame order (left before right at the same frame). Clicks of
// the two channels that overlap are linked: both take the union of their extents. Stops early,
// appending nothing more, once keepGoing turns false.
void findModelClicks(const int16_t* buf, int32_t blockStart, int32_t blockEnd, int32_t ownFrom,
                     int32_t ownTo, const ModelScanParams& params, const bool& keepGoing,
                     std::vector<ModelClick>& out);

// One channel's marks: the frames whose forward (fwd) or backward (bwd) prediction error
// exceeds the threshold (kMark), or a good share of it (kWeakMark), grouped into clicks. A group
// is made of marks; a weak mark only supplies the direction a group lacks. Exposed for tests.
inline constexpr uint8_t kMark = 1;
inline constexpr uint8_t kWeakMark = 2;
struct ChannelMarks {
  std::vector<uint8_t> fwd, bwd;  // one per frame of the block: 0, kMark or kWeakMark
  std::vector<float> errFwd;      // the forward error, for polarity
};
void groupMarks(const ChannelMarks& marks, int32_t blockStart, int32_t maxWidth, uint8_t channel,
                std::vector<ModelClick>& out);

// The prediction error energy (model a) over the rows frames first..last reach, before and
// after those frames are rebuilt by AR interpolation from their neighbours. x holds n samples
// of one channel; all zero when the rows reach beyond them. Exposed for tests.
struct RepairedError {
  double before = 0, after = 0;
  int32_t rows = 0;
};
RepairedError repairedError(const int32_t* x, int32_t n, int32_t first, int32_t last,
                            const std::vector<double>& a);

}  // namespace tolmar
