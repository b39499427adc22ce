// Shaded pyramids: the rings of the last pyramid (nothing draws over it).
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

constexpr FigureDraws kPyramids{30, 40, true};

// Base ring r1 units out: 3 (r1 + 1) - 70 below the sample, floored at 0. A
// white strip gives a flat white top (the apex and the ring around it are capped).
TEST(ShadedPyramids, LastPyramidIsLightAtTheApexAndDarkAtTheBase) {
  const Colour samples[] = {-2 /* row strip */, 0, RGB(255, 255, 255), RGB(90, 20, 240)};
  for (Colour uniform : samples) {
    SCOPED_TRACE(uniform);
    Fixture f;
    State& s = *f;
    if (uniform == -2)
      testing::PaintRowStrip(s);
    else
      s.Picture3.SetBackColor(uniform);
    s.Picture1.SetBackColor(RGB(1, 2, 3));
    s.rng.set_state(StateWithLastFigureInside(kPyramids, 80));
    const Figure y = ReplayLastFigure(s.rng, kPyramids);
    DrawShadedPyramids(s);

    const Colour base = uniform == -2 ? testing::RowColour(static_cast<int>(y.p + y.r)) : uniform;
    const double drop = 3 * (y.r1 + 1) - 70;
    auto ring = [&](int v) { return std::max(0.0, v - drop); };
    const Colour outer = RGB(ring(Red(base)), ring(Green(base)), ring(Blue(base)));
    for (int sx : {-1, 1}) {
      for (int sy : {-1, 1}) EXPECT_EQ(s.Picture1.Point(y.x() + sx * y.r1, y.y() + sy * y.r1), outer);
    }
    EXPECT_EQ(RGB(s.re1, s.gr1, s.bl1), outer);
    if (uniform == RGB(255, 255, 255)) {
      EXPECT_EQ(s.Picture1.Point(y.x(), y.y()), uniform);
    }
  }
}

}  // namespace
}  // namespace mirelune
