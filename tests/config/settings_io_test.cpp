#include "config/settings_io.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "config/macro_store.h"
#include "config/presets.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace tolmar {
namespace {

using test::ScriptedHost;
using test::TempDir;

class SettingsIo : public ::testing::Test {
 protected:
  ScriptedHost host;
  Context ctx{host};
  TempDir dir;

  // The text writeSettings produces for a record: a complete comparison of two records.
  static std::string written(const Settings& s) {
    IniFile ini;
    ini.setDecimalSeparator(".");
    writeSettings(ini, s);
    return ini.serialise();
  }
};

TEST_F(SettingsIo, NoFileGivesDefaultsAndAMaximisedCloseLeavesNoStartpos) {
  ctx.settings.fragment = 50;  // whatever was there before is replaced by the defaults
  IniFile ini(dir / "VESKOR.INI");
  ini.setDecimalSeparator(".");
  PresetStore presets;
  MacroTable macros;
  const StartupResult start = readConfigurationAtStartup(ctx, ini, presets, macros);
  EXPECT_FALSE(start.load.existed);
  EXPECT_FALSE(start.invalidNumbers);
  EXPECT_TRUE(start.window.maximised);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(written(ctx.settings), written(Settings{}));
  EXPECT_EQ(presets.click.items().size(), 9u);
  EXPECT_EQ(macros.listLines().size(), 0u);

  writeConfigurationAtClose(ini, ctx.settings, start.window);
  ASSERT_TRUE(ini.save());
  IniFile back(dir / "VESKOR.INI");
  back.setDecimalSeparator(".");
  back.load();
  EXPECT_FALSE(back.hasSection("Startpos"));
  EXPECT_FALSE(back.hasSection("Debug"));
  for (const char* s :
       {"Options", "Declick", "Filter", "Mixer", "Equalise", "Colours", "Noise", "Dialogpos"}) {
    EXPECT_TRUE(back.hasSection(s)) << s;
  }
  EXPECT_EQ(back.readString("Options", "pageoverlap", ""), "0");
  EXPECT_EQ(back.readString("Options", "silencelevel", ""), "36");
  EXPECT_EQ(back.readString("Colours", "noeditback", ""), "10526880");
  EXPECT_EQ(back.readString("Dialogpos", "chanmixy", ""), "-1");
  EXPECT_TRUE(readWindowPosition(back).maximised);
}

TEST_F(SettingsIo, EveryKindOfValueSurvivesAWriteAndRead) {
  Settings s;
  s.tmpdir = dir.path().string();
  s.splitcustomstring = "%n - %t = ; odd";
  s.redrawcursor = 1;
  s.fragment = -300;
  s.bigeditsinmemory = false;
  s.pageoverlap = 12.345678901234567;
  s.silencelevel = -0.1;
  s.ampfadestartsecs = 7;
  s.ampfadeendsecs = 9;
  s.recdevno = -1;
  s.playdevnm = "USB Audio: #1";
  s.declick.repairMethod = RepairMethod::Smooth;
  s.filter.freq[2] = 60.5;
  s.filter.type[1] = 3;
  s.mixer.rightinvert = true;
  s.equalise.dbgain[9] = -2.5;
  s.equalise.gain[9] = 0.74;
  s.colours.deletion = 0x00123456;
  s.spectralinvert = true;
  s.noiseRelamp = 123;
  s.crackleFactor = 1.0 / 3;
  s.dialogpos[9] = 400;
  ASSERT_NE(written(s), written(Settings{}));

  IniFile ini;
  ini.setDecimalSeparator(",");
  writeSettings(ini, s);
  writeDialogPositions(ini, s);
  EXPECT_EQ(ini.readString("Options", "pageoverlap", ""), "12,345678901234567");
  bool invalid = false;
  readSettings(ini, ctx, invalid);
  EXPECT_FALSE(invalid);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(written(ctx.settings), written(s));
  EXPECT_EQ(ctx.settings.dialogpos[9], 400);
  EXPECT_EQ(ctx.settings.crackleFactor, 1.0 / 3);

  // The same file under a decimal point: every float falls back and the flag goes up.
  ini.setDecimalSeparator(".");
  readSettings(ini, ctx, invalid);
  EXPECT_TRUE(invalid);
  EXPECT_EQ(ctx.settings.pageoverlap, 0.0);
  EXPECT_EQ(ctx.settings.crackleFactor, 3.0);
  EXPECT_EQ(ctx.settings.playdevnm, "USB Audio: #1");
}

TEST_F(SettingsIo, WriterFollowsTheReadersOrderAndSections) {
  IniFile ini;
  ini.parse(
      "[OPTIONS]\nstale=1\n[Declick]\npreset1=/5/30/30/2500/0/1/0/Mine\n"
      "[Colours]\nold=1\n[Debug]\nfull=1\ndcp=1\n[Dialogpos]\ndeclickx=5\n");
  writeSettings(ini, Settings{});
  const auto keys = ini.keyNames("options");
  ASSERT_GE(keys.size(), 3u);
  EXPECT_EQ(keys[0], "tmpdir");
  EXPECT_EQ(keys[1], "wavdir");
  EXPECT_EQ(keys.back(), "gocuesetstart");
  const auto at = [&](const std::string& k) {
    return std::find(keys.begin(), keys.end(), k) - keys.begin();
  };
  EXPECT_EQ(at("ampfadestartsecs"), at("ampequal") + 1);
  EXPECT_EQ(at("compressthresh"), at("ampfadeendsecs") + 1);
  EXPECT_EQ(at("stale"), static_cast<long>(keys.size())) << "[Options] was erased first";
  EXPECT_EQ(ini.sectionNames(),
            (std::vector<std::string>{"Declick", "Debug", "Dialogpos", "Options", "Filter", "Mixer",
                                      "Equalise", "Colours", "Noise"}));
  EXPECT_EQ(ini.readString("Declick", "preset1", ""), "/5/30/30/2500/0/1/0/Mine");
  EXPECT_FALSE(ini.hasKey("Colours", "old"));
  EXPECT_EQ(ini.keyNames("Debug").size(), 2u) << "[Debug] is never written";
  EXPECT_EQ(ini.readString("Dialogpos", "declickx", ""), "5");
  EXPECT_EQ(ini.keyNames("Equalise")[10], "dbgain0");
  EXPECT_EQ(ini.keyNames("Filter")[3], "freq1");

  bool invalid = false;
  readSettings(ini, ctx, invalid);
  EXPECT_TRUE(ctx.settings.debugFull);
  EXPECT_TRUE(ctx.settings.debugDcp);
  EXPECT_FALSE(ctx.settings.debugMixertrace);
  EXPECT_EQ(ctx.settings.dialogpos[0], 5);
}

TEST_F(SettingsIo, BadValuesAndDirectoriesAreReplacedAndReported) {
  IniFile ini;
  ini.setDecimalSeparator(".");
  ini.parse("[Options]\ntmpdir=" + (dir / "gone").string() + "\nwavdir=" + dir.path().string() +
            "\nfragment=70000\nbeforeplay=abc\nfadefactor=3,0\nsilencelevel=\n"
            "[Colours]\nmainback=-1\n");
  bool invalid = false;
  readSettings(ini, ctx, invalid);
  EXPECT_TRUE(invalid);
  EXPECT_EQ(ctx.settings.tmpdir, "");
  EXPECT_EQ(ctx.settings.wavdir, dir.path().string());
  EXPECT_EQ(ctx.settings.fragment, 16);
  EXPECT_EQ(ctx.settings.beforeplay, 5);
  EXPECT_EQ(ctx.settings.fadefactor, 30.0);
  EXPECT_EQ(ctx.settings.silencelevel, 36.0);
  EXPECT_EQ(ctx.settings.colours.mainback, 0xFFFFFFFFu);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].kind, MsgKind::Warning);
  EXPECT_EQ(host.messages[0].text, "Invalid Temporary Directory \"" + (dir / "gone").string() +
                                       "\" (use the Options menu item to correct it)");

  ini.parse("[Options]\nwavdir=/no/such/dir\n");
  readSettings(ini, ctx, invalid);
  EXPECT_EQ(host.messages.back().text,
            "Invalid WAV File Directory \"/no/such/dir\" (use the Options menu item to correct "
            "it)");
  EXPECT_EQ(ctx.settings.wavdir, "");

  showInvalidNumberFormatMessage(ctx);
  EXPECT_EQ(host.messages.back().text,
            "Initialisation File (VESKOR.INI) contained invalid floating point number formats. "
            "This may be due to a change in the defined number format (eg. switching between "
            "American and French representations). Default values have been substituted.");
}

TEST_F(SettingsIo, StartupWarnsOnceForBadFloatsAndBadPresets) {
  dir.write("VESKOR.INI",
            "[Options]\npageoverlap=1,5\n[Equalise]\npreset1=1,0/2,0/Mine\n"
            "[Startpos]\ntop=10\nleft=20\nheight=300\n");
  IniFile ini(dir / "VESKOR.INI");
  ini.setDecimalSeparator(".");
  PresetStore presets;
  MacroTable macros;
  const StartupResult start = readConfigurationAtStartup(ctx, ini, presets, macros);
  EXPECT_TRUE(start.invalidNumbers);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_NE(host.messages[0].text.find("invalid floating point"), std::string::npos);
  EXPECT_EQ(presets.eq.names(), (std::vector<std::string>{"Flat", "Add Sparkle", "Bass Boost"}));
  EXPECT_FALSE(start.window.maximised);
  EXPECT_EQ(start.window.top, 10);
  EXPECT_EQ(start.window.left, 20);
  EXPECT_EQ(start.window.height, 300);
  EXPECT_EQ(start.window.width, 0);
}

TEST_F(SettingsIo, TheModelShapeAndArInterpolationAreStoredValues) {
  IniFile ini;
  ini.parse("[Declick]\nclktype=5\nreptype=4\n");
  bool invalid = false;
  readSettings(ini, ctx, invalid);
  const DeclickParams& params = ctx.settings.declick;
  EXPECT_EQ(params.shape, ClickShape::Model);
  EXPECT_EQ(params.repairMethod, RepairMethod::ArInterpolate);
  ini.parse("[Declick]\nclktype=6\nreptype=5\n");
  readSettings(ini, ctx, invalid);
  const DeclickParams& unchanged = ctx.settings.declick;
  EXPECT_EQ(unchanged.shape, ClickShape::InstantRise);
  EXPECT_EQ(unchanged.repairMethod, RepairMethod::Bezier);
}

TEST_F(SettingsIo, StoredDeclickValuesAreHeldToTheDialogRanges) {
  IniFile ini;
  ini.parse("[Declick]\nclkwid=7\nrepwid=40000\nrelamp=1500\nclktype=9\nreptype=3\n");
  bool invalid = false;
  readSettings(ini, ctx, invalid);
  DeclickParams& params = ctx.settings.declick;
  EXPECT_EQ(params.clickWidth, 7);
  EXPECT_EQ(params.repairWidth, 120);
  EXPECT_EQ(params.relAmplitude, 1500);
  EXPECT_EQ(params.shape, ClickShape::InstantRise);
  EXPECT_EQ(params.repairMethod, RepairMethod::Smooth);

  params.shape = ClickShape::Blip;
  params.displayWidth = 99;
  writeSettings(ini, ctx.settings);
  EXPECT_EQ(ini.readString("Declick", "clktype", ""), "4");
  EXPECT_EQ(ini.readString("Declick", "dispwid", ""), "99");
  EXPECT_EQ(ini.readString("Declick", "repwid", ""), "120");
}

TEST_F(SettingsIo, ValuesNoDialogAllowsAreLimitedBeforeAnyEffectSeesThem) {
  IniFile ini;
  ini.setDecimalSeparator(".");
  ini.parse(
      "[Options]\ncompressfactor=0\ncompressthresh=40\namplifyfactorl=-400\n"
      "amplifyfactorr=nan\nampfadestartsecs=-5\nnormaliseto=6\nfadefactor=0\n"
      "[Declick]\nclkwid=30000\nrepwid=2\nrelamp=1\ndispwid=0\n"
      "[Noise]\nfactor=1e300\ncracklefactor=-1\nclkwidth=0\nrelamp=9999\n");
  bool invalid = false;
  readSettings(ini, ctx, invalid);
  const Settings& s = ctx.settings;
  EXPECT_EQ(s.compressfactor, 1.0);
  EXPECT_EQ(s.compressthresh, 12.0);
  EXPECT_EQ(s.amplifyfactorl, -50.0);
  EXPECT_EQ(s.amplifyfactorr, 0.0);
  EXPECT_EQ(s.ampfadestartsecs, 0);
  EXPECT_EQ(s.normaliseto, 0.0);
  EXPECT_EQ(s.fadefactor, 0.1);
  EXPECT_EQ(s.declick.clickWidth, 40);
  EXPECT_EQ(s.declick.repairWidth, 40);  // never below the click width
  EXPECT_EQ(s.declick.relAmplitude, 50);
  EXPECT_EQ(s.declick.displayWidth, 1);
  EXPECT_EQ(s.noiseFactor, 10.0);
  EXPECT_EQ(s.crackleFactor, 0.1);
  EXPECT_EQ(s.noiseClkwidth, 1);
  EXPECT_EQ(s.noiseRelamp, 2500);

  // Values inside the ranges pass unchanged.
  ini.parse("[Options]\ncompressfactor=2.5\ncompressthresh=3\n[Declick]\nclkwid=12\n");
  readSettings(ini, ctx, invalid);
  EXPECT_EQ(ctx.settings.compressfactor, 2.5);
  EXPECT_EQ(ctx.settings.compressthresh, 3.0);
  EXPECT_EQ(ctx.settings.declick.clickWidth, 12);

  // Reading the file again (as Options does) keeps what [Declick] does not store.
  ctx.settings.declick.processLeft = false;
  ctx.settings.declick.levelThreshold = 7;
  readSettings(ini, ctx, invalid);
  EXPECT_FALSE(ctx.settings.declick.processLeft);
  EXPECT_EQ(ctx.settings.declick.levelThreshold, 7);
}

TEST_F(SettingsIo, WindowAndDialogPositions) {
  IniFile ini;
  writeWindowPosition(ini, {false, -5, 7, 480, 640});
  EXPECT_EQ(ini.keyNames("Startpos"), (std::vector<std::string>{"top", "left", "height", "width"}));
  const WindowPosition pos = readWindowPosition(ini);
  EXPECT_FALSE(pos.maximised);
  EXPECT_EQ(pos.top, -5);
  EXPECT_EQ(pos.width, 640);
  writeWindowPosition(ini, WindowPosition{});
  EXPECT_FALSE(ini.hasSection("Startpos"));

  Settings s;
  s.dialogpos = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  ini.parse("[Dialogpos]\nextra=1\n");
  writeDialogPositions(ini, s);
  EXPECT_EQ(ini.keyNames("Dialogpos").front(), "declickx");
  EXPECT_EQ(ini.keyNames("Dialogpos").size(), 10u);
  EXPECT_EQ(ini.readInteger("Dialogpos", "filtery", 0), 8);
  Settings back;
  readDialogPositions(ini, back);
  EXPECT_EQ(back.dialogpos, s.dialogpos);
}

TEST_F(SettingsIo, EveryOtherDialogKeepsItsPairBesideThePreviewPositions) {
  IniFile ini;
  ini.parse(
      "[Dialogpos]\nGotoTimeX=40\ngototimey=-12\nmarkrgndlgx=7\n"  // a half pair
      "optionsx=abc\noptionsy=3\n"                                 // not a number
      "declickx=5\ndeclicky=6\n");                                 // the preview's own slot
  DialogPositions read = readOtherDialogPositions(ini);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read["gototime"].x, 40);
  EXPECT_EQ(read["gototime"].y, -12);

  read["frequencyanalysis"] = {300, 200};
  read["findclicksresult"] = {-1, -1};  // never moved: not written
  read["Bad Key"] = {1, 1};
  Settings s;
  s.dialogpos[0] = 9;
  writeDialogPositions(ini, s);
  writeOtherDialogPositions(ini, read);
  EXPECT_EQ(ini.keyNames("Dialogpos").size(), 14u);
  EXPECT_EQ(ini.readInteger("Dialogpos", "declickx", 0), 9) << "the preview slots stay first";
  EXPECT_EQ(ini.keyNames("Dialogpos").front(), "declickx");
  EXPECT_EQ(ini.readInteger("Dialogpos", "frequencyanalysisx", 0), 300);
  EXPECT_EQ(ini.readInteger("Dialogpos", "gototimey", 0), -12);
  EXPECT_FALSE(ini.hasKey("Dialogpos", "findclicksresultx"));
  const DialogPositions back = readOtherDialogPositions(ini);
  EXPECT_EQ(back.size(), 2u);
  EXPECT_EQ(back.at("frequencyanalysis").y, 200);
}

TEST_F(SettingsIo, LegacyFileIsRenamedAndOldMenuPathsRewritten) {
  dir.write("VESKOR.DAT",
            "[Shortcut]\nsc1=File | Play Left Channel~Ctrl+L\nsc2=File | Open WAV File...~\n"
            "sc3=Decrackling | Get Fingerprint~\nsc5=File | Play Right Channel~R\n"
            "[Macros]\nmacro1.1=File | Kill (Stop) Output\nmacro1.2=<Silent> File | Kill (Stop) "
            "Output\nmacro1.3=Decrackling | Decrackle (With Undo)\n"
            "macro1.5=File | Play Left Channel\nmacro48.1=File | Input (Record) New WAV File\n");
  IniFile ini(dir / "VESKOR.INI");
  PresetStore presets;
  MacroTable macros;
  readConfigurationAtStartup(ctx, ini, presets, macros);
  EXPECT_FALSE(fs::exists(dir / "VESKOR.DAT"));

  IniFile file(dir / "VESKOR.INI");
  ASSERT_TRUE(file.load().existed);
  EXPECT_EQ(file.readString("Shortcut", "sc1", ""), "Play/Record | Play Left Channel~Ctrl+L");
  EXPECT_EQ(file.readString("Shortcut", "sc2", ""), "File | Open WAV File...~");
  EXPECT_EQ(file.readString("Shortcut", "sc3", ""), "Noise Reduction | Get Fingerprint~");
  EXPECT_EQ(file.readString("Shortcut", "sc5", ""), "File | Play Right Channel~R")
      << "reading stops at the gap";
  EXPECT_EQ(file.readString("Macros", "macro1.1", ""), "Play/Record | Kill (Stop) Output");
  EXPECT_EQ(file.readString("Macros", "macro1.2", ""), "<Silent> File | Kill (Stop) Output");
  EXPECT_EQ(file.readString("Macros", "macro1.3", ""), "Noise Reduction | Decrackle (With Undo)");
  EXPECT_EQ(file.readString("Macros", "macro1.5", ""), "File | Play Left Channel");
  EXPECT_EQ(file.readString("Macros", "macro48.1", ""),
            "Play/Record | Input (Record) New WAV File");
  ASSERT_NE(macros.get(1), nullptr);
  EXPECT_EQ(macros.get(1)->steps.size(), 3u);
  EXPECT_EQ(legacyMenuPathRenames().size(), 12u);

  // With both files present nothing is renamed.
  dir.write("VESKOR.DAT", "[Old]\n");
  EXPECT_FALSE(migrateLegacyFileName(dir.path()));
  EXPECT_TRUE(fs::exists(dir / "VESKOR.DAT"));
}

TEST_F(SettingsIo, RecentFilesKeepNineNewestFirstWithoutDuplicates) {
  IniFile ini;
  for (int i = 1; i <= 9; ++i) addToRecentFiles(ini, "/f" + std::to_string(i));
  EXPECT_EQ(recentFiles(ini), (std::vector<std::string>{"/f9", "/f8", "/f7", "/f6", "/f5", "/f4",
                                                        "/f3", "/f2", "/f1"}));
  addToRecentFiles(ini, "/f10");
  EXPECT_EQ(recentFiles(ini), (std::vector<std::string>{"/f10", "/f9", "/f8", "/f7", "/f6", "/f5",
                                                        "/f4", "/f3", "/f2"}));
  addToRecentFiles(ini, "/f8");  // the third entry
  EXPECT_EQ(recentFiles(ini), (std::vector<std::string>{"/f8", "/f10", "/f9", "/f7", "/f6", "/f5",
                                                        "/f4", "/f3", "/f2"}));
  addToRecentFiles(ini, "/f8");
  EXPECT_EQ(recentFiles(ini).front(), "/f8");
  EXPECT_EQ(recentFiles(ini)[1], "/f10");
  addToRecentFiles(ini, "/f2");  // the ninth entry is not looked for: it drops off and returns
  EXPECT_EQ(recentFiles(ini).size(), 9u);
  EXPECT_EQ(recentFiles(ini).front(), "/f2");
  EXPECT_EQ(recentFiles(ini).back(), "/f3");
  EXPECT_FALSE(ini.hasKey("Files", "file10"));
}

TEST_F(SettingsIo, RecentMenuHidesMissingFilesAndNumbersWithoutGaps) {
  dir.write("a.wav", "x");
  dir.write("c.wav", "x");
  fs::create_directories(dir / "d.wav");
  IniFile ini;
  addToRecentFiles(ini, (dir / "c.wav").string());
  addToRecentFiles(ini, (dir / "d.wav").string());
  addToRecentFiles(ini, (dir / "b.wav").string());
  addToRecentFiles(ini, (dir / "a.wav").string());
  const auto menu = recentFileMenu(ini);
  ASSERT_EQ(menu.size(), 2u);
  EXPECT_EQ(menu[0].caption, "&1: " + (dir / "a.wav").string());
  EXPECT_EQ(menu[1].caption, "&2: " + (dir / "c.wav").string());
  EXPECT_EQ(menu[1].path, (dir / "c.wav").string());
  EXPECT_EQ(ini.readString("Files", "file2", ""), (dir / "b.wav").string());
  EXPECT_EQ(recentFiles(ini).size(), 4u);
}

}  // namespace
}  // namespace tolmar
