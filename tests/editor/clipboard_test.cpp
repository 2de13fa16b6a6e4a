#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "document/wav_format.h"
#include "editor/editor.h"
#include "support/editor_fixture.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct ClipboardTest : EditorTest {
  void SetUp() override {
    WavBuilder().staircase(1000).write(wav);
    ASSERT_TRUE(editor.OpenDocument(wav));
    auto rec = std::make_unique<Interpolation>();
    editor.doc->BeginBlock(*rec, 100, 110, 0);
    for (int32_t f = 100; f <= 110; ++f) editor.doc->PutSample(*rec, f, 555);
    editor.doc->FinishBlock(*rec);
    editor.doc->AddEdit(std::move(rec), 0);
    editor.doc->CommitEdit(1, "Interpolate");
    editor.doc->selStart = 95;
    editor.doc->selEnd = 114;
  }

  // Header plus frames 95..114 as the overlay shows them.
  std::vector<uint8_t> selectionImage() {
    const auto header = makeWavHeader(20 * 4, 44100);
    std::vector<uint8_t> out(header.begin(), header.end());
    for (int32_t f = 95; f <= 114; ++f) {
      const int16_t l = (f >= 100 && f <= 110) ? 555 : static_cast<int16_t>(f);
      for (int16_t v : {l, static_cast<int16_t>(-f)}) {
        out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) & 0xFF));
        out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
      }
    }
    return out;
  }
};

TEST_F(ClipboardTest, CopyAndSaveSelectedSamplesWriteTheSameImage) {
  editor.CopySelectedSampletoClipboard1Click();
  ASSERT_TRUE(host.hasClipWave);
  EXPECT_EQ(host.clipWave, selectionImage());

  const std::string out = dir.file("sel.wav");
  host.saveAnswers = {out};
  editor.SaveSelectedSamples1Click();
  ASSERT_EQ(host.fileDialogs.size(), 1u);
  EXPECT_EQ(host.fileDialogs[0].title, "Save Selected Samples in a WAV File");
  EXPECT_EQ(fs::path(host.fileDialogs[0].fileName).filename(), "side1.wav");
  EXPECT_EQ(fileBytes(out), selectionImage());
  EXPECT_TRUE(editor.doc->canUndo());  // the document keeps its edit
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(ClipboardTest, SaveSelectedSamplesRefusesTheDocumentsOwnFile) {
  const auto before = fileBytes(wav);
  host.saveAnswers = {dir.file("./side.wav")};
  editor.SaveSelectedSamples1Click();
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "New file same as existing file!");
  EXPECT_EQ(fileBytes(wav), before);

  editor.doc->selEnd = 95;  // no selection: nothing happens
  editor.CopySelectedSampletoClipboard1Click();
  EXPECT_FALSE(host.hasClipWave);
}

}  // namespace
}  // namespace tolmar::test
