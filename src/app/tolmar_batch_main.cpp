// tolmar-batch: the editor core without a window.

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "app/batch_host.h"
#include "app/batch_plan.h"
#include "app/batch_record.h"
#include "app/process_pool.h"
#include "audio/deferred_output.h"
#include "config/settings_io.h"
#include "document/file_copy.h"
#include "document/wav_format.h"
#include "editor/batch_mode.h"
#include "editor/command_table.h"
#include "editor/editor.h"
#include "editor/macro_runner.h"
#ifdef TOLMAR_HAVE_PORTAUDIO
#include "audio/portaudio/portaudio_input.h"
#include "audio/portaudio/portaudio_output.h"
#endif

namespace {

const char kUsage[] =
    "Usage:\n"
    "  tolmar-batch [--config-dir DIR] [--set SECTION.KEY=VALUE]... [--copy-to DIR]\n"
    "               (--macro N | --step STEP | --select RANGE)... [--continue-on-error]\n"
    "               [--jobs N] FILE...\n"
    "  tolmar-batch [--config-dir DIR] --list-commands [FILE]\n"
    "  tolmar-batch [--config-dir DIR] --list-presets\n"
    "  tolmar-batch --info FILE...\n"
    "  tolmar-batch [--config-dir DIR] [--set SECTION.KEY=VALUE]... --record OUT.wav\n"
    "               --limit TIME [--rate 44100|48000] [--input FILE.wav]\n"
    "  tolmar-batch --help | --version\n"
    "\n"
    "Runs a macro over WAV files as a batch run: each file is opened in turn (with the whole\n"
    "file selected when the Options setting to select it after opening is on, as it is by\n"
    "default), its directory becomes the current directory, and the steps run in silent mode:\n"
    "no dialog is shown and every command takes its current parameters. The batch log goes to\n"
    "standard output: the start line, a \"  File\" line per file, four spaces and the text of\n"
    "each step run, and six spaces and the text of each message a command gave, and\n"
    "\"Wrote \" and the path of every file a step wrote.\n"
    "\n"
    "  --macro N            Run macro slot N (1-48) of VESKOR.INI. Slots 1-12 are F1-F12,\n"
    "                       13-24 Shift+F1-F12, 25-36 Ctrl+F1-F12, 37-48 Alt+F1-F12.\n"
    "  --step STEP          Run one macro step, written exactly as in a macro: a menu path\n"
    "                       (\"Declicking | Find All Clicks\", see --list-commands), with\n"
    "                       \" [preset name]\" after the eight commands that take presets,\n"
    "                       \"[Refresh Display]\" or \"[Call Macro #N]\". --macro and --step\n"
    "                       may be repeated and mixed; they run in the order given.\n"
    "  --select RANGE       Select RANGE in every file at this point of the steps: START-END in\n"
    "                       the program's time text (0-3, 1:30-2:00.5, 2+0:10-2+0:20 within\n"
    "                       track 2), or all. It may stand between steps. A range outside the\n"
    "                       file is an error for that file: its remaining steps do not run.\n"
    "  --copy-to DIR        Copy each file (and its .clk, .mkr, .cue and .fpr) into DIR and\n"
    "                       process the copy; the original is never written. A file of the\n"
    "                       same name in DIR is not overwritten: that file fails instead.\n"
    "  --set SECTION.KEY=VALUE\n"
    "                       Override one VESKOR.INI setting for this run only (repeatable),\n"
    "                       e.g. --set Declick.relamp=1500. The value is checked and limited as\n"
    "                       the file's own would be; the file is not changed.\n"
    "  --continue-on-error  Go on with a file's next step after a step fails (without it the\n"
    "                       rest of that file's steps are skipped; the next file still runs).\n"
    "  --jobs N             Process N files at once, each in its own process. The log still\n"
    "                       comes out in file order. Each file then starts from VESKOR.INI:\n"
    "                       nothing carries over from one file to the next (such as a kept\n"
    "                       noise fingerprint); use --jobs 1, the default, when it must.\n"
    "  --config-dir DIR     Read VESKOR.INI from DIR (default: $TOLMAR_CONFIG_DIR, else the\n"
    "                       program's directory when writable, else ~/.config/tolmar).\n"
    "  --list-commands      One line per menu command: menu path, handler name, default\n"
    "                       shortcut (\"-\" for none) and whether it is enabled, disabled,\n"
    "                       hidden or not built in this version, separated by tabs. With\n"
    "                       FILE, availability is that with FILE open and wholly selected.\n"
    "  --info FILE...       Print each WAV file's title line (path, length, sample rate), or a\n"
    "                       summary of the header of a file that is not a 44.1 or 48 kHz\n"
    "                       16-bit stereo WAV file.\n"
    "  --list-presets       Every preset of every family, with its values.\n"
    "  --record OUT.wav     Record a new WAV file from the sound card's input: the device the\n"
    "                       settings name (Options.recdevno; -1, the default, is the system's\n"
    "                       default input), with the window's clip detection (Options.\n"
    "                       clippingsamples, clippingvalue, flattopsonly, ftvariance). The clip\n"
    "                       markers go to OUT.mkr. On a terminal the elapsed time and the meters\n"
    "                       (15 LEDs, the clip light and the peak per channel) are shown while it\n"
    "                       records; a line at the end sums up. The file is committed to storage\n"
    "                       every second, so even a crash keeps all but the last second. An\n"
    "                       existing OUT.wav is never overwritten.\n"
    "  --limit TIME         Stop the recording after TIME (minutes:seconds, such as 25:00, or\n"
    "                       seconds); Ctrl+C stops it earlier and keeps everything recorded.\n"
    "  --rate 44100|48000   The recording's sample rate (default: Options.recordrate).\n"
    "  --input FILE.wav     Record from FILE.wav, delivered in real time, instead of the sound\n"
    "                       card: to try the clip settings or the limit on a known transfer.\n"
    "  --version            The program's version.\n"
    "  --help               This text.\n"
    "\n"
    "A step whose command is not available at that moment - not enabled in the state the\n"
    "earlier steps left (\"File | Save\" needs unsaved edits), or not built in this version -\n"
    "fails, and the log shows the reason after the message:\n"
    "      Macro error: operation \"STEP\" not valid in this context: needs a selection\n"
    "A --step naming no menu item is refused before anything runs (inside a macro of\n"
    "VESKOR.INI such a step is skipped). A preset name that does not exist leaves the\n"
    "command's current parameters as they are.\n"
    "\n"
    "A step of the Play/Record menu plays to its end before the next step runs; a preview\n"
    "plays its selection once, with no dialog. It plays on the device the settings name\n"
    "(--set Options.playdevno=N; -1, the default, is the system's default output). Without a\n"
    "sound card the step logs the device-open failure.\n"
    "\n"
    "A file that another Tolmar process (the window, or another run) has open for writing is\n"
    "not processed: it fails with a message and is left as it is. Scratch files that a killed\n"
    "run left beside a file are removed when the file is next opened.\n"
    "\n"
    "Exit status: 0 when every file opened and no step failed or logged an error, 1 otherwise,\n"
    "2 for a usage error. A recording exits 0 when its file was written whole, 1 when there was\n"
    "no device, it could not start or the disk filled (what was recorded is kept).\n"
    "\n"
    "Examples:\n"
    "  Run macro 3 (the one on F3) over two sides:\n"
    "    tolmar-batch --macro 3 side_a.wav side_b.wav\n"
    "\n"
    "  Whole-side restoration: rumble filter, clicks found and repaired, level normalised,\n"
    "  edits saved, four files at a time:\n"
    "    tolmar-batch --continue-on-error --jobs 4 \\\n"
    "      --step \"Other Effects | Filter (With Undo) [Rumble]\" \\\n"
    "      --step \"Declicking | Find All Clicks [Moderate Clicks]\" \\\n"
    "      --step \"Declicking | Remove All Clicks\" \\\n"
    "      --step \"Other Effects | Normalise (With Undo)\" \\\n"
    "      --step \"File | Save\" \\\n"
    "      transfers/*.wav\n"
    "\n"
    "  Take a noise fingerprint from the lead-in and reduce the noise over the side, keeping\n"
    "  the originals:\n"
    "    tolmar-batch --copy-to restored --select 0-3 \\\n"
    "      --step \"Noise Reduction | Get Fingerprint\" --select all \\\n"
    "      --step \"Noise Reduction | Reduce Noise (With Undo)\" --step \"File | Save\" "
    "side_a.wav\n"
    "\n"
    "  Remove spurious bytes after the sample data of every file:\n"
    "    tolmar-batch --step \"File | Truncate Extra Data\" *.wav\n"
    "\n"
    "  What a macro could run on a file right after opening it:\n"
    "    tolmar-batch --list-commands side_a.wav\n"
    "\n"
    "  Record a side of at most 30 minutes at 48 kHz:\n"
    "    tolmar-batch --record side_a.wav --limit 30:00 --rate 48000\n";

// The child option: one file, only its part of the log, no progress line.
const char kChildOption[] = "--batch-child";
const char kAdHocListText[] = "steps from the command line";

struct Options {
  std::optional<std::string> configDir;
  std::vector<tolmar::PlanStep> plan;  // "[Call Macro #N]" for --macro, a step, a --select
  std::vector<std::string> planArgs;   // the same, as given (for children)
  int onlyMacro = 0;                   // the slot when the plan is one --macro and nothing else
  bool continueOnError = false;
  int jobs = 1;
  bool child = false;
  bool listCommands = false;
  bool listPresets = false;
  bool info = false;
  std::string copyTo;
  tolmar::IniFile overrides;  // --set, never saved
  std::vector<std::string> setArgs;
  std::vector<std::string> files;
  bool record = false;
  tolmar::RecordOptions recording;
  std::string limitText;
};

int usageError(const std::string& what) {
  std::cerr << "tolmar-batch: " << what << "\n\n" << kUsage;
  return 2;
}

std::optional<int> parseCount(const std::string& text, int low, int high) {
  if (text.empty() || text.size() > 4) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < low || value > high) return std::nullopt;
  return value;
}

// Returns an exit status when parsing ends the program (help, usage errors).
std::optional<int> parseArgs(const std::vector<std::string>& args, Options& o) {
  int macros = 0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (a == "--info") {
      o.info = true;
    } else if (a == "--list-commands") {
      o.listCommands = true;
    } else if (a == "--config-dir") {
      auto v = value();
      if (!v) return usageError("--config-dir needs a directory");
      o.configDir = *v;
    } else if (a == "--macro") {
      auto v = value();
      const auto slot = v ? parseCount(*v, 1, tolmar::MacroTable::kSlots) : std::nullopt;
      if (!slot) return usageError("--macro needs a slot number from 1 to 48");
      o.plan.push_back({false, tolmar::callMacroStep(*slot)});
      o.planArgs.push_back("--macro");
      o.planArgs.push_back(*v);
      o.onlyMacro = *slot;
      ++macros;
    } else if (a == "--step") {
      auto v = value();
      if (!v || v->empty()) return usageError("--step needs a step text");
      o.plan.push_back({false, *v});
      o.planArgs.push_back("--step");
      o.planArgs.push_back(*v);
    } else if (a == "--select") {
      auto v = value();
      if (!v || !tolmar::validSelectRange(*v))
        return usageError("--select needs START-END in time text (0-3, 1:30-2:00.5) or all");
      o.plan.push_back({true, *v});
      o.planArgs.push_back("--select");
      o.planArgs.push_back(*v);
    } else if (a == "--copy-to") {
      auto v = value();
      std::error_code ec;
      if (!v || v->empty() || !std::filesystem::is_directory(*v, ec))
        return usageError("--copy-to needs an existing directory");
      o.copyTo = std::filesystem::absolute(*v, ec).string();
    } else if (a == "--set") {
      auto v = value();
      const auto dot = v ? v->find('.') : std::string::npos;
      const auto equals = v ? v->find('=') : std::string::npos;
      if (!v || dot == std::string::npos || equals == std::string::npos || equals < dot)
        return usageError("--set " + v.value_or("") +
                          ": needs SECTION.KEY=VALUE, such as Declick.relamp=1500");
      const std::string section = v->substr(0, dot), key = v->substr(dot + 1, equals - dot - 1),
                        text = v->substr(equals + 1);
      const std::string problem = tolmar::checkSettingOverride(section, key, text);
      if (!problem.empty()) return usageError("--set " + *v + ": " + problem);
      o.overrides.writeString(section, key, text);
      o.setArgs.push_back("--set");
      o.setArgs.push_back(*v);
    } else if (a == "--record") {
      auto v = value();
      if (!v || v->empty()) return usageError("--record needs the name of the new WAV file");
      o.record = true;
      o.recording.out = *v;
    } else if (a == "--limit") {
      auto v = value();
      const auto seconds = v ? tolmar::parseRecordLimit(*v) : std::nullopt;
      if (!seconds)
        return usageError("--limit needs a time of at least a second, such as 25:00 or 90");
      o.recording.limitSeconds = *seconds;
      o.limitText = *v;
    } else if (a == "--rate") {
      auto v = value();
      if (!v || (*v != "44100" && *v != "48000")) return usageError("--rate needs 44100 or 48000");
      o.recording.rate = std::stoi(*v);
    } else if (a == "--input") {
      auto v = value();
      if (!v || v->empty()) return usageError("--input needs a WAV file");
      o.recording.input = *v;
    } else if (a == "--list-presets") {
      o.listPresets = true;
    } else if (a == "--version") {
      std::cout << "tolmar-batch " << TOLMAR_VERSION << "\n";
      return 0;
    } else if (a == "--continue-on-error") {
      o.continueOnError = true;
    } else if (a == "--jobs") {
      auto v = value();
      const auto jobs = v ? parseCount(*v, 1, 256) : std::nullopt;
      if (!jobs) return usageError("--jobs needs a number from 1 to 256");
      o.jobs = *jobs;
    } else if (a == kChildOption) {
      o.child = true;
    } else if (a == "--") {
      o.files.insert(o.files.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    } else if (a.starts_with("--")) {
      return usageError("unknown option " + a);
    } else {
      o.files.push_back(a);
    }
  }
  if (macros != 1 || o.plan.size() != 1) o.onlyMacro = 0;
  const int modes = (o.info ? 1 : 0) + (o.listCommands ? 1 : 0) + (o.listPresets ? 1 : 0) +
                    (o.plan.empty() ? 0 : 1) + (o.record ? 1 : 0);
  const bool recordOption =
      o.recording.limitSeconds != 0 || o.recording.rate != 0 || !o.recording.input.empty();
  if (recordOption && !o.record) return usageError("--limit, --rate and --input need --record");
  if (o.record) {
    if (modes > 1) return usageError("--record does not mix with other modes");
    if (!o.files.empty()) return usageError("--record takes no other files");
    if (o.recording.limitSeconds == 0) return usageError("--record needs a --limit");
    std::error_code ec;
    if (std::filesystem::exists(o.recording.out, ec) || ec)
      return usageError(o.recording.out +
                        " already exists: a recording never overwrites a file; choose a new name");
    return std::nullopt;
  }
  if (modes == 0) return usageError(args.empty() ? "nothing to do" : "no --macro or --step given");
  if (modes > 1)
    return usageError("--info, --list-commands, --list-presets and --macro/--step do not mix");
  if (o.listPresets && !o.files.empty()) return usageError("--list-presets takes no files");
  if (o.info && o.files.empty()) return usageError("--info needs at least one file");
  if (o.listCommands && o.files.size() > 1) return usageError("--list-commands takes one file");
  if (!o.plan.empty() && o.files.empty()) return usageError("no files to process");
  const bool anyStep = std::any_of(o.plan.begin(), o.plan.end(),
                                   [](const tolmar::PlanStep& p) { return !p.select; });
  if (!o.plan.empty() && !anyStep)
    return usageError("--select needs a --macro or --step to use it");
  return std::nullopt;
}

int runInfo(const std::vector<std::string>& files) {
  tolmar::BatchHost host(isatty(STDERR_FILENO) != 0);
  int failed = 0;
  for (const std::string& file : files) {
    tolmar::Editor editor(host);
    // Informational only: never write a peak cache beside someone's file, nor lock it.
    editor.ctx.settings.newstylewaveform = false;
    editor.ctx.inspectOnly = true;
    editor.ctx.silentMode = true;
    std::vector<std::string> log;
    editor.ctx.batchLog = &log;
    if (editor.OpenDocument(file, true)) {
      std::cout << editor.titleText() << "\n";
      continue;
    }
    ++failed;
    std::cout << file << ": " << tolmar::kUnsupportedFormatText << "\n";
    for (const std::string& line : log) std::cout << line << "\n";
    std::cout << "  " << tolmar::kUnsupportedFormatSummary << "\n";
    for (const std::string& line : tolmar::unsupportedFormatLines(editor.ctx.headerCopy))
      std::cout << "    " << line << "\n";
  }
  return failed == 0 ? 0 : 1;
}

// VESKOR.INI through the window's own start-up path, so that a batch run works with every
// value the user set ([Declick], the shortcut table, the transform length, ...).
void readConfiguration(tolmar::Editor& editor, const tolmar::IniFile* overrides = nullptr) {
  editor.iniFile.setPath(tolmar::configFilePath());
  editor.readSettingsAtStartup(overrides);
}

// The sound card for play steps. A run has no start-up device check: the device the settings
// name (or the default one) is looked for when a step plays, so a run that never plays never
// starts the sound system.
void plugSound(tolmar::Editor& editor) {
#ifdef TOLMAR_HAVE_PORTAUDIO
  editor.setOutputBackend(std::make_unique<tolmar::DeferredOutputBackend>(
                              [] { return std::make_unique<tolmar::PortAudioBackend>(); }),
                          tolmar::Editor::DeviceCheck::WhenPlaying);
#else
  (void)editor;
#endif
}

volatile std::sig_atomic_t stopRecording = 0;

extern "C" void onStopSignal(int) {
  stopRecording = 1;
}

int runRecordMode(Options& o) {
  tolmar::BatchHost host(false);
  tolmar::Editor editor(host);
  readConfiguration(editor, &o.overrides);
  tolmar::RecordOptions& r = o.recording;

  std::unique_ptr<tolmar::InputDeviceFactory> devices;
  if (!r.input.empty()) {
    auto wav = std::make_unique<tolmar::WavInputFactory>();
    const std::string why = wav->open(r.input);
    if (!why.empty()) return usageError("--input " + why);
    if (r.rate != 0 && r.rate != wav->rate())
      return usageError("--rate " + std::to_string(r.rate) + " is not the rate of " + r.input +
                        " (" + std::to_string(wav->rate()) + " Hz)");
    r.rate = wav->rate();
    devices = std::move(wav);
  } else {
#ifdef TOLMAR_HAVE_PORTAUDIO
    devices = std::make_unique<tolmar::PortAudioInputFactory>();
#endif
    if (!devices || devices->inputDevices().empty()) {
      std::cerr << "tolmar-batch: no recording device found (this build "
                << (devices ? "found no sound card input" : "has no sound card support") << ")\n";
      return 1;
    }
  }
  const int rate = r.rate != 0 ? r.rate : (editor.ctx.settings.recordrate == 1 ? 48000 : 44100);
  if (r.limitSeconds > tolmar::maxRecordSeconds(rate))
    return usageError("--limit " + o.limitText + " is longer than a WAV file at " +
                      std::to_string(rate) + " Hz can hold (" +
                      std::to_string(tolmar::maxRecordSeconds(rate) / 60) + " minutes)");

  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  return tolmar::runRecord(editor, *devices, r, std::cout, isatty(STDOUT_FILENO) != 0,
                           stopRecording);
}

// Every preset of every family with its values, as a macro step names them.
int runListPresets() {
  tolmar::BatchHost host(false);
  tolmar::Editor editor(host);
  readConfiguration(editor);
  const tolmar::PresetStore& p = editor.presets;
  auto numbers = [](const auto& values) {
    std::string out;
    for (const auto& v : values) out += (out.empty() ? "" : " ") + tolmar::formatFloat(v, ".");
    return out;
  };
  std::cout << "Declick presets (Declicking | Find All Clicks, Find and Remove All Clicks):\n";
  for (const tolmar::ClickPreset& c : p.click.items())
    std::cout << "  " << c.name << "\tclick width " << c.clickWidth << ", repair width "
              << c.repairWidth << ", relative amplitude " << c.relativeAmplitude
              << ", display width " << c.displayWidth << ", shape " << static_cast<int>(c.shape)
              << ", repair method " << static_cast<int>(c.repairMethod) << ", smoothings "
              << c.smoothingCount << "\n";
  std::cout << "Equaliser presets (Other Effects | Equalise):\n";
  for (const tolmar::EQPreset& e : p.eq.items())
    std::cout << "  " << e.name << "\tdB 31 Hz to 16 kHz: " << numbers(e.dbGain) << "\n";
  std::cout << "Filter presets (Other Effects | Filter):\n";
  for (const tolmar::FilterPreset& f : p.filter.items()) {
    std::cout << "  " << f.name << "\t";
    for (std::size_t i = 0; i < 3; ++i)
      std::cout << (i ? "; " : "") << "section " << i + 1 << " type " << f.type[i] << " at "
                << tolmar::formatFloat(f.freq[i], ".") << " Hz, Q "
                << tolmar::formatFloat(f.q[i], ".");
    std::cout << "\n";
  }
  std::cout << "Channel mix presets (Other Effects | Channel Mix):\n";
  for (const tolmar::ChanmixPreset& m : p.chanmix.items())
    std::cout << "  " << m.name << "\tleft from left " << m.leftleft << "%, left from right "
              << m.leftright << "%, right from left " << m.rightleft << "%, right from right "
              << m.rightright << "%" << (m.leftInvert ? ", left inverted" : "")
              << (m.rightInvert ? ", right inverted" : "") << "\n";
  return 0;
}

int runListCommands(const std::vector<std::string>& files) {
  tolmar::BatchHost host(false);
  tolmar::Editor editor(host);
  readConfiguration(editor);
  plugSound(editor);
  if (!files.empty()) {
    editor.ctx.settings.openselect = true;
    editor.ctx.settings.newstylewaveform = false;  // leave no peak cache behind
    editor.ctx.inspectOnly = true;
    editor.ctx.silentMode = true;
    std::vector<std::string> log;
    editor.ctx.batchLog = &log;
    const bool opened = editor.OpenDocument(files[0], true);
    editor.ctx.silentMode = false;
    editor.ctx.batchLog = nullptr;
    for (const std::string& line : log) std::cerr << line << "\n";
    if (!opened) {
      std::cerr << "tolmar-batch: cannot open " << files[0] << "\n";
      return 1;
    }
  }
  const tolmar::CommandState state = tolmar::computeCommandState(editor);
  for (const tolmar::Command& c : tolmar::commandTable()) {
    if (tolmar::isSeparator(c)) continue;
    const char* status = !tolmar::isVisible(c, state.showDebugItems) ? "hidden"
                         : !c.action                                 ? "not built"
                         : tolmar::isEnabled(c, state)               ? "enabled"
                                                                     : "disabled";
    std::cout << tolmar::menuPath(c) << "\t" << c.handler << "\t"
              << (c.shortcut.empty() ? std::string("-") : std::string(c.shortcut)) << "\t" << status
              << "\n";
  }
  return 0;
}

std::string selfExecutable(const char* argv0) {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) return std::string(buf, static_cast<std::size_t>(n));
  return argv0;
}

// A child's command line: one file, the parent's plan and settings.
std::vector<std::string> childArgs(const std::string& exe, const Options& o,
                                   const std::string& file) {
  std::vector<std::string> args{exe, kChildOption};
  args.insert(args.end(), o.planArgs.begin(), o.planArgs.end());
  args.insert(args.end(), o.setArgs.begin(), o.setArgs.end());
  if (!o.copyTo.empty()) {
    args.push_back("--copy-to");
    args.push_back(o.copyTo);
  }
  if (o.continueOnError) args.push_back("--continue-on-error");
  args.push_back("--");
  args.push_back(file);
  return args;
}

// --jobs N: files in child processes, N at a time, their logs printed in file order.
int runParallel(const Options& o, const std::string& exe, const std::string& listText,
                const std::vector<std::string>& files) {
  tolmar::BatchHost host(isatty(STDERR_FILENO) != 0);
  std::cout << tolmar::batchStartedText(listText) << "\n" << std::flush;
  std::vector<tolmar::ChildRun> children;
  for (const std::string& file : files) children.emplace_back(childArgs(exe, o, file));
  bool failed = false;
  tolmar::PoolCalls calls;
  // A list may name one file twice (spelled alike or not): its runs must follow each other as
  // in one job, never edit the file from two processes at once.
  calls.clash = [&](std::size_t earlier, std::size_t later) {
    return tolmar::sameFile(files[earlier], files[later]);
  };
  calls.startFailed = [&](std::size_t i) {
    std::cerr << "tolmar-batch: cannot start a process for " << files[i] << ": "
              << std::strerror(children[i].startError) << "\n";
    children[i].out = tolmar::batchFileText(files[i]) + "\n";
  };
  calls.ended = [&](std::size_t i) {
    if (children[i].exitStatus < 0 || children[i].exitStatus > 1)
      std::cerr << "tolmar-batch: the process for " << files[i] << " ended abnormally\n";
  };
  calls.ready = [&](std::size_t i) {
    host.clearLine();
    std::cout << children[i].out << std::flush;
    failed = failed || !children[i].ok();
  };
  calls.waiting = [&](std::size_t finished) {
    host.setStage("Files done: " + std::to_string(finished) + " of " +
                  std::to_string(files.size()));
  };
  tolmar::runChildren(children, o.jobs, calls);
  host.clearLine();
  std::cout << tolmar::kBatchFinishedText << "\n" << std::flush;
  return failed ? 1 : 0;
}

int runBatch(const Options& o, const char* argv0) {
  // Paths are taken before the run moves the current directory from file to file.
  std::vector<std::string> files;
  for (const std::string& f : o.files) {
    // A name that cannot be made absolute ("" among them) stays as given: its open fails and
    // is logged like that of any other file that cannot be opened.
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(f, ec);
    files.push_back(ec ? f : absolute.string());
  }

  const bool progress = !o.child && isatty(STDERR_FILENO) != 0;
  tolmar::BatchHost host(progress);
  tolmar::Editor editor(host);
  readConfiguration(editor, &o.overrides);
  plugSound(editor);
  // The parent checked the plan; a child would only repeat its warnings.
  if (!o.child && !tolmar::checkPlan(editor, o.plan, std::cerr)) return 2;

  const std::string listText =
      o.onlyMacro != 0 ? editor.macros.listText(o.onlyMacro) : std::string(kAdHocListText);

  if (!o.child && o.jobs > 1 && files.size() > 1)
    return runParallel(o, selfExecutable(argv0), listText, files);

  std::vector<std::string> log;
  std::size_t shown = 0;
  auto print = [&] {
    host.clearLine();
    for (; shown < log.size(); ++shown) std::cout << tolmar::logLineText(log[shown]) << "\n";
    std::cout << std::flush;
  };
  int failed = 0;
  {
    tolmar::BatchRun run(editor, log, o.continueOnError);
    run.setCopyDirectory(o.copyTo);
    if (!o.child) run.start(listText);
    print();
    for (std::size_t i = 0; i < files.size(); ++i) {
      if (!o.child)
        host.setStage("File " + std::to_string(i + 1) + " of " + std::to_string(files.size()) +
                      ": " + std::filesystem::path(files[i]).filename().string());
      if (o.onlyMacro != 0)
        run.file(files[i], o.onlyMacro);
      else
        run.file(files[i], o.plan);
      print();
    }
    if (!o.child) run.finish();
    failed = run.failedFiles();
  }
  host.setStage("");
  print();
  return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::cout << kUsage;
    return 2;
  }
  Options o;
  if (const auto status = parseArgs(args, o)) return *status;
  if (o.configDir && setenv("TOLMAR_CONFIG_DIR", o.configDir->c_str(), 1) != 0) {
    std::cerr << "tolmar-batch: cannot use " << *o.configDir << "\n";
    return 2;
  }
  if (o.record) return runRecordMode(o);
  if (o.info) return runInfo(o.files);
  if (o.listCommands) return runListCommands(o.files);
  if (o.listPresets) return runListPresets();
  return runBatch(o, argv[0]);
}
