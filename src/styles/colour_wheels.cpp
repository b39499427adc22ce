// colour_wheels.cpp — style 10: two discs filled by radial lines whose colour walks
// down the palette strip with the angle.
#include "styles/common.h"

namespace mirelune {

void DrawColourWheels(StyleContext& c) {
  Spokes spokes(c.canvas);
  for (int wheel = 1; wheel <= 2; ++wheel) {
    const double radius = Floor(c.rng.Uniform() * 40 + 50);
    const double row = Floor(c.rng.Uniform() * 500 + 1);
    const Point centre = PlaceFigure(c);
    // The angle accumulates by addition, which fixes the 6,300 passes; it runs a
    // little past a full turn, so the last lines cover the first ones.
    for (double angle = 0; angle <= 6.3; angle += 0.001) {
      // Unlimited row: past the strip's end ColourAt gives -1 and that is drawn as is.
      const Colour colour = c.strip.ColourAt(10, row + 30 * angle);
      AddSpoke(spokes, centre, radius * Sin(angle), radius * Cos(angle), colour);
    }
  }
  spokes.Finish();
}

}  // namespace mirelune
