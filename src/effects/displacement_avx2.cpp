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

// Four attempts a vector: a lane's pair of draws is one 64-bit word, its
// position's word of marks gathered.
[[gnu::target("avx2")]] std::size_t MarkedRun(const std::uint32_t* draws, std::size_t attempts,
                                              const std::uint64_t* marks, std::uint32_t w, std::uint32_t h,
                                              std::uint32_t stride) {
  const __m256i vw = _mm256_set1_epi64x(w), vh = _mm256_set1_epi64x(h), vs = _mm256_set1_epi64x(stride);
  const __m256i bits = _mm256_set1_epi64x(63), one = _mm256_set1_epi64x(1);
  std::size_t k = 0;
  for (; k + 4 <= attempts; k += 4) {
    const __m256i pair = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(draws + 2 * k));
    const __m256i i = _mm256_srli_epi64(_mm256_mul_epu32(pair, vw), 24);
    const __m256i j = _mm256_srli_epi64(_mm256_mul_epu32(_mm256_srli_epi64(pair, 32), vh), 24);
    const __m256i at = _mm256_add_epi64(_mm256_mul_epu32(j, vs), i);
    const __m256i word = _mm256_i64gather_epi64(reinterpret_cast<const long long*>(marks), _mm256_srli_epi64(at, 6), 8);
    const __m256i bit = _mm256_and_si256(_mm256_srlv_epi64(word, _mm256_and_si256(at, bits)), one);
    const int clear = _mm256_movemask_pd(_mm256_castsi256_pd(_mm256_cmpeq_epi64(bit, _mm256_setzero_si256())));
    if (clear) return k + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(clear)));
  }
  return k + ScalarKernels().marked_run(draws + 2 * k, attempts - k, marks, w, h, stride);
}

constexpr EffectKernels kAvx2{&Sources, &Ratios, &Wavy, &MarkedRun};

}  // namespace

const EffectKernels* Avx2Kernels() { return &kAvx2; }
#else
const EffectKernels* Avx2Kernels() { return nullptr; }
#endif

}  // namespace mirelune::displacement
