// common.h — the steps several styles share.
#pragma once

#include "core/state.h"

namespace mirelune {

// A figure's place: `i` = Int(Rnd * sir + 1), then `j` = Int(Rnd * vis + 1),
// always two draws in this order.
inline void PlaceFigure(State& s) {
  s.i = Int(s.rng.Rnd() * s.settings.canvas_width + 1);
  s.j = Int(s.rng.Rnd() * s.settings.canvas_height + 1);
}

struct Offset {
  double a, b;
};

// A cluster element's place: `r` = Int(Rnd * rr + 1), then `fi` = Rnd * 6.28 (not
// 2 pi), as the offset (r Sin fi, r Cos fi): the sine across, the cosine down.
inline Offset ClusterOffset(State& s) {
  s.r = Int(s.rng.Rnd() * s.left.cluster_radius + 1);
  s.fi = s.rng.Rnd() * 6.28;
  return {s.r * Sin(s.fi), s.r * Cos(s.fi)};
}

// A shading step never takes a component below 0; red, green, blue in this order.
inline void ClampComponents(State& s) {
  if (s.re1 < 0) s.re1 = 0;
  if (s.gr1 < 0) s.gr1 = 0;
  if (s.bl1 < 0) s.bl1 = 0;
}

// One shading step: every component moves by `step`, then none stays below 0.
inline void ShadeComponents(State& s, double step) {
  s.re1 += step;
  s.gr1 += step;
  s.bl1 += step;
  ClampComponents(s);
}

// A spoke from the figure's centre (i, j) to the offset (a, b), drawn three times
// with the tip nudged right and then down: the nudges close the gaps at the rim.
inline void DrawSpoke(State& s, double a, double b, Colour c) {
  s.canvas.Line(s.i, s.j, s.i + a, s.j + b, c);
  s.canvas.Line(s.i, s.j, s.i + a + 1, s.j + b, c);
  s.canvas.Line(s.i, s.j, s.i + a, s.j + b + 1, c);
}

}  // namespace mirelune
