// shaded_pyramids.cpp — style 20: two clusters of ten square pyramids seen from
// above, nested square outlines from the light apex out to the dark base.
#include "palette/palette.h"
#include "styles/common.h"
#include "styles/styles.h"

namespace mirelune {

void DrawShadedPyramids(State& s) {
  Surface& canvas = s.canvas;
  const Surface& strip = s.strip;

  canvas.fill_solid = false;  // outlines only, or each box would paint over the rings inside it
  for (s.nn = 1; s.nn <= 2; s.nn += 1) {
    s.r1 = Int(s.rng.Rnd() * 30 + 40);
    s.r2 = s.r1;
    s.left.cluster_radius = Int(s.rng.Rnd() * 60 + 80);
    const double p = Int(s.rng.Rnd() * 500 + 1);
    PlaceFigure(s);
    for (int k = 1; k <= 10; ++k) {
      s.nacin = Int(s.rng.Rnd() * 2 + 1);  // kept for the sequence; the pyramid ignores it
      const auto [a, b] = ClusterOffset(s);
      s.barvap = strip.ColourAt(10, p + s.r);
      SplitColour(s);
      // Lift the apex above the sampled colour; RGB caps what passes 255.
      s.re1 += 70;
      s.gr1 += 70;
      s.bl1 += 70;
      for (s.kk = s.r1; s.kk >= 0; s.kk += -1) {
        s.r3 = s.r1 - s.kk;  // rings grow outwards as kk counts down
        ShadeComponents(s, -3);
        canvas.Box(s.i + a + s.r3, s.j + b + s.r3, s.i + a - s.r3, s.j + b - s.r3, RGB(s.re1, s.gr1, s.bl1));
      }
    }
  }
}

}  // namespace mirelune
