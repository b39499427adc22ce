// square_clusters.cpp — style 13: two round clusters of filled squares whose size and
// colour grow with the distance from the centre.
#include "styles/common.h"
#include "styles/styles.h"

namespace mirelune {

void DrawSquareClusters(State& s) {
  Surface& canvas = s.canvas;
  const Surface& strip = s.strip;

  canvas.fill_solid = true;
  for (s.nn = 1; s.nn <= 2; s.nn += 1) {
    s.left.cluster_radius = Int(s.rng.Rnd() * 40 + 70);
    PlaceFigure(s);
    const double p = Int(s.rng.Rnd() * 500 + 1);
    const double end = s.left.cluster_radius * 2;  // fixed when the loop starts
    for (double k = 1; k <= end; k += 1) {
      const auto [a, b] = ClusterOffset(s);
      s.left.colour = strip.ColourAt(10, p + s.r);
      canvas.fill_colour = static_cast<Colour>(s.left.colour);
      // The side lives in the shared `d`: whatever runs next, the displacement
      // effect included, finds the last square's side there.
      s.left.offset_mode = Int(s.r / 3 + 5);
      canvas.Box(s.i + a, s.j + b, s.i + a + s.left.offset_mode, s.j + b + s.left.offset_mode, static_cast<Colour>(s.left.colour));
    }
  }
}

}  // namespace mirelune
