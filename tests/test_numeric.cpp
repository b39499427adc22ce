// The number rules and the generator: every card is a function of these, so
// their values are pinned here for all time.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "numbers/numeric.h"
#include "generator/generator.h"

namespace mirelune {
namespace {

std::uint64_t Bits(double v) { return std::bit_cast<std::uint64_t>(v); }

TEST(Numeric, IntFloorsCIntRoundsHalvesToEvenModAndRgb) {
  const struct { double x, floor, nearest; } cases[] = {
      {-2.5, -3, -2}, {2.5, 2, 2}, {3.5, 3, 4}, {0.49999, 0, 0}, {-0.5, -1, -0}, {1e9 + 0.5, 1e9, 1e9}};
  for (const auto& c : cases) EXPECT_EQ(std::pair(Floor(c.x), RoundEven(c.x)), std::pair(c.floor, c.nearest)) << c.x;
  // 7.5 rounds to 8 and 6.5 to 6 before the remainder; RGB clamps and rounds each channel.
  EXPECT_EQ(std::vector<double>({RoundedMod(-1, 256), RoundedMod(7.5, 4), RoundedMod(6.5, 4), RoundedMod(-300, 256)}),
            std::vector<double>({-1, 0, 2, -44}));
  EXPECT_EQ(std::vector<Colour>({RGB(300, 127.5, 126.5), RGB(0, 84, 1143), RGB(-5, 0, 0)}),
            std::vector<Colour>({255 + 256 * 128 + 65536 * 126, 84 * 256 + 255 * 65536, 0}));
}

// Our own sines: the C library's may change between releases, ours may not.
// Within an ulp or two of the maths; Sin, Cos and every instruction set's
// SinCosMany and SinMany bit for bit SinCos (compared as bits, so NaN and -0 count too).
TEST(Numeric, OwnSineAndCosineAreTheSameBitsOnEveryInstructionSet) {
  std::vector<double> xs = {0, 1e-9, 0.7853981633974483, 0.7853981633974484, -0.78539816339744839,
                            1.5707963267948966, 2.356194490192345, 3.141592653589793, 3.9269908169872414, -2.5,
                            6.283, 25.1, -100.3, 4712.38898038469, 12000.77, 1e5 + 1, 999999.9, 1e6, -1e-300,
                            -0.0, 1e15, -9.9e14, INFINITY, NAN};
  // The angles the sweeps turn through and wider ones; an odd count leaves a tail.
  Generator g;
  for (int k = 0; k < 60001; ++k) xs.push_back((g.Uniform() - 0.3) * (k % 3 == 0 ? 60 : k % 3 == 1 ? 3000 : 2));
  const std::size_t n = xs.size();
  std::vector<double> rs(n), rc(n), s(n), c(n), sine(n);
  for (std::size_t k = 0; k < n; ++k) {
    SinCos(xs[k], &rs[k], &rc[k]);
    ASSERT_EQ(std::pair(Bits(Sin(xs[k])), Bits(Cos(xs[k]))), std::pair(Bits(rs[k]), Bits(rc[k]))) << xs[k];
    if (!(std::fabs(xs[k]) < 1e7)) continue;  // no meaningful angle there
    ASSERT_NEAR(rs[k], std::sin(xs[k]), 4e-16 + 2e-19 * std::fabs(xs[k])) << xs[k];
    ASSERT_NEAR(rc[k], std::cos(xs[k]), 4e-16 + 2e-19 * std::fabs(xs[k])) << xs[k];
  }
  for (SimdLevel name : kSimdLevels) {
    const VectorKernels* level = KernelsFor(name);
    if (!level) continue;  // the vector tests name the levels the processor lacks
    level->sin_cos(xs.data(), s.data(), c.data(), n);
    level->sin(xs.data(), sine.data(), n);
    for (std::size_t k = 0; k < n; ++k) {
      ASSERT_EQ(std::tuple(Bits(sine[k]), Bits(s[k]), Bits(c[k])), std::tuple(Bits(rs[k]), Bits(rs[k]), Bits(rc[k])))
          << LevelName(name) << " x " << xs[k];
    }
  }
}

// Whole distances: Floor(Sqrt(x)) on every set, around every perfect square (where
// a root just below a whole number must not round up), past 2^51 where the
// quick rounding stops, and for infinity, NaN and negative input.
TEST(Numeric, FloorOfSquareRootIsTheSameBitsOnEveryInstructionSet) {
  std::vector<double> xs = {0, -0.0, 1, 2, 3, 4, 0.25, 1e-300, -1, 4.5e30, 5.07e30, 1e300, INFINITY, -INFINITY, NAN};
  for (double r = 1; r < 1300; ++r)
    for (double d : {-1.0, -1e-9, 0.0, 1e-9, 1.0}) xs.push_back(r * r + d);
  for (double r : {2251799813685247.0, 2251799813685248.0, 4503599627370495.0})
    for (double d : {-1.0, 0.0, 1.0}) xs.push_back(r * r + d * r);
  xs.push_back(7);  // an odd count leaves a tail
  std::vector<double> out(xs.size());
  for (SimdLevel name : kSimdLevels) {
    const VectorKernels* level = KernelsFor(name);
    if (!level) continue;  // the vector tests name the levels the processor lacks
    level->floor_sqrt(xs.data(), out.data(), xs.size());
    for (std::size_t k = 0; k < xs.size(); ++k)
      ASSERT_EQ(Bits(out[k]), Bits(Floor(Sqrt(xs[k])))) << LevelName(name) << " x " << xs[k];
  }
  EXPECT_EQ(Floor(Sqrt(1e6 - 1e-9)), 999);  // a root just under 1000 stays 999
}

TEST(Generator, FirstValuesArePinned) {
  // These numbers are the product: if they change, every card changes.
  Generator g;
  const double expected[] = {
#include "generator_pins.inc"
  };
  for (double e : expected) EXPECT_EQ(g.Uniform(), e);
  EXPECT_EQ(g.draws(), std::size(expected));
  // Draws made ahead in vector lanes (an odd count leaves a tail), then skipped.
  std::uint32_t ahead[1001];
  for (SimdLevel name : kSimdLevels) {
    const VectorKernels* level = KernelsFor(name);
    if (!level) continue;  // the vector tests name the levels the processor lacks
    level->next24(g.state(), ahead, std::size(ahead));
    Generator one = g, skipped = g;
    for (std::uint32_t d : ahead) ASSERT_EQ(d, one.Next24()) << LevelName(name);
    skipped.Skip(std::size(ahead));
    EXPECT_EQ(std::pair(skipped.state(), skipped.draws()), std::pair(one.state(), one.draws()));
  }
}

}  // namespace
}  // namespace mirelune
