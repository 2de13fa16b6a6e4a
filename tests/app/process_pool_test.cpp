#include "app/process_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

namespace tolmar {
namespace {

ChildRun shell(const std::string& script) {
  return ChildRun{{"/bin/sh", "-c", script}};
}

TEST(ProcessPool, OutputsAreHandedOnInListOrderWhateverOrderChildrenEndIn) {
  std::vector<ChildRun> children{shell("sleep 0.4; echo one"), shell("echo two; exit 1"),
                                 shell("sleep 0.2; printf three")};
  std::vector<std::size_t> readyOrder;
  std::string joined;
  PoolCalls calls;
  calls.ready = [&](std::size_t i) {
    readyOrder.push_back(i);
    joined += children[i].out;
  };
  runChildren(children, 3, calls);
  EXPECT_EQ(readyOrder, (std::vector<std::size_t>{0, 1, 2}));
  EXPECT_EQ(joined, "one\ntwo\nthree");
  EXPECT_TRUE(children[0].ok());
  EXPECT_FALSE(children[1].ok());
  EXPECT_EQ(children[1].exitStatus, 1);
}

TEST(ProcessPool, NeverRunsMoreThanTheLimitNorTwoThatClashTogether) {
  // Each child notes in a shared file when it starts and ends; with a limit of two, and child 2
  // clashing with child 0, no moment sees three running, nor 0 and 2 at once.
  const std::string log = ::testing::TempDir() + "/pool_overlap.log";
  std::remove(log.c_str());
  std::vector<ChildRun> children;
  for (int i = 0; i < 5; ++i)
    children.push_back(shell("echo +" + std::to_string(i) + " >> " + log + "; sleep 0.1; echo -" +
                             std::to_string(i) + " >> " + log));
  PoolCalls calls;
  calls.clash = [](std::size_t earlier, std::size_t later) { return earlier == 0 && later == 2; };
  runChildren(children, 2, calls);
  for (const ChildRun& c : children) EXPECT_TRUE(c.ok());
  FILE* f = std::fopen(log.c_str(), "r");
  ASSERT_NE(f, nullptr);
  char line[32];
  int running = 0, most = 0;
  bool zero = false, zeroAndTwo = false, two = false;
  while (std::fgets(line, sizeof line, f)) {
    const bool starts = line[0] == '+';
    const int who = line[1] - '0';
    running += starts ? 1 : -1;
    most = std::max(most, running);
    if (who == 0) zero = starts;
    if (who == 2) two = starts;
    zeroAndTwo = zeroAndTwo || (zero && two);
  }
  std::fclose(f);
  EXPECT_EQ(running, 0);
  EXPECT_EQ(most, 2);
  EXPECT_FALSE(zeroAndTwo);
}

TEST(ProcessPool, AChildThatCannotStartIsReportedAndTheOthersStillRun) {
  std::vector<ChildRun> children{ChildRun{{"/nonexistent/program"}}, shell("echo after")};
  std::vector<std::size_t> failed, ended, ready;
  PoolCalls calls;
  calls.startFailed = [&](std::size_t i) { failed.push_back(i); };
  calls.ended = [&](std::size_t i) { ended.push_back(i); };
  calls.ready = [&](std::size_t i) { ready.push_back(i); };
  runChildren(children, 1, calls);
  EXPECT_EQ(failed, (std::vector<std::size_t>{0}));
  EXPECT_FALSE(children[0].started);
  EXPECT_EQ(children[0].startError, ENOENT);
  EXPECT_EQ(ended, (std::vector<std::size_t>{1}));
  EXPECT_EQ(ready, (std::vector<std::size_t>{0, 1}));
  EXPECT_EQ(children[1].out, "after\n");
}

TEST(ProcessPool, AKilledChildHasNoExitStatus) {
  std::vector<ChildRun> children{shell("kill -9 $$")};
  runChildren(children, 1, {});
  EXPECT_TRUE(children[0].done);
  EXPECT_EQ(children[0].exitStatus, -1);
  EXPECT_FALSE(children[0].ok());
}

}  // namespace
}  // namespace tolmar
