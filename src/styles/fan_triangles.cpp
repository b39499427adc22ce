// fan_triangles.cpp — style 4: two triangles filled by fans of lines from the
// apex to every point of the base, one hanging below its base, one standing on it.
#include "styles/common.h"
#include "styles/styles.h"

namespace mirelune {

namespace {

// Lines from the apex to (k, j) for k along the base, one strip row further
// down for every line.
void FanToBase(State& s, double ax, double ay, double p) {
  const double end = s.i + s.r;
  for (double k = s.i; k <= end; k += 1) {
    p += 0.3;
    if (p > 670) p = 670;
    s.left.colour = s.strip.ColourAt(10, p);
    s.canvas.Line(ax, ay, k, s.j, static_cast<Colour>(s.left.colour));
  }
}

}  // namespace

void DrawFanTriangles(State& s) {
  // Apex below the base, on a whole unit.
  s.r = Int(s.rng.Rnd() * 150 + 300);
  PlaceFigure(s);
  double p = Int(s.rng.Rnd() * 500 + 1);
  FanToBase(s, s.i + Int(s.r / 2), s.j + Int(s.r / 2), p);

  // Apex above the base; for an odd base it lies on a half unit.
  s.r = Int(s.rng.Rnd() * 150 + 300);
  PlaceFigure(s);
  p = Int(s.rng.Rnd() * 500 + 1);
  FanToBase(s, s.i + s.r / 2, s.j - s.r / 2, p);
}

}  // namespace mirelune
