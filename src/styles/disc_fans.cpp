// disc_fans.cpp — style 5: two fans of 800 small filled discs scattered along a
// slowly turning direction around a random centre.
#include "styles/common.h"

namespace mirelune {

void DrawDiscFans(StyleContext& c) {
  c.canvas.fill_solid = true;  // solid discs
  for (int fan = 1; fan <= 2; ++fan) {
    double angle = c.rng.Uniform() * 6.28;
    const double step = 0.006;
    const Point centre = PlaceFigure(c);
    double row = Floor(c.rng.Uniform() * 500 + 1);
    for (int k = 1; k <= 800; ++k) {
      const double distance = Floor(c.rng.Uniform() * 150 + 30);  // never closer than 30: a hole stays at the centre
      angle = angle + step;
      double sn, cs;
      SinCos(angle, &sn, &cs);
      const double x = distance * cs, y = distance * sn;
      row += 0.3;
      if (row > 670) row = 670;
      const Colour colour = c.strip.ColourAt(10, row);
      c.canvas.fill_colour = colour;
      c.canvas.Circle(centre.x + x, centre.y + y, 8, colour);
    }
  }
}

}  // namespace mirelune
