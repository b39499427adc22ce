#include "numbers/numeric.h"

#include "generator/generator.h"

#include <cmath>
#include <cstdio>
#include <iterator>
#include <string>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace mirelune {
namespace {

// N angles in the lanes of GCC vectors. Every lane does what SinCos does, in the
// same order: the first-octant shortcut and the quadrant switch become selects,
// which move values without rounding them. Vectors never cross a function
// boundary, so the body inlines into whichever instruction set calls it.
template <int N, bool kCos = true>
__attribute__((always_inline)) inline void SinCosLanes(const double* xp, double* sp, double* cp) {
  typedef double V __attribute__((vector_size(N * 8)));
  typedef long long L __attribute__((vector_size(N * 8)));
  V x;
  __builtin_memcpy(&x, xp, sizeof x);
  const V ax = (V)((L)x & (L{} + 0x7FFFFFFFFFFFFFFFLL));
  // Reduce: x = fn * pi/2 + y, fn rounded halves to even as RoundEven rounds it.
  const V shifted = x * (V{} + 6.36619772367581382433e-01) + (V{} + 6755399441055744.0);
  const V fn = shifted - (V{} + 6755399441055744.0);
  const V t = x - fn * (V{} + 1.57079632673412561417e+00);
  V w = fn * (V{} + 6.07710050630396597660e-11);
  const V r = t - w;
  w = fn * (V{} + 2.02226624879595063154e-21) - ((t - r) - w);
  const L small = ax <= (V{} + 0.7853981633974483);
  const V y = small ? x : r - w;
  // fn + 1.5 * 2^52 holds fn in its low mantissa bits, two's complement mod 4.
  const L q = small ? L{} : ((L)shifted & 3);
  // KernelSin and KernelCos.
  const V z = y * y;
  const V sr = (V{} + 8.33333333332248946124e-03) +
               z * ((V{} + -1.98412698298579493134e-04) +
                    z * ((V{} + 2.75573137070700676789e-06) +
                         z * ((V{} + -2.50507602534068634195e-08) + z * (V{} + 1.58969099521155010221e-10))));
  const V ks = y + y * z * ((V{} + -1.66666666666666324348e-01) + z * sr);
  const V cr = z * ((V{} + 4.16666666666666019037e-02) +
                    z * ((V{} + -1.38888888888741095749e-03) +
                         z * ((V{} + 2.48015872894767294178e-05) +
                              z * ((V{} + -2.75573143513906633035e-07) +
                                   z * ((V{} + 2.08757232129817482790e-09) + z * (V{} + -1.13596475577881948265e-11))))));
  const V hz = (V{} + 0.5) * z;
  const V cw = (V{} + 1.0) - hz;
  const V kc = cw + ((((V{} + 1.0) - cw) - hz) + z * cr);
  // Quadrants 0..3: (s, c) = (ks, kc), (kc, -ks), (-ks, -kc), (-kc, ks).
  const L odd = (q & 1) != 0;
  V s = odd ? kc : ks;
  V c = odd ? ks : kc;
  s = (q & 2) != 0 ? -s : s;
  c = ((q + 1) & 2) != 0 ? -c : c;
  // Infinite, NaN or beyond the reduction: no meaningful angle, as in SinCos.
  const L wild = !(ax < (V{} + 1e15));
  const V none = x - x;
  s = wild ? none : s;
  c = wild ? none : c;
  __builtin_memcpy(sp, &s, sizeof s);
  if constexpr (kCos) __builtin_memcpy(cp, &c, sizeof c);  // else the cosine kernel is dropped
}

void SinCosScalar(const double* x, double* s, double* c, std::size_t n) {
  for (std::size_t k = 0; k < n; ++k) SinCos(x[k], &s[k], &c[k]);
}

template <int N>
__attribute__((always_inline)) inline void SinCosBlocks(const double* x, double* s, double* c, std::size_t n) {
  std::size_t k = 0;
  for (; k + N <= n; k += N) SinCosLanes<N>(x + k, s + k, c + k);
  SinCosScalar(x + k, s + k, c + k, n - k);
}

// Each draw depends on its place alone, so the compiler runs the loop in
// vector lanes of whichever set the caller is built for.
[[gnu::always_inline]] inline void DrawsAhead(std::uint64_t state, std::uint32_t* out, std::size_t n) {
  for (std::size_t k = 0; k < n; ++k) out[k] = Generator::Draw24(state, k);
}

void SinScalar(const double* x, double* s, std::size_t n) {
  for (std::size_t k = 0; k < n; ++k) s[k] = Sin(x[k]);
}

template <int N>
__attribute__((always_inline)) inline void SinBlocks(const double* x, double* s, std::size_t n) {
  std::size_t k = 0;
  for (; k + N <= n; k += N) SinCosLanes<N, false>(x + k, s + k, nullptr);
  SinScalar(x + k, s + k, n - k);
}

void DrawsScalar(std::uint64_t state, std::uint32_t* out, std::size_t n) { DrawsAhead(state, out, n); }

void FloorSqrtScalar(const double* x, double* out, std::size_t n) {
  for (std::size_t k = 0; k < n; ++k) out[k] = Floor(Sqrt(x[k]));
}

#if defined(__x86_64__)
[[gnu::target("avx2")]] void SinCosAvx2(const double* x, double* s, double* c, std::size_t n) {
  SinCosBlocks<4>(x, s, c, n);
}

[[gnu::target("avx2")]] void SinAvx2(const double* x, double* s, std::size_t n) { SinBlocks<4>(x, s, n); }

[[gnu::target("avx2")]] void DrawsAvx2(std::uint64_t state, std::uint32_t* out, std::size_t n) {
  DrawsAhead(state, out, n);
}

// Floor(Sqrt(x)): AVX has a rounding toward minus infinity, exact for every value
// (NaN and infinity included), as Floor is.
[[gnu::target("avx2")]] void FloorSqrtAvx2(const double* x, double* out, std::size_t n) {
  std::size_t k = 0;
  const __m256d zero = _mm256_setzero_pd();
  for (; k + 4 <= n; k += 4)  // + 0 turns the -0 of sqrt(-0) into the +0 Floor gives
    _mm256_storeu_pd(out + k, _mm256_add_pd(_mm256_floor_pd(_mm256_sqrt_pd(_mm256_loadu_pd(x + k))), zero));
  FloorSqrtScalar(x + k, out + k, n - k);
}

[[gnu::target("avx512f,avx512dq,avx512vl")]] void SinCosAvx512(const double* x, double* s, double* c, std::size_t n) {
  SinCosBlocks<8>(x, s, c, n);
}

[[gnu::target("avx512f,avx512dq,avx512vl")]] void SinAvx512(const double* x, double* s, std::size_t n) { SinBlocks<8>(x, s, n); }

// AVX-512 multiplies 64-bit lanes in one instruction; AVX2 needs three.
[[gnu::target("avx512f,avx512dq,avx512vl")]] void DrawsAvx512(std::uint64_t state, std::uint32_t* out, std::size_t n) {
  DrawsAhead(state, out, n);
}

[[gnu::target("avx512f,avx512dq,avx512vl")]] void FloorSqrtAvx512(const double* x, double* out, std::size_t n) {
  std::size_t k = 0;
  // The masked forms with every lane set: GCC 12 warns falsely about the plain ones.
  const __m512d zero = _mm512_setzero_pd();
  for (; k + 8 <= n; k += 8) {
    const __m512d root = _mm512_mask_sqrt_pd(zero, 0xFF, _mm512_loadu_pd(x + k));
    const __m512d floor = _mm512_mask_roundscale_pd(zero, 0xFF, root, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    _mm512_storeu_pd(out + k, _mm512_add_pd(floor, zero));  // -0 to +0, as Floor gives
  }
  FloorSqrtScalar(x + k, out + k, n - k);
}
#endif

// One row per level, in SimdLevel's order.
constexpr VectorKernels kKernels[] = {
    {&SinCosScalar, &SinScalar, &DrawsScalar, &FloorSqrtScalar},
#if defined(__x86_64__)
    {&SinCosAvx2, &SinAvx2, &DrawsAvx2, &FloorSqrtAvx2},
    {&SinCosAvx512, &SinAvx512, &DrawsAvx512, &FloorSqrtAvx512},
#endif
};

}  // namespace

const char* LevelName(SimdLevel level) {
  switch (level) {
    case SimdLevel::kScalar: return "scalar";
    case SimdLevel::kAvx2: return "AVX2";
    case SimdLevel::kAvx512: return "AVX-512";
  }
  return "?";
}

bool LevelAvailable(SimdLevel level) {
  if (level == SimdLevel::kScalar) return true;
#if defined(__x86_64__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  static const bool avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
                             __builtin_cpu_supports("avx512vl");
  return level == SimdLevel::kAvx2 ? avx2 : level == SimdLevel::kAvx512 && avx512;
#else
  return false;
#endif
}

SimdLevel BestSimdLevel() {
  static const SimdLevel best = LevelAvailable(SimdLevel::kAvx512) ? SimdLevel::kAvx512
                                : LevelAvailable(SimdLevel::kAvx2) ? SimdLevel::kAvx2
                                                                   : SimdLevel::kScalar;
  return best;
}

const VectorKernels* KernelsFor(SimdLevel level) {
  const auto row = static_cast<std::size_t>(level);
  return row < std::size(kKernels) && LevelAvailable(level) ? &kKernels[row] : nullptr;
}

std::string NumberText(double v) {
  char buf[32];
  if (std::nearbyint(v) == v && std::fabs(v) < 1e15) {
    std::snprintf(buf, sizeof buf, "%.0f", v);
  } else {
    std::snprintf(buf, sizeof buf, "%.15g", v);
  }
  return buf;
}

}  // namespace mirelune
