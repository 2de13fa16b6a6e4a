#include "document/replacing_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace tolmar {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

size_t entries(const fs::path& dir) {
  size_t n = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
  return n;
}

void writeWith(const std::string& path, const std::string& text, bool commit) {
  ReplacingFile out(path);
  out.openOrThrow();
  ASSERT_TRUE(out.file().writeExact(text.data(), text.size()));
  if (commit) {
    ASSERT_TRUE(out.commit());
  }
}

TEST(ReplacingFile, TheOldFileStaysWholeUntilTheNewOneIsCommitted) {
  TempDir dir;
  dir.write("a.clk", "old contents");
  fs::permissions(dir / "a.clk",
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  writeWith(dir.file("a.clk"), "new", false);  // a write that fails part-way never commits
  EXPECT_EQ(dir.read("a.clk"), "old contents");
  EXPECT_EQ(entries(dir.path()), 1u);  // and leaves no scratch file behind

  writeWith(dir.file("a.clk"), "new", true);
  EXPECT_EQ(dir.read("a.clk"), "new");
  EXPECT_EQ(entries(dir.path()), 1u);
  EXPECT_EQ(fs::status(dir / "a.clk").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  writeWith(dir.file("b.clk"), "fresh", true);
  EXPECT_EQ(dir.read("b.clk"), "fresh");
}

TEST(ReplacingFile, ALinkIsWrittenThroughNotReplaced) {
  TempDir dir;
  dir.write("real.mkr", "old");
  fs::create_symlink(dir / "real.mkr", dir / "link.mkr");
  writeWith(dir.file("link.mkr"), "new", true);
  EXPECT_TRUE(fs::is_symlink(dir / "link.mkr"));
  EXPECT_EQ(dir.read("real.mkr"), "new");
}

TEST(ReplacingFile, NothingToOpenThrows) {
  TempDir dir;
  ReplacingFile out(dir.file("missing/x.fpr"));
  EXPECT_THROW(out.openOrThrow(), FileError);
}

}  // namespace
}  // namespace tolmar
