#include "editor/replace.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "document/binary_file.h"
#include "document/clipboard_image.h"
#include "document/wav_format.h"
#include "editor/editor.h"
#include "support/editor_fixture.h"
#include "support/file_size_limit.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

// Source frames that cannot be mistaken for the document's staircase.
Frame sourceFrame(int32_t i) {
  return {static_cast<int16_t>(10000 + i % 7000), static_cast<int16_t>(-20000 - i % 9000)};
}

std::vector<uint8_t> sourceImage(int32_t frames, uint32_t rate = 44100) {
  return WavBuilder().rate(rate).frames(frames, sourceFrame).bytes();
}

struct ReplaceTest : EditorTest {
  void SetUp() override { editor.ctx.settings.tmpdir = dir.path().string(); }

  void openDoc(const WavBuilder& builder, bool peaks = false) {
    editor.ctx.settings.newstylewaveform = peaks;
    builder.write(wav);
    ASSERT_TRUE(editor.OpenDocument(wav));
  }

  void select(int32_t first, int32_t last) {
    editor.doc->selStart = first;
    editor.doc->selEnd = last;
  }

  std::string writeSource(int32_t frames, uint32_t rate = 44100) {
    const std::string path = dir.file("source.wav");
    writeFileBytes(path, sourceImage(frames, rate));
    return path;
  }

  // Answers the open dialog with `path` and the Select Replacement Data dialog with the values.
  void chooseSource(const std::string& path, int64_t startSample, std::optional<int64_t> count) {
    host.openAnswers = {path};
    host.dialogs[kSelectReplacementDataDialogId] = [=, this](tolmar::test::ModelRef m) {
      auto& model = *static_cast<SelectReplacementDataModel*>(m);
      prefilledStart = model.startSample;
      model.startSample = startSample;
      model.replaceCount = count.has_value();
      if (count) model.sampleCount = *count;
      return true;
    };
  }

  Frame frameAt(int32_t f, bool edits = true) {
    int16_t buf[2];
    editor.doc->ReadFrames(edits, buf, f, f);
    return {buf[0], buf[1]};
  }

  // Whether frames first..last read as the given generator from `from` on.
  template <class Gen>
  ::testing::AssertionResult framesAre(int32_t first, int32_t last, Gen gen) {
    for (int32_t f = first; f <= last; ++f) {
      const Frame got = frameAt(f);
      const Frame want = gen(f);
      if (got.left != want.left || got.right != want.right)
        return ::testing::AssertionFailure()
               << "frame " << f << ": " << got.left << "," << got.right << " want " << want.left
               << "," << want.right;
    }
    return ::testing::AssertionSuccess();
  }

  static Frame stair(int32_t f) { return {static_cast<int16_t>(f), static_cast<int16_t>(-f)}; }

  int64_t prefilledStart = -1;
};

// ---- Replace From Clipboard ----

TEST_F(ReplaceTest, ClipboardReplacementIsExactAndUndoable) {
  openDoc(WavBuilder().staircase(1000));
  select(100, 100);  // a single point is enough
  host.hasClipWave = true;
  host.clipWave = sourceImage(30);
  editor.ReplaceFromClipboardWithUndo1Click();
  EXPECT_TRUE(host.messages.empty());
  EXPECT_TRUE(framesAre(100, 129, [](int32_t f) { return sourceFrame(f - 100); }));
  EXPECT_TRUE(framesAre(90, 99, stair));
  EXPECT_TRUE(framesAre(130, 140, stair));
  ASSERT_EQ(editor.doc->undoSteps.size(), 1u);
  EXPECT_EQ(editor.doc->undoCaption(), "Undo Replace From Clipboard");
  EXPECT_EQ(editor.doc->undoSteps[0]->recordCount, 2);
  EXPECT_EQ(editor.doc->interps[0]->partner, editor.doc->interps[1].get());

  editor.Undo1Click();
  EXPECT_TRUE(framesAre(90, 140, stair));
  editor.Redo1Click();
  EXPECT_TRUE(framesAre(100, 129, [](int32_t f) { return sourceFrame(f - 100); }));
}

// Committing the step rescans the overview under a progress panel; an Undo pressed then took
// the new records for the earlier step's and the replacement vanished.
TEST_F(ReplaceTest, ClipboardReplacementRefusesUndoWhileItCommits) {
  openDoc(WavBuilder().staircase(100000), /*peaks=*/true);
  select(10, 10);
  host.hasClipWave = true;
  host.clipWave = sourceImage(5);
  editor.ReplaceFromClipboardWithUndo1Click();
  select(5000, 5000);
  host.clipWave = sourceImage(5000);
  host.onPump = [&](int) { editor.Undo1Click(); };
  editor.ReplaceFromClipboardWithUndo1Click();
  host.onPump = nullptr;
  ASSERT_EQ(editor.doc->undoSteps.size(), 2u);
  EXPECT_TRUE(framesAre(5000, 9999, [](int32_t f) { return sourceFrame(f - 5000); }));
  EXPECT_TRUE(framesAre(10, 14, [](int32_t f) { return sourceFrame(f - 10); }));
}

TEST_F(ReplaceTest, ClipboardLongerThanTheRestStopsAtTheLastFrame) {
  openDoc(WavBuilder().staircase(1000));
  select(990, 995);
  host.hasClipWave = true;
  host.clipWave = sourceImage(30);
  editor.ReplaceFromClipboardWithUndo1Click();
  EXPECT_TRUE(framesAre(990, 999, [](int32_t f) { return sourceFrame(f - 990); }));
  EXPECT_EQ(editor.doc->frameCount, 1000);
  for (const auto& rec : editor.doc->interps) EXPECT_EQ(rec->end, 999);
}

TEST_F(ReplaceTest, ClipboardWithOnlyEditRightChangesOnlyTheRightChannel) {
  openDoc(WavBuilder().staircase(1000));
  select(10, 20);
  editor.ctx.editLeft = false;
  host.hasClipWave = true;
  host.clipWave = sourceImage(5);
  editor.ReplaceFromClipboardWithUndo1Click();
  ASSERT_EQ(editor.doc->interps.size(), 1u);
  EXPECT_TRUE(framesAre(10, 14, [](int32_t f) {
    return Frame{static_cast<int16_t>(f), sourceFrame(f - 10).right};
  }));
}

TEST_F(ReplaceTest, ClipboardRefusalsShowTheirMessageAndChangeNothing) {
  openDoc(WavBuilder().staircase(1000));
  select(10, 20);
  auto notWav = sourceImage(4);
  notWav[9] = 'X';
  const std::vector<std::pair<std::vector<uint8_t>, std::string>> cases = {
      {notWav, kClipNotWavText},
      {WavBuilder().formatTag(3).staircase(4).bytes(), kClipNotPcmText},
      {WavBuilder().channels(1).staircase(4).bytes(), kClipNotStereoText},
      {sourceImage(4, 48000), "Data in clipboard is at sample rate 48000, loaded file is 44100"},
      {WavBuilder().bits(24).staircase(4).bytes(), kClipNot16BitText},
      {WavBuilder().staircase(4).dataSizeField(20).bytes(), kClipNotWavText},
  };
  host.hasClipWave = true;
  for (const auto& [image, text] : cases) {
    host.messages.clear();
    host.clipWave = image;
    editor.ReplaceFromClipboardWithUndo1Click();
    ASSERT_EQ(host.messages.size(), 1u) << text;
    EXPECT_EQ(host.messages[0].kind, MsgKind::Error);
    EXPECT_EQ(host.messages[0].text, text);
  }
  host.messages.clear();
  host.hasClipWave = false;
  editor.ReplaceFromClipboardWithUndo1Click();
  EXPECT_EQ(host.texts(), std::vector<std::string>{
                              "Failed to read from clipboard (code=" + std::to_string(EIO) + ")"});
  EXPECT_TRUE(editor.doc->interps.empty());
  EXPECT_FALSE(editor.doc->canUndo());
}

TEST_F(ReplaceTest, ClipboardWithEighteenByteFmtOrListChunkReadsTheFrames) {
  openDoc(WavBuilder().staircase(1000));
  select(200, 200);
  host.hasClipWave = true;
  host.clipWave = WavBuilder().fmtSize(18).frames(8, sourceFrame).bytes();
  editor.ReplaceFromClipboardWithUndo1Click();
  EXPECT_TRUE(framesAre(200, 207, [](int32_t f) { return sourceFrame(f - 200); }));
  EXPECT_TRUE(framesAre(208, 210, stair));

  select(400, 400);
  host.clipWave =
      WavBuilder().chunk("LIST", bytesOf("INFOISFTabcd")).frames(8, sourceFrame).bytes();
  editor.ReplaceFromClipboardWithUndo1Click();
  EXPECT_TRUE(host.messages.empty());
  EXPECT_TRUE(framesAre(400, 407, [](int32_t f) { return sourceFrame(f - 400); }));
  EXPECT_TRUE(framesAre(408, 410, stair));
}

TEST_F(ReplaceTest, CopyThenReplaceFromClipboardRoundTrips) {
  openDoc(WavBuilder().staircase(1000));
  select(0, 49);
  editor.CopySelectedSampletoClipboard1Click();
  select(500, 500);
  editor.ReplaceFromClipboardWithUndo1Click();
  EXPECT_TRUE(framesAre(500, 549, [](int32_t f) { return stair(f - 500); }));
}

// ---- Replace From File (With Undo) ----

TEST_F(ReplaceTest, FileReplacesTheSelectedRegionFromTheChosenStartSample) {
  openDoc(WavBuilder().staircase(1000));
  select(100, 199);
  chooseSource(writeSource(500), 11, std::nullopt);
  editor.ReplaceFromFile1Click();
  EXPECT_EQ(prefilledStart, 101);  // selection start + 1: source frames count from 1
  EXPECT_EQ(host.fileDialogs.at(0).directory, dir.path().string());
  EXPECT_TRUE(framesAre(100, 199, [](int32_t f) { return sourceFrame(f - 100 + 10); }));
  EXPECT_TRUE(framesAre(200, 205, stair));
  EXPECT_EQ(editor.doc->undoCaption(), "Undo Replace From File");
  editor.Undo1Click();
  EXPECT_TRUE(framesAre(95, 205, stair));
}

TEST_F(ReplaceTest, FileNumberOfSamplesIsLimitedBySourceAndDocument) {
  openDoc(WavBuilder().staircase(1000));
  select(100, 110);
  // 100 from start sample 1 of a 101-frame source: exactly 100.
  chooseSource(writeSource(101), 1, 100);
  editor.ReplaceFromFile1Click();
  EXPECT_TRUE(framesAre(100, 199, [](int32_t f) { return sourceFrame(f - 100); }));
  EXPECT_TRUE(framesAre(200, 201, stair));
  editor.Undo1Click();

  // A source of exactly 100 frames gives all 100 of them.
  chooseSource(writeSource(100), 1, 100);
  editor.ReplaceFromFile1Click();
  EXPECT_TRUE(framesAre(100, 199, [](int32_t f) { return sourceFrame(f - 100); }));
  EXPECT_TRUE(framesAre(200, 201, stair));
  editor.Undo1Click();

  // From start sample 41 of 100 frames only 60 remain; near the end the document limits.
  chooseSource(writeSource(100), 41, 100);
  editor.ReplaceFromFile1Click();
  EXPECT_TRUE(framesAre(100, 159, [](int32_t f) { return sourceFrame(f - 100 + 40); }));
  EXPECT_TRUE(framesAre(160, 161, stair));
  editor.Undo1Click();
  select(980, 990);
  chooseSource(writeSource(100), 1, 100);
  editor.ReplaceFromFile1Click();
  EXPECT_TRUE(framesAre(980, 999, [](int32_t f) { return sourceFrame(f - 980); }));
  EXPECT_EQ(editor.doc->frameCount, 1000);
  editor.Undo1Click();

  // Start samples outside the source replace nothing.
  for (int64_t start : {int64_t{0}, int64_t{101}}) {
    chooseSource(writeSource(100), start, 10);
    editor.ReplaceFromFile1Click();
    EXPECT_FALSE(editor.doc->canUndo()) << start;
  }
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(ReplaceTest, FileReplacementRunsInChunksAndKeepsWhatWasDoneBeforeCancel) {
  openDoc(WavBuilder().staircase(30000));
  select(1000, 21999);
  chooseSource(writeSource(25000), 1, std::nullopt);
  editor.ReplaceFromFile1Click();
  EXPECT_TRUE(framesAre(1000, 21999, [](int32_t f) { return sourceFrame(f - 1000); }));
  EXPECT_TRUE(framesAre(22000, 22001, stair));
  ASSERT_EQ(editor.doc->undoSteps.size(), 1u);
  EXPECT_EQ(editor.doc->undoSteps[0]->recordCount, 6);  // three chunks, two channels
  EXPECT_EQ(host.progressCaptions.back(), " Replacing:");
  editor.Undo1Click();

  // Cancel pressed while the first chunk is reported: that chunk stays, as one undo step.
  host.pumps = 0;
  host.cancelAtPump = 1;
  chooseSource(writeSource(25000), 1, std::nullopt);
  editor.ReplaceFromFile1Click();
  EXPECT_TRUE(framesAre(1000, 9999, [](int32_t f) { return sourceFrame(f - 1000); }));
  EXPECT_TRUE(framesAre(10000, 10010, stair));
  ASSERT_EQ(editor.doc->undoSteps.size(), 1u);
  EXPECT_EQ(editor.doc->undoSteps[0]->recordCount, 2);
}

// Undo pressed while the chunks are made would take the replacement's own uncommitted records
// as the earlier step's; the replacement must end as one step above the earlier one.
TEST_F(ReplaceTest, FileReplacementRefusesUndoWhileItRuns) {
  openDoc(WavBuilder().staircase(30000));
  select(10, 10);
  host.hasClipWave = true;
  host.clipWave = sourceImage(5);
  editor.ReplaceFromClipboardWithUndo1Click();
  select(1000, 21999);
  chooseSource(writeSource(25000), 1, std::nullopt);
  host.onPump = [&](int) { editor.Undo1Click(); };
  editor.ReplaceFromFile1Click();
  host.onPump = nullptr;
  ASSERT_EQ(editor.doc->undoSteps.size(), 2u);
  EXPECT_EQ(editor.doc->undoCaption(), "Undo Replace From File");
  EXPECT_TRUE(framesAre(1000, 21999, [](int32_t f) { return sourceFrame(f - 1000); }));
  EXPECT_TRUE(framesAre(10, 14, [](int32_t f) { return sourceFrame(f - 10); }));
  editor.Undo1Click();
  EXPECT_TRUE(framesAre(995, 22005, stair));
  EXPECT_TRUE(framesAre(10, 14, [](int32_t f) { return sourceFrame(f - 10); }));
}

TEST_F(ReplaceTest, FileWithOnlyEditRightTakesTheSourcesRightChannel) {
  openDoc(WavBuilder().staircase(1000));
  select(100, 149);
  editor.ctx.editLeft = false;
  chooseSource(writeSource(500), 1, std::nullopt);
  editor.ReplaceFromFile1Click();
  EXPECT_TRUE(framesAre(100, 149, [](int32_t f) {
    return Frame{static_cast<int16_t>(f), sourceFrame(f - 100).right};
  }));
}

TEST_F(ReplaceTest, FileAtAnotherRateIsRefusedAndCancelDoesNothing) {
  openDoc(WavBuilder().staircase(1000));
  select(100, 149);
  const std::string src = writeSource(500, 48000);
  chooseSource(src, 1, std::nullopt);
  editor.ReplaceFromFile1Click();
  EXPECT_EQ(host.texts(),
            std::vector<std::string>{src + " is not a 44.1kHz 16bit stereo WAV file"});
  EXPECT_TRUE(host.dialogIds.empty());  // refused before the Select Replacement Data dialog
  EXPECT_EQ(editor.ctx.sampleRate, 44100);

  host.messages.clear();
  chooseSource(writeSource(500), 1, std::nullopt);
  host.dialogs[kSelectReplacementDataDialogId] = [](tolmar::test::ModelRef) { return false; };
  editor.ReplaceFromFile1Click();
  EXPECT_FALSE(editor.doc->canUndo());
  EXPECT_TRUE(host.messages.empty());

  editor.ctx.macroRunning = true;  // never in macro or batch runs
  chooseSource(writeSource(500), 1, std::nullopt);
  editor.ReplaceFromFile1Click();
  editor.ReplaceFromFileDirectOverwrite1Click();
  editor.AppendOtherFiletoEnd1Click();
  EXPECT_EQ(host.openAnswers.size(), 1u);
}

// ---- Replace From File (Direct Overwrite) ----

TEST_F(ReplaceTest, DirectOverwriteWritesExactlyTheSourceFramesIntoTheFile) {
  openDoc(WavBuilder().chunk("LIST", bytesOf("INFO")).staircase(10000), /*peaks=*/true);
  const auto before = readFileBytes(wav);
  const int64_t dataOffset = editor.doc->dataOffset;
  select(1000, 1099);
  chooseSource(writeSource(6000), 501, 4500);  // three blocks of at most 2000 frames
  editor.ReplaceFromFileDirectOverwrite1Click();
  EXPECT_TRUE(host.asked(
      "*** NOTE CAREFULLY ***\r\rThis operation will overwrite the original file on disk and "
      "CANNOT be undone\r\rDo you wish to proceed?"));
  EXPECT_TRUE(host.messages.empty());

  auto expected = before;
  const auto source = sourceImage(6000);
  std::copy_n(source.begin() + 44 + 500 * 4, 4500 * 4, expected.begin() + dataOffset + 1000 * 4);
  EXPECT_EQ(readFileBytes(wav), expected);
  EXPECT_FALSE(editor.doc->canUndo());
  // The overview shows the new frames: block 3 (frames 2000..2999) holds source frames only.
  int16_t peak = 0;
  for (int32_t i = 1500; i < 2500; ++i)
    peak = std::max<int16_t>(peak, static_cast<int16_t>(-sourceFrame(i).right));
  EXPECT_EQ(editor.doc->peakRight.at(2), peak);
}

TEST_F(ReplaceTest, DirectOverwriteKeepsTheChannelThatIsNotEdited) {
  openDoc(WavBuilder().staircase(5000));
  select(100, 2599);
  editor.ctx.editRight = false;
  chooseSource(writeSource(5000), 1, std::nullopt);
  editor.ReplaceFromFileDirectOverwrite1Click();
  EXPECT_TRUE(framesAre(100, 2599, [](int32_t f) {
    return Frame{sourceFrame(f - 100).left, static_cast<int16_t>(-f)};
  }));
  EXPECT_TRUE(framesAre(2600, 2601, stair));
}

TEST_F(ReplaceTest, RedoIsRefusedWhileAReplacementOrAppendWritesTheFile) {
  openDoc(WavBuilder().staircase(10000));
  select(10, 20);
  host.hasClipWave = true;
  host.clipWave = sourceImage(5);
  editor.ReplaceFromClipboardWithUndo1Click();
  editor.Undo1Click();
  ASSERT_TRUE(editor.doc->canRedo());
  host.pumps = 0;
  int tries = 0;
  host.onPump = [&](int) {
    if (!editor.doc->directWriting) return;
    editor.Redo1Click();
    ++tries;
  };
  select(0, 4999);
  chooseSource(writeSource(5000), 1, std::nullopt);
  editor.ReplaceFromFileDirectOverwrite1Click();
  host.openAnswers = {writeSource(5000)};
  editor.AppendOtherFiletoEnd1Click();
  EXPECT_GE(tries, 4);  // both commands write in several blocks
  EXPECT_TRUE(editor.doc->interps.empty());
  EXPECT_TRUE(framesAre(0, 4999, [](int32_t f) { return sourceFrame(f); }));
  EXPECT_TRUE(framesAre(10000, 14999, [](int32_t f) { return sourceFrame(f - 10000); }));
}

TEST_F(ReplaceTest, DirectOverwriteWithinTheSameFileCopiesOverlappingRanges) {
  openDoc(WavBuilder().staircase(10000));
  // Onto a later range that overlaps the source range.
  select(1000, 1001);
  chooseSource(wav, 1, 3000);
  editor.ReplaceFromFileDirectOverwrite1Click();
  EXPECT_TRUE(framesAre(0, 999, stair));
  EXPECT_TRUE(framesAre(1000, 3999, [](int32_t f) { return stair(f - 1000); }));
  EXPECT_TRUE(framesAre(4000, 4001, stair));

  // Onto an earlier overlapping range.
  WavBuilder().staircase(10000).write(wav);
  editor.doc->invalidateReadStream();
  select(0, 1);
  chooseSource(wav, 1001, 3000);
  editor.ReplaceFromFileDirectOverwrite1Click();
  EXPECT_TRUE(framesAre(0, 2999, [](int32_t f) { return stair(f + 1000); }));
  EXPECT_TRUE(framesAre(3000, 4001, stair));
}

TEST_F(ReplaceTest, DirectOverwriteIsRefusedWithUnsavedEditsOrWhenDeclined) {
  openDoc(WavBuilder().staircase(1000));
  const auto before = readFileBytes(wav);
  select(10, 20);
  host.hasClipWave = true;
  host.clipWave = sourceImage(5);
  editor.ReplaceFromClipboardWithUndo1Click();
  chooseSource(writeSource(100), 1, std::nullopt);
  editor.ReplaceFromFileDirectOverwrite1Click();
  editor.AppendOtherFiletoEnd1Click();
  EXPECT_EQ(host.texts(), std::vector<std::string>(2, kUnsavedChangesText));
  EXPECT_TRUE(host.fileDialogs.empty());
  editor.Undo1Click();

  host.answers = {Answer::No, Answer::No};
  editor.ReplaceFromFileDirectOverwrite1Click();
  editor.AppendOtherFiletoEnd1Click();
  EXPECT_TRUE(host.fileDialogs.empty());
  EXPECT_EQ(readFileBytes(wav), before);
}

TEST_F(ReplaceTest, DirectOverwriteReportsASourceThatRunsShort) {
  openDoc(WavBuilder().staircase(10000));
  select(0, 5999);
  const std::string src = writeSource(8000);
  chooseSource(src, 1, std::nullopt);
  // The source loses its tail while the first block is reported.
  host.pumps = 0;
  host.onPump = [&](int n) {
    if (n == 1) fs::resize_file(src, 44 + 3000 * 4);
  };
  editor.ReplaceFromFileDirectOverwrite1Click();
  EXPECT_EQ(host.texts(), std::vector<std::string>{"Failed to read from " + src});
  EXPECT_TRUE(framesAre(0, 1999, [](int32_t f) { return sourceFrame(f); }));
  EXPECT_TRUE(framesAre(2000, 2001, stair));  // nothing of the failed block was written
}

// ---- Append Other File at End ----

struct AppendTest : ReplaceTest {
  // Size fields as stored in the document's file.
  uint32_t riffSize() { return loadU32(readFileBytes(wav).data() + 4); }
  uint32_t dataSize() {
    const auto bytes = readFileBytes(wav);
    return loadU32(bytes.data() + editor.doc->dataOffset - 4);
  }
};

TEST_F(AppendTest, AppendGrowsBothSizesAddsACueAndReopensInPlace) {
  openDoc(WavBuilder().staircase(5000), /*peaks=*/true);
  const auto before = readFileBytes(wav);
  WaveFile* doc = editor.doc.get();
  const std::string src = writeSource(1000);
  host.openAnswers = {src};
  editor.AppendOtherFiletoEnd1Click();
  EXPECT_TRUE(host.messages.empty());
  ASSERT_EQ(editor.doc.get(), doc);
  EXPECT_EQ(doc->frameCount, 6000);
  EXPECT_EQ(riffSize(), loadU32(before.data() + 4) + 4000);
  EXPECT_EQ(dataSize(), 5000u * 4 + 4000);
  const auto after = readFileBytes(wav);
  ASSERT_EQ(after.size(), before.size() + 4000);
  EXPECT_TRUE(std::equal(before.begin() + 44, before.end(), after.begin() + 44));
  const auto source = sourceImage(1000);
  EXPECT_TRUE(std::equal(source.begin() + 44, source.end(), after.begin() + before.size()));
  // The join is not on a CD frame (588 frames at 44100): the cue goes to the one before it.
  ASSERT_EQ(doc->cues.size(), 1u);
  EXPECT_EQ(doc->cues[0].position, 4704);
  EXPECT_TRUE(doc->cues[0].track);
  EXPECT_TRUE(doc->cuesNotWritten);
  // The overview covers the new frames.
  ASSERT_EQ(doc->peakRight.size(), 7u);
  EXPECT_EQ(doc->peakRight[5], 20999);
  EXPECT_EQ(host.progressCaptions.at(host.progressCaptions.size() - 2), " Appending:");
}

TEST_F(AppendTest, AppendAtACdFrameBoundaryPutsTheCueExactlyAtTheJoin) {
  openDoc(WavBuilder().staircase(588 * 9));
  host.openAnswers = {writeSource(4500)};  // more than one block of 2000 frames
  editor.AppendOtherFiletoEnd1Click();
  ASSERT_EQ(editor.doc->cues.size(), 1u);
  EXPECT_EQ(editor.doc->cues[0].position, 5292);
  EXPECT_EQ(editor.doc->frameCount, 5292 + 4500);
  EXPECT_TRUE(framesAre(5290, 5291, stair));
  EXPECT_TRUE(framesAre(5292, 5292 + 4499, [](int32_t f) { return sourceFrame(f - 5292); }));
}

TEST_F(AppendTest, AppendOverwritesBytesAfterTheData) {
  openDoc(WavBuilder().staircase(1000).trailing(
      std::vector<uint8_t>{'L', 'I', 'S', 'T', 4, 0, 0, 0, 'a', 'b', 'c', 'd'}));
  const uint32_t dataOffset = static_cast<uint32_t>(editor.doc->dataOffset);
  host.openAnswers = {writeSource(100)};
  editor.AppendOtherFiletoEnd1Click();
  EXPECT_EQ(readFileBytes(wav).size(), dataOffset + 1100u * 4);
  EXPECT_EQ(riffSize(), 1100u * 4 + dataOffset - 8);
  EXPECT_EQ(dataSize(), 1100u * 4);
  EXPECT_TRUE(framesAre(1000, 1099, [](int32_t f) { return sourceFrame(f - 1000); }));
}

TEST_F(AppendTest, FormatMismatchIsRefusedWithItsMessage) {
  openDoc(WavBuilder().staircase(1000));
  const auto before = readFileBytes(wav);
  const std::string src = writeSource(100, 48000);
  host.openAnswers = {src};
  editor.AppendOtherFiletoEnd1Click();
  EXPECT_EQ(host.texts(),
            std::vector<std::string>{src + " is not a 44.1kHz 16bit stereo WAV file"});
  EXPECT_EQ(readFileBytes(wav), before);
  EXPECT_TRUE(editor.doc->cues.empty());
}

TEST_F(AppendTest, CancelOrASourceThatRunsShortLeavesTheFileAsItWas) {
  openDoc(WavBuilder().staircase(1000).trailing(
      std::vector<uint8_t>{'L', 'I', 'S', 'T', 4, 0, 0, 0, 'a', 'b', 'c', 'd'}));
  const auto before = readFileBytes(wav);

  host.pumps = 0;
  host.cancelAtPump = 1;  // after the first block
  host.openAnswers = {writeSource(5000)};
  editor.AppendOtherFiletoEnd1Click();
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(readFileBytes(wav), before);
  EXPECT_EQ(editor.doc->frameCount, 1000);
  EXPECT_TRUE(editor.doc->cues.empty());

  host.cancelAtPump = 0;
  const std::string src = writeSource(5000);
  host.onPump = [&](int n) {
    if (n == 1) fs::resize_file(src, 44 + 3000 * 4);
  };
  host.pumps = 0;
  host.openAnswers = {src};
  editor.AppendOtherFiletoEnd1Click();
  EXPECT_EQ(host.texts(), std::vector<std::string>{"Failed to read from " + src});
  EXPECT_EQ(readFileBytes(wav), before);
  EXPECT_TRUE(editor.doc->cues.empty());
  // No scratch file is left behind.
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir.path())) files += entry.is_regular_file();
  EXPECT_EQ(files, 2);
}

// The file-size limit makes the writes themselves fail, as a full disk would.
TEST_F(AppendTest, AFailedWriteLeavesTheFileAsItWas) {
  openDoc(WavBuilder().staircase(1000).trailing(
      std::vector<uint8_t>{'L', 'I', 'S', 'T', 4, 0, 0, 0, 'a', 'b', 'c', 'd'}));
  const auto before = readFileBytes(wav);
  const std::string src = writeSource(20000);
  host.openAnswers = {src};

  {
    const FileSizeLimit limit(before.size() + 10000);
    editor.AppendOtherFiletoEnd1Click();
  }

  EXPECT_EQ(host.texts(), std::vector<std::string>{"Failed to write to " + wav});
  EXPECT_EQ(readFileBytes(wav), before);
  EXPECT_EQ(editor.doc->frameCount, 1000);
  EXPECT_TRUE(editor.doc->cues.empty());
}

}  // namespace
}  // namespace tolmar::test
