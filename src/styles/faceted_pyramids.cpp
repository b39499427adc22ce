// faceted_pyramids.cpp — style 21: two clusters of ten square pyramids, each
// filled by four fans of lines from the apex to its sides, lit from the lower right.
#include "styles/common.h"

namespace mirelune {

void DrawFacetedPyramids(StyleContext& c) {
  Surface& canvas = c.canvas;
  for (int cluster = 1; cluster <= 2; ++cluster) {
    const double half_base = Floor(c.rng.Uniform() * 30 + 40);
    const double cluster_radius = Floor(c.rng.Uniform() * 60 + 80);
    const double row = Floor(c.rng.Uniform() * 500 + 1);
    const Point centre = PlaceFigure(c);
    for (int k = 1; k <= 10; ++k) {
      const ClusterPlace pyramid = ClusterOffset(c, cluster_radius);
      Components shade = SampleComponents(c, row + pyramid.distance);
      ShadeComponents(shade, -50);
      const double x = centre.x + pyramid.across, y = centre.y + pyramid.down;  // the apex

      // Components stay fractional while shading; RGB rounds them when drawing. The
      // counters start at a fractional corner and step by whole units, so each fan
      // ends where the next begins. Ends are fixed when each loop starts.
      double end = x + half_base;
      for (double t = x - half_base; t <= end; t += 1) {  // top side
        Brighten(shade, 0.7);
        canvas.Line(x, y, t, y - half_base, ColourOf(shade));
      }
      end = y + half_base;
      for (double t = y - half_base; t <= end; t += 1) {  // right side
        Brighten(shade, 0.7);
        canvas.Line(x, y, x + half_base, t, ColourOf(shade));
      }
      end = x - half_base;
      for (double t = x + half_base; t >= end; t += -1) {  // bottom side
        ShadeComponents(shade, -0.7);
        canvas.Line(x, y, t, y + half_base, ColourOf(shade));
      }
      end = y - half_base;
      for (double t = y + half_base; t >= end; t += -1) {  // left side
        ShadeComponents(shade, -0.7);
        canvas.Line(x, y, x - half_base, t, ColourOf(shade));
      }
    }
  }
}

}  // namespace mirelune
