#pragma once
// Selection Statistics (peak, RMS and DC offset per channel) and Find Clipping in Selection
// (runs of samples at or above a clipping level, optionally flat tops only). Neither changes
// audio; both read the selection S … E − 1 through the edit overlay in the level effects' chunks.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/settings.h"
#include "document/marker_list.h"
#include "dsp/level_effects.h"

namespace tolmar {

class WaveFile;

// ---- Statistics

struct SelectionStats {
  LevelScan scan;  // count, sums and squares over what was scanned
  int peak[2] = {0, 0};
  bool stopped = false;

  double rms(int channel) const;
  int dc(int channel) const;  // nearest integer to the mean
};

// Scans the selection with progress (" Scanning:") and Stop.
SelectionStats measureSelection(WaveFile& doc);

// The Selection Statistics dialog (id kSelectionStatsDialogId): read-only texts.
inline constexpr char kSelectionStatsDialogId[] = "SelectionStats";
struct SelectionStatsModel {
  std::string displayFrom, displayTo, selectionFrom, selectionTo;  // time texts
  struct Channel {
    std::string peak, peakPercent, peakDb;
    std::string rms, rmsPercent, rmsDb;
    std::string dc, dcPercent;
  };
  Channel left, right;

  // "To Clipboard": five lines, each ended by CR LF.
  std::string clipboardText() const;
};

// The dialog's texts for a measurement (times formatted by the caller).
SelectionStatsModel statisticsModel(const SelectionStats& stats, std::string displayFrom,
                                    std::string displayTo, std::string selectionFrom,
                                    std::string selectionTo);

// ---- Clipping search

struct ClipSearch {
  int minimumRun = 4;         // clippingsamples
  int level = 32767;          // clippingvalue
  bool flatTopsOnly = false;  // flattopsonly
  double variance = 0.0;      // ftvariance, percent

  static ClipSearch fromSettings(const Settings& s);
};

// Carried from chunk to chunk, per channel. found[c] collects the runs of channel c as markers
// (kind c + 1) at each run's K-th frame; a marker's count is the run's width once it ended.
struct ClipScanState {
  int previous[2] = {1, 1};
  int32_t run[2] = {0, 0};
  MarkerList found[2];

  size_t runs() const { return found[0].size() + found[1].size(); }
};

void scanClipping(const int16_t* buf, int32_t frames, int32_t firstFrame, const ClipSearch& s,
                  ClipScanState& state);

// Scans the selection with progress and Stop; what was scanned before a Stop counts.
ClipScanState findClipping(WaveFile& doc, const ClipSearch& s);

// Replaces the channel markers inside S … E by the runs found (left, then right) and sorts the
// list by position, keeping the order of equal positions.
void placeClipMarkers(MarkerList& markers, int32_t S, int32_t E, const ClipScanState& found);

inline constexpr char kNoClippingText[] = "No clipping found";
std::string clippingFoundText(size_t runs);  // "Clipping found at 3 places"

// The Clipping Analysis dialog (id kClippingDialogId): a histogram of run widths.
inline constexpr char kClippingDialogId[] = "Clipping";
struct ClippingHistogramModel {
  static constexpr int kBins = 24;         // widths 1 … 23, and 24 and over
  std::array<int32_t, kBins + 1> count{};  // count[w] for w = 1 … 24; count[0] unused

  static ClippingHistogramModel fromRuns(const ClipScanState& found);
  int32_t largest() const;

  struct Bar {
    int bin;
    int left, right, top, bottom;  // client coordinates
    int countY;                    // baseline of the count written above the bar
    std::string label;             // "1" … "23", "24+"
  };
  // Bars of bins 1 … 24 for a client area of width W and height H. Bins with no runs have a
  // zero-height bar.
  std::vector<Bar> layout(int W, int H) const;
  // x of a bin label of the given text width.
  static int labelX(int bin, int textWidth, int W);
  static constexpr int labelY(int H) { return H - 81; }
};

}  // namespace tolmar
