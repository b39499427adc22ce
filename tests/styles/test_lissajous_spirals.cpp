// Lissajous spirals: the draws in figure order, a single-precision end angle, and a
// chain of dots whose last one shows in the row its radius has reached.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "styles/styles.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::Fixture;
using testing::PaintRowStrip;
using testing::RowColour;

// The twelve draws of one call, 1-based as the figures use them.
std::array<double, 13> Draws(std::uint64_t state) {
  Generator g;
  g.set_state(state);
  std::array<double, 13> u{};
  for (int k = 1; k <= 12; ++k) u[k] = g.Rnd();
  return u;
}

TEST(LissajousSpirals, DrawsInFigureOrderAndASinglePrecisionEnd) {
  Fixture f;
  PaintRowStrip(*f);
  for (std::uint64_t st : {3ull, 1000ull, 0xABCDEF12345ull}) {
    f->rng.set_state(st);
    const auto u = Draws(st);
    DrawLissajousSpirals(*f);
    // Second figure: fi1 (single precision, unrounded), P, i, j, fii, fij.
    const float fi1 = static_cast<float>(u[7]) * 20.0f + 30.0f;
    EXPECT_EQ(f->fi1, static_cast<double>(fi1));
    EXPECT_EQ(f->i, Int(u[9] * 900 + 1));
    EXPECT_EQ(f->j, Int(u[10] * 675 + 1));
    EXPECT_EQ(f->fii, Int(u[11] * 5 + 1));
    EXPECT_EQ(f->fij, Int(u[12] * 5 + 1));
    // The counter stops at the first value past the end angle; one 0.03 of
    // radius per pass.
    EXPECT_GT(f->fi, f->fi1);
    EXPECT_LE(f->fi, f->fi1 + 0.02 + 1e-9);
    const double passes = CInt(f->fi / 0.02);
    EXPECT_GE(passes, 1500);
    EXPECT_LE(passes, 2501);
    EXPECT_NEAR(f->r, 0.03 * passes, 1e-8);
    const double p = Int(u[8] * 500 + 1);
    EXPECT_EQ(f->barva, RowColour(static_cast<int>(CInt(p + f->r * 0.4))));
  }
}

// The last dot of the second figure is drawn last: a filled dot of radius 3 in the
// colour of row P + 0.4 r around its place on the curve.
TEST(LissajousSpirals, LastDotSitsOnTheCurveInItsRowColour) {
  Fixture f;
  PaintRowStrip(*f);
  int checked = 0;
  for (std::uint64_t st = 10; st < 40; ++st) {
    f->Picture1.SetBackColor(0);
    f->rng.set_state(st);
    DrawLissajousSpirals(*f);
    const double fi = f->fi - 0.02;  // the parameter of the last dot
    const double x = f->i + f->r * Sin(f->fii * fi), y = f->j + f->r * Cos(f->fij * fi);
    if (x < 5 || y < 5 || x > 894 || y > 669) continue;
    ++checked;
    const Colour c = static_cast<Colour>(f->barva);
    for (double dx : {-2.0, 0.0, 2.0})
      for (double dy : {-2.0, 0.0, 2.0}) EXPECT_EQ(f->Picture1.Point(x + dx, y + dy), c) << st;
  }
  EXPECT_GE(checked, 10);
}

}  // namespace
}  // namespace mirelune
