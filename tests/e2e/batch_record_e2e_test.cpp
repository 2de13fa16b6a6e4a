// tolmar-batch --record: arguments, a recording from a WAV file in real time, Ctrl+C to a
// recording child, and (where the build has PortAudio) the sound card path over ALSA's file
// plugin.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "document/binary_file.h"
#include "document/marker_list.h"
#include "support/recording_support.h"
#include "support/run_batch.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

// The recorder's staircase with a full-scale run on the left at frames [clipAt, clipAt + 6).
Frame inputFrame(int32_t n, int32_t clipAt) {
  Frame f;
  staircase(n, f.left, f.right);
  if (n >= clipAt && n < clipAt + 6) f.left = 32767;
  return f;
}

void writeInput(const std::string& path, int32_t frames, int32_t clipAt) {
  WavBuilder().frames(frames, [clipAt](int32_t n) { return inputFrame(n, clipAt); }).write(path);
}

std::vector<Marker> readMarkers(const std::string& path) {
  MarkerList list;
  BinaryFile f;
  if (f.open(path, BinaryFile::Mode::Read)) list.Read(f);
  return list.items;
}

// Frames of the file against the input from input frame `from`, the clip run included.
::testing::AssertionResult holdsInput(const WavContents& w, int64_t from, int32_t clipAt) {
  for (size_t i = 0; i + 1 < w.samples.size(); i += 2) {
    const Frame f = inputFrame(static_cast<int32_t>(from + static_cast<int64_t>(i / 2)), clipAt);
    if (w.samples[i] != f.left || w.samples[i + 1] != f.right)
      return ::testing::AssertionFailure() << "file frame " << i / 2 << " differs";
  }
  return ::testing::AssertionSuccess();
}

struct BatchRecordTest : ::testing::Test {
  TempDir dir;
  std::string out = dir.file("side a.wav");
  std::string mkr = dir.file("side a.mkr");
  std::string input = dir.file("transfer.wav");
};

TEST_F(BatchRecordTest, BadArgumentsAreRefusedWithAReasonAndTouchNothing) {
  writeInput(input, 44100, 1000);
  const std::string rec = "--record " + shellQuoted(out);
  struct Case {
    std::string args, says;
  };
  const std::vector<Case> cases = {
      {rec, "--record needs a --limit"},
      {rec + " --limit 0.5", "--limit needs a time of at least a second"},
      {rec + " --limit soon", "--limit needs a time of at least a second"},
      {rec + " --limit 5 --rate 22050", "--rate needs 44100 or 48000"},
      {"--limit 5", "--limit, --rate and --input need --record"},
      {rec + " --limit 5 other.wav", "--record takes no other files"},
      {rec + " --limit 5 --step \"File | Save\"", "--record does not mix with other modes"},
      {rec + " --limit 5 --input " + shellQuoted(dir.file("none.wav")), "cannot open"},
      {rec + " --limit 5 --input " + shellQuoted(input) + " --rate 48000",
       "--rate 48000 is not the rate of"},
  };
  for (const Case& c : cases) {
    const BatchRun r = runBatch(c.args);
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << "\n" << r.err;
    EXPECT_FALSE(fileExists(out)) << c.args;
  }
  // A limit longer than the header's sizes can count.
  const BatchRun tooLong = runBatch(rec + " --limit 500:00 --input " + shellQuoted(input));
  EXPECT_EQ(tooLong.status, 2);
  EXPECT_NE(tooLong.err.find("is longer than a WAV file at 44100 Hz can hold (405 minutes)"),
            std::string::npos)
      << tooLong.err;

  // A file that cannot be created: the reason, and nothing recorded.
  const std::string nowhere = dir.file("no such dir/side.wav");
  const BatchRun cannot =
      runBatch("--record " + shellQuoted(nowhere) + " --limit 5 --input " + shellQuoted(input), 60);
  EXPECT_EQ(cannot.status, 1);
  EXPECT_NE(cannot.err.find("Failed to create file " + nowhere), std::string::npos) << cannot.err;

  // An existing file is somebody's recording: never overwritten.
  writeInput(out, 100, 0);
  const BatchRun exists = runBatch(rec + " --limit 5 --input " + shellQuoted(input));
  EXPECT_EQ(exists.status, 2);
  EXPECT_NE(exists.err.find("already exists"), std::string::npos) << exists.err;
  EXPECT_EQ(readWav(out).dataBytes, 400u);
}

TEST_F(BatchRecordTest, ARecordingFromAFileStopsAtItsLimitWithItsClipMarker) {
  writeInput(input, 44100 * 4, 30000);
  const BatchRun r =
      runBatch("--set Options.clippingsamples=4 --set Options.recplaybuffs=16 --record " +
                   shellQuoted(out) + " --limit 2 --input " + shellQuoted(input),
               60);
  ASSERT_EQ(r.status, 0) << r.err << r.out;
  const WavContents w = readWav(out);
  ASSERT_TRUE(w.accepted);
  EXPECT_EQ(w.rate, 44100);
  EXPECT_EQ(w.dataBytes, 44100u * 2 * 4);
  EXPECT_TRUE(holdsInput(w, 0, 30000));
  const std::vector<Marker> m = readMarkers(mkr);
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].kind, Marker::Left);
  EXPECT_EQ(m[0].position, 30003);
  EXPECT_EQ(m[0].count, 6);
  // Not a terminal: no meter lines, one line at the end.
  EXPECT_EQ(r.out.find('\r'), std::string::npos);
  EXPECT_EQ(r.out, "Recorded 00:02.000 (88200 frames at 44100 Hz) to " + out +
                       "; 1 clip marker in " + mkr + "\n");
  EXPECT_NE(r.err.find("Recording stopped automatically after 0:02"), std::string::npos) << r.err;
}

// The child's exit status, or -1 when it had to be killed.
int waitFor(pid_t pid, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

// A recording child started on the input, its output and errors going to `log`; `fileLimit`
// (bytes, 0 for none) makes its writes fail past that size, as a full disk would.
pid_t startRecording(const std::string& out, const std::string& input, const std::string& log,
                     rlim_t fileLimit = 0) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, STDOUT_FILENO);
    dup2(fd, STDERR_FILENO);
    if (fileLimit > 0) {
      signal(SIGXFSZ, SIG_IGN);  // stays ignored across exec: a write past the limit comes up short
      rlimit limit{fileLimit, fileLimit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    // Sixteen buffers in flight: a loaded machine may stall the child without losing frames.
    execl(TOLMAR_BATCH_EXE, TOLMAR_BATCH_EXE, "--set", "Options.recplaybuffs=16", "--record",
          out.c_str(), "--limit", "1:00", "--input", input.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

// A full disk (as above) on a recording whose output and errors go to a terminal; what the
// terminal received, and the exit status. Nothing when the machine offers no pseudo-terminal.
std::optional<std::string> recordOnATerminalUntilTheDiskIsFull(const std::string& out,
                                                               const std::string& input,
                                                               rlim_t room, int& status) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) return std::nullopt;
  const int terminal = grantpt(master) == 0 && unlockpt(master) == 0
                           ? ::open(ptsname(master), O_RDWR | O_NOCTTY)
                           : -1;
  if (terminal < 0) {
    close(master);
    return std::nullopt;
  }
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(terminal, STDOUT_FILENO);
    dup2(terminal, STDERR_FILENO);
    close(terminal);
    close(master);
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{room, room};
    setrlimit(RLIMIT_FSIZE, &limit);
    execl(TOLMAR_BATCH_EXE, TOLMAR_BATCH_EXE, "--set", "Options.recplaybuffs=16", "--record",
          out.c_str(), "--limit", "1:00", "--input", input.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(terminal);
  std::string text;
  char buf[4096];
  // Read until the child's end of the terminal closes (EIO), so that it never blocks on a full one.
  for (;;) {
    const ssize_t n = read(master, buf, sizeof buf);
    if (n > 0) {
      text.append(buf, static_cast<size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  close(master);
  waitpid(pid, &status, 0);
  return text;
}

std::string readText(const std::string& path) {
  std::ifstream in(path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST_F(BatchRecordTest, CtrlCStopsTheRecordingAndKeepsEverythingRecorded) {
  writeInput(input, 44100 * 40, 44100 / 2);
  const std::string log = dir.file("out.txt");
  const pid_t pid = startRecording(out, input, log);
  ASSERT_GT(pid, 0);
  // Wait until the header claims at least a second: the file is committed once a second.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (readWav(out).dataBytes < 44100u * 4 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const uint32_t committed = readWav(out).dataBytes;
  ASSERT_GE(committed, 44100u * 4) << "the recording did not get going";
  kill(pid, SIGINT);
  ASSERT_EQ(waitFor(pid, 30), 0);

  const WavContents w = readWav(out);
  ASSERT_TRUE(w.accepted);
  EXPECT_GE(w.dataBytes, committed);
  EXPECT_LT(w.dataBytes, 44100u * 4 * 30) << "Ctrl+C did not stop the recording";
  // Whole buffers (a tenth of a second by default), the header claiming exactly what is there.
  EXPECT_EQ(w.dataBytes % (4410 * 4), 0u);
  EXPECT_EQ(w.fileBytes, 44 + static_cast<int64_t>(w.dataBytes));
  EXPECT_TRUE(holdsInput(w, 0, 44100 / 2));
  const std::vector<Marker> m = readMarkers(mkr);
  ASSERT_EQ(m.size(), 1u);
  const std::string text = readText(log);
  EXPECT_NE(text.find("Recorded "), std::string::npos) << text;
  EXPECT_NE(text.find("frames at 44100 Hz) to " + out), std::string::npos) << text;
}

TEST_F(BatchRecordTest, AKilledRecordingLeavesAFileThatOpensWithEveryCommittedFrame) {
  writeInput(input, 44100 * 40, 44100 / 2);
  const pid_t pid = startRecording(out, input, dir.file("out.txt"));
  ASSERT_GT(pid, 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (readWav(out).dataBytes < 44100u * 4 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const uint32_t committed = readWav(out).dataBytes;
  ASSERT_GE(committed, 44100u * 4) << "the recording did not get going";
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);

  const WavContents w = readWav(out);
  ASSERT_TRUE(w.accepted);
  EXPECT_GE(w.dataBytes, committed);
  EXPECT_GE(w.fileBytes, 44 + static_cast<int64_t>(w.dataBytes));
  EXPECT_TRUE(holdsInput(w, 0, 44100 / 2));
}

TEST_F(BatchRecordTest, AFullDiskStopsTheRecordingAndKeepsWhatWasWritten) {
  writeInput(input, 44100 * 40, 44100 / 2);
  const std::string log = dir.file("out.txt");
  // Room for five buffers of a tenth of a second and part of the sixth.
  const rlim_t room = 44 + 5 * 4410 * 4 + 1000;
  const pid_t pid = startRecording(out, input, log, room);
  ASSERT_GT(pid, 0);
  EXPECT_EQ(waitFor(pid, 30), 1) << readText(log);
  EXPECT_NE(readText(log).find("Recording stopped: disk full"), std::string::npos) << readText(log);

  const WavContents w = readWav(out);
  ASSERT_TRUE(w.accepted);
  EXPECT_GE(w.dataBytes, 5u * 4410 * 4);
  EXPECT_LE(w.dataBytes + 44, room);
  EXPECT_EQ(w.fileBytes, 44 + static_cast<int64_t>(w.dataBytes))
      << "the header claims what is there";
  EXPECT_TRUE(holdsInput(w, 0, 44100 / 2));
  EXPECT_EQ(readMarkers(mkr).size(), 1u) << "the clip marker of the first half second is kept";
}

TEST_F(BatchRecordTest, OnATerminalTheDiskFullMessageStartsALineOfItsOwn) {
  writeInput(input, 44100 * 40, 44100 / 2);
  int status = 0;
  const std::optional<std::string> shown =
      recordOnATerminalUntilTheDiskIsFull(out, input, 44 + 5 * 4410 * 4 + 1000, status);
  if (!shown) GTEST_SKIP() << "this machine offers no pseudo-terminal";
  const std::string& text = *shown;
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1) << text;
  ASSERT_NE(text.find("  clips "), std::string::npos) << "the meters were shown: " << text;
  const size_t at = text.find("Recording stopped: disk full");
  ASSERT_NE(at, std::string::npos) << text;
  // The meter line is wiped first: only its erasing, not its meters, stands before the message.
  const size_t lineStart = text.rfind('\r', at);
  ASSERT_NE(lineStart, std::string::npos);
  EXPECT_EQ(text.substr(lineStart, at - lineStart), "\r\x1b[Kerror: ") << text;
}

#ifdef TOLMAR_BATCH_PLAYS
struct BatchRecordCardTest : BatchRecordTest {
  std::string capture = dir.file("capture.raw");
  BatchRecordCardTest() {
    setenv("ALSA_CONFIG_PATH", TOLMAR_ALSA_TEST_CONF, 1);
    setenv("TEST_ALSA_PLAY_FILE", dir.file("played.wav").c_str(), 1);
    setenv("TEST_ALSA_CAPTURE_FILE", capture.c_str(), 1);
  }
  ~BatchRecordCardTest() override { unsetenv("ALSA_CONFIG_PATH"); }
};

TEST_F(BatchRecordCardTest, TheSoundCardsCaptureLandsByteExactWithItsClipMarker) {
  // Raw frames, as the plugin reads them; long enough that it never runs dry while the
  // sixteen one-second buffers fill.
  {
    std::ofstream raw(capture, std::ios::binary);
    for (int32_t n = 0; n < 48000 * 24; ++n) {
      const Frame f = inputFrame(n, 60000);
      const char b[4] = {static_cast<char>(f.left & 0xFF), static_cast<char>(f.left >> 8),
                         static_cast<char>(f.right & 0xFF), static_cast<char>(f.right >> 8)};
      raw.write(b, 4);
    }
  }
  const BatchRun r = runBatch(
      "--set Options.recplaybuffs=16 --set Options.recplaybps=1 "
      "--set Options.clippingsamples=4 --rate 48000 --record " +
          shellQuoted(out) + " --limit 3",
      60);
  ASSERT_EQ(r.status, 0) << r.err << r.out;
  const WavContents w = readWav(out);
  ASSERT_TRUE(w.accepted);
  EXPECT_EQ(w.rate, 48000);
  ASSERT_EQ(w.dataBytes, 48000u * 3 * 4);
  // Where the capture starts is the plugin's business; from there every frame follows.
  const int64_t first = static_cast<uint16_t>(w.samples[0]);
  EXPECT_LT(first, 8192);
  EXPECT_TRUE(holdsInput(w, first, 60000));
  const std::vector<Marker> m = readMarkers(mkr);
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].position, 60003 - first);
  EXPECT_EQ(m[0].count, 6);
}

TEST_F(BatchRecordCardTest, NoRecordingDeviceIsAClearFailure) {
  // Only a card that no machine has (an empty configuration trips an assertion in PortAudio).
  const std::string noCard = dir.file("no-card.conf");
  std::ofstream(noCard) << "pcm.!default { type hw card 31 }\n";
  setenv("ALSA_CONFIG_PATH", noCard.c_str(), 1);
  const BatchRun r = runBatch("--record " + shellQuoted(out) + " --limit 3", 60);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.err.find("no recording device found"), std::string::npos) << r.err;
  EXPECT_FALSE(fileExists(out));
}
#endif

}  // namespace
}  // namespace tolmar::test
