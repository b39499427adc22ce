// concentric_ellipses.cpp — style 3: one elliptical disc of concentric rings,
// the colour walking down the strip from the centre outwards.
#include "styles/common.h"
#include "styles/styles.h"

namespace mirelune {

void DrawConcentricEllipses(State& s) {
  Surface& canvas = s.canvas;
  const Surface& strip = s.strip;

  canvas.fill_solid = false;  // outlines only: the rings themselves make the disc
  s.r = Int(s.rng.Rnd() * 100 + 80);
  s.el = s.rng.Rnd() + 0.5;
  PlaceFigure(s);
  // A pending button press ("stop") is handled before the disc is drawn.
  if (s.host) s.host->LetEventsIn();
  double p = Int(s.rng.Rnd() * 500 + 1);
  const double end = s.r;
  for (double k = 0; k <= end; k += 1) {
    p += 0.3;
    if (p > 670) p = 670;
    s.left.colour = strip.ColourAt(10, p);
    const Colour c = static_cast<Colour>(s.left.colour);
    // Three outlines, shifted right and down, close the gaps between rings.
    canvas.Circle(s.i, s.j, k, c, s.el);
    canvas.Circle(s.i + 1, s.j, k, c, s.el);
    canvas.Circle(s.i, s.j + 1, k, c, s.el);
  }
}

}  // namespace mirelune
