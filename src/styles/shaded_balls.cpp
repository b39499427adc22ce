// shaded_balls.cpp — style 19: two clusters of ten balls, each a stack of filled
// discs from the rim inwards, every disc a little brighter than the one beneath.
#include "styles/common.h"

namespace mirelune {

void DrawShadedBalls(StyleContext& c) {
  Surface& canvas = c.canvas;
  canvas.fill_solid = true;  // solid discs
  for (int cluster = 1; cluster <= 2; ++cluster) {
    const double ball_radius = Floor(c.rng.Uniform() * 20 + 30);  // one for the whole cluster
    const double cluster_radius = Floor(c.rng.Uniform() * 60 + 80);
    const double row = Floor(c.rng.Uniform() * 500 + 1);
    const Point centre = PlaceFigure(c);
    for (int k = 1; k <= 10; ++k) {
      c.rng.Uniform();  // the draw only advances the sequence; nothing reads it
      const ClusterPlace ball = ClusterOffset(c, cluster_radius);
      Components shade = SampleComponents(c, row + ball.distance);
      // Start well below the sampled colour so the rim reads as shadow.
      ShadeComponents(shade, -50);
      const double x = centre.x + ball.across, y = centre.y + ball.down;
      for (double radius = ball_radius; radius >= 0; radius += -1) {
        Brighten(shade, 4);  // the highlight saturates
        const Colour colour = ColourOf(shade);
        canvas.fill_colour = colour;
        canvas.Circle(x, y, radius, colour);
      }
    }
  }
}

}  // namespace mirelune
