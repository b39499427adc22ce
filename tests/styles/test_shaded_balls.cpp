// Shaded balls: the shading of the last ball (nothing draws over it).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>

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

constexpr FigureDraws kBalls{20, 30, true};

struct StripCase {
  const char* name;
  std::function<void(State&)> paint;
  std::function<Colour(int row)> colour;
};

const StripCase kStrips[] = {
    {"rows", [](State& s) { testing::PaintRowStrip(s); }, testing::RowColour},
    {"black", [](State& s) { s.Picture3.SetBackColor(0); }, [](int) { return Colour{0}; }},
    {"white", [](State& s) { s.Picture3.SetBackColor(RGB(255, 255, 255)); },
     [](int) { return RGB(255, 255, 255); }},
};

// The last ball: rim 46 below the sample (after the floor at 50 below), centre
// 4 (r1 + 1) above the floored start, capped by RGB. The fill is left in the
// centre's colour; barva is not touched.
TEST(ShadedBalls, LastBallIsDarkAtTheRimAndLitInTheMiddle) {
  for (const StripCase& strip : kStrips) {
    SCOPED_TRACE(strip.name);
    Fixture f;
    State& s = *f;
    strip.paint(s);
    s.Picture1.SetBackColor(RGB(1, 2, 3));
    s.barva = 4711;
    s.rng.set_state(StateWithLastFigureInside(kBalls, 60));
    const Figure b = ReplayLastFigure(s.rng, kBalls);
    DrawShadedBalls(s);

    const Colour base = strip.colour(static_cast<int>(b.p + b.r));
    auto shade = [&](int v, double lift) { return std::max(0, v - 50) + lift; };
    const double top = 4 * (b.r1 + 1);
    const Colour centre = RGB(shade(Red(base), top), shade(Green(base), top), shade(Blue(base), top));
    const Colour rim = RGB(shade(Red(base), 4), shade(Green(base), 4), shade(Blue(base), 4));
    EXPECT_EQ(s.Picture1.Point(b.x(), b.y()), centre);
    // The outermost disc's outline, r1 pixels right of the centre pixel.
    const long px = s.Picture1.PixelX(b.x()) + static_cast<long>(b.r1), py = s.Picture1.PixelY(b.y());
    EXPECT_EQ(static_cast<Colour>(s.Picture1.image().at(static_cast<int>(px), static_cast<int>(py))), rim);
    EXPECT_EQ(s.Picture1.FillColor, centre);
    EXPECT_EQ(s.barva, 4711);
  }
}

}  // namespace
}  // namespace mirelune
