#include "dsp/statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "config/ini_file.h"
#include "document/wave_file.h"

namespace tolmar {

double SelectionStats::rms(int channel) const {
  if (scan.count == 0) return 0;
  return std::sqrt(static_cast<double>(scan.squares[channel]) / static_cast<double>(scan.count));
}

int SelectionStats::dc(int channel) const {
  if (scan.count == 0) return 0;
  return static_cast<int>(
      roundEven(static_cast<double>(scan.sum[channel]) / static_cast<double>(scan.count)));
}

SelectionStats measureSelection(WaveFile& doc) {
  SelectionStats stats;
  if (!doc.hasSelection()) return stats;
  const PassResult r =
      runEffectPass(doc, {" Scanning:", levelWalk(doc.selStart, doc.selEnd), PassStore::None},
                    [&](int16_t* buf, int32_t first, int32_t last) {
                      ScanLevels(buf, last - first + 1, stats.scan);
                      for (int c = 0; c < 2; ++c)
                        stats.peak[c] = std::max({stats.peak[c], std::abs(stats.scan.minimum[c]),
                                                  std::abs(stats.scan.maximum[c])});
                    });
  stats.stopped = r.stopped;
  doc.ctx().requestRepaint(Repaint::all());
  return stats;
}

namespace {

std::string percentText(double v) {
  return formatFixed(v * 100 / 32767, 2, localeDecimalSeparator());
}

SelectionStatsModel::Channel channelTexts(const SelectionStats& stats, int c) {
  SelectionStatsModel::Channel t;
  const int peak = stats.peak[c];
  t.peak = std::to_string(peak);
  t.peakPercent = percentText(peak);
  t.peakDb = LevelToDb(peak);
  const double rms = stats.rms(c);
  const int rmsValue = static_cast<int>(roundEven(rms));
  t.rms = std::to_string(rmsValue);
  t.rmsPercent = percentText(rms);
  t.rmsDb = LevelToDb(rmsValue);
  const int dc = stats.dc(c);
  t.dc = std::to_string(dc);
  t.dcPercent = percentText(dc);
  return t;
}

}  // namespace

SelectionStatsModel statisticsModel(const SelectionStats& stats, std::string displayFrom,
                                    std::string displayTo, std::string selectionFrom,
                                    std::string selectionTo) {
  SelectionStatsModel m;
  m.displayFrom = std::move(displayFrom);
  m.displayTo = std::move(displayTo);
  m.selectionFrom = std::move(selectionFrom);
  m.selectionTo = std::move(selectionTo);
  m.left = channelTexts(stats, 0);
  m.right = channelTexts(stats, 1);
  return m;
}

std::string SelectionStatsModel::clipboardText() const {
  const std::string crlf = "\r\n";
  const Channel& L = left;
  const Channel& R = right;
  return "Display: " + displayFrom + "-" + displayTo + crlf +                                //
         "Selection: " + selectionFrom + "-" + selectionTo + crlf +                          //
         "Peak: L=" + L.peak + "(" + L.peakPercent + "%/" + L.peakDb + "dB); R=" + R.peak +  //
         "(" + R.peakPercent + "%/" + R.peakDb + "dB)" + crlf +                              //
         "RMS: L=" + L.rms + "(" + L.rmsPercent + "%/" + L.rmsDb + "dB); R=" + R.rms + "(" +
         R.rmsPercent + "%/" + R.rmsDb + "dB)" + crlf +  //
         "DC: L=" + L.dc + "(" + L.dcPercent + "%); R=" + R.dc + "(" + R.dcPercent + "%)" + crlf;
}

ClipSearch ClipSearch::fromSettings(const Settings& s) {
  ClipSearch c;
  c.minimumRun = s.clippingsamples;
  c.level = s.clippingvalue;
  c.flatTopsOnly = s.flattopsonly;
  c.variance = s.ftvariance;
  return c;
}

namespace {

// -32768 counts as 32767.
inline int clipMagnitude(int v) {
  return std::min(std::abs(v), 32767);
}

// How many samples reach the clipping level T (1 … 32767): one plain pass the compiler turns
// into vector code, so that quiet buffers cost little more than reading them.
int32_t loudSamples(const int16_t* buf, size_t samples, int T) {
  int32_t loud = 0;
  for (size_t i = 0; i < samples; ++i) loud += (buf[i] >= T) | (buf[i] <= -T);
  return loud;
}

}  // namespace

void scanClipping(const int16_t* buf, int32_t frames, int32_t firstFrame, const ClipSearch& s,
                  ClipScanState& st) {
  // A minimum run below 1 would put a marker on every quiet frame.
  const int32_t K = std::max(1, s.minimumRun);
  const int T = s.level;
  if (frames <= 0) return;
  if (T > 0 && st.run[0] == 0 && st.run[1] == 0 &&
      loudSamples(buf, 2 * static_cast<size_t>(frames), T) == 0) {
    for (int c = 0; c < 2; ++c)
      st.previous[c] = std::max(clipMagnitude(buf[2 * static_cast<size_t>(frames - 1) + c]), 1);
    return;
  }
  for (int c = 0; c < 2; ++c) {
    const int16_t* x = buf + c;
    int32_t run = st.run[c];
    int prev = st.previous[c];
    MarkerList& found = st.found[c];
    for (int32_t i = 0; i < frames; ++i) {
      if (run == 0) {
        // Between runs only the last quiet sample's magnitude matters; skip to it quickly.
        int32_t j = i;
        while (j < frames && clipMagnitude(x[2 * static_cast<size_t>(j)]) < T) ++j;
        if (j > i) {
          prev = std::max(clipMagnitude(x[2 * static_cast<size_t>(j - 1)]), 1);
          i = j;
          if (i == frames) break;
        }
      }
      const int m = clipMagnitude(x[2 * static_cast<size_t>(i)]);
      if (m < T) {
        if (run >= K) found.items.back().count = run;
        run = 0;
      } else if (s.flatTopsOnly &&
                 static_cast<double>(std::abs(m - prev)) * 100 / prev > s.variance) {
        if (run >= K) found.items.back().count = run;
        run = 1;
      } else {
        ++run;
      }
      prev = std::max(m, 1);
      if (run == K) found.Add(static_cast<uint8_t>(c + 1), firstFrame + i, 1);
    }
    st.run[c] = run;
    st.previous[c] = prev;
  }
}

ClipScanState findClipping(WaveFile& doc, const ClipSearch& s) {
  ClipScanState st;
  if (!doc.hasSelection()) return st;
  runEffectPass(doc, {" Scanning:", levelWalk(doc.selStart, doc.selEnd), PassStore::None},
                [&](int16_t* buf, int32_t first, int32_t last) {
                  scanClipping(buf, last - first + 1, first, s, st);
                });
  return st;
}

void placeClipMarkers(MarkerList& markers, int32_t S, int32_t E, const ClipScanState& found) {
  auto& items = markers.items;
  items.erase(std::remove_if(items.begin(), items.end(),
                             [&](const Marker& m) {
                               return (m.kind == Marker::Left || m.kind == Marker::Right) &&
                                      m.position >= S && m.position <= E;
                             }),
              items.end());
  for (int c = 0; c < 2; ++c)
    items.insert(items.end(), found.found[c].items.begin(), found.found[c].items.end());
  std::stable_sort(items.begin(), items.end(),
                   [](const Marker& a, const Marker& b) { return a.position < b.position; });
}

std::string clippingFoundText(size_t runs) {
  return "Clipping found at " + std::to_string(runs) + " places";
}

ClippingHistogramModel ClippingHistogramModel::fromRuns(const ClipScanState& found) {
  ClippingHistogramModel h;
  for (const MarkerList& list : found.found) {
    for (const Marker& m : list.items) {
      const int bin = std::clamp(m.count, 1, kBins);
      ++h.count[static_cast<size_t>(bin)];
    }
  }
  return h;
}

int32_t ClippingHistogramModel::largest() const {
  return *std::max_element(count.begin() + 1, count.end());
}

int ClippingHistogramModel::labelX(int bin, int textWidth, int W) {
  const int c = static_cast<int>(roundEven((W - 20) / 24.0));
  return bin * c - (textWidth + c / 3) + 20;
}

std::vector<ClippingHistogramModel::Bar> ClippingHistogramModel::layout(int W, int H) const {
  std::vector<Bar> bars;
  const int c = static_cast<int>(roundEven((W - 20) / 24.0));
  const int32_t most = largest();
  const double s = most > 0 ? (H - 114) / static_cast<double>(most) : 0.0;
  for (int b = 1; b <= kBins; ++b) {
    const int h = static_cast<int>(roundEven(count[static_cast<size_t>(b)] * s));
    Bar bar;
    bar.bin = b;
    bar.left = (b - 1) * c + 23;
    bar.right = b * c + 13;
    bar.top = H - 84 - h;
    bar.bottom = H - 84;
    bar.countY = H - 102 - h;
    bar.label = b == kBins ? "24+" : std::to_string(b);
    bars.push_back(bar);
  }
  return bars;
}

}  // namespace tolmar
