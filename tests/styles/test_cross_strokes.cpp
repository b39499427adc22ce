// Cross strokes: the last stroke is drawn in the row P + r at its own place.
#include <gtest/gtest.h>

#include <cstdint>

#include "styles/styles.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::Fixture;
using testing::PaintRowStrip;
using testing::RowColour;

// The second cluster, read from a copy of the generator: per cluster rr, i, j, P,
// nacin and two draws for each of rr * 10 strokes.
struct Expected {
  double rr2 = 0, i2 = 0, j2 = 0, p2 = 0, nacin2 = 0;
};

Expected Replay(std::uint64_t state) {
  Generator g;
  g.set_state(state);
  Expected e;
  for (int cluster = 0; cluster < 2; ++cluster) {
    e.rr2 = Int(g.Rnd() * 40 + 50);
    e.i2 = Int(g.Rnd() * 900 + 1);
    e.j2 = Int(g.Rnd() * 675 + 1);
    e.p2 = Int(g.Rnd() * 500 + 1);
    e.nacin2 = Int(g.Rnd() * 3 + 1);
    for (int k = 0; k < e.rr2 * 10 * 2; ++k) g.Rnd();
  }
  return e;
}

bool OnCanvas(double x, double y) { return x >= 0 && y >= 0 && x < 899 && y < 674; }

// For each stroke kind, the last stroke of a call shows at its ends (vertical
// ends, horizontal ends, or all four) in the colour of row P + r.
TEST(CrossStrokes, LastStrokeEndsCarryTheRowOfItsDistance) {
  Fixture f;
  PaintRowStrip(*f);
  for (double kind : {1.0, 2.0, 3.0}) {
    bool found = false;
    for (std::uint64_t st = 1; st < 400 && !found; ++st) {
      const Expected e = Replay(st);
      if (e.nacin2 != kind) continue;
      f->Picture1.SetBackColor(0);
      f->rng.set_state(st);
      DrawCrossStrokes(*f);
      double sn, cs;
      SinCos(f->fi, &sn, &cs);
      const double x = f->i + f->r * sn, y = f->j + f->r * cs;
      if (!OnCanvas(x - f->r, y - f->r) || !OnCanvas(x + f->r, y + f->r)) continue;
      found = true;
      const Colour c = RowColour(static_cast<int>(e.p2 + f->r));
      EXPECT_EQ(f->barva, c) << st;
      auto& canvas = f->Picture1;
      if (kind != 2) {
        EXPECT_EQ(canvas.Point(x, y - f->r), c) << st;
        EXPECT_EQ(canvas.Point(x, y + f->r), c) << st;
      }
      if (kind != 1) {
        EXPECT_EQ(canvas.Point(x - f->r, y), c) << st;
        EXPECT_EQ(canvas.Point(x + f->r, y), c) << st;
      }
    }
    EXPECT_TRUE(found) << kind;
  }
}

}  // namespace
}  // namespace mirelune
