// Feeds arbitrary bytes to the cue sheet reader and checks what it promises: the cue list stays
// ordered with one cue per frame, inside the file and off frame 0, whatever the sheet says; and
// what was read writes out and reads back to the same cues.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cue/cue_sheet.h"

using namespace tolmar;

namespace {

void checkList(const std::vector<Cue>& cues, int32_t lastFrame) {
  for (size_t i = 0; i < cues.size(); ++i) {
    if (cues[i].position <= 0 || cues[i].position > lastFrame) std::abort();
    if (i > 0 && cues[i - 1].position >= cues[i].position) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const int rate = size % 2 ? 48000 : 44100;
  const int32_t lastFrame = 80 * 60 * rate;
  CueSheetData sheet;
  Cue kept;
  kept.position = 588 * 640;
  sheet.cues.push_back(kept);
  int files = 0;
  readCueSheet(text, rate, lastFrame, sheet, [&](const std::string&) { return ++files < 3; });
  checkList(sheet.cues, lastFrame);
  (void)lastTrackNumber(text);

  CueSheetData back;
  const std::string written = cueSheetText(sheet, "/x/side.wav", rate, false, 1);
  readCueSheet(written, rate, lastFrame, back, [](const std::string&) { return true; });
  if (back.cues.size() != sheet.cues.size()) std::abort();
  for (size_t i = 0; i < back.cues.size(); ++i)
    if (back.cues[i].position != sheet.cues[i].position ||
        back.cues[i].track != sheet.cues[i].track)
      std::abort();
  return 0;
}
