#include "declick/ar_model.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "declick/wide_vectors.h"

namespace tolmar {

ArSums::ArSums(int order) : order_(order), r_(static_cast<size_t>(order + 1) * (order + 1), 0) {}

namespace {

// Lags summed side by side, one row at a time: at least the order + 1, a multiple of the widest
// vector.
constexpr int kLagLanes = 36;
// Products of 16-bit samples are at most 2^30 and exact in double, and so are their sums over
// 2^21 rows (below 2^53), in any order.
constexpr int64_t kExactRows = int64_t{1} << 21;

// lags[j] += sum over rows t of r[t] * r[t + j], j = 0 .. kLagLanes - 1, where r holds the
// samples in reverse order (r[t + j] is the sample j frames before r[t]).
TOLMAR_WIDE_VECTORS void addLagProducts(const double* r, int64_t rows, double* lags) {
  double acc[kLagLanes] = {};
  for (int64_t t = 0; t < rows; ++t) {
    const double xt = r[t];
    const double* back = r + t;
    for (int j = 0; j < kLagLanes; ++j) acc[j] += xt * back[j];
  }
  for (int j = 0; j < kLagLanes; ++j) lags[j] += acc[j];
}

}  // namespace

void ArSums::addRows(const int32_t* x, int64_t first, int64_t last) {
  if (last < first) return;
  const int p = order_;
  const int w = p + 1;
  // The first row of the segment's own sums directly, the rest by sliding it down the diagonal.
  std::vector<int64_t> local(static_cast<size_t>(w) * w);
  const int64_t n = last - first + 1;
  if (p < kLagLanes) {
    // Samples last, last - 1, .. first - p, then zeros for the lags beyond the order.
    std::vector<double> r(static_cast<size_t>(n + p + kLagLanes), 0.0);
    for (int64_t m = 0; m < n + p; ++m) r[static_cast<size_t>(m)] = x[last - m];
    for (int64_t from = 0; from < n; from += kExactRows) {
      double lags[kLagLanes] = {};
      addLagProducts(r.data() + from, std::min(kExactRows, n - from), lags);
      for (int j = 0; j <= p; ++j) local[static_cast<size_t>(j)] += static_cast<int64_t>(lags[j]);
    }
  } else {
    for (int j = 0; j <= p; ++j) {
      int64_t s = 0;
      for (int64_t t = first; t <= last; ++t) s += static_cast<int64_t>(x[t]) * x[t - j];
      local[static_cast<size_t>(j)] = s;
    }
  }
  for (int i = 0; i < p; ++i)
    for (int j = i; j < p; ++j)
      local[static_cast<size_t>(i + 1) * w + j + 1] =
          local[static_cast<size_t>(i) * w + j] +
          static_cast<int64_t>(x[first - 1 - i]) * x[first - 1 - j] -
          static_cast<int64_t>(x[last - i]) * x[last - j];
  for (int i = 0; i <= p; ++i)
    for (int j = i; j <= p; ++j) {
      r_[static_cast<size_t>(i) * w + j] += local[static_cast<size_t>(i) * w + j];
      if (j != i) r_[static_cast<size_t>(j) * w + i] += local[static_cast<size_t>(i) * w + j];
    }
  rows_ += last - first + 1;
}

bool solveAr(const ArSums& sums, std::vector<double>& a) {
  const int p = sums.order();
  a.assign(static_cast<size_t>(p + 1), 0.0);
  a[0] = 1.0;
  if (sums.rows() < p) return false;
  std::vector<double> m(static_cast<size_t>(p) * p);
  std::vector<double> y(static_cast<size_t>(p));
  double trace = 0;
  for (int i = 0; i < p; ++i) trace += static_cast<double>(sums.at(i + 1, i + 1));
  const double load = kArRidge * trace / p + 1e-9;
  for (int i = 0; i < p; ++i) {
    for (int j = 0; j < p; ++j)
      m[static_cast<size_t>(i) * p + j] = static_cast<double>(sums.at(i + 1, j + 1));
    m[static_cast<size_t>(i) * p + i] += load;
    y[static_cast<size_t>(i)] = -static_cast<double>(sums.at(i + 1, 0));
  }
  // Cholesky, in place in the lower triangle.
  for (int i = 0; i < p; ++i) {
    for (int j = 0; j <= i; ++j) {
      double s = m[static_cast<size_t>(i) * p + j];
      for (int k = 0; k < j; ++k)
        s -= m[static_cast<size_t>(i) * p + k] * m[static_cast<size_t>(j) * p + k];
      if (i == j)
        m[static_cast<size_t>(i) * p + i] = std::sqrt(std::max(s, load));
      else
        m[static_cast<size_t>(i) * p + j] = s / m[static_cast<size_t>(j) * p + j];
    }
  }
  for (int i = 0; i < p; ++i) {
    double s = y[static_cast<size_t>(i)];
    for (int k = 0; k < i; ++k) s -= m[static_cast<size_t>(i) * p + k] * y[static_cast<size_t>(k)];
    y[static_cast<size_t>(i)] = s / m[static_cast<size_t>(i) * p + i];
  }
  for (int i = p - 1; i >= 0; --i) {
    double s = y[static_cast<size_t>(i)];
    for (int k = i + 1; k < p; ++k)
      s -= m[static_cast<size_t>(k) * p + i] * y[static_cast<size_t>(k)];
    y[static_cast<size_t>(i)] = s / m[static_cast<size_t>(i) * p + i];
  }
  for (int i = 0; i < p; ++i) a[static_cast<size_t>(i + 1)] = y[static_cast<size_t>(i)];
  return true;
}

namespace {

// One unconstrained solve for the samples listed in `unknown` (ascending, inside the gap);
// every other sample of x is taken as known.
void solveUnknowns(std::vector<double>& x, int64_t gapFirst, int64_t gapLast,
                   const std::vector<double>& a, const std::vector<int64_t>& unknown) {
  const int p = static_cast<int>(a.size()) - 1;
  const int64_t m = static_cast<int64_t>(unknown.size());
  if (m == 0) return;
  std::vector<double> ra(static_cast<size_t>(p + 1));
  for (int d = 0; d <= p; ++d) {
    double s = 0;
    for (int k = 0; k + d <= p; ++k) s += a[static_cast<size_t>(k)] * a[static_cast<size_t>(k + d)];
    ra[static_cast<size_t>(d)] = s;
  }
  // The prediction error of every row the gap reaches, from the known samples alone.
  const int64_t rows = gapLast - gapFirst + 1 + p;
  std::vector<uint8_t> isUnknown(static_cast<size_t>(gapLast - gapFirst + 1), 0);
  for (int64_t u : unknown) isUnknown[static_cast<size_t>(u - gapFirst)] = 1;
  std::vector<double> ek(static_cast<size_t>(rows));
  for (int64_t r = 0; r < rows; ++r) {
    const int64_t t = gapFirst + r;
    double s = 0;
    for (int i = 0; i <= p; ++i) {
      const int64_t f = t - i;
      if (f >= gapFirst && f <= gapLast && isUnknown[static_cast<size_t>(f - gapFirst)]) continue;
      s += a[static_cast<size_t>(i)] * x[static_cast<size_t>(f)];
    }
    ek[static_cast<size_t>(r)] = s;
  }
  std::vector<double> b(static_cast<size_t>(m));
  for (int64_t j = 0; j < m; ++j) {
    double s = 0;
    for (int k = 0; k <= p; ++k)
      s += a[static_cast<size_t>(k)] * ek[static_cast<size_t>(unknown[j] - gapFirst + k)];
    b[static_cast<size_t>(j)] = -s;
  }
  // Banded Cholesky: row i of L holds columns i - p .. i at offsets 0 .. p.
  const int w = p + 1;
  std::vector<double> l(static_cast<size_t>(m) * w, 0.0);
  const auto L = [&](int64_t i, int64_t j) -> double& {
    return l[static_cast<size_t>(i) * w + static_cast<size_t>(j - i + p)];
  };
  const double load = 1e-9 * ra[0] + 1e-12;
  for (int64_t i = 0; i < m; ++i) {
    for (int64_t j = std::max<int64_t>(0, i - p); j <= i; ++j) {
      const int64_t d = unknown[static_cast<size_t>(i)] - unknown[static_cast<size_t>(j)];
      double s = d <= p ? ra[static_cast<size_t>(d)] : 0.0;
      if (i == j) s += load;
      for (int64_t k = std::max<int64_t>(0, i - p); k < j; ++k) s -= L(i, k) * L(j, k);
      if (i == j)
        L(i, i) = std::sqrt(std::max(s, load));
      else
        L(i, j) = s / L(j, j);
    }
  }
  for (int64_t i = 0; i < m; ++i) {
    double s = b[static_cast<size_t>(i)];
    for (int64_t k = std::max<int64_t>(0, i - p); k < i; ++k)
      s -= L(i, k) * b[static_cast<size_t>(k)];
    b[static_cast<size_t>(i)] = s / L(i, i);
  }
  for (int64_t i = m - 1; i >= 0; --i) {
    double s = b[static_cast<size_t>(i)];
    for (int64_t k = i + 1; k <= std::min(m - 1, i + p); ++k)
      s -= L(k, i) * b[static_cast<size_t>(k)];
    b[static_cast<size_t>(i)] = s / L(i, i);
  }
  for (int64_t j = 0; j < m; ++j)
    x[static_cast<size_t>(unknown[static_cast<size_t>(j)])] = b[static_cast<size_t>(j)];
}

}  // namespace

void arInterpolate(std::vector<double>& x, int64_t gapFirst, int64_t gapLast,
                   const std::vector<double>& a, const std::vector<double>* bound,
                   const std::vector<int8_t>* sign) {
  const int p = static_cast<int>(a.size()) - 1;
  if (gapLast < gapFirst || gapFirst < p || gapLast + p >= static_cast<int64_t>(x.size())) return;
  std::vector<int64_t> unknown;
  for (int64_t f = gapFirst; f <= gapLast; ++f) unknown.push_back(f);
  for (;;) {
    solveUnknowns(x, gapFirst, gapLast, a, unknown);
    if (!bound || !sign) return;
    // Samples on the wrong side of their bound are pinned to it; the rest are solved again.
    std::vector<int64_t> still;
    for (int64_t f : unknown) {
      const size_t k = static_cast<size_t>(f - gapFirst);
      const int8_t s = (*sign)[k];
      const double v = x[static_cast<size_t>(f)], lim = (*bound)[k];
      if ((s > 0 && v < lim) || (s < 0 && v > lim))
        x[static_cast<size_t>(f)] = lim;
      else
        still.push_back(f);
    }
    if (still.size() == unknown.size()) return;
    unknown.swap(still);
  }
}

namespace {

// Samples from .. to of one channel of an interleaved buffer, widened for the model's sums.
std::vector<int32_t> channelSamples(const int16_t* x, int64_t stride, int64_t from, int64_t to) {
  std::vector<int32_t> xi(static_cast<size_t>(to - from + 1));
  for (size_t i = 0; i < xi.size(); ++i) xi[i] = x[(from + static_cast<int64_t>(i)) * stride];
  return xi;
}

}  // namespace

bool arRepairGap(int16_t* x, int64_t n, int64_t stride, int64_t gapFirst, int64_t gapLast,
                 int context, const std::vector<double>* bound, const std::vector<int8_t>* sign) {
  const int p = kArOrder;
  if (gapFirst < 0 || gapLast >= n || gapLast < gapFirst) return false;
  const int64_t from = std::max<int64_t>(0, gapFirst - context);
  const int64_t to = std::min<int64_t>(n - 1, gapLast + context);
  if (gapFirst - from < kArMinSide || to - gapLast < kArMinSide) return false;
  const int64_t len = to - from + 1;
  const std::vector<int32_t> xi = channelSamples(x, stride, from, to);
  const int64_t g0 = gapFirst - from, g1 = gapLast - from;
  ArSums sums(p);
  sums.addRows(xi.data(), p, g0 - 1);
  sums.addRows(xi.data(), g1 + 1 + p, len - 1);
  std::vector<double> a;
  if (!solveAr(sums, a)) return false;
  std::vector<double> xd(xi.begin(), xi.end());
  arInterpolate(xd, g0, g1, a, bound, sign);
  for (int64_t f = g0; f <= g1; ++f) {
    const double v = std::clamp(std::nearbyint(xd[static_cast<size_t>(f)]), -32768.0, 32767.0);
    x[(from + f) * stride] = static_cast<int16_t>(v);
  }
  return true;
}

namespace {

// How far beyond the largest sample around it a repaired sample may go.
constexpr double kRepairReach = 2.0;
// Decay times tried for a tail, in frames: a geometric series from a few frames to a
// millisecond and more.
constexpr double kTailTaus[] = {2, 3, 4.5, 7, 10, 15, 22, 33, 50};
// A tail is removed only when it takes this many times the typical error energy of one row
// out of the rows it reaches: a chance fit of noise seldom takes more than a few.
constexpr double kTailTest = 30.0;
// And only when it explains at least this share of the error energy over those rows: the
// sound after an attack of the music is no decay.
constexpr double kTailShare = 0.2;
// And only when at least this share of its gain lies in the rows up to kTailEarly frames after
// the gap.
constexpr double kEarlyShare = 0.5;
constexpr int64_t kTailEarly = 16;
// A gap's deviation from its interpolation counts as click only beyond this many times what
// the model's uncertainty alone would give.
constexpr double kBlendMargin = 2.0;

double predictionError(const std::vector<double>& x, int64_t t, const std::vector<double>& a) {
  double s = 0;
  for (size_t i = 0; i < a.size(); ++i) s += a[i] * x[static_cast<size_t>(t) - i];
  return s;
}

// Sides of a fit are read in blocks walking away from the gap, the first block long enough for
// a fit on its own; a block whose error energy per row exceeds the blocks before it by this
// factor ends the side.
constexpr int kLevelBlock = 32;
constexpr double kLevelJump = 10.0;

// The farthest row of one side of a fit, from `near` (next to the gap) towards `far`, that
// keeps clear of a jump in the level of the model's error.
int64_t keptRow(const std::vector<int32_t>& xi, const std::vector<double>& a, int64_t near,
                int64_t far) {
  const int64_t dir = far >= near ? 1 : -1;
  const auto rowError = [&](int64_t t) {
    double s = 0;
    for (size_t i = 0; i < a.size(); ++i) s += a[i] * xi[static_cast<size_t>(t) - i];
    return s * s;
  };
  double sum = 0;
  int64_t count = 0, t = near, kept = far;
  while ((far - t) * dir >= 0) {
    const int64_t size = count == 0 ? kArMinSide : kLevelBlock;
    double block = 0;
    int64_t k = 0;
    for (; k < size && (far - t) * dir >= 0; ++k, t += dir) block += rowError(t);
    if (count > 0 &&
        block > kLevelJump * static_cast<double>(k) * sum / static_cast<double>(count)) {
      kept = t - dir * (k + 1);
      break;
    }
    sum += block;
    count += k;
  }
  return kept;
}

// Where the frames as they were differ from the interpolation by little more than the model
// leaves uncertain, the click is small beside what the music there makes unpredictable, and
// replacing the frames would add more error than it takes away. The deviation is measured in
// units of that uncertainty (its prediction error energy over the model's error energy per row,
// about the gap's length when there is no click), and only the share of it that stands out is
// repaired: the gap becomes a blend of the frames as they were and the interpolation, all the
// interpolation for a clear click.
void blendWithObserved(std::vector<double>& xd, const std::vector<int32_t>& xi, int64_t g0,
                       int64_t g1, const std::vector<double>& a, double rowEnergy) {
  const int p = static_cast<int>(a.size()) - 1;
  const int64_t n = g1 - g0 + 1;
  std::vector<double> dev(static_cast<size_t>(n + 2 * p), 0.0);
  for (int64_t f = g0; f <= g1; ++f)
    dev[static_cast<size_t>(f - g0 + p)] = xi[static_cast<size_t>(f)] - xd[static_cast<size_t>(f)];
  double standsOut = 0;
  for (size_t t = static_cast<size_t>(p); t < dev.size(); ++t) {
    const double e = predictionError(dev, static_cast<int64_t>(t), a);
    standsOut += e * e;
  }
  standsOut /= rowEnergy;
  const double share = std::max(0.0, 1.0 - kBlendMargin * static_cast<double>(n) / standsOut);
  for (int64_t f = g0; f <= g1; ++f) {
    const size_t k = static_cast<size_t>(f);
    xd[k] = share * xd[k] + (1.0 - share) * xi[k];
  }
}

// A detected stretch may end before the click's last ringing frames, and an interpolation
// anchored on them swings far from the music. The gap grows by a frame while that takes out
// this many rows' worth of prediction error energy (a frame of noise takes out about one),
// by at most kGapGrowth frames.
constexpr double kFrameTest = 9.0;
constexpr int kGapGrowth = 8;

// The gap's end after growing it frame by frame, no further than `limit`, and the error energy
// the growth takes out beyond what noise would (kFrameTest rows' worth a frame).
std::pair<int64_t, double> grownGapEnd(const std::vector<int32_t>& xi, int64_t g0, int64_t g1,
                                       int64_t limit, const std::vector<double>& a,
                                       double rowEnergy) {
  const int p = static_cast<int>(a.size()) - 1;
  limit = std::min(limit, g1 + kGapGrowth);
  if (limit <= g1) return {g1, 0.0};
  // Every trial is scored over the same rows: all that the longest gap reaches.
  const int64_t rowLast = std::min<int64_t>(static_cast<int64_t>(xi.size()) - 1, limit + p);
  std::vector<double> x;
  const auto left = [&](int64_t end) {
    x.assign(xi.begin(), xi.end());
    arInterpolate(x, g0, end, a);
    double e = 0;
    for (int64_t t = g0; t <= rowLast; ++t) {
      const double r = predictionError(x, t, a);
      e += r * r;
    }
    return e;
  };
  const double first = left(g1);
  double current = first;
  int64_t end = g1;
  while (end < limit) {
    const double grown = left(end + 1);
    if (current - grown <= kFrameTest * rowEnergy) break;
    current = grown;
    ++end;
  }
  return {end, first - current - kFrameTest * rowEnergy * static_cast<double>(end - g1)};
}

}  // namespace

bool arRepairClick(int16_t* x, int64_t n, int64_t stride, int64_t gapFirst, int64_t gapLast,
                   int context, int maxTail, int64_t* changedLast) {
  const int p = kArOrder;
  if (changedLast) *changedLast = gapLast;
  if (gapFirst < 0 || gapLast >= n || gapLast < gapFirst) return false;
  const int64_t tailEnd = std::min<int64_t>(n - 1, gapLast + std::max(maxTail, 0));
  const int64_t from = std::max<int64_t>(0, gapFirst - context);
  const int64_t to = std::min<int64_t>(n - 1, tailEnd + context);
  if (gapFirst - from < kArMinSide || to - gapLast < kArMinSide) return false;
  const int64_t len = to - from + 1;
  const std::vector<int32_t> xi = channelSamples(x, stride, from, to);
  const int64_t g0 = gapFirst - from, te = tailEnd - from;
  int64_t g1 = gapLast - from;
  // The fit keeps clear of a possible tail when there is enough sound beyond it.
  const int64_t rightFrom = len - 1 - te >= kArMinSide ? te + 1 : g1 + 1;
  std::vector<double> a;
  int64_t leftFirst = p, rightLast = len - 1;
  double fitRows = 0;
  const auto fit = [&] {
    ArSums sums(p);
    sums.addRows(xi.data(), leftFirst, g0 - 1);
    sums.addRows(xi.data(), rightFrom + p, rightLast);
    if (!solveAr(sums, a)) return -1.0;
    // The fit's error energy per row: what noise leaves in the error.
    double energy = 0;
    for (int i = 0; i <= p; ++i)
      for (int j = 0; j <= p; ++j)
        energy += a[static_cast<size_t>(i)] * a[static_cast<size_t>(j)] *
                  static_cast<double>(sums.at(i, j));
    fitRows = static_cast<double>(sums.rows());
    return std::max(energy, 0.0) / fitRows + 1.0;
  };
  double rowEnergy = fit();
  if (rowEnergy < 0) return false;
  // A side reaching into much louder sound (a drum's attack) describes the gap poorly and
  // inflates the noise level every test below relies on: it is cut short and the model refitted.
  leftFirst = keptRow(xi, a, g0 - 1, p);
  rightLast = keptRow(xi, a, rightFrom + p, len - 1);
  if (leftFirst != p || rightLast != len - 1) {
    rowEnergy = fit();
    if (rowEnergy < 0) return false;
  }

  // The click may ring on past the stretch found; a tail, if one is found, must explain the
  // frames after the gap better than growing the gap over them would.
  const auto grown = grownGapEnd(xi, g0, g1, std::min(te, rightFrom - 1), a, rowEnergy);
  std::vector<double> xd(xi.begin(), xi.end());
  arInterpolate(xd, g0, g1, a);
  int64_t last = g1;
  const int64_t tailLen = te - g1;
  if (tailLen >= 4) {
    // The repair is linear in the tail's size A: removing A times a decay d from the tail moves
    // the interpolated gap by A times the gap's answer to -d alone (u), so the error over the
    // rows both reach is e0 + A * eu, least at A = -<e0, eu> / <eu, eu>.
    const int64_t rowLast = std::min(te + p, len - 1);
    const size_t rows = static_cast<size_t>(rowLast - g0 + 1);
    std::vector<double> e0(rows), eu(rows), u(static_cast<size_t>(len)), bestU, bestEu;
    for (size_t r = 0; r < rows; ++r) e0[r] = predictionError(xd, g0 + static_cast<int64_t>(r), a);
    double bestGain = 0, bestAmp = 0;
    for (double tau : kTailTaus) {
      const double rho = std::exp(-1.0 / tau);
      std::fill(u.begin(), u.end(), 0.0);
      double d = 1;
      for (int64_t k = 0; k < tailLen; ++k, d *= rho) u[static_cast<size_t>(g1 + 1 + k)] = -d;
      arInterpolate(u, g0, g1, a);
      double ee = 0, uu = 0;
      for (size_t r = 0; r < rows; ++r) {
        eu[r] = predictionError(u, g0 + static_cast<int64_t>(r), a);
        ee += e0[r] * eu[r];
        uu += eu[r] * eu[r];
      }
      if (uu <= 0 || ee * ee / uu <= bestGain) continue;
      bestGain = ee * ee / uu;
      bestAmp = -ee / uu;
      bestU = u;
      bestEu = eu;
    }
    double errorEnergy = 0;
    for (double v : e0) errorEnergy += v * v;
    // A decay explains most where it is largest, next to the gap; a tail whose gain comes from
    // rows far after it has fitted something else there (the next click's jump).
    double earlyGain = 0;
    const size_t early = std::min(
        rows, static_cast<size_t>(g1 - g0 + 1 + p + std::min<int64_t>(tailLen, kTailEarly)));
    for (size_t r = 0; r < early && !bestEu.empty(); ++r)
      earlyGain += e0[r] * e0[r] - (e0[r] + bestAmp * bestEu[r]) * (e0[r] + bestAmp * bestEu[r]);
    if (bestGain > kTailTest * rowEnergy && bestGain > kTailShare * errorEnergy &&
        bestGain - kFrameTest * rowEnergy > grown.second && earlyGain >= kEarlyShare * bestGain) {
      for (int64_t f = g0; f <= te; ++f)
        xd[static_cast<size_t>(f)] += bestAmp * bestU[static_cast<size_t>(f)];
      // Where the tail has died away, nothing is changed.
      for (int64_t f = g1 + 1; f <= te; ++f)
        if (std::abs(bestAmp * bestU[static_cast<size_t>(f)]) >= 0.5) last = f;
    }
  }
  if (last == g1 && grown.first > g1) {
    g1 = last = grown.first;
    xd.assign(xi.begin(), xi.end());
    arInterpolate(xd, g0, g1, a);
  }
  // A model fitted across a sudden change of the sound can predict far beyond anything around
  // the repair; such a repair would be worse than the click. The bound comes from the sound as
  // it was, so that a runaway tail cannot raise it.
  const auto runsAway = [&] {
    double around = 0;
    for (int64_t f = std::max<int64_t>(0, g0 - p); f <= std::min(len - 1, last + p); ++f)
      if (f < g0 || f > last)
        around = std::max(around, std::abs(static_cast<double>(xi[static_cast<size_t>(f)])));
    const double limit = kRepairReach * around + 4.0 * std::sqrt(rowEnergy);
    double reached = 0, was = 0;
    for (int64_t f = g0; f <= last; ++f) {
      reached = std::max(reached, std::abs(xd[static_cast<size_t>(f)]));
      was = std::max(was, std::abs(static_cast<double>(xi[static_cast<size_t>(f)])));
    }
    // A large click may itself reach that far; a repair staying within it is still the better.
    return reached > limit && reached > was;
  };
  if (runsAway() && last > g1) {
    // Without the tail the gap alone may still be repaired soundly.
    xd.assign(xi.begin(), xi.end());
    arInterpolate(xd, g0, g1, a);
    last = g1;
  }
  if (runsAway()) {
    if (changedLast) *changedLast = gapFirst - 1;
    return true;
  }
  // The fit's own rows understate the error of the model on other frames (the final prediction
  // error): what the gap is measured against.
  const double fpe = (fitRows + p) / std::max(fitRows - p, 1.0);
  blendWithObserved(xd, xi, g0, g1, a, rowEnergy * fpe);
  for (int64_t f = g0; f <= last; ++f) {
    const double v = std::clamp(std::nearbyint(xd[static_cast<size_t>(f)]), -32768.0, 32767.0);
    x[(from + f) * stride] = static_cast<int16_t>(v);
  }
  if (changedLast) *changedLast = from + last;
  return true;
}

}  // namespace tolmar
