// bar_combs.cpp — style 7: four combs of 32 bars each (upright, lying, rising and
// falling at 45 degrees), every bar four units thick and of random length.
#include "styles/common.h"
#include "styles/styles.h"

namespace mirelune {

namespace {

enum class Comb { kUpright, kLying, kRising, kFalling };

void DrawComb(State& s, Comb comb) {
  PlaceFigure(s);
  double p = Int(s.rng.Rnd() * 500 + 1);
  const double start = comb == Comb::kLying ? s.j : s.i;
  const double end = start + 250;
  for (double k = start; k <= end; k += 8) {
    // Lengths first, then the colour: the order of draws depends on it.
    if (comb == Comb::kUpright || comb == Comb::kLying) {
      s.r1 = Int(s.rng.Rnd() * 40 + 50);
      s.r2 = Int(s.rng.Rnd() * 40 + 50);
    } else {
      s.r = Int(s.rng.Rnd() * 40 + 50);
    }
    p += 2;
    if (p > 670) p = 670;
    s.left.colour = s.strip.ColourAt(10, p);
    const Colour c = static_cast<Colour>(s.left.colour);
    for (int d = 0; d <= 3; ++d) {  // four adjacent one-unit lines make one bar
      switch (comb) {
        case Comb::kUpright: s.canvas.Line(k + d, s.j - s.r1, k + d, s.j + s.r2, c); break;
        case Comb::kLying: s.canvas.Line(s.i - s.r1, k + d, s.i + s.r2, k + d, c); break;
        case Comb::kRising: s.canvas.Line(k + d, s.j, k + s.r + d, s.j - s.r, c); break;
        case Comb::kFalling: s.canvas.Line(k + d, s.j, k + s.r + d, s.j + s.r, c); break;
      }
    }
  }
}

}  // namespace

void DrawBarCombs(State& s) {
  DrawComb(s, Comb::kUpright);
  DrawComb(s, Comb::kLying);
  DrawComb(s, Comb::kRising);
  DrawComb(s, Comb::kFalling);
}

}  // namespace mirelune
