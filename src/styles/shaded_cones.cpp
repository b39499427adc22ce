// shaded_cones.cpp — style 22: two clusters of ten cones seen from above, discs
// of radial lines that darken over one half-turn and lighten over the other.
#include "styles/common.h"

namespace mirelune {
namespace {

// One radius from the tip, drawn three times (the copies shifted right and up at
// the outer end) so that neighbouring radii leave no gaps between them.
void AddRadius(Spokes& spokes, Point tip, double radius, double angle, const Components& shade) {
  const double dx = radius * Sin(angle), dy = radius * Cos(angle);
  spokes.Add(tip, tip.x + dx, tip.y + dy, {1, 0}, {0, -1}, ColourOf(shade));
}

}  // namespace

void DrawShadedCones(StyleContext& c) {
  Spokes spokes(c.canvas);
  for (int cluster = 1; cluster <= 2; ++cluster) {
    const double radius = Floor(c.rng.Uniform() * 30 + 40);
    const double cluster_radius = Floor(c.rng.Uniform() * 60 + 80);
    const double row = Floor(c.rng.Uniform() * 500 + 1);
    const Point centre = PlaceFigure(c);
    for (int k = 1; k <= 10; ++k) {
      const ClusterPlace cone = ClusterOffset(c, cluster_radius);
      Components shade = SampleComponents(c, row + cone.distance);
      Brighten(shade, 70);
      const Point tip{centre.x + cone.across, centre.y + cone.down};

      // Shadow half: from straight down round through the right side to the top.
      for (double angle = 0; angle <= 3.14; angle += 0.008) {
        ShadeComponents(shade, -0.3);
        AddRadius(spokes, tip, radius, angle, shade);
      }
      // Light half: on past a full turn (6.3), so the first radii get the light colours.
      for (double angle = 3.14; angle <= 6.3; angle += 0.008) {
        Brighten(shade, 0.3);
        AddRadius(spokes, tip, radius, angle, shade);
      }
    }
  }
  spokes.Finish();
}

}  // namespace mirelune
