#include "dsp/frequency_analysis.h"

#include <cstdio>

#include <cmath>

#include "document/wave_file.h"
#include "dsp/effect_road.h"

namespace tolmar {

std::string regionTooShortText(int n) {
  return "Selected Region too short; at least " + std::to_string(n) + " samples required";
}

int32_t meanMagnitudes(WaveFile& doc, SpectralEngine& engine, int32_t first, int32_t blocks,
                       bool window, double* left, double* right) {
  Session& ctx = doc.ctx();
  const int n = engine.N();
  std::vector<int16_t> frames(static_cast<size_t>(n) * 2);
  std::vector<double> magL(static_cast<size_t>(n)), magR(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) left[k] = right[k] = 0.0;
  int32_t done = 0;
  {
    Progress progress(ctx, " Scanning:");
    // The test comes first: a Stop pressed during a block's pump still lets that block count.
    for (int32_t b = 0; b < blocks && ctx.continueFlag; ++b) {
      progress.step(percentOf(static_cast<int64_t>(b) + 1, blocks));
      // A fingerprint of another length loaded through the pump changes N under these buffers.
      if (engine.N() != n) break;
      const int32_t s = static_cast<int32_t>(first + static_cast<int64_t>(b) * n);
      doc.ReadFrames(true, frames.data(), s, s + n - 1);
      engine.ForwardStereoFFT(frames.data(), nullptr, window, magR.data(), magL.data(), nullptr);
      for (int k = 0; k < n; ++k) {
        left[k] += magL[static_cast<size_t>(k)];
        right[k] += magR[static_cast<size_t>(k)];
      }
      ++done;
    }
  }
  if (done > 0) {
    for (int k = 0; k < n; ++k) {
      left[k] /= done;
      right[k] /= done;
    }
  }
  return done;
}

namespace {

int nearest(double v) {
  return static_cast<int>(roundEven(v));
}

// The plot's vertical position of a base-10 logarithm of a magnitude.
int logY(double lg, int height) {
  const double ys = height / 560.0;
  const double base = height - nearest(40 * ys);
  return nearest(height - nearest(40 * ys) - lg * (base / std::log10(2000.0) / 2.5) - 280 * ys);
}

// x of a fractional bin, for curves taken at another transform length.
int spectrumXAt(double k, int n, int width) {
  const double xs = width / 740.0;
  return nearest(40 * xs) + nearest(std::log10(k) * (width - nearest(50 * xs)) /
                                    std::log10(static_cast<double>(n / 2)));
}

int plotBottom(int height) {
  return height - nearest(60 * (height / 560.0));
}

}  // namespace

double fingerprintOnAnalysisScale(double magnitude, int fingerprintN, int n) {
  // The sum of the squared Hann window over n points is 3n/8.
  return magnitude * std::sqrt(0.375 * n / fingerprintN);
}

int spectrumX(int k, int n, int width) {
  const double xs = width / 740.0;
  return nearest(40 * xs) +
         nearest(std::log10(static_cast<double>(k)) * (width - nearest(50 * xs)) /
                 std::log10(static_cast<double>(n / 2)));
}

int spectrumY(double magnitude, int height) {
  // Digital silence, and anything a damaged input could hold that has no logarithm.
  if (!(magnitude > 0.0) || !std::isfinite(magnitude)) return plotBottom(height);
  return logY(std::log10(magnitude), height);
}

SpectrumPlot spectrumPlot(const SpectrumModel& model, int width, int height) {
  SpectrumPlot plot;
  const double xs = width / 740.0;
  const double ys = height / 560.0;
  const int n = model.n;
  const bool rate48 = model.sampleRate == 48000;
  const auto& bins = rate48 ? kFrequencyBins48000 : kFrequencyBinsOther;
  for (size_t i = 0; i < bins.size(); ++i) {
    const int x = spectrumX(bins[i], n, width);
    plot.verticals.push_back(
        {{x, 0}, {x, plotBottom(height)}, kFrequencyLabels[i], {x, height - nearest(58 * ys)}});
  }
  for (int i = 0; i < 13; ++i) {
    const int y = logY(3.45 - 0.6 * i, height);
    const std::string label = i == 0 ? "0dB" : "-" + std::to_string(12 * i) + "dB";
    plot.horizontals.push_back({{nearest(40 * xs), y}, {width, y}, label, {nearest(36 * xs), y}});
  }
  const std::vector<double>* curves[2] = {&model.left, &model.right};
  std::vector<PlotPoint>* outs[2] = {&plot.left, &plot.right};
  for (int c = 0; c < 2; ++c) {
    const std::vector<double>& m = *curves[c];
    if (static_cast<int>(m.size()) < n / 2 || n < 4) continue;
    outs[c]->push_back({spectrumX(1, n, width), spectrumY(m[0], height)});
    for (int k = 2; k <= n / 2 - 1; ++k)
      outs[c]->push_back({spectrumX(k, n, width), spectrumY(m[static_cast<size_t>(k)], height)});
  }
  const int fn = model.fingerprintN;
  if (fn >= 4 && static_cast<int>(model.fingerprintLeft.size()) >= fn / 2 &&
      static_cast<int>(model.fingerprintRight.size()) >= fn / 2 && n >= 4) {
    const std::vector<double>* prints[2] = {&model.fingerprintLeft, &model.fingerprintRight};
    std::vector<PlotPoint>* printOuts[2] = {&plot.fingerprintLeft, &plot.fingerprintRight};
    for (int c = 0; c < 2; ++c) {
      const std::vector<double>& m = *prints[c];
      // The same frequencies as the curves' bins 1 … n/2 − 1.
      for (int j = 1; j < fn / 2; ++j) {
        const double k = static_cast<double>(j) * n / fn;
        if (k < 1.0 || k > n / 2 - 1) continue;
        printOuts[c]->push_back(
            {spectrumXAt(k, n, width),
             spectrumY(fingerprintOnAnalysisScale(m[static_cast<size_t>(j)], fn, n), height)});
      }
    }
    plot.fingerprintCaption = {width - nearest(350 * xs), 4};
  }
  plot.leftCaption = {width - nearest((rate48 ? 425 : 420) * xs), 4};
  plot.rightCaption = {width - nearest((rate48 ? 395 : 390) * xs), 4};
  return plot;
}

double spectrumLevelDb(double magnitude) {
  // The plot's 0 dB line sits at a magnitude of 10^3.45, and 12 dB span 0.6 decades.
  return 20.0 * (std::log10(magnitude) - 3.45);
}

std::vector<std::string> spectrumPeakLines(const SpectrumModel& model, int count) {
  std::vector<std::string> lines;
  const int n = model.n;
  const std::vector<double>* curves[2] = {&model.left, &model.right};
  const char* names[2] = {"Left", "Right"};
  for (int c = 0; c < 2; ++c) {
    const std::vector<double>& m = *curves[c];
    if (static_cast<int>(m.size()) < n / 2 || n < 4) continue;
    std::vector<int> peaks;
    for (int k = 1; k < n / 2 - 1; ++k)
      if (m[k] > m[k - 1] && m[k] >= m[k + 1] && m[k] > 0 && std::isfinite(m[k]))
        peaks.push_back(k);
    std::stable_sort(peaks.begin(), peaks.end(), [&](int a, int b) { return m[a] > m[b]; });
    if (peaks.size() > static_cast<size_t>(count)) peaks.resize(static_cast<size_t>(count));
    if (peaks.empty()) lines.push_back(std::string(names[c]) + " peak: none (silence)");
    for (int k : peaks) {
      char text[96];
      std::snprintf(text, sizeof text, "%s peak: %.1f Hz, %.1f dB", names[c],
                    static_cast<double>(k) * model.sampleRate / n, spectrumLevelDb(m[k]));
      lines.push_back(text);
    }
  }
  return lines;
}

}  // namespace tolmar
