#include "surface/numeric.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace mirelune {
namespace {

typedef double V2 __attribute__((vector_size(16)));
typedef long long L2 __attribute__((vector_size(16)));

inline V2 Splat(double v) { return V2{v, v}; }

inline V2 KernelSin2(V2 x) {
  const V2 z = x * x;
  const V2 r = Splat(8.33333333332248946124e-03) +
               z * (Splat(-1.98412698298579493134e-04) +
                    z * (Splat(2.75573137070700676789e-06) +
                         z * (Splat(-2.50507602534068634195e-08) + z * Splat(1.58969099521155010221e-10))));
  return x + x * z * (Splat(-1.66666666666666324348e-01) + z * r);
}

inline V2 KernelCos2(V2 x) {
  const V2 z = x * x;
  const V2 r =
      z * (Splat(4.16666666666666019037e-02) +
           z * (Splat(-1.38888888888741095749e-03) +
                z * (Splat(2.48015872894767294178e-05) +
                     z * (Splat(-2.75573143513906633035e-07) +
                          z * (Splat(2.08757232129817482790e-09) + z * Splat(-1.13596475577881948265e-11))))));
  const V2 hz = Splat(0.5) * z;
  const V2 w = Splat(1.0) - hz;
  return w + (((Splat(1.0) - w) - hz) + z * r);
}

}  // namespace

void SinCos2(double x0, double x1, double* s0, double* c0, double* s1, double* c1) {
  // Outside the range the reduction is exact for, and for the first octant
  // (which the scalar code passes through unreduced), use the scalar path.
  const double a0 = std::fabs(x0), a1 = std::fabs(x1);
  if (!(a0 < 1e6 && a1 < 1e6) || a0 <= 0.7853981633974483 || a1 <= 0.7853981633974483) {
    SinCos(x0, s0, c0);
    SinCos(x1, s1, c1);
    return;
  }
  constexpr double kMagic = 6755399441055744.0;
  const V2 x = {x0, x1};
  const V2 fn = (x * Splat(6.36619772367581382433e-01) + Splat(kMagic)) - Splat(kMagic);
  const V2 t = x - fn * Splat(1.57079632673412561417e+00);
  V2 w = fn * Splat(6.07710050630396597660e-11);
  const V2 r = t - w;
  w = fn * Splat(2.02226624879595063154e-21) - ((t - r) - w);
  const V2 y = r - w;
  const V2 ks = KernelSin2(y), kc = KernelCos2(y);
  const long long q0 = static_cast<long long>(fn[0]) & 3, q1 = static_cast<long long>(fn[1]) & 3;
  auto pick = [](long long q, double ks1, double kc1, double* s, double* c) {
    switch (q) {
      case 0: *s = ks1; *c = kc1; break;
      case 1: *s = kc1; *c = -ks1; break;
      case 2: *s = -ks1; *c = -kc1; break;
      default: *s = -kc1; *c = ks1; break;
    }
  };
  pick(q0, ks[0], kc[0], s0, c0);
  pick(q1, ks[1], kc[1], s1, c1);
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
