#include "document/file_names.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "editor/context.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace tolmar {
namespace {

class FileNames : public ::testing::Test {
 protected:
  std::string path(const std::string& name) const { return tmp_.file(name); }
  void touch(const std::string& name) const { tmp_.write(name, "x"); }
  test::TempDir tmp_;
  const fs::path& dir_ = tmp_.path();
};

TEST_F(FileNames, TempNameIsTheFirstFreeTqNameAndLeavesNothingBehind) {
  EXPECT_EQ(makeTempFileName(dir_.string(), "", ""), path("TQ000000"));
  EXPECT_FALSE(fs::exists(path("TQ000000")));

  touch("TQ000000");
  touch("TQ000001");
  fs::create_symlink(dir_ / "nowhere", dir_ / "TQ000002");  // dangling, still taken
  EXPECT_EQ(makeTempFileName(dir_.string() + "/", "", ""), path("TQ000003"));
  EXPECT_EQ(fs::directory_entry(path("TQ000001")).file_size(), 1u);
}

TEST_F(FileNames, TempDirectoryFallsBackFromGivenToSettingToDocumentToSystem) {
  fs::create_directory(dir_ / "given");
  fs::create_directory(dir_ / "setting");
  fs::create_directory(dir_ / "doc");
  const std::string doc = path("doc/song.wav");

  EXPECT_EQ(makeTempFileName(path("given"), path("setting"), doc), path("given/TQ000000"));
  EXPECT_EQ(makeTempFileName("", path("setting"), doc), path("setting/TQ000000"));
  EXPECT_EQ(makeTempFileName("", "", doc), path("doc/TQ000000"));

  const std::string system = makeTempFileName("", "", "");
  ASSERT_FALSE(system.empty());
  EXPECT_TRUE(fs::equivalent(fs::path(system).parent_path(), fs::temp_directory_path()));
  EXPECT_EQ(fs::path(system).filename().string().substr(0, 2), "TQ");

  test::ScriptedHost host;
  Context ctx(host);
  ctx.settings.tmpdir = path("setting");
  EXPECT_EQ(makeTempFileName(ctx, "", doc), path("setting/TQ000000"));
}

TEST_F(FileNames, TempNameIsEmptyWhenTheDirectoryIsMissingOrAFile) {
  EXPECT_EQ(makeTempFileName(path("missing"), "", ""), "");
  touch("plainfile");
  EXPECT_EQ(makeTempFileName(path("plainfile"), "", ""), "");
}

TEST_F(FileNames, TempNameIsEmptyInAReadOnlyDirectory) {
  fs::create_directory(dir_ / "locked");
  fs::permissions(dir_ / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  if (std::ofstream(dir_ / "locked" / "probe")) {
    GTEST_SKIP() << "permissions are not enforced for this user";
  }
  EXPECT_EQ(makeTempFileName(path("locked"), "", ""), "");
}

TEST_F(FileNames, NumberedNameGoesBeforeTheExtensionAndSkipsExistingOnes) {
  EXPECT_EQ(makeNumberedFileName(path("song.wav")), path("song1.wav"));
  touch("song1.wav");
  touch("song2.wav");
  EXPECT_EQ(makeNumberedFileName(path("song.wav")), path("song3.wav"));
  EXPECT_EQ(makeNumberedFileName(path("side.a.wav")), path("side.a1.wav"));

  touch("song1");
  EXPECT_EQ(makeNumberedFileName(path("song")), path("song2"));

  // A dot in a directory name is not an extension.
  fs::create_directory(dir_ / "take.2");
  EXPECT_EQ(makeNumberedFileName(path("take.2/song")), path("take.2/song1"));
}

}  // namespace
}  // namespace tolmar
