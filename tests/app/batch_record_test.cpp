// The pieces of tolmar-batch --record that need no process: the limit's time text and the
// terminal's meter line.

#include "app/batch_record.h"

#include <gtest/gtest.h>

#include "editor/recording.h"
#include "support/recording_support.h"
#include "support/scripted_host.h"

namespace tolmar::test {
namespace {

TEST(BatchRecord, TheLimitIsATimeTextInWholeSecondsOfAtLeastOne) {
  EXPECT_EQ(parseRecordLimit("25:00"), 1500);
  EXPECT_EQ(parseRecordLimit("90"), 90);
  EXPECT_EQ(parseRecordLimit("1:30.5"), 90);
  EXPECT_EQ(parseRecordLimit("1"), 1);
  EXPECT_EQ(parseRecordLimit("0.999"), std::nullopt);
  EXPECT_EQ(parseRecordLimit("0"), std::nullopt);
  EXPECT_EQ(parseRecordLimit("soon"), std::nullopt);
  EXPECT_EQ(parseRecordLimit("-5"), std::nullopt);
  EXPECT_EQ(maxRecordSeconds(44100), 24347);
  EXPECT_EQ(maxRecordSeconds(48000), 22369);
}

TEST(BatchRecord, TheMeterLineShowsTimeLedsClipLightAndPeaks) {
  ScriptedHost host;
  Context ctx{host};
  host.ctx = &ctx;
  FakeClock clock;
  GeneratorFactory devices;
  MarkerList markers;
  RecordingRequest req;
  req.fileName = "unused.wav";
  req.markers = &markers;
  TRecording rec(ctx, &devices, clock, req);
  rec.meters[0].ledsLit = 11;
  rec.meters[0].peakLabel = "-6.0";
  rec.meters[1].ledsLit = 15;
  rec.meters[1].clipLed = true;
  rec.meters[1].peakLabel = "0.0";
  rec.totalClips = 2;
  EXPECT_EQ(meterLine(rec),
            "00:00  L [###########----]      -6.0 dB  R [###############] CLIP 0.0 dB  clips 2");
  rec.metersOff = true;
  EXPECT_EQ(meterLine(rec), "00:00  clips 2");
}

}  // namespace
}  // namespace tolmar::test
