// random_walks.cpp — style 16: two bundles of 30 random-walk threads, each thread a
// chain of small filled dots in its own palette row.
#include "styles/styles.h"

namespace mirelune {

void DrawRandomWalks(State& s) {
  Surface& canvas = s.canvas;
  const Surface& strip = s.strip;

  canvas.fill_solid = true;
  for (s.nn = 1; s.nn <= 2; s.nn += 1) {
    s.nacin = Int(s.rng.Rnd() * 2 + 1);  // 1: threads start along a row, 2: along a column
    s.i0 = Int(s.rng.Rnd() * s.settings.canvas_width + 1);
    s.j0 = Int(s.rng.Rnd() * s.settings.canvas_height + 1);
    double p = Int(s.rng.Rnd() * 500 + 1);
    for (s.kk = 1; s.kk <= 30; s.kk += 1) {
      if (s.nacin == 1) {
        s.i = s.i0 + 5 * s.kk;
        s.j = s.j0;
      }
      if (s.nacin == 2) {
        s.i = s.i0;
        s.j = s.j0 + 5 * s.kk;
      }
      p = p + 1;  // consecutive threads take consecutive rows: the bundle shades across
      s.left.colour = strip.ColourAt(10, p);
      const Colour c = static_cast<Colour>(s.left.colour);
      for (int m = 1; m <= 1000; ++m) {
        const double a = Int(s.rng.Rnd() * 3 - 1);
        const double b = Int(s.rng.Rnd() * 3 - 1);
        // Step first, then dot: the start point itself stays bare.
        s.i = s.i + a;
        s.j = s.j + b;
        canvas.fill_colour = c;
        canvas.Circle(s.i, s.j, 2, c);
      }
    }
  }
}

}  // namespace mirelune
