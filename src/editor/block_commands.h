#pragma once
// The Blocks menu: block copies, the compatible-block search, the overlay block, channel
// copies, nudges and spectral replacement.
// A part of the editor core: Editor inherits it, so these handlers are Editor's handlers.
// "Smooth Edges After Copying" is RepairCommands::smoothEdges (the click repair uses it too).

#include <cstdint>
#include <string>

#include "dsp/block_repair.h"

namespace tolmar {

class Editor;
class WaveFile;

// ---- Compatible Block Parameters dialog (id kCompatParamsDialogId, model CompatParamsModel) ----

inline constexpr char kCompatParamsDialogId[] = "SetCompatParam";
inline constexpr char kCompatParamsCaption[] = "Compatible Block Parameters";
inline constexpr char kCompatParamsHelpTopic[] = "compatblockparams";
inline constexpr char kCompatParamsToleranceLabel[] = "Relative Sample Size:";
inline constexpr char kCompatParamsTimeLimitLabel[] = "Time Limit for Search:";
inline constexpr char kCompatParamsForwardsLabel[] = "Search Forwards in File";

struct CompatParamsModel {
  std::string relativeSampleSize;  // whole number, percent
  std::string timeLimit;           // time text
  bool forwards = false;
};

// What the display last used, for the commands that work in display units. The wave area
// sets these when it paints; until then one frame per column and one sample unit per pixel.
struct BlockDisplayScale {
  int32_t framesPerPixel = 1;       // the spacing of the compatible block's display lists
  int32_t sampleUnitsPerPixel = 1;  // the vertical divisor when not magnified
  bool magnified = false;           // a pixel is smaller than one sample unit
};

class BlockCommands {
 public:
  CompatibleBlockSearch compatible;
  // Tolerance and direction; the time limit is the context's compatible-block search span,
  // which opening a file resets to a tenth of a second.
  int compatTolerance = 50;
  bool compatForwards = false;
  OverlayBlock overlayBlock;
  BlockDisplayScale blockDisplay;

  // Drops the found block and its offset: the selection changed or a document was opened.
  void resetCompatibleBlock() { compatible.reset(); }
  // A document was opened: neither the found block nor the overlay belongs to it.
  void forgetBlocks();

  // ---- Block copies ----
  void CopyPrecedingBlock1Click();
  void CopyPrecedingBlockRight1Click();
  void CopyCompatibleBlock1Click();
  void CopyCompatibleBlockRight1Click();

  // ---- Compatible block search ----
  void SetCompatibleBlockParams1Click();
  void ResetCompatibleBlock1Click();
  void FindCompatibleBlock1Click();
  bool FindNextCompatibleBlock();

  // ---- Overlay block ----
  void SetupOverlayBlockClick();
  void DiscardOverlayBlockClick();
  void BackbyBlockWidthClick();
  void ForwardbyBlockWidthClick();
  void BackOneSampleClick();
  void ForwardOneSampleClick();
  void CopyOverlayLeftClick();
  void CopyOverlayRightClick();
  void ReselectOriginalBlockClick();

  // ---- Channels, nudges and spectral replacement ----
  void CopyLefttoRight1Click();
  void CopyRighttoLeft1Click();
  // Frames first … last − 1 of the other channel into the destination channel.
  int32_t CopyOtherChannel(int32_t first, int32_t last, bool destinationRight);
  void NudgeUpLeft1Click();
  void NudgeDownLeft1Click();
  void NudgeUpRight1Click();
  void NudgeDownRight1Click();
  // Shifts frames first … last − 1 by amount × the display's sample units per pixel (by amount
  // when magnified).
  int32_t MoveBlockVertically(int32_t first, int32_t last, int32_t amount, bool up, bool right,
                              bool left);
  void SpectralReplacementLeft1Click();
  void SpectralReplacementRight1Click();

 protected:
  // The whole editor, for state that other parts own.
  Editor& ed();
  const Editor& ed() const;

 private:
  // The document when a block command can read it (the read failure is reported).
  WaveFile* readableDocument();
  void copyPreceding(bool right);
  void copyCompatible(bool right);
  void copyOverlay(bool right);
  void moveOverlay(int64_t frames);
  void nudge(bool up, bool right);
  void spectralReplacement(int channel);
};

}  // namespace tolmar
