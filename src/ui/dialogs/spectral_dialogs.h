#pragma once
// Reduce Noise / Reduce Crackle, the Frequency Analysis window and the clipping histogram.

#include <QWidget>
#include <memory>

#include "ui/dialogs/form_dialog.h"

namespace tolmar {
struct ReduceNoiseModel;
struct SpectrumModel;
struct ClippingHistogramModel;
}  // namespace tolmar

namespace tolmar::ui {

// One dialog in two modes, as the model says; OK writes the model.
std::unique_ptr<FormDialog> makeReduceNoiseDialog(ReduceNoiseModel& m, QWidget* parent,
                                                  const DialogEnv& env);

// "Frequency Analysis of Selected Region": the two mean-magnitude curves on their grid, with
// the noise fingerprint under them when the model carries one. One "Close" button.
std::unique_ptr<FormDialog> makeFrequencyAnalysisDialog(SpectrumModel& m, QWidget* parent,
                                                        const DialogEnv& env);

// The same window over its own copy of the spectra, to stay open while the user goes on.
std::unique_ptr<FormDialog> makeFrequencyAnalysisWindow(SpectrumModel model, QWidget* parent,
                                                        const DialogEnv& env);

// "Clipping Analysis": the histogram of clip widths. One "Close" button.
std::unique_ptr<FormDialog> makeClippingDialog(ClippingHistogramModel& m, QWidget* parent,
                                               const DialogEnv& env);

// The plot areas, for pictures of exactly known size.
void paintSpectrum(QPainter& p, const SpectrumModel& m, int width, int height);
void paintClipHistogram(QPainter& p, const ClippingHistogramModel& m, int width, int height);

}  // namespace tolmar::ui
