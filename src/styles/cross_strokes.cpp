// cross_strokes.cpp — style 14: two round clusters of vertical, horizontal or crossed
// strokes, each as long as twice its distance from the cluster centre.
#include "styles/common.h"

namespace mirelune {

void DrawCrossStrokes(StyleContext& c) {
  for (int cluster = 1; cluster <= 2; ++cluster) {
    const double cluster_radius = Floor(c.rng.Uniform() * 40 + 50);
    const Point centre = PlaceFigure(c);
    const double row = Floor(c.rng.Uniform() * 500 + 1);
    const double kind = Floor(c.rng.Uniform() * 3 + 1);  // 1 vertical, 2 horizontal, 3 both
    const double strokes = cluster_radius * 10;
    for (double k = 1; k <= strokes; k += 1) {
      const ClusterPlace stroke = ClusterOffset(c, cluster_radius);
      const double half = stroke.distance;
      // The row grows with the distance, so each cluster shades outwards.
      const Colour colour = c.strip.ColourAt(10, row + half);
      const double x = centre.x + stroke.across, y = centre.y + stroke.down;
      if (kind == 1 || kind == 3) c.canvas.Line(x, y - half, x, y + half, colour);
      if (kind == 2 || kind == 3) c.canvas.Line(x - half, y, x + half, y, colour);
    }
  }
}

}  // namespace mirelune
