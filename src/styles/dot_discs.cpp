// dot_discs.cpp — style 9: two round clusters of small filled dots whose colour
// follows the distance from the centre, giving concentric rings.
#include "styles/common.h"
#include "styles/styles.h"

namespace mirelune {

void DrawDotDiscs(State& s) {
  Surface& canvas = s.canvas;
  const Surface& strip = s.strip;

  canvas.fill_solid = true;
  for (s.nn = 1; s.nn <= 2; s.nn += 1) {
    s.left.cluster_radius = Int(s.rng.Rnd() * 40 + 50);
    PlaceFigure(s);
    const double p = Int(s.rng.Rnd() * 500 + 1);
    const double end = s.left.cluster_radius * 20;  // fixed when the loop starts
    for (double k = 1; k <= end; k += 1) {
      // Uniform distance, not area: dots crowd towards the centre.
      const auto [a, b] = ClusterOffset(s);
      s.left.colour = strip.ColourAt(10, p + s.r);
      canvas.fill_colour = static_cast<Colour>(s.left.colour);
      canvas.Circle(s.i + a, s.j + b, 3, static_cast<Colour>(s.left.colour));
    }
  }
}

}  // namespace mirelune
