#include "declick/clip_repair.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

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
  double trace = 0;
  for (int64_t j = 0; j < m; ++j) trace += h.at(j, 0);
  const double load = 1e-9 * trace / static_cast<double>(m) + 1e-12;
  for (int64_t j = 0; j < m; ++j) h.at(j, 0) += load;
  double bScale = 0;
  for (double v : b) bScale = std::max(bScale, std::abs(v));
  const double tolerance = 1e-9 * (1 + bScale);

  const auto gradient = [&](const std::vector<double>& u, int64_t j) {
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
  std::vector<double> u(static_cast<size_t>(m));
  std::vector<uint8_t> held(static_cast<size_t>(m), 0);
  for (int64_t j = 0; j < m; ++j) {
    const double v = x[static_cast<size_t>(unknown[j])];
    u[static_cast<size_t>(j)] =
        violates(j, v) ? sign[static_cast<size_t>(j)] * bound[static_cast<size_t>(j)] : v;
  }
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
      const double slope = sign[static_cast<size_t>(j)] * gradient(u, j);
      if (slope < steepest) {
        steepest = slope;
        release = j;
      }
    }
    if (release < 0) break;
    held[static_cast<size_t>(release)] = 0;
  }
  int64_t heldCount = 0;
  for (int64_t j = 0; j < m; ++j) {
    x[static_cast<size_t>(unknown[j])] = u[static_cast<size_t>(j)];
    heldCount += held[static_cast<size_t>(j)];
  }
  return heldCount;
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
