// concentric_ellipses.cpp — style 3: one elliptical disc of concentric rings,
// the colour walking down the strip from the centre outwards.
#include "styles/common.h"

namespace mirelune {

void DrawConcentricEllipses(StyleContext& c) {
  c.canvas.fill_solid = false;  // outlines only: the rings themselves make the disc
  const double radius = Floor(c.rng.Uniform() * 100 + 80);
  const double aspect = c.rng.Uniform() + 0.5;
  const Point centre = PlaceFigure(c);
  double row = Floor(c.rng.Uniform() * 500 + 1);
  for (double ring = 0; ring <= radius; ring += 1) {
    row += 0.3;
    if (row > 670) row = 670;
    const Colour colour = c.strip.ColourAt(10, row);
    // Three outlines, shifted right and down, close the gaps between rings.
    c.canvas.Circle(centre.x, centre.y, ring, colour, aspect);
    c.canvas.Circle(centre.x + 1, centre.y, ring, colour, aspect);
    c.canvas.Circle(centre.x, centre.y + 1, ring, colour, aspect);
  }
}

}  // namespace mirelune
