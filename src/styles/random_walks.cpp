// random_walks.cpp — style 16: two bundles of 30 random-walk threads, each thread a
// chain of small filled dots in its own palette row.
#include "styles/common.h"

namespace mirelune {

void DrawRandomWalks(StyleContext& c) {
  c.canvas.fill_solid = true;
  for (int bundle = 1; bundle <= 2; ++bundle) {
    const bool along_row = Floor(c.rng.Uniform() * 2 + 1) == 1;  // threads start along a row, else a column
    const double start_x = Floor(c.rng.Uniform() * c.width + 1);
    const double start_y = Floor(c.rng.Uniform() * c.height + 1);
    double row = Floor(c.rng.Uniform() * 500 + 1);
    for (double thread = 1; thread <= 30; thread += 1) {
      double x = along_row ? start_x + 5 * thread : start_x;
      double y = along_row ? start_y : start_y + 5 * thread;
      row = row + 1;  // consecutive threads take consecutive rows: the bundle shades across
      const Colour colour = c.strip.ColourAt(10, row);
      for (int m = 1; m <= 1000; ++m) {
        // Floor(Uniform() * 3 - 1), in integers: -1, 0 or 1.
        const double a = static_cast<double>(static_cast<int>((3 * c.rng.Next24()) >> 24) - 1);
        const double b = static_cast<double>(static_cast<int>((3 * c.rng.Next24()) >> 24) - 1);
        // Step first, then dot: the start point itself stays bare.
        x = x + a;
        y = y + b;
        c.canvas.fill_colour = colour;
        c.canvas.Circle(x, y, 2, colour);
      }
    }
  }
}

}  // namespace mirelune
