// stripe_bands.cpp — style 1: a lying and a standing band of palette gradients.
#include "styles/common.h"

namespace mirelune {

void DrawStripeBands(StyleContext& c) {
  // Lying band: vertical strokes, one palette row per pair.
  Point corner = PlaceFigure(c);
  double row = Floor(c.rng.Uniform() * 500 + 1);
  double end = corner.x + 300;
  for (double x = corner.x; x <= end; x += 2) {
    row += 1;
    if (row > 670) row = 670;
    const Colour colour = c.strip.ColourAt(10, row);
    c.canvas.Line(x, corner.y, x, corner.y + 100, colour);
    c.canvas.Line(x + 1, corner.y, x + 1, corner.y + 100, colour);
  }

  // Standing band: horizontal strokes.
  corner = PlaceFigure(c);
  row = Floor(c.rng.Uniform() * 500 + 1);
  end = corner.y + 300;
  for (double y = corner.y; y <= end; y += 2) {
    row += 1;
    if (row > 670) row = 670;
    const Colour colour = c.strip.ColourAt(10, row);
    c.canvas.Line(corner.x, y, corner.x + 100, y, colour);
    c.canvas.Line(corner.x, y + 1, corner.x + 100, y + 1, colour);
  }
}

}  // namespace mirelune
