// colour_wheels.cpp — style 10: two discs filled by radial lines whose colour walks
// down the palette strip with the angle.
#include "styles/common.h"
#include "styles/styles.h"

namespace mirelune {

void DrawColourWheels(State& s) {
  const Surface& strip = s.strip;

  for (s.nn = 1; s.nn <= 2; s.nn += 1) {
    s.r = Int(s.rng.Rnd() * 40 + 50);
    const double p = Int(s.rng.Rnd() * 500 + 1);
    PlaceFigure(s);
    // The angle accumulates by addition, which fixes the 6,300 passes; it runs a
    // little past a full turn, so the last lines cover the first ones.
    for (s.fi = 0; s.fi <= 6.3; s.fi += 0.001) {
      // Unlimited row: past the strip's end Point gives -1 and that is drawn as is.
      s.left.colour = strip.ColourAt(10, p + 30 * s.fi);
      const double a = s.r * Sin(s.fi);
      const double b = s.r * Cos(s.fi);
      const Colour c = static_cast<Colour>(s.left.colour);
      // Three strokes with the tip nudged right and down close the gaps at the rim.
      DrawSpoke(s, a, b, c);
    }
  }
}

}  // namespace mirelune
