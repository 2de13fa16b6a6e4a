#include "audio/alsa/alsa_mixer.h"

#include <alsa/asoundlib.h>
#include <sys/utsname.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace tolmar {

namespace {

constexpr uint32_t kDestinationId = 0xFFFF0000u;
constexpr uint32_t kFirstSourceId = 0x1000u;
constexpr int32_t kScale = 65535;

// alsa-lib reports every card it cannot find on stderr; what matters reaches the user through
// the trace and the report.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

void silenceAlsaOnce() {
  static const bool done = [] {
    snd_lib_error_set_handler(quietAlsa);
    return true;
  }();
  (void)done;
}

bool contains(const std::string& name, const char* word) {
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower.find(word) != std::string::npos;
}

// What kind of input a control's name says it is; the current-source preference uses it.
uint32_t componentOf(const std::string& name) {
  if (contains(name, "mic")) return kSrcMicrophone;
  if (contains(name, "line")) return kSrcLine;
  if (contains(name, "cd")) return kSrcCompactDisc;
  if (contains(name, "aux")) return kSrcAuxiliary;
  if (contains(name, "digital") || contains(name, "iec958") || contains(name, "spdif"))
    return kSrcDigital;
  if (contains(name, "phone")) return kSrcTelephone;
  if (contains(name, "synth") || contains(name, "midi")) return kSrcSynthesizer;
  if (contains(name, "pcm") || contains(name, "wave")) return kSrcWaveOut;
  return kSrcAnalog;
}

const char* componentText(uint32_t type) {
  switch (type) {
    case kDstWaveIn:
      return "DST_WAVEIN";
    case kSrcDigital:
      return "SRC_DIGITAL";
    case kSrcLine:
      return "SRC_LINE";
    case kSrcMicrophone:
      return "SRC_MICROPHONE";
    case kSrcSynthesizer:
      return "SRC_SYNTHESIZER";
    case kSrcCompactDisc:
      return "SRC_COMPACTDISC";
    case kSrcTelephone:
      return "SRC_TELEPHONE";
    case kSrcPcSpeaker:
      return "SRC_PCSPEAKER";
    case kSrcWaveOut:
      return "SRC_WAVEOUT";
    case kSrcAuxiliary:
      return "SRC_AUXILIARY";
    case kSrcAnalog:
      return "SRC_ANALOG";
  }
  return "Unknown";
}

std::string fmt(const char* f, ...) {
  char buf[512];
  va_list args;
  va_start(args, f);
  std::vsnprintf(buf, sizeof buf, f, args);
  va_end(args);
  return buf;
}

const char* tf(bool b) {
  return b ? "T" : "F";
}

snd_mixer_selem_channel_id_t channelOf(int ch) {
  return ch == 0 ? SND_MIXER_SCHN_FRONT_LEFT : SND_MIXER_SCHN_FRONT_RIGHT;
}

}  // namespace

std::string alsaControlNameFor(const std::string& deviceName) {
  const size_t hw = deviceName.rfind("(hw:");
  if (hw != std::string::npos) {
    size_t end = hw + 4;
    while (end < deviceName.size() && std::isdigit(static_cast<unsigned char>(deviceName[end])))
      ++end;
    if (end > hw + 4) return "hw:" + deviceName.substr(hw + 4, end - hw - 4);
  }
  return deviceName.substr(0, deviceName.find(' '));
}

struct AlsaMixerApi::Impl {
  enum class Kind { Volume, Switch, EnumMux, GroupMux };
  struct Control {
    Kind kind;
    uint32_t id;
    snd_mixer_elem_t* elem;
    std::string name, shortName;
    std::vector<snd_mixer_elem_t*> group;  // GroupMux: the element of each item
    std::vector<std::string> items;        // EnumMux and GroupMux: the item names
    long min = 0, max = 0;
    bool uniform = true;
  };
  struct Source {
    MixerLineInfo info;
    int volume = -1;
    int mute = -1;
  };

  snd_mixer_t* mixer = nullptr;
  std::string controlName;
  std::string cardName = "Invalid Mixer";
  std::string driver;
  int cardIndex = -1;
  std::vector<Control> controls;
  std::vector<Source> sources;
  int mux = -1;
  int master = -1;

  ~Impl() {
    if (mixer) snd_mixer_close(mixer);
  }

  const Control* control(uint32_t id) const {
    for (const Control& c : controls)
      if (c.id == id) return &c;
    return nullptr;
  }

  int add(Control c) {
    for (size_t i = 0; i < controls.size(); ++i)
      if (controls[i].id == c.id) return static_cast<int>(i);
    controls.push_back(std::move(c));
    return static_cast<int>(controls.size() - 1);
  }

  int volumeOf(snd_mixer_elem_t* e, uint32_t index) {
    Control c{Kind::Volume, (index + 1) << 4 | 1, e, {}, {}, {}, {}, 0, 0, true};
    const std::string n = snd_mixer_selem_get_name(e);
    c.name = n + " Capture Volume";
    c.shortName = n;
    snd_mixer_selem_get_capture_volume_range(e, &c.min, &c.max);
    c.uniform = snd_mixer_selem_is_capture_mono(e) || snd_mixer_selem_has_capture_volume_joined(e);
    return add(std::move(c));
  }

  int switchOf(snd_mixer_elem_t* e, uint32_t index) {
    Control c{Kind::Switch, (index + 1) << 4 | 2, e, {}, {}, {}, {}, 0, 1, true};
    const std::string n = snd_mixer_selem_get_name(e);
    c.name = n + " Capture Switch";
    c.shortName = n;
    c.uniform = snd_mixer_selem_is_capture_mono(e) || snd_mixer_selem_has_capture_switch_joined(e);
    return add(std::move(c));
  }

  void addSource(const std::string& name, snd_mixer_elem_t* e, int volume, int mute) {
    Source s;
    s.info.lineId = kFirstSourceId + static_cast<uint32_t>(sources.size());
    s.info.name = name;
    s.info.componentType = componentOf(name);
    s.info.channels = volume >= 0 && controls[static_cast<size_t>(volume)].uniform &&
                              snd_mixer_selem_is_capture_mono(controls[volume].elem)
                          ? 1
                          : 2;
    s.info.active = e ? snd_mixer_selem_is_active(e) != 0 : true;
    s.volume = volume;
    s.mute = mute;
    sources.push_back(s);
  }

  // The capture side of the simple mixer as our model's sources, MUX and master volume.
  void build() {
    std::vector<snd_mixer_elem_t*> elems;
    for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer); e; e = snd_mixer_elem_next(e))
      elems.push_back(e);
    const auto indexOf = [&](snd_mixer_elem_t* e) {
      return static_cast<uint32_t>(std::find(elems.begin(), elems.end(), e) - elems.begin());
    };
    const auto byName = [&](const std::string& name) -> snd_mixer_elem_t* {
      for (snd_mixer_elem_t* e : elems)
        if (name == snd_mixer_selem_get_name(e) && snd_mixer_selem_has_capture_volume(e)) return e;
      return nullptr;
    };

    // The chooser: an enumerated capture element, else the first capture exclusive group.
    for (snd_mixer_elem_t* e : elems) {
      if (!snd_mixer_selem_is_enumerated(e) || !snd_mixer_selem_is_enum_capture(e)) continue;
      Control c{Kind::EnumMux,
                (indexOf(e) + 1) << 4 | 3,
                e,
                snd_mixer_selem_get_name(e),
                snd_mixer_selem_get_name(e),
                {},
                {},
                0,
                1,
                true};
      const int n = snd_mixer_selem_get_enum_items(e);
      for (int i = 0; i < n; ++i) {
        char name[64] = {};
        snd_mixer_selem_get_enum_item_name(e, static_cast<unsigned>(i), sizeof name, name);
        c.items.push_back(name);
      }
      if (c.items.empty()) continue;
      mux = add(std::move(c));
      break;
    }
    if (mux < 0) {
      for (snd_mixer_elem_t* e : elems) {
        if (!snd_mixer_selem_has_capture_switch_exclusive(e)) continue;
        const int g = snd_mixer_selem_get_capture_group(e);
        Control c{Kind::GroupMux,
                  (indexOf(e) + 1) << 4 | 4,
                  e,
                  fmt("Capture Group %d", g),
                  "Source",
                  {},
                  {},
                  0,
                  1,
                  true};
        for (snd_mixer_elem_t* m : elems)
          if (snd_mixer_selem_has_capture_switch_exclusive(m) &&
              snd_mixer_selem_get_capture_group(m) == g) {
            c.group.push_back(m);
            c.items.push_back(snd_mixer_selem_get_name(m));
          }
        mux = add(std::move(c));
        break;
      }
    }
    const auto inMux = [&](snd_mixer_elem_t* e) {
      if (mux < 0) return false;
      const Control& m = controls[static_cast<size_t>(mux)];
      return e == m.elem || std::find(m.group.begin(), m.group.end(), e) != m.group.end();
    };

    // The card's own capture volume, shared by the items that have none.
    snd_mixer_elem_t* shared = nullptr;
    for (snd_mixer_elem_t* e : elems)
      if (std::strcmp(snd_mixer_selem_get_name(e), "Capture") == 0 &&
          snd_mixer_selem_has_capture_volume(e))
        shared = e;
    if (!shared && mux >= 0)
      for (snd_mixer_elem_t* e : elems)
        if (snd_mixer_selem_has_capture_volume(e) && !inMux(e)) {
          shared = e;
          break;
        }

    if (mux >= 0) {
      bool sharedUsed = false;
      const std::vector<std::string> items = controls[static_cast<size_t>(mux)].items;
      const std::vector<snd_mixer_elem_t*> group = controls[static_cast<size_t>(mux)].group;
      for (size_t i = 0; i < items.size(); ++i) {
        snd_mixer_elem_t* own = i < group.size() ? group[i] : byName(items[i]);
        if (own && !snd_mixer_selem_has_capture_volume(own)) own = nullptr;
        // A shared switch would be muted by every other item: the MUX does the choosing.
        if (own) {
          addSource(items[i], own, volumeOf(own, indexOf(own)), -1);
        } else {
          sharedUsed = sharedUsed || shared;
          addSource(items[i], i < group.size() ? group[i] : shared,
                    shared ? volumeOf(shared, indexOf(shared)) : -1, -1);
        }
      }
      if (shared && !sharedUsed) master = volumeOf(shared, indexOf(shared));
      return;
    }

    std::vector<snd_mixer_elem_t*> volumes;
    for (snd_mixer_elem_t* e : elems)
      if (snd_mixer_selem_has_capture_volume(e)) volumes.push_back(e);
    const bool sharedIsMaster = shared && volumes.size() > 1;
    for (snd_mixer_elem_t* e : volumes) {
      if (sharedIsMaster && e == shared) continue;
      const int mute = snd_mixer_selem_has_capture_switch(e) ? switchOf(e, indexOf(e)) : -1;
      addSource(snd_mixer_selem_get_name(e), e, volumeOf(e, indexOf(e)), mute);
    }
    if (sharedIsMaster) master = volumeOf(shared, indexOf(shared));
  }

  int32_t scaled(const Control& c, long raw) const {
    const long range = c.max - c.min;
    if (range <= 0) return 0;
    return static_cast<int32_t>(((raw - c.min) * kScale + range / 2) / range);
  }
  long raw(const Control& c, int32_t value) const {
    const long range = c.max - c.min;
    const long v = std::clamp<long>(value, 0, kScale);
    return c.min + (v * range + kScale / 2) / kScale;
  }

  std::vector<std::string> dumpLines() const;
  int store(const MixerControlInfo& info, int channels, int items,
            const std::vector<int32_t>& values);
};

AlsaMixerApi::AlsaMixerApi(std::vector<InputDeviceInfo> devices, int defaultDevice)
    : devices_(std::move(devices)), defaultDevice_(defaultDevice) {
  silenceAlsaOnce();
}

AlsaMixerApi::~AlsaMixerApi() = default;

int AlsaMixerApi::openControl(const std::string& name) {
  silenceAlsaOnce();
  d_.reset();
  auto d = std::make_unique<Impl>();
  d->controlName = name;
  if (name.empty()) return -ENODEV;
  int err = snd_mixer_open(&d->mixer, 0);
  if (err < 0) {
    d->mixer = nullptr;
    return err;
  }
  if ((err = snd_mixer_attach(d->mixer, name.c_str())) < 0 ||
      (err = snd_mixer_selem_register(d->mixer, nullptr, nullptr)) < 0 ||
      (err = snd_mixer_load(d->mixer)) < 0)
    return err;
  snd_ctl_t* ctl = nullptr;
  if (snd_ctl_open(&ctl, name.c_str(), 0) == 0) {
    snd_ctl_card_info_t* info;
    snd_ctl_card_info_alloca(&info);
    if (snd_ctl_card_info(ctl, info) == 0) {
      d->cardName = snd_ctl_card_info_get_name(info);
      d->driver = snd_ctl_card_info_get_driver(info);
      d->cardIndex = snd_ctl_card_info_get_card(info);
    }
    snd_ctl_close(ctl);
  }
  if (d->cardName == "Invalid Mixer") d->cardName = name;
  d->build();
  d_ = std::move(d);
  return 0;
}

int AlsaMixerApi::openDefaultInput(int& deviceNo) {
  deviceNo = defaultDevice_;
  pendingControl_ = "default";
  for (const InputDeviceInfo& dev : devices_)
    if (dev.number == defaultDevice_) pendingControl_ = alsaControlNameFor(dev.name);
  return 0;
}

int AlsaMixerApi::openMixerOfOpenInput() {
  return openControl(pendingControl_);
}

int AlsaMixerApi::closeInput() {
  return 0;
}

int AlsaMixerApi::openMixer(int deviceNo) {
  for (const InputDeviceInfo& dev : devices_)
    if (dev.number == deviceNo) return openControl(alsaControlNameFor(dev.name));
  return -ENODEV;
}

int AlsaMixerApi::destinationLine(int lineId, MixerLineInfo& line) {
  if (!d_) return -EBADFD;
  if (lineId != -1 && static_cast<uint32_t>(lineId) != kDestinationId) return -EINVAL;
  line = {kDestinationId, "Capture", kDstWaveIn, 2, true, static_cast<int>(d_->sources.size())};
  return 0;
}

int AlsaMixerApi::sourceLine(int index, MixerLineInfo& line) {
  if (!d_) return -EBADFD;
  if (index < 0 || static_cast<size_t>(index) >= d_->sources.size()) return -EINVAL;
  line = d_->sources[static_cast<size_t>(index)].info;
  return 0;
}

int AlsaMixerApi::findControl(uint32_t lineId, MixerControlKind kind, MixerControlInfo& info) {
  if (!d_) return -EBADFD;
  int index = -1;
  if (lineId == kDestinationId) {
    if (kind == MixerControlKind::Mux) index = d_->mux;
    if (kind == MixerControlKind::Volume) index = d_->master;
  } else {
    for (const Impl::Source& s : d_->sources)
      if (s.info.lineId == lineId) {
        if (kind == MixerControlKind::Volume) index = s.volume;
        if (kind == MixerControlKind::Mute) index = s.mute;
      }
  }
  if (index < 0) return -ENOENT;
  const Impl::Control& c = d_->controls[static_cast<size_t>(index)];
  info = {};
  info.controlId = c.id;
  info.uniform = c.uniform;
  info.disabled = !snd_mixer_selem_is_active(c.elem);
  switch (c.kind) {
    case Impl::Kind::Volume:
      info.maximum = kScale;
      info.steps = static_cast<int>(c.max - c.min + 1);
      break;
    case Impl::Kind::Switch:
      info.maximum = 1;
      info.steps = 2;
      break;
    case Impl::Kind::EnumMux:
    case Impl::Kind::GroupMux:
      info.maximum = 1;
      info.items = static_cast<int>(c.items.size());
      break;
  }
  return 0;
}

int AlsaMixerApi::listLineIds(const MixerControlInfo& info, std::vector<uint32_t>& lineIds) {
  if (!d_) return -EBADFD;
  const Impl::Control* c = d_->control(info.controlId);
  if (!c || c->items.empty()) return -EINVAL;
  // The sources were made from the items, in their order.
  lineIds.clear();
  for (size_t i = 0; i < c->items.size(); ++i)
    lineIds.push_back(kFirstSourceId + static_cast<uint32_t>(i));
  return 0;
}

int AlsaMixerApi::getValues(const MixerControlInfo& info, int channels, int items,
                            std::vector<int32_t>& values) {
  if (!d_) return -EBADFD;
  const Impl::Control* c = d_->control(info.controlId);
  if (!c || channels < 1 || items < 1) return -EINVAL;
  // Another program may have moved the controls since.
  snd_mixer_handle_events(d_->mixer);
  values.clear();
  for (int ch = 0; ch < channels; ++ch) {
    switch (c->kind) {
      case Impl::Kind::Volume: {
        long v = 0;
        if (int err = snd_mixer_selem_get_capture_volume(c->elem, channelOf(ch), &v); err < 0)
          return err;
        values.push_back(d_->scaled(*c, v));
        break;
      }
      case Impl::Kind::Switch: {
        int on = 0;
        if (int err = snd_mixer_selem_get_capture_switch(c->elem, channelOf(ch), &on); err < 0)
          return err;
        values.push_back(on ? 0 : 1);
        break;
      }
      case Impl::Kind::EnumMux: {
        unsigned item = 0;
        if (int err = snd_mixer_selem_get_enum_item(c->elem, channelOf(ch), &item); err < 0)
          return err;
        for (int j = 0; j < items; ++j) values.push_back(static_cast<unsigned>(j) == item);
        break;
      }
      case Impl::Kind::GroupMux:
        for (int j = 0; j < items; ++j) {
          int on = 0;
          if (static_cast<size_t>(j) < c->group.size())
            snd_mixer_selem_get_capture_switch(c->group[static_cast<size_t>(j)],
                                               SND_MIXER_SCHN_MONO, &on);
          values.push_back(on ? 1 : 0);
        }
        break;
    }
  }
  return 0;
}

int AlsaMixerApi::Impl::store(const MixerControlInfo& info, int channels, int items,
                              const std::vector<int32_t>& values) {
  const Impl::Control* c = control(info.controlId);
  if (!c || channels < 1 || items < 1 ||
      values.size() < static_cast<size_t>(channels) * static_cast<size_t>(items))
    return -EINVAL;
  switch (c->kind) {
    case Impl::Kind::Volume:
      if (channels == 1) return snd_mixer_selem_set_capture_volume_all(c->elem, raw(*c, values[0]));
      for (int ch = 0; ch < channels; ++ch)
        if (int err = snd_mixer_selem_set_capture_volume(c->elem, channelOf(ch),
                                                         raw(*c, values[static_cast<size_t>(ch)]));
            err < 0)
          return err;
      return 0;
    case Impl::Kind::Switch:
      if (channels == 1) return snd_mixer_selem_set_capture_switch_all(c->elem, values[0] ? 0 : 1);
      for (int ch = 0; ch < channels; ++ch)
        if (int err = snd_mixer_selem_set_capture_switch(c->elem, channelOf(ch),
                                                         values[static_cast<size_t>(ch)] ? 0 : 1);
            err < 0)
          return err;
      return 0;
    case Impl::Kind::EnumMux:
    case Impl::Kind::GroupMux: {
      // A chooser takes exactly one item; ALSA has no mixing of several.
      int chosen = -1;
      for (int j = 0; j < items; ++j)
        if (values[static_cast<size_t>(j)]) {
          if (chosen >= 0) return -EINVAL;
          chosen = j;
        }
      if (chosen < 0 || static_cast<size_t>(chosen) >= c->items.size()) return -EINVAL;
      if (c->kind == Impl::Kind::GroupMux)
        return snd_mixer_selem_set_capture_switch_all(c->group[static_cast<size_t>(chosen)], 1);
      int err = snd_mixer_selem_set_enum_item(c->elem, SND_MIXER_SCHN_MONO,
                                              static_cast<unsigned>(chosen));
      unsigned other;
      if (err == 0 &&
          snd_mixer_selem_get_enum_item(c->elem, SND_MIXER_SCHN_FRONT_RIGHT, &other) == 0)
        err = snd_mixer_selem_set_enum_item(c->elem, SND_MIXER_SCHN_FRONT_RIGHT,
                                            static_cast<unsigned>(chosen));
      return err;
    }
  }
  return -EINVAL;
}

int AlsaMixerApi::setValues(const MixerControlInfo& info, int channels, int items,
                            const std::vector<int32_t>& values) {
  if (!d_) return -EBADFD;
  // alsa-lib gives 1 for a value that changed.
  return std::min(d_->store(info, channels, items, values), 0);
}

void AlsaMixerApi::close() {
  d_.reset();
}

std::vector<std::string> AlsaMixerApi::dump() const {
  if (!d_) return {"Invalid Mixer"};
  return d_->dumpLines();
}

std::vector<std::string> AlsaMixerApi::Impl::dumpLines() const {
  std::vector<std::string> out{cardName + ":"};
  // The numeric maker, product and driver IDs have no ALSA counterpart.
  out.push_back("        maker=0");
  out.push_back("        product=0");
  out.push_back("        driver=0");
  out.push_back("        support=0");
  out.push_back("        Lines:");

  const auto controlLines = [this, &out](const Control& c, const std::vector<uint32_t>& ids) {
    out.push_back(c.name + "(" + c.shortName + "):");
    out.push_back(fmt("        ID=%x", c.id));
    const bool list = c.kind == Kind::EnumMux || c.kind == Kind::GroupMux;
    out.push_back(std::string("        type=") + (c.kind == Kind::Volume   ? "VOLUME"
                                                  : c.kind == Kind::Switch ? "MUTE"
                                                                           : "MUX"));
    out.push_back(std::string("        disabled=") + tf(!snd_mixer_selem_is_active(c.elem)));
    out.push_back(std::string("        multiple=") + tf(list));
    out.push_back(std::string("        uniform=") + tf(c.uniform));
    out.push_back(fmt("        nItems=%d", list ? static_cast<int>(c.items.size()) : 0));
    out.push_back(fmt("        minval=%x", static_cast<unsigned>(c.min)));
    out.push_back(fmt("        maxval=%x", static_cast<unsigned>(c.max)));
    out.push_back(fmt("        steps=%d", static_cast<int>(c.max - c.min + 1)));
    out.push_back("        custom=0");
    out.push_back("        Values:");
    const int channels = c.uniform ? 1 : 2;
    if (c.kind == Kind::Volume) {
      for (int ch = 0; ch < channels; ++ch) {
        long v = 0;
        snd_mixer_selem_get_capture_volume(c.elem, channelOf(ch), &v);
        out.push_back(fmt("Unsigned: %x", static_cast<unsigned>(v)));
      }
    } else if (c.kind == Kind::Switch) {
      for (int ch = 0; ch < channels; ++ch) {
        int on = 0;
        snd_mixer_selem_get_capture_switch(c.elem, channelOf(ch), &on);
        out.push_back(std::string("Boolean: ") + tf(!on));
      }
    } else {
      unsigned current = 0;
      if (c.kind == Kind::EnumMux)
        snd_mixer_selem_get_enum_item(c.elem, SND_MIXER_SCHN_MONO, &current);
      for (size_t j = 0; j < c.items.size(); ++j) {
        int on = 0;
        if (c.kind == Kind::GroupMux)
          snd_mixer_selem_get_capture_switch(c.group[j], SND_MIXER_SCHN_MONO, &on);
        else
          on = current == j;
        out.push_back(fmt("T/Boolean: %x, %x, %x, %s", on ? 1u : 0u, j < ids.size() ? ids[j] : 0u,
                          0u, c.items[j].c_str()));
      }
    }
  };
  const auto lineLines = [&](const MixerLineInfo& l, bool source) {
    out.push_back(l.name + "(" + l.name + "):");
    out.push_back(fmt("        ID=%x", l.lineId));
    out.push_back(std::string("        type=") + componentText(l.componentType));
    out.push_back(fmt("        channels=%d", l.channels));
    out.push_back(std::string("        active=") + tf(l.active));
    out.push_back("        disconnected=F");
    out.push_back(std::string("        source=") + tf(source));
    out.push_back("        Target=" + controlName + ":");
    out.push_back(fmt("            ID=%x", static_cast<unsigned>(std::max(cardIndex, 0))));
    out.push_back("            type=WAVEIN");
    out.push_back("            maker=0");
    out.push_back("            product=0");
    out.push_back("            driver=0");
  };

  std::vector<uint32_t> ids;
  for (const Source& s : sources) ids.push_back(s.info.lineId);
  lineLines({kDestinationId, "Capture", kDstWaveIn, 2, true, static_cast<int>(sources.size())},
            false);
  out.push_back("        Sources:");
  for (const Source& s : sources) {
    lineLines(s.info, true);
    out.push_back("        Controls:");
    if (s.volume >= 0) controlLines(controls[static_cast<size_t>(s.volume)], {});
    if (s.mute >= 0) controlLines(controls[static_cast<size_t>(s.mute)], {});
  }
  out.push_back("        Controls:");
  if (mux >= 0) controlLines(controls[static_cast<size_t>(mux)], ids);
  if (master >= 0) controlLines(controls[static_cast<size_t>(master)], {});
  return out;
}

std::vector<std::string> alsaMixerDump(const std::vector<std::string>& extraControls) {
  silenceAlsaOnce();
  std::vector<std::string> names;
  int card = -1;
  while (snd_card_next(&card) == 0 && card >= 0) names.push_back("hw:" + std::to_string(card));
  const size_t cards = names.size();
  for (const std::string& e : extraControls)
    if (!e.empty() && std::find(names.begin(), names.end(), e) == names.end()) names.push_back(e);

  std::vector<std::string> out;
  for (size_t i = 0; i < names.size(); ++i) {
    AlsaMixerApi api({}, -1);
    if (api.openControl(names[i]) != 0) {
      // A card that is there but will not open is worth a line; a device name that is no
      // control device is not.
      if (i < cards) out.push_back("Invalid Mixer");
      continue;
    }
    const std::vector<std::string> lines = api.dump();
    out.insert(out.end(), lines.begin(), lines.end());
  }
  return out;
}

AlsaMixerFactory::AlsaMixerFactory(InputDeviceFactory* devices, int defaultDevice)
    : devices_(devices), defaultDevice_(defaultDevice) {}

std::unique_ptr<MixerApi> AlsaMixerFactory::create() {
  return std::make_unique<AlsaMixerApi>(
      devices_ ? devices_->inputDevices() : std::vector<InputDeviceInfo>{}, defaultDevice_);
}

std::vector<std::string> AlsaMixerFactory::dumpMixers(int deviceNo) {
  std::string control = "default";
  if (devices_) {
    const int wanted = deviceNo >= 0 ? deviceNo : defaultDevice_;
    for (const InputDeviceInfo& d : devices_->inputDevices())
      if (d.number == wanted) control = alsaControlNameFor(d.name);
  }
  return alsaMixerDump({control});
}

std::string AlsaMixerFactory::systemVersion() {
  utsname u{};
  if (uname(&u) != 0) return "unknown";
  return std::string(u.sysname) + " " + u.release + " " + u.version + " " + u.machine;
}

}  // namespace tolmar
