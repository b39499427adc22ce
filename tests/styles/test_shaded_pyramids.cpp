// Shaded pyramids: the order of draws, what a call leaves behind, and the rings of
// the last pyramid (nothing draws over it).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "styles/styles.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::Fixture;

struct Pyramid {
  double r1 = 0, rr = 0, p = 0, i = 0, j = 0, nacin = 0, r = 0, fi = 0;
  double cx() const { return i + r * Sin(fi); }
  double cy() const { return j + r * Cos(fi); }
};

// Replays one call on a copy of the generator: per cluster r1, rr, P, i, j; per
// pyramid nacin, r, fi. Returns the last pyramid.
Pyramid ReplayLastPyramid(Generator g, double sir, double vis) {
  Pyramid y;
  for (int cluster = 0; cluster < 2; ++cluster) {
    y.r1 = Int(g.Rnd() * 30 + 40);
    y.rr = Int(g.Rnd() * 60 + 80);
    y.p = Int(g.Rnd() * 500 + 1);
    y.i = Int(g.Rnd() * sir + 1);
    y.j = Int(g.Rnd() * vis + 1);
    for (int k = 0; k < 10; ++k) {
      y.nacin = Int(g.Rnd() * 2 + 1);
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
    if (y.cx() > 80 && y.cx() < 820 && y.cy() > 80 && y.cy() < 595) return st;
  }
  ADD_FAILURE() << "no state found";
  return from;
}

int Red(Colour c) { return c & 0xFF; }
int Green(Colour c) { return (c >> 8) & 0xFF; }
int Blue(Colour c) { return (c >> 16) & 0xFF; }

TEST(ShadedPyramids, DrawsSeventyPerCallInTheStatedOrder) {
  Fixture f;
  State& s = *f;
  testing::PaintRowStrip(s);
  for (std::uint64_t st : {3ULL, 999ULL, 0xBADC0DEULL}) {
    s.rng.set_state(st);
    const Pyramid want = ReplayLastPyramid(s.rng, s.sir, s.vis);
    const std::uint64_t before = s.rng.draws();
    DrawShadedPyramids(s);
    EXPECT_EQ(s.rng.draws() - before, 2u * (5 + 10 * 3)) << st;
    EXPECT_EQ(s.nn, 3);
    EXPECT_EQ(s.kk, -1);
    EXPECT_EQ(s.r1, want.r1);
    EXPECT_EQ(s.r2, want.r1);
    EXPECT_EQ(s.r3, want.r1);  // the base ring was the last
    EXPECT_EQ(s.rr, want.rr);
    EXPECT_EQ(s.i, want.i);
    EXPECT_EQ(s.j, want.j);
    EXPECT_EQ(s.nacin, want.nacin);
    EXPECT_EQ(s.r, want.r);
    EXPECT_EQ(s.fi, want.fi);
    const Colour sampled = testing::RowColour(static_cast<int>(want.p + want.r));
    EXPECT_EQ(s.barvap, sampled - Red(sampled));
  }
}

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
    s.rng.set_state(StateWithLastPyramidInside(1));
    const Pyramid y = ReplayLastPyramid(s.rng, s.sir, s.vis);
    DrawShadedPyramids(s);

    const Colour base = uniform == -2 ? testing::RowColour(static_cast<int>(y.p + y.r)) : uniform;
    const double drop = 3 * (y.r1 + 1) - 70;
    auto ring = [&](int v) { return std::max(0.0, v - drop); };
    const Colour outer = RGB(ring(Red(base)), ring(Green(base)), ring(Blue(base)));
    for (int sx : {-1, 1}) {
      for (int sy : {-1, 1}) EXPECT_EQ(s.Picture1.Point(y.cx() + sx * y.r1, y.cy() + sy * y.r1), outer);
    }
    EXPECT_EQ(RGB(s.re1, s.gr1, s.bl1), outer);
    if (uniform == RGB(255, 255, 255)) {
      EXPECT_EQ(s.Picture1.Point(y.cx(), y.cy()), uniform);
    }
  }
}

// The boxes are outlines: a solid fill left by an earlier style is switched off
// for good, and its colour never shows.
TEST(ShadedPyramids, BoxesAreOutlinesAndTheFillStaysOff) {
  Fixture f;
  State& s = *f;
  testing::PaintRowStrip(s);  // blue 200 in every row: never pure red
  s.Picture1.SetBackColor(0);
  s.Picture1.FillStyle = 0;
  s.Picture1.FillColor = RGB(255, 0, 0);
  s.barva = 4711;
  s.rng.set_state(17);
  DrawShadedPyramids(s);
  EXPECT_EQ(s.Picture1.FillStyle, 1);
  EXPECT_EQ(s.Picture1.FillColor, RGB(255, 0, 0));
  EXPECT_EQ(testing::CountColour(s.Picture1.image(), RGB(255, 0, 0)), 0);
  EXPECT_LT(testing::CountColour(s.Picture1.image(), 0), kCanvasPixelsW * kCanvasPixelsH);
  EXPECT_EQ(s.barva, 4711);
}

TEST(ShadedPyramids, FiguresOffTheCanvasAreClipped) {
  Fixture f;
  State& s = *f;
  testing::PaintRowStrip(s);
  const double sizes[][2] = {{0, 0}, {1800, 1350}, {-3000, -3000}, {1e9, -1e9}};
  for (const auto& size : sizes) {
    s.sir = size[0];
    s.vis = size[1];
    const std::uint64_t before = s.rng.draws();
    DrawShadedPyramids(s);
    EXPECT_EQ(s.rng.draws() - before, 70u);
  }
}

}  // namespace
}  // namespace mirelune
