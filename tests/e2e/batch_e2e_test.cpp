#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_batch.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

// A config directory with VESKOR.INI, and WAV files of known sizes, some with spurious bytes.
struct BatchE2E : ::testing::Test {
  TempDir dir;
  fs::path config = dir.path() / "config";
  fs::path sides = dir.path() / "sides";

  BatchE2E() {
    fs::create_directories(config);
    fs::create_directories(sides);
    std::ofstream(config / "VESKOR.INI") << "[Macros]\n"
                                            "macro5.nm=Tidy\n"
                                            "macro5.1=File | Truncate Extra Data\n"
                                            "macro5.2=Edit | Undo\n"
                                            "macro5.3=[Call Macro #5]\n"
                                            "macro5.4=<Silent> Edit | Edit Left\n"
                                            "macro6.1=Edit | Edit Right\n"
                                            "macro7.nm=Name Only\n";
  }

  // side1 … sideN; odd sides carry 2·i spurious bytes.
  std::vector<std::string> makeSides(int count) {
    std::vector<std::string> paths;
    for (int i = 1; i <= count; ++i) {
      const std::string path = (sides / ("side" + std::to_string(i) + ".wav")).string();
      WavBuilder wav;
      // A gentle ramp with one click on each channel.
      wav.frames(1000 + i * 10, [i](int32_t f) {
        if (f == 300 + i) return Frame{20000, -20000};
        return Frame{static_cast<int16_t>(f * i), static_cast<int16_t>(-f)};
      });
      if (i % 2 == 1) wav.trailing(std::vector<uint8_t>(static_cast<size_t>(2 * i), 0x5a));
      wav.write(path);
      paths.push_back(path);
    }
    return paths;
  }

  std::string args(const std::string& plan, const std::vector<std::string>& files) {
    std::string a = "--config-dir " + shellQuoted(config.string()) + " " + plan;
    for (const std::string& f : files) a += " " + shellQuoted(f);
    return a;
  }
};

TEST_F(BatchE2E, MacroRunPrintsTheBatchLogLineByLineAndTruncatesTheFiles) {
  const auto files = makeSides(2);
  const BatchRun r = runBatch(args("--macro 5 --continue-on-error", files));
  const std::string undo =
      "      Macro error: operation \"Edit | Undo\" not valid in this context: needs unsaved edits";
  const std::string recursive = "      Attempt to make recursive call to macro #5";
  EXPECT_EQ(lines(r.out), (std::vector<std::string>{
                              "Batch Execution Started, using Macro #5 [Tidy]",
                              "  File " + files[0],
                              "    File | Truncate Extra Data",
                              "      2 spurious bytes removed",
                              undo,
                              recursive,
                              "    Edit | Edit Left",
                              "  File " + files[1],
                              "    File | Truncate Extra Data",
                              "      File has no spurious bytes",
                              undo,
                              recursive,
                              "    Edit | Edit Left",
                              "Batch Finished",
                          }));
  EXPECT_EQ(r.status, 1) << "refused steps fail the run";
  EXPECT_EQ(r.err, "") << "no progress line when standard error is not a terminal";
  EXPECT_EQ(fs::file_size(files[0]), 44u + 1010u * 4u);
  EXPECT_EQ(fs::file_size(files[1]), 44u + 1020u * 4u);

  // Without --continue-on-error each file stops at its first failure.
  makeSides(2);
  const BatchRun stop = runBatch(args("--macro 5", files));
  EXPECT_EQ(lines(stop.out), (std::vector<std::string>{
                                 "Batch Execution Started, using Macro #5 [Tidy]",
                                 "  File " + files[0],
                                 "    File | Truncate Extra Data",
                                 "      2 spurious bytes removed",
                                 undo,
                                 "  File " + files[1],
                                 "    File | Truncate Extra Data",
                                 "      File has no spurious bytes",
                                 undo,
                                 "Batch Finished",
                             }));
  EXPECT_EQ(stop.status, 1);
}

TEST_F(BatchE2E, StepsAndMacrosMixInOrderAndSucceedWhenNothingFails) {
  const auto files = makeSides(1);
  const BatchRun r = runBatch(
      args("--step 'File | Truncate Extra Data' --macro 6 --step '[Refresh Display]'", files));
  EXPECT_EQ(lines(r.out), (std::vector<std::string>{
                              "Batch Execution Started, using steps from the command line",
                              "  File " + files[0],
                              "    File | Truncate Extra Data",
                              "      2 spurious bytes removed",
                              "    Edit | Edit Right",
                              "Batch Finished",
                          }));
  EXPECT_EQ(r.status, 0);

  // A relative path is taken from where the program started, then printed in full.
  makeSides(1);
  const std::string cmd = "cd " + shellQuoted(sides.string()) + " && " + TOLMAR_BATCH_EXE + " " +
                          args("--step 'File | Truncate Extra Data'", {"side1.wav"}) +
                          " 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  EXPECT_EQ(pclose(p), 0);
  EXPECT_EQ(lines(out).at(1), "  File " + files[0]);
}

TEST_F(BatchE2E, ParallelJobsGiveTheSameLogAndOutputsAsOneJob) {
  const auto files = makeSides(5);
  const BatchRun one = runBatch(args("--macro 5 --continue-on-error --jobs 1", files));
  std::vector<std::vector<uint8_t>> outputs;
  for (const std::string& f : files) outputs.push_back(readFileBytes(f));

  makeSides(5);
  const BatchRun two = runBatch(args("--macro 5 --continue-on-error --jobs 2", files));
  EXPECT_EQ(lines(two.out), lines(one.out));
  EXPECT_EQ(two.status, one.status);
  for (size_t i = 0; i < files.size(); ++i)
    EXPECT_EQ(readFileBytes(files[i]), outputs[i]) << files[i];
  EXPECT_EQ(lines(one.out).size(), 2u + 5u * 6u);

  // A step that rewrites the samples: the clicks are repaired the same way either way.
  makeSides(5);
  const std::string declick = "--step 'Declicking | Find and Remove All Clicks [Larger Clicks]'";
  const std::vector<uint8_t> original = readFileBytes(files[1]);
  const BatchRun serialDeclick = runBatch(args(declick, files));
  outputs.clear();
  for (const std::string& f : files) outputs.push_back(readFileBytes(f));
  EXPECT_NE(outputs[1], original) << serialDeclick.out;
  makeSides(5);
  const BatchRun parallelDeclick = runBatch(args(declick + " --jobs 3", files));
  EXPECT_EQ(lines(parallelDeclick.out), lines(serialDeclick.out));
  EXPECT_EQ(parallelDeclick.status, serialDeclick.status);
  for (size_t i = 0; i < files.size(); ++i)
    EXPECT_EQ(readFileBytes(files[i]), outputs[i]) << files[i];

  // More jobs than files, and a file that cannot be opened, keep file order and the status.
  std::vector<std::string> withBad = files;
  withBad.insert(withBad.begin() + 2, (sides / "missing.wav").string());
  const BatchRun serial = runBatch(args("--step 'Edit | Edit Left' --jobs 1", withBad));
  const BatchRun wide = runBatch(args("--step 'Edit | Edit Left' --jobs 8", withBad));
  EXPECT_EQ(lines(wide.out), lines(serial.out));
  EXPECT_EQ(serial.status, 1);
  EXPECT_EQ(wide.status, 1);
}

TEST_F(BatchE2E, ParallelJobsRunAFileListedTwiceOneAfterTheOther) {
  // Each run adds silence around the file, so two runs grow it twice. Run at once, both would
  // start from the original and the later rename would throw the earlier run's work away.
  const std::string side = (sides / "long.wav").string();
  const std::string again = (sides / "." / "long.wav").string();
  const std::string plan =
      "--step 'Edit | Add Surrounding Silence' --step 'Edit | Execute Deletions/Insertions'";
  WavBuilder().staircase(1000000).write(side);
  const BatchRun serial = runBatch(args(plan + " --jobs 1", {side, again}));
  const auto twice = fs::file_size(side);
  WavBuilder().staircase(1000000).write(side);
  const BatchRun parallel = runBatch(args(plan + " --jobs 2", {side, again}));
  EXPECT_EQ(lines(parallel.out), lines(serial.out));
  EXPECT_EQ(parallel.status, 0);
  EXPECT_EQ(fs::file_size(side), twice);
}

TEST_F(BatchE2E, PlansNamingNothingAreRefusedBeforeAnyFileIsTouched) {
  const auto files = makeSides(1);
  const auto before = fs::file_size(files[0]);
  const BatchRun unknown =
      runBatch(args("--step 'File | Truncate Extra Data' --step 'File | Nonsense'", files));
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("no menu item \"File | Nonsense\""), std::string::npos);
  EXPECT_EQ(unknown.out, "");
  EXPECT_EQ(fs::file_size(files[0]), before);

  EXPECT_EQ(runBatch(args("--macro 7", files)).status, 2) << "a name without steps is no macro";
  EXPECT_EQ(runBatch(args("--macro 49", files)).status, 2);
  EXPECT_EQ(runBatch(args("--macro 5 --jobs 0", files)).status, 2);
  EXPECT_EQ(runBatch(args("--macro 5", {})).status, 2);
  EXPECT_EQ(runBatch(args("--macro 5 --info", files)).status, 2);

  // A missing preset only warns: the command runs with its current parameters.
  const BatchRun preset =
      runBatch(args("--step 'Declicking | Find All Clicks [No Such Preset]'", files));
  EXPECT_NE(preset.err.find("no preset \"No Such Preset\""), std::string::npos);
  EXPECT_NE(preset.out.find("Batch Finished"), std::string::npos);

  // An empty file name (an unset shell variable) is a file that cannot be opened, no crash.
  const BatchRun empty = runBatch(args("--step 'Edit | Edit Left'", {"", files[0]}));
  EXPECT_EQ(empty.status, 1);
  EXPECT_NE(empty.out.find("  File " + files[0]), std::string::npos);
  EXPECT_NE(empty.out.find("Batch Finished"), std::string::npos);
}

TEST_F(BatchE2E, ListCommandsShowsAvailabilityWithAndWithoutAFile) {
  const auto files = makeSides(1);
  const BatchRun none =
      runBatch("--config-dir " + shellQuoted(config.string()) + " --list-commands");
  EXPECT_EQ(none.status, 0);
  const auto rows = lines(none.out);
  auto row = [](const std::vector<std::string>& all, const std::string& path) {
    for (const std::string& l : all)
      if (l.starts_with(path + "\t")) return l;
    return std::string();
  };
  EXPECT_EQ(row(rows, "File | Open WAV File..."),
            "File | Open WAV File...\tOpenWAVFile1Click\tCtrl+O\tenabled");
  EXPECT_EQ(row(rows, "File | Truncate Extra Data"),
            "File | Truncate Extra Data\tTruncateExtraData1Click\t-\tdisabled");
  EXPECT_EQ(row(rows, "Edit | Undo"), "Edit | Undo\tUndo1Click\tCtrl+Del\tdisabled");
  for (const std::string& l : rows) EXPECT_EQ(std::count(l.begin(), l.end(), '\t'), 3) << l;

  const BatchRun open = runBatch("--config-dir " + shellQuoted(config.string()) +
                                 " --list-commands " + shellQuoted(files[0]));
  EXPECT_EQ(open.status, 0);
  EXPECT_EQ(lines(open.out).size(), rows.size());
  EXPECT_EQ(row(lines(open.out), "File | Truncate Extra Data"),
            "File | Truncate Extra Data\tTruncateExtraData1Click\t-\tenabled");
  EXPECT_EQ(row(lines(open.out), "Edit | Edit Left"),
            "Edit | Edit Left\tEditLeftClick\t-\tenabled");
  EXPECT_FALSE(fs::exists(sides / "side1.qed")) << "listing leaves no peak cache";

  EXPECT_EQ(runBatch("--list-commands " + shellQuoted((sides / "missing.wav").string())).status, 1);
}

TEST_F(BatchE2E, HelpRecipesNameRealMenuItems) {
  const BatchRun help = runBatch("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("not valid in this context"), std::string::npos);
  const std::string table = runBatch("--list-commands").out;
  const std::string mark = "--step \"";
  int steps = 0;
  for (size_t at = help.out.find(mark); at != std::string::npos; at = help.out.find(mark, at + 1)) {
    const size_t start = at + mark.size();
    std::string path = help.out.substr(start, help.out.find('"', start) - start);
    if (const auto bracket = path.find(" ["); bracket != std::string::npos) path.resize(bracket);
    EXPECT_NE(table.find(path + "\t"), std::string::npos) << path;
    ++steps;
  }
  EXPECT_GE(steps, 5);
}

}  // namespace
}  // namespace tolmar::test
