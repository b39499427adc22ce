// square_clusters.cpp — style 13: two round clusters of filled squares whose size and
// colour grow with the distance from the centre.
#include "styles/common.h"

namespace mirelune {

void DrawSquareClusters(StyleContext& c) {
  c.canvas.fill_solid = true;
  for (int cluster = 1; cluster <= 2; ++cluster) {
    const double cluster_radius = Floor(c.rng.Uniform() * 40 + 70);
    const Point centre = PlaceFigure(c);
    const double row = Floor(c.rng.Uniform() * 500 + 1);
    const double squares = cluster_radius * 2;
    for (double k = 1; k <= squares; k += 1) {
      const ClusterPlace square = ClusterOffset(c, cluster_radius);
      const Colour colour = c.strip.ColourAt(10, row + square.distance);
      c.canvas.fill_colour = colour;
      // Each square's side is left as the effect's offset mode: the last square
      // of the pass's last cluster decides how the effect reads its offsets.
      const double side = Floor(square.distance / 3 + 5);
      c.offset_mode = side;
      const double x = centre.x + square.across, y = centre.y + square.down;
      c.canvas.Box(x, y, x + side, y + side, colour);
    }
  }
}

}  // namespace mirelune
