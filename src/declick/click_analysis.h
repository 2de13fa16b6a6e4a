#pragma once
// Analyse Click: searches the detection parameters for a set that finds exactly the click the
// user points at, trying each click shape over the range of widths and relative amplitudes,
// then checks the best candidates against wider and wider surroundings.

#include <cstdint>
#include <functional>

#include "config/declick_params.h"

namespace tolmar {

class Session;
class WaveFile;

struct ClickTrialResult {
  int32_t count = 0;           // clicks found
  int32_t firstPosition = -1;  // position of the first one, when any
};

// One detection run over the document's selection with the parameter set as it stands
// (include updates on, no progress, no repair).
using ClickTrial = std::function<ClickTrialResult()>;

enum class ClickAnalysisOutcome { Found, NotFound, Cancelled };

// Analyses the click at frame p on the channels the parameter set processes. The selection is
// moved for the trials and restored afterwards. The parameter set keeps the values of the last
// trial; on success the repair width is raised to the click width when smaller. Shows the
// outcome's message (none when cancelled) and asks before trying the rare shapes.
ClickAnalysisOutcome AnalyseClick(Session& ctx, WaveFile& doc, DeclickParams& params, int32_t p,
                                  const ClickTrial& trial);

// Search ranges and the progress total of a full analysis.
inline constexpr int kAnalysisAmpMax = 2500;
inline constexpr int kAnalysisAmpMin = 50;
inline constexpr int kAnalysisAmpStep = 10;
inline constexpr int kAnalysisWidthMax = 40;
inline constexpr int kAnalysisAmpCount = (kAnalysisAmpMax - kAnalysisAmpMin) / kAnalysisAmpStep + 1;
inline constexpr int kAnalysisTrials =
    3 * kAnalysisAmpCount * kAnalysisWidthMax + 2 * kAnalysisAmpCount;

inline constexpr const char* kAnalysisRareShapesQuestion =
    "No suitable parameters found for Instant, Spike or Step click shapes.\rDo you wish to "
    "continue looking for Hill and Blip click shapes\r(note that these shapes are rarely useful "
    "and take much longer to analyse)?";
inline constexpr const char* kAnalysisFailedText =
    "Sorry: No parameter settings will uniquely find the nominated click";
inline constexpr const char* kAnalysisSucceededText =
    "Successfully found suitable declick parameters";

}  // namespace tolmar
