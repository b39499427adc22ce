// Faceted pyramids: the light on the four faces of the last pyramid (nothing draws
// over it) and the darkened sample at its apex.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "styles/styles.h"
#include "style_test_util.h"

namespace mirelune {
namespace {

using testing::Blue;
using testing::Figure;
using testing::FigureDraws;
using testing::Fixture;
using testing::Green;
using testing::Red;
using testing::ReplayLastFigure;
using testing::StateWithLastFigureInside;

constexpr FigureDraws kPyramids{30, 40, false};

// Over a black strip the components start at 0, climb 0.7 per line over the top
// and right fans and fall back over the bottom and left ones. Halfway out from the
// apex each face shows the colour of its middle line (give or take a neighbour).
TEST(FacetedPyramids, LastPyramidIsLitFromTheLowerRight) {
  Fixture f;
  State& s = *f;
  s.Picture3.SetBackColor(0);
  s.Picture1.SetBackColor(RGB(0, 0, 255));
  s.barva = 4711;
  s.rng.set_state(StateWithLastFigureInside(kPyramids, 80));
  const Figure y = ReplayLastFigure(s.rng, kPyramids);
  DrawFacetedPyramids(s);

  const double r1 = y.r1, h = r1 / 2;
  struct Face {
    const char* name;
    double dx, dy;
    double lines_before;  // lines up to the middle of the face, counting down after the peak
  } faces[] = {
      {"top", 0, -h, r1 + 1},
      {"right", h, 0, (2 * r1 + 1) + (r1 + 1)},
      {"bottom", 0, h, 2 * (2 * r1 + 1) - (r1 + 1)},
      {"left", -h, 0, (2 * r1 + 1) - (r1 + 1)},
  };
  for (const Face& face : faces) {
    const Colour c = s.Picture1.Point(y.x() + face.dx, y.y() + face.dy);
    EXPECT_NEAR(Red(c), 0.7 * face.lines_before, 2.5) << face.name;
    EXPECT_EQ(Red(c), Green(c)) << face.name;
    EXPECT_EQ(Red(c), Blue(c)) << face.name;
  }
  // Every line starts at the apex, so it shows the last line's colour: back at 0.
  EXPECT_EQ(s.Picture1.Point(y.x(), y.y()), 0);
  EXPECT_NEAR(s.re1, 0, 1e-9);
  EXPECT_EQ(s.barva, 4711);
}

// From a palette row: the components start 50 below the sample (floored) and end
// where they started, which is what the apex shows.
TEST(FacetedPyramids, ApexShowsTheDarkenedSample) {
  Fixture f;
  State& s = *f;
  testing::PaintRowStrip(s);
  s.rng.set_state(StateWithLastFigureInside(kPyramids, 80, 1));
  const Figure y = ReplayLastFigure(s.rng, kPyramids);
  DrawFacetedPyramids(s);
  const Colour base = testing::RowColour(static_cast<int>(y.p + y.r));
  const double re = std::max(0, Red(base) - 50), gr = std::max(0, Green(base) - 50),
               bl = std::max(0, Blue(base) - 50);
  EXPECT_NEAR(s.re1, re, 1e-9);
  EXPECT_NEAR(s.gr1, gr, 1e-9);
  EXPECT_NEAR(s.bl1, bl, 1e-9);
  EXPECT_EQ(s.Picture1.Point(y.x(), y.y()), RGB(re, gr, bl));
}

}  // namespace
}  // namespace mirelune
