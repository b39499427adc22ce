// bar_combs.cpp — style 7: four combs of 32 bars each (upright, lying, rising and
// falling at 45 degrees), every bar four units thick and of random length.
#include "styles/common.h"

namespace mirelune {

namespace {

enum class Comb { kUpright, kLying, kRising, kFalling };

void DrawComb(StyleContext& c, Comb comb) {
  const Point centre = PlaceFigure(c);
  double row = Floor(c.rng.Uniform() * 500 + 1);
  const double start = comb == Comb::kLying ? centre.y : centre.x;
  const double end = start + 250;
  for (double at = start; at <= end; at += 8) {
    // Lengths first, then the colour: the order of draws depends on it. An upright
    // or lying bar reaches two random lengths to either side of the centre; a
    // slanted one runs one random length from the centre line.
    double before = 0, after = 0, slant = 0;
    if (comb == Comb::kUpright || comb == Comb::kLying) {
      before = Floor(c.rng.Uniform() * 40 + 50);
      after = Floor(c.rng.Uniform() * 40 + 50);
    } else {
      slant = Floor(c.rng.Uniform() * 40 + 50);
    }
    row += 2;
    if (row > 670) row = 670;
    const Colour colour = c.strip.ColourAt(10, row);
    for (int unit = 0; unit <= 3; ++unit) {  // four adjacent one-unit lines make one bar
      switch (comb) {
        case Comb::kUpright: c.canvas.Line(at + unit, centre.y - before, at + unit, centre.y + after, colour); break;
        case Comb::kLying: c.canvas.Line(centre.x - before, at + unit, centre.x + after, at + unit, colour); break;
        case Comb::kRising: c.canvas.Line(at + unit, centre.y, at + slant + unit, centre.y - slant, colour); break;
        case Comb::kFalling: c.canvas.Line(at + unit, centre.y, at + slant + unit, centre.y + slant, colour); break;
      }
    }
  }
}

}  // namespace

void DrawBarCombs(StyleContext& c) {
  DrawComb(c, Comb::kUpright);
  DrawComb(c, Comb::kLying);
  DrawComb(c, Comb::kRising);
  DrawComb(c, Comb::kFalling);
}

}  // namespace mirelune
