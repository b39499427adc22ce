// lissajous_spirals.cpp — style 15: two chains of filled dots along Lissajous curves
// whose radius grows with the parameter, so each winds out as a knotted spiral.
#include "styles/common.h"

namespace mirelune {

void DrawLissajousSpirals(StyleContext& c) {
  c.canvas.fill_solid = true;
  for (int spiral = 1; spiral <= 2; ++spiral) {
    double radius = 0;
    // The end angle is a single-precision value; kept unrounded it fixes how many
    // 0.02 steps fit, and so the figure's size.
    const float draw = static_cast<float>(c.rng.Uniform());
    const float scaled = draw * 20.0f;
    const double end_angle = scaled + 30.0f;
    const double row = Floor(c.rng.Uniform() * 500 + 1);
    const Point centre = PlaceFigure(c);
    const double across = Floor(c.rng.Uniform() * 5 + 1);  // turns across per turn of the parameter
    const double down = Floor(c.rng.Uniform() * 5 + 1);    // and down
    for (double angle = 0; angle <= end_angle; angle += 0.02) {
      radius = radius + 0.03;
      const Colour colour = c.strip.ColourAt(10, row + radius * 0.4);
      const double a = radius * Sin(across * angle), b = radius * Cos(down * angle);
      c.canvas.fill_colour = colour;
      c.canvas.Circle(centre.x + a, centre.y + b, 3, colour);
    }
  }
}

}  // namespace mirelune
