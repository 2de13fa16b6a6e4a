#pragma once
// The wave area's picture as a list of drawing records, in the order they are drawn: the
// window replays them on its canvas, and tests read them without a window. Colours are
// 0x00BBGGRR; rectangles include x0/y0 and exclude x1/y1.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/settings.h"
#include "document/cue.h"
#include "document/marker_list.h"
#include "document/marks.h"
#include "view/view_state.h"

namespace tolmar {

class WaveFile;

// The button-face colour of the platform (the time-scale strip).
inline constexpr uint32_t kButtonFace = 0xFF000000;
// The silver that darkens the playback context (AND-ed onto the picture).
inline constexpr uint32_t kContextSilver = 0xC0C0C0;

struct PaintOp {
  enum Kind {
    Fill,       // rectangle in colour
    Invert,     // rectangle inverted
    AndDarken,  // rectangle AND-ed with colour
    Line,       // x0,y0 -> x1,y1
    Trace,      // traces[index]
    Text,       // text at x0,y0 (its top-left corner); big = the 12-point label font
    Clip,       // drawing limited to the rectangle until Unclip
    Unclip,
    Spectral,  // the spectral picture over the wave area
  };
  Kind kind = Line;
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  uint32_t colour = 0;
  int width = 1;
  bool dotted = false;
  bool big = false;
  size_t index = 0;
  std::string text;
};

// A connected line: segment i runs from points[i] to points[i + 1] in colours[i].
struct WaveTrace {
  std::vector<int> xs, ys;
  std::vector<uint32_t> colours;
  void moveTo(int x, int y) {
    xs.assign(1, x);
    ys.assign(1, y);
    colours.clear();
  }
  void lineTo(int x, int y, uint32_t colour) {
    xs.push_back(x);
    ys.push_back(y);
    colours.push_back(colour);
  }
};

struct DisplayList {
  std::vector<PaintOp> ops;
  std::vector<WaveTrace> traces;
  std::string status;    // empty while a long operation shows its caption instead
  bool painted = false;  // false when the paint left at once
  bool rebuilt = false;  // the points were rebuilt
  int64_t framesRead = 0;
  // Spectral view: the picture of the wave area, one colour per pixel, row by row (shared with
  // the view, which keeps it for the next paint of the same page).
  int spectralWidth = 0, spectralHeight = 0;
  std::shared_ptr<const std::vector<uint32_t>> spectralPixels;
};

// Everything around the document that the picture shows.
struct PaintInput {
  const Settings* settings = nullptr;
  int sampleRate = 44100;
  bool editLeft = true, editRight = true;
  bool playLeft = true, playRight = true;
  bool busy = false;      // a progress panel is showing: the status line is left alone
  bool batch = false;     // a batch run: nothing is painted
  bool dragging = false;  // a selection drag is in progress
  const MarkerList* markers = nullptr;
  int32_t audibleMarker = -1;
  // The current click (-1 for none) and whether it was marked false.
  int32_t currentClick = -1;
  bool currentClickFalse = false;
  int32_t clickCount = 0;
  int32_t currentClickIndex = -1;
  int clickWidth = 5;
  // The compatible block, when held.
  bool compatHeld = false;
  int32_t compatOffset = 0;
  const std::vector<int16_t>* compatLeft = nullptr;
  const std::vector<int16_t>* compatRight = nullptr;
  // The overlay block, when set up.
  bool overlayActive = false;
  int32_t overlaySource = 0;
  int32_t overlayLength = 0;
  int64_t overlayPosition = 0;
  // False: the paint draws the page's points as they are, however old, and reads nothing for
  // them (a window builds a long page before its paint, where the progress panel can show).
  bool buildPoints = true;
};

// The whole paint of the wave area, its time scale and the status line.
DisplayList PaintDisplay(WaveFile& doc, ViewState& view, const PaintInput& in);

// ---- The page's points, apart from the paint ----

// The range and step of the main points for the page on show at the area's width.
struct PageKey {
  int32_t first = 0;
  int32_t last = -1;
  int32_t step = 1;
};
PageKey pageKeyOf(const WaveFile& doc, const ViewState& view);
// Whether the page's points need building, and whether that build shows progress.
bool pagePointsStale(const WaveFile& doc, const ViewState& view);
bool pageBuildShowsProgress(const WaveFile& doc, const ViewState& view);
// Builds the main points of the page on show; a rebuilt page rescales (unless a fragment move
// said not to) and enters the view history. True when the points were rebuilt.
bool BuildPagePoints(WaveFile& doc, ViewState& view, bool showProgress,
                     int64_t* framesRead = nullptr);

// ---- Pieces of the picture, each usable alone ----

// The status line ("Display: ... Vertical Scaling: 1.0:1").
std::string statusLineText(const WaveFile& doc, const ViewState& view, const PaintInput& in);

struct CueLabel {
  int32_t position = 0;
  std::string text;  // " T2.1 ", " i2.2 "
};
// Labels for the cue list in order; the start of the file counts as track 1.
std::vector<CueLabel> cueLabels(const std::vector<Cue>& cues);

// The colour of a channel marker standing for `count` events.
uint32_t markerPaletteColour(int32_t count);

// The spectral palette: a level index 0 ... 31 for a magnitude, and its colour (grey when the
// channel is not editable or the point is marked for deletion).
int spectralLevelIndex(double magnitude);
uint32_t spectralPaletteColour(bool editable, bool inDeletion, int level);
uint32_t SpectralColour(bool editable, bool inDeletion, double magnitude);

// Whether frame f lies in a range marked for deletion.
bool inDeletion(const std::vector<Deletion>& deletions, int32_t f);

}  // namespace tolmar
