#pragma once
// Autoregressive models of sound: the least-squares (covariance method) fit, the prediction-error
// filter, and least-squares interpolation of a gap from the samples around it.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tolmar {

// Order of the models fitted to music at 44.1 or 48 kHz.
inline constexpr int kArOrder = 32;

// The (order + 1) x (order + 1) sums R[i][j] = sum of x[t - i] * x[t - j] over rows t of a fit,
// kept exactly in 64-bit integers (16-bit samples, fewer than 2^33 rows).
class ArSums {
 public:
  explicit ArSums(int order);
  int order() const { return order_; }
  // Adds the rows t = first .. last of x (x[t - order] must exist for t = first).
  void addRows(const int32_t* x, int64_t first, int64_t last);
  int64_t rows() const { return rows_; }
  int64_t at(int i, int j) const { return r_[static_cast<size_t>(i) * (order_ + 1) + j]; }

 private:
  int order_;
  int64_t rows_ = 0;
  std::vector<int64_t> r_;
};

// The diagonal load of the normal equations, relative to their mean diagonal.
inline constexpr double kArRidge = 1e-6;

// Solves the normal equations of `sums` for the coefficients a[1..order] (a[0] = 1) that make
// e[t] = sum of a[i] * x[t - i] least in energy. A tiny diagonal load keeps silence and pure
// tones solvable. False when there are fewer rows than coefficients.
bool solveAr(const ArSums& sums, std::vector<double>& a);

// Least-squares interpolation of x[gapFirst .. gapLast] with the model a (a[0] = 1): the values
// that minimise the prediction error energy over every row the gap reaches. The `order`
// samples on either side of the gap must be known. `floorOf`, when given, holds per gap sample a
// bound the result must respect in the direction of `sign[k]` (+1: value >= bound, -1: value <=
// bound, 0: free); bounds are met by fixing offending samples at their bound and solving again.
void arInterpolate(std::vector<double>& x, int64_t gapFirst, int64_t gapLast,
                   const std::vector<double>& a, const std::vector<double>* bound = nullptr,
                   const std::vector<int8_t>* sign = nullptr);

// Gap repair from a window of int16 samples: `x` holds `n` samples (one channel, contiguous or
// with `stride`), the gap is [gapFirst, gapLast] inside it. The model is fitted to up to
// `context` samples on each side, outside the gap. False, with nothing changed, when either side
// has too few samples for a fit (the caller falls back to another method).
bool arRepairGap(int16_t* x, int64_t n, int64_t stride, int64_t gapFirst, int64_t gapLast,
                 int context, const std::vector<double>* bound = nullptr,
                 const std::vector<int8_t>* sign = nullptr);

// Click repair: the gap as arRepairGap repairs it, and besides, when the frames after it carry
// a decaying tail (a step's), the tail. Up to `maxTail` frames after the gap are tried against
// exponential decays; the best one is removed when it lowers the prediction error energy by
// far more than noise would, and the gap is then solved again from the corrected frames. Each
// side of the fit stops short of much louder sound. A gap whose frames differ from the
// interpolation by little more than the model leaves uncertain is repaired only in part, or
// left as it was: a small click in loud, unpredictable music is better kept than replaced.
// `changedLast` (when given) receives the last frame changed: gapLast, or the tail's end, or
// gapFirst - 1 when the repair was refused (it would reach far beyond the sound around the gap)
// and nothing was changed. False, with nothing changed, as for arRepairGap.
bool arRepairClick(int16_t* x, int64_t n, int64_t stride, int64_t gapFirst, int64_t gapLast,
                   int context, int maxTail, int64_t* changedLast = nullptr);

// Context fitted on each side of a repaired gap, and the fewest samples a side may have.
inline constexpr int kArContext = 300;
inline constexpr int kArMinSide = 2 * kArOrder;

}  // namespace tolmar
