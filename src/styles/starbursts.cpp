// starbursts.cpp — style 12: two hedgehog bursts of 210 thick rays of random length.
#include "styles/common.h"

namespace mirelune {

void DrawStarbursts(StyleContext& c) {
  Spokes spokes(c.canvas);
  for (int burst = 1; burst <= 2; ++burst) {
    const double row = Floor(c.rng.Uniform() * 500 + 1);
    const Point centre = PlaceFigure(c);
    // The accumulated angle passes 6.3 after exactly 210 rays; each ray draws once,
    // so the count shapes the rest of the sequence.
    for (double angle = 0; angle <= 6.3; angle += 0.03) {
      const double length = Floor(c.rng.Uniform() * 50 + 100);
      const Colour colour = c.strip.ColourAt(10, row + 10 * angle);
      AddSpoke(spokes, centre, length * Sin(angle), length * Cos(angle), colour);
    }
  }
  spokes.Finish();
}

}  // namespace mirelune
