// Scratch files of ours: how they are named and marked, what a later open clears away, and the
// lock a document holds on its file.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "document/file_names.h"
#include "document/range_writer.h"
#include "document/save_journal.h"
#include "support/doc_fixture.h"
#include "support/kill_child.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

void writeText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string marked(const std::string& rest) {
  return std::string(kScratchMark.begin(), kScratchMark.end()) + rest;
}

TEST(ScratchFiles, OurNamesAreToldFromLookalikes) {
  const std::string ours = scratchNameFor("/music/side a.wav");
  ASSERT_TRUE(ours.starts_with("/music/side a.wav.tmp-"));
  const std::string name = fs::path(ours).filename().string();
  EXPECT_TRUE(isScratchName(name));
  EXPECT_TRUE(isScratchJournalName(name + ".tqj"));
  EXPECT_NE(scratchNameFor("/music/side a.wav"), ours);

  // One digit changed, the name of another target, the settings file's twelve digits, upper
  // case, or nothing in front: none of them is ours.
  std::string changed = name;
  changed.back() = changed.back() == '0' ? '1' : '0';
  EXPECT_FALSE(isScratchName(changed));
  EXPECT_FALSE(isScratchName("side b.wav" + name.substr(name.find(".tmp-"))));
  EXPECT_FALSE(isScratchName("VESKOR.INI.tmp-0123456789ab"));
  std::string upper = name;
  for (size_t k = upper.find(".tmp-") + 5; k < upper.size(); ++k)
    if (upper[k] >= 'a' && upper[k] <= 'f') upper[k] = static_cast<char>(upper[k] - 'a' + 'A');
  if (upper != name) {
    EXPECT_FALSE(isScratchName(upper));
  }
  EXPECT_FALSE(isScratchName(name.substr(name.find(".tmp-"))));
  EXPECT_FALSE(isScratchJournalName(name));
}

TEST(ScratchFiles, OnlyScratchFilesOfOursThatNobodyHoldsAreRemoved) {
  TempDir dir;
  TempDir tmp;
  const fs::path wav = dir / "side.wav";
  writeText(wav, "RIFF");

  const fs::path staleScratch = scratchNameFor(wav.string());
  writeText(staleScratch, "RIFF half a track");
  const fs::path staleJournal = scratchNameFor((dir / "new.wav").string()) + ".tqj";
  writeText(staleJournal, "TQJRNL1\n");
  const fs::path heldScratch = scratchNameFor((dir / "track 01.wav").string());
  BinaryFile held;
  ASSERT_TRUE(createScratch(held, heldScratch.string()));
  const fs::path staleTemp = dir / "TQ000000";
  writeText(staleTemp, marked("samples"));
  const fs::path heldTemp = dir / "TQ000001";
  BinaryFile heldTempFile;
  ASSERT_TRUE(createScratch(heldTempFile, heldTemp.string()));
  ASSERT_TRUE(heldTempFile.writeExact(kScratchMark.data(), kScratchMark.size()));
  ASSERT_TRUE(heldTempFile.flush());

  // What a user may have: a rebuilt file that could not take its name, a file of ours in name
  // only, links, and files in the temporary directory that are not beside the WAV.
  const fs::path rebuilt = dir / "TQ000002";
  writeText(rebuilt, "RIFF the whole side");
  const fs::path lookalike = dir / "side.wav.tmp-0123456789abcdef";
  writeText(lookalike, "notes");
  const fs::path target = dir / "elsewhere";
  writeText(target, marked("keep"));
  fs::create_symlink(target, dir / "TQ000003");
  const fs::path tempElsewhere = tmp / "TQ000000";
  writeText(tempElsewhere, marked("store"));
  const fs::path scratchElsewhere = scratchNameFor((tmp / "side.wav").string());
  writeText(scratchElsewhere, "x");

  EXPECT_EQ(removeStaleScratchFiles(wav.string(), tmp.path().string()), 4);
  EXPECT_FALSE(fs::exists(staleScratch));
  EXPECT_FALSE(fs::exists(staleJournal));
  EXPECT_FALSE(fs::exists(staleTemp));
  EXPECT_FALSE(fs::exists(tempElsewhere));
  for (const fs::path& kept :
       {heldScratch, heldTemp, rebuilt, lookalike, target, scratchElsewhere, wav})
    EXPECT_TRUE(fs::exists(kept)) << kept;
  EXPECT_TRUE(fs::is_symlink(dir / "TQ000003"));
  EXPECT_EQ(readText(target), marked("keep"));

  // Once let go, the held ones are leftovers like any other.
  held.close();
  heldTempFile.close();
  EXPECT_EQ(removeStaleScratchFiles(wav.string(), ""), 2);
  EXPECT_FALSE(fs::exists(heldScratch));
  EXPECT_FALSE(fs::exists(heldTemp));
}

// A completed file gets its own first bytes back; until then it reads as ours.
TEST(ScratchFiles, AHiddenHeadIsMarkedUntilRestored) {
  TempDir dir;
  const std::string name = dir.file("TQ000000");
  BinaryFile f;
  ASSERT_TRUE(createScratch(f, name));
  ASSERT_TRUE(f.writeExact("RIFF1234WAVE", 12));
  std::array<uint8_t, 8> head{};
  ASSERT_TRUE(hideHead(f, head));
  EXPECT_EQ(f.tell(), 12);
  ASSERT_TRUE(f.writeExact("data", 4));
  ASSERT_TRUE(f.flush());
  EXPECT_EQ(readText(name), marked("WAVEdata"));
  ASSERT_TRUE(restoreHead(f, head));
  ASSERT_TRUE(f.flush());
  EXPECT_EQ(readText(name), "RIFF1234WAVEdata");
}

// ---- The document's lock on its file ----

struct LockedOpen {
  ScriptedHost host;
  Context ctx{host};
  WaveFile doc{ctx};
  bool opened = false;
  explicit LockedOpen(const std::string& path, bool peaks = false) {
    host.ctx = &ctx;
    ctx.settings.newstylewaveform = peaks;
    doc.lockForWriting = true;
    opened = doc.Open(path, false, 0);
    if (opened && peaks) doc.BuildPeakSummary();
  }
};

TEST(FileLock, ASecondOpenForWritingFindsTheFileHeldUntilTheFirstCloses) {
  TempDir dir;
  const std::string wav = dir.file("side.wav");
  WavBuilder().staircase(3000).write(wav);
  auto first = std::make_unique<LockedOpen>(wav, true);
  ASSERT_TRUE(first->opened);
  EXPECT_FALSE(first->doc.lockedElsewhere());
  EXPECT_TRUE(heldElsewhere(wav));
  fs::remove(first->doc.peakCachePath());

  {
    // It still opens and reads, but writes nothing beside the file: the peak cache is the
    // first document's.
    LockedOpen second(wav, true);
    ASSERT_TRUE(second.opened);
    EXPECT_TRUE(second.doc.lockedElsewhere());
    EXPECT_EQ(second.doc.frameCount, 3000);
  }
  EXPECT_FALSE(fs::exists(first->doc.peakCachePath()));

  // Opened without the intention to write, nothing is held or refused.
  {
    ScriptedHost host;
    Context ctx{host};
    host.ctx = &ctx;
    WaveFile look(ctx);
    ASSERT_TRUE(look.Open(wav, false, 0));
    EXPECT_FALSE(look.lockedElsewhere());
  }

  first.reset();
  EXPECT_FALSE(heldElsewhere(wav));
  LockedOpen third(wav);
  ASSERT_TRUE(third.opened);
  EXPECT_FALSE(third.doc.lockedElsewhere());
}

// The journal beside a held file belongs to the process holding it, which may be saving.
TEST(FileLock, AHeldFileIsNotReplayedNorClearedByAnotherOpen) {
  TempDir dir;
  const std::string wav = dir.file("side.wav");
  WavBuilder().staircase(3000).write(wav);
  LockedOpen holder(wav);
  ASSERT_TRUE(holder.opened);
  const std::string journal = journalPathFor(wav);
  writeText(journal, "TQJRNL1\n");
  const std::string scratch = scratchNameFor(dir.file("track 01.wav"));
  writeText(scratch, "half");

  LockedOpen other(wav);
  ASSERT_TRUE(other.opened);
  EXPECT_TRUE(other.doc.lockedElsewhere());
  EXPECT_TRUE(other.host.messages.empty());
  EXPECT_TRUE(fs::exists(journal));
  EXPECT_TRUE(fs::exists(scratch));
}

// The lock is another process's for real, and goes when that process dies, however it dies.
TEST(FileLock, AnotherProcessHoldsTheFileUntilItDies) {
  TempDir dir;
  const std::string wav = dir.file("side.wav");
  WavBuilder().staircase(3000).write(wav);
  int ready[2];
  int release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    LockedOpen holder(wav);
    const char c = holder.opened && !holder.doc.lockedElsewhere() ? 'y' : 'n';
    if (::write(ready[1], &c, 1) != 1) ::_exit(2);
    char x;
    if (::read(release[0], &x, 1) < 0) ::_exit(2);
    ::_exit(0);  // no destructors: as a kill would leave it
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  EXPECT_EQ(c, 'y');
  {
    LockedOpen second(wav);
    ASSERT_TRUE(second.opened);
    EXPECT_TRUE(second.doc.lockedElsewhere());
  }
  ASSERT_EQ(::write(release[1], "x", 1), 1);
  int status = 0;
  ::waitpid(pid, &status, 0);
  for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
  LockedOpen after(wav);
  ASSERT_TRUE(after.opened);
  EXPECT_FALSE(after.doc.lockedElsewhere());
}

// A run killed while its big-edit store was in use leaves the store behind; the next open of
// the file clears it away, and only it.
TEST(ScratchFiles, ABigEditStoreLeftByAKilledRunGoesAtTheNextOpen) {
  DocFixture fx;
  fx.open(WavBuilder().staircase(200000));
  const fs::path userFile = fx.dir / "TQ000005";
  writeText(userFile, "RIFF a file of the user's");
  std::string storePath;
  const std::string countFile = fx.dir.file("count");
  const std::string nameFile = fx.dir.file("store-name");
  const int result = inChild(0, countFile, [&] {
    fx.ctx.settings.bigeditsinmemory = false;
    fx.ctx.settings.bigeditthresh = 1;
    fx.doc->BeginLargeEdit(0, 199999, kChunkFrames);
    fx.block(0, 2 * kChunkFrames, 0, [](int32_t f) { return f % 7; });
    writeText(nameFile, fx.doc->store.path());
    // The store's samples reach the disk, then the process dies at the next boundary.
    saveBoundary();
  });
  ASSERT_EQ(result, -1);
  storePath = readText(nameFile);
  ASSERT_FALSE(storePath.empty());
  ASSERT_TRUE(fs::exists(storePath));
  EXPECT_EQ(readText(storePath).substr(0, 8), marked(""));

  LockedOpen again(fx.wavPath);
  ASSERT_TRUE(again.opened);
  EXPECT_FALSE(fs::exists(storePath));
  EXPECT_EQ(readText(userFile), "RIFF a file of the user's");
}

}  // namespace
}  // namespace tolmar::test
