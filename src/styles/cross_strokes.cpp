// cross_strokes.cpp — style 14: two round clusters of vertical, horizontal or crossed
// strokes, each as long as twice its distance from the cluster centre.
#include "styles/common.h"
#include "styles/styles.h"

namespace mirelune {

void DrawCrossStrokes(State& s) {
  Surface& canvas = s.canvas;
  const Surface& strip = s.strip;

  for (s.nn = 1; s.nn <= 2; s.nn += 1) {
    s.left.cluster_radius = Int(s.rng.Rnd() * 40 + 50);
    PlaceFigure(s);
    const double p = Int(s.rng.Rnd() * 500 + 1);
    s.nacin = Int(s.rng.Rnd() * 3 + 1);  // 1 vertical, 2 horizontal, 3 both
    const double end = s.left.cluster_radius * 10;
    for (double k = 1; k <= end; k += 1) {
      const auto [a, b] = ClusterOffset(s);
      // The row grows with the distance, so each cluster shades outwards.
      s.left.colour = strip.ColourAt(10, p + s.r);
      const Colour c = static_cast<Colour>(s.left.colour);
      if (s.nacin == 1) canvas.Line(s.i + a, s.j + b - s.r, s.i + a, s.j + b + s.r, c);
      if (s.nacin == 2) canvas.Line(s.i + a - s.r, s.j + b, s.i + a + s.r, s.j + b, c);
      if (s.nacin == 3) {
        canvas.Line(s.i + a, s.j + b - s.r, s.i + a, s.j + b + s.r, c);
        canvas.Line(s.i + a - s.r, s.j + b, s.i + a + s.r, s.j + b, c);
      }
    }
  }
}

}  // namespace mirelune
