// displacement_avx512.cpp — the effect's kernels in eight AVX-512 lanes: the
// scalar kernels' operations in the same order, a block of eight positions at a
// time. The masked forms with every lane set stand where GCC 12 warns falsely
// about the plain ones.
#include "effects/displacement_kernels.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace mirelune::displacement {

#if defined(__x86_64__)
namespace {

constexpr __mmask8 kAll = 0xFF;

// RoundEven: the processor's own rounding to nearest, halves to even, which the
// scalar RoundEven leaves to it too; + 0 turns a -0 into the +0 RoundEven gives.
[[gnu::target("avx512f,avx512dq,avx512vl"), gnu::always_inline]] inline __m512d RoundEven8(__m512d x) {
  const __m512d zero = _mm512_setzero_pd();
  return _mm512_add_pd(_mm512_mask_roundscale_pd(zero, kAll, x, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC), zero);
}

// Floor, -0 to +0 as well.
[[gnu::target("avx512f,avx512dq,avx512vl"), gnu::always_inline]] inline __m512d Floor8(__m512d x) {
  const __m512d zero = _mm512_setzero_pd();
  return _mm512_add_pd(_mm512_mask_roundscale_pd(zero, kAll, x, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC), zero);
}

// SourceOf's fold: reflected below 5, mirrored above `top`.
[[gnu::target("avx512f,avx512dq,avx512vl"), gnu::always_inline]] inline __m512d Fold8(__m512d x, double top) {
  const __m512d five = _mm512_set1_pd(5);
  const __m512d reflected = _mm512_add_pd(_mm512_andnot_pd(_mm512_set1_pd(-0.0), x), five);
  x = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(x, five, _CMP_LT_OQ), x, reflected);
  const __m512d mirrored = _mm512_sub_pd(_mm512_set1_pd(2 * top), x);
  return _mm512_mask_blend_pd(_mm512_cmp_pd_mask(x, _mm512_set1_pd(top), _CMP_GT_OQ), x, mirrored);
}

[[gnu::target("avx512f,avx512dq,avx512vl"), gnu::always_inline]] inline __m512d Tenth8(const double* d) {
  return Floor8(_mm512_div_pd(_mm512_loadu_pd(d), _mm512_set1_pd(10)));
}

[[gnu::target("avx512f,avx512dq,avx512vl"), gnu::always_inline]] inline __m512d Lane8(int k) {
  return _mm512_setr_pd(k, k + 1, k + 2, k + 3, k + 4, k + 5, k + 6, k + 7);
}

[[gnu::target("avx512f,avx512dq,avx512vl")]] void Sources(int mode, LineAngles& a, int from, int n, double i0,
                                                          double j0, double di, double dj) {
  int k = from;
  for (; k + 8 <= n; k += 8) {
    const __m512d kk = Lane8(k);
    const __m512d i = _mm512_add_pd(_mm512_set1_pd(i0), _mm512_mul_pd(kk, _mm512_set1_pd(di)));
    const __m512d j = _mm512_add_pd(_mm512_set1_pd(j0), _mm512_mul_pd(kk, _mm512_set1_pd(dj)));
    __m512d vi[3], vj[3];
    for (int m = 0; m < 3; ++m) {
      const __m512d len = _mm512_loadu_pd(a.len[m] + k);
      vi[m] = _mm512_mul_pd(len, _mm512_loadu_pd(a.c[m] + k));
      vj[m] = _mm512_mul_pd(len, _mm512_loadu_pd(a.s[m] + k));
    }
    __m512d si, sj;
    if (mode == 2) {
      si = _mm512_add_pd(_mm512_add_pd(_mm512_add_pd(_mm512_add_pd(i, vi[0]), vi[1]), vi[2]), Tenth8(a.d[0] + k));
      sj = _mm512_add_pd(_mm512_add_pd(_mm512_add_pd(_mm512_add_pd(j, vj[0]), vj[1]), vj[2]), Tenth8(a.d[1] + k));
    } else if (mode == 3) {
      si = _mm512_add_pd(_mm512_add_pd(i, vi[0]), Tenth8(a.d[1] + k));
      sj = _mm512_add_pd(_mm512_add_pd(j, vj[1]), Tenth8(a.d[2] + k));
    } else {
      si = _mm512_add_pd(_mm512_add_pd(_mm512_add_pd(i, vi[0]), vi[1]), vi[2]);
      sj = _mm512_add_pd(_mm512_add_pd(_mm512_add_pd(j, vj[0]), vj[1]), vj[2]);
    }
    _mm512_storeu_pd(a.si + k, Fold8(RoundEven8(si), 895));
    _mm512_storeu_pd(a.sj + k, Fold8(RoundEven8(sj), 670));
  }
  ScalarKernels().sources(mode, a, k, n, i0, j0, di, dj);
}

[[gnu::target("avx512f,avx512dq,avx512vl")]] void Ratios(const std::uint32_t* draws, double* q, int pairs) {
  // Draws are 24-bit, so the signed conversion gives what the unsigned one would.
  const __m512i apart = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);  // eight a, eight b
  const __m512d unit = _mm512_set1_pd(0x1p-24);
  int p = 0;
  for (; p + 8 <= pairs; p += 8) {
    const __m512i ab = _mm512_maskz_permutexvar_epi32(0xFFFF, apart, _mm512_loadu_si512(draws + 2 * p));
    const __m512d ra = _mm512_mul_pd(_mm512_maskz_cvtepi32_pd(kAll, _mm512_maskz_extracti64x4_epi64(0xF, ab, 0)), unit);
    const __m512d rb = _mm512_mul_pd(_mm512_maskz_cvtepi32_pd(kAll, _mm512_maskz_extracti64x4_epi64(0xF, ab, 1)), unit);
    const __m512d below = _mm512_add_pd(_mm512_mul_pd(rb, _mm512_set1_pd(50)), _mm512_set1_pd(5));
    const __m512d r = _mm512_add_pd(_mm512_div_pd(ra, below), _mm512_set1_pd(1));
    const __m256 single = _mm512_mask_cvtpd_ps(_mm256_setzero_ps(), kAll, r);
    _mm512_storeu_pd(q + p, _mm512_mask_cvtps_pd(_mm512_setzero_pd(), kAll, single));
  }
  ScalarKernels().ratios(draws + 2 * p, q + p, pairs - p);
}

[[gnu::target("avx512f,avx512dq,avx512vl")]] void Wavy(const double* angle, int m, int from, int n, double i0,
                                                       double j0, double di, double dj, double* arg) {
  int k = from;
  for (; k + 8 <= n; k += 8) {
    const __m512d kk = Lane8(k);
    const __m512d i = _mm512_add_pd(_mm512_set1_pd(i0), _mm512_mul_pd(kk, _mm512_set1_pd(di)));
    const __m512d j = _mm512_add_pd(_mm512_set1_pd(j0), _mm512_mul_pd(kk, _mm512_set1_pd(dj)));
    const __m512d along = m == 0 ? i : m == 1 ? j : _mm512_add_pd(i, j);
    _mm512_storeu_pd(arg + k, _mm512_div_pd(_mm512_mul_pd(_mm512_loadu_pd(angle + k), along), _mm512_set1_pd(500)));
  }
  ScalarKernels().wavy(angle, m, k, n, i0, j0, di, dj, arg);
}

// Eight attempts a vector: a lane's pair of draws is one 64-bit word, its
// position's word of marks gathered.
[[gnu::target("avx512f,avx512dq,avx512vl")]] std::size_t MarkedRun(const std::uint32_t* draws, std::size_t attempts,
                                                                   const std::uint64_t* marks, std::uint32_t w,
                                                                   std::uint32_t h, std::uint32_t stride) {
  const __m512i vw = _mm512_set1_epi64(w), vh = _mm512_set1_epi64(h), vs = _mm512_set1_epi64(stride);
  const __m512i bits = _mm512_set1_epi64(63), one = _mm512_set1_epi64(1);
  std::size_t k = 0;
  for (; k + 8 <= attempts; k += 8) {
    const __m512i pair = _mm512_loadu_si512(draws + 2 * k);
    const __m512i i = _mm512_maskz_srli_epi64(kAll, _mm512_maskz_mul_epu32(kAll, pair, vw), 24);
    const __m512i j = _mm512_maskz_srli_epi64(kAll, _mm512_maskz_mul_epu32(kAll, _mm512_maskz_srli_epi64(kAll, pair, 32), vh), 24);
    const __m512i at = _mm512_maskz_add_epi64(kAll, _mm512_maskz_mul_epu32(kAll, j, vs), i);
    const __m512i word = _mm512_mask_i64gather_epi64(_mm512_setzero_si512(), kAll, _mm512_maskz_srli_epi64(kAll, at, 6), marks, 8);
    const __mmask8 clear = _mm512_testn_epi64_mask(_mm512_maskz_srlv_epi64(kAll, word, _mm512_maskz_and_epi64(kAll, at, bits)), one);
    if (clear) return k + static_cast<std::size_t>(__builtin_ctz(clear));
  }
  return k + ScalarKernels().marked_run(draws + 2 * k, attempts - k, marks, w, h, stride);
}

constexpr EffectKernels kAvx512{&Sources, &Ratios, &Wavy, &MarkedRun};

}  // namespace

const EffectKernels* Avx512Kernels() { return &kAvx512; }
#else
const EffectKernels* Avx512Kernels() { return nullptr; }
#endif

}  // namespace mirelune::displacement
