#include "audio/wave_in_mixer.h"

#include <cstdarg>
#include <cstdio>
#include <fstream>

namespace tolmar {

namespace {

// The sizes the set-up lines report: those of the requests our interface takes.
constexpr int kLineControlsSize = 24;
constexpr int kControlDetailsSize = 24;
constexpr int kLineSize = static_cast<int>(sizeof(MixerLineInfo));
constexpr int kControlSize = static_cast<int>(sizeof(MixerControlInfo));

constexpr uint32_t kPreference[] = {kSrcLine,    kSrcAuxiliary,   kSrcAnalog,
                                    kSrcDigital, kSrcCompactDisc, kSrcMicrophone};

std::string format(const char* f, va_list args) {
  char buf[512];
  std::vsnprintf(buf, sizeof buf, f, args);
  return buf;
}

std::string line(const char* f, ...) {
  va_list args;
  va_start(args, f);
  std::string s = format(f, args);
  va_end(args);
  return s;
}

}  // namespace

void WaveInMixer::traced(const char* f, ...) {
  va_list args;
  va_start(args, f);
  trace_.push_back(format(f, args));
  va_end(args);
}

void WaveInMixer::step(int number) {
  if (debug_) tracePoints_.push_back(number);
}

WaveInMixer::WaveInMixer(std::unique_ptr<MixerApi> api, int deviceNo, bool debug, bool muteUnused,
                         int lineId)
    : api_(std::move(api)), debug_(debug), muteUnused_(muteUnused) {
  // 1. The mixer of the recording device.
  step(1);
  int code;
  if (deviceNo < 0) {
    int dev = -1;
    code = api_->openDefaultInput(dev);
    traced("Opening Wave Input for default device (%d): waveInOpen => %d", dev, code);
    if (code != 0) return;
    code = api_->openMixerOfOpenInput();
    traced("Opening mixer for opened Wave Input: mixerOpen => %d", code);
    const int closed = api_->closeInput();
    traced("Closing Wave Input: waveInClose => %d", closed);
    lineId = -1;
  } else {
    code = api_->openMixer(deviceNo);
    traced("Opening mixer for specific device (%d): mixerOpen => %d", deviceNo, code);
  }
  if (code != 0) return;

  // 2. The wave-input line.
  step(2);
  MixerLineInfo dest;
  code = api_->destinationLine(lineId, dest);
  traced("Getting basic info about WaveIn line: mixerGetLineInfo => %d", code);
  if (code != 0) return;
  lineId_ = dest.lineId;
  channels_ = dest.channels;

  // 3. The MIXER or MUX control that picks the source.
  step(3);
  for (const MixerControlKind kind : {MixerControlKind::Mixer, MixerControlKind::Mux}) {
    const bool isMixer = kind == MixerControlKind::Mixer;
    MixerControlInfo c;
    traced("    setup MixerLineControls: sz=%d, line=%x, ctrl=%x, nctls=%d, cbmx=%d",
           kLineControlsSize, lineId_, static_cast<unsigned>(kind), 1, kControlSize);
    code = api_->findControl(lineId_, kind, c);
    traced(isMixer ? "Looking for a MIXER control on the WaveIn line: mixerGetLineControls => %d"
                   : "Looking for a MUX control on the WaveIn line: mixerGetLineControls => %d",
           code);
    if (code != 0) continue;
    auto mux = std::make_unique<MuxControl>();
    mux->id = c.controlId;
    mux->isMixer = isMixer;
    mux->channels = c.uniform ? 1 : channels_;
    const int items = c.items;
    traced("    setup MixerControlDetails: sz=%d, ctid=%x, nchn=%d, mult=%d, cbdt=%d",
           kControlDetailsSize, c.controlId, mux->channels, items, 64);
    code = api_->listLineIds(c, mux->items);
    traced("Getting info about the MIXER/MUX control: mixerGetControlDetails => %d", code);
    if (code != 0) break;
    traced("    setup MixerControlDetails: sz=%d, ctid=%x, nchn=%d, mult=%d, cbdt=%d",
           kControlDetailsSize, c.controlId, mux->channels, items, 4);
    code = api_->getValues(c, mux->channels, items, mux->values);
    traced("Getting current settings of the MIXER/MUX control: mixerGetControlDetails => %d", code);
    if (code == 0 && static_cast<int>(mux->items.size()) == items &&
        static_cast<int>(mux->values.size()) == items * mux->channels)
      mux_ = std::move(mux);
    break;
  }

  // 4. The master volume of the line.
  step(4);
  {
    MixerControlInfo c;
    code = api_->findControl(lineId_, MixerControlKind::Volume, c);
    traced("Looking for a VOLUME control on the WaveIn line: mixerGetLineControls => %d", code);
    if (code == 0)
      master_ = std::make_unique<VolumeControl>(
          VolumeControl{c.controlId, c.minimum, c.maximum, c.steps, c.uniform, c.disabled});
  }

  // 5. The source lines worth keeping: with a volume, and with a mute unless a MUX/MIXER picks.
  step(5);
  for (int s = 0; s < dest.sources; ++s) {
    MixerLineInfo src;
    traced("    setup MixerLine: sz=%d, dest=%d, src=%d, line=%x, comp=%x", kLineSize, 0, s, 0, 0);
    code = api_->sourceLine(s, src);
    traced("Getting info for source line #%d on the WaveIn line: mixerGetLineInfo => %d", s, code);
    if (code != 0) continue;
    SourceLine line{src.name, src.lineId, src.componentType, src.channels, src.active, {}, {}};
    MixerControlInfo c;
    code = api_->findControl(src.lineId, MixerControlKind::Volume, c);
    traced("Looking for a VOLUME control on source line #%d: mixerGetLineControls => %d", s, code);
    if (code == 0)
      line.volume = std::make_unique<VolumeControl>(
          VolumeControl{c.controlId, c.minimum, c.maximum, c.steps, c.uniform, c.disabled});
    code = api_->findControl(src.lineId, MixerControlKind::Mute, c);
    traced("Looking for a MUTE control on source line #%d: mixerGetLineControls => %d", s, code);
    if (code == 0)
      line.mute = std::make_unique<MuteControl>(MuteControl{c.controlId, c.uniform, c.disabled});
    if (!line.volume) {
      traced("Source line #%d (%s) has no VOLUME control", s, src.name.c_str());
      continue;
    }
    if (!line.mute && !mux_) {
      traced("Source line #%d (%s) has no MUTE control, and there is no MUX/MIXER", s,
             src.name.c_str());
      continue;
    }
    sources_.push_back(std::move(line));
  }

  // 6. The source in use now.
  step(6);
  valid_ = !sources_.empty();
  if (!valid_) return;
  findCurrentSource();
  selectSource(current_);
}

WaveInMixer::~WaveInMixer() {
  if (api_) api_->close();
}

void WaveInMixer::findCurrentSource() {
  std::vector<int> candidates;
  for (size_t i = 0; i < sources_.size(); ++i) {
    const SourceLine& s = sources_[i];
    if (mux_) {
      for (size_t j = 0; j < mux_->items.size(); ++j)
        if (mux_->items[j] == s.lineId && mux_->values[j] == 1)
          candidates.push_back(static_cast<int>(i));
    } else if (s.mute && !s.mute->disabled) {
      std::vector<int32_t> v;
      MixerControlInfo c;
      c.controlId = s.mute->id;
      c.uniform = s.mute->uniform;
      if (api_->getValues(c, s.mute->uniform ? 1 : s.channels, 1, v) == 0 && !v.empty() &&
          v[0] == 0)
        candidates.push_back(static_cast<int>(i));
    }
  }
  if (candidates.size() == 1) {
    current_ = candidates[0];
    return;
  }
  current_ = 0;
  for (const uint32_t type : kPreference)
    for (size_t i = 0; i < sources_.size(); ++i)
      if (sources_[i].componentType == type) {
        current_ = static_cast<int>(i);
        return;
      }
}

bool WaveInMixer::selectSource(int index) {
  if (index < 0 || static_cast<size_t>(index) >= sources_.size()) return false;
  const SourceLine& chosen = sources_[static_cast<size_t>(index)];
  traced("Attempting to switch to source #%d (%s):", index, chosen.name.c_str());
  if (muteUnused_) {
    for (size_t i = 0; i < sources_.size(); ++i) {
      const SourceLine& s = sources_[i];
      if (!s.mute) continue;
      const int channels = s.mute->uniform ? 1 : s.channels;
      const std::vector<int32_t> v(static_cast<size_t>(channels),
                                   static_cast<int>(i) == index ? 0 : 1);
      MixerControlInfo c;
      c.controlId = s.mute->id;
      c.uniform = s.mute->uniform;
      const int code = api_->setValues(c, channels, 1, v);
      traced("    Setting MUTE control on source line #%d: mixerSetControlDetails => %d",
             static_cast<int>(i), code);
      if (code != 0) return false;
    }
  }
  if (mux_) {
    const size_t items = mux_->items.size();
    std::vector<int32_t> v(items * static_cast<size_t>(mux_->channels), 0);
    for (int ch = 0; ch < mux_->channels; ++ch)
      for (size_t j = 0; j < items; ++j)
        v[static_cast<size_t>(ch) * items + j] = mux_->items[j] == chosen.lineId ? 1 : 0;
    MixerControlInfo c;
    c.controlId = mux_->id;
    c.items = static_cast<int>(items);
    const int code = api_->setValues(c, mux_->channels, static_cast<int>(items), v);
    traced("    Setting values on the MIXER/MUX control: mixerSetControlDetails => %d", code);
    if (code != 0) return false;
    mux_->values = v;
  }
  current_ = index;
  return true;
}

bool WaveInMixer::getVolumes(int32_t& left, int32_t& right, int32_t& master) {
  if (!valid_) return false;
  const SourceLine& s = sources_[static_cast<size_t>(current_)];
  if (!s.volume) return false;
  MixerControlInfo c;
  c.controlId = s.volume->id;
  c.uniform = s.volume->uniform;
  std::vector<int32_t> v;
  const int channels = s.volume->uniform ? 1 : s.channels;
  if (api_->getValues(c, channels, 1, v) != 0 || v.empty()) return false;
  left = v[0];
  right = channels > 1 && v.size() > 1 ? v[1] : left;
  if (master_) {
    MixerControlInfo m;
    m.controlId = master_->id;
    std::vector<int32_t> mv;
    if (api_->getValues(m, 1, 1, mv) != 0 || mv.empty()) return false;
    master = mv[0];
  }
  return true;
}

bool WaveInMixer::setVolumes(int32_t left, int32_t right, int32_t master) {
  if (!valid_) return false;
  const SourceLine& s = sources_[static_cast<size_t>(current_)];
  if (!s.volume) return false;
  MixerControlInfo c;
  c.controlId = s.volume->id;
  c.uniform = s.volume->uniform;
  const int channels = s.volume->uniform ? 1 : s.channels;
  std::vector<int32_t> v{left};
  if (channels > 1) v.push_back(right);
  if (api_->setValues(c, channels, 1, v) != 0) return false;
  if (master_) {
    MixerControlInfo m;
    m.controlId = master_->id;
    if (api_->setValues(m, 1, 1, {master}) != 0) return false;
  }
  return true;
}

std::vector<std::string> WaveInMixer::status() const {
  std::vector<std::string> out;
  out.push_back(valid_ ? "Mixer is valid" : "Mixer is NOT valid");
  out.push_back(line("ID = %x", lineId_));
  out.push_back(line("#channels = %d", channels_));
  if (!mux_) {
    out.push_back("No MUX/MIXER control");
  } else {
    out.push_back(line("MUX/MIXER control ID = %x", mux_->id));
    for (size_t j = 0; j < mux_->items.size(); ++j)
      out.push_back(line("    #%d source ID = %x", static_cast<int>(j), mux_->items[j]));
  }
  const auto volumeLines = [&out](const VolumeControl& v, const std::string& indent) {
    out.push_back(indent +
                  line("    min = %x, max = %x, steps = %d", v.minimum, v.maximum, v.steps));
    out.push_back(indent + (v.uniform ? "    control is UNIFORM" : "    control is NOT UNIFORM"));
    out.push_back(indent +
                  (v.disabled ? "    control is DISABLED" : "    control is NOT DISABLED"));
  };
  if (!master_) {
    out.push_back("No VOLUME control");
  } else {
    out.push_back(line("VOLUME control ID = %x", master_->id));
    volumeLines(*master_, "");
  }
  for (size_t i = 0; i < sources_.size(); ++i) {
    const SourceLine& s = sources_[i];
    out.push_back(line("#%d source is %s", static_cast<int>(i), s.name.c_str()));
    out.push_back(
        line("    ID = %x, channels = %d, type = %x", s.lineId, s.channels, s.componentType));
    out.push_back(s.active ? "    source is ACTIVE" : "    source is NOT ACTIVE");
    if (!s.volume) {
      out.push_back("    no VOLUME control");
    } else {
      out.push_back(line("    VOLUME control ID = %x", s.volume->id));
      volumeLines(*s.volume, "    ");
    }
    if (!s.mute)
      out.push_back("    no MUTE control");
    else
      out.push_back(line("    MUTE control ID = %x", s.mute->id));
  }
  return out;
}

std::vector<std::string> mixerReportLines(const WaveInMixer* mixer,
                                          const std::string& systemVersion,
                                          const std::vector<std::string>& mixerDump) {
  std::vector<std::string> out{"WINDOWS VERSION: " + systemVersion, ""};
  if (mixer) {
    out.insert(out.end(), {"TRACE OF MIXER SETUP:", "---------------------"});
    out.insert(out.end(), mixer->trace().begin(), mixer->trace().end());
    out.insert(out.end(), {"", "TRACE OF MIXER STATE:", "---------------------"});
    const std::vector<std::string> state = mixer->status();
    out.insert(out.end(), state.begin(), state.end());
    out.insert(out.end(), {"", "END OF TRACE", "============", ""});
  }
  out.insert(out.end(), {"DUMP OF MIXERS IN SYSTEM:", "-------------------------"});
  if (mixerDump.empty())
    out.push_back("System has no available mixers");
  else
    out.insert(out.end(), mixerDump.begin(), mixerDump.end());
  out.insert(out.end(), {"", "END OF DUMP", "==========="});
  return out;
}

bool writeMixerReport(const std::string& path, const std::vector<std::string>& lines) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) return false;
  for (const std::string& l : lines) f << l << "\n";
  f.flush();
  return static_cast<bool>(f);
}

}  // namespace tolmar
