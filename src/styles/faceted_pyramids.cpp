// faceted_pyramids.cpp — style 21: two clusters of ten square pyramids, each
// filled by four fans of lines from the apex to its sides, lit from the lower right.
#include "palette/palette.h"
#include "styles/common.h"
#include "styles/styles.h"

namespace mirelune {
namespace {

// Components stay fractional while shading; RGB rounds them when drawing.
void Brighten(State& s) {
  s.re1 += 0.7;
  s.gr1 += 0.7;
  s.bl1 += 0.7;
}

}  // namespace

void DrawFacetedPyramids(State& s) {
  Surface& canvas = s.canvas;
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
      ShadeComponents(s, -50);
      s.x = s.i + a;
      s.y = s.j + b;

      // The counters start at a fractional corner and step by whole units, so each
      // fan ends where the next begins. Ends are fixed when each loop starts.
      double end = s.x + s.r1;
      for (s.kk = s.x - s.r1; s.kk <= end; s.kk += 1) {  // top side
        Brighten(s);
        canvas.Line(s.x, s.y, s.kk, s.y - s.r1, RGB(s.re1, s.gr1, s.bl1));
      }
      end = s.y + s.r1;
      for (s.kk = s.y - s.r1; s.kk <= end; s.kk += 1) {  // right side
        Brighten(s);
        canvas.Line(s.x, s.y, s.x + s.r1, s.kk, RGB(s.re1, s.gr1, s.bl1));
      }
      end = s.x - s.r1;
      for (s.kk = s.x + s.r1; s.kk >= end; s.kk += -1) {  // bottom side
        ShadeComponents(s, -0.7);
        canvas.Line(s.x, s.y, s.kk, s.y + s.r1, RGB(s.re1, s.gr1, s.bl1));
      }
      end = s.y - s.r1;
      for (s.kk = s.y + s.r1; s.kk >= end; s.kk += -1) {  // left side
        ShadeComponents(s, -0.7);
        canvas.Line(s.x, s.y, s.x - s.r1, s.kk, RGB(s.re1, s.gr1, s.bl1));
      }
    }
  }
}

}  // namespace mirelune
