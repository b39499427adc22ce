// displacement_scalar.cpp — the reference level: every kernel one position at a
// time, in plain double arithmetic. The vector levels finish a line's last few
// positions here.
#include "effects/displacement_kernels.h"

namespace mirelune::displacement {
namespace {

void Sources(int mode, LineAngles& a, int from, int n, double i0, double j0, double di, double dj) {
  for (int k = from; k < n; ++k) {
    const double vi[3] = {a.len[0][k] * a.c[0][k], a.len[1][k] * a.c[1][k], a.len[2][k] * a.c[2][k]};
    const double vj[3] = {a.len[0][k] * a.s[0][k], a.len[1][k] * a.s[1][k], a.len[2][k] * a.s[2][k]};
    const Source src = SourceOf(mode, i0 + k * di, j0 + k * dj, vi, vj, a.d[0][k], a.d[1][k], a.d[2][k]);
    a.si[k] = src.si;
    a.sj[k] = src.sj;
  }
}

void Ratios(const std::uint32_t* draws, double* q, int pairs) {
  for (int p = 0; p < pairs; ++p) {
    const double ra = static_cast<double>(draws[2 * p]) * 0x1p-24;
    const double rb = static_cast<double>(draws[2 * p + 1]) * 0x1p-24;
    q[p] = static_cast<float>(ra / (rb * 50 + 5) + 1);
  }
}

void Wavy(const double* angle, int m, int from, int n, double i0, double j0, double di, double dj, double* arg) {
  for (int k = from; k < n; ++k) {
    const double i = i0 + k * di, j = j0 + k * dj;
    arg[k] = angle[k] * (m == 0 ? i : m == 1 ? j : i + j) / 500;
  }
}

std::size_t MarkedRun(const std::uint32_t* draws, std::size_t attempts, const std::uint64_t* marks, std::uint32_t w,
                      std::uint32_t h, std::uint32_t stride) {
  std::size_t k = 0;
  for (; k < attempts; ++k) {
    const std::uint64_t i = (std::uint64_t{w} * draws[2 * k]) >> 24;
    const std::uint64_t j = (std::uint64_t{h} * draws[2 * k + 1]) >> 24;
    const std::uint64_t at = j * stride + i;
    if (!((marks[at >> 6] >> (at & 63)) & 1)) break;
  }
  return k;
}

constexpr EffectKernels kScalar{&Sources, &Ratios, &Wavy, &MarkedRun};

}  // namespace

const EffectKernels& ScalarKernels() { return kScalar; }

}  // namespace mirelune::displacement
