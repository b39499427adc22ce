// ragged_bands.cpp — style 17: two bands of 200 one-unit strokes, each stroke reaching
// a random distance to either side, so both edges of a band are ragged.
#include "styles/styles.h"

namespace mirelune {

void DrawRaggedBands(State& s) {
  Surface& canvas = s.canvas;
  const Surface& strip = s.strip;

  for (s.nn = 1; s.nn <= 2; s.nn += 1) {
    s.nacin = Int(s.rng.Rnd() * 2 + 1);  // 1: runs left to right, 2: top to bottom
    s.i0 = Int(s.rng.Rnd() * s.settings.canvas_width + 1);
    s.j0 = Int(s.rng.Rnd() * s.settings.canvas_height + 1);
    double p = Int(s.rng.Rnd() * 500 + 1);
    for (int k = 1; k <= 200; ++k) {
      // A fractional row goes to the strip as it is; the strip rounds it.
      p = p + 0.7;
      s.left.colour = strip.ColourAt(10, p);
      // All four reaches are drawn whichever way the band runs.
      s.di1 = Int(s.rng.Rnd() * 30 + 30);
      s.di2 = Int(s.rng.Rnd() * 30 + 30);
      s.dj1 = Int(s.rng.Rnd() * 30 + 30);
      s.dj2 = Int(s.rng.Rnd() * 30 + 30);
      const Colour c = static_cast<Colour>(s.left.colour);
      if (s.nacin == 1) {
        s.i = s.i0 + k;
        s.j = s.j0;
        canvas.Line(s.i, s.j - s.dj1, s.i, s.j + s.dj2, c);
      }
      if (s.nacin == 2) {
        s.i = s.i0;
        s.j = s.j0 + k;
        canvas.Line(s.i - s.di1, s.j, s.i + s.di2, s.j, c);
      }
    }
  }
}

}  // namespace mirelune
