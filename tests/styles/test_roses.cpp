// Roses: ten draws, petals where the sine of fit times the angle peaks, a filled core.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>

#include "styles/styles.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::Fixture;
using testing::PaintRowStrip;
using testing::RowColour;

struct Flower {
  double r, fit, p, i, j;
};

Flower NextFlower(Generator& g) {
  Flower f{};
  f.r = Int(g.Rnd() * 40 + 40);
  f.fit = Int(g.Rnd() * 6 + 2);
  f.p = Int(g.Rnd() * 500 + 1);
  f.i = Int(g.Rnd() * 900 + 1);
  f.j = Int(g.Rnd() * 675 + 1);
  return f;
}

template <class Ok>
std::uint64_t FindState(Ok ok) {
  for (std::uint64_t k = 1;; ++k) {
    const std::uint64_t st = k * 0x2545F4914F6CDD1DULL;
    Generator g;
    g.set_state(st);
    if (ok(g)) return st;
  }
}

int RowOf(Colour c) {
  const int r = c & 255, g = (c >> 8) & 255, b = (c >> 16) & 255;
  if (c < 0 || b != 200 || g < 1 || (g - 1) % 40 != 0) return -1;
  return r + 256 * ((g - 1) / 40);
}

TEST(Roses, TenDrawsAndTheSecondFlowersValuesRemain) {
  Fixture f;
  State& s = *f;
  PaintRowStrip(s);
  s.Picture1.FillStyle = 0;
  s.Picture1.FillColor = 0x0A0B0C;
  s.rng.set_state(0xB10550);
  Generator g = s.rng;
  NextFlower(g);
  const Flower second = NextFlower(g);

  DrawRoses(s);
  EXPECT_EQ(s.rng.draws(), 10u);
  EXPECT_EQ(s.rng.state(), g.state());
  EXPECT_EQ(s.nn, 3);
  EXPECT_GT(s.fi, 6.3);
  EXPECT_LT(s.fi, 6.3005);
  EXPECT_EQ(s.r, second.r);
  EXPECT_EQ(s.fit, second.fit);
  EXPECT_EQ(s.i, second.i);
  EXPECT_EQ(s.j, second.j);
  EXPECT_GE(s.r1, 10);
  EXPECT_LE(s.r1, 2 * s.r + 10);
  EXPECT_EQ(s.barva, RowColour(static_cast<int>(second.p) + 189));
  EXPECT_EQ(s.Picture1.FillStyle, 0);
  EXPECT_EQ(s.Picture1.FillColor, 0x0A0B0C);
}

// For every petal count: a petal tip at each peak of Sin(fit * angle), background
// between the petals beyond the core, the core itself filled.
TEST(Roses, PetalsAndGapsFollowThePetalCount) {
  constexpr double pi = std::numbers::pi;
  for (int fit = 2; fit <= 7; ++fit) {
    SCOPED_TRACE(fit);
    const std::uint64_t st = FindState([&](Generator& g) {
      const Flower a = NextFlower(g), b = NextFlower(g);
      return b.fit == fit && b.i > 180 && b.i < 720 && b.j > 180 && b.j < 495 && b.p <= 450 &&
             std::hypot(a.i - b.i, a.j - b.j) > 350;
    });
    Fixture f;
    State& s = *f;
    PaintRowStrip(s);
    s.Picture1.SetBackColor(0);
    s.rng.set_state(st);
    Generator g = s.rng;
    NextFlower(g);
    const Flower w = NextFlower(g);
    DrawRoses(s);

    auto at = [&](double angle, double dist) {
      return s.Picture1.Point(w.i + dist * Sin(angle), w.j + dist * Cos(angle));
    };
    EXPECT_EQ(at(0, 0), RowColour(static_cast<int>(w.p) + 189));
    for (int m = 0; m < fit; ++m) {
      const double tip = pi / (2 * fit) + 2 * pi * m / fit;
      const double gap = 3 * pi / (2 * fit) + 2 * pi * m / fit;
      EXPECT_NEAR(RowOf(at(tip, 2 * w.r)), w.p + 30 * tip, 1.6) << "petal " << m;
      EXPECT_EQ(at(tip, 2 * w.r + 14), 0) << "beyond petal " << m;
      EXPECT_EQ(at(gap, w.r + 10), 0) << "gap " << m;
      EXPECT_NE(RowOf(at(gap, 5)), -1) << "core at gap " << m;
    }
  }
}

TEST(Roses, FlowersOffTheEdgesAreClipped) {
  struct Case {
    const char* name;
    double lo, hi;  // range of the first flower's centre draws
    double sir, vis;
  };
  const Case cases[] = {{"top-left", 0.0, 0.01, 900, 675},
                        {"bottom-right", 0.99, 1.0, 900, 675},
                        {"far away", 0.1, 1.0, -1e12, -1e12}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::uint64_t st = FindState([&](Generator& g) {
      g.Rnd(), g.Rnd(), g.Rnd();
      const double u = g.Rnd(), v = g.Rnd();
      return u >= c.lo && u < c.hi && v >= c.lo && v < c.hi;
    });
    Fixture f;
    State& s = *f;
    PaintRowStrip(s);
    s.sir = c.sir;
    s.vis = c.vis;
    s.rng.set_state(st);
    const Image blank = s.Picture1.GetImage();
    DrawRoses(s);
    EXPECT_EQ(s.rng.draws(), 10u);
    if (c.sir < -1e6) {
      EXPECT_EQ(s.Picture1.image(), blank);
    } else {
      EXPECT_NE(s.Picture1.image(), blank);  // clipped, but there
    }
  }
}

}  // namespace
}  // namespace mirelune
