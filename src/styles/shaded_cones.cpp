// shaded_cones.cpp — style 22: two clusters of ten cones seen from above, discs
// of radial lines that darken over one half-turn and lighten over the other.
#include "palette/palette.h"
#include "styles/common.h"
#include "styles/styles.h"

namespace mirelune {
namespace {

// One radius from the tip, drawn three times (the copies shifted right and up at
// the outer end) so that neighbouring radii leave no gaps between them.
void DrawRadius(State& s, double tip_x, double tip_y) {
  const Colour c = RGB(s.re1, s.gr1, s.bl1);
  s.canvas.Line(tip_x, tip_y, tip_x + s.di1, tip_y + s.dj1, c);
  s.canvas.Line(tip_x, tip_y, tip_x + s.di1 + 1, tip_y + s.dj1, c);
  s.canvas.Line(tip_x, tip_y, tip_x + s.di1, tip_y + s.dj1 - 1, c);
}

}  // namespace

void DrawShadedCones(State& s) {
  const Surface& strip = s.strip;

  for (s.nn = 1; s.nn <= 2; s.nn += 1) {
    s.r1 = Int(s.rng.Rnd() * 30 + 40);
    s.left.cluster_radius = Int(s.rng.Rnd() * 60 + 80);
    const double p = Int(s.rng.Rnd() * 500 + 1);
    PlaceFigure(s);
    for (int k = 1; k <= 10; ++k) {
      const auto [a, b] = ClusterOffset(s);
      s.barvap = strip.ColourAt(10, p + s.r);
      SplitColour(s);
      s.re1 += 70;  // RGB caps what passes 255
      s.gr1 += 70;
      s.bl1 += 70;
      const double tip_x = s.i + a, tip_y = s.j + b;

      // Shadow half: from straight down round through the right side to the top.
      for (s.fi1 = 0; s.fi1 <= 3.14; s.fi1 += 0.008) {
        s.di1 = s.r1 * Sin(s.fi1);
        s.dj1 = s.r1 * Cos(s.fi1);
        ShadeComponents(s, -0.3);
        DrawRadius(s, tip_x, tip_y);
      }
      // Light half: on past a full turn (6.3), so the first radii get the light colours.
      for (s.fi1 = 3.14; s.fi1 <= 6.3; s.fi1 += 0.008) {
        s.di1 = s.r1 * Sin(s.fi1);
        s.dj1 = s.r1 * Cos(s.fi1);
        s.re1 += 0.3;
        s.gr1 += 0.3;
        s.bl1 += 0.3;
        DrawRadius(s, tip_x, tip_y);
      }
    }
  }
}

}  // namespace mirelune
