// Shaded cones: the order of draws, the length of both half-sweeps, what a call
// leaves behind, and the light and shadow sides of the last cone.
#include <gtest/gtest.h>

#include <cstdint>

#include "styles/styles.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::Fixture;

struct Cone {
  double r1 = 0, rr = 0, p = 0, i = 0, j = 0, r = 0, fi = 0;
  double x() const { return i + r * Sin(fi); }
  double y() const { return j + r * Cos(fi); }
};

// Replays one call on a copy of the generator: per cluster r1, rr, P, i, j; per
// cone r, fi. Returns the last cone.
Cone ReplayLastCone(Generator g, double sir, double vis) {
  Cone c;
  for (int cluster = 0; cluster < 2; ++cluster) {
    c.r1 = Int(g.Rnd() * 30 + 40);
    c.rr = Int(g.Rnd() * 60 + 80);
    c.p = Int(g.Rnd() * 500 + 1);
    c.i = Int(g.Rnd() * sir + 1);
    c.j = Int(g.Rnd() * vis + 1);
    for (int k = 0; k < 10; ++k) {
      c.r = Int(g.Rnd() * c.rr + 1);
      c.fi = g.Rnd() * 6.28;
    }
  }
  return c;
}

std::uint64_t StateWithLastConeInside(std::uint64_t from) {
  for (std::uint64_t st = from; st < from + 10000; ++st) {
    Generator g;
    g.set_state(st);
    const Cone c = ReplayLastCone(g, 900, 675);
    if (c.x() > 80 && c.x() < 820 && c.y() > 80 && c.y() < 595) return st;
  }
  ADD_FAILURE() << "no state found";
  return from;
}

int Red(Colour c) { return c & 0xFF; }

TEST(ShadedCones, DrawsFiftyPerCallInTheStatedOrder) {
  Fixture f;
  State& s = *f;
  testing::PaintRowStrip(s);
  for (std::uint64_t st : {8ULL, 2024ULL, 0xC0DEULL}) {
    s.rng.set_state(st);
    const Cone want = ReplayLastCone(s.rng, s.sir, s.vis);
    const std::uint64_t before = s.rng.draws();
    DrawShadedCones(s);
    EXPECT_EQ(s.rng.draws() - before, 2u * (5 + 10 * 2)) << st;
    EXPECT_EQ(s.nn, 3);
    EXPECT_EQ(s.r1, want.r1);
    EXPECT_EQ(s.rr, want.rr);
    EXPECT_EQ(s.i, want.i);
    EXPECT_EQ(s.j, want.j);
    EXPECT_EQ(s.r, want.r);
    EXPECT_EQ(s.fi, want.fi);
    // The sweep ran past 6.3 by less than one step; the last radius is the one at fi1 - step.
    EXPECT_GT(s.fi1, 6.3);
    EXPECT_LE(s.fi1 - 0.008, 6.3);
    EXPECT_NEAR(s.fi1, 3.14 + 395 * 0.008, 1e-12);
    EXPECT_NEAR(s.di1, want.r1 * Sin(s.fi1 - 0.008), 1e-9);
    EXPECT_NEAR(s.dj1, want.r1 * Cos(s.fi1 - 0.008), 1e-9);
    const Colour sampled = testing::RowColour(static_cast<int>(want.p + want.r));
    EXPECT_EQ(s.barvap, sampled - Red(sampled));
  }
}

// The colour after a cone tells the number of radii: 70 up, 0.3 down for each of
// the 393 shadow radii (floored at 0), 0.3 up for each light one. The light half
// ends at 395 radii, not 396: the counter, summed from 3.14 in steps of 0.008,
// comes to 6.3000000000000025 after 395 steps and so stops short of a 396th.
// Every radius starts at the tip, so the tip shows the last colour.
TEST(ShadedCones, HalfSweepsHave393And395Radii) {
  struct Case {
    Colour grey;
    double end;
  } cases[] = {
      {RGB(200, 200, 200), 270 - 0.3 * 393 + 0.3 * 395},  // never floored
      {0, 0.3 * 395},                                        // black from the 234th shadow radius
      {RGB(40, 40, 40), 0.3 * 395},                          // floored too: 110 < 117.9
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.grey);
    Fixture f;
    State& s = *f;
    s.Picture3.SetBackColor(c.grey);
    s.Picture1.FillStyle = 0;  // not the style's business: must stay as found
    s.Picture1.FillColor = RGB(9, 9, 9);
    s.barva = 4711;
    s.rng.set_state(StateWithLastConeInside(1));
    const Cone cone = ReplayLastCone(s.rng, s.sir, s.vis);
    DrawShadedCones(s);
    EXPECT_NEAR(s.re1, c.end, 1e-6);
    EXPECT_NEAR(s.gr1, c.end, 1e-6);
    EXPECT_NEAR(s.bl1, c.end, 1e-6);
    EXPECT_EQ(s.Picture1.Point(cone.x(), cone.y()), RGB(s.re1, s.gr1, s.bl1));
    EXPECT_EQ(s.Picture1.FillStyle, 0);
    EXPECT_EQ(s.Picture1.FillColor, RGB(9, 9, 9));
    EXPECT_EQ(s.barva, 4711);
  }
}

// Over a mid grey the radius pointing down (start of the shadow half, and end of
// the light half) is lightest and the one pointing up (the turn) darkest; the sides
// lie in between, equally light.
TEST(ShadedCones, LastConeIsLightBelowAndDarkAbove) {
  Fixture f;
  State& s = *f;
  const double g = 128;
  s.Picture3.SetBackColor(RGB(g, g, g));
  s.Picture1.SetBackColor(RGB(0, 0, 255));
  s.rng.set_state(StateWithLastConeInside(1));
  const Cone c = ReplayLastCone(s.rng, s.sir, s.vis);
  DrawShadedCones(s);
  const double h = c.r1 / 2;
  const int below = Red(s.Picture1.Point(c.x(), c.y() + h));
  const int above = Red(s.Picture1.Point(c.x(), c.y() - h));
  const int right = Red(s.Picture1.Point(c.x() + h, c.y()));
  const int left = Red(s.Picture1.Point(c.x() - h, c.y()));
  EXPECT_NEAR(below, g + 70, 2);
  EXPECT_NEAR(above, g + 70 - 0.3 * 393, 3);
  EXPECT_NEAR(right, g + 70 - 0.3 * 196, 3);
  EXPECT_NEAR(left, g + 70 - 0.3 * 196, 3);
}

TEST(ShadedCones, FiguresOffTheCanvasAreClipped) {
  Fixture f;
  State& s = *f;
  testing::PaintRowStrip(s);
  const double sizes[][2] = {{0, 0}, {1800, 1350}, {-3000, -3000}, {1e9, -1e9}};
  for (const auto& size : sizes) {
    s.sir = size[0];
    s.vis = size[1];
    const std::uint64_t before = s.rng.draws();
    DrawShadedCones(s);
    EXPECT_EQ(s.rng.draws() - before, 50u);
  }
}

}  // namespace
}  // namespace mirelune
