#include "config/ini_file.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <random>

#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace tolmar {
namespace {

using test::TempDir;

TEST(IniParse, ToleratesMalformedAndUnusualInput) {
  IniFile ini;
  std::string bytes =
      "\xEF\xBB\xBF"
      "orphan=before any section\r\n"
      "[Options]\r\n"
      "Path=C:\\a=b;c\r\n"
      "  spaced  =  value with  inner  blanks  \n"
      "; a comment=1\n"
      "no equals sign here\n"
      "=no key\n"
      "dup=first\n"
      "DUP=second\n"
      "bytes=\xFF\xFE\x80 ok\n"
      "\n"
      "[options]\n"
      "later=merged\n"
      "dup=third\n"
      "[Unclosed\n"
      "k=v\r"
      "[Nul]\n";
  bytes += std::string("z=a\0b", 5);
  bytes += "\nlong=" + std::string(1 << 20, 'x') + "\n";
  ini.parse(bytes);

  EXPECT_FALSE(ini.hasKey("Options", "orphan"));
  EXPECT_EQ(ini.readString("OPTIONS", "path", ""), "C:\\a=b;c");
  EXPECT_EQ(ini.readString("Options", "spaced", ""), "value with  inner  blanks");
  EXPECT_FALSE(ini.hasKey("Options", "; a comment"));
  EXPECT_EQ(ini.readString("Options", "dup", ""), "first");
  EXPECT_EQ(ini.readString("Options", "bytes", ""), "\xFF\xFE\x80 ok");
  EXPECT_EQ(ini.readString("Options", "later", ""), "merged");
  EXPECT_EQ(ini.readString("Unclosed", "k", ""), "v");
  EXPECT_EQ(ini.readString("Nul", "z", ""), std::string("a\0b", 3));
  EXPECT_EQ(ini.readString("Nul", "long", "").size(), std::size_t{1} << 20);
  EXPECT_EQ(ini.sectionNames(), (std::vector<std::string>{"Options", "Unclosed", "Nul"}));
}

TEST(IniParse, TypedReadersFallBackToTheDefault) {
  IniFile ini;
  ini.parse(
      "[S]\nint=-42\nbad=12abc\nbig=99999999999\nempty=\nb2=2\nb0=0\nbx=yes\nplus=+7\n"
      "f=2.5\nfe=\nfx=2,5\nfinf=inf\nfnan=nan\nfhex=0x10\n");
  EXPECT_EQ(ini.readInteger("S", "int", 0), -42);
  EXPECT_EQ(ini.readInteger("S", "plus", 0), 7);
  EXPECT_EQ(ini.readInteger("S", "bad", 5), 5);
  EXPECT_EQ(ini.readInteger("S", "big", 5), 5);
  EXPECT_EQ(ini.readInteger("S", "empty", 5), 5);
  EXPECT_EQ(ini.readInteger("S", "missing", 5), 5);
  EXPECT_EQ(ini.readInteger("Missing", "int", 6), 6);
  EXPECT_TRUE(ini.readBool("S", "b2", false));
  EXPECT_FALSE(ini.readBool("S", "b0", true));
  EXPECT_TRUE(ini.readBool("S", "bx", true));
  EXPECT_EQ(ini.readString("S", "missing", "dflt"), "dflt");
  EXPECT_EQ(ini.readString("S", "empty", "dflt"), "");

  ini.setDecimalSeparator(".");
  bool invalid = false;
  EXPECT_EQ(ini.readFloat("S", "f", 0, &invalid), 2.5);
  EXPECT_EQ(ini.readFloat("S", "fe", 1.5, &invalid), 1.5);
  EXPECT_EQ(ini.readFloat("S", "missing", 1.5, &invalid), 1.5);
  EXPECT_FALSE(invalid) << "missing and empty values are not format errors";
  for (const char* key : {"fx", "finf", "fnan", "fhex"}) {
    invalid = false;
    EXPECT_EQ(ini.readFloat("S", key, 1.5, &invalid), 1.5) << key;
    EXPECT_TRUE(invalid) << key;
  }
}

TEST(IniWrite, KeepsOrderReplacesInPlaceAndErases) {
  IniFile ini;
  ini.parse("[A]\nx=1\n[B]\nk=old\n");
  ini.writeString("b", "third", "3");
  ini.writeString("B", "K", "new");
  ini.writeInteger("B", "first", -7);
  ini.writeBool("B", "yes", true);
  ini.writeBool("B", "no", false);
  ini.writeString("C", "line", "one\r\n[Options]\ntmpdir=/evil");
  EXPECT_EQ(ini.keyNames("B"), (std::vector<std::string>{"k", "third", "first", "yes", "no"}));
  EXPECT_EQ(ini.readString("B", "k", ""), "new");

  ini.eraseSection("a");
  ini.deleteKey("B", "THIRD");
  const std::string text = ini.serialise();
  EXPECT_EQ(text, "[B]\nk=new\nfirst=-7\nyes=1\nno=0\n\n[C]\nline=one  [Options] tmpdir=/evil\n");

  IniFile back;
  back.parse(text);
  EXPECT_EQ(back.serialise(), text);
  EXPECT_FALSE(back.hasSection("Options")) << "a value cannot smuggle in a section";
}

TEST(IniFloat, ShortestTextReadsBackExactly) {
  std::mt19937_64 gen(7);
  std::uniform_real_distribution<double> dist(-1e6, 1e6);
  for (int i = 0; i < 2000; ++i) {
    const double v = i < 1000 ? dist(gen) : std::ldexp(dist(gen), i % 600 - 300);
    for (const char* sep : {".", ","}) {
      const std::string text = formatFloat(v, sep);
      const auto back = parseFloat(text, sep);
      ASSERT_TRUE(back) << text;
      EXPECT_EQ(*back, v) << text;
    }
  }
  EXPECT_EQ(formatFloat(36.0, "."), "36");
  EXPECT_EQ(formatFloat(3.5, ","), "3,5");
  EXPECT_EQ(formatFixed(-0.25, 1, ","), "-0,2");
  EXPECT_EQ(formatFixed(1000, 2, "."), "1000.00");
}

TEST(IniFloat, ParsingHonoursOnlyTheGivenSeparator) {
  EXPECT_EQ(parseFloat(" 3,5 ", ","), 3.5);
  EXPECT_EQ(parseFloat("-1,25e2", ","), -125.0);
  EXPECT_EQ(parseFloat("+,5", ","), 0.5);
  EXPECT_EQ(parseFloat("7", ","), 7.0);
  EXPECT_FALSE(parseFloat("3.5", ","));
  EXPECT_FALSE(parseFloat("3,5", "."));
  EXPECT_FALSE(parseFloat("1,000.5", "."));
  for (const char* bad : {"", ",", "-", "1e", "1e+", "e5", "1 2", "1e999", "--1", "0x1p3"}) {
    EXPECT_FALSE(parseFloat(bad, ",")) << bad;
  }
  EXPECT_EQ(parseFloat("2\xD9\xAB"
                       "5",
                       "\xD9\xAB"),
            2.5)
      << "multi-byte separators work too";
}

// A locale with a decimal comma, when the machine has one.
const char* commaLocale() {
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE",
                           "fr_FR", "nl_NL.UTF-8", "ru_RU.UTF-8"}) {
    if (std::setlocale(LC_NUMERIC, name)) return name;
  }
  return nullptr;
}

TEST(IniFloat, CommaLocaleRoundTrip) {
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  const char* name = commaLocale();
  if (!name) {
    std::setlocale(LC_NUMERIC, saved.c_str());
    GTEST_SKIP() << "no decimal-comma locale installed; the separator tests cover the parsing";
  }
  IniFile ini;
  ini.writeFloat("S", "f", 3.5);
  EXPECT_EQ(ini.readString("S", "f", ""), "3,5");
  bool invalid = false;
  EXPECT_EQ(ini.readFloat("S", "f", 0, &invalid), 3.5);
  EXPECT_FALSE(invalid);
  std::setlocale(LC_NUMERIC, "C");
  EXPECT_EQ(ini.readFloat("S", "f", 9, &invalid), 9);
  EXPECT_TRUE(invalid);
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(IniFloat, InjectedSeparatorRoundTrip) {
  IniFile ini;
  ini.setDecimalSeparator(",");
  ini.writeFloat("S", "f", 3.5);
  EXPECT_EQ(ini.readString("S", "f", ""), "3,5");
  bool invalid = false;
  EXPECT_EQ(ini.readFloat("S", "f", 0, &invalid), 3.5);
  EXPECT_FALSE(invalid);
  ini.setDecimalSeparator(".");
  EXPECT_EQ(ini.readFloat("S", "f", 9, &invalid), 9);
  EXPECT_TRUE(invalid);
}

TEST(IniFileOnDisk, SaveLoadRoundTripLeavesNoTemporaryFiles) {
  TempDir dir;
  IniFile ini(dir / "sub" / "VESKOR.INI");
  ini.writeString("Files", "file1", "/music/side a.wav");
  ini.writeInteger("Options", "fragment", 16);
  std::string error;
  ASSERT_TRUE(ini.save(&error)) << error;

  IniFile back(dir / "sub" / "VESKOR.INI");
  const auto result = back.load();
  EXPECT_TRUE(result.ok);
  EXPECT_TRUE(result.existed);
  EXPECT_FALSE(result.truncated);
  EXPECT_EQ(back.serialise(), ini.serialise());
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir / "sub")) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1);
}

TEST(IniFileOnDisk, MissingFileIsEmptyAndAFailedSaveKeepsTheOldFile) {
  TempDir dir;
  IniFile missing(dir / "VESKOR.INI");
  missing.parse("[Stale]\nk=v\n");
  const auto result = missing.load();
  EXPECT_TRUE(result.ok);
  EXPECT_FALSE(result.existed);
  EXPECT_TRUE(missing.sectionNames().empty());

  // A directory in the file's place cannot be replaced: the save fails and says so.
  fs::create_directories(dir / "blocked" / "VESKOR.INI" / "inner");
  IniFile blocked(dir / "blocked" / "VESKOR.INI");
  blocked.writeString("A", "k", "v");
  std::string error;
  EXPECT_FALSE(blocked.save(&error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(fs::is_directory(dir / "blocked" / "VESKOR.INI" / "inner"));
  int entries = 0;
  for (const auto& entry : fs::directory_iterator(dir / "blocked")) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 1) << "the temporary file is removed";
  const auto loadDir = blocked.load();
  EXPECT_FALSE(loadDir.ok);
}

// A settings file that exists but cannot be read still holds the user's presets and macros:
// the defaults in memory must not replace it at close.
TEST(IniFileOnDisk, AFileThatCouldNotBeReadIsNeverReplaced) {
  TempDir dir;
  // Opens for anyone, root included, and fails on the first read.
  fs::create_symlink("/proc/self/mem", dir / "VESKOR.INI");
  IniFile ini(dir / "VESKOR.INI");
  ASSERT_FALSE(ini.load().ok);
  ini.writeString("A", "k", "v");
  std::string error;
  EXPECT_FALSE(ini.save(&error));
  EXPECT_NE(error.find("could not be read"), std::string::npos);
  EXPECT_TRUE(fs::is_symlink(dir / "VESKOR.INI"));

  // Once it reads again, saving works again.
  fs::remove(dir / "VESKOR.INI");
  dir.write("VESKOR.INI", "[B]\nk=w\n");
  ASSERT_TRUE(ini.load().ok);
  EXPECT_TRUE(ini.save(&error));
}

TEST(IniFileOnDisk, OversizedFileIsCutAtTheLastWholeLine) {
  TempDir dir;
  std::string bytes = "[A]\nfirst=1\n";
  const std::string line = "k" + std::string(1000, 'x') + "=v\n";
  while (bytes.size() < IniFile::kMaxBytes + 5000) bytes += line;
  bytes += "last=1\n";
  dir.write("big.ini", bytes);
  IniFile ini(dir / "big.ini");
  const auto result = ini.load();
  EXPECT_TRUE(result.ok);
  EXPECT_TRUE(result.truncated);
  EXPECT_NE(result.error.find("larger than 16 MiB"), std::string::npos);
  EXPECT_EQ(ini.readString("A", "first", ""), "1");
  EXPECT_FALSE(ini.hasKey("A", "last"));
}

TEST(ConfigLocation, EnvironmentOverrideWinsOverTheProgramDirectory) {
  const char* old = std::getenv("TOLMAR_CONFIG_DIR");
  const std::string saved = old ? old : "";
  TempDir dir;
  setenv("TOLMAR_CONFIG_DIR", dir.path().c_str(), 1);
  EXPECT_EQ(configFilePath(), dir.path() / "VESKOR.INI");
  // A relative override names the directory it meant when it was read, wherever the current
  // directory goes afterwards.
  setenv("TOLMAR_CONFIG_DIR", "settings", 1);
  EXPECT_EQ(configFilePath(), fs::current_path() / "settings" / "VESKOR.INI");

  // Without the override the test binary's own (writable) directory is used.
  unsetenv("TOLMAR_CONFIG_DIR");
  const fs::path exeDir = fs::read_symlink("/proc/self/exe").parent_path();
  EXPECT_EQ(configFilePath(), exeDir / "VESKOR.INI");
  for (const auto& entry : fs::directory_iterator(exeDir)) {
    EXPECT_EQ(entry.path().filename().string().find(".tolmar-write-test"), std::string::npos)
        << "the writability probe is removed";
  }
  if (old) setenv("TOLMAR_CONFIG_DIR", saved.c_str(), 1);
}

}  // namespace
}  // namespace tolmar
