// starbursts.cpp — style 12: two hedgehog bursts of 210 thick rays of random length.
#include "styles/common.h"
#include "styles/styles.h"

namespace mirelune {

void DrawStarbursts(State& s) {
  const Surface& strip = s.strip;

  for (s.nn = 1; s.nn <= 2; s.nn += 1) {
    const double p = Int(s.rng.Rnd() * 500 + 1);
    PlaceFigure(s);
    // The accumulated angle passes 6.3 after exactly 210 rays; each ray draws once,
    // so the count shapes the rest of the sequence.
    for (s.fi = 0; s.fi <= 6.3; s.fi += 0.03) {
      s.r = Int(s.rng.Rnd() * 50 + 100);
      s.left.colour = strip.ColourAt(10, p + 10 * s.fi);
      const double a = s.r * Sin(s.fi);
      const double b = s.r * Cos(s.fi);
      const Colour c = static_cast<Colour>(s.left.colour);
      DrawSpoke(s, a, b, c);
    }
  }
}

}  // namespace mirelune
