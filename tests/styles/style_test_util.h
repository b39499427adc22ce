// Helpers shared by the drawing-style tests.
#pragma once

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "core/state.h"
#include "test_util.h"

namespace mirelune::testing {

// Canvas background that no strip row has (green 0, blue 200).
constexpr Colour kBack = 0xC80000;

// Strip row a canvas colour came from (RowColour's inverse), or -1 for any other colour.
inline int RowOf(std::uint32_t c) {
  const int r = c & 255, g = (c >> 8) & 255, b = (c >> 16) & 255;
  if (b != 200 || g < 1 || (g - 1) % 40 != 0) return -1;
  return r + 256 * ((g - 1) / 40);
}

// Row strip painted, canvas cleared to kBack, generator at `state`.
inline void Prepare(State& s, std::uint64_t state, Colour back = kBack) {
  PaintRowStrip(s);
  s.Picture1.SetBackColor(back);
  s.rng.set_state(state);
}

// True while the canvas holds nothing but kBack.
inline bool Untouched(const Surface& canvas) {
  for (std::uint32_t px : canvas.image().pixels)
    if (px != static_cast<std::uint32_t>(kBack)) return false;
  return true;
}

// The first n draws a generator at `state` gives.
inline std::vector<double> Replay(std::uint64_t state, std::size_t n) {
  Generator g;
  g.set_state(state);
  std::vector<double> v(n);
  for (double& x : v) x = g.Rnd();
  return v;
}

// Some generator state for which ok(g) holds on a fresh generator g at it.
template <class Ok>
std::uint64_t FindState(Ok ok) {
  for (std::uint64_t k = 1; k < 5'000'000; ++k) {
    const std::uint64_t st = k * 0x2545F4914F6CDD1DULL;
    Generator g;
    g.set_state(st);
    if (ok(g)) return st;
  }
  ADD_FAILURE() << "no generator state fits";
  return 0;
}

// Some generator state whose first n draws satisfy ok(draws).
template <class Ok>
std::uint64_t FindState(std::size_t n, Ok ok) {
  return FindState([&](Generator& g) {
    std::vector<double> v(n);
    for (double& x : v) x = g.Rnd();
    return ok(v);
  });
}

// Colour components.
inline int Red(Colour c) { return c & 0xFF; }
inline int Green(Colour c) { return (c >> 8) & 0xFF; }
inline int Blue(Colour c) { return (c >> 16) & 0xFF; }

// Draws of the shaded clusters: per cluster r1 = Int(Rnd * r1_span + r1_base), rr, P,
// i, j; then ten figures of [nacin,] r, fi.
struct FigureDraws {
  double r1_span, r1_base;
  bool nacin;
};

// The last figure of a call, centred at (x, y).
struct Figure {
  double r1 = 0, rr = 0, p = 0, i = 0, j = 0, r = 0, fi = 0;
  double x() const { return i + r * Sin(fi); }
  double y() const { return j + r * Cos(fi); }
};

inline Figure ReplayLastFigure(Generator g, FigureDraws d) {
  Figure f;
  for (int cluster = 0; cluster < 2; ++cluster) {
    f.r1 = Int(g.Rnd() * d.r1_span + d.r1_base);
    f.rr = Int(g.Rnd() * 60 + 80);
    f.p = Int(g.Rnd() * 500 + 1);
    f.i = Int(g.Rnd() * 900 + 1);
    f.j = Int(g.Rnd() * 675 + 1);
    for (int k = 0; k < 10; ++k) {
      if (d.nacin) g.Rnd();
      f.r = Int(g.Rnd() * f.rr + 1);
      f.fi = g.Rnd() * 6.28;
    }
  }
  return f;
}

// The nth state (from 0) whose last figure lies at least `margin` units inside the canvas.
inline std::uint64_t StateWithLastFigureInside(FigureDraws d, double margin, int nth = 0) {
  return FindState([&](Generator& g) {
    const Figure f = ReplayLastFigure(g, d);
    return f.x() > margin && f.x() < 900 - margin && f.y() > margin && f.y() < 675 - margin && nth-- == 0;
  });
}

}  // namespace mirelune::testing
