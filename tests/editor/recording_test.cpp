#include "editor/recording.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "audio/memory_input_device.h"
#include "document/binary_file.h"
#include "document/wav_format.h"
#include "dsp/effect_road.h"
#include "editor/context.h"
#include "support/file_size_limit.h"
#include "support/recording_support.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"

namespace tolmar::test {
namespace {

struct RecordingTest : ::testing::Test {
  TempDir dir;
  ScriptedHost host;
  Context ctx{host};
  FakeClock clock;
  GeneratorFactory devices;
  MarkerList markers;
  std::vector<Cue> cues;
  std::string wav = dir.file("side.wav");

  RecordingTest() {
    host.ctx = &ctx;
    devices.clock = &clock;
  }

  RecordingRequest request() {
    RecordingRequest r;
    r.fileName = wav;
    r.markers = &markers;
    r.cues = &cues;
    return r;
  }
  std::unique_ptr<TRecording> make(RecordingRequest r) {
    return std::make_unique<TRecording>(ctx, &devices, clock, std::move(r));
  }
  std::unique_ptr<TRecording> make() { return make(request()); }

  // Clock-paced: moves time by whole buffers, ticking after each.
  void advanceBuffers(TRecording& rec, double buffers) {
    const int steps = static_cast<int>(buffers * 10);
    for (int i = 0; i < steps; ++i) {
      clock.ms += 1000 / ctx.settings.recplaybps / 10;
      rec.tick();
    }
  }
};

TEST_F(RecordingTest, ButtonsFollowMonitorRecordPauseResumeStopClose) {
  devices.pacing = MemoryInputDevice::Pacing::Clock;
  auto rec = make();
  EXPECT_EQ(rec->state(), TRecording::Idle);
  EXPECT_EQ(rec->startbtn.caption, "Monitor");
  EXPECT_FALSE(rec->stopbtn.enabled);
  EXPECT_TRUE(rec->cancelbtn.enabled);
  EXPECT_TRUE(rec->maxLimit);
  EXPECT_EQ(rec->limitMinutes, 5);

  rec->startbtnClick();
  EXPECT_EQ(rec->state(), TRecording::Monitoring);
  EXPECT_EQ(rec->startbtn.caption, "Record");
  EXPECT_EQ(rec->startbtn.hint, "Start Recording");
  EXPECT_FALSE(rec->rategroupEnabled);
  EXPECT_TRUE(rec->inputRunning());
  advanceBuffers(*rec, 3);
  EXPECT_FALSE(fileExists(wav)) << "monitoring never writes a file";

  rec->startbtnClick();
  EXPECT_EQ(rec->state(), TRecording::Recording);
  EXPECT_EQ(rec->startbtn.caption, "Pause");
  EXPECT_EQ(rec->startbtn.hint, "Pause Recording");
  EXPECT_FALSE(rec->cancelbtn.enabled);
  EXPECT_TRUE(rec->stopbtn.enabled);
  EXPECT_FALSE(rec->limitgroupEnabled);
  EXPECT_EQ(rec->timedrecbtn.caption, "Recording");
  EXPECT_FALSE(rec->timedrecbtn.enabled);
  EXPECT_FALSE(rec->timerdelaybtn.enabled);
  EXPECT_TRUE(fileExists(wav));
  advanceBuffers(*rec, 20);  // 2 s
  EXPECT_EQ(rec->largetimer, "00:02");

  rec->startbtnClick();
  EXPECT_EQ(rec->state(), TRecording::Paused);
  EXPECT_EQ(rec->startbtn.caption, "Resume");
  EXPECT_EQ(rec->startbtn.hint, "Resume Recording");
  EXPECT_TRUE(rec->cancelbtn.enabled);
  advanceBuffers(*rec, 300);  // 30 s paused count for nothing
  EXPECT_EQ(rec->largetimer, "00:02");

  rec->startbtnClick();
  EXPECT_EQ(rec->state(), TRecording::Recording);
  EXPECT_EQ(rec->startbtn.caption, "Pause");
  advanceBuffers(*rec, 10);
  EXPECT_EQ(rec->largetimer, "00:03");

  rec->stopbtnClick();
  EXPECT_EQ(rec->cancelbtn.caption, "Close");
  EXPECT_TRUE(rec->cancelbtn.enabled);
  EXPECT_FALSE(rec->startbtn.enabled);
  EXPECT_FALSE(rec->stopbtn.enabled);
  EXPECT_FALSE(rec->resetbtn.enabled);
  EXPECT_FALSE(rec->trackbtn.enabled);
  EXPECT_TRUE(rec->narrowLayout);
  advanceBuffers(*rec, 1);
  EXPECT_FALSE(rec->inputRunning());
  rec->cancelbtnClick();
  EXPECT_EQ(rec->result(), TRecording::Result::Cancel);
  EXPECT_TRUE(host.messages.empty());

  // 3 buffers monitored, 20 recorded, 300 paused, 11 recorded (the one returned after Stop).
  const WavContents w = readWav(wav);
  ASSERT_TRUE(w.accepted);
  const int64_t F = 4410;
  EXPECT_EQ(w.dataBytes, 31 * F * 4);
  EXPECT_EQ(w.fileBytes, 44 + 31 * F * 4);
  EXPECT_TRUE(holdsFrames(w, 0, 3 * F, 20 * F));
  EXPECT_TRUE(holdsFrames(w, 20 * F, 323 * F, 11 * F));
  EXPECT_EQ(rec->droppedBuffers(), 0u);
}

TEST_F(RecordingTest, CancelFromMonitoringLeavesNoFile) {
  devices.pacing = MemoryInputDevice::Pacing::Clock;
  auto rec = make();
  rec->startbtnClick();
  advanceBuffers(*rec, 5);
  host.onPump = [&](int) { clock.ms += 10; };
  rec->cancelbtnClick();
  EXPECT_EQ(rec->state(), TRecording::Cancelling);
  EXPECT_FALSE(rec->inputRunning());
  EXPECT_TRUE(rec->closed());
  EXPECT_FALSE(rec->fileWritten());
  EXPECT_FALSE(fileExists(wav));
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(RecordingTest, StopAfterTwoAndAHalfBuffersWritesTheWholeBuffersReturned) {
  devices.pacing = MemoryInputDevice::Pacing::Clock;
  auto rec = make();
  rec->startbtnClick();
  rec->startbtnClick();
  advanceBuffers(*rec, 2.5);
  rec->stopbtnClick();
  EXPECT_TRUE(rec->inputRunning()) << "the input stops at the next returned buffer";
  advanceBuffers(*rec, 0.5);
  EXPECT_FALSE(rec->inputRunning());
  const WavContents w = readWav(wav);
  ASSERT_TRUE(w.accepted);
  EXPECT_EQ(w.dataBytes, rec->bytesWritten());
  EXPECT_EQ(w.dataBytes, 3u * 4410 * 4);
  EXPECT_TRUE(holdsFrames(w, 0, 0, 3 * 4410));
}

TEST_F(RecordingTest, LimitStopsAtExactlyTheLimitWithItsMessage) {
  ctx.settings.defaultrectime = 1;
  auto rec = make();
  EXPECT_FALSE(rec->maxLimit);
  EXPECT_EQ(rec->limitMinutes, 1);
  rec->startbtnClick();
  rec->tick();  // some buffers while monitoring
  rec->startbtnClick();
  for (int i = 0; i < 1000 && rec->inputRunning(); ++i) rec->tick();
  EXPECT_FALSE(rec->inputRunning());
  EXPECT_TRUE(rec->autoStopped());
  EXPECT_TRUE(host.said("Recording stopped automatically after 1:00"));
  EXPECT_EQ(rec->cancelbtn.caption, "Close");
  const WavContents w = readWav(wav);
  ASSERT_TRUE(w.accepted);
  EXPECT_EQ(w.dataBytes, 60u * 44100 * 4);
  EXPECT_TRUE(holdsFrames(w, 0, 4 * 4410, 60 * 44100));

  // Without a limit the cap keeps the 32-bit sizes safe.
  TRecording r2(ctx, &devices, clock, request());
  r2.limitChoiceClick(true);
  r2.rategroupClick(1);
  r2.startbtnClick();
  r2.startbtnClick();
  EXPECT_EQ(r2.limitSeconds(), 0x3FFFFFFF / 48000);
  r2.stopbtnClick();
  r2.tick();
}

TEST_F(RecordingTest, FullDiskStopsAndKeepsWhatWasWritten) {
  auto rec = make();
  rec->startbtnClick();
  rec->startbtnClick();
  {
    // Room for 10.25 buffers of frames after the header.
    FileSizeLimit limit(44 + 4410 * 4 * 10 + 4410);
    for (int i = 0; i < 100 && rec->inputRunning(); ++i) rec->tick();
  }
  EXPECT_FALSE(rec->inputRunning());
  EXPECT_TRUE(rec->diskFull());
  EXPECT_TRUE(host.said("Recording stopped: disk full"));
  const WavContents w = readWav(wav);
  ASSERT_TRUE(w.accepted);
  EXPECT_EQ(w.fileBytes, 44 + static_cast<int64_t>(w.dataBytes));
  EXPECT_GE(w.dataBytes, 10u * 4410 * 4);
  EXPECT_EQ(w.dataBytes % 4, 0u);
  EXPECT_TRUE(holdsFrames(w, 0, 0, w.dataBytes / 4));
}

TEST_F(RecordingTest, ClipRunsGiveMarkersCountsAndEvents) {
  // Left: a run of 4 full-scale samples from frame 5000, a run of 9 (negative, -32768 counts
  // as 32767) from 6000. Right: 3 samples only at 7000 (too short), a ramp of near-full-scale
  // values from 8000 for flat-top tests.
  devices.gen = [](int64_t n, int16_t& l, int16_t& r) {
    l = 100;
    r = 100;
    if (n >= 5000 && n < 5004) l = 32767;
    if (n >= 6000 && n < 6009) l = n % 2 ? -32768 : -32767;
    if (n >= 7000 && n < 7003) r = 32767;
    if (n >= 8000 && n < 8010) r = static_cast<int16_t>(32000 + (n - 8000) * 50);
  };
  auto runWith = [&](int samples, int value, bool flat, double variance) {
    markers.Clear();
    RecordingRequest r = request();
    r.clippingsamples = samples;
    r.clippingvalue = value;
    r.flattopsonly = flat;
    r.ftvariance = variance;
    auto rec = make(r);
    rec->startbtnClick();
    rec->startbtnClick();
    rec->tick();  // four buffers: frames 0 … 17639
    rec->stopbtnClick();
    rec->tick();
    return rec;
  };

  auto rec = runWith(4, 32767, false, 0.0);
  ASSERT_EQ(markers.size(), 2u);
  EXPECT_EQ(markers.items[0].kind, Marker::Left);
  EXPECT_EQ(markers.items[0].position, 5003);
  EXPECT_EQ(markers.items[0].count, 4);
  EXPECT_EQ(markers.items[1].position, 6003);
  EXPECT_EQ(markers.items[1].count, 9) << "a longer run updates its marker's count";
  EXPECT_EQ(rec->totalClips, 2);
  EXPECT_EQ(rec->clipsSinceReset, 2);
  rec->resetClick();
  EXPECT_EQ(rec->clipsSinceReset, 0);
  EXPECT_EQ(rec->totalClips, 2);
  EXPECT_EQ(rec->meters[0].peak, 0);

  // A lower clipping level catches the right channel's ramp as one run of 10.
  runWith(3, 32000, false, 0.0);
  ASSERT_EQ(markers.size(), 4u);
  EXPECT_EQ(markers.items[2].kind, Marker::Right);
  EXPECT_EQ(markers.items[2].position, 7002);
  EXPECT_EQ(markers.items[3].kind, Marker::Right);
  EXPECT_EQ(markers.items[3].position, 8002);
  EXPECT_EQ(markers.items[3].count, 10);

  // Flat tops only: the ramp changes by about 0.16 % a step, so it is no clip at 0.1 % …
  runWith(3, 32000, true, 0.1);
  EXPECT_EQ(markers.size(), 3u);
  // … and is one at 0.2 %, while the alternating -32768/-32767 run stays a clip at 0.01 %.
  runWith(3, 32000, true, 0.2);
  EXPECT_EQ(markers.size(), 4u);
  runWith(4, 32767, true, 0.0);
  EXPECT_EQ(markers.size(), 2u);
}

TEST_F(RecordingTest, TrackCuesRoundUpToCdFramesAndSpaceMarksBackByTheOffset) {
  ctx.sampleRate = 48000;
  ctx.settings.recplaybps = 48;  // 1000 frames a buffer
  devices.pacing = MemoryInputDevice::Pacing::Clock;
  auto rec = make();
  rec->trackbtnClick();  // not recording: nothing
  rec->startbtnClick();
  rec->startbtnClick();
  clock.ms += 21;  // one buffer of 1000 frames at 48 kHz is 20.8 ms
  rec->tick();
  ASSERT_EQ(rec->recordedFrames(), 1000);
  rec->trackbtnClick();
  rec->spaceKeyDown();  // 300 ms back from frame 1000 is before the start
  for (int i = 0; i < 50; ++i) {
    clock.ms += 21;
    rec->tick();
  }
  const int64_t at = rec->recordedFrames();
  rec->spaceKeyDown();
  rec->trackbtnClick();
  ASSERT_EQ(cues.size(), 2u);
  EXPECT_EQ(cues[0].position, 1280);
  EXPECT_TRUE(cues[0].track);
  EXPECT_EQ(cues[1].position, (at + 639) / 640 * 640);
  ASSERT_EQ(markers.size(), 2u);
  EXPECT_EQ(markers.items[0].position, 0);
  EXPECT_EQ(markers.items[1].position, at - 48000 * 300 / 1000);
  EXPECT_EQ(markers.items[1].kind, Marker::Both);
  EXPECT_EQ(devices.last->droppedBuffers(), 0u);
  rec.reset();
  EXPECT_EQ(markers.items[1].count, 0);

  ctx.sampleRate = 44100;
  ctx.settings.recplaybps = 10;
  cues.clear();
  TRecording r2(ctx, &devices, clock, request());
  r2.startbtnClick();
  r2.startbtnClick();
  clock.ms += 100;
  r2.tick();
  r2.trackbtnClick();
  ASSERT_EQ(cues.size(), 1u);
  EXPECT_EQ(cues[0].position, 4704);  // 4410 up to 8 × 588
}

TEST_F(RecordingTest, MetersLightByThresholdAndKeepThePeak) {
  devices.gen = [](int64_t n, int16_t& l, int16_t& r) {
    l = n < 4410 ? 256 : 16384;
    r = n < 4410 ? 255 : 0;
  };
  devices.pacing = MemoryInputDevice::Pacing::Clock;
  auto rec = make();
  rec->startbtnClick();
  clock.ms += 100;
  rec->tick();
  EXPECT_EQ(rec->meters[0].ledsLit, 2);  // -48 and -42 dB
  EXPECT_EQ(rec->meters[1].ledsLit, 1);
  EXPECT_EQ(rec->meters[0].peakLabel, LevelToDb(256));
  clock.ms += 100;
  rec->tick();
  EXPECT_EQ(rec->meters[0].ledsLit, 11);
  EXPECT_EQ(rec->meters[1].ledsLit, 0);
  EXPECT_EQ(rec->meters[1].peak, 255) << "the stored peak stays";
  EXPECT_FALSE(rec->meters[0].clipLed);

  RecordingRequest off = request();
  off.metersOff = true;
  off.counterOff = true;
  TRecording r2(ctx, &devices, clock, off);
  r2.startbtnClick();
  r2.startbtnClick();
  clock.ms += 200;
  r2.tick();
  EXPECT_EQ(r2.meters[0].ledsLit, 0);
  EXPECT_TRUE(r2.largetimer.empty());
  EXPECT_EQ(r2.meters[0].peak, 16384) << "the peak label still follows";
  r2.stopbtnClick();
  clock.ms += 100;
  r2.tick();
}

TEST_F(RecordingTest, DeviceFailuresGiveTheirMessages) {
  devices.configure = [](MemoryInputDevice& d) { d.openError = "busy"; };
  {
    auto rec = make();
    rec->startbtnClick();
    EXPECT_TRUE(host.said("Failed to open a suitable input device (busy)"));
    EXPECT_EQ(rec->state(), TRecording::Monitoring);
    EXPECT_FALSE(rec->startbtn.enabled);
    EXPECT_FALSE(rec->timerdelaybtn.enabled);
    rec->cancelbtnClick();
    EXPECT_TRUE(rec->closed());
  }
  devices.configure = [](MemoryInputDevice& d) { d.addError = 7; };
  make()->startbtnClick();
  EXPECT_TRUE(host.said("Failed to add data buffer #0 to input device, code=7"));
  devices.configure = [](MemoryInputDevice& d) { d.startError = 9; };
  make()->startbtnClick();
  EXPECT_TRUE(host.said("Failed to start recording, code=9"));
  TRecording none(ctx, nullptr, clock, request());
  none.startbtnClick();
  EXPECT_TRUE(host.said("Failed to open a suitable input device (no input device)"));

  // A device that never returns a buffer: Cancel gives up after the hang timer.
  host.messages.clear();
  devices.configure = [](MemoryInputDevice& d) { d.hang = true; };
  auto rec = make();
  rec->startbtnClick();
  rec->startbtnClick();
  const int64_t start = clock.ms;
  host.onPump = [&](int) { clock.ms += 50; };
  rec->cancelbtnClick();
  EXPECT_GE(clock.ms - start, TRecording::kHungTimerMs);
  EXPECT_LT(clock.ms - start, TRecording::kHungTimerMs + 200);
  EXPECT_TRUE(host.said("Recording appears to have hung for unknown reason"));
  EXPECT_TRUE(rec->closed());
  const WavContents w = readWav(wav);
  EXPECT_TRUE(w.accepted);
  EXPECT_EQ(w.dataBytes, 0u);
}

TEST_F(RecordingTest, TimerDelayedRecordingStartsAtTheChosenMinute) {
  devices.pacing = MemoryInputDevice::Pacing::Clock;
  auto rec = make();
  rec->timerdelaybtnClick();
  EXPECT_TRUE(rec->expanded);
  EXPECT_TRUE(rec->timer1Running);
  EXPECT_EQ(rec->dtnow, "2023-11-14 22:13:20");
  EXPECT_EQ(rec->dtstart, "2023-11-14 22:14:00");
  rec->UpDown4Click(true);
  rec->UpDown3Click(false);
  EXPECT_EQ(formatDateTime(rec->startTime()), "2023-11-14 23:13:00");
  rec->UpDown2Click(true);  // the clock runs an hour ahead
  rec->UpDown1Click(false);
  rec->UpDown1Click(false);
  EXPECT_EQ(rec->clockOffsetSeconds(), 3600 - 120);

  // No limit set: the question, and Cancel keeps it from waiting.
  host.answers.push_back(Answer::Cancel);
  rec->timedrecbtnClick();
  EXPECT_TRUE(host.asked("No time limit set for timed recording: are you sure?"));
  EXPECT_FALSE(rec->waiting());
  host.answers.push_back(Answer::Ok);
  rec->timedrecbtnClick();
  EXPECT_TRUE(rec->waiting());
  EXPECT_EQ(rec->timedrecbtn.caption, "Waiting");
  EXPECT_FALSE(rec->upDownsEnabled);

  // Now + 58 minutes is 23:11:20: the start is 100 s away.
  for (int i = 0; i < 99; ++i) {
    clock.ms += 1000;
    rec->tick();
  }
  EXPECT_EQ(rec->state(), TRecording::Idle);
  clock.ms += 1000;
  rec->tick();
  EXPECT_EQ(rec->state(), TRecording::Recording);
  EXPECT_FALSE(rec->waiting());
  EXPECT_EQ(rec->timedrecbtn.caption, "Recording");
  EXPECT_FALSE(rec->timer1Running);
  rec->stopbtnClick();
  clock.ms += 100;
  rec->tick();
}

TEST_F(RecordingTest, TimeDisplaySettingsAreOffWhileTheWindowIsOpen) {
  ctx.settings.timeinframes = true;
  ctx.settings.tracksintimes = true;
  {
    auto rec = make();
    EXPECT_FALSE(ctx.settings.timeinframes);
    EXPECT_FALSE(ctx.settings.tracksintimes);
  }
  EXPECT_TRUE(ctx.settings.timeinframes);
  EXPECT_TRUE(ctx.settings.tracksintimes);
}

// An hour at 48 kHz, paced by a clock moved a buffer at a time: nothing is dropped, the
// memory in use does not grow with the length, and the file holds every frame.
TEST_F(RecordingTest, AnHourLongPacedRecordingHoldsMemoryFlat) {
  ctx.sampleRate = 48000;
  devices.pacing = MemoryInputDevice::Pacing::Clock;
  auto rec = make();
  rec->startbtnClick();
  rec->startbtnClick();
  rusage before{};
  advanceBuffers(*rec, 600);  // the first minute
  getrusage(RUSAGE_SELF, &before);
  for (int i = 0; i < 59 * 600; ++i) {
    clock.ms += 100;
    rec->tick();
  }
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  rec->stopbtnClick();
  clock.ms += 100;
  rec->tick();
  EXPECT_EQ(rec->droppedBuffers(), 0u);
  const int64_t grownKb = after.ru_maxrss - before.ru_maxrss;
  std::printf("peak RSS after 1 min %ld kB, after 60 min %ld kB\n", before.ru_maxrss,
              after.ru_maxrss);
  EXPECT_LT(grownKb, 4096);
  BinaryFile f(wav, BinaryFile::Mode::Read);
  uint32_t dataBytes = 0;
  f.seek(40);
  f.readU32(dataBytes);
  EXPECT_EQ(dataBytes, (3600u * 48000 + 4800) * 4);
  EXPECT_EQ(f.size(), 44 + static_cast<int64_t>(dataBytes));
  // Spot checks: the last buffer is the generator's.
  int16_t s[2];
  f.seek(44 + static_cast<int64_t>(dataBytes) - 4);
  f.read(s, 4);
  int16_t l, r;
  staircase(3600 * 48000 + 4800 - 1, l, r);
  EXPECT_EQ(s[0], l);
  EXPECT_EQ(s[1], r);
  f.close();
  std::filesystem::remove(wav);
}

// The device's own thread paces delivery in real time (twice over): the recorder, ticking
// as a window's timer would, keeps up and drops nothing. What is tested is the hand-over
// between the threads, not the real-time margin (that is the benchmarks' business), so the
// queue holds as many buffers as it can: seconds of slack for a loaded test machine.
TEST_F(RecordingTest, ThreadPacedDeviceDropsNothing) {
  ctx.settings.recplaybuffs = static_cast<int>(InputQueue::kCapacity);
  devices.pacing = MemoryInputDevice::Pacing::Thread;
  devices.configure = [](MemoryInputDevice& d) { d.speed = 2; };
  SystemRecordingClock sys;
  TRecording rec(ctx, &devices, sys, request());
  rec.startbtnClick();
  rec.startbtnClick();
  while (rec.recordedFrames() < 10 * 44100) {
    rec.tick();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  rec.stopbtnClick();
  while (rec.inputRunning()) rec.tick();
  EXPECT_EQ(rec.droppedBuffers(), 0u);
  const WavContents w = readWav(wav);
  ASSERT_TRUE(w.accepted);
  ASSERT_GE(w.dataBytes, 10u * 44100 * 4);
  EXPECT_TRUE(holdsFrames(w, 0, 0, w.dataBytes / 4));
}

}  // namespace
}  // namespace tolmar::test
