// circle_trails.cpp — style 23: two trails of 50 double rings stepping right, down
// or diagonally, the radius jumping and the colour darkening along the way.
#include "palette/palette.h"
#include "styles/common.h"
#include "styles/styles.h"

namespace mirelune {

void DrawCircleTrails(State& s) {
  Surface& canvas = s.canvas;
  const Surface& strip = s.strip;

  canvas.fill_solid = false;  // rings, not discs
  for (s.nn = 1; s.nn <= 2; s.nn += 1) {
    s.nacin = Int(s.rng.Rnd() * 3 + 1);  // 1 right, 2 down, 3 diagonal
    const double p = Int(s.rng.Rnd() * 500 + 1);
    PlaceFigure(s);
    s.barvap = strip.ColourAt(10, p);  // one colour per trail
    SplitColour(s);
    s.re1 += 70;  // RGB caps what passes 255
    s.gr1 += 70;
    s.bl1 += 70;
    for (int k = 1; k <= 50; ++k) {
      s.r1 = Int(s.rng.Rnd() * 40 + 40);
      ShadeComponents(s, -2);
      double cx = s.i, cy = s.j;
      if (s.nacin == 1) {
        cx = s.i + 2 * k;
      } else if (s.nacin == 2) {
        cy = s.j + 2 * k;
      } else if (s.nacin == 3) {
        cx = s.i + 2 * k;
        cy = s.j + 2 * k;
      }
      const Colour c = RGB(s.re1, s.gr1, s.bl1);
      canvas.Circle(cx, cy, s.r1, c);
      canvas.Circle(cx, cy, s.r1 + 1, c);
    }
  }
}

}  // namespace mirelune
