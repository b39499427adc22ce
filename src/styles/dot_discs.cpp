// dot_discs.cpp — style 9: two round clusters of small filled dots whose colour
// follows the distance from the centre, giving concentric rings.
#include "styles/common.h"

namespace mirelune {

void DrawDotDiscs(StyleContext& c) {
  c.canvas.fill_solid = true;
  for (int cluster = 1; cluster <= 2; ++cluster) {
    const double cluster_radius = Floor(c.rng.Uniform() * 40 + 50);
    const Point centre = PlaceFigure(c);
    const double row = Floor(c.rng.Uniform() * 500 + 1);
    const double dots = cluster_radius * 20;
    for (double k = 1; k <= dots; k += 1) {
      // Uniform distance, not area: dots crowd towards the centre.
      const ClusterPlace dot = ClusterOffset(c, cluster_radius);
      const Colour colour = c.strip.ColourAt(10, row + dot.distance);
      c.canvas.fill_colour = colour;
      c.canvas.Circle(centre.x + dot.across, centre.y + dot.down, 3, colour);
    }
  }
}

}  // namespace mirelune
