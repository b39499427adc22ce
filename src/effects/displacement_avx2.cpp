// displacement_avx2.cpp — the effect's kernels in four AVX2 lanes: the scalar
// kernels' operations in the same order, a block of four positions at a time.
#include "effects/displacement_kernels.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace mirelune::displacement {

#if defined(__x86_64__)
namespace {

// RoundEven: the processor's own rounding to nearest, halves to even, which the
// scalar RoundEven leaves to it too; + 0 turns a -0 into the +0 RoundEven gives.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256d RoundEven4(__m256d x) {
  return _mm256_add_pd(_mm256_round_pd(x, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC), _mm256_setzero_pd());
}

// Floor, -0 to +0 as well.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256d Floor4(__m256d x) {
  return _mm256_add_pd(_mm256_floor_pd(x), _mm256_setzero_pd());
}

// SourceOf's fold: reflected below 5, mirrored above `top`.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256d Fold4(__m256d x, double top) {
  const __m256d five = _mm256_set1_pd(5);
  const __m256d reflected = _mm256_add_pd(_mm256_andnot_pd(_mm256_set1_pd(-0.0), x), five);
  x = _mm256_blendv_pd(x, reflected, _mm256_cmp_pd(x, five, _CMP_LT_OQ));
  const __m256d edge = _mm256_set1_pd(top);
  const __m256d mirrored = _mm256_sub_pd(_mm256_set1_pd(2 * top), x);
  return _mm256_blendv_pd(x, mirrored, _mm256_cmp_pd(x, edge, _CMP_GT_OQ));
}

[[gnu::target("avx2"), gnu::always_inline]] inline __m256d Tenth4(const double* d) {
  return Floor4(_mm256_div_pd(_mm256_loadu_pd(d), _mm256_set1_pd(10)));
}

[[gnu::target("avx2")]] void Sources(int mode, LineAngles& a, int from, int n, double i0, double j0, double di,
                                     double dj) {
  int k = from;
  for (; k + 4 <= n; k += 4) {
    const __m256d kk = _mm256_setr_pd(k, k + 1, k + 2, k + 3);
    const __m256d i = _mm256_add_pd(_mm256_set1_pd(i0), _mm256_mul_pd(kk, _mm256_set1_pd(di)));
    const __m256d j = _mm256_add_pd(_mm256_set1_pd(j0), _mm256_mul_pd(kk, _mm256_set1_pd(dj)));
    __m256d vi[3], vj[3];
    for (int m = 0; m < 3; ++m) {
      const __m256d len = _mm256_loadu_pd(a.len[m] + k);
      vi[m] = _mm256_mul_pd(len, _mm256_loadu_pd(a.c[m] + k));
      vj[m] = _mm256_mul_pd(len, _mm256_loadu_pd(a.s[m] + k));
    }
    __m256d si, sj;
    if (mode == 2) {
      si = _mm256_add_pd(_mm256_add_pd(_mm256_add_pd(_mm256_add_pd(i, vi[0]), vi[1]), vi[2]), Tenth4(a.d[0] + k));
      sj = _mm256_add_pd(_mm256_add_pd(_mm256_add_pd(_mm256_add_pd(j, vj[0]), vj[1]), vj[2]), Tenth4(a.d[1] + k));
    } else if (mode == 3) {
      si = _mm256_add_pd(_mm256_add_pd(i, vi[0]), Tenth4(a.d[1] + k));
      sj = _mm256_add_pd(_mm256_add_pd(j, vj[1]), Tenth4(a.d[2] + k));
    } else {
      si = _mm256_add_pd(_mm256_add_pd(_mm256_add_pd(i, vi[0]), vi[1]), vi[2]);
      sj = _mm256_add_pd(_mm256_add_pd(_mm256_add_pd(j, vj[0]), vj[1]), vj[2]);
    }
    _mm256_storeu_pd(a.si + k, Fold4(RoundEven4(si), 895));
    _mm256_storeu_pd(a.sj + k, Fold4(RoundEven4(sj), 670));
  }
  ScalarKernels().sources(mode, a, k, n, i0, j0, di, dj);
}

[[gnu::target("avx2")]] void Ratios(const std::uint32_t* draws, double* q, int pairs) {
  // Draws are 24-bit, so the signed conversion gives what the unsigned one would.
  const __m256i apart = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);  // four a, then four b
  const __m256d unit = _mm256_set1_pd(0x1p-24);
  int p = 0;
  for (; p + 4 <= pairs; p += 4) {
    const __m256i pairs4 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(draws + 2 * p));
    const __m256i ab = _mm256_permutevar8x32_epi32(pairs4, apart);
    const __m256d ra = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(ab)), unit);
    const __m256d rb = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(ab, 1)), unit);
    const __m256d below = _mm256_add_pd(_mm256_mul_pd(rb, _mm256_set1_pd(50)), _mm256_set1_pd(5));
    const __m256d r = _mm256_add_pd(_mm256_div_pd(ra, below), _mm256_set1_pd(1));
    _mm256_storeu_pd(q + p, _mm256_cvtps_pd(_mm256_cvtpd_ps(r)));
  }
  ScalarKernels().ratios(draws + 2 * p, q + p, pairs - p);
}

[[gnu::target("avx2")]] void Wavy(const double* angle, int m, int from, int n, double i0, double j0, double di,
                                  double dj, double* arg) {
  int k = from;
  for (; k + 4 <= n; k += 4) {
    const __m256d kk = _mm256_setr_pd(k, k + 1, k + 2, k + 3);
    const __m256d i = _mm256_add_pd(_mm256_set1_pd(i0), _mm256_mul_pd(kk, _mm256_set1_pd(di)));
    const __m256d j = _mm256_add_pd(_mm256_set1_pd(j0), _mm256_mul_pd(kk, _mm256_set1_pd(dj)));
    const __m256d along = m == 0 ? i : m == 1 ? j : _mm256_add_pd(i, j);
    _mm256_storeu_pd(arg + k, _mm256_div_pd(_mm256_mul_pd(_mm256_loadu_pd(angle + k), along), _mm256_set1_pd(500)));
  }
  ScalarKernels().wavy(angle, m, k, n, i0, j0, di, dj, arg);
}

constexpr EffectKernels kAvx2{&Sources, &Ratios, &Wavy};

}  // namespace

const EffectKernels* Avx2Kernels() { return &kAvx2; }
#else
const EffectKernels* Avx2Kernels() { return nullptr; }
#endif

}  // namespace mirelune::displacement
