// Circle trails: the order of draws, what a call leaves behind, and the last ring
// pair of the second trail in each direction.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "styles/styles.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::Fixture;

struct Trail {
  double nacin = 0, p = 0, i = 0, j = 0, r1 = 0;  // r1: the radius of the last step
  double cx() const { return nacin == 2 ? i : i + 100; }  // centre of step 50
  double cy() const { return nacin == 1 ? j : j + 100; }
};

// Replays one call on a copy of the generator: per trail nacin, P, i, j, then one
// radius per step. Returns the second trail.
Trail ReplaySecondTrail(Generator g, double sir, double vis) {
  Trail t;
  for (int trail = 0; trail < 2; ++trail) {
    t.nacin = Int(g.Rnd() * 3 + 1);
    t.p = Int(g.Rnd() * 500 + 1);
    t.i = Int(g.Rnd() * sir + 1);
    t.j = Int(g.Rnd() * vis + 1);
    for (int k = 0; k < 50; ++k) t.r1 = Int(g.Rnd() * 40 + 40);
  }
  return t;
}

// A state whose second trail runs in direction `nacin` and ends with its last
// ring pair wholly on the canvas.
std::uint64_t StateWithSecondTrail(double nacin) {
  for (std::uint64_t st = 1; st < 100000; ++st) {
    Generator g;
    g.set_state(st);
    const Trail t = ReplaySecondTrail(g, 900, 675);
    if (t.nacin == nacin && t.cx() > 90 && t.cx() < 810 && t.cy() > 90 && t.cy() < 585) return st;
  }
  ADD_FAILURE() << "no state found";
  return 1;
}

int Red(Colour c) { return c & 0xFF; }
int Green(Colour c) { return (c >> 8) & 0xFF; }
int Blue(Colour c) { return (c >> 16) & 0xFF; }

TEST(CircleTrails, Draws108PerCallInTheStatedOrder) {
  Fixture f;
  State& s = *f;
  testing::PaintRowStrip(s);
  for (std::uint64_t st : {2ULL, 1001ULL, 0x7A11ULL}) {
    s.rng.set_state(st);
    const Trail want = ReplaySecondTrail(s.rng, s.sir, s.vis);
    const std::uint64_t before = s.rng.draws();
    DrawCircleTrails(s);
    EXPECT_EQ(s.rng.draws() - before, 2u * (4 + 50)) << st;
    EXPECT_EQ(s.nn, 3);
    EXPECT_EQ(s.nacin, want.nacin);
    EXPECT_EQ(s.i, want.i);
    EXPECT_EQ(s.j, want.j);
    EXPECT_EQ(s.r1, want.r1);
    // One sample per trail, at row P itself; 70 up, then 2 down per step (floored).
    const Colour sampled = testing::RowColour(static_cast<int>(want.p));
    EXPECT_EQ(s.barvap, sampled - Red(sampled));
    EXPECT_EQ(s.re1, std::max(0, Red(sampled) - 30));
    EXPECT_EQ(s.gr1, std::max(0, Green(sampled) - 30));
    EXPECT_EQ(s.bl1, std::max(0, Blue(sampled) - 30));
  }
}

// The last ring pair sits 100 units along the trail's direction. Its outer ring
// passes through the pixel straight above the centre, r1 + 1 units up (scaled to
// pixels as the surface scales radii); the centre itself stays unpainted.
TEST(CircleTrails, LastRingPairLiesAlongTheDirection) {
  for (double nacin : {1.0, 2.0, 3.0}) {
    SCOPED_TRACE(nacin);
    Fixture f;
    State& s = *f;
    const Colour grey = RGB(50, 60, 70);
    s.Picture3.SetBackColor(grey);
    s.Picture1.SetBackColor(RGB(255, 0, 0));
    s.rng.set_state(StateWithSecondTrail(nacin));
    const Trail t = ReplaySecondTrail(s.rng, s.sir, s.vis);
    DrawCircleTrails(s);
    const Colour last = RGB(50 + 70 - 100, 60 + 70 - 100, 70 + 70 - 100);
    const long px = s.Picture1.PixelX(t.cx());
    const long py = s.Picture1.PixelY(t.cy()) - static_cast<long>(CInt((t.r1 + 1) * kCanvasPixelsH / 675.0));
    EXPECT_EQ(static_cast<Colour>(s.Picture1.image().at(static_cast<int>(px), static_cast<int>(py))), last);
    EXPECT_NE(s.Picture1.Point(t.cx(), t.cy()), last);
  }
}

// Rings are outlines whatever fill an earlier style left; the fill colour stays.
TEST(CircleTrails, RingsAreOutlinesAndTheFillStaysOff) {
  Fixture f;
  State& s = *f;
  testing::PaintRowStrip(s);  // blue 200 in every row: never pure red
  s.Picture1.SetBackColor(0);
  s.Picture1.FillStyle = 0;
  s.Picture1.FillColor = RGB(255, 0, 0);
  s.barva = 4711;
  s.rng.set_state(23);
  DrawCircleTrails(s);
  EXPECT_EQ(s.Picture1.FillStyle, 1);
  EXPECT_EQ(s.Picture1.FillColor, RGB(255, 0, 0));
  EXPECT_EQ(testing::CountColour(s.Picture1.image(), RGB(255, 0, 0)), 0);
  EXPECT_EQ(s.barva, 4711);
}

// A black sample starts at 68 and is black from the 35th step on.
TEST(CircleTrails, BlackSampleFadesToBlack) {
  Fixture f;
  State& s = *f;
  s.Picture3.SetBackColor(0);
  s.Picture1.SetBackColor(RGB(0, 0, 255));
  s.rng.set_state(StateWithSecondTrail(1));
  DrawCircleTrails(s);
  EXPECT_EQ(s.re1, 0);
  EXPECT_GT(testing::CountColour(s.Picture1.image(), RGB(68, 68, 68)), 0);
  EXPECT_GT(testing::CountColour(s.Picture1.image(), 0), 0);
}

TEST(CircleTrails, FiguresOffTheCanvasAreClipped) {
  Fixture f;
  State& s = *f;
  testing::PaintRowStrip(s);
  const double sizes[][2] = {{0, 0}, {1800, 1350}, {-3000, -3000}, {1e9, -1e9}};
  for (const auto& size : sizes) {
    s.sir = size[0];
    s.vis = size[1];
    const std::uint64_t before = s.rng.draws();
    DrawCircleTrails(s);
    EXPECT_EQ(s.rng.draws() - before, 108u);
  }
}

}  // namespace
}  // namespace mirelune
