// roses.cpp — style 11: two polar roses with 2 to 7 petals, filled by radial lines
// coloured by angle like the colour wheels.
#include "styles/common.h"

namespace mirelune {

void DrawRoses(StyleContext& c) {
  Spokes spokes(c.canvas);
  for (int rose = 1; rose <= 2; ++rose) {
    const double radius = Floor(c.rng.Uniform() * 40 + 40);
    const double petals = Floor(c.rng.Uniform() * 6 + 2);
    const double row = Floor(c.rng.Uniform() * 500 + 1);
    const Point centre = PlaceFigure(c);
    for (double angle = 0; angle <= 6.3; angle += 0.001) {
      const Colour colour = c.strip.ColourAt(10, row + 30 * angle);
      // Between the petals a core of radius 10 stays filled.
      const double length = radius * (Sin(petals * angle) + 1) + 10;
      AddSpoke(spokes, centre, length * Sin(angle), length * Cos(angle), colour);
    }
  }
  spokes.Finish();
}

}  // namespace mirelune
