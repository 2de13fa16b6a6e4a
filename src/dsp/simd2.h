#pragma once
// Two doubles side by side, for the spectral kernels: one SSE2 register where the processor has
// them (every x86-64 does), else a plain pair the compiler may vectorise as it likes. Only
// lane-wise IEEE operations, so both forms give the same bits; nothing here is fused.

#include <cmath>
#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define TOLMAR_SIMD2_SSE2 1
#endif

namespace tolmar::simd2 {

#ifdef TOLMAR_SIMD2_SSE2

struct D2 {
  __m128d v;
};
inline D2 load(const double* p) {
  return {_mm_loadu_pd(p)};
}
inline void store(double* p, D2 a) {
  _mm_storeu_pd(p, a.v);
}
inline void storeLow(double* p, D2 a) {
  _mm_storel_pd(p, a.v);
}
inline void storeHigh(double* p, D2 a) {
  _mm_storeh_pd(p, a.v);
}
inline D2 splat(double x) {
  return {_mm_set1_pd(x)};
}
inline D2 operator+(D2 a, D2 b) {
  return {_mm_add_pd(a.v, b.v)};
}
inline D2 operator-(D2 a, D2 b) {
  return {_mm_sub_pd(a.v, b.v)};
}
inline D2 operator*(D2 a, D2 b) {
  return {_mm_mul_pd(a.v, b.v)};
}
inline D2 operator/(D2 a, D2 b) {
  return {_mm_div_pd(a.v, b.v)};
}
inline D2 sqrt(D2 a) {
  return {_mm_sqrt_pd(a.v)};
}
// (a0, b0) and (a1, b1)
inline D2 low(D2 a, D2 b) {
  return {_mm_unpacklo_pd(a.v, b.v)};
}
inline D2 high(D2 a, D2 b) {
  return {_mm_unpackhi_pd(a.v, b.v)};
}
// (a1, a0)
inline D2 swap(D2 a) {
  return {_mm_shuffle_pd(a.v, a.v, 1)};
}
// Lanes that differ (NaN differs from everything), gathered by orDiffer; any() tells.
struct Differ {
  __m128d bits = _mm_setzero_pd();
  void add(D2 a, D2 b) { bits = _mm_or_pd(bits, _mm_cmpneq_pd(a.v, b.v)); }
  bool any() const { return _mm_movemask_pd(bits) != 0; }
};
// a where a equals b, else a·0.5 + b·0.5.
inline D2 meanUnlessEqual(D2 a, D2 b) {
  const __m128d half = _mm_set1_pd(0.5);
  const __m128d same = _mm_cmpeq_pd(a.v, b.v);
  const __m128d mean = _mm_add_pd(_mm_mul_pd(a.v, half), _mm_mul_pd(b.v, half));
  return {_mm_or_pd(_mm_and_pd(same, a.v), _mm_andnot_pd(same, mean))};
}
// g where g > 0, else 0 (NaN gives 0).
inline D2 positiveOrZero(D2 g) {
  return {_mm_and_pd(g.v, _mm_cmpgt_pd(g.v, _mm_setzero_pd()))};
}
// g where m > 0, else 0.
inline D2 whereMPositive(D2 g, D2 m) {
  return {_mm_and_pd(g.v, _mm_cmpgt_pd(m.v, _mm_setzero_pd()))};
}
// Frames k and k + 1 of interleaved 16-bit stereo as doubles: (l_k, l_k+1), (r_k, r_k+1).
inline void loadFrames(const int16_t* f, D2& left, D2& right) {
  const __m128i raw = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(f));  // l0 r0 l1 r1
  const __m128i wide = _mm_srai_epi32(_mm_unpacklo_epi16(raw, raw), 16);     // as 32-bit
  const __m128i lr = _mm_shuffle_epi32(wide, _MM_SHUFFLE(3, 1, 2, 0));       // l0 l1 r0 r1
  left = {_mm_cvtepi32_pd(lr)};
  right = {_mm_cvtepi32_pd(_mm_unpackhi_epi64(lr, lr))};
}
// The nearest integers (ties to even) to left and right, limited to −32768 … 32767, NaN as 0,
// stored as frames k and k + 1.
inline void storeFrames(int16_t* f, D2 left, D2 right) {
  const __m128d lo = _mm_set1_pd(-32768.0), hi = _mm_set1_pd(32767.0);
  // cvtpd rounds in the current mode (nearest, ties to even); NaN is cleared first.
  const __m128d l =
      _mm_min_pd(_mm_max_pd(_mm_and_pd(left.v, _mm_cmpord_pd(left.v, left.v)), lo), hi);
  const __m128d r =
      _mm_min_pd(_mm_max_pd(_mm_and_pd(right.v, _mm_cmpord_pd(right.v, right.v)), lo), hi);
  const __m128i li = _mm_cvtpd_epi32(l), ri = _mm_cvtpd_epi32(r);  // two int32 each, low half
  const __m128i mixed = _mm_unpacklo_epi32(li, ri);                // l0 r0 l1 r1
  _mm_storel_epi64(reinterpret_cast<__m128i*>(f), _mm_packs_epi32(mixed, mixed));
}

#else

struct D2 {
  double v[2];
};
inline D2 load(const double* p) {
  return {{p[0], p[1]}};
}
inline void store(double* p, D2 a) {
  p[0] = a.v[0];
  p[1] = a.v[1];
}
inline void storeLow(double* p, D2 a) {
  *p = a.v[0];
}
inline void storeHigh(double* p, D2 a) {
  *p = a.v[1];
}
inline D2 splat(double x) {
  return {{x, x}};
}
inline D2 operator+(D2 a, D2 b) {
  return {{a.v[0] + b.v[0], a.v[1] + b.v[1]}};
}
inline D2 operator-(D2 a, D2 b) {
  return {{a.v[0] - b.v[0], a.v[1] - b.v[1]}};
}
inline D2 operator*(D2 a, D2 b) {
  return {{a.v[0] * b.v[0], a.v[1] * b.v[1]}};
}
inline D2 operator/(D2 a, D2 b) {
  return {{a.v[0] / b.v[0], a.v[1] / b.v[1]}};
}
inline D2 sqrt(D2 a) {
  return {{std::sqrt(a.v[0]), std::sqrt(a.v[1])}};
}
inline D2 low(D2 a, D2 b) {
  return {{a.v[0], b.v[0]}};
}
inline D2 high(D2 a, D2 b) {
  return {{a.v[1], b.v[1]}};
}
inline D2 swap(D2 a) {
  return {{a.v[1], a.v[0]}};
}
struct Differ {
  bool bits = false;
  void add(D2 a, D2 b) { bits = bits || !(a.v[0] == b.v[0]) || !(a.v[1] == b.v[1]); }
  bool any() const { return bits; }
};
inline D2 meanUnlessEqual(D2 a, D2 b) {
  D2 out;
  for (int i = 0; i < 2; ++i) out.v[i] = a.v[i] == b.v[i] ? a.v[i] : a.v[i] * 0.5 + b.v[i] * 0.5;
  return out;
}
inline D2 positiveOrZero(D2 g) {
  return {{g.v[0] > 0 ? g.v[0] : 0.0, g.v[1] > 0 ? g.v[1] : 0.0}};
}
inline D2 whereMPositive(D2 g, D2 m) {
  return {{m.v[0] > 0 ? g.v[0] : 0.0, m.v[1] > 0 ? g.v[1] : 0.0}};
}
inline void loadFrames(const int16_t* f, D2& left, D2& right) {
  left = {{static_cast<double>(f[0]), static_cast<double>(f[2])}};
  right = {{static_cast<double>(f[1]), static_cast<double>(f[3])}};
}
inline int16_t sampleOf(double v) {
  if (!(v == v)) return 0;
  v = v > 32767.0 ? 32767.0 : v;
  v = v < -32768.0 ? -32768.0 : v;
  return static_cast<int16_t>(std::nearbyint(v));
}
inline void storeFrames(int16_t* f, D2 left, D2 right) {
  f[0] = sampleOf(left.v[0]);
  f[1] = sampleOf(right.v[0]);
  f[2] = sampleOf(left.v[1]);
  f[3] = sampleOf(right.v[1]);
}

#endif

}  // namespace tolmar::simd2
