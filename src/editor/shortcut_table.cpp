#include "editor/shortcut_table.h"

#include <cctype>

#include "base/session.h"

namespace tolmar {

namespace {

struct ParsedShortcut {
  bool shift = false, ctrl = false, alt = false;
  std::string key;  // lower case
};

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  return true;
}

ParsedShortcut parse(std::string_view text) {
  ParsedShortcut p;
  for (;;) {
    if (startsWithNoCase(text, "shift+")) {
      p.shift = true;
      text.remove_prefix(6);
    } else if (startsWithNoCase(text, "ctrl+")) {
      p.ctrl = true;
      text.remove_prefix(5);
    } else if (startsWithNoCase(text, "alt+")) {
      p.alt = true;
      text.remove_prefix(4);
    } else {
      break;
    }
  }
  for (char ch : text) p.key += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return p;
}

}  // namespace

ShortcutTable::ShortcutTable() {
  resetToDefaults();
}

const std::string& ShortcutTable::shortcut(const Command& c) const {
  static const std::string none;
  const size_t i = commandIndex(c);
  return i < keys_.size() ? keys_[i] : none;
}

void ShortcutTable::set(const Command& c, std::string text) {
  const size_t i = commandIndex(c);
  if (i >= keys_.size() || keys_[i] == text) return;
  keys_[i] = std::move(text);
  changed_ = true;
}

void ShortcutTable::resetToDefaults() {
  keys_.clear();
  for (const Command& c : commandTable()) keys_.emplace_back(c.shortcut);
}

void ShortcutTable::read(const IniFile& ini) {
  // Starting from the defaults makes a re-read undo every change the file does not hold.
  resetToDefaults();
  for (int n = 1;; ++n) {
    const std::string value = ini.readString(kShortcutSection, "sc" + std::to_string(n), "");
    if (value.empty()) break;
    const size_t tilde = value.find('~');
    if (tilde == std::string::npos) continue;
    const Command* c = findCommand(std::string_view(value).substr(0, tilde));
    if (c) keys_[commandIndex(*c)] = value.substr(tilde + 1);
  }
  changed_ = false;
}

bool ShortcutTable::write(IniFile& ini, bool showDebugItems) const {
  if (!changed_) return false;
  ini.eraseSection(kShortcutSection);
  int n = 0;
  for (const Command* c : eligibleCommands(showDebugItems))
    ini.writeString(kShortcutSection, "sc" + std::to_string(++n),
                    menuPath(*c) + "~" + shortcut(*c));
  return true;
}

std::vector<std::string> ShortcutTable::clashes(const Command& c, bool showDebugItems) const {
  std::vector<std::string> paths;
  const std::string& mine = shortcut(c);
  if (mine.empty()) return paths;
  for (const Command* other : eligibleCommands(showDebugItems))
    if (other != &c && sameShortcut(shortcut(*other), mine)) paths.push_back(menuPath(*other));
  return paths;
}

std::vector<const Command*> eligibleCommands(bool showDebugItems) {
  std::vector<const Command*> out;
  for (const Command& c : commandTable()) {
    if (isSeparator(c) || !isVisible(c, showDebugItems)) continue;
    const int pos = menuPosition(c);
    if (cleanCaption(c.menu) == "File" && pos >= kFileMenuFixedItems) continue;
    if (cleanCaption(c.menu) == "View" && pos >= kViewMenuFixedItems) continue;
    out.push_back(&c);
  }
  return out;
}

std::vector<std::string> eligibleMenuPaths(bool showDebugItems) {
  std::vector<std::string> paths;
  for (const Command* c : eligibleCommands(showDebugItems)) paths.push_back(menuPath(*c));
  return paths;
}

std::string shortcutClashText(const std::string& path) {
  return "Menu item \"" + path + "\" has the same shortcut";
}

bool setShortcutChecked(ShortcutTable& table, const Command& c, const std::string& text,
                        Session& ctx, bool showDebugItems) {
  const std::string previous = table.shortcut(c);
  table.set(c, text);
  const std::vector<std::string> clashing = table.clashes(c, showDebugItems);
  for (const std::string& path : clashing) ctx.info(shortcutClashText(path));
  if (!clashing.empty() && ctx.askYesNo(kBackOutClashQuestion, MsgKind::Warning)) {
    table.set(c, previous);
    return false;
  }
  return true;
}

std::string composeShortcut(bool shift, bool ctrl, bool alt, std::string_view key) {
  if (key.empty()) return {};
  std::string text;
  if (shift) text += "Shift+";
  if (ctrl) text += "Ctrl+";
  if (alt) text += "Alt+";
  text += key;
  return text;
}

bool sameShortcut(std::string_view a, std::string_view b) {
  const ParsedShortcut pa = parse(a);
  const ParsedShortcut pb = parse(b);
  return pa.shift == pb.shift && pa.ctrl == pb.ctrl && pa.alt == pb.alt && pa.key == pb.key;
}

const std::vector<std::string>& shortcutKeyNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n;
    for (char ch = 'A'; ch <= 'Z'; ++ch) n.emplace_back(1, ch);
    for (char ch = '0'; ch <= '9'; ++ch) n.emplace_back(1, ch);
    // The function keys belong to the macros.
    for (const char* name : {"Esc", "Ins", "Del", "Home", "End", "PgUp", "PgDn", "Up", "Down",
                             "Left", "Right", "BkSp"})
      n.emplace_back(name);
    return n;
  }();
  return names;
}

}  // namespace tolmar
