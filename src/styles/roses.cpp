// roses.cpp — style 11: two polar roses with 2 to 7 petals, filled by radial lines
// coloured by angle like the colour wheels.
#include "styles/common.h"
#include "styles/styles.h"

namespace mirelune {

void DrawRoses(State& s) {
  const Surface& strip = s.strip;

  for (s.nn = 1; s.nn <= 2; s.nn += 1) {
    s.r = Int(s.rng.Rnd() * 40 + 40);
    s.fit = Int(s.rng.Rnd() * 6 + 2);
    const double p = Int(s.rng.Rnd() * 500 + 1);
    PlaceFigure(s);
    for (s.fi = 0; s.fi <= 6.3; s.fi += 0.001) {
      s.left.colour = strip.ColourAt(10, p + 30 * s.fi);
      // Between the petals a core of radius 10 stays filled.
      s.r1 = s.r * (Sin(s.fit * s.fi) + 1) + 10;
      const double a = s.r1 * Sin(s.fi);
      const double b = s.r1 * Cos(s.fi);
      const Colour c = static_cast<Colour>(s.left.colour);
      DrawSpoke(s, a, b, c);
    }
  }
}

}  // namespace mirelune
