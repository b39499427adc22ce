// ring_clusters.cpp — style 6: two clusters of 100 thick circle outlines whose
// centres are shaken around a random point.
#include "styles/common.h"

namespace mirelune {

void DrawRingClusters(StyleContext& c) {
  c.canvas.fill_solid = false;  // outlines only
  for (int cluster = 1; cluster <= 2; ++cluster) {
    const Point centre = PlaceFigure(c);
    double row = Floor(c.rng.Uniform() * 500 + 1);
    for (int k = 1; k <= 100; ++k) {
      const double radius = Floor(c.rng.Uniform() * 40 + 50);
      const double a = Floor(c.rng.Uniform() * 41 - 20);
      const double b = Floor(c.rng.Uniform() * 41 - 20);
      row += 0.3;
      if (row > 670) row = 670;
      const Colour colour = c.strip.ColourAt(10, row);
      // Drawn three times, shifted right and down, for a thick outline.
      c.canvas.Circle(centre.x + a, centre.y + b, radius, colour);
      c.canvas.Circle(centre.x + 1 + a, centre.y + b, radius, colour);
      c.canvas.Circle(centre.x + a, centre.y + 1 + b, radius, colour);
    }
  }
}

}  // namespace mirelune
