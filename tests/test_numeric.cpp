// The number rules and the generator: the card is a function of these, so their
// values are pinned here for all time.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "surface/numeric.h"
#include "surface/random.h"

namespace mirelune {
namespace {

TEST(Numeric, IntIsFloorAndCIntRoundsHalvesToEven) {
  struct Case {
    double x, floor, nearest;
  } cases[] = {{-2.5, -3, -2}, {2.5, 2, 2}, {3.5, 3, 4}, {0.49999, 0, 0}, {-0.5, -1, -0}, {1e9 + 0.5, 1e9, 1e9}};
  for (const Case& c : cases) {
    EXPECT_EQ(Int(c.x), c.floor) << c.x;
    EXPECT_EQ(CInt(c.x), c.nearest) << c.x;
  }
}

TEST(Numeric, ModKeepsTheSignOfTheDividendAfterRounding) {
  EXPECT_EQ(Mod(-1, 256), -1);
  EXPECT_EQ(Mod(7.5, 4), 0);   // 7.5 rounds to 8
  EXPECT_EQ(Mod(6.5, 4), 2);   // 6.5 rounds to 6
  EXPECT_EQ(Mod(-300, 256), -44);
}

TEST(Numeric, RgbRoundsAndClampsEachComponent) {
  EXPECT_EQ(RGB(300, 127.5, 126.5), RGB(255, 128, 126));
  EXPECT_EQ(RGB(255, 128, 126), 255 + 256 * 128 + 65536 * 126);
  EXPECT_EQ(RGB(0, 84, 1143), 84 * 256 + 255 * 65536);
  EXPECT_EQ(RGB(-5, 0, 0), 0);
}

TEST(Numeric, OwnSineAndCosineMatchTheMathsToTheLastPlace) {
  // Angles the effect and the styles form: small, a few turns, near multiples of
  // pi/2, negative, and up to the largest products (angle * pixel index).
  const double xs[] = {0,        1e-9,    0.785398, 0.7853982, 1.5707963267948966, 3.141592653589793,
                       -2.5,     6.28,    6.283,    25.1,       -100.3,             4712.38898038469,
                       12000.77, 1e5 + 1, 123.456,  -0.0001};
  for (double x : xs) {
    double s, c;
    SinCos(x, &s, &c);
    EXPECT_NEAR(s, std::sin(x), 4e-16 + 2e-16 * std::fabs(x) * 1e-3) << x;
    EXPECT_NEAR(c, std::cos(x), 4e-16 + 2e-16 * std::fabs(x) * 1e-3) << x;
    EXPECT_EQ(Sin(x), s);
    EXPECT_EQ(Cos(x), c);
  }
  // Seeded sweep over the range the displacement angles cover.
  Generator g;
  for (int k = 0; k < 20000; ++k) {
    const double x = (g.Rnd() - 0.5) * 200;
    EXPECT_NEAR(Sin(x), std::sin(x), 5e-16) << x;
    EXPECT_NEAR(Cos(x), std::cos(x), 5e-16) << x;
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
  Generator a, b;
  for (int k = 0; k < 1000; ++k) b.Rnd();  // a different history
  a.Rnd(-1);
  a.Randomize(4401776);
  b.Rnd(-1);
  b.Randomize(4401776);
  for (int k = 0; k < 100; ++k) EXPECT_EQ(a.Rnd(), b.Rnd());

  Generator c;
  c.Rnd(-1);
  c.Randomize(4401777);
  a.Rnd(-1);
  a.Randomize(4401776);
  int same = 0;
  for (int k = 0; k < 100; ++k) same += a.Rnd() == c.Rnd();
  EXPECT_LT(same, 3);
}

TEST(Generator, ValuesAreExactSinglePrecisionNumbersBelowOne) {
  Generator g;
  g.Rnd(-1);
  g.Randomize(12345);
  double lo = 1, hi = 0;
  for (int k = 0; k < 100000; ++k) {
    const double v = g.Rnd();
    ASSERT_GE(v, 0);
    ASSERT_LT(v, 1);
    ASSERT_EQ(v, static_cast<double>(static_cast<float>(v)));
    ASSERT_EQ(v * 16777216.0, std::floor(v * 16777216.0));  // k / 2^24
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  EXPECT_LT(lo, 0.001);
  EXPECT_GT(hi, 0.999);
  // Int(Rnd * 26) covers 0..25 and nothing else.
  int seen[27] = {};
  for (int k = 0; k < 10000; ++k) ++seen[static_cast<int>(Int(g.Rnd() * 26))];
  for (int k = 0; k < 26; ++k) EXPECT_GT(seen[k], 0) << k;
  EXPECT_EQ(seen[26], 0);
}

TEST(Generator, ResetStateIsFixedByTheArgument) {
  Generator a, b;
  b.Rnd();
  EXPECT_EQ(a.Rnd(-1), b.Rnd(-1));
  EXPECT_NE(a.Rnd(-2), b.Rnd(-1));
}

}  // namespace
}  // namespace mirelune

namespace mirelune {
namespace {

// Every instruction set gives SinCos bit for bit: the octant edges, the angles
// the displacement sweeps turn through (0 to about 40 radians, also scaled for
// the length rules), huge and non-finite values, and lengths that leave a tail.
TEST(Numeric, SineAndCosineOfManyAnglesAreTheSingleOnesOnEveryInstructionSet) {
  std::vector<double> x = {0.7853981633974483, 0.7853981633974484, -0.78539816339744839, 2.356194490192345,
                           1e6, 999999.9, 3.9269908169872414, -1e-300, -0.0, 0.0, 1e15, -9.9e14,
                           std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()};
  Generator g;
  for (int k = 0; k < 200000; ++k) x.push_back((g.Rnd() - 0.3) * (k % 3 == 0 ? 60 : k % 3 == 1 ? 3000 : 2));
  for (double step = 0; step < 45; step += 0.000731) x.push_back(step);
  const SimdLevel levels[] = {SimdLevel::kScalar, SimdLevel::kSse2, SimdLevel::kAvx2};
  for (std::size_t n : {x.size(), std::size_t{7}, std::size_t{1}}) {
    std::vector<double> ref_s(n), ref_c(n);
    for (std::size_t k = 0; k < n; ++k) SinCos(x[k], &ref_s[k], &ref_c[k]);
    for (SimdLevel level : levels) {
      std::vector<double> s(n), c(n);
      SinCosMany(level, x.data(), s.data(), c.data(), n);
      for (std::size_t k = 0; k < n; ++k) {
        // Compared as bits: a NaN must come back a NaN, and -0 stays -0.
        ASSERT_EQ(std::bit_cast<std::uint64_t>(s[k]), std::bit_cast<std::uint64_t>(ref_s[k]))
            << "level " << static_cast<int>(level) << " x " << x[k];
        ASSERT_EQ(std::bit_cast<std::uint64_t>(c[k]), std::bit_cast<std::uint64_t>(ref_c[k]))
            << "level " << static_cast<int>(level) << " x " << x[k];
        if (k % 97 == 0) {
          ASSERT_EQ(std::bit_cast<std::uint64_t>(Sin(x[k])), std::bit_cast<std::uint64_t>(s[k]));
          ASSERT_EQ(std::bit_cast<std::uint64_t>(Cos(x[k])), std::bit_cast<std::uint64_t>(c[k]));
        }
      }
    }
  }
}

}  // namespace
}  // namespace mirelune
