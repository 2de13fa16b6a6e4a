#include "document/file_names.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include <unistd.h>
#include <vector>

#include "document/binary_file.h"
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

// Claims a name and lets go of the file, which stays on disk.
std::string claim(const std::string& directory, const std::string& setting = "",
                  const std::string& doc = "") {
  BinaryFile f;
  const std::string name = claimTempFile(f, directory, setting, doc);
  EXPECT_EQ(f.isOpen(), !name.empty());
  return name;
}

TEST_F(FileNames, TempFileIsTheFirstFreeTqNameLeftOpenForTheCaller) {
  BinaryFile f;
  const std::string name = claimTempFile(f, dir_.string(), "", "");
  EXPECT_EQ(name, path("TQ000000"));
  ASSERT_TRUE(f.isOpen());
  ASSERT_TRUE(f.writeExact("abc", 3) && f.flush());
  EXPECT_EQ(tmp_.read("TQ000000"), "abc");

  // Held names, files and dangling links alike, are passed over and left untouched.
  touch("TQ000001");
  fs::create_symlink(dir_ / "nowhere", dir_ / "TQ000002");
  EXPECT_EQ(claim(dir_.string() + "/"), path("TQ000003"));
  EXPECT_EQ(tmp_.read("TQ000000"), "abc");
  EXPECT_EQ(fs::directory_entry(path("TQ000001")).file_size(), 1u);
}

TEST_F(FileNames, ClaimsRacingForOneDirectoryNeverShareAName) {
  constexpr int kThreads = 8;
  constexpr int kEach = 40;
  std::vector<std::vector<std::string>> names(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        BinaryFile f;
        names[t].push_back(claimTempFile(f, dir_.string(), "", ""));
      }
    });
  }
  for (auto& th : threads) th.join();
  std::set<std::string> distinct;
  for (const auto& list : names)
    for (const auto& n : list) {
      EXPECT_FALSE(n.empty());
      distinct.insert(n);
    }
  EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads * kEach));
}

TEST_F(FileNames, TempDirectoryFallsBackFromGivenToSettingToDocumentToSystem) {
  fs::create_directory(dir_ / "given");
  fs::create_directory(dir_ / "setting");
  fs::create_directory(dir_ / "doc");
  const std::string doc = path("doc/song.wav");

  EXPECT_EQ(claim(path("given"), path("setting"), doc), path("given/TQ000000"));
  EXPECT_EQ(claim("", path("setting"), doc), path("setting/TQ000000"));
  EXPECT_EQ(claim("", "", doc), path("doc/TQ000000"));

  const std::string system = claim("", "", "");
  ASSERT_FALSE(system.empty());
  EXPECT_TRUE(fs::equivalent(fs::path(system).parent_path(), fs::temp_directory_path()));
  EXPECT_EQ(fs::path(system).filename().string().substr(0, 2), "TQ");
  fs::remove(system);

  test::ScriptedHost host;
  Context ctx(host);
  ctx.settings.tmpdir = path("setting");
  BinaryFile f;
  EXPECT_EQ(claimTempFile(f, ctx, "", doc), path("setting/TQ000001"));
}

TEST_F(FileNames, TempFileIsEmptyWhenTheDirectoryIsMissingAFileOrReadOnly) {
  EXPECT_EQ(claim(path("missing")), "");
  touch("plainfile");
  EXPECT_EQ(claim(path("plainfile")), "");

  fs::create_directory(dir_ / "locked");
  fs::permissions(dir_ / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  if (std::ofstream(dir_ / "locked" / "probe")) {
    GTEST_SKIP() << "permissions are not enforced for this user";
  }
  EXPECT_EQ(claim(path("locked")), "");
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

namespace tolmar {
namespace {

// A file dialog must still open after the folder the process works in was deleted.
TEST(WorkingDirectory, IsEmptyOnceTheFolderIsGoneAndNeverThrows) {
  namespace fs = std::filesystem;
  const fs::path start = fs::current_path();
  const fs::path gone = fs::temp_directory_path() / ("tolmar-cwd-" + std::to_string(::getpid()));
  fs::create_directories(gone);
  fs::current_path(gone);
  EXPECT_EQ(fs::canonical(workingDirectory()), fs::canonical(gone));
  fs::remove(gone);
  EXPECT_EQ(workingDirectory(), "");
  fs::current_path(start);
  EXPECT_EQ(workingDirectory(), start.string());
}

}  // namespace
}  // namespace tolmar
