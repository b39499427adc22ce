// lissajous_spirals.cpp — style 15: two chains of filled dots along Lissajous curves
// whose radius grows with the parameter, so each winds out as a knotted spiral.
#include "styles/common.h"
#include "styles/styles.h"

namespace mirelune {

void DrawLissajousSpirals(State& s) {
  Surface& canvas = s.canvas;
  const Surface& strip = s.strip;

  canvas.fill_solid = true;
  for (s.nn = 1; s.nn <= 2; s.nn += 1) {
    s.r = 0;
    // The end angle is a single-precision value; kept unrounded it fixes how many
    // 0.02 steps fit, and so the figure's size.
    const float draw = static_cast<float>(s.rng.Rnd());
    const float scaled = draw * 20.0f;
    const float fi1 = scaled + 30.0f;
    s.fi1 = fi1;
    const double p = Int(s.rng.Rnd() * 500 + 1);
    PlaceFigure(s);
    s.fii = Int(s.rng.Rnd() * 5 + 1);
    s.fij = Int(s.rng.Rnd() * 5 + 1);
    const double end = s.fi1;
    for (s.fi = 0; s.fi <= end; s.fi += 0.02) {
      s.r = s.r + 0.03;
      s.left.colour = strip.ColourAt(10, p + s.r * 0.4);
      const double a = s.r * Sin(s.fii * s.fi), b = s.r * Cos(s.fij * s.fi);
      const Colour c = static_cast<Colour>(s.left.colour);
      canvas.fill_colour = c;
      canvas.Circle(s.i + a, s.j + b, 3, c);
    }
  }
}

}  // namespace mirelune
