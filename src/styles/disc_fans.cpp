// disc_fans.cpp — style 5: two fans of 800 small filled discs scattered along a
// slowly turning direction around a random centre.
#include "styles/common.h"
#include "styles/styles.h"

namespace mirelune {

void DrawDiscFans(State& s) {
  Surface& canvas = s.canvas;
  const Surface& strip = s.strip;

  canvas.fill_solid = true;  // solid discs
  for (s.nn = 1; s.nn <= 2; s.nn += 1) {
    s.fi = s.rng.Rnd() * 6.28;
    const double step = 0.006;
    PlaceFigure(s);
    double p = Int(s.rng.Rnd() * 500 + 1);
    for (int k = 1; k <= 800; ++k) {
      s.r = Int(s.rng.Rnd() * 150 + 30);  // never closer than 30: a hole stays at the centre
      s.fi = s.fi + step;
      double sn, cs;
      SinCos(s.fi, &sn, &cs);
      const double x = s.r * cs, y = s.r * sn;
      p += 0.3;
      if (p > 670) p = 670;
      s.left.colour = strip.ColourAt(10, p);
      canvas.fill_colour = static_cast<Colour>(s.left.colour);
      canvas.Circle(s.i + x, s.j + y, 8, static_cast<Colour>(s.left.colour));
    }
  }
}

}  // namespace mirelune
