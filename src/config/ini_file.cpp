#include "config/ini_file.h"
#include "base/whole_number.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include "document/file_names.h"
#include "document/storage_sync.h"

namespace tolmar {

namespace fs = std::filesystem;

namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Whether files can be created in dir, found by creating one: permission bits alone do not
// say what the running user may do.
bool directoryWritable(const fs::path& dir) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return false;
  const fs::path probe = dir / (".tolmar-write-test-" + randomSuffix());
  {
    std::ofstream out(probe, std::ios::binary);
    if (!out) return false;
  }
  fs::remove(probe, ec);
  return true;
}

fs::path executableDirectory() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) return {};
  return exe.parent_path();
}

}  // namespace

fs::path configDirectory() {
  if (const char* dir = std::getenv("TOLMAR_CONFIG_DIR"); dir && *dir) {
    // Made absolute at once: a batch run moves the current directory from file to file, and
    // the settings written at close must reach the file they were read from.
    std::error_code ec;
    const fs::path absolute = fs::absolute(fs::path(dir), ec);
    return ec ? fs::path(dir) : absolute;
  }
  if (const fs::path exe = executableDirectory(); !exe.empty() && directoryWritable(exe)) {
    return exe;
  }
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME");
      xdg && *xdg && fs::path(xdg).is_absolute()) {
    return fs::path(xdg) / "tolmar";
  }
  if (const char* home = std::getenv("HOME"); home && *home) {
    return fs::path(home) / ".config" / "tolmar";
  }
  std::error_code ec;
  fs::path cwd = fs::current_path(ec);
  return ec ? fs::path(".") : cwd;
}

fs::path configFilePath() {
  return configDirectory() / kIniFileName;
}

std::string localeDecimalSeparator() {
  const std::lconv* lc = std::localeconv();
  if (lc && lc->decimal_point && *lc->decimal_point) return lc->decimal_point;
  return ".";
}

namespace {

std::string withSeparator(std::string text, std::string_view separator) {
  if (separator == ".") return text;
  const std::size_t dot = text.find('.');
  if (dot != std::string::npos) text.replace(dot, 1, separator);
  return text;
}

}  // namespace

std::string formatFloat(double value, std::string_view separator) {
  std::array<char, 64> buf{};
  const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), value);
  return withSeparator(std::string(buf.data(), res.ptr), separator);
}

std::string formatFixed(double value, int decimals, std::string_view separator) {
  std::array<char, 400> buf{};  // the largest double has 309 digits before the point
  const auto res =
      std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::fixed, decimals);
  if (res.ec != std::errc()) return formatFloat(value, separator);
  return withSeparator(std::string(buf.data(), res.ptr), separator);
}

std::optional<double> parseFloat(std::string_view text, std::string_view separator) {
  text = trim(text);
  if (separator.empty()) separator = ".";
  std::string norm;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') norm += '-';
    ++i;
  }
  int mantissaDigits = 0;
  while (i < text.size() && isDigit(text[i])) {
    norm += text[i++];
    ++mantissaDigits;
  }
  if (text.substr(i).starts_with(separator)) {
    norm += '.';
    i += separator.size();
    while (i < text.size() && isDigit(text[i])) {
      norm += text[i++];
      ++mantissaDigits;
    }
  }
  if (mantissaDigits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    norm += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) norm += text[i++];
    int expDigits = 0;
    while (i < text.size() && isDigit(text[i])) {
      norm += text[i++];
      ++expDigits;
    }
    if (expDigits == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  double value = 0;
  const auto res = std::from_chars(norm.data(), norm.data() + norm.size(), value);
  if (res.ec != std::errc() || res.ptr != norm.data() + norm.size()) return std::nullopt;
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<int32_t> parseInteger(std::string_view text) {
  return parseWholeNumber<int32_t>(text);
}

// ---- IniFile ----

void IniFile::Section::reindex() {
  index.clear();
  for (std::size_t i = 0; i < entries.size(); ++i) index.emplace(lower(entries[i].first), i);
}

void IniFile::reindex() {
  index_.clear();
  for (std::size_t i = 0; i < sections_.size(); ++i) index_.emplace(lower(sections_[i].name), i);
}

const IniFile::Section* IniFile::find(std::string_view section) const {
  const auto it = index_.find(lower(section));
  return it == index_.end() ? nullptr : &sections_[it->second];
}

IniFile::Section& IniFile::findOrAdd(std::string_view section) {
  const auto [it, added] = index_.emplace(lower(section), sections_.size());
  if (added) sections_.push_back(Section{std::string(section), {}, {}});
  return sections_[it->second];
}

IniFile::LoadResult IniFile::load() {
  LoadResult result = readFile();
  unreadable_ = !result.ok;
  return result;
}

IniFile::LoadResult IniFile::readFile() {
  LoadResult result;
  sections_.clear();
  index_.clear();
  std::error_code ec;
  if (!fs::exists(path_, ec)) return result;
  result.existed = true;
  if (fs::is_directory(path_, ec)) {
    result.ok = false;
    result.error = "Cannot read \"" + path_.string() + "\": it is a directory";
    return result;
  }
  std::ifstream in(path_, std::ios::binary);
  if (!in) {
    result.ok = false;
    result.error = "Cannot read \"" + path_.string() + "\"";
    return result;
  }
  std::string bytes;
  std::array<char, 65536> chunk{};
  while (in && bytes.size() <= kMaxBytes) {
    in.read(chunk.data(), chunk.size());
    bytes.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) {
    result.ok = false;
    result.error = "Error while reading \"" + path_.string() + "\"";
    return result;
  }
  if (bytes.size() > kMaxBytes) {
    bytes.resize(kMaxBytes);
    // Drop the cut line rather than take half of it.
    const std::size_t lastBreak = bytes.find_last_of("\r\n");
    bytes.resize(lastBreak == std::string::npos ? 0 : lastBreak + 1);
    result.truncated = true;
    result.error = "\"" + path_.string() + "\" is larger than " + std::to_string(kMaxBytes >> 20) +
                   " MiB; only its beginning was read";
  }
  parse(bytes);
  return result;
}

void IniFile::parse(std::string_view bytes) {
  sections_.clear();
  index_.clear();
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  Section* current = nullptr;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t end = bytes.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view line = trim(bytes.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      std::string_view name = line.substr(1);
      const std::size_t close = name.find(']');
      if (close != std::string_view::npos) name = name.substr(0, close);
      // A repeated header continues the first section of that name.
      current = &findOrAdd(trim(name));
      continue;
    }
    if (!current) continue;  // lines before any section belong to none
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = trim(line.substr(0, eq));
    if (key.empty()) continue;
    const auto [it, added] = current->index.emplace(lower(key), current->entries.size());
    if (added)
      current->entries.emplace_back(std::string(key), std::string(trim(line.substr(eq + 1))));
  }
}

std::string IniFile::serialise() const {
  std::string out;
  for (std::size_t s = 0; s < sections_.size(); ++s) {
    if (s > 0) out += '\n';
    out += '[';
    out += sections_[s].name;
    out += "]\n";
    for (const auto& [key, value] : sections_[s].entries) {
      out += key;
      out += '=';
      out += value;
      out += '\n';
    }
  }
  return out;
}

bool IniFile::save(std::string* error) const {
  auto fail = [&](const std::string& text) {
    if (error) *error = text;
    return false;
  };
  if (path_.empty()) return fail("No configuration file name");
  if (unreadable_)
    return fail("Settings not saved: \"" + path_.string() +
                "\" could not be read, and saving would replace what it holds");
  std::error_code ec;
  if (path_.has_parent_path()) fs::create_directories(path_.parent_path(), ec);
  fs::path tmp = path_;
  tmp += ".tmp-" + randomSuffix();
  const std::string text = serialise();
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return fail("Cannot create \"" + tmp.string() + "\"");
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) {
      out.close();
      fs::remove(tmp, ec);
      return fail("Cannot write \"" + tmp.string() + "\"");
    }
  }
  // Committed before the rename, so the name never points at a file the disk has not got.
  if (!syncFileToStorage(tmp.string())) {
    fs::remove(tmp, ec);
    return fail("Cannot write \"" + tmp.string() + "\"");
  }
  fs::rename(tmp, path_, ec);
  if (ec) {
    std::error_code ignore;
    fs::remove(tmp, ignore);
    return fail("Cannot replace \"" + path_.string() + "\": " + ec.message());
  }
  return true;
}

std::string IniFile::decimalSeparator() const {
  return separator_.empty() ? localeDecimalSeparator() : separator_;
}

bool IniFile::hasSection(std::string_view section) const {
  return find(section) != nullptr;
}

bool IniFile::hasKey(std::string_view section, std::string_view key) const {
  return value(section, key).has_value();
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
  const Section* s = find(section);
  if (!s) return std::nullopt;
  const auto it = s->index.find(lower(key));
  if (it == s->index.end()) return std::nullopt;
  return s->entries[it->second].second;
}

std::vector<std::string> IniFile::sectionNames() const {
  std::vector<std::string> names;
  for (const Section& s : sections_) names.push_back(s.name);
  return names;
}

std::vector<std::string> IniFile::keyNames(std::string_view section) const {
  std::vector<std::string> names;
  if (const Section* s = find(section)) {
    for (const auto& entry : s->entries) names.push_back(entry.first);
  }
  return names;
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                const std::string& def) const {
  auto v = value(section, key);
  return v ? std::move(*v) : def;
}

int IniFile::readInteger(std::string_view section, std::string_view key, int def) const {
  const auto v = value(section, key);
  if (!v) return def;
  const auto n = parseInteger(*v);
  return n ? *n : def;
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool def) const {
  return readInteger(section, key, def ? 1 : 0) != 0;
}

double IniFile::readFloat(std::string_view section, std::string_view key, double def,
                          bool* invalid) const {
  const auto v = value(section, key);
  if (!v || trim(*v).empty()) return def;
  const auto d = parseFloat(*v, decimalSeparator());
  if (!d) {
    if (invalid) *invalid = true;
    return def;
  }
  return *d;
}

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value) {
  std::string clean(value);
  // A line break would end the line and let the rest pose as keys or sections.
  std::replace(clean.begin(), clean.end(), '\r', ' ');
  std::replace(clean.begin(), clean.end(), '\n', ' ');
  Section& s = findOrAdd(section);
  const auto [it, added] = s.index.emplace(lower(key), s.entries.size());
  if (added) {
    s.entries.emplace_back(std::string(key), std::move(clean));
  } else {
    s.entries[it->second].second = std::move(clean);
  }
}

void IniFile::writeInteger(std::string_view section, std::string_view key, int64_t value) {
  writeString(section, key, std::to_string(value));
}

void IniFile::writeBool(std::string_view section, std::string_view key, bool value) {
  writeString(section, key, value ? "1" : "0");
}

void IniFile::writeFloat(std::string_view section, std::string_view key, double value) {
  writeString(section, key, formatFloat(value, decimalSeparator()));
}

void IniFile::eraseSection(std::string_view section) {
  const auto it = index_.find(lower(section));
  if (it == index_.end()) return;
  sections_.erase(sections_.begin() + static_cast<std::ptrdiff_t>(it->second));
  reindex();
}

void IniFile::deleteKey(std::string_view section, std::string_view key) {
  const auto sit = index_.find(lower(section));
  if (sit == index_.end()) return;
  Section& s = sections_[sit->second];
  const auto kit = s.index.find(lower(key));
  if (kit == s.index.end()) return;
  s.entries.erase(s.entries.begin() + static_cast<std::ptrdiff_t>(kit->second));
  s.reindex();
}

}  // namespace tolmar
