// shaded_pyramids.cpp — style 20: two clusters of ten square pyramids seen from
// above, nested square outlines from the light apex out to the dark base.
#include "styles/common.h"

namespace mirelune {

void DrawShadedPyramids(StyleContext& c) {
  Surface& canvas = c.canvas;
  canvas.fill_solid = false;  // outlines only, or each box would paint over the rings inside it
  for (int cluster = 1; cluster <= 2; ++cluster) {
    const double half_base = Floor(c.rng.Uniform() * 30 + 40);
    const double cluster_radius = Floor(c.rng.Uniform() * 60 + 80);
    const double row = Floor(c.rng.Uniform() * 500 + 1);
    const Point centre = PlaceFigure(c);
    for (int k = 1; k <= 10; ++k) {
      c.rng.Uniform();  // the draw only advances the sequence; nothing reads it
      const ClusterPlace pyramid = ClusterOffset(c, cluster_radius);
      Components shade = SampleComponents(c, row + pyramid.distance);
      Brighten(shade, 70);  // lift the apex above the sampled colour
      const double x = centre.x + pyramid.across, y = centre.y + pyramid.down;
      for (double rest = half_base; rest >= 0; rest += -1) {
        const double ring = half_base - rest;  // rings grow outwards as the rest counts down
        ShadeComponents(shade, -3);
        canvas.Box(x + ring, y + ring, x - ring, y - ring, ColourOf(shade));
      }
    }
  }
}

}  // namespace mirelune
