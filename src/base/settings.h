#pragma once
// The process-wide settings record, with the defaults a missing VESKOR.INI key yields.
// Field names are the INI keys.

#include <array>
#include <cstdint>
#include <string>

#include "base/declick_types.h"

namespace tolmar {

struct Settings {
  // [Options]
  std::string tmpdir;
  std::string wavdir;
  int16_t redrawcursor = 0;
  int16_t pagedisplay = 0;
  int bigeditthresh = 60;
  bool bigeditsinmemory = true;
  bool openselect = true;
  bool keepfingerprint = false;
  bool saveconfirm = false;
  bool emitbeeps = true;
  bool clearmarkers = false;
  bool monoplayback = false;
  bool playendreset = false;
  bool playendrelease = true;
  bool playendwait = true;
  bool playstopreset = true;
  bool playstoprelease = true;
  bool playstopwait = true;
  bool muteunused = true;
  bool novolctrl = false;
  bool counteroff = false;
  bool metersoff = false;
  bool timedrecord = false;
  bool showbuttonbar = true;
  bool showmacrobuttonbar = false;
  bool vscaleadjusters = true;
  bool timescroller = true;
  bool timescrolltop = false;
  bool reduceflicker = true;
  bool newstylewaveform = true;
  bool timeinframes = false;
  bool tracksintimes = false;
  bool spansasdurations = false;
  bool draggingupdates = false;
  bool showcontext = false;
  bool recalcscaling = true;
  bool maxamplitude = true;
  int detailscale = 0;
  double pageoverlap = 0.0;
  int16_t fragment = 16;
  int movebyrev = 1800;
  int16_t zoomcenter = 1;
  int initialdisplay = 0;
  int silencelength = 1500;
  double silencelevel = 36.0;
  int mintracklen = 10000;
  int findtrackoption = 1;
  int placetrackoption = 0;
  bool clearbeforesearch = true;
  bool addoffsetonconvert = true;
  bool showonfindtracks = false;
  bool showonclipdetect = false;
  bool showcliphistogram = false;
  bool splitstub = true;
  bool splitprefix = false;
  bool splittrackno = true;
  int splitcdtexttype = 0;
  std::string splitcustomstring;
  int16_t beforeplay = 5;
  int16_t afterplay = 5;
  int defaultrectime = 0;
  int markeroffset = 300;
  int clippingsamples = 4;
  int16_t clippingvalue = 32767;
  bool flattopsonly = false;
  double ftvariance = 0.0;
  double fadefactor = 30.0;
  bool donormalise = true;
  bool normindep = false;
  bool removedc = true;
  double normaliseto = 0.0;
  double amplifyfactorl = 0.0;
  double amplifyfactorr = 0.0;
  bool ampequal = true;
  int ampfadestartsecs = 0;
  int ampfadeendsecs = 0;
  double compressthresh = 3.0;
  double compressfactor = 1.0;
  int eqpassprompt = 0;
  int recordrate = 0;
  int recdevno = -1;
  std::string recdevnm;
  int reclineno = -1;
  int playdevno = -1;
  std::string playdevnm;
  int recplaybuffs = 4;
  int recplaybps = 10;
  int safetymargin = 200;
  int surroundstart = 100;
  int surroundend = 3000;
  int nsmoothings = 1;
  bool gocuesetstart = true;

  // [Declick]: the parameter set itself; the editor works on it
  DeclickParams declick;

  // [Filter]: type1..3, freq1..3, q1..3, overallgain
  struct Filter {
    std::array<int, 3> type{0, 0, 0};
    std::array<double, 3> freq{1000.0, 1000.0, 1000.0};
    std::array<double, 3> q{0.5, 0.5, 0.5};
    double overallgain = 1.0;
  } filter;

  // [Mixer]
  struct Mixer {
    int leftleft = 100;
    int leftright = 0;
    int rightleft = 0;
    int rightright = 100;
    bool leftinvert = false;
    bool rightinvert = false;
  } mixer;

  // [Equalise]: gain0..9 (linear), dbgain0..9, overallgain
  struct Equalise {
    std::array<double, 10> gain{1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
    std::array<double, 10> dbgain{};
    double overallgain = 1.0;
  } equalise;

  // [Colours], 0x00BBGGRR
  struct Colours {
    uint32_t mainback = 16777215;
    uint32_t redrawback = 65535;
    uint32_t axes = 0;
    uint32_t normal = 0;
    uint32_t redraw = 255;
    uint32_t click = 32768;
    uint32_t cue = 128;
    uint32_t marker = 65280;
    uint32_t clickmarker = 255;
    uint32_t compat = 65280;
    uint32_t overlay = 16711680;
    uint32_t deletion = 255;
    uint32_t insertion = 16711935;
    uint32_t startsel = 16711680;
    uint32_t endsel = 255;
    uint32_t noedit = 9466016;
    uint32_t noeditback = 10526880;
  } colours;
  bool spectralinvert = false;

  // [Noise]
  double noiseFactor = 3.0;    // factor
  double crackleFactor = 3.0;  // cracklefactor
  bool keepnoise = false;
  bool leveldep = false;
  bool window = true;
  int fftsize = 4096;
  int noiseClkwidth = 5;   // clkwidth
  int noiseRepwidth = 20;  // repwidth
  int noiseRelamp = 400;   // relamp
  int noiseShape = 0;      // shape
  int noiseRepair = 1;     // repair

  // [Debug], read and never written
  bool debugFull = false;
  bool debugDcp = false;
  bool debugMixertrace = false;

  // [Dialogpos]: declick, compress, equalise, filter, chanmix; x then y
  std::array<int, 10> dialogpos{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
};

}  // namespace tolmar
