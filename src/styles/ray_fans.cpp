// ray_fans.cpp — style 2: two fans of 900 rays each, turning through about
// three quarters of a turn, with ragged outer ends.
#include "styles/common.h"
#include "styles/styles.h"

namespace mirelune {

void DrawRayFans(State& s) {
  Surface& canvas = s.canvas;
  const Surface& strip = s.strip;

  for (s.nn = 1; s.nn <= 2; s.nn += 1) {
    s.fi = s.rng.Rnd() * 6.28;
    const double step = 0.005;
    PlaceFigure(s);
    double p = Int(s.rng.Rnd() * 500 + 1);
    for (int k = 1; k <= 900; ++k) {
      s.r = Int(s.rng.Rnd() * 100 + 80);
      // The inner end is shaken a little so the centre does not clot into a dot.
      const double a = Int(s.rng.Rnd() * 11 - 5);
      const double b = Int(s.rng.Rnd() * 11 - 5);
      s.fi = s.fi + step;  // advanced before the ray: the fan starts one step in
      double sn, cs;
      SinCos(s.fi, &sn, &cs);
      const double x = s.r * cs, y = s.r * sn;
      p += 0.2;
      if (p > 670) p = 670;
      // The strip row is handed over in single precision, as the surface takes it.
      s.left.colour = strip.ColourAt(10, static_cast<float>(p));
      canvas.Line(s.i + a, s.j + b, s.i + x, s.j + y, static_cast<Colour>(s.left.colour));
    }
  }
}

}  // namespace mirelune
