#include "config/settings_io.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

#include "config/macro_store.h"
#include "config/presets.h"

namespace tolmar {

namespace fs = std::filesystem;

const char* const kInvalidNumberFormatText =
    "Initialisation File (VESKOR.INI) contained invalid floating point number formats. This may "
    "be due to a change in the defined number format (eg. switching between American and French "
    "representations). Default values have been substituted.";

void showInvalidNumberFormatMessage(Session& ctx) {
  ctx.warning(kInvalidNumberFormatText);
}

namespace {

const char* const kOptions = "Options";
const char* const kDebug = "Debug";
const char* const kDialogpos = "Dialogpos";

void visitDialogPositions(Settings& s, auto& v) {
  static const char* const kKeys[10] = {"declickx",  "declicky",  "compressx", "compressy",
                                        "equalisex", "equalisey", "filterx",   "filtery",
                                        "chanmixx",  "chanmixy"};
  for (int i = 0; i < 10; ++i) v(kDialogpos, kKeys[i], s.dialogpos[static_cast<std::size_t>(i)]);
}

// Every key of the reader's list, in its order: one list for reading and writing.
// [Declick] numbers pass through ints: a width beyond 16 bits is held to its dialog range by
// the limits below instead of wrapping, and a shape or method the detector does not know
// leaves the parameter as it is.
void visitWide(auto& v, const char* sec, const char* key, int16_t& field) {
  int wide = field;
  v(sec, key, wide);
  field = static_cast<int16_t>(std::clamp<int>(wide, std::numeric_limits<int16_t>::min(),
                                               std::numeric_limits<int16_t>::max()));
}
template <class Code>
void visitCode(auto& v, const char* sec, const char* key, Code& field, int last) {
  int wide = static_cast<int>(field);
  v(sec, key, wide);
  if (wide >= 0 && wide <= last) field = static_cast<Code>(wide);
}

void visitSettings(Settings& s, auto& v) {
  const char* o = kOptions;
  v(o, "tmpdir", s.tmpdir);
  v(o, "wavdir", s.wavdir);
  v(o, "redrawcursor", s.redrawcursor);
  v(o, "pagedisplay", s.pagedisplay);
  v(o, "bigeditthresh", s.bigeditthresh);
  v(o, "bigeditsinmemory", s.bigeditsinmemory);
  v(o, "openselect", s.openselect);
  v(o, "keepfingerprint", s.keepfingerprint);
  v(o, "saveconfirm", s.saveconfirm);
  v(o, "emitbeeps", s.emitbeeps);
  v(o, "clearmarkers", s.clearmarkers);
  v(o, "monoplayback", s.monoplayback);
  v(o, "playendreset", s.playendreset);
  v(o, "playendrelease", s.playendrelease);
  v(o, "playendwait", s.playendwait);
  v(o, "playstopreset", s.playstopreset);
  v(o, "playstoprelease", s.playstoprelease);
  v(o, "playstopwait", s.playstopwait);
  v(o, "muteunused", s.muteunused);
  v(o, "novolctrl", s.novolctrl);
  v(o, "counteroff", s.counteroff);
  v(o, "metersoff", s.metersoff);
  v(o, "timedrecord", s.timedrecord);
  v(o, "showbuttonbar", s.showbuttonbar);
  v(o, "showmacrobuttonbar", s.showmacrobuttonbar);
  v(o, "vscaleadjusters", s.vscaleadjusters);
  v(o, "timescroller", s.timescroller);
  v(o, "timescrolltop", s.timescrolltop);
  v(o, "reduceflicker", s.reduceflicker);
  v(o, "newstylewaveform", s.newstylewaveform);
  v(o, "timeinframes", s.timeinframes);
  v(o, "tracksintimes", s.tracksintimes);
  v(o, "spansasdurations", s.spansasdurations);
  v(o, "draggingupdates", s.draggingupdates);
  v(o, "showcontext", s.showcontext);
  v(o, "recalcscaling", s.recalcscaling);
  v(o, "maxamplitude", s.maxamplitude);
  v(o, "detailscale", s.detailscale);
  v(o, "pageoverlap", s.pageoverlap);
  v(o, "fragment", s.fragment);
  v(o, "movebyrev", s.movebyrev);
  v(o, "zoomcenter", s.zoomcenter);
  v(o, "initialdisplay", s.initialdisplay);
  v(o, "silencelength", s.silencelength);
  v(o, "silencelevel", s.silencelevel);
  v(o, "mintracklen", s.mintracklen);
  v(o, "findtrackoption", s.findtrackoption);
  v(o, "placetrackoption", s.placetrackoption);
  v(o, "clearbeforesearch", s.clearbeforesearch);
  v(o, "addoffsetonconvert", s.addoffsetonconvert);
  v(o, "showonfindtracks", s.showonfindtracks);
  v(o, "showonclipdetect", s.showonclipdetect);
  v(o, "showcliphistogram", s.showcliphistogram);
  v(o, "splitstub", s.splitstub);
  v(o, "splitprefix", s.splitprefix);
  v(o, "splittrackno", s.splittrackno);
  v(o, "splitcdtexttype", s.splitcdtexttype);
  v(o, "splitcustomstring", s.splitcustomstring);
  v(o, "beforeplay", s.beforeplay);
  v(o, "afterplay", s.afterplay);
  v(o, "defaultrectime", s.defaultrectime);
  v(o, "markeroffset", s.markeroffset);
  v(o, "clippingsamples", s.clippingsamples);
  v(o, "clippingvalue", s.clippingvalue);
  v(o, "flattopsonly", s.flattopsonly);
  v(o, "ftvariance", s.ftvariance);
  v(o, "fadefactor", s.fadefactor);
  v(o, "donormalise", s.donormalise);
  v(o, "normindep", s.normindep);
  v(o, "removedc", s.removedc);
  v(o, "normaliseto", s.normaliseto);
  v(o, "amplifyfactorl", s.amplifyfactorl);
  v(o, "amplifyfactorr", s.amplifyfactorr);
  v(o, "ampequal", s.ampequal);
  // These two have always been spelled in lower case; sections match case-insensitively.
  v("options", "ampfadestartsecs", s.ampfadestartsecs);
  v("options", "ampfadeendsecs", s.ampfadeendsecs);
  v(o, "compressthresh", s.compressthresh);
  v(o, "compressfactor", s.compressfactor);
  v(o, "eqpassprompt", s.eqpassprompt);
  v(o, "recordrate", s.recordrate);
  v(o, "recdevno", s.recdevno);
  v(o, "recdevnm", s.recdevnm);
  v(o, "reclineno", s.reclineno);
  v(o, "playdevno", s.playdevno);
  v(o, "playdevnm", s.playdevnm);
  v(o, "recplaybuffs", s.recplaybuffs);
  v(o, "recplaybps", s.recplaybps);
  v(o, "safetymargin", s.safetymargin);
  v(o, "surroundstart", s.surroundstart);
  v(o, "surroundend", s.surroundend);
  v(o, "nsmoothings", s.nsmoothings);
  v(o, "gocuesetstart", s.gocuesetstart);

  const char* d = "Declick";
  visitWide(v, d, "clkwid", s.declick.clickWidth);
  visitWide(v, d, "repwid", s.declick.repairWidth);
  visitWide(v, d, "relamp", s.declick.relAmplitude);
  visitWide(v, d, "dispwid", s.declick.displayWidth);
  visitWide(v, d, "repparm", s.declick.smoothingCount);
  visitCode(v, d, "clktype", s.declick.shape, kLastClickShape);
  visitCode(v, d, "reptype", s.declick.repairMethod, kLastRepairMethod);

  const char* f = "Filter";
  for (std::size_t i = 0; i < 3; ++i) v(f, "type" + std::to_string(i + 1), s.filter.type[i]);
  for (std::size_t i = 0; i < 3; ++i) v(f, "freq" + std::to_string(i + 1), s.filter.freq[i]);
  for (std::size_t i = 0; i < 3; ++i) v(f, "q" + std::to_string(i + 1), s.filter.q[i]);
  v(f, "overallgain", s.filter.overallgain);

  const char* m = "Mixer";
  v(m, "leftleft", s.mixer.leftleft);
  v(m, "leftright", s.mixer.leftright);
  v(m, "rightleft", s.mixer.rightleft);
  v(m, "rightright", s.mixer.rightright);
  v(m, "leftinvert", s.mixer.leftinvert);
  v(m, "rightinvert", s.mixer.rightinvert);

  const char* e = "Equalise";
  for (std::size_t i = 0; i < 10; ++i) v(e, "gain" + std::to_string(i), s.equalise.gain[i]);
  for (std::size_t i = 0; i < 10; ++i) v(e, "dbgain" + std::to_string(i), s.equalise.dbgain[i]);
  v(e, "overallgain", s.equalise.overallgain);

  const char* c = "Colours";
  v(c, "mainback", s.colours.mainback);
  v(c, "redrawback", s.colours.redrawback);
  v(c, "axes", s.colours.axes);
  v(c, "normal", s.colours.normal);
  v(c, "redraw", s.colours.redraw);
  v(c, "click", s.colours.click);
  v(c, "cue", s.colours.cue);
  v(c, "marker", s.colours.marker);
  v(c, "clickmarker", s.colours.clickmarker);
  v(c, "compat", s.colours.compat);
  v(c, "overlay", s.colours.overlay);
  v(c, "deletion", s.colours.deletion);
  v(c, "insertion", s.colours.insertion);
  v(c, "startsel", s.colours.startsel);
  v(c, "endsel", s.colours.endsel);
  v(c, "noedit", s.colours.noedit);
  v(c, "noeditback", s.colours.noeditback);
  v(c, "spectralinvert", s.spectralinvert);

  const char* n = "Noise";
  v(n, "factor", s.noiseFactor);
  v(n, "cracklefactor", s.crackleFactor);
  v(n, "keepnoise", s.keepnoise);
  v(n, "leveldep", s.leveldep);
  v(n, "window", s.window);
  v(n, "fftsize", s.fftsize);
  v(n, "clkwidth", s.noiseClkwidth);
  v(n, "repwidth", s.noiseRepwidth);
  v(n, "relamp", s.noiseRelamp);
  v(n, "shape", s.noiseShape);
  v(n, "repair", s.noiseRepair);

  v(kDebug, "full", s.debugFull);
  v(kDebug, "dcp", s.debugDcp);
  v(kDebug, "mixertrace", s.debugMixertrace);

  visitDialogPositions(s, v);
}

// Reads each field with its current value as the default.
struct FieldReader {
  const IniFile& ini;
  bool& invalidNumbers;

  void operator()(std::string_view sec, std::string_view key, std::string& f) {
    f = ini.readString(sec, key, f);
  }
  void operator()(std::string_view sec, std::string_view key, int& f) {
    f = ini.readInteger(sec, key, f);
  }
  void operator()(std::string_view sec, std::string_view key, int16_t& f) {
    const int v = ini.readInteger(sec, key, f);
    if (v >= std::numeric_limits<int16_t>::min() && v <= std::numeric_limits<int16_t>::max()) {
      f = static_cast<int16_t>(v);
    }
  }
  // Colours are stored as signed 32-bit integers.
  void operator()(std::string_view sec, std::string_view key, uint32_t& f) {
    f = static_cast<uint32_t>(ini.readInteger(sec, key, static_cast<int32_t>(f)));
  }
  void operator()(std::string_view sec, std::string_view key, bool& f) {
    f = ini.readBool(sec, key, f);
  }
  void operator()(std::string_view sec, std::string_view key, double& f) {
    f = ini.readFloat(sec, key, f, &invalidNumbers);
  }
};

struct FieldWriter {
  IniFile& ini;
  bool includeReadOnly = false;

  bool skip(std::string_view sec) const {
    return !includeReadOnly && (sec == kDebug || sec == kDialogpos);
  }
  void operator()(std::string_view sec, std::string_view key, const std::string& f) {
    if (!skip(sec)) ini.writeString(sec, key, f);
  }
  void operator()(std::string_view sec, std::string_view key, int f) {
    if (!skip(sec)) ini.writeInteger(sec, key, f);
  }
  void operator()(std::string_view sec, std::string_view key, int16_t f) {
    if (!skip(sec)) ini.writeInteger(sec, key, f);
  }
  void operator()(std::string_view sec, std::string_view key, uint32_t f) {
    if (!skip(sec)) ini.writeInteger(sec, key, static_cast<int32_t>(f));
  }
  void operator()(std::string_view sec, std::string_view key, bool f) {
    if (!skip(sec)) ini.writeBool(sec, key, f);
  }
  void operator()(std::string_view sec, std::string_view key, double f) {
    if (!skip(sec)) ini.writeFloat(sec, key, f);
  }
};

void checkDirectory(Session& ctx, std::string& dir, const char* what) {
  if (dir.empty()) return;
  std::error_code ec;
  if (fs::is_directory(fs::path(dir), ec)) return;
  ctx.warning(std::string(what) + " \"" + dir + "\" (use the Options menu item to correct it)");
  dir.clear();
}

void limit(double& v, double lo, double hi, double fallback) {
  v = std::isfinite(v) ? std::clamp(v, lo, hi) : fallback;
}
void limit(int& v, int lo, int hi) {
  v = std::clamp(v, lo, hi);
}
void limit(int16_t& v, int16_t lo, int16_t hi) {
  v = std::clamp(v, lo, hi);
}

// A damaged or hand-edited file must not hand the effects values their dialogs never allow: a
// compression ratio of 0 writes NaN-derived samples, a click width of 30000 makes the search
// crawl. Each value is held to its dialog's range; one that is not a number takes the default.
void limitToDialogRanges(Settings& s) {
  const Settings d;
  limit(s.amplifyfactorl, -50, 50, d.amplifyfactorl);
  limit(s.amplifyfactorr, -50, 50, d.amplifyfactorr);
  limit(s.ampfadestartsecs, 0, 120);
  limit(s.ampfadeendsecs, 0, 120);
  limit(s.compressthresh, 3, 12, d.compressthresh);
  limit(s.compressfactor, 1, 6, d.compressfactor);
  limit(s.normaliseto, -3, 0, d.normaliseto);
  limit(s.fadefactor, 0.1, 90, d.fadefactor);
  limit(s.noiseFactor, 0.1, 10, d.noiseFactor);
  limit(s.crackleFactor, 0.1, 10, d.crackleFactor);
  limit(s.declick.clickWidth, 1, 40);
  limit(s.declick.repairWidth, 4, 120);
  s.declick.repairWidth = std::max(s.declick.repairWidth, s.declick.clickWidth);
  limit(s.declick.relAmplitude, 50, 2500);
  limit(s.declick.displayWidth, 1, 100);
  s.declick.smoothingCount = std::max<int16_t>(s.declick.smoothingCount, 0);
  limit(s.noiseClkwidth, 1, 40);
  limit(s.noiseRepwidth, 4, 120);
  s.noiseRepwidth = std::max(s.noiseRepwidth, s.noiseClkwidth);
  limit(s.noiseRelamp, 50, 2500);
}

std::string fileKey(int i) {
  return "file" + std::to_string(i);
}

}  // namespace

namespace {

// What every value read from outside goes through after the reader, from the file or from an
// override alike: the one place for checks and limits.
void checkReadSettings(Session& ctx, Settings& s) {
  limitToDialogRanges(s);
  checkDirectory(ctx, s.tmpdir, "Invalid Temporary Directory");
  checkDirectory(ctx, s.wavdir, "Invalid WAV File Directory");
}

// Finds a key of the reader's list and checks a value against its type.
struct OverrideChecker {
  std::string_view section, key, value;
  std::string separator;
  bool found = false;
  std::string problem;

  bool matches(std::string_view sec, std::string_view k) const {
    auto same = [](std::string_view a, std::string_view b) {
      return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
             });
    };
    return same(sec, section) && same(k, key);
  }
  void check(std::string_view sec, std::string_view k, std::optional<int64_t> low = {},
             std::optional<int64_t> high = {}, bool integer = true, bool boolean = false,
             bool real = false) {
    if (found || !matches(sec, k)) return;
    found = true;
    if (integer) {
      const auto v = parseInteger(value);
      if (!v || (boolean && *v != 0 && *v != 1))
        problem = boolean ? "needs 0 or 1" : "needs a whole number";
      else if ((low && *v < *low) || (high && *v > *high))
        problem =
            "needs a whole number from " + std::to_string(*low) + " to " + std::to_string(*high);
    } else if (real && !parseFloat(value, separator)) {
      problem = "needs a number written with \"" + separator + "\" as its decimal separator";
    }
  }
  void operator()(std::string_view sec, std::string_view k, std::string&) {
    check(sec, k, {}, {}, false);
  }
  void operator()(std::string_view sec, std::string_view k, int&) { check(sec, k); }
  void operator()(std::string_view sec, std::string_view k, int16_t&) {
    check(sec, k, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max());
  }
  void operator()(std::string_view sec, std::string_view k, uint32_t&) { check(sec, k); }
  void operator()(std::string_view sec, std::string_view k, bool&) {
    check(sec, k, {}, {}, true, true);
  }
  void operator()(std::string_view sec, std::string_view k, double&) {
    check(sec, k, {}, {}, false, false, true);
  }
};

}  // namespace

void readSettings(const IniFile& ini, Session& ctx, bool& invalidNumbers) {
  Settings fresh;
  fresh.declick.takeRunState(ctx.settings.declick);
  FieldReader reader{ini, invalidNumbers};
  visitSettings(fresh, reader);
  checkReadSettings(ctx, fresh);
  ctx.settings = fresh;
}

std::string checkSettingOverride(std::string_view section, std::string_view key,
                                 std::string_view value) {
  OverrideChecker checker{section, key, value, localeDecimalSeparator(), false, {}};
  Settings scratch;
  visitSettings(scratch, checker);
  if (!checker.found)
    return "there is no setting " + std::string(key) + " in [" + std::string(section) + "]";
  return checker.problem;
}

void applySettingOverrides(const IniFile& overrides, Session& ctx, bool& invalidNumbers) {
  Settings s = ctx.settings;
  FieldReader reader{overrides, invalidNumbers};
  visitSettings(s, reader);
  checkReadSettings(ctx, s);
  ctx.settings = s;
}

void writeSettings(IniFile& ini, const Settings& settings) {
  ini.eraseSection(kOptions);
  ini.eraseSection("Colours");
  ini.eraseSection("Noise");
  FieldWriter writer{ini};
  // The visitor takes a mutable record; the writer only reads it.
  Settings copy = settings;
  visitSettings(copy, writer);
}

void readDialogPositions(const IniFile& ini, Settings& settings) {
  bool unused = false;
  FieldReader reader{ini, unused};
  Settings fresh;
  visitDialogPositions(fresh, reader);
  settings.dialogpos = fresh.dialogpos;
}

void writeDialogPositions(IniFile& ini, const Settings& settings) {
  ini.eraseSection(kDialogpos);
  FieldWriter writer{ini, true};
  Settings copy = settings;
  visitDialogPositions(copy, writer);
}

namespace {

bool isPreviewDialogKey(std::string_view stem) {
  return stem == "declick" || stem == "compress" || stem == "equalise" || stem == "filter" ||
         stem == "chanmix";
}

bool isDialogKey(std::string_view stem) {
  if (stem.empty() || stem.size() > 40) return false;
  for (char c : stem)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  return true;
}

}  // namespace

DialogPositions readOtherDialogPositions(const IniFile& ini) {
  DialogPositions out;
  for (std::string key : ini.keyNames(kDialogpos)) {
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (key.size() < 2 || key.back() != 'x') continue;
    const std::string stem = key.substr(0, key.size() - 1);
    if (!isDialogKey(stem) || isPreviewDialogKey(stem)) continue;
    const auto x = parseInteger(ini.readString(kDialogpos, stem + "x", ""));
    const auto y = parseInteger(ini.readString(kDialogpos, stem + "y", ""));
    if (x && y) out[stem] = {*x, *y};
  }
  return out;
}

void writeOtherDialogPositions(IniFile& ini, const DialogPositions& positions) {
  for (const auto& [stem, at] : positions) {
    if (!isDialogKey(stem) || isPreviewDialogKey(stem) || at.x == -1 || at.y == -1) continue;
    ini.writeInteger(kDialogpos, stem + "x", at.x);
    ini.writeInteger(kDialogpos, stem + "y", at.y);
  }
}

WindowPosition readWindowPosition(const IniFile& ini) {
  WindowPosition pos;
  const int top = ini.readInteger("Startpos", "top", -1);
  if (top == -1) return pos;
  pos.maximised = false;
  pos.top = top;
  pos.left = ini.readInteger("Startpos", "left", 0);
  pos.height = ini.readInteger("Startpos", "height", 0);
  pos.width = ini.readInteger("Startpos", "width", 0);
  return pos;
}

void writeWindowPosition(IniFile& ini, const WindowPosition& pos) {
  if (pos.maximised) {
    ini.eraseSection("Startpos");
    return;
  }
  ini.writeInteger("Startpos", "top", pos.top);
  ini.writeInteger("Startpos", "left", pos.left);
  ini.writeInteger("Startpos", "height", pos.height);
  ini.writeInteger("Startpos", "width", pos.width);
}

bool migrateLegacyFileName(const fs::path& dir) {
  std::error_code ec;
  const fs::path dat = dir / kLegacyIniFileName;
  const fs::path ini = dir / kIniFileName;
  if (!fs::exists(dat, ec) || fs::exists(ini, ec)) return false;
  fs::rename(dat, ini, ec);
  return !ec;
}

const std::vector<std::pair<std::string, std::string>>& legacyMenuPathRenames() {
  static const std::vector<std::pair<std::string, std::string>> kRenames = [] {
    std::vector<std::pair<std::string, std::string>> list;
    for (const char* item :
         {"Output (Play) Selection", "Play Selection With Context", "Play Context Around Selection",
          "Kill (Stop) Output", "Play Left Channel", "Play Right Channel",
          "Input (Record) New WAV File"}) {
      list.emplace_back(std::string("File | ") + item, std::string("Play/Record | ") + item);
    }
    for (const char* item :
         {"Get Fingerprint", "Decrackle (With Undo)", "Decrackle (Direct Overwrite)",
          "Save Fingerprint in File...", "Load Fingerprint from File..."}) {
      list.emplace_back(std::string("Decrackling | ") + item,
                        std::string("Noise Reduction | ") + item);
    }
    return list;
  }();
  return kRenames;
}

bool renameLegacyMenuPaths(IniFile& ini) {
  bool changed = false;
  const auto& renames = legacyMenuPathRenames();
  for (int n = 1;; ++n) {
    const std::string key = "sc" + std::to_string(n);
    const std::string value = ini.readString("Shortcut", key, "");
    if (value.empty()) break;
    for (const auto& [from, to] : renames) {
      if (value.starts_with(from)) {
        ini.writeString("Shortcut", key, to + value.substr(from.size()));
        changed = true;
        break;
      }
    }
  }
  for (int slot = 1; slot <= MacroTable::kSlots; ++slot) {
    for (int step = 1;; ++step) {
      const std::string key = "macro" + std::to_string(slot) + "." + std::to_string(step);
      const std::string value = ini.readString("Macros", key, "");
      if (value.empty()) break;
      for (const auto& [from, to] : renames) {
        if (value == from) {
          ini.writeString("Macros", key, to);
          changed = true;
          break;
        }
      }
    }
  }
  return changed;
}

void addToRecentFiles(IniFile& ini, const std::string& path) {
  int k = kMaxRecentFiles;
  for (int i = 1; i < kMaxRecentFiles; ++i) {
    if (ini.readString("Files", fileKey(i), "") == path) {
      k = i;
      break;
    }
  }
  for (int i = k - 1; i >= 1; --i) {
    const std::string v = ini.readString("Files", fileKey(i), "");
    if (!v.empty()) ini.writeString("Files", fileKey(i + 1), v);
  }
  ini.writeString("Files", fileKey(1), path);
}

std::vector<std::string> recentFiles(const IniFile& ini) {
  std::vector<std::string> list;
  // A hand-edited file10 onwards is ignored: the list never holds more than nine.
  for (int i = 1; i <= kMaxRecentFiles; ++i) {
    std::string v = ini.readString("Files", fileKey(i), "");
    if (v.empty()) break;
    list.push_back(std::move(v));
  }
  return list;
}

std::vector<RecentFileItem> recentFileMenu(const IniFile& ini) {
  std::vector<RecentFileItem> items;
  for (std::string& path : recentFiles(ini)) {
    std::error_code ec;
    const fs::file_status st = fs::status(fs::path(path), ec);
    if (ec || !fs::exists(st) || fs::is_directory(st)) continue;
    const std::string caption = "&" + std::to_string(items.size() + 1) + ": " + path;
    items.push_back({caption, std::move(path)});
  }
  return items;
}

StartupResult readConfigurationAtStartup(Session& ctx, IniFile& ini, PresetStore& presets,
                                         MacroTable& macros, const IniFile* overrides) {
  StartupResult result;
  migrateLegacyFileName(ini.path().parent_path());
  result.load = ini.load();
  if (!result.load.error.empty()) ctx.warning(result.load.error);
  if (result.load.existed && result.load.ok && renameLegacyMenuPaths(ini)) {
    std::string error;
    if (!ini.save(&error)) ctx.warning(error);
  }
  presets.readAll(ini, result.invalidNumbers);
  readSettings(ini, ctx, result.invalidNumbers);
  if (overrides) applySettingOverrides(*overrides, ctx, result.invalidNumbers);
  macros.read(ini);
  if (result.invalidNumbers) showInvalidNumberFormatMessage(ctx);
  result.window = readWindowPosition(ini);
  return result;
}

void writeConfigurationAtClose(IniFile& ini, const Settings& settings,
                               const WindowPosition& window) {
  writeWindowPosition(ini, window);
  writeDialogPositions(ini, settings);
  writeSettings(ini, settings);
}

}  // namespace tolmar
