// The number rules and the generator: every card is a function of these, so
// their values are pinned here for all time.
#include <gtest/gtest.h>

#include <cmath>

#include "surface/numeric.h"
#include "surface/random.h"

namespace mirelune {
namespace {

TEST(Numeric, IntFloorsCIntRoundsHalvesToEvenModAndRgb) {
  struct Case {
    double x, floor, nearest;
  } cases[] = {{-2.5, -3, -2}, {2.5, 2, 2}, {3.5, 3, 4}, {0.49999, 0, 0}, {-0.5, -1, -0}, {1e9 + 0.5, 1e9, 1e9}};
  for (const Case& c : cases) {
    EXPECT_EQ(Int(c.x), c.floor) << c.x;
    EXPECT_EQ(CInt(c.x), c.nearest) << c.x;
  }
  EXPECT_EQ(Mod(-1, 256), -1);
  EXPECT_EQ(Mod(7.5, 4), 0);  // 7.5 rounds to 8
  EXPECT_EQ(Mod(6.5, 4), 2);  // 6.5 rounds to 6
  EXPECT_EQ(Mod(-300, 256), -44);
  EXPECT_EQ(RGB(300, 127.5, 126.5), 255 + 256 * 128 + 65536 * 126);
  EXPECT_EQ(RGB(0, 84, 1143), 84 * 256 + 255 * 65536);
  EXPECT_EQ(RGB(-5, 0, 0), 0);
}

// Our own sines: the C library's may change between releases, ours may not.
// Within an ulp or two of the maths, and the paired form bit for bit the single one.
TEST(Numeric, OwnSineAndCosine) {
  const double xs[] = {0, 1e-9, 0.7853981633974483, 0.7853981633974484, 1.5707963267948966, 3.141592653589793,
                       -2.5, 6.283, 25.1, -100.3, 4712.38898038469, 12000.77, 1e5 + 1, 1e6, -1e-300};
  for (double x : xs) {
    double s, c, s2, c2, s3, c3;
    SinCos(x, &s, &c);
    EXPECT_NEAR(s, std::sin(x), 4e-16 + 2e-19 * std::fabs(x)) << x;
    EXPECT_NEAR(c, std::cos(x), 4e-16 + 2e-19 * std::fabs(x)) << x;
    SinCos2(x, -x / 3, &s2, &c2, &s3, &c3);
    EXPECT_EQ(Sin(x), s);
    EXPECT_EQ(Cos(x), c);
    EXPECT_EQ(s2, s);
    EXPECT_EQ(c2, c);
    EXPECT_EQ(s3, Sin(-x / 3));
    EXPECT_EQ(c3, Cos(-x / 3));
  }
  Generator g;
  for (int k = 0; k < 20000; ++k) {
    const double x = (g.Rnd() - 0.5) * 200;
    ASSERT_NEAR(Sin(x), std::sin(x), 5e-16) << x;
    ASSERT_NEAR(Cos(x), std::cos(x), 5e-16) << x;
  }
}

TEST(Generator, FirstValuesArePinned) {
  // These numbers are the product: if they change, every card changes.
  Generator g;
  const double expected[] = {
#include "generator_pins.inc"
  };
  for (double e : expected) EXPECT_EQ(g.Rnd(), e);
  EXPECT_EQ(g.draws(), std::size(expected));
}

TEST(Generator, ResetThenRandomizeDependsOnTheSeedAlone) {
  Generator a, b, c;
  for (int k = 0; k < 1000; ++k) b.Rnd();  // a different history
  for (Generator* g : {&a, &b}) {
    g->Rnd(-1);
    g->Randomize(4401776);
  }
  c.Rnd(-1);
  c.Randomize(4401777);
  int same = 0;
  for (int k = 0; k < 100; ++k) {
    const double x = a.Rnd();
    EXPECT_EQ(x, b.Rnd());
    same += x == c.Rnd();
  }
  EXPECT_LT(same, 3);
}

TEST(Generator, ValuesAreWholeMultiplesOfTwoToTheMinus24BelowOne) {
  Generator g;
  int seen[27] = {};
  for (int k = 0; k < 100000; ++k) {
    const double v = g.Rnd();
    ASSERT_GE(v, 0);
    ASSERT_LT(v, 1);
    ASSERT_EQ(v * 16777216.0, std::floor(v * 16777216.0));
    ++seen[static_cast<int>(Int(v * 26))];
  }
  for (int k = 0; k < 26; ++k) EXPECT_GT(seen[k], 0) << k;  // Int(Rnd * 26) covers 0..25
}

}  // namespace
}  // namespace mirelune
