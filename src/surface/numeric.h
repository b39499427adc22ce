// numeric.h — the number rules every drawing procedure relies on.
//
//   Int(x)      floor: Int(-2.5) = -3
//   CInt(x)     nearest whole number, halves to even (2.5 -> 2, 3.5 -> 4)
//   Mod(a, b)   both operands through CInt; the remainder has the sign of a
//   RGB(r,g,b)  components through CInt, clamped to 0..255, r + 256 g + 65536 b
//   Sin/Cos     our own double-precision sine and cosine (see below)
//
// Everything is computed in double precision unless a procedure says "single
// precision" explicitly; then it converts with float() at that step.
#pragma once

#include <cmath>
#include <cstdint>

namespace mirelune {

// A 24-bit colour r + 256 g + 65536 b, or -1 where Point falls outside a raster.
using Colour = std::int32_t;

inline double Int(double x) { return std::floor(x); }

// nearbyint rounds halves to even in the default rounding mode, which we never change.
inline double CInt(double x) { return std::nearbyint(x); }

inline double Mod(double a, double b) {
  const double ia = CInt(a), ib = CInt(b);
  return std::fmod(ia, ib);
}

inline int Component(double v) {
  const double c = CInt(v);
  if (!(c > 0)) return 0;  // also catches NaN
  return c > 255 ? 255 : static_cast<int>(c);
}

inline Colour RGB(double r, double g, double b) {
  return Component(r) + 256 * Component(g) + 65536 * Component(b);
}

// Sine and cosine of our own rather than the C library's: the card is a function
// of these values, and libm may change between releases while a card must not.
// Accurate to about one unit in the last place for |x| < 1e6 (Cody-Waite
// reduction by pi/2, then the classic minimax kernels on [-pi/4, pi/4]).
void SinCos(double x, double* s, double* c);
double Sin(double x);
double Cos(double x);

inline double Sqr(double x) { return std::sqrt(x); }

}  // namespace mirelune
