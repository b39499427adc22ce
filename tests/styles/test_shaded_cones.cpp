// Shaded cones: the length of both half-sweeps, and the light and shadow sides of
// the last cone.
#include <gtest/gtest.h>

#include <cstdint>

#include "styles/styles.h"
#include "style_test_util.h"

namespace mirelune {
namespace {

using testing::Figure;
using testing::FigureDraws;
using testing::Fixture;
using testing::Red;
using testing::ReplayLastFigure;
using testing::StateWithLastFigureInside;

constexpr FigureDraws kCones{30, 40, false};

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
    s.barva = 4711;
    s.rng.set_state(StateWithLastFigureInside(kCones, 80));
    const Figure cone = ReplayLastFigure(s.rng, kCones);
    DrawShadedCones(s);
    EXPECT_NEAR(s.re1, c.end, 1e-6);
    EXPECT_NEAR(s.gr1, c.end, 1e-6);
    EXPECT_NEAR(s.bl1, c.end, 1e-6);
    EXPECT_EQ(s.Picture1.Point(cone.x(), cone.y()), RGB(s.re1, s.gr1, s.bl1));
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
  s.rng.set_state(StateWithLastFigureInside(kCones, 80));
  const Figure c = ReplayLastFigure(s.rng, kCones);
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

}  // namespace
}  // namespace mirelune
