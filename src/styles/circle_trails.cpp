// circle_trails.cpp — style 23: two trails of 50 double rings stepping right, down
// or diagonally, the radius jumping and the colour darkening along the way.
#include "styles/common.h"

namespace mirelune {

void DrawCircleTrails(StyleContext& c) {
  Surface& canvas = c.canvas;
  canvas.fill_solid = false;  // rings, not discs
  for (int trail = 1; trail <= 2; ++trail) {
    const double direction = Floor(c.rng.Uniform() * 3 + 1);  // 1 right, 2 down, 3 diagonal
    const double row = Floor(c.rng.Uniform() * 500 + 1);
    const Point start = PlaceFigure(c);
    Components shade = SampleComponents(c, row);  // one colour per trail
    Brighten(shade, 70);
    for (int k = 1; k <= 50; ++k) {
      const double radius = Floor(c.rng.Uniform() * 40 + 40);
      ShadeComponents(shade, -2);
      const double x = direction == 2 ? start.x : start.x + 2 * k;
      const double y = direction == 1 ? start.y : start.y + 2 * k;
      const Colour colour = ColourOf(shade);
      canvas.Circle(x, y, radius, colour);
      canvas.Circle(x, y, radius + 1, colour);
    }
  }
}

}  // namespace mirelune
