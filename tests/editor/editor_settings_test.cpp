#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "editor/editor.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"

namespace tolmar::test {
namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

struct SettingsFileTest : ::testing::Test {
  TempDir dir;
  std::string ini = dir.file("VESKOR.INI");
  void SetUp() override { setenv("TOLMAR_CONFIG_DIR", dir.path().c_str(), 1); }
  void TearDown() override { unsetenv("TOLMAR_CONFIG_DIR"); }
};

TEST_F(SettingsFileTest, FreshStartGivesDefaultsAndAMaximisedCloseWritesACompleteFile) {
  ScriptedHost host;
  Editor editor(host);
  const StartupResult start = editor.readSettingsAtStartup();
  EXPECT_TRUE(start.window.maximised);
  EXPECT_EQ(editor.ctx.settings.fragment, 16);
  EXPECT_EQ(editor.params.clickWidth, 5);
  ASSERT_TRUE(editor.FormClose());  // no document, default (maximised) window
  const std::string text = slurp(ini);
  EXPECT_NE(text.find("[Options]"), std::string::npos);
  EXPECT_NE(text.find("bigeditthresh=60"), std::string::npos);
  EXPECT_NE(text.find("[Colours]"), std::string::npos);
  EXPECT_NE(text.find("[Noise]"), std::string::npos);
  EXPECT_EQ(text.find("[Startpos]"), std::string::npos);
  EXPECT_EQ(text.find("[Debug]"), std::string::npos);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(SettingsFileTest, ValuesWrittenAtCloseAreReadAtTheNextStartAndOtherSectionsSurvive) {
  {
    std::ofstream(ini) << "[Macros]\nmacro3.nm=Side\nmacro3.1=Edit | Undo\n[Files]\nfile1=/x.wav\n";
    ScriptedHost host;
    Editor editor(host);
    editor.readSettingsAtStartup();
    editor.ctx.settings.fragment = 33;
    editor.params.clickWidth = 9;
    WindowPosition pos;
    pos.maximised = false;
    pos.top = 10;
    pos.left = 20;
    pos.height = 300;
    pos.width = 400;
    ASSERT_TRUE(editor.FormClose(pos));
  }
  ScriptedHost host;
  Editor editor(host);
  const StartupResult start = editor.readSettingsAtStartup();
  EXPECT_FALSE(start.window.maximised);
  EXPECT_EQ(start.window.width, 400);
  EXPECT_EQ(editor.ctx.settings.fragment, 33);
  EXPECT_EQ(editor.params.clickWidth, 9);
  const std::string text = slurp(ini);
  EXPECT_NE(text.find("macro3.1=Edit | Undo"), std::string::npos);
  EXPECT_NE(text.find("file1=/x.wav"), std::string::npos);
}

TEST_F(SettingsFileTest, CloseWithoutAStartUpReadKeepsWhatTheFileHeld) {
  std::ofstream(ini) << "[Files]\nfile1=/kept.wav\n";
  ScriptedHost host;
  Editor editor(host);
  ASSERT_TRUE(editor.FormClose());
  EXPECT_NE(slurp(ini).find("file1=/kept.wav"), std::string::npos);
}

}  // namespace
}  // namespace tolmar::test
