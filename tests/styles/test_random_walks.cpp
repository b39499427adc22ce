// Random walks: the walker ends where the sum of its steps puts it, its last dot in
// the row of its thread.
#include <gtest/gtest.h>

#include <cstdint>

#include "styles/styles.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::Fixture;
using testing::PaintRowStrip;
using testing::RowColour;

constexpr std::uint64_t kBundleDraws = 4 + 30 * 1000 * 2;

// The second bundle's anchor and row, and where its last thread ends, computed
// from a copy of the generator: a then b per step, the step before the dot.
struct LastThread {
  double nacin, i0, j0, p, end_i, end_j;
};

LastThread Replay(std::uint64_t state) {
  Generator g;
  g.set_state(state);
  for (std::uint64_t k = 0; k < kBundleDraws; ++k) g.Rnd();
  LastThread t{};
  t.nacin = Int(g.Rnd() * 2 + 1);
  t.i0 = Int(g.Rnd() * 900 + 1);
  t.j0 = Int(g.Rnd() * 675 + 1);
  t.p = Int(g.Rnd() * 500 + 1);
  for (int k = 0; k < 29 * 1000 * 2; ++k) g.Rnd();
  t.end_i = t.nacin == 1 ? t.i0 + 150 : t.i0;
  t.end_j = t.nacin == 1 ? t.j0 : t.j0 + 150;
  for (int m = 0; m < 1000; ++m) {
    t.end_i += Int(g.Rnd() * 3 - 1);
    t.end_j += Int(g.Rnd() * 3 - 1);
  }
  return t;
}

// Both row directions: the state left, and the last dot at the walker's end
// in the colour of row P + 30.
TEST(RandomWalks, StateAndLastDotForBothDirections) {
  Fixture f;
  PaintRowStrip(*f);
  for (double dir : {1.0, 2.0}) {
    f->Picture1.SetBackColor(0);
    std::uint64_t st = 1;
    LastThread t = Replay(st);
    // The first state whose second bundle runs this way and ends on the canvas.
    while (t.nacin != dir || t.end_i < 3 || t.end_j < 3 || t.end_i > 896 || t.end_j > 671) t = Replay(++st);
    f->rng.set_state(st);
    DrawRandomWalks(*f);
    EXPECT_EQ(f->i, t.end_i);
    EXPECT_EQ(f->j, t.end_j);
    const Colour c = RowColour(static_cast<int>(t.p + 30));
    EXPECT_EQ(f->barva, c);
    // A filled dot of radius 2 around the end point.
    for (double d : {-1.0, 0.0, 1.0}) {
      EXPECT_EQ(f->Picture1.Point(t.end_i + d, t.end_j), c);
      EXPECT_EQ(f->Picture1.Point(t.end_i, t.end_j + d), c);
    }
  }
}

}  // namespace
}  // namespace mirelune
