// shaded_bars.cpp — style 18: two clusters of 20 bars, each a stack of parallel lines
// darkening from its middle to its edges so that it looks rounded.
#include "palette/palette.h"
#include "styles/common.h"
#include "styles/styles.h"

namespace mirelune {

void DrawShadedBars(State& s) {
  Surface& canvas = s.canvas;
  const Surface& strip = s.strip;

  for (s.nn = 1; s.nn <= 2; s.nn += 1) {
    s.left.cluster_radius = Int(s.rng.Rnd() * 40 + 50);
    const double p = Int(s.rng.Rnd() * 500 + 1);
    PlaceFigure(s);
    for (int k = 1; k <= 20; ++k) {
      s.nacin = Int(s.rng.Rnd() * 2 + 1);  // 1 upright, 2 lying
      const auto [a, b] = ClusterOffset(s);  // r is also half the length
      s.barvap = strip.ColourAt(10, p + s.r);
      SplitColour(s);
      // The middle line (offset 0) is drawn twice; the darkening accumulates outwards.
      if (s.nacin == 1) {
        for (s.kk = 0; s.kk <= 10; s.kk += 1) {
          ShadeComponents(s, -8);  // never below black
          const Colour c = RGB(s.re1, s.gr1, s.bl1);
          canvas.Line(s.i + a + s.kk, s.j + b - s.r, s.i + a + s.kk, s.j + b + s.r, c);
          canvas.Line(s.i + a - s.kk, s.j + b - s.r, s.i + a - s.kk, s.j + b + s.r, c);
        }
      } else {
        for (s.kk = 0; s.kk <= 10; s.kk += 1) {
          ShadeComponents(s, -8);  // never below black
          const Colour c = RGB(s.re1, s.gr1, s.bl1);
          canvas.Line(s.i + a - s.r, s.j + b + s.kk, s.i + a + s.r, s.j + b + s.kk, c);
          canvas.Line(s.i + a - s.r, s.j + b - s.kk, s.i + a + s.r, s.j + b - s.kk, c);
        }
      }
    }
  }
}

}  // namespace mirelune
