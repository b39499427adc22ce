// Faceted pyramids: the order of draws, what a call leaves behind, and the light
// on the four faces of the last pyramid (nothing draws over it).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "styles/styles.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::Fixture;

struct Pyramid {
  double r1 = 0, rr = 0, p = 0, i = 0, j = 0, r = 0, fi = 0;
  double x() const { return i + r * Sin(fi); }
  double y() const { return j + r * Cos(fi); }
};

// Replays one call on a copy of the generator: per cluster r1, rr, P, i, j; per
// pyramid r, fi. Returns the last pyramid.
Pyramid ReplayLastPyramid(Generator g, double sir, double vis) {
  Pyramid y;
  for (int cluster = 0; cluster < 2; ++cluster) {
    y.r1 = Int(g.Rnd() * 30 + 40);
    y.rr = Int(g.Rnd() * 60 + 80);
    y.p = Int(g.Rnd() * 500 + 1);
    y.i = Int(g.Rnd() * sir + 1);
    y.j = Int(g.Rnd() * vis + 1);
    for (int k = 0; k < 10; ++k) {
      y.r = Int(g.Rnd() * y.rr + 1);
      y.fi = g.Rnd() * 6.28;
    }
  }
  return y;
}

std::uint64_t StateWithLastPyramidInside(std::uint64_t from) {
  for (std::uint64_t st = from; st < from + 10000; ++st) {
    Generator g;
    g.set_state(st);
    const Pyramid y = ReplayLastPyramid(g, 900, 675);
    if (y.x() > 80 && y.x() < 820 && y.y() > 80 && y.y() < 595) return st;
  }
  ADD_FAILURE() << "no state found";
  return from;
}

int Red(Colour c) { return c & 0xFF; }
int Green(Colour c) { return (c >> 8) & 0xFF; }
int Blue(Colour c) { return (c >> 16) & 0xFF; }

TEST(FacetedPyramids, DrawsFiftyPerCallInTheStatedOrder) {
  Fixture f;
  State& s = *f;
  testing::PaintRowStrip(s);
  for (std::uint64_t st : {5ULL, 31337ULL, 0xFACE7EDULL}) {
    s.rng.set_state(st);
    const Pyramid want = ReplayLastPyramid(s.rng, s.sir, s.vis);
    const std::uint64_t before = s.rng.draws();
    DrawFacetedPyramids(s);
    EXPECT_EQ(s.rng.draws() - before, 2u * (5 + 10 * 2)) << st;
    EXPECT_EQ(s.nn, 3);
    EXPECT_EQ(s.r1, want.r1);
    EXPECT_EQ(s.rr, want.rr);
    EXPECT_EQ(s.i, want.i);
    EXPECT_EQ(s.j, want.j);
    EXPECT_EQ(s.r, want.r);
    EXPECT_EQ(s.fi, want.fi);
    EXPECT_EQ(s.x, want.x());
    EXPECT_EQ(s.y, want.y());
    // The left fan counted down from y + r1 over 2 r1 + 1 lines.
    EXPECT_NEAR(s.kk, want.y() - want.r1 - 1, 1e-9);
    const Colour sampled = testing::RowColour(static_cast<int>(want.p + want.r));
    EXPECT_EQ(s.barvap, sampled - Red(sampled));
  }
}

// Over a black strip the components start at 0, climb 0.7 per line over the top
// and right fans and fall back over the bottom and left ones. Halfway out from the
// apex each face shows the colour of its middle line (give or take a neighbour).
TEST(FacetedPyramids, LastPyramidIsLitFromTheLowerRight) {
  Fixture f;
  State& s = *f;
  s.Picture3.SetBackColor(0);
  s.Picture1.SetBackColor(RGB(0, 0, 255));
  s.Picture1.FillStyle = 0;  // not the style's business: must stay as found
  s.Picture1.FillColor = RGB(9, 9, 9);
  s.barva = 4711;
  s.rng.set_state(StateWithLastPyramidInside(1));
  const Pyramid y = ReplayLastPyramid(s.rng, s.sir, s.vis);
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
  EXPECT_EQ(s.Picture1.FillStyle, 0);
  EXPECT_EQ(s.Picture1.FillColor, RGB(9, 9, 9));
  EXPECT_EQ(s.barva, 4711);
}

// From a palette row: the components start 50 below the sample (floored) and end
// where they started, which is what the apex shows.
TEST(FacetedPyramids, ApexShowsTheDarkenedSample) {
  Fixture f;
  State& s = *f;
  testing::PaintRowStrip(s);
  s.rng.set_state(StateWithLastPyramidInside(500));
  const Pyramid y = ReplayLastPyramid(s.rng, s.sir, s.vis);
  DrawFacetedPyramids(s);
  const Colour base = testing::RowColour(static_cast<int>(y.p + y.r));
  const double re = std::max(0, Red(base) - 50), gr = std::max(0, Green(base) - 50),
               bl = std::max(0, Blue(base) - 50);
  EXPECT_NEAR(s.re1, re, 1e-9);
  EXPECT_NEAR(s.gr1, gr, 1e-9);
  EXPECT_NEAR(s.bl1, bl, 1e-9);
  EXPECT_EQ(s.Picture1.Point(y.x(), y.y()), RGB(re, gr, bl));
}

TEST(FacetedPyramids, FiguresOffTheCanvasAreClipped) {
  Fixture f;
  State& s = *f;
  testing::PaintRowStrip(s);
  const double sizes[][2] = {{0, 0}, {1800, 1350}, {-3000, -3000}, {1e9, -1e9}};
  for (const auto& size : sizes) {
    s.sir = size[0];
    s.vis = size[1];
    const std::uint64_t before = s.rng.draws();
    DrawFacetedPyramids(s);
    EXPECT_EQ(s.rng.draws() - before, 50u);
  }
}

}  // namespace
}  // namespace mirelune
