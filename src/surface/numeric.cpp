#include "surface/numeric.h"

namespace mirelune {
namespace {

constexpr double kInvPio2 = 6.36619772367581382433e-01;
constexpr double kPio2_1 = 1.57079632673412561417e+00;   // first 33 bits of pi/2
constexpr double kPio2_2 = 6.07710050630396597660e-11;   // next 33 bits
constexpr double kPio2_2t = 2.02226624879595063154e-21;  // pi/2 - (kPio2_1 + kPio2_2)

inline double KernelSin(double x) {
  constexpr double S1 = -1.66666666666666324348e-01, S2 = 8.33333333332248946124e-03,
                   S3 = -1.98412698298579493134e-04, S4 = 2.75573137070700676789e-06,
                   S5 = -2.50507602534068634195e-08, S6 = 1.58969099521155010221e-10;
  const double z = x * x;
  const double r = S2 + z * (S3 + z * (S4 + z * (S5 + z * S6)));
  return x + x * z * (S1 + z * r);
}

inline double KernelCos(double x) {
  constexpr double C1 = 4.16666666666666019037e-02, C2 = -1.38888888888741095749e-03,
                   C3 = 2.48015872894767294178e-05, C4 = -2.75573143513906633035e-07,
                   C5 = 2.08757232129817482790e-09, C6 = -1.13596475577881948265e-11;
  const double z = x * x;
  const double r = z * (C1 + z * (C2 + z * (C3 + z * (C4 + z * (C5 + z * C6)))));
  const double hz = 0.5 * z;
  const double w = 1.0 - hz;
  return w + (((1.0 - w) - hz) + z * r);
}

// x = n * pi/2 + y with |y| <= pi/4 (a hair more at the rounding edge). The
// 33-bit pieces of pi/2 make fn * piece exact for |fn| < 2^20, which covers
// every angle the program forms.
inline int Reduce(double x, double* y) {
  if (std::fabs(x) <= 0.7853981633974483) {
    *y = x;
    return 0;
  }
  const double fn = std::nearbyint(x * kInvPio2);
  const double t = x - fn * kPio2_1;
  double w = fn * kPio2_2;
  const double r = t - w;
  w = fn * kPio2_2t - ((t - r) - w);
  *y = r - w;
  return static_cast<int>(static_cast<long long>(fn) & 3);
}

}  // namespace

void SinCos(double x, double* s, double* c) {
  if (!std::isfinite(x)) {
    *s = *c = x - x;  // NaN
    return;
  }
  double y;
  const int q = Reduce(x, &y);
  const double ks = KernelSin(y), kc = KernelCos(y);
  switch (q) {
    case 0: *s = ks; *c = kc; break;
    case 1: *s = kc; *c = -ks; break;
    case 2: *s = -ks; *c = -kc; break;
    default: *s = -kc; *c = ks; break;
  }
}

double Sin(double x) {
  double s, c;
  SinCos(x, &s, &c);
  return s;
}

double Cos(double x) {
  double s, c;
  SinCos(x, &s, &c);
  return c;
}

}  // namespace mirelune
