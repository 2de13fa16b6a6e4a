// A card's capture controls without a card: an ALSA control plugin with "Capture Volume"
// (two channels, 0 to 31), "Capture Switch" (two channels) and an enumerated "Capture Source"
// (Mic, Line, Phono), or "Input Source" when its `source` field says so: the simple mixer shows
// the first as a group of exclusive capture switches, the second as an enumerated element.
// ALSA opens every control handle afresh, so the values live in a small
// text file (the `state` field of the plugin's configuration): what one open writes, the next
// open (another program's included) reads.

#include <alsa/asoundlib.h>
#include <alsa/control_external.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

enum Key : snd_ctl_ext_key_t { kVolume = 0, kSwitch = 1, kSource = 2, kCount = 3 };
const char* const kItems[] = {"Mic", "Line", "Phono"};
constexpr unsigned kItemCount = 3;
constexpr long kVolumeMax = 31;

struct Card {
  snd_ctl_ext_t ext{};
  std::string stateFile;
  const char* names[kCount] = {"Capture Volume", "Capture Switch", "Capture Source"};
  std::string sourceName = "Capture Source";
  int pipe[2] = {-1, -1};
  long volume[2] = {20, 20};
  long on[2] = {1, 1};
  unsigned source = 0;

  void load() {
    FILE* f = std::fopen(stateFile.c_str(), "r");
    if (!f) return;
    long v0, v1, s0, s1;
    unsigned src;
    if (std::fscanf(f, "%ld %ld %ld %ld %u", &v0, &v1, &s0, &s1, &src) == 5 && src < kItemCount) {
      volume[0] = v0, volume[1] = v1, on[0] = s0, on[1] = s1, source = src;
    }
    std::fclose(f);
  }
  void save() const {
    if (FILE* f = std::fopen(stateFile.c_str(), "w")) {
      std::fprintf(f, "%ld %ld %ld %ld %u\n", volume[0], volume[1], on[0], on[1], source);
      std::fclose(f);
    }
  }
};

Card* card(snd_ctl_ext_t* ext) {
  return static_cast<Card*>(ext->private_data);
}

void closeCard(snd_ctl_ext_t* ext) {
  Card* c = card(ext);
  ::close(c->pipe[0]);
  ::close(c->pipe[1]);
  delete c;
}

int elemCount(snd_ctl_ext_t*) {
  return kCount;
}

int elemList(snd_ctl_ext_t* ext, unsigned offset, snd_ctl_elem_id_t* id) {
  if (offset >= kCount) return -EINVAL;
  snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
  snd_ctl_elem_id_set_name(id, card(ext)->names[offset]);
  return 0;
}

snd_ctl_ext_key_t findElem(snd_ctl_ext_t* ext, const snd_ctl_elem_id_t* id) {
  const char* name = snd_ctl_elem_id_get_name(id);
  for (unsigned k = 0; k < kCount; ++k)
    if (std::strcmp(name, card(ext)->names[k]) == 0) return k;
  return SND_CTL_EXT_KEY_NOT_FOUND;
}

int attribute(snd_ctl_ext_t*, snd_ctl_ext_key_t key, int* type, unsigned* acc, unsigned* count) {
  *acc = SND_CTL_EXT_ACCESS_READWRITE;
  switch (key) {
    case kVolume:
      *type = SND_CTL_ELEM_TYPE_INTEGER;
      *count = 2;
      return 0;
    case kSwitch:
      *type = SND_CTL_ELEM_TYPE_BOOLEAN;
      *count = 2;
      return 0;
    case kSource:
      *type = SND_CTL_ELEM_TYPE_ENUMERATED;
      *count = 1;
      return 0;
  }
  return -EINVAL;
}

int integerInfo(snd_ctl_ext_t*, snd_ctl_ext_key_t, long* min, long* max, long* step) {
  *min = 0;
  *max = kVolumeMax;
  *step = 1;
  return 0;
}

int enumInfo(snd_ctl_ext_t*, snd_ctl_ext_key_t, unsigned* items) {
  *items = kItemCount;
  return 0;
}

int enumName(snd_ctl_ext_t*, snd_ctl_ext_key_t, unsigned item, char* name, size_t max) {
  if (item >= kItemCount) return -EINVAL;
  std::snprintf(name, max, "%s", kItems[item]);
  return 0;
}

int readInteger(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* value) {
  const Card* c = card(ext);
  const long* from = key == kVolume ? c->volume : c->on;
  value[0] = from[0];
  value[1] = from[1];
  return 0;
}

int writeInteger(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* value) {
  Card* c = card(ext);
  long* to = key == kVolume ? c->volume : c->on;
  const long max = key == kVolume ? kVolumeMax : 1;
  for (int ch = 0; ch < 2; ++ch)
    if (value[ch] < 0 || value[ch] > max) return -EINVAL;
  const bool changed = to[0] != value[0] || to[1] != value[1];
  to[0] = value[0];
  to[1] = value[1];
  c->save();
  return changed ? 1 : 0;
}

int readEnum(snd_ctl_ext_t* ext, snd_ctl_ext_key_t, unsigned* items) {
  items[0] = card(ext)->source;
  return 0;
}

int writeEnum(snd_ctl_ext_t* ext, snd_ctl_ext_key_t, unsigned* items) {
  Card* c = card(ext);
  if (items[0] >= kItemCount) return -EINVAL;
  const bool changed = c->source != items[0];
  c->source = items[0];
  c->save();
  return changed ? 1 : 0;
}

void subscribe(snd_ctl_ext_t*, int) {}

int readEvent(snd_ctl_ext_t*, snd_ctl_elem_id_t*, unsigned*) {
  return -EAGAIN;
}

const snd_ctl_ext_callback_t kCallbacks = [] {
  snd_ctl_ext_callback_t cb{};
  cb.close = closeCard;
  cb.elem_count = elemCount;
  cb.elem_list = elemList;
  cb.find_elem = findElem;
  cb.get_attribute = attribute;
  cb.get_integer_info = integerInfo;
  cb.get_enumerated_info = enumInfo;
  cb.get_enumerated_name = enumName;
  cb.read_integer = readInteger;
  cb.write_integer = writeInteger;
  cb.read_enumerated = readEnum;
  cb.write_enumerated = writeEnum;
  cb.subscribe_events = subscribe;
  cb.read_event = readEvent;
  return cb;
}();

}  // namespace

extern "C" {

SND_CTL_PLUGIN_DEFINE_FUNC(tolmartest) {
  (void)root;
  auto* c = new Card;
  snd_config_iterator_t i, next;
  snd_config_for_each(i, next, conf) {
    snd_config_t* n = snd_config_iterator_entry(i);
    const char* id;
    if (snd_config_get_id(n, &id) < 0) continue;
    if (std::strcmp(id, "state") == 0) {
      const char* s;
      if (snd_config_get_string(n, &s) == 0) c->stateFile = s;
    } else if (std::strcmp(id, "source") == 0) {
      const char* s;
      if (snd_config_get_string(n, &s) == 0) c->sourceName = s;
    }
  }
  if (c->stateFile.empty() || ::pipe(c->pipe) < 0) {
    delete c;
    return -EINVAL;
  }
  c->names[kSource] = c->sourceName.c_str();
  c->load();
  snd_ctl_ext_t& e = c->ext;
  e.version = SND_CTL_EXT_VERSION;
  e.card_idx = 0;
  std::snprintf(e.id, sizeof e.id, "TolmarTest");
  std::snprintf(e.driver, sizeof e.driver, "TolmarTest");
  std::snprintf(e.name, sizeof e.name, "Test Card");
  std::snprintf(e.longname, sizeof e.longname, "Test Card with capture controls");
  std::snprintf(e.mixername, sizeof e.mixername, "Test Mixer");
  e.poll_fd = c->pipe[0];
  e.callback = &kCallbacks;
  e.private_data = c;
  const int err = snd_ctl_ext_create(&e, name, mode);
  if (err < 0) {
    closeCard(&e);
    return err;
  }
  *handlep = e.handle;
  return 0;
}

SND_CTL_PLUGIN_SYMBOL(tolmartest)
}
