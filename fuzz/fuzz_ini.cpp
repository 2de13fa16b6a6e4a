// Arbitrary bytes as VESKOR.INI: parse, read every setting, preset family and macro, migrate the
// old menu paths, write everything back and parse the result again.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "config/ini_file.h"
#include "config/macro_store.h"
#include "config/presets.h"
#include "config/settings_io.h"
#include "editor/context.h"

namespace {

class QuietHost : public tolmar::Host {
 public:
  void message(tolmar::MsgKind, const std::string&) override {}
  tolmar::Answer ask(tolmar::MsgKind, tolmar::Buttons, const std::string&) override {
    return tolmar::Answer::Yes;
  }
  void progressBegin(const std::string&) override {}
  void progressSet(int) override {}
  void progressEnd() override {}
  void pump() override {}
  std::optional<std::string> openFileDialog(const tolmar::FileDialogSpec&) override {
    return std::nullopt;
  }
  std::optional<std::string> saveFileDialog(const tolmar::FileDialogSpec&) override {
    return std::nullopt;
  }
  bool runDialog(tolmar::DialogRequest&) override { return false; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolmar;
  QuietHost host;
  Context ctx(host);
  IniFile ini;
  ini.setDecimalSeparator(size > 0 && data[0] % 2 ? "," : ".");
  ini.parse(std::string_view(reinterpret_cast<const char*>(data), size));

  bool invalid = false;
  PresetStore presets;
  presets.readAll(ini, invalid);
  readSettings(ini, ctx, invalid);
  MacroTable macros;
  macros.read(ini);
  (void)readWindowPosition(ini);
  (void)recentFiles(ini);
  const DialogPositions places = readOtherDialogPositions(ini);
  renameLegacyMenuPaths(ini);

  presets.click.setDefault(ctx, ini);
  presets.eq.write(ini);
  presets.filter.write(ini);
  presets.chanmix.write(ini);
  macros.write(ini);
  addToRecentFiles(ini, "/tmp/x.wav");
  writeConfigurationAtClose(ini, ctx.settings, WindowPosition{});
  writeOtherDialogPositions(ini, places);
  // Every pair read is written back and reads the same.
  const DialogPositions back = readOtherDialogPositions(ini);
  for (const auto& [key, at] : places) {
    if (at.x == -1 || at.y == -1) continue;
    const auto it = back.find(key);
    if (it == back.end() || it->second.x != at.x || it->second.y != at.y) __builtin_trap();
  }

  const std::string text = ini.serialise();
  IniFile again;
  again.parse(text);
  // What was written must read back to the same file.
  if (again.serialise() != text) __builtin_trap();
  return 0;
}
