// shaded_bars.cpp — style 18: two clusters of 20 bars, each a stack of parallel lines
// darkening from its middle to its edges so that it looks rounded.
#include "styles/common.h"

namespace mirelune {

void DrawShadedBars(StyleContext& c) {
  Surface& canvas = c.canvas;
  for (int cluster = 1; cluster <= 2; ++cluster) {
    const double cluster_radius = Floor(c.rng.Uniform() * 40 + 50);
    const double row = Floor(c.rng.Uniform() * 500 + 1);
    const Point centre = PlaceFigure(c);
    for (int k = 1; k <= 20; ++k) {
      const bool upright = Floor(c.rng.Uniform() * 2 + 1) == 1;  // else lying
      const ClusterPlace bar = ClusterOffset(c, cluster_radius);
      const double half = bar.distance;  // the farther out, the longer the bar
      Components shade = SampleComponents(c, row + half);
      const double x = centre.x + bar.across, y = centre.y + bar.down;
      // The middle line (offset 0) is drawn twice; the darkening accumulates outwards.
      for (double offset = 0; offset <= 10; offset += 1) {
        ShadeComponents(shade, -8);  // never below black
        const Colour colour = ColourOf(shade);
        if (upright) {
          canvas.Line(x + offset, y - half, x + offset, y + half, colour);
          canvas.Line(x - offset, y - half, x - offset, y + half, colour);
        } else {
          canvas.Line(x - half, y + offset, x + half, y + offset, colour);
          canvas.Line(x - half, y - offset, x + half, y - offset, colour);
        }
      }
    }
  }
}

}  // namespace mirelune
