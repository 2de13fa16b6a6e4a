// The recording file under a kill, and the input queue the devices share.

#include "audio/recording_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <random>
#include <thread>
#include <vector>

#include "audio/input_device.h"
#include "document/wav_format.h"
#include "editor/context.h"
#include "support/recording_support.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"

namespace tolmar::test {
namespace {

// Records in a child process, reporting each commit through a pipe; never returns.
[[noreturn]] void recordUntilKilled(const std::string& path, int reportFd) {
  ScriptedHost host;
  Context ctx(host);
  FakeClock clock;
  GeneratorFactory devices;
  RecordingRequest req;
  req.fileName = path;
  TRecording rec(ctx, &devices, clock, req);
  rec.startbtnClick();
  rec.startbtnClick();
  uint32_t reported = 0;
  for (;;) {
    rec.tick();
    if (rec.bytesCommitted() != reported) {
      reported = rec.bytesCommitted();
      if (write(reportFd, &reported, sizeof reported) != sizeof reported) _exit(2);
    }
    if (!rec.inputRunning()) _exit(3);
  }
}

TEST(RecordingFileTest, AKilledRecordingLeavesAFileWithEveryCommittedFrame) {
  TempDir dir;
  std::mt19937 rng(20261209);
  for (int round = 0; round < 6; ++round) {
    const std::string path = dir.file("killed" + std::to_string(round) + ".wav");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(fds[0]);
      recordUntilKilled(path, fds[1]);
    }
    close(fds[1]);
    // Kill after a random number of commits, a random moment after the last one.
    const int commits = std::uniform_int_distribution<int>(1, 12)(rng);
    uint32_t committed = 0;
    for (int i = 0; i < commits; ++i) ASSERT_EQ(read(fds[0], &committed, 4), 4);
    usleep(std::uniform_int_distribution<int>(0, 20000)(rng));
    kill(pid, SIGKILL);
    // Commits reported before the kill landed are committed too.
    uint32_t later = 0;
    while (read(fds[0], &later, 4) == 4) committed = later;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "round " << round;

    BinaryFile f(path, BinaryFile::Mode::Read);
    FileByteSource src(f);
    HeaderCopy copy;
    const WavParseResult r = parseWavHeader(src, true, 44100, copy);
    ASSERT_TRUE(r.accepted) << "round " << round;
    EXPECT_GE(r.dataBytes, committed) << "round " << round;
    EXPECT_EQ(r.dataBytes % 4, 0u);
    std::vector<int16_t> s(static_cast<size_t>(r.frameCount) * 2);
    f.seek(r.dataOffset);
    ASSERT_EQ(f.read(s.data(), s.size() * 2), s.size() * 2);
    for (int32_t n = 0; n < r.frameCount; ++n) {
      int16_t l, rr;
      staircase(n, l, rr);
      ASSERT_TRUE(s[2 * static_cast<size_t>(n)] == l && s[2 * static_cast<size_t>(n) + 1] == rr)
          << "round " << round << " frame " << n;
    }
  }
}

// A storage flush slower than the input queue must not hold the sound up: appends go on while
// a commit waits, the header claims only what was committed, and the end claims everything.
TEST(RecordingFileTest, AppendsGoOnWhileACommitWaitsForStorage) {
  TempDir dir;
  const std::string path = dir.file("slow.wav");
  RecordingFile file;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<int> commitsStarted{0};
  file.commitStarting = [&] {
    ++commitsStarted;
    released.wait();
  };
  ASSERT_TRUE(file.create(path, 44100));
  std::atomic<bool> appendsDone{false};
  // The commit is let go after five seconds whatever happens, so a waiting append fails the
  // test instead of hanging it.
  std::thread releaser([&] {
    for (int i = 0; i < 500 && !appendsDone; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    release.set_value();
  });
  std::vector<int16_t> second(2 * 44100);
  for (int s = 0; s < 5; ++s) {
    for (size_t i = 0; i < second.size(); ++i) second[i] = static_cast<int16_t>(s * 1000 + i % 7);
    ASSERT_TRUE(file.append(second.data(), static_cast<uint32_t>(second.size() * 2)));
  }
  const bool finishedBeforeRelease =
      released.wait_for(std::chrono::seconds(0)) == std::future_status::timeout;
  appendsDone = true;
  EXPECT_TRUE(finishedBeforeRelease) << "an append waited for the held commit";
  EXPECT_EQ(file.bytesCommitted(), 0u);
  EXPECT_EQ(readWav(path).dataBytes, 0u) << "the header claims only committed bytes";
  releaser.join();
  ASSERT_TRUE(file.finish());
  EXPECT_GE(commitsStarted.load(), 1);
  EXPECT_EQ(file.bytesCommitted(), 5u * 44100 * 4);
  const WavContents w = readWav(path);
  ASSERT_TRUE(w.accepted);
  EXPECT_EQ(w.dataBytes, 5u * 44100 * 4);
  EXPECT_EQ(w.samples[2 * 44100 * 4 + 3], static_cast<int16_t>(4000 + 3 % 7));
}

TEST(InputQueueTest, FillsQueuedBuffersInOrderAndCountsWhatFindsNoBuffer) {
  std::vector<int16_t> mem(2 * 3 * 2);
  InputBuffer a, b;
  a.data = mem.data();
  a.frames = 3;
  b.data = mem.data() + 6;
  b.frames = 3;
  InputQueue q;
  EXPECT_TRUE(q.empty());
  ASSERT_TRUE(q.push(&a));
  ASSERT_TRUE(q.push(&b));
  const int16_t frames[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  EXPECT_EQ(q.fill(frames, 2), 0u);
  EXPECT_FALSE(a.done);
  EXPECT_EQ(q.fill(frames + 4, 2), 0u);
  EXPECT_TRUE(a.done);
  EXPECT_FALSE(b.done);
  EXPECT_EQ(b.framesRecorded, 1u);
  EXPECT_EQ(q.fill(frames + 8, 4), 2u) << "two frames had no buffer";
  EXPECT_TRUE(b.done);
  EXPECT_EQ(std::vector<int16_t>(mem.begin(), mem.end()),
            std::vector<int16_t>(frames, frames + 12));

  // A reset returns a part-filled buffer done, with what it holds.
  ASSERT_TRUE(q.push(&a));
  EXPECT_FALSE(a.done);
  EXPECT_EQ(q.fill(frames, 1), 0u);
  q.flush();
  EXPECT_TRUE(a.done);
  EXPECT_EQ(a.framesRecorded, 1u);
  EXPECT_TRUE(q.empty());
}

TEST(WavFileSourceTest, GivesTheFileSamplesThenSilence) {
  TempDir dir;
  const std::string path = dir.file("in.wav");
  {
    BinaryFile f(path, BinaryFile::Mode::Create);
    writeWavHeader(f, 12, 48000);
    const int16_t s[] = {1, -1, 2, -2, 3, -3};
    f.write(s, sizeof s);
  }
  WavFileSource src;
  ASSERT_EQ(src.open(path), "");
  EXPECT_EQ(src.rate(), 48000);
  int16_t out[10];
  src.read(out, 2);
  src.read(out + 4, 3);
  EXPECT_EQ(std::vector<int16_t>(out, out + 10),
            (std::vector<int16_t>{1, -1, 2, -2, 3, -3, 0, 0, 0, 0}));
  WavFileSource bad;
  EXPECT_NE(bad.open(dir.file("missing.wav")), "");
}

}  // namespace
}  // namespace tolmar::test
