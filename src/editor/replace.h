#pragma once
// Replacing frames of the document from a clipboard image or another WAV file, and appending
// another WAV file to the document's file. The handlers are DocumentCommands members.

#include <cstdint>

namespace tolmar {

class WaveFile;

// Select Replacement Data dialog (id kSelectReplacementDataDialogId, model
// SelectReplacementDataModel), shown by both Replace From File commands.
inline constexpr char kSelectReplacementDataDialogId[] = "SelectReplacementData";
inline constexpr char kSelectReplacementDataCaption[] = "Select Replacement Data";
inline constexpr char kReplacementStartLabel[] = "Start at Sample:";
inline constexpr char kReplaceSelectedRegionText[] = "Replace Selected Region";
inline constexpr char kReplaceNumberOfSamplesText[] = "Replace No. of Samples:";

struct SelectReplacementDataModel {
  int64_t startSample = 1;    // the source's first frame to use, counted from 1
  bool replaceCount = false;  // "Replace No. of Samples:" chosen instead of the selection
  int64_t sampleCount = 0;    // the number typed beside it
};

// The sample-block records that put `frames` (little-endian interleaved frames for first..last,
// inclusive) into the document: one record per channel when both channels are edited (linked),
// else one for the edited channel. Frames are put while the continue flag holds. Returns the
// number of records appended (0, 1 or 2).
int32_t replaceFromSource(WaveFile& doc, const uint8_t* frames, int32_t first, int32_t last);

}  // namespace tolmar
