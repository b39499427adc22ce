// Colour wheels: colour by angle around the disc, and rows past the strip's end.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>

#include "styles/styles.h"
#include "style_test_util.h"

namespace mirelune {
namespace {

using testing::FindState;
using testing::Fixture;
using testing::PaintRowStrip;
using testing::RowColour;
using testing::RowOf;

struct Disc {
  double r, p, i, j;
};

// Note the order: the palette row comes before the centre.
Disc NextDisc(Generator& g) {
  Disc d{};
  d.r = Int(g.Rnd() * 40 + 50);
  d.p = Int(g.Rnd() * 500 + 1);
  d.i = Int(g.Rnd() * 900 + 1);
  d.j = Int(g.Rnd() * 675 + 1);
  return d;
}

// A state whose second disc lies whole on the canvas, clear of the first, with
// its palette row in [p_lo, p_hi].
std::uint64_t SecondDiscInside(double p_lo, double p_hi) {
  return FindState([&](Generator& g) {
    const Disc a = NextDisc(g), b = NextDisc(g);
    return b.i > 100 && b.i < 800 && b.j > 100 && b.j < 575 && b.p >= p_lo && b.p <= p_hi &&
           std::hypot(a.i - b.i, a.j - b.j) > 200;
  });
}

TEST(ColourWheels, ColourFollowsTheAngleFromStraightDown) {
  const std::uint64_t st = SecondDiscInside(1, 450);
  Fixture f;
  State& s = *f;
  testing::Prepare(s, st, 0);
  Generator g = s.rng;
  NextDisc(g);
  const Disc d = NextDisc(g);
  DrawColourWheels(s);

  constexpr double pi = std::numbers::pi;
  struct Probe {
    const char* name;
    double angle, dist, row;  // row offset from P, 30 rows per radian
  };
  const Probe probes[] = {
      {"centre: the last line", 0, 0, 188.97},
      {"right", pi / 2, d.r / 2, 30 * pi / 2},
      {"up", pi, d.r / 2, 30 * pi},
      {"left", 3 * pi / 2, d.r / 2, 30 * 3 * pi / 2},
      {"down: the lines past a full turn", 0, d.r / 2, 30 * 2 * pi},
      {"near the rim", 1.0, d.r - 2, 30.0},
  };
  for (const Probe& p : probes) {
    SCOPED_TRACE(p.name);
    const Colour c = s.Picture1.Point(d.i + p.dist * Sin(p.angle), d.j + p.dist * Cos(p.angle));
    EXPECT_NEAR(RowOf(c), d.p + p.row, 1.6);
  }
  EXPECT_EQ(s.Picture1.Point(d.i, d.j), RowColour(static_cast<int>(d.p) + 189));
  // Just outside the rim the background shows.
  EXPECT_EQ(s.Picture1.Point(d.i + d.r + 3, d.j), 0);
  EXPECT_EQ(s.Picture1.Point(d.i, d.j - d.r - 3), 0);
}

TEST(ColourWheels, RowsPastTheStripEndAreDrawnAsMinusOne) {
  const std::uint64_t st = SecondDiscInside(495, 500);
  Fixture f;
  State& s = *f;
  testing::Prepare(s, st, 0);
  Generator g = s.rng;
  NextDisc(g);
  const Disc d = NextDisc(g);
  DrawColourWheels(s);

  EXPECT_EQ(s.barva, -1);
  // Angle 6 samples row P + 180 > 670: the surface draws -1 as its low 24 bits.
  EXPECT_EQ(s.Picture1.Point(d.i + d.r / 2 * Sin(6.0), d.j + d.r / 2 * Cos(6.0)), Colour{0xFFFFFF});
  // A quarter turn still lies inside the strip.
  EXPECT_NEAR(RowOf(s.Picture1.Point(d.i + d.r / 2, d.j)), d.p + 47.1, 1.6);
}

}  // namespace
}  // namespace mirelune
