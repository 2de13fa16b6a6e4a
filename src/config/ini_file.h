#pragma once
// VESKOR.INI in memory: sections of key=value lines, names compared case-insensitively.
// The whole file is read at once (it is small), changed in memory, and saved atomically.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tolmar {

// Name of the configuration file.
inline constexpr const char* kIniFileName = "VESKOR.INI";
// Name of the file older versions kept the settings in.
inline constexpr const char* kLegacyIniFileName = "VESKOR.DAT";

// Where VESKOR.INI lives: $TOLMAR_CONFIG_DIR when set; else the executable's directory when
// it is writable; else $XDG_CONFIG_HOME/tolmar/ or ~/.config/tolmar/.
std::filesystem::path configDirectory();
std::filesystem::path configFilePath();

// Floats are stored with the locale's decimal separator (LC_NUMERIC), so a change of locale
// makes them unreadable on purpose. These take the separator explicitly; the INI reader and
// writer pass the locale's unless told otherwise.
std::string localeDecimalSeparator();
// Shortest text that reads back to the same value.
std::string formatFloat(double value, std::string_view separator);
// Fixed notation with the given number of decimals ("%.1f").
std::string formatFixed(double value, int decimals, std::string_view separator);
// The whole text (surrounding blanks allowed) must be one finite number written with the
// given separator; anything else gives nothing.
std::optional<double> parseFloat(std::string_view text, std::string_view separator);
// Optional sign and decimal digits, surrounding blanks allowed, within the 32-bit range.
std::optional<int32_t> parseInteger(std::string_view text);

class IniFile {
 public:
  // Larger files are cut here: no settings file is legitimately this big.
  static constexpr std::size_t kMaxBytes = 16u << 20;

  struct LoadResult {
    bool ok = true;          // false when the file exists but could not be read
    bool existed = false;    // false when there was no file (everything reads as default)
    bool truncated = false;  // the file was longer than kMaxBytes; the rest was ignored
    std::string error;       // what went wrong, for the user
  };

  IniFile() = default;
  explicit IniFile(std::filesystem::path path) : path_(std::move(path)) {}

  const std::filesystem::path& path() const { return path_; }
  void setPath(std::filesystem::path path) { path_ = std::move(path); }

  // Replaces the contents with the file at path(). A missing file leaves it empty.
  LoadResult load();
  // Replaces the contents with the given bytes (any bytes are accepted).
  void parse(std::string_view bytes);
  // Writes the contents to path() through a temporary file and a rename, so that a crash
  // leaves either the old file or the new one. Creates the directory when needed. Refuses
  // after a load that found the file but could not read it: the defaults in memory would
  // replace presets and macros the file still holds.
  bool save(std::string* error = nullptr) const;
  std::string serialise() const;

  // Tests override the locale's decimal separator; empty means the locale's.
  void setDecimalSeparator(std::string separator) { separator_ = std::move(separator); }
  std::string decimalSeparator() const;

  bool hasSection(std::string_view section) const;
  bool hasKey(std::string_view section, std::string_view key) const;
  // The raw value, or nothing when the key is missing.
  std::optional<std::string> value(std::string_view section, std::string_view key) const;
  std::vector<std::string> sectionNames() const;
  std::vector<std::string> keyNames(std::string_view section) const;

  // Readers: a missing key gives the default.
  std::string readString(std::string_view section, std::string_view key,
                         const std::string& def) const;
  // A missing, empty or non-numeric value gives the default.
  int readInteger(std::string_view section, std::string_view key, int def) const;
  bool readBool(std::string_view section, std::string_view key, bool def) const;
  // A missing or empty value gives the default. A value that is not a number in the current
  // decimal format gives the default and sets *invalid (when given).
  double readFloat(std::string_view section, std::string_view key, double def,
                   bool* invalid = nullptr) const;

  // Writers: an existing key keeps its place, a new one goes to the end of its section, a new
  // section to the end of the file. Line breaks in a value are replaced by blanks.
  void writeString(std::string_view section, std::string_view key, std::string_view value);
  void writeInteger(std::string_view section, std::string_view key, int64_t value);
  void writeBool(std::string_view section, std::string_view key, bool value);
  void writeFloat(std::string_view section, std::string_view key, double value);

  void eraseSection(std::string_view section);
  void deleteKey(std::string_view section, std::string_view key);

 private:
  struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;
    std::unordered_map<std::string, std::size_t> index;  // lower-case key -> entry
    void reindex();
  };

  LoadResult readFile();
  const Section* find(std::string_view section) const;
  Section& findOrAdd(std::string_view section);
  void reindex();

  std::filesystem::path path_;
  bool unreadable_ = false;
  std::string separator_;
  std::vector<Section> sections_;
  std::unordered_map<std::string, std::size_t> index_;  // lower-case name -> section
};

}  // namespace tolmar
