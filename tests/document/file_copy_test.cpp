#include "document/file_copy.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "editor/context.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

struct FileCopyTest : ::testing::Test {
  TempDir dir;
  ScriptedHost host;
  Context ctx{host};
  std::vector<uint8_t> content;
  std::string src = dir.file("source.wav");

  void SetUp() override {
    host.ctx = &ctx;
    std::mt19937 gen(7);
    content.resize(123457);  // not a multiple of the chunk
    for (auto& b : content) b = static_cast<uint8_t>(gen());
    writeFileBytes(src, content);
  }
};

TEST_F(FileCopyTest, CopyIsByteExactWithProgressToTheEnd) {
  const std::string dst = dir.file("copy.wav");
  ASSERT_TRUE(copyFileWithProgress(ctx, src, dst, " Writing:"));
  EXPECT_EQ(readFileBytes(dst), content);
  EXPECT_EQ(host.progressCaptions, std::vector<std::string>{" Writing:"});
  EXPECT_EQ(host.progressValues.back(), 100);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(FileCopyTest, CopyOntoItselfIsRefusedAndTheFileSurvives) {
  const std::string sameByOtherName = dir.file("sub/../source.wav");
  fs::create_directory(dir.file("sub"));
  EXPECT_FALSE(copyFileWithProgress(ctx, src, sameByOtherName, " Writing:"));
  fs::create_symlink(src, dir.file("link.wav"));
  EXPECT_FALSE(copyFileWithProgress(ctx, src, dir.file("link.wav"), " Writing:"));
  EXPECT_EQ(readFileBytes(src), content);
}

TEST_F(FileCopyTest, CancelledOrFailedCopyLeavesNoDestination) {
  const std::string dst = dir.file("copy.wav");
  host.cancelAtPump = 3;
  EXPECT_FALSE(copyFileWithProgress(ctx, src, dst, " Writing:"));
  EXPECT_FALSE(fs::exists(dst));
  EXPECT_TRUE(host.messages.empty());  // a cancel is not an error

  EXPECT_FALSE(copyFileWithProgress(ctx, src, dir.file("missing/dir/copy.wav"), " Writing:"));
  ASSERT_FALSE(host.messages.empty());
  EXPECT_EQ(host.messages.back().kind, MsgKind::Error);

  host.messages.clear();
  EXPECT_FALSE(copyFileWithProgress(ctx, dir.file("absent.wav"), dst, " Writing:"));
  EXPECT_EQ(host.messages.size(), 1u);
}

TEST_F(FileCopyTest, FreeSpaceTestAndItsText) {
  EXPECT_TRUE(enoughDiskSpace(dir.file("new.wav"), 1000));
  EXPECT_FALSE(enoughDiskSpace(dir.file("new.wav"), UINT64_MAX));
  EXPECT_FALSE(enoughDiskSpace(dir.file("no/such/dir/new.wav"), 1));  // the query fails
  EXPECT_EQ(volumeText(dir.file("new.wav")), dir.path().string());
}

TEST_F(FileCopyTest, MoveWithinAFilesystemRenamesAndReplaces) {
  const std::string dst = dir.file("moved.wav");
  writeFileBytes(dst, {1, 2, 3});
  EXPECT_FALSE(moveFileWithProgress(ctx, src, dst, " Moving:"));
  EXPECT_FALSE(fs::exists(src));
  EXPECT_EQ(readFileBytes(dst), content);
  EXPECT_TRUE(host.progressCaptions.empty());  // a rename needs no progress
  EXPECT_TRUE(moveFileWithProgress(ctx, dir.file("absent"), dst, " Moving:"));
}

TEST_F(FileCopyTest, MoveToAnotherFilesystemCopiesThenDeletes) {
  std::error_code ec;
  if (!fs::is_directory("/dev/shm", ec)) GTEST_SKIP() << "no second filesystem";
  TempDir other;  // under the system temporary directory
  const fs::path shmDir = fs::path("/dev/shm") / other.path().filename();
  if (!fs::create_directory(shmDir, ec)) GTEST_SKIP() << "cannot write /dev/shm";
  // A probe rename tells whether the two really are different filesystems here.
  writeFileBytes(dir.file("probe"), {0});
  fs::rename(dir.file("probe"), shmDir / "probe", ec);
  if (ec != std::errc::cross_device_link) {
    fs::remove_all(shmDir, ec);
    GTEST_SKIP() << "/dev/shm is on the same filesystem";
  }
  const std::string dst = (shmDir / "moved.wav").string();
  EXPECT_FALSE(moveFileWithProgress(ctx, src, dst, " Moving temp file:"));
  EXPECT_EQ(host.progressCaptions, std::vector<std::string>{" Moving temp file:"});
  EXPECT_EQ(readFileBytes(dst), content);
  EXPECT_FALSE(fs::exists(src));
  // Only the destination remains there: no scratch copy is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(shmDir), fs::directory_iterator()), 1);
  fs::remove_all(shmDir, ec);
}

}  // namespace
}  // namespace tolmar::test
