#include "declick/clip_repair.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace tolmar {

namespace {

// -32768 counts as 32767, as the clipping search counts it.
inline int magnitude(int32_t v) {
  return std::min(std::abs(v), 32767);
}

// Calls take(first, last) for each stretch of rows t whose samples x[t − order … t] are all
// known: missing(i) false.
template <class Missing, class Take>
void forKnownRows(int64_t n, int order, Missing missing, Take take) {
  int64_t lastMissing = -1;
  int64_t start = -1;
  for (int64_t t = 0; t < n; ++t) {
    if (missing(t)) lastMissing = t;
    if (t >= order && t - order > lastMissing) {
      if (start < 0) start = t;
    } else if (start >= 0) {
      take(start, t - 1);
      start = -1;
    }
  }
  if (start >= 0) take(start, n - 1);
}

template <class Take>
void forCleanRows(const int32_t* x, int64_t n, int order, int level, Take take) {
  forKnownRows(
      n, order, [&](int64_t i) { return magnitude(x[i]) >= level; }, take);
}

int64_t cleanRows(const int32_t* x, int64_t n, int order, int level) {
  int64_t rows = 0;
  forCleanRows(x, n, order, level, [&](int64_t a, int64_t b) { rows += b - a + 1; });
  return rows;
}

// A symmetric band matrix of half-width p, lower band stored: at(j, d) is element (j, j − d).
class Band {
 public:
  Band(int64_t size, int p) : p_(p), v_(static_cast<size_t>(size) * (p + 1), 0.0) {}
  double& at(int64_t j, int64_t d) { return v_[static_cast<size_t>(j) * (p_ + 1) + d]; }
  double at(int64_t j, int64_t d) const { return v_[static_cast<size_t>(j) * (p_ + 1) + d]; }
  double get(int64_t j, int64_t k) const {
    if (j < k) std::swap(j, k);
    return j - k <= p_ ? at(j, j - k) : 0.0;
  }

 private:
  int p_;
  std::vector<double> v_;
};

// Cholesky of a band matrix in place, then the solution of M z = r in r. False when M is not
// positive definite (nothing to trust then).
bool solveBand(Band& m, int64_t size, int p, std::vector<double>& r) {
  for (int64_t i = 0; i < size; ++i) {
    for (int64_t j = std::max<int64_t>(0, i - p); j <= i; ++j) {
      double s = m.at(i, i - j);
      for (int64_t k = std::max<int64_t>(0, i - p); k < j; ++k)
        s -= m.at(i, i - k) * m.at(j, j - k);
      if (i == j) {
        if (!(s > 0)) return false;
        m.at(i, 0) = std::sqrt(s);
      } else {
        m.at(i, i - j) = s / m.at(j, 0);
      }
    }
  }
  for (int64_t i = 0; i < size; ++i) {
    double s = r[static_cast<size_t>(i)];
    for (int64_t k = std::max<int64_t>(0, i - p); k < i; ++k)
      s -= m.at(i, i - k) * r[static_cast<size_t>(k)];
    r[static_cast<size_t>(i)] = s / m.at(i, 0);
  }
  for (int64_t i = size - 1; i >= 0; --i) {
    double s = r[static_cast<size_t>(i)];
    for (int64_t k = i + 1; k <= std::min(size - 1, i + p); ++k)
      s -= m.at(k, k - i) * r[static_cast<size_t>(k)];
    r[static_cast<size_t>(i)] = s / m.at(i, 0);
  }
  return true;
}

// The u minimising u'Hu + 2b'u subject to sign[j] · u[j] >= bound[j] (H a band of half-width
// p over m unknowns), from the start u (made feasible here). Solved by an active set: violators
// are held at their bound, and a held sample is let go again while the error still falls by
// moving it inward. Returns the number held at their bound.
int64_t solveBounded(Band& h, const std::vector<double>& b, int p, std::vector<double>& u,
                     const std::vector<double>& bound, const std::vector<int8_t>& sign) {
  const int64_t m = static_cast<int64_t>(u.size());
  double trace = 0;
  for (int64_t j = 0; j < m; ++j) trace += h.at(j, 0);
  const double load = 1e-9 * trace / static_cast<double>(m) + 1e-12;
  for (int64_t j = 0; j < m; ++j) h.at(j, 0) += load;
  double bScale = 0;
  for (double v : b) bScale = std::max(bScale, std::abs(v));
  const double tolerance = 1e-9 * (1 + bScale);

  const auto gradient = [&](int64_t j) {
    double g = b[static_cast<size_t>(j)];
    for (int64_t k = std::max<int64_t>(0, j - p); k <= std::min(m - 1, j + p); ++k)
      g += h.get(j, k) * u[static_cast<size_t>(k)];
    return g;
  };
  const auto violates = [&](int64_t j, double v) {
    const int8_t s = sign[static_cast<size_t>(j)];
    return s != 0 && s * v < bound[static_cast<size_t>(j)];
  };

  // Start from a feasible point: the samples as they are, or their bound where they are not.
  std::vector<uint8_t> held(static_cast<size_t>(m), 0);
  for (int64_t j = 0; j < m; ++j)
    if (violates(j, u[static_cast<size_t>(j)]))
      u[static_cast<size_t>(j)] = sign[static_cast<size_t>(j)] * bound[static_cast<size_t>(j)];
  std::vector<int64_t> freeSet;
  std::vector<double> z;
  const int64_t maxIterations = 4 * m + 50;
  for (int64_t iteration = 0; iteration < maxIterations; ++iteration) {
    freeSet.clear();
    for (int64_t j = 0; j < m; ++j)
      if (!held[static_cast<size_t>(j)]) freeSet.push_back(j);
    const int64_t f = static_cast<int64_t>(freeSet.size());
    if (f > 0) {
      // The free samples' best values with the held ones at their bounds.
      Band sub(f, p);
      z.assign(static_cast<size_t>(f), 0.0);
      for (int64_t i = 0; i < f; ++i) {
        const int64_t j = freeSet[static_cast<size_t>(i)];
        for (int64_t i2 = std::max<int64_t>(0, i - p); i2 <= i; ++i2)
          sub.at(i, i - i2) = h.get(j, freeSet[static_cast<size_t>(i2)]);
        double r = -b[static_cast<size_t>(j)];
        for (int64_t k = std::max<int64_t>(0, j - p); k <= std::min(m - 1, j + p); ++k)
          if (held[static_cast<size_t>(k)]) r -= h.get(j, k) * u[static_cast<size_t>(k)];
        z[static_cast<size_t>(i)] = r;
      }
      if (!solveBand(sub, f, p, z)) break;
      // Go toward them as far as every bound allows; the ones that stop the step are held.
      double alpha = 1;
      for (int64_t i = 0; i < f; ++i) {
        const int64_t j = freeSet[static_cast<size_t>(i)];
        if (!violates(j, z[static_cast<size_t>(i)])) continue;
        const double s = sign[static_cast<size_t>(j)];
        const double room = s * u[static_cast<size_t>(j)] - bound[static_cast<size_t>(j)];
        const double fall = s * (u[static_cast<size_t>(j)] - z[static_cast<size_t>(i)]);
        alpha = std::min(alpha, std::max(0.0, room / fall));
      }
      for (int64_t i = 0; i < f; ++i) {
        const int64_t j = freeSet[static_cast<size_t>(i)];
        double& uj = u[static_cast<size_t>(j)];
        uj += alpha * (z[static_cast<size_t>(i)] - uj);
      }
      if (alpha < 1) {
        for (int64_t i = 0; i < f; ++i) {
          const int64_t j = freeSet[static_cast<size_t>(i)];
          const double s = sign[static_cast<size_t>(j)];
          const double lim = bound[static_cast<size_t>(j)];
          if (violates(j, z[static_cast<size_t>(i)]) &&
              s * u[static_cast<size_t>(j)] <= lim + 1e-9 * (1 + std::abs(lim))) {
            held[static_cast<size_t>(j)] = 1;
            u[static_cast<size_t>(j)] = s * lim;
          }
        }
        continue;
      }
    }
    // Every free sample is where it is best: let go the held one whose release lowers the error
    // fastest, if any does.
    int64_t release = -1;
    double steepest = -tolerance;
    for (int64_t j = 0; j < m; ++j) {
      if (!held[static_cast<size_t>(j)]) continue;
      const double slope = sign[static_cast<size_t>(j)] * gradient(j);
      if (slope < steepest) {
        steepest = slope;
        release = j;
      }
    }
    if (release < 0) break;
    held[static_cast<size_t>(release)] = 0;
  }
  int64_t heldCount = 0;
  for (uint8_t v : held) heldCount += v;
  return heldCount;
}

}  // namespace

bool fitUnclipped(const int32_t* x, int64_t n, int order, int level, std::vector<double>& a) {
  ArSums sums(order);
  forCleanRows(x, n, order, level,
               [&](int64_t first, int64_t last) { sums.addRows(x, first, last); });
  return solveAr(sums, a);
}

int64_t boundedArInterpolate(std::vector<double>& x, const std::vector<int64_t>& unknown,
                             const std::vector<double>& a, const std::vector<double>& bound,
                             const std::vector<int8_t>& sign) {
  const int p = static_cast<int>(a.size()) - 1;
  const int64_t m = static_cast<int64_t>(unknown.size());
  const int64_t n = static_cast<int64_t>(x.size());
  if (m == 0 || p < 0) return 0;
  const int64_t u0 = unknown.front(), u1 = unknown.back();
  std::vector<int64_t> slot(static_cast<size_t>(u1 - u0 + 1), -1);
  for (int64_t j = 0; j < m; ++j) slot[static_cast<size_t>(unknown[j] - u0)] = j;

  // The error energy is u'Hu + 2b'u + c over the unknowns u; H is a band of half-width p
  // because a row couples only unknowns at most p apart.
  Band h(m, p);
  std::vector<double> b(static_cast<size_t>(m), 0.0);
  std::vector<int64_t> idx;
  std::vector<double> coef;
  for (int64_t t = std::max<int64_t>(p, u0); t <= std::min(n - 1, u1 + p); ++t) {
    double known = 0;
    idx.clear();
    coef.clear();
    for (int i = 0; i <= p; ++i) {
      const int64_t f = t - i;
      const int64_t s = f >= u0 && f <= u1 ? slot[static_cast<size_t>(f - u0)] : -1;
      if (s >= 0) {
        idx.push_back(s);
        coef.push_back(a[static_cast<size_t>(i)]);
      } else {
        known += a[static_cast<size_t>(i)] * x[static_cast<size_t>(f)];
      }
    }
    // idx falls as i rises, so idx[q] >= idx[r] for r >= q.
    for (size_t q = 0; q < idx.size(); ++q) {
      b[static_cast<size_t>(idx[q])] += coef[q] * known;
      for (size_t r = q; r < idx.size(); ++r) h.at(idx[q], idx[q] - idx[r]) += coef[q] * coef[r];
    }
  }
  std::vector<double> u(static_cast<size_t>(m));
  for (int64_t j = 0; j < m; ++j) u[static_cast<size_t>(j)] = x[static_cast<size_t>(unknown[j])];
  const int64_t held = solveBounded(h, b, p, u, bound, sign);
  for (int64_t j = 0; j < m; ++j) x[static_cast<size_t>(unknown[j])] = u[static_cast<size_t>(j)];
  return held;
}

ClipRepairResult repairClippedSpans(int16_t* x, int64_t n, int64_t stride,
                                    const std::vector<ClipSpan>& spans,
                                    const ClipRepairOptions& options) {
  ClipRepairResult result;
  if (spans.empty() || n <= 0 || options.level < 1 || options.order < 1) return result;
  int64_t lo = n, hi = -1;
  for (const ClipSpan& s : spans) {
    if (s.first < 0 || s.last >= n || s.last < s.first) return result;
    lo = std::min(lo, s.first);
    hi = std::max(hi, s.last);
  }
  const int64_t reach = static_cast<int64_t>(options.fitContext) + options.order;
  const int64_t from = std::max<int64_t>(0, lo - reach);
  const int64_t to = std::min<int64_t>(n - 1, hi + reach);
  const int64_t len = to - from + 1;
  std::vector<int32_t> xi(static_cast<size_t>(len));
  for (int64_t i = 0; i < len; ++i) xi[static_cast<size_t>(i)] = x[(from + i) * stride];

  // A short window gets a smaller model rather than one fitted to a handful of rows.
  int order = options.order;
  while (order > 2 && cleanRows(xi.data(), len, order, options.level) < 4 * order) order /= 2;
  std::vector<double> a;
  if (cleanRows(xi.data(), len, order, options.level) < 4 * order ||
      !fitUnclipped(xi.data(), len, order, options.level, a))
    return result;

  // 2: a span's sample, written back; 1: another clipped sample the model reaches, solved only.
  std::vector<uint8_t> role(static_cast<size_t>(len), 0);
  for (const ClipSpan& s : spans) {
    for (int64_t i = std::max<int64_t>(0, s.first - from - order);
         i <= std::min(len - 1, s.last - from + order); ++i)
      if (magnitude(xi[static_cast<size_t>(i)]) >= options.level) role[static_cast<size_t>(i)] = 1;
  }
  for (const ClipSpan& s : spans)
    for (int64_t f = s.first; f <= s.last; ++f) role[static_cast<size_t>(f - from)] = 2;
  std::vector<int64_t> unknown;
  std::vector<double> bound;
  std::vector<int8_t> sign;
  for (int64_t i = 0; i < len; ++i) {
    if (!role[static_cast<size_t>(i)]) continue;
    const int32_t v = xi[static_cast<size_t>(i)];
    unknown.push_back(i);
    sign.push_back(v < 0 ? -1 : 1);
    bound.push_back(std::max(options.level, magnitude(v)));
  }
  std::vector<double> xd(xi.begin(), xi.end());
  boundedArInterpolate(xd, unknown, a, bound, sign);
  // Fitted without the clipped tops, the model knows least about the sound there: fitted again
  // with the rebuilt tops in place (the clipped samples left unsolved still kept out), it is
  // solved again.
  for (int round = 0; round < options.refits; ++round) {
    std::vector<int32_t> rebuilt = xi;
    for (int64_t i : unknown)
      rebuilt[static_cast<size_t>(i)] =
          static_cast<int32_t>(std::lround(xd[static_cast<size_t>(i)]));
    ArSums sums(order);
    forKnownRows(
        len, order,
        [&](int64_t i) {
          return !role[static_cast<size_t>(i)] &&
                 magnitude(xi[static_cast<size_t>(i)]) >= options.level;
        },
        [&](int64_t first, int64_t last) { sums.addRows(rebuilt.data(), first, last); });
    if (!solveAr(sums, a)) break;
    xd.assign(xi.begin(), xi.end());
    boundedArInterpolate(xd, unknown, a, bound, sign);
  }
  for (size_t j = 0; j < unknown.size(); ++j) {
    const int64_t i = unknown[j];
    if (role[static_cast<size_t>(i)] != 2) continue;
    double v = std::nearbyint(xd[static_cast<size_t>(i)]);
    if (v > 32767 || v < -32768) {
      ++result.limited;
      v = std::clamp(v, -32768.0, 32767.0);
    }
    // Rounding cannot take a sample back inside its bound, but a bound beyond the range can.
    if (sign[j] * v < bound[j]) v = std::clamp(sign[j] * bound[j], -32768.0, 32767.0);
    x[(from + i) * stride] = static_cast<int16_t>(v);
  }
  result.repaired = true;
  return result;
}

}  // namespace tolmar

namespace tolmar {

namespace {

// Cholesky of a small dense symmetric matrix (row-major, lower triangle used) in place, then
// the solution of G z = r in r. False when G is not positive definite.
bool solveDense(std::vector<double>& g, int n, std::vector<double>& r) {
  const auto at = [&](int i, int j) -> double& { return g[static_cast<size_t>(i * n + j)]; };
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j <= i; ++j) {
      double s = at(i, j);
      for (int k = 0; k < j; ++k) s -= at(i, k) * at(j, k);
      if (i == j) {
        if (!(s > 0)) return false;
        at(i, i) = std::sqrt(s);
      } else {
        at(i, j) = s / at(j, j);
      }
    }
  }
  for (int i = 0; i < n; ++i) {
    double s = r[static_cast<size_t>(i)];
    for (int k = 0; k < i; ++k) s -= at(i, k) * r[static_cast<size_t>(k)];
    r[static_cast<size_t>(i)] = s / at(i, i);
  }
  for (int i = n - 1; i >= 0; --i) {
    double s = r[static_cast<size_t>(i)];
    for (int k = i + 1; k < n; ++k) s -= at(k, i) * r[static_cast<size_t>(k)];
    r[static_cast<size_t>(i)] = s / at(i, i);
  }
  return true;
}

// Channel c predicted as the sum of own[i − 1] · c[t − i] (i = 1 … order) and
// other[d + cross] · o[t + d] (d = −cross … cross).
struct CrossModel {
  std::vector<double> own, other;
  int last = 0;         // the latest sample of the other channel it takes, relative to t
  double variance = 0;  // mean squared error over the rows fitted
  double weight = 0;    // of its errors in the solve: 1 / the variance near the spans
  double share = 1;     // error energy over that of the best prediction from the own past alone
  double ownShare = 1;  // the own past's error energy over the sound's energy
  bool ok = false;
};

// Two channels of a window, with how many samples before each index are clipped.
struct StereoWindow {
  int64_t len = 0;
  std::vector<int32_t> v[2];
  std::vector<int32_t> clippedBefore[2];  // len + 1 entries
  bool clean(int c, int64_t first, int64_t last) const {
    return clippedBefore[c][static_cast<size_t>(last + 1)] ==
           clippedBefore[c][static_cast<size_t>(first)];
  }
};

constexpr double kCrossRidge = 1e-3;
constexpr int64_t kNearRows = 256;

// Sum of products, four at a time side by side.
double dot(const double* a, const double* b, int64_t n) {
  double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
  int64_t i = 0;
  for (; i + 4 <= n; i += 4) {
    s0 += a[i] * b[i];
    s1 += a[i + 1] * b[i + 1];
    s2 += a[i + 2] * b[i + 2];
    s3 += a[i + 3] * b[i + 3];
  }
  for (; i < n; ++i) s0 += a[i] * b[i];
  return (s0 + s1) + (s2 + s3);
}

// Fitted over the window; the rows near0 … near1 also give the variance near the spans.
CrossModel fitCross(const StereoWindow& w, int c, int p, int D, int last, int64_t near0,
                    int64_t near1) {
  CrossModel m;
  const int o = 1 - c;
  const int P = p + D + last + 1;
  std::vector<int64_t> at;
  // The other channel's prediction takes none of its own present (last is -1), but the row
  // itself must still lie in the window.
  for (int64_t t = std::max(p, D); t < w.len && t + last < w.len; ++t)
    if (w.clean(c, t - p, t) && w.clean(o, t - D, t + last)) at.push_back(t);
  const int64_t rows = static_cast<int64_t>(at.size());
  if (rows < 4 * P) return m;
  // The rows' regressors gathered column by column, the predicted sample last, so that each
  // sum of products is one pass over two arrays.
  std::vector<double> cols(static_cast<size_t>(P + 1) * static_cast<size_t>(rows));
  const auto column = [&](int i) { return cols.data() + static_cast<size_t>(i) * rows; };
  for (int64_t k = 0; k < rows; ++k) {
    const int64_t t = at[static_cast<size_t>(k)];
    for (int i = 0; i < p; ++i) column(i)[k] = w.v[c][static_cast<size_t>(t - 1 - i)];
    for (int i = 0; i <= D + last; ++i) column(p + i)[k] = w.v[o][static_cast<size_t>(t - D + i)];
    column(P)[k] = w.v[c][static_cast<size_t>(t)];
  }
  const double* y = column(P);
  std::vector<double> g(static_cast<size_t>(P) * P, 0.0), r(static_cast<size_t>(P), 0.0);
  for (int i = 0; i < P; ++i) {
    r[static_cast<size_t>(i)] = dot(column(i), y, rows);
    for (int j = 0; j <= i; ++j)
      g[static_cast<size_t>(i) * P + j] = dot(column(i), column(j), rows);
  }
  // Loaded far more than the own-past models are: where the channels carry the same noise,
  // their pasts are nearly the same regressors, and an unloaded fit pairs large coefficients
  // that cancel on the rows fitted but run away where both channels are unknown.
  const auto solve = [&](int n, std::vector<double>& coef) {
    std::vector<double> sub(static_cast<size_t>(n) * n);
    double trace = 0;
    for (int i = 0; i < n; ++i) trace += g[static_cast<size_t>(i) * P + i];
    for (int i = 0; i < n; ++i)
      for (int j = 0; j <= i; ++j)
        sub[static_cast<size_t>(i) * n + j] = g[static_cast<size_t>(i) * P + j];
    for (int i = 0; i < n; ++i)
      sub[static_cast<size_t>(i) * n + i] += kCrossRidge * trace / n + 1e-9;
    coef.assign(r.begin(), r.begin() + n);
    return solveDense(sub, n, coef);
  };
  std::vector<double> full, own;
  if (!solve(P, full) || !solve(p, own)) return m;
  // Measured row by row: the difference of two large sums would lose the small error.
  std::vector<double> ef(y, y + rows), es(y, y + rows);
  for (int i = 0; i < P; ++i) {
    const double* z = column(i);
    const double a = full[static_cast<size_t>(i)], b = i < p ? own[static_cast<size_t>(i)] : 0.0;
    for (int64_t k = 0; k < rows; ++k) {
      ef[static_cast<size_t>(k)] -= a * z[k];
      es[static_cast<size_t>(k)] -= b * z[k];
    }
  }
  const double eFull = dot(ef.data(), ef.data(), rows), eOwn = dot(es.data(), es.data(), rows),
               energy = dot(y, y, rows);
  const int64_t n0 = std::lower_bound(at.begin(), at.end(), near0) - at.begin();
  const int64_t n1 = std::upper_bound(at.begin(), at.end(), near1) - at.begin();
  const int64_t nearRows = n1 - n0;
  const double eNear = nearRows > 0 ? dot(ef.data() + n0, ef.data() + n0, nearRows) : 0.0;
  m.last = last;
  m.own.assign(full.begin(), full.begin() + p);
  m.other.assign(full.begin() + p, full.end());
  m.variance = eFull / static_cast<double>(rows) + 1e-6;
  // Peaks come where the sound is loudest, and so do the largest errors: the rows near the
  // spans speak for the errors there when they say more.
  m.weight = 1 / (nearRows >= 16 ? std::max(m.variance, eNear / static_cast<double>(nearRows))
                                 : m.variance);
  m.share = eOwn > 0 ? eFull / eOwn : 1;
  m.ownShare = energy > 0 ? eOwn / energy : 1;
  m.ok = true;
  return m;
}

}  // namespace

StereoClipResult repairClippedFromOther(int16_t* x, int64_t n, int channel,
                                        const std::vector<ClipSpan>& spans,
                                        const StereoClipOptions& options) {
  StereoClipResult result;
  const int p = options.order, D = options.cross, level = options.level;
  if (spans.empty() || n <= 0 || level < 1 || p < 1 || D < 0 || channel < 0 || channel > 1)
    return result;
  int64_t lo = n, hi = -1;
  for (const ClipSpan& s : spans) {
    if (s.first < 0 || s.last >= n || s.last < s.first) return result;
    lo = std::min(lo, s.first);
    hi = std::max(hi, s.last);
  }
  const int64_t reach = static_cast<int64_t>(options.fitContext) + p + D;
  const int64_t from = std::max<int64_t>(0, lo - reach);
  const int64_t to = std::min<int64_t>(n - 1, hi + reach);
  StereoWindow w;
  w.len = to - from + 1;
  for (int ch = 0; ch < 2; ++ch) {
    w.v[ch].resize(static_cast<size_t>(w.len));
    w.clippedBefore[ch].assign(static_cast<size_t>(w.len) + 1, 0);
    for (int64_t i = 0; i < w.len; ++i) {
      const int32_t v = x[2 * (from + i) + ch];
      w.v[ch][static_cast<size_t>(i)] = v;
      w.clippedBefore[ch][static_cast<size_t>(i) + 1] =
          w.clippedBefore[ch][static_cast<size_t>(i)] + (magnitude(v) >= level);
    }
  }
  const int c = channel, o = 1 - channel;
  CrossModel model[2];
  model[c] = fitCross(w, c, p, D, 0, lo - from - kNearRows, hi - from + kNearRows);
  result.share = model[c].share;
  result.ownShare = model[c].ownShare;
  if (!model[c].ok || model[c].share > options.maxShare || model[c].ownShare < options.minOwnShare)
    return result;

  // The unknowns, by interleaved index 2i + channel: the clipped samples of c the spans' rows
  // reach, and those of o that these rows see.
  const int64_t len = w.len;
  std::vector<int64_t> slot(2 * static_cast<size_t>(len), -1);
  std::vector<uint8_t> inSpan(static_cast<size_t>(len), 0);
  for (const ClipSpan& s : spans) {
    const int64_t a = s.first - from, b = s.last - from;
    std::fill(inSpan.begin() + a, inSpan.begin() + b + 1, uint8_t{1});
    for (int64_t i = std::max<int64_t>(0, a - p); i <= std::min(len - 1, b + p); ++i)
      if (inSpan[static_cast<size_t>(i)] || magnitude(w.v[c][static_cast<size_t>(i)]) >= level)
        slot[2 * static_cast<size_t>(i) + c] = 0;
    for (int64_t i = std::max<int64_t>(0, a - D); i <= std::min(len - 1, b + p); ++i)
      if (magnitude(w.v[o][static_cast<size_t>(i)]) >= level)
        slot[2 * static_cast<size_t>(i) + o] = 0;
  }
  bool otherUnknown = false;
  std::vector<int64_t> unknown;
  for (size_t k = 0; k < slot.size(); ++k) {
    if (slot[k] < 0) continue;
    slot[k] = static_cast<int64_t>(unknown.size());
    unknown.push_back(static_cast<int64_t>(k));
    otherUnknown = otherUnknown || static_cast<int>(k % 2) == o;
  }
  // The other channel's clipped samples need its own prediction to hold them.
  if (otherUnknown) {
    model[o] = fitCross(w, o, p, D, -1, lo - from - kNearRows, hi - from + kNearRows);
    if (!model[o].ok) return result;
  }

  const int64_t count = static_cast<int64_t>(unknown.size());
  std::vector<double> u(static_cast<size_t>(count)), bound(static_cast<size_t>(count));
  std::vector<int8_t> sign(static_cast<size_t>(count));
  for (int64_t j = 0; j < count; ++j) {
    const int64_t k = unknown[static_cast<size_t>(j)];
    const int32_t v = w.v[k % 2][static_cast<size_t>(k / 2)];
    sign[static_cast<size_t>(j)] = v < 0 ? -1 : 1;
    bound[static_cast<size_t>(j)] = std::max(level, magnitude(v));
  }
  for (int round = 0;; ++round) {
    // Every row of either prediction that holds an unknown; the clipped samples outside the
    // unknowns stand at their clipped values.
    std::vector<uint8_t> rowUsed(2 * static_cast<size_t>(len), 0);
    const auto useRow = [&](int m, int64_t t) {
      if (t - p >= 0 && t - D >= 0 && t < len && model[m].ok)
        rowUsed[2 * static_cast<size_t>(t) + m] = 1;
    };
    for (int64_t k : unknown) {
      const int ch = static_cast<int>(k % 2);
      const int64_t i = k / 2;
      for (int64_t t = i; t <= i + p; ++t) useRow(ch, t);
      for (int64_t t = i - model[1 - ch].last; t <= i + D; ++t) useRow(1 - ch, t);
    }
    struct Term {
      int64_t slot;
      double coef;
    };
    std::vector<Term> terms;
    std::vector<std::vector<Term>> rowTerms;
    std::vector<double> rowKnown, rowWeight;
    int halfWidth = 0;
    for (size_t k = 0; k < rowUsed.size(); ++k) {
      if (!rowUsed[k]) continue;
      const int m = static_cast<int>(k % 2), q = 1 - m;
      const int64_t t = static_cast<int64_t>(k / 2);
      const CrossModel& mm = model[m];
      double known = 0;
      terms.clear();
      const auto term = [&](int ch, int64_t i, double coef) {
        const int64_t s = slot[2 * static_cast<size_t>(i) + ch];
        if (s >= 0)
          terms.push_back({s, coef});
        else
          known += coef * w.v[ch][static_cast<size_t>(i)];
      };
      term(m, t, 1);
      for (int i = 1; i <= p; ++i) term(m, t - i, -mm.own[static_cast<size_t>(i - 1)]);
      for (int d = -D; d <= mm.last; ++d) term(q, t + d, -mm.other[static_cast<size_t>(d + D)]);
      if (terms.empty()) continue;
      std::sort(terms.begin(), terms.end(),
                [](const Term& a, const Term& b) { return a.slot > b.slot; });
      halfWidth = std::max(halfWidth, static_cast<int>(terms.front().slot - terms.back().slot));
      rowTerms.push_back(terms);
      rowKnown.push_back(known);
      rowWeight.push_back(mm.weight);
    }
    for (int64_t j = 0; j < count; ++j) {
      const int64_t k = unknown[static_cast<size_t>(j)];
      u[static_cast<size_t>(j)] = w.v[k % 2][static_cast<size_t>(k / 2)];
    }
    // Unknowns no row joins are independent problems: solved apart, each active set refactors
    // only its own band.
    std::vector<size_t> order(rowTerms.size());
    for (size_t r = 0; r < order.size(); ++r) order[r] = r;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
      return rowTerms[a].back().slot < rowTerms[b].back().slot;
    });
    for (size_t r0 = 0; r0 < order.size();) {
      const int64_t first = rowTerms[order[r0]].back().slot;
      int64_t last = rowTerms[order[r0]].front().slot;
      size_t r1 = r0 + 1;
      while (r1 < order.size() && rowTerms[order[r1]].back().slot <= last)
        last = std::max(last, rowTerms[order[r1++]].front().slot);
      const int64_t size = last - first + 1;
      Band h(size, halfWidth);
      std::vector<double> b(static_cast<size_t>(size), 0.0);
      for (size_t q = r0; q < r1; ++q) {
        const size_t r = order[q];
        const std::vector<Term>& ts = rowTerms[r];
        const double wt = rowWeight[r];
        for (size_t i = 0; i < ts.size(); ++i) {
          const int64_t si = ts[i].slot - first;
          b[static_cast<size_t>(si)] += wt * ts[i].coef * rowKnown[r];
          for (size_t k = i; k < ts.size(); ++k)
            h.at(si, ts[i].slot - ts[k].slot) += wt * ts[i].coef * ts[k].coef;
        }
      }
      std::vector<double> uc(u.begin() + first, u.begin() + last + 1);
      const std::vector<double> bc(bound.begin() + first, bound.begin() + last + 1);
      const std::vector<int8_t> sc(sign.begin() + first, sign.begin() + last + 1);
      // The least-squares answer is the most likely sound, and it hugs the bounds: noise, which
      // no prediction foresees, is then left at the level when it went well beyond. The expected
      // value beyond the bound, each sample a Gaussian about the free solution with the spread
      // the errors allow, is taken wherever it lies further out.
      Band free = h;
      std::vector<double> mu(b.size());
      for (size_t j = 0; j < b.size(); ++j) mu[j] = -b[j];
      const bool haveMu = solveBand(free, size, halfWidth, mu);
      std::vector<double> spread(static_cast<size_t>(size), 0.0);
      if (haveMu) {
        // The variances are the diagonal of the inverse: |L^-1 e_j|^2 from the factor.
        std::vector<double> col(static_cast<size_t>(size));
        for (int64_t j = 0; j < size; ++j) {
          double sum = 0;
          for (int64_t i = j; i < size; ++i) {
            double v = i == j ? 1.0 : 0.0;
            for (int64_t k = std::max<int64_t>(j, i - halfWidth); k < i; ++k)
              v -= free.at(i, i - k) * col[static_cast<size_t>(k)];
            v /= free.at(i, 0);
            col[static_cast<size_t>(i)] = v;
            sum += v * v;
            if (i - j > halfWidth && v * v < 1e-12 * sum) break;
          }
          spread[static_cast<size_t>(j)] = std::sqrt(sum);
        }
      }
      solveBounded(h, b, halfWidth, uc, bc, sc);
      for (int64_t j = 0; haveMu && j < size; ++j) {
        const size_t jj = static_cast<size_t>(j);
        if (!(spread[jj] > 0)) continue;
        const double sg = sc[jj], sd = spread[jj];
        const double centre = sg * mu[jj], alpha = (bc[jj] - centre) / sd;
        // The mean of a standard normal beyond alpha.
        const double beyond =
            alpha > 8 ? alpha + 1 / alpha
                      : std::exp(-0.5 * alpha * alpha) / (std::sqrt(2 * std::numbers::pi) * 0.5 *
                                                          std::erfc(alpha / std::sqrt(2.0)));
        uc[jj] = sg * std::max(sg * uc[jj], centre + sd * beyond);
      }
      std::copy(uc.begin(), uc.end(), u.begin() + first);
      r0 = r1;
    }
    if (round >= options.refits) break;
    // Fitted without the clipped tops, the models know least about the loudest sound: fitted
    // again with the rebuilt tops in place (the clipped samples left unsolved still kept out),
    // they solve again.
    StereoWindow rebuilt = w;
    for (int64_t j = 0; j < count; ++j) {
      const int64_t k = unknown[static_cast<size_t>(j)];
      rebuilt.v[k % 2][static_cast<size_t>(k / 2)] =
          static_cast<int32_t>(std::lround(u[static_cast<size_t>(j)]));
    }
    for (int ch = 0; ch < 2; ++ch)
      for (int64_t i = 0; i < len; ++i)
        rebuilt.clippedBefore[ch][static_cast<size_t>(i) + 1] =
            rebuilt.clippedBefore[ch][static_cast<size_t>(i)] +
            (slot[2 * static_cast<size_t>(i) + ch] < 0 &&
             magnitude(w.v[ch][static_cast<size_t>(i)]) >= level);
    CrossModel again[2];
    for (int ch = 0; ch < 2; ++ch) {
      if (!model[ch].ok) continue;
      again[ch] =
          fitCross(rebuilt, ch, p, D, model[ch].last, lo - from - kNearRows, hi - from + kNearRows);
    }
    if (!again[c].ok || (model[o].ok && !again[o].ok)) break;
    model[c] = again[c];
    model[o] = again[o];
  }
  for (const ClipSpan& s : spans) {
    for (int64_t f = s.first; f <= s.last; ++f) {
      const size_t j = static_cast<size_t>(slot[2 * static_cast<size_t>(f - from) + c]);
      double v = std::nearbyint(u[j]);
      if (v > 32767 || v < -32768) {
        ++result.limited;
        v = std::clamp(v, -32768.0, 32767.0);
      }
      if (sign[j] * v < bound[j]) v = std::clamp(sign[j] * bound[j], -32768.0, 32767.0);
      x[2 * f + c] = static_cast<int16_t>(v);
    }
  }
  result.repaired = true;
  return result;
}

}  // namespace tolmar
