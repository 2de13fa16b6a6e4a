#include "declick/click_analysis.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "base/session.h"
#include "document/wave_file.h"

namespace tolmar {

namespace {

constexpr int32_t kMatchTolerance = 3;
constexpr int16_t kAnalysisWindowSize = 250;
// Instant Rise and Step are tried at width 3 but recorded with width 5.
constexpr int16_t kFixedTrialWidth = 3;
constexpr int16_t kFixedCandidateWidth = 5;
constexpr int32_t kVerifyHalfWidths[] = {100, 250, 500, 2000, 4000};

struct Candidate {
  ClickShape shape;
  int16_t relAmplitude;
  int16_t clickWidth;
};

class Analysis {
 public:
  Analysis(Session& ctx, WaveFile& doc, DeclickParams& params, int32_t p, const ClickTrial& trial)
      : ctx_(ctx), doc_(doc), params_(params), p_(p), trial_(trial) {}

  ClickAnalysisOutcome run() {
    Progress progress(ctx_, " Analysing:");
    progress_ = &progress;

    std::vector<Candidate> candidates;
    const bool instant = tryFixedWidth(ClickShape::InstantRise);
    const int16_t instantAmp = params_.relAmplitude;
    const bool spike = tryAmplitudeOuter(ClickShape::Spike);
    const int16_t spikeAmp = params_.relAmplitude;
    const int16_t spikeWidth = params_.clickWidth;
    const bool step = tryFixedWidth(ClickShape::Step);
    const int16_t stepAmp = params_.relAmplitude;

    if (!instant && !spike && !step) {
      if (keepGoing()) {
        const bool more = ctx_.silentMode || ctx_.askYesNo(kAnalysisRareShapesQuestion);
        if (!more) {
          ctx_.continueFlag = false;
        } else if (tryAmplitudeOuter(ClickShape::Hill) || tryWidthOuter()) {
          candidates.push_back({params_.shape, params_.relAmplitude, params_.clickWidth});
        }
      }
    } else {
      if (instant)
        candidates.push_back({ClickShape::InstantRise, instantAmp, kFixedCandidateWidth});
      if (step) candidates.push_back({ClickShape::Step, stepAmp, kFixedCandidateWidth});
      if (spike) candidates.push_back({ClickShape::Spike, spikeAmp, spikeWidth});
      std::stable_sort(candidates.begin(), candidates.end(),
                       [](const Candidate& a, const Candidate& b) {
                         if (a.relAmplitude != b.relAmplitude)
                           return a.relAmplitude > b.relAmplitude;
                         return a.shape < b.shape;
                       });
    }

    bool passed = false;
    if (keepGoing()) {
      for (const Candidate& c : candidates) {
        params_.shape = c.shape;
        params_.relAmplitude = c.relAmplitude;
        params_.clickWidth = c.clickWidth;
        if (verify()) {
          passed = true;
          break;
        }
        if (!keepGoing()) break;
      }
    }

    if (!keepGoing()) return ClickAnalysisOutcome::Cancelled;
    if (!passed) {
      ctx_.warning(kAnalysisFailedText);
      return ClickAnalysisOutcome::NotFound;
    }
    if (params_.repairWidth < params_.clickWidth) params_.repairWidth = params_.clickWidth;
    ctx_.info(kAnalysisSucceededText);
    return ClickAnalysisOutcome::Found;
  }

 private:
  bool keepGoing() const { return ctx_.continueFlag; }

  ClickTrialResult trial() {
    const ClickTrialResult r = trial_();
    ++counter_;
    progress_->step(std::min(100, percentOf(counter_, kAnalysisTrials)));
    return r;
  }

  bool matches(const ClickTrialResult& r) const {
    return r.count == 1 && std::abs(r.firstPosition - p_) <= kMatchTolerance;
  }

  // Instant Rise and Step: the width plays no part, so only the amplitude is searched.
  bool tryFixedWidth(ClickShape shape) {
    params_.shape = shape;
    params_.clickWidth = kFixedTrialWidth;
    const int entry = counter_;
    bool found = false;
    for (int amp = kAnalysisAmpMax; amp >= kAnalysisAmpMin && keepGoing();
         amp -= kAnalysisAmpStep) {
      params_.relAmplitude = static_cast<int16_t>(amp);
      const ClickTrialResult r = trial();
      if (r.count == 1) {
        found = matches(r);
        break;
      }
      if (r.count >= 2) break;
    }
    counter_ = entry + kAnalysisAmpCount;
    return found;
  }

  // Spike and Hill: for each amplitude, widen until something is found.
  bool tryAmplitudeOuter(ClickShape shape) {
    params_.shape = shape;
    const int entry = counter_;
    bool found = false;
    for (int amp = kAnalysisAmpMax; amp >= kAnalysisAmpMin && keepGoing() && !found;
         amp -= kAnalysisAmpStep) {
      params_.relAmplitude = static_cast<int16_t>(amp);
      for (int width = 1; width <= kAnalysisWidthMax && keepGoing(); ++width) {
        params_.clickWidth = static_cast<int16_t>(width);
        const ClickTrialResult r = trial();
        if (matches(r)) {
          found = true;
          break;
        }
        if (r.count != 0) break;
      }
    }
    counter_ = entry + kAnalysisAmpCount * kAnalysisWidthMax;
    return found;
  }

  // Blip: for each width, lower the amplitude until something is found.
  bool tryWidthOuter() {
    params_.shape = ClickShape::Blip;
    const int entry = counter_;
    bool found = false;
    for (int width = 1; width <= kAnalysisWidthMax && keepGoing() && !found; ++width) {
      params_.clickWidth = static_cast<int16_t>(width);
      for (int amp = kAnalysisAmpMax; amp >= kAnalysisAmpMin && keepGoing();
           amp -= kAnalysisAmpStep) {
        params_.relAmplitude = static_cast<int16_t>(amp);
        const ClickTrialResult r = trial();
        if (matches(r)) {
          found = true;
          break;
        }
        if (r.count != 0) break;
      }
    }
    counter_ = entry + kAnalysisAmpCount * kAnalysisWidthMax;
    return found;
  }

  // The candidate must stay alone in ever wider surroundings; the amplitude may only fall.
  bool verify() {
    bool failed = false;
    for (const int32_t h : kVerifyHalfWidths) {
      if (!keepGoing()) break;
      doc_.selStart = std::max(0, p_ - h);
      doc_.selEnd = std::min(doc_.lastFrame, p_ + h);
      ClickTrialResult r;
      do {
        r = trial();
        if (r.count >= 2) failed = true;
        if (r.count == 0) params_.relAmplitude = static_cast<int16_t>(params_.relAmplitude - 10);
      } while (r.count == 0 && params_.relAmplitude >= kAnalysisAmpMin && keepGoing());
    }
    params_.windowSize = kAnalysisWindowSize;
    return !failed && params_.relAmplitude >= kAnalysisAmpMin;
  }

  Session& ctx_;
  WaveFile& doc_;
  DeclickParams& params_;
  int32_t p_;
  const ClickTrial& trial_;
  Progress* progress_ = nullptr;
  int counter_ = 0;
};

}  // namespace

ClickAnalysisOutcome AnalyseClick(Session& ctx, WaveFile& doc, DeclickParams& params, int32_t p,
                                  const ClickTrial& trial) {
  const int32_t selStart = doc.selStart;
  const int32_t selEnd = doc.selEnd;
  params.windowSize = kAnalysisWindowSize;
  params.levelThreshold = 0;
  const int32_t reach = 4 * params.windowSize;
  doc.selStart = std::max(0, p - reach);
  doc.selEnd = std::min(doc.lastFrame, p + reach);

  ClickAnalysisOutcome outcome = ClickAnalysisOutcome::Cancelled;
  try {
    outcome = Analysis(ctx, doc, params, p, trial).run();
  } catch (...) {
    doc.selStart = selStart;
    doc.selEnd = selEnd;
    throw;
  }
  doc.selStart = selStart;
  doc.selEnd = selEnd;
  return outcome;
}

}  // namespace tolmar
