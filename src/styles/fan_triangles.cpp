// fan_triangles.cpp — style 4: two triangles filled by fans of lines from the
// apex to every point of the base, one hanging below its base, one standing on it.
#include "styles/common.h"

namespace mirelune {

namespace {

// Lines from the apex to (x, base's y) for x along the base, one strip row further
// down for every line.
void FanToBase(StyleContext& c, double apex_x, double apex_y, Point base, double base_length, double row) {
  const double end = base.x + base_length;
  for (double x = base.x; x <= end; x += 1) {
    row += 0.3;
    if (row > 670) row = 670;
    c.canvas.Line(apex_x, apex_y, x, base.y, c.strip.ColourAt(10, row));
  }
}

}  // namespace

void DrawFanTriangles(StyleContext& c) {
  // Apex below the base, on a whole unit.
  double base_length = Floor(c.rng.Uniform() * 150 + 300);
  Point base = PlaceFigure(c);
  double row = Floor(c.rng.Uniform() * 500 + 1);
  FanToBase(c, base.x + Floor(base_length / 2), base.y + Floor(base_length / 2), base, base_length, row);

  // Apex above the base; for an odd base it lies on a half unit.
  base_length = Floor(c.rng.Uniform() * 150 + 300);
  base = PlaceFigure(c);
  row = Floor(c.rng.Uniform() * 500 + 1);
  FanToBase(c, base.x + base_length / 2, base.y - base_length / 2, base, base_length, row);
}

}  // namespace mirelune
