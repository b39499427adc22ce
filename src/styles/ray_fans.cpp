// ray_fans.cpp — style 2: two fans of 900 rays each, turning through about
// three quarters of a turn, with ragged outer ends.
#include "styles/common.h"

namespace mirelune {

void DrawRayFans(StyleContext& c) {
  for (int fan = 1; fan <= 2; ++fan) {
    double angle = c.rng.Uniform() * 6.28;
    const double step = 0.005;
    const Point centre = PlaceFigure(c);
    double row = Floor(c.rng.Uniform() * 500 + 1);
    for (int k = 1; k <= 900; ++k) {
      const double length = Floor(c.rng.Uniform() * 100 + 80);
      // The inner end is shaken a little so the centre does not clot into a dot.
      const double a = Floor(c.rng.Uniform() * 11 - 5);
      const double b = Floor(c.rng.Uniform() * 11 - 5);
      angle = angle + step;  // advanced before the ray: the fan starts one step in
      double sn, cs;
      SinCos(angle, &sn, &cs);
      const double x = length * cs, y = length * sn;
      row += 0.2;
      if (row > 670) row = 670;
      // The strip row is handed over in single precision, as the surface takes it.
      const Colour colour = c.strip.ColourAt(10, static_cast<float>(row));
      c.canvas.Line(centre.x + a, centre.y + b, centre.x + x, centre.y + y, colour);
    }
  }
}

}  // namespace mirelune
