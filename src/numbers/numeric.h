// numeric.h — the number rules every drawing procedure relies on.
//
//   Floor(x)          Floor(-2.5) = -3
//   RoundEven(x)      nearest whole number, halves to even (2.5 -> 2, 3.5 -> 4)
//   RoundedMod(a, b)  both operands through RoundEven; the remainder has the sign of a
//   RGB(r, g, b)      components through RoundEven, clamped to 0..255, r + 256 g + 65536 b
//   Sin, Cos          our own double-precision sine and cosine (see below)
//
// Everything is computed in double precision unless a procedure says "single
// precision" explicitly; then it converts with float() at that step.
#pragma once

#include <string>

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace mirelune {

// A 24-bit colour r + 256 g + 65536 b, or -1 where Point falls outside a raster.
using Colour = std::int32_t;

// Nearest whole number, halves to even. Adding and removing 1.5 * 2^52 leaves the
// rounding to the FPU's default mode (never changed here) without a library call,
// which matters in the per-pixel loops.
[[gnu::always_inline]] inline double RoundEven(double x) {
  if (std::fabs(x) < 2251799813685248.0) {  // 2^51
    constexpr double kMagic = 6755399441055744.0;  // 1.5 * 2^52
    return (x + kMagic) - kMagic;
  }
  return std::nearbyint(x);  // already whole, infinite or NaN
}

[[gnu::always_inline]] inline double Floor(double x) {
  if (std::fabs(x) < 2251799813685248.0) {
    const double r = RoundEven(x);
    return r > x ? r - 1 : r;
  }
  return std::floor(x);
}

inline double RoundedMod(double a, double b) {
  const double ia = RoundEven(a), ib = RoundEven(b);
  return std::fmod(ia, ib);
}

inline int Component(double v) {
  const double c = RoundEven(v);
  if (!(c > 0)) return 0;  // also catches NaN
  return c > 255 ? 255 : static_cast<int>(c);
}

inline Colour RGB(double r, double g, double b) {
  return Component(r) + 256 * Component(g) + 65536 * Component(b);
}

// Sine and cosine of our own rather than the C library's: the card is a function
// of these values, and libm may change between releases while a card must not.
// Accurate to about one unit in the last place for |x| < 1e6 (Cody-Waite
// reduction by pi/2, then the classic minimax kernels on [-pi/4, pi/4]); inline,
// because the displacement effect evaluates millions of them per card.
namespace trig {

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
  constexpr double kInvPio2 = 6.36619772367581382433e-01;
  constexpr double kPio2_1 = 1.57079632673412561417e+00;   // first 33 bits of pi/2
  constexpr double kPio2_2 = 6.07710050630396597660e-11;   // next 33 bits
  constexpr double kPio2_2t = 2.02226624879595063154e-21;  // pi/2 - (kPio2_1 + kPio2_2)
  if (std::fabs(x) <= 0.7853981633974483) {
    *y = x;
    return 0;
  }
  const double fn = RoundEven(x * kInvPio2);
  const double t = x - fn * kPio2_1;
  double w = fn * kPio2_2;
  const double r = t - w;
  w = fn * kPio2_2t - ((t - r) - w);
  *y = r - w;
  return static_cast<int>(static_cast<long long>(fn) & 3);
}

}  // namespace trig

inline void SinCos(double x, double* s, double* c) {
  if (!(std::fabs(x) < 1e15)) {  // infinite or NaN: no meaningful angle
    *s = *c = x - x;
    return;
  }
  double y;
  const int q = trig::Reduce(x, &y);
  const double ks = trig::KernelSin(y), kc = trig::KernelCos(y);
  switch (q) {
    case 0: *s = ks; *c = kc; break;
    case 1: *s = kc; *c = -ks; break;
    case 2: *s = -ks; *c = -kc; break;
    default: *s = -kc; *c = ks; break;
  }
}

// Vector levels: the instruction sets the per-line arithmetic may run on. A
// level's kernels give bit for bit what the scalar code gives (the very same
// operations in vector lanes, no fused multiply-add), and the level is chosen
// when the program runs, so one binary gives one card on every machine. The
// scalar level is always built; the wider ones on x86-64, where they pay.
enum class SimdLevel { kScalar, kAvx2, kAvx512 };
inline constexpr SimdLevel kSimdLevels[] = {SimdLevel::kScalar, SimdLevel::kAvx2, SimdLevel::kAvx512};
const char* LevelName(SimdLevel level);  // "scalar", "AVX2", "AVX-512"
bool LevelAvailable(SimdLevel level);    // built into this program and offered by the processor
SimdLevel BestSimdLevel();               // the widest available level

// Many values at once on one level; element k is what the scalar function gives.
struct VectorKernels {
  void (*sin_cos)(const double* x, double* s, double* c, std::size_t n);  // SinCos(x[k])
  void (*sin)(const double* x, double* s, std::size_t n);                 // Sin(x[k])
  // out[k] = what the (k + 1)-th call of Generator::Next24 from `state` returns
  void (*next24)(std::uint64_t state, std::uint32_t* out, std::size_t n);
  void (*floor_sqrt)(const double* x, double* out, std::size_t n);  // Floor(Sqrt(x[k]))
};

// The kernels of `level`, or nullptr where LevelAvailable(level) is false: a
// level the processor lacks is refused, never replaced by a narrower one.
const VectorKernels* KernelsFor(SimdLevel level);

// One kernel each: the same values SinCos gives, at half the work.
inline double Sin(double x) {
  if (!(std::fabs(x) < 1e15)) return x - x;
  double y;
  const int q = trig::Reduce(x, &y);
  const double v = (q & 1) ? trig::KernelCos(y) : trig::KernelSin(y);
  return (q & 2) ? -v : v;
}

inline double Cos(double x) {
  if (!(std::fabs(x) < 1e15)) return x - x;
  double y;
  const int q = trig::Reduce(x, &y);
  const double v = (q & 1) ? trig::KernelSin(y) : trig::KernelCos(y);
  return ((q + 1) & 2) ? -v : v;
}

inline double Sqrt(double x) { return std::sqrt(x); }

// A number as a caption or a report shows it: whole numbers without a decimal point.
std::string NumberText(double v);

}  // namespace mirelune
