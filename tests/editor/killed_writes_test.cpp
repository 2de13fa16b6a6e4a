// Execute Deletions/Insertions, Split Tracks and Save As killed at every write boundary (a
// forked child that dies there): the original is always whole, no file is ever half written
// under its final name, and the next open clears away what the dead run left.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>

#include "document/file_names.h"
#include "support/editor_fixture.h"
#include "support/file_size_limit.h"
#include "support/kill_child.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::string;

Bytes slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void spit(const fs::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::map<std::string, Bytes> folder(const fs::path& dir) {
  std::map<std::string, Bytes> out;
  for (const auto& entry : fs::directory_iterator(dir))
    out[entry.path().filename().string()] = slurp(entry.path());
  return out;
}

Bytes asText(const std::vector<uint8_t>& bytes) {
  return Bytes(bytes.begin(), bytes.end());
}

struct KilledWrites : EditorTest {
  std::string countFile =
      (dir.path().parent_path() / (dir.path().filename().string() + ".count")).string();
  Bytes original = asText(WavBuilder().staircase(30000).bytes());

  ~KilledWrites() override {
    std::error_code ec;
    fs::remove(countFile, ec);
  }

  // Opens the side as it was, with a repair across two tracks still unsaved when `edit`.
  void openSide(bool edit) {
    editor.doc.reset();
    spit(wav, original);
    ASSERT_TRUE(editor.OpenDocument(wav));
    if (!edit) return;
    WaveFile& doc = *editor.doc;
    auto rec = std::make_unique<Interpolation>();
    doc.BeginBlock(*rec, 8000, 21000, 0);
    for (int32_t f = 8000; f <= 21000; ++f) doc.PutSample(*rec, f, static_cast<int16_t>(f % 999));
    doc.FinishBlock(*rec);
    doc.AddEdit(std::move(rec), 0);
    doc.CommitEdit(1, "Redraw");
  }

  // The next open, as a fresh run would make it.
  void reopen() {
    editor.doc.reset();
    ASSERT_TRUE(editor.OpenDocument(wav));
    editor.doc.reset();
  }

  // Runs fn in a child stopped at every boundary in turn; check(n) looks at what was left.
  template <class Setup, class Run, class Check>
  int everyBoundary(Setup setup, Run run, Check check) {
    setup();
    const int boundaries = inChild(-1, countFile, run);
    EXPECT_GT(boundaries, 3);
    for (int n = 0; n < boundaries; ++n) {
      SCOPED_TRACE("stopped at boundary " + std::to_string(n));
      setup();
      EXPECT_EQ(inChild(n, countFile, run), -1);
      check(n);
    }
    return boundaries;
  }
};

TEST_F(KilledWrites, ExecuteDeletionsLeavesTheOldFileOrTheWholeNewOne) {
  auto setup = [&] {
    openSide(false);
    editor.doc->deletions = {{1000, 4999}};
    editor.doc->insertions = {{20000, 12000}};
  };
  auto run = [&] { editor.ExecuteDeletions1Click(); };
  setup();
  ASSERT_GE(inChild(-1, countFile, run), 0);
  const Bytes rebuilt = slurp(wav);
  ASSERT_NE(rebuilt, original);
  ASSERT_EQ(rebuilt.size(), original.size() + 4 * (12000 - 4000));

  int old = 0, fresh = 0, partial = 0;
  everyBoundary(setup, run, [&](int) {
    editor.doc.reset();
    const Bytes now = slurp(wav);
    ASSERT_TRUE(now == original || now == rebuilt);
    old += now == original;
    fresh += now == rebuilt;
    for (const auto& [name, bytes] : folder(dir.path()))
      partial += name.starts_with("TQ") &&
                 bytes.starts_with(asText({kScratchMark.begin(), kScratchMark.end()}));
    reopen();
    // Nothing but the side is left, unless a whole rebuilt file was stopped just before it
    // took the name: that one is complete, and kept, as when a rename fails.
    for (const auto& [name, bytes] : folder(dir.path())) {
      if (name == "side.wav") continue;
      EXPECT_TRUE(name.starts_with("TQ") && bytes == rebuilt) << name << " was left behind";
      fs::remove(dir / name);
    }
  });
  EXPECT_GT(old, 0);
  EXPECT_GT(fresh, 0);
  // The stops really landed inside the rebuild, and what they left was cleared away.
  EXPECT_GT(partial, 3);
}

TEST_F(KilledWrites, SplitTracksLeavesEachTrackAsItWasOrWhole) {
  const fs::path track2 = dir / "side 02.wav";
  const Bytes earlier = asText(WavBuilder().staircase(777).bytes());
  auto setup = [&] {
    for (const char* n : {"side 01.wav", "side 02.wav", "side 03.wav"}) fs::remove(dir / n);
    spit(track2, earlier);
    openSide(true);
    for (int32_t at : {10000, 20000}) {
      Cue cue;
      cue.position = at;
      cue.track = true;
      editor.doc->cues.push_back(cue);
    }
    // As a batch run does it: no dialog, and the earlier track is overwritten.
    editor.ctx.batchRunning = true;
    editor.ctx.silentMode = true;
  };
  auto run = [&] { editor.SplitTracks1Click(); };
  setup();
  ASSERT_GE(inChild(-1, countFile, run), 0);
  std::map<std::string, Bytes> whole;
  for (const char* n : {"side 01.wav", "side 02.wav", "side 03.wav"}) {
    ASSERT_TRUE(fs::exists(dir / n)) << n;
    whole[n] = slurp(dir / n);
  }
  ASSERT_NE(whole["side 02.wav"], earlier);

  int torn = 0;
  std::map<std::string, int> written;
  everyBoundary(setup, run, [&](int) {
    editor.doc.reset();
    for (const auto& [name, bytes] : whole) {
      const fs::path p = dir / name;
      if (!fs::exists(p)) {
        EXPECT_NE(name, "side 02.wav") << "the earlier track was destroyed";
        continue;
      }
      const Bytes now = slurp(p);
      if (name == "side 02.wav" && now == earlier) continue;
      EXPECT_TRUE(now == bytes) << name << " is not whole";
      ++written[name];
    }
    for (const auto& entry : fs::directory_iterator(dir.path()))
      torn += isScratchName(entry.path().filename().string());
    reopen();
    for (const auto& entry : fs::directory_iterator(dir.path()))
      EXPECT_FALSE(isScratchName(entry.path().filename().string())) << entry.path();
    EXPECT_EQ(slurp(wav), original);
  });
  EXPECT_GT(torn, 2);
  EXPECT_GT(written["side 01.wav"], 0);
  EXPECT_GT(written["side 03.wav"], 0);
}

// Save As copies and saves into a file beside the new name that takes it only when whole.
TEST_F(KilledWrites, SaveAsLeavesNoHalfFileUnderTheNewName) {
  const fs::path target = dir / "side copy.wav";
  const Bytes earlier = asText(WavBuilder().staircase(500).bytes());
  auto setup = [&] {
    spit(target, earlier);
    openSide(true);
    host.saveAnswers = {target.string()};
  };
  auto run = [&] { editor.SaveAs1Click(); };
  setup();
  ASSERT_GE(inChild(-1, countFile, run), 0);
  const Bytes saved = slurp(target);
  ASSERT_EQ(saved.size(), original.size());
  ASSERT_NE(saved, original);

  int old = 0, fresh = 0, torn = 0;
  everyBoundary(setup, run, [&](int) {
    editor.doc.reset();
    const Bytes now = slurp(target);
    ASSERT_TRUE(now == earlier || now == saved);
    old += now == earlier;
    fresh += now == saved;
    for (const auto& entry : fs::directory_iterator(dir.path()))
      torn += isScratchName(entry.path().filename().string());
    reopen();
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      const std::string name = entry.path().filename().string();
      EXPECT_FALSE(isScratchName(name) || isScratchJournalName(name)) << name;
    }
    EXPECT_EQ(slurp(wav), original);
  });
  EXPECT_GT(old, 0);
  EXPECT_GT(fresh, 0);
  EXPECT_GT(torn, 0);
}

// A directory on a filesystem other than the test directory's, or none to be had.
std::unique_ptr<TempDir> otherFilesystemDir(const fs::path& than) {
  struct stat here {};
  struct stat there {};
  const fs::path shm = "/dev/shm";
  if (::stat(than.c_str(), &here) != 0 || ::stat(shm.c_str(), &there) != 0 ||
      here.st_dev == there.st_dev || ::access(shm.c_str(), W_OK) != 0)
    return nullptr;
  return std::make_unique<TempDir>(shm);
}

// The temporary directory on another filesystem: the rebuilt file is copied beside the
// original and renamed over it, so a kill anywhere leaves the original or the whole new file
// under its name, never no file at all, and the next open clears both directories.
TEST_F(KilledWrites, ExecuteDeletionsWithTheTemporaryDirectoryElsewhereNeverLosesTheFile) {
  const auto elsewhere = otherFilesystemDir(dir.path());
  if (!elsewhere) GTEST_SKIP() << "no second filesystem to put the temporary directory on";
  auto setup = [&] {
    for (const auto& [name, bytes] : folder(elsewhere->path())) fs::remove(*elsewhere / name);
    openSide(false);
    editor.ctx.settings.tmpdir = elsewhere->path().string();
    editor.doc->deletions = {{1000, 4999}};
    editor.doc->insertions = {{20000, 12000}};
  };
  auto run = [&] { editor.ExecuteDeletions1Click(); };
  setup();
  ASSERT_GE(inChild(-1, countFile, run), 0);
  const Bytes rebuilt = slurp(wav);
  ASSERT_EQ(rebuilt.size(), original.size() + 4 * (12000 - 4000));
  EXPECT_TRUE(folder(elsewhere->path()).empty());

  int old = 0, fresh = 0, copying = 0;
  everyBoundary(setup, run, [&](int) {
    editor.doc.reset();
    ASSERT_TRUE(fs::exists(wav)) << "the side is gone from its folder";
    const Bytes now = slurp(wav);
    ASSERT_TRUE(now == original || now == rebuilt);
    old += now == original;
    fresh += now == rebuilt;
    // A scratch copy beside the side while the temporary file elsewhere is whole: the copy
    // across was under way.
    for (const auto& [name, bytes] : folder(dir.path()))
      copying += name.starts_with("TQ") && !folder(elsewhere->path()).empty();
    reopen();
    for (const fs::path& d : {dir.path(), elsewhere->path()}) {
      for (const auto& [name, bytes] : folder(d)) {
        if (d == dir.path() && name == "side.wav") continue;
        EXPECT_TRUE(name.starts_with("TQ") && bytes == rebuilt) << name << " was left behind";
        fs::remove(d / name);
      }
    }
  });
  EXPECT_GT(old, 0);
  EXPECT_GT(fresh, 0);
  EXPECT_GT(copying, 3);
}

// Whether another process that opens the file for processing is refused.
bool refusedToAnotherProcess(const std::string& path) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    saveBoundaryHook = nullptr;
    ScriptedHost host;
    Context ctx{host};
    host.ctx = &ctx;
    WaveFile doc(ctx);
    doc.lockForWriting = true;
    bool refused = false;
    try {
      refused = doc.Open(path, false, 0) && doc.lockedElsewhere();
    } catch (const FileError&) {
    }
    ::_exit(refused ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::function<void()> boundaryProbe;
void probeAtBoundary() {
  if (boundaryProbe) boundaryProbe();
}

ino_t inodeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// From the moment a new file takes the name until the command is done, and after it, this
// process holds it: at every write boundary and every message pass in between, another process
// is refused.
struct HeldAfterRename {
  std::string path;
  ino_t before = inodeOf(path);
  int probes = 0;
  int refused = 0;
  explicit HeldAfterRename(std::string p) : path(std::move(p)) {}
  void probe() {
    if (inodeOf(path) == before) return;
    ++probes;
    refused += refusedToAnotherProcess(path);
  }
};

TEST_F(KilledWrites, TheRebuiltFileIsNeverUnlockedOnceItHasTheName) {
  const auto elsewhere = otherFilesystemDir(dir.path());
  for (const bool acrossFilesystems : {false, true}) {
    SCOPED_TRACE(acrossFilesystems ? "temporary directory elsewhere" : "beside the side");
    if (acrossFilesystems && !elsewhere) continue;
    openSide(false);
    editor.ctx.settings.tmpdir = acrossFilesystems ? elsewhere->path().string() : "";
    editor.doc->insertions = {{20000, 12000}};
    HeldAfterRename held(wav);
    boundaryProbe = [&] { held.probe(); };
    saveBoundaryHook = probeAtBoundary;
    host.onPump = [&](int) { held.probe(); };
    editor.ExecuteDeletions1Click();
    saveBoundaryHook = nullptr;
    host.onPump = nullptr;
    boundaryProbe = nullptr;
    ASSERT_EQ(editor.doc->frameCount, 42000);
    EXPECT_GT(held.probes, 2);
    EXPECT_EQ(held.refused, held.probes);
    EXPECT_TRUE(refusedToAnotherProcess(wav));
    editor.doc.reset();
    EXPECT_FALSE(refusedToAnotherProcess(wav));
  }
}

TEST_F(KilledWrites, SaveAsHoldsTheNewFileFromTheMomentItHasTheName) {
  const fs::path target = dir / "side copy.wav";
  spit(target, asText(WavBuilder().staircase(500).bytes()));
  openSide(true);
  host.saveAnswers = {target.string()};
  HeldAfterRename held(target.string());
  boundaryProbe = [&] { held.probe(); };
  saveBoundaryHook = probeAtBoundary;
  host.onPump = [&](int) { held.probe(); };
  editor.SaveAs1Click();
  saveBoundaryHook = nullptr;
  host.onPump = nullptr;
  boundaryProbe = nullptr;
  ASSERT_EQ(editor.doc->path, target.string());
  EXPECT_GT(held.probes, 0);
  EXPECT_EQ(held.refused, held.probes);
  EXPECT_TRUE(refusedToAnotherProcess(target.string()));
  // The side it came from is let go of.
  EXPECT_FALSE(refusedToAnotherProcess(wav));
}

// A disk that fills during the rebuild leaves the original as it was, and no partial file.
TEST_F(KilledWrites, ExecuteDeletionsOnAFullDiskKeepsTheOriginal) {
  openSide(false);
  editor.doc->insertions = {{20000, 12000}};
  {
    const FileSizeLimit limit(original.size() + 1000);
    editor.ExecuteDeletions1Click();
  }
  EXPECT_FALSE(host.messages.empty());
  EXPECT_EQ(slurp(wav), original);
  EXPECT_EQ(folder(dir.path()).size(), 1u);
  EXPECT_EQ(editor.doc->insertions.size(), 1u);
}

// With no cue points, nothing is left unwritten after a rebuild: reading a cue sheet then asks
// nothing (a batch run's No would refuse the step).
TEST_F(KilledWrites, ExecuteDeletionsWithoutCuesLeavesNoneUnwritten) {
  openSide(false);
  editor.doc->deletions = {{0, 999}};
  editor.ExecuteDeletions1Click();
  ASSERT_EQ(editor.doc->frameCount, 29000);
  EXPECT_FALSE(editor.doc->cuesNotWritten);
  openSide(false);
  Cue cue;
  cue.position = 5000;
  cue.track = true;
  editor.doc->cues.push_back(cue);
  editor.doc->deletions = {{0, 999}};
  host.answers = {Answer::Yes};
  editor.ExecuteDeletions1Click();
  ASSERT_EQ(editor.doc->cues.size(), 1u);
  EXPECT_TRUE(editor.doc->cuesNotWritten);
}

// A new name that another process holds for writing is refused before anything is written.
TEST_F(KilledWrites, SaveAsToAFileHeldElsewhereIsRefused) {
  const fs::path target = dir / "held.wav";
  const Bytes earlier = asText(WavBuilder().staircase(500).bytes());
  spit(target, earlier);
  BinaryFile holder;
  ASSERT_TRUE(holder.open(target.string(), BinaryFile::Mode::Read));
  ASSERT_EQ(holder.lock(), LockResult::Taken);
  openSide(true);
  host.saveAnswers = {target.string()};
  editor.SaveAs1Click();
  EXPECT_TRUE(host.said("Failed to write file " + target.string() +
                        ": it is open for writing in another process"));
  EXPECT_EQ(slurp(target), earlier);
  EXPECT_EQ(editor.doc->path, wav);
  EXPECT_TRUE(editor.doc->canUndo());
  EXPECT_EQ(folder(dir.path()).size(), 2u);
}

}  // namespace
}  // namespace tolmar::test
