// displacement_kernels.h — the displacement effect's per-line arithmetic, one
// set of kernels per vector level behind one interface.
//
//   displacement_scalar.cpp   the reference, always built: one position at a time
//   displacement_avx2.cpp     four lanes (x86-64)
//   displacement_avx512.cpp   eight lanes (x86-64)
//
// Every level gives bit for bit what the scalar kernels give: the same
// operations in the same order, no fused multiply-add. Each vector file builds
// its functions for its instruction set with a function attribute, not a
// compiler flag, so the inline functions of shared headers are never compiled
// for a wider set than the function that calls them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "numbers/numeric.h"

namespace mirelune::displacement {

constexpr int kLine = 901;  // the longest line of positions, a row (positions 0..900 x 0..675)

// What the positions of one line (a column of the first sweep, a row of the
// second) take from the turning angles and the generator alone, worked out for
// the whole line before its pixels: the sines and cosines then run in vector
// lanes, bit for bit the values one position at a time would give.
struct LineAngles {
  double angle[3][kLine];
  double s[3][kLine], c[3][kLine];
  double e[3][kLine];  // rules 1 and 6: the sine inside each length
  double q[3 * kLine];  // rule 3: the random factors, the three of position k at 3k, 3k + 1, 3k + 2
  std::uint32_t draws[6 * kLine];  // rule 3: the generator's next draws, as Next24 gives them
  double d[3][kLine];  // the distances: each position's under rules 12 and 13, else the last measured
  double arg[kLine];
  double len[3][kLine];         // the vectors' lengths
  double si[kLine], sj[kLine];  // where each position reads its colour
};

struct Source {
  double si, sj;
};

// Where position (i, j), moved by the vectors (vi, vj) and the offsets of `mode`,
// reads its colour: folded back once at each edge, reflected below 5, mirrored
// above 895 / 670. The card's own grid reads at whole positions; a card drawn
// larger reads between them (kWhole false).
template <bool kWhole = true>
[[gnu::always_inline]] inline Source SourceOf(int mode, double i, double j, const double (&vi)[3],
                                              const double (&vj)[3], double e1, double e2, double e3) {
  const auto place = [](double v) { return kWhole ? RoundEven(v) : v; };
  double si, sj;
  if (mode == 2) {
    si = place(i + vi[0] + vi[1] + vi[2] + Floor(e1 / 10));
    sj = place(j + vj[0] + vj[1] + vj[2] + Floor(e2 / 10));
  } else if (mode == 3) {
    si = place(i + vi[0] + Floor(e2 / 10));
    sj = place(j + vj[1] + Floor(e3 / 10));
  } else {
    si = place(i + vi[0] + vi[1] + vi[2]);
    sj = place(j + vj[0] + vj[1] + vj[2]);
  }
  if (si < 5) si = std::fabs(si) + 5;
  if (si > 895) si = 2 * 895 - si;
  if (sj < 5) sj = std::fabs(sj) + 5;
  if (sj > 670) sj = 2 * 670 - sj;
  return {si, sj};
}

// The effect's kernels on one level.
struct EffectKernels {
  // a.si and a.sj for positions from .. n - 1 of the line, the k-th at
  // (i0 + k di, j0 + k dj), from a.len, a.s, a.c and a.d
  void (*sources)(int mode, LineAngles& a, int from, int n, double i0, double j0, double di, double dj);
  // rule 3's factors from pairs of draws: q[p] = float(ra / (rb 50 + 5) + 1), with
  // ra and rb the pair's Uniform() values (draw * 2^-24 exactly)
  void (*ratios)(const std::uint32_t* draws, double* q, int pairs);
  // rule 1's sine arguments for vector m at positions from .. n - 1 of the line:
  // angle times i, j or i + j, over 500
  void (*wavy)(const double* angle, int m, int from, int n, double i0, double j0, double di, double dj, double* arg);
  // "pix" mode's reveal: how many of the attempts k = 0 .. attempts - 1, each at
  // position ((h draws[2k + 1]) >> 24) stride + ((w draws[2k]) >> 24), find bit
  // `position` of marks set, counted up to the first that finds it clear
  std::size_t (*marked_run)(const std::uint32_t* draws, std::size_t attempts, const std::uint64_t* marks,
                            std::uint32_t w, std::uint32_t h, std::uint32_t stride);
};

// Each level's kernels; nullptr where the level is not built into this program
// (whether the processor offers it is LevelAvailable's question).
const EffectKernels& ScalarKernels();
const EffectKernels* Avx2Kernels();
const EffectKernels* Avx512Kernels();

}  // namespace mirelune::displacement
