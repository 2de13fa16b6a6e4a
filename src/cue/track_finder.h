#pragma once
// Finding inter-track silences: the selection is scanned in blocks of 8999 frames; a run of
// silent blocks long enough, followed by a loud block, is a gap whose end is refined in steps
// of 99 frames and placed as a track boundary when the track before it is long enough.

#include <cstdint>
#include <functional>

namespace tolmar {

class WaveFile;
struct Settings;

// The 16-bit amplitude of a level `db` below full scale: 2^((90 - db) / 6), rounded, at most
// 32767 (36 dB gives 512).
int silenceAmplitude(double db);

struct TrackFinding {
  int threshold = 512;           // T: both channels' RMS below it is silence
  int32_t minSilenceBlocks = 7;  // G: a gap needs more silent blocks than this
  int64_t minTrackFrames = 0;    // M: a boundary at least this far past the previous one
  int place = 0;                 // 0 end of the gap, 1 its middle, 2 its start

  // T, G and M from silencelevel, silencelength, mintracklen and placetrackoption.
  static TrackFinding fromSettings(const Settings& s, int rate);
};

struct TrackFindResult {
  int32_t found = 0;  // boundaries placed
  bool cancelled = false;
};

// Scans selStart .. selEnd of the document (through the overlay when it holds edits) with the
// progress caption " Scanning:". `place` receives each boundary's position as the placement
// option puts it (never below frame 0).
TrackFindResult findTrackBoundaries(WaveFile& doc, int32_t selStart, int32_t selEnd,
                                    const TrackFinding& finding,
                                    const std::function<void(int32_t)>& place);

}  // namespace tolmar
