// stripe_bands.cpp — style 1: a lying and a standing band of palette gradients.
#include "styles/common.h"
#include "styles/styles.h"

namespace mirelune {

void DrawStripeBands(State& s) {
  Surface& canvas = s.canvas;
  const Surface& strip = s.strip;

  // Lying band: vertical strokes, one palette row per pair.
  PlaceFigure(s);
  double p = Int(s.rng.Rnd() * 500 + 1);
  double end = s.i + 300;
  for (double k = s.i; k <= end; k += 2) {
    p += 1;
    if (p > 670) p = 670;
    s.left.colour = strip.ColourAt(10, p);
    canvas.Line(k, s.j, k, s.j + 100, static_cast<Colour>(s.left.colour));
    canvas.Line(k + 1, s.j, k + 1, s.j + 100, static_cast<Colour>(s.left.colour));
  }

  // Standing band: horizontal strokes.
  PlaceFigure(s);
  p = Int(s.rng.Rnd() * 500 + 1);
  end = s.j + 300;
  for (double k = s.j; k <= end; k += 2) {
    p += 1;
    if (p > 670) p = 670;
    s.left.colour = strip.ColourAt(10, p);
    canvas.Line(s.i, k, s.i + 100, k, static_cast<Colour>(s.left.colour));
    canvas.Line(s.i, k + 1, s.i + 100, k + 1, static_cast<Colour>(s.left.colour));
  }
}

}  // namespace mirelune
