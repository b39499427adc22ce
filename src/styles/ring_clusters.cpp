// ring_clusters.cpp — style 6: two clusters of 100 thick circle outlines whose
// centres are shaken around a random point.
#include "styles/common.h"
#include "styles/styles.h"

namespace mirelune {

void DrawRingClusters(State& s) {
  Surface& canvas = s.canvas;
  const Surface& strip = s.strip;

  canvas.fill_solid = false;  // outlines only
  for (s.nn = 1; s.nn <= 2; s.nn += 1) {
    PlaceFigure(s);
    double p = Int(s.rng.Rnd() * 500 + 1);
    for (int k = 1; k <= 100; ++k) {
      s.r = Int(s.rng.Rnd() * 40 + 50);
      const double a = Int(s.rng.Rnd() * 41 - 20);
      const double b = Int(s.rng.Rnd() * 41 - 20);
      p += 0.3;
      if (p > 670) p = 670;
      s.left.colour = strip.ColourAt(10, p);
      const Colour c = static_cast<Colour>(s.left.colour);
      // Drawn three times, shifted right and down, for a thick outline.
      canvas.Circle(s.i + a, s.j + b, s.r, c);
      canvas.Circle(s.i + 1 + a, s.j + b, s.r, c);
      canvas.Circle(s.i + a, s.j + 1 + b, s.r, c);
    }
  }
}

}  // namespace mirelune
