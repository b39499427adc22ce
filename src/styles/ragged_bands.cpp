// ragged_bands.cpp — style 17: two bands of 200 one-unit strokes, each stroke reaching
// a random distance to either side, so both edges of a band are ragged.
#include "styles/common.h"

namespace mirelune {

void DrawRaggedBands(StyleContext& c) {
  for (int band = 1; band <= 2; ++band) {
    const bool across = Floor(c.rng.Uniform() * 2 + 1) == 1;  // runs left to right, else top to bottom
    const double start_x = Floor(c.rng.Uniform() * c.width + 1);
    const double start_y = Floor(c.rng.Uniform() * c.height + 1);
    double row = Floor(c.rng.Uniform() * 500 + 1);
    for (int k = 1; k <= 200; ++k) {
      // A fractional row goes to the strip as it is; the strip rounds it.
      row = row + 0.7;
      const Colour colour = c.strip.ColourAt(10, row);
      // All four reaches are drawn whichever way the band runs; two of them are used.
      const double left = Floor(c.rng.Uniform() * 30 + 30);
      const double right = Floor(c.rng.Uniform() * 30 + 30);
      const double up = Floor(c.rng.Uniform() * 30 + 30);
      const double down = Floor(c.rng.Uniform() * 30 + 30);
      if (across) {
        const double x = start_x + k;
        c.canvas.Line(x, start_y - up, x, start_y + down, colour);
      } else {
        const double y = start_y + k;
        c.canvas.Line(start_x - left, y, start_x + right, y, colour);
      }
    }
  }
}

}  // namespace mirelune
