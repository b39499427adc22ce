// Roses: petals where the sine of fit times the angle peaks, a filled core.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>

#include "styles/styles.h"
#include "style_test_util.h"

namespace mirelune {
namespace {

using testing::FindState;
using testing::Fixture;
using testing::PaintRowStrip;
using testing::RowColour;
using testing::RowOf;

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
    testing::Prepare(s, st, 0);
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

}  // namespace
}  // namespace mirelune
