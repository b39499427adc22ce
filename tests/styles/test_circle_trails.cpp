// Circle trails: the last ring pair of the second trail in each direction, and the fade.
#include <gtest/gtest.h>

#include <cstdint>

#include "styles/styles.h"
#include "style_test_util.h"

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
  return testing::FindState([&](Generator& g) {
    const Trail t = ReplaySecondTrail(g, 900, 675);
    return t.nacin == nacin && t.cx() > 90 && t.cx() < 810 && t.cy() > 90 && t.cy() < 585;
  });
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

}  // namespace
}  // namespace mirelune
