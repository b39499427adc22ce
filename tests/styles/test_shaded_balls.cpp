// Shaded balls: the order of draws, what a call leaves behind, and the shading of
// the last ball (nothing draws over it).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>

#include "styles/styles.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::Fixture;

struct Ball {
  double r1 = 0, rr = 0, p = 0, i = 0, j = 0, nacin = 0, r = 0, fi = 0;
  double cx() const { return i + r * Sin(fi); }
  double cy() const { return j + r * Cos(fi); }
};

// Replays one call on a copy of the generator: per cluster r1, rr, P, i, j; per
// ball nacin, r, fi. Returns the last ball.
Ball ReplayLastBall(Generator g, double sir, double vis) {
  Ball b;
  for (int cluster = 0; cluster < 2; ++cluster) {
    b.r1 = Int(g.Rnd() * 20 + 30);
    b.rr = Int(g.Rnd() * 60 + 80);
    b.p = Int(g.Rnd() * 500 + 1);
    b.i = Int(g.Rnd() * sir + 1);
    b.j = Int(g.Rnd() * vis + 1);
    for (int k = 0; k < 10; ++k) {
      b.nacin = Int(g.Rnd() * 2 + 1);
      b.r = Int(g.Rnd() * b.rr + 1);
      b.fi = g.Rnd() * 6.28;
    }
  }
  return b;
}

// First generator state from `from` on whose last ball lies well inside the canvas.
std::uint64_t StateWithLastBallInside(std::uint64_t from) {
  for (std::uint64_t st = from; st < from + 10000; ++st) {
    Generator g;
    g.set_state(st);
    const Ball b = ReplayLastBall(g, 900, 675);
    if (b.cx() > 60 && b.cx() < 840 && b.cy() > 60 && b.cy() < 615) return st;
  }
  ADD_FAILURE() << "no state found";
  return from;
}

int Red(Colour c) { return c & 0xFF; }
int Green(Colour c) { return (c >> 8) & 0xFF; }
int Blue(Colour c) { return (c >> 16) & 0xFF; }

TEST(ShadedBalls, DrawsSeventyPerCallInTheStatedOrder) {
  Fixture f;
  State& s = *f;
  testing::PaintRowStrip(s);
  for (std::uint64_t st : {1ULL, 4242ULL, 0xC0FFEEULL}) {
    s.rng.set_state(st);
    const Ball want = ReplayLastBall(s.rng, s.sir, s.vis);
    const std::uint64_t before = s.rng.draws();
    DrawShadedBalls(s);
    EXPECT_EQ(s.rng.draws() - before, 2u * (5 + 10 * 3)) << st;
    EXPECT_EQ(s.nn, 3);
    EXPECT_EQ(s.kk, -1);
    EXPECT_EQ(s.r1, want.r1);
    EXPECT_EQ(s.rr, want.rr);
    EXPECT_EQ(s.i, want.i);
    EXPECT_EQ(s.j, want.j);
    EXPECT_EQ(s.nacin, want.nacin);
    EXPECT_EQ(s.r, want.r);
    EXPECT_EQ(s.fi, want.fi);
    // The last sample came from row P + r; SplitColour leaves it without its red.
    const int row = static_cast<int>(want.p + want.r);
    const Colour sampled = testing::RowColour(row);
    EXPECT_EQ(s.barvap, sampled - Red(sampled));
  }
}

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
// 4 (r1 + 1) above the floored start, capped by RGB. The style leaves the fill
// solid, in the centre's colour, and does not touch barva.
TEST(ShadedBalls, LastBallIsDarkAtTheRimAndLitInTheMiddle) {
  for (const StripCase& strip : kStrips) {
    SCOPED_TRACE(strip.name);
    Fixture f;
    State& s = *f;
    strip.paint(s);
    s.Picture1.SetBackColor(RGB(1, 2, 3));
    s.Picture1.FillStyle = 1;
    s.barva = 4711;
    s.rng.set_state(StateWithLastBallInside(1));
    const Ball b = ReplayLastBall(s.rng, s.sir, s.vis);
    DrawShadedBalls(s);

    const Colour base = strip.colour(static_cast<int>(b.p + b.r));
    auto shade = [&](int v, double lift) { return std::max(0, v - 50) + lift; };
    const double top = 4 * (b.r1 + 1);
    const Colour centre = RGB(shade(Red(base), top), shade(Green(base), top), shade(Blue(base), top));
    const Colour rim = RGB(shade(Red(base), 4), shade(Green(base), 4), shade(Blue(base), 4));
    EXPECT_EQ(s.Picture1.Point(b.cx(), b.cy()), centre);
    // The outermost disc's outline, r1 pixels right of the centre pixel.
    const long px = s.Picture1.PixelX(b.cx()) + static_cast<long>(b.r1), py = s.Picture1.PixelY(b.cy());
    EXPECT_EQ(static_cast<Colour>(s.Picture1.image().at(static_cast<int>(px), static_cast<int>(py))), rim);
    EXPECT_EQ(s.Picture1.FillStyle, 0);
    EXPECT_EQ(s.Picture1.FillColor, centre);
    EXPECT_EQ(s.barva, 4711);
  }
}

// Clusters far past any edge, or pinned to the corner, are clipped without harm;
// sir and vis are read, so they move the clusters.
TEST(ShadedBalls, FiguresOffTheCanvasAreClipped) {
  Fixture f;
  State& s = *f;
  testing::PaintRowStrip(s);
  const double sizes[][2] = {{0, 0}, {1800, 1350}, {-3000, -3000}, {1e9, -1e9}};
  for (const auto& size : sizes) {
    s.sir = size[0];
    s.vis = size[1];
    s.Picture1.SetBackColor(0);
    const std::uint64_t before = s.rng.draws();
    DrawShadedBalls(s);
    EXPECT_EQ(s.rng.draws() - before, 70u);
  }
  // At sir = vis = 0 every cluster sits at (1, 1): part of it must show.
  s.sir = 0;
  s.vis = 0;
  s.Picture1.SetBackColor(0);
  DrawShadedBalls(s);
  EXPECT_LT(testing::CountColour(s.Picture1.image(), 0), kCanvasPixelsW * kCanvasPixelsH);
}

}  // namespace
}  // namespace mirelune
