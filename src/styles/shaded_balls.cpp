// shaded_balls.cpp — style 19: two clusters of ten balls, each a stack of filled
// discs from the rim inwards, every disc a little brighter than the one beneath.
#include "palette/palette.h"
#include "styles/common.h"
#include "styles/styles.h"

namespace mirelune {

void DrawShadedBalls(State& s) {
  Surface& canvas = s.canvas;
  const Surface& strip = s.strip;

  canvas.fill_solid = true;  // solid discs
  for (s.nn = 1; s.nn <= 2; s.nn += 1) {
    s.r1 = Int(s.rng.Rnd() * 20 + 30);  // one ball radius for the whole cluster
    s.left.cluster_radius = Int(s.rng.Rnd() * 60 + 80);
    const double p = Int(s.rng.Rnd() * 500 + 1);
    PlaceFigure(s);
    for (int k = 1; k <= 10; ++k) {
      s.nacin = Int(s.rng.Rnd() * 2 + 1);  // kept for the sequence; the ball ignores it
      const auto [a, b] = ClusterOffset(s);
      s.barvap = strip.ColourAt(10, p + s.r);
      SplitColour(s);
      // Start well below the sampled colour so the rim reads as shadow.
      ShadeComponents(s, -50);
      for (s.kk = s.r1; s.kk >= 0; s.kk += -1) {
        // No upper clamp: RGB caps each component, so the highlight saturates.
        s.re1 += 4;
        s.gr1 += 4;
        s.bl1 += 4;
        const Colour c = RGB(s.re1, s.gr1, s.bl1);
        canvas.fill_colour = c;
        canvas.Circle(s.i + a, s.j + b, s.kk, c);
      }
    }
  }
}

}  // namespace mirelune
