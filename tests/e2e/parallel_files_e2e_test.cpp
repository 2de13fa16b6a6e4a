// Many files in one folder, edited by parallel tolmar-batch processes that all make scratch
// files there, and a file that another process holds for writing.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "document/binary_file.h"
#include "support/run_batch.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string shellQuote(const std::string& s) {
  return "'" + s + "'";
}

// The first line where two logs differ, both ways round, or "" when they are equal.
std::string firstDifference(const std::string& got, const std::string& want) {
  std::istringstream a(got), b(want);
  std::string x, y;
  for (int line = 1;; ++line) {
    const bool moreA = static_cast<bool>(std::getline(a, x));
    const bool moreB = static_cast<bool>(std::getline(b, y));
    if (!moreA && !moreB) return "";
    if (!moreA || !moreB || x != y)
      return "line " + std::to_string(line) + ": \"" + (moreA ? x : "(end)") + "\" instead of \"" +
             (moreB ? y : "(end)") + "\"";
  }
}

// Every file of a folder, by name, with its bytes.
std::map<std::string, std::string> folderContents(const fs::path& dir) {
  std::map<std::string, std::string> out;
  for (const auto& entry : fs::directory_iterator(dir))
    out[entry.path().filename().string()] = slurp(entry.path());
  return out;
}

constexpr int kFiles = 48;
constexpr int32_t kFrames = 30000;

// File i: its own signal, a click-free ramp scaled down so that Normalise changes it, and a
// cue sheet that cuts it in two.
void makeFolder(const fs::path& folder) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  for (int i = 0; i < kFiles; ++i) {
    const std::string stem = "side" + std::to_string(i);
    const fs::path wav = folder / (stem + ".wav");
    WavBuilder()
        .frames(kFrames,
                [i](int32_t f) {
                  return Frame{static_cast<int16_t>((f * (i + 3)) % 4000 - 2000),
                               static_cast<int16_t>(((f + 7 * i) % 3000) - 1500)};
                })
        .write(wav.string());
    std::ofstream(folder / (stem + ".cue"))
        << "FILE \"" << wav.string() << "\" WAVE\n"
        << "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
        << "  TRACK 02 AUDIO\n    INDEX 01 00:00:" << (10 + i % 20) << "\n";
  }
}

struct ParallelFiles : ::testing::Test {
  TempDir dir;
  fs::path config = dir.path() / "config";
  fs::path folder = dir.path() / "sides";

  ParallelFiles() { fs::create_directories(config); }

  std::string files() const {
    std::string out;
    for (int i = 0; i < kFiles; ++i)
      out += " " + shellQuote((folder / ("side" + std::to_string(i) + ".wav")).string());
    return out;
  }

  // Normalise through the big-edit store, Save through its journal, Split Tracks through the
  // track writer, Execute Deletions through its rebuilt file: all of them make scratch files
  // in the folder, beside the other processes' files.
  BatchRun run(int jobs) const {
    return runBatch("--config-dir " + shellQuote(config.string()) +
                    " --set Options.bigeditsinmemory=0 --set Options.bigeditthresh=0"
                    " --step 'Cue Points | Read Cue Sheet...'"
                    " --step 'Other Effects | Normalise (With Undo)' --step 'File | Save'"
                    " --step 'Cue Points | Split Tracks...'"
                    " --step 'Cue Points | Delete Cue Point(s)'"
                    " --step 'Edit | Add Surrounding Silence'"
                    " --step 'Edit | Execute Deletions/Insertions' --jobs " +
                    std::to_string(jobs) + files());
  }
};

TEST_F(ParallelFiles, EightJobsOverOneFolderThreeTimesEqualOneAtATime) {
  makeFolder(folder);
  const auto before = folderContents(folder);
  const BatchRun serial = run(1);
  ASSERT_EQ(serial.status, 0) << serial.err;
  const auto expected = folderContents(folder);
  // Every side was changed, and cut into two tracks; nothing else is left in the folder.
  ASSERT_EQ(expected.size(), before.size() + 3 * kFiles);
  for (int i = 0; i < kFiles; ++i) {
    const std::string stem = "side" + std::to_string(i);
    EXPECT_NE(expected.at(stem + ".wav"), before.at(stem + ".wav")) << stem;
    EXPECT_EQ(expected.count(stem + " 01.wav"), 1u) << stem;
    EXPECT_EQ(expected.count(stem + " 02.wav"), 1u) << stem;
    EXPECT_EQ(expected.count(stem + ".qed"), 1u) << stem;
  }

  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("parallel round " + std::to_string(round + 1));
    makeFolder(folder);
    const BatchRun parallel = run(8);
    EXPECT_EQ(parallel.status, 0) << parallel.err;
    EXPECT_EQ(firstDifference(parallel.out, serial.out), "");
    const auto got = folderContents(folder);
    ASSERT_EQ(got.size(), expected.size());
    for (const auto& [name, bytes] : expected) {
      ASSERT_EQ(got.count(name), 1u) << name;
      EXPECT_TRUE(got.at(name) == bytes) << name << " differs from the serial run's";
    }
  }
}

// While one process holds a file for writing, a batch run over it is refused and writes
// nothing; looking at it still works; once let go, the run goes through.
TEST_F(ParallelFiles, AFileHeldByAnotherProcessIsRefusedAndLeftAsItWas) {
  fs::create_directories(folder);
  const fs::path wav = folder / "side.wav";
  WavBuilder().staircase(20000).write(wav.string());
  const std::string original = slurp(wav);
  const std::string steps =
      "--config-dir " + shellQuote(config.string()) +
      " --step 'Edit | Add Surrounding Silence' --step 'Edit | Execute Deletions/Insertions' ";

  BinaryFile holder;
  ASSERT_TRUE(holder.open(wav.string(), BinaryFile::Mode::Read));
  ASSERT_EQ(holder.lock(), LockResult::Taken);
  const BatchRun refused = runBatch(steps + shellQuote(wav.string()));
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.out.find("      File " + wav.string() +
                             " is open for writing in another Tolmar process; it is left alone "
                             "until that process closes it"),
            std::string::npos)
      << refused.out;
  EXPECT_EQ(refused.out.find("    Edit | Execute"), std::string::npos) << refused.out;
  EXPECT_EQ(slurp(wav), original);
  EXPECT_EQ(folderContents(folder).size(), 1u);

  const BatchRun info = runBatch("--info " + shellQuote(wav.string()));
  EXPECT_EQ(info.status, 0) << info.out;
  EXPECT_NE(info.out.find(wav.string() + " (length 00:00.453; samplerate 44100)"),
            std::string::npos)
      << info.out;

  holder.close();
  const BatchRun done = runBatch(steps + shellQuote(wav.string()));
  EXPECT_EQ(done.status, 0) << done.out;
  EXPECT_NE(slurp(wav), original);
}

// Two runs started together over the same files, in opposite orders: each file is edited by one
// run at a time, so it ends up edited once (the other run refused it) or twice (one after the
// other), never a mixture, and a file is only left edited once when a run was refused it.
TEST_F(ParallelFiles, TwoRunsOverTheSameFilesEditEachFileWholeOnceOrTwice) {
  constexpr int kSides = 12;
  const std::string steps = "--config-dir " + shellQuote(config.string()) +
                            " --step 'Edit | Add Surrounding Silence'"
                            " --step 'Edit | Execute Deletions/Insertions'";
  const fs::path reference = dir.path() / "reference";
  fs::create_directories(reference);
  const fs::path ref = reference / "side.wav";
  fs::create_directories(folder);
  std::vector<std::string> paths;
  for (int i = 0; i < kSides; ++i) {
    paths.push_back((folder / ("side" + std::to_string(i) + ".wav")).string());
    WavBuilder().staircase(200000).write(paths.back());
  }
  WavBuilder().staircase(200000).write(ref.string());
  ASSERT_EQ(runBatch(steps + " " + shellQuote(ref.string())).status, 0);
  const std::string once = slurp(ref);
  ASSERT_EQ(runBatch(steps + " " + shellQuote(ref.string())).status, 0);
  const std::string twice = slurp(ref);
  ASSERT_NE(once, twice);

  std::string forward, backward;
  for (int i = 0; i < kSides; ++i) {
    forward += " " + shellQuote(paths[static_cast<size_t>(i)]);
    backward += " " + shellQuote(paths[static_cast<size_t>(kSides - 1 - i)]);
  }
  auto a = std::async(std::launch::async, [&] { return runBatch(steps + forward); });
  auto b = std::async(std::launch::async, [&] { return runBatch(steps + backward); });
  const BatchRun ra = a.get();
  const BatchRun rb = b.get();
  const std::string logs = ra.out + rb.out;
  int refusedFiles = 0;
  for (const std::string& path : paths) {
    const std::string bytes = slurp(path);
    ASSERT_TRUE(bytes == once || bytes == twice) << path << " holds neither result";
    const std::string refusal = "      File " + path + " is open for writing in another";
    int refusals = 0;
    for (size_t at = logs.find(refusal); at != std::string::npos; at = logs.find(refusal, at + 1))
      ++refusals;
    if (bytes == once) {
      EXPECT_GE(refusals, 1) << path << " was edited once, yet neither run was refused it";
    }
    refusedFiles += refusals > 0;
  }
  EXPECT_EQ(ra.status, ra.out.find("is open for writing in another") == std::string::npos ? 0 : 1);
  EXPECT_EQ(rb.status, rb.out.find("is open for writing in another") == std::string::npos ? 0 : 1);
  // Nothing but the sides and their peak caches is left in the folder.
  for (const auto& [name, bytes] : folderContents(folder))
    EXPECT_TRUE(name.ends_with(".wav") || name.ends_with(".qed")) << name;
  RecordProperty("refused", refusedFiles);
}

}  // namespace
}  // namespace tolmar::test
