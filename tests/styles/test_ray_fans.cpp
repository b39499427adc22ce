// Ray fans: where the rays land and in which rows.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "style_test_util.h"
#include "styles/styles.h"

namespace mirelune {
namespace {

using testing::FindState;
using testing::Prepare;
using testing::Replay;
using testing::RowColour;
using testing::RowOf;
using testing::kBack;

constexpr std::size_t kPerFan = 2704;

struct Fan {
  double fi0, i, j, p0;
};
Fan FanAt(const std::vector<double>& v, int f) {
  const std::size_t b = f * kPerFan;
  return {v[b] * 6.28, Int(v[b + 1] * 900 + 1), Int(v[b + 2] * 675 + 1), Int(v[b + 3] * 500 + 1)};
}

// Row of the strip after `steps` advances of 0.2 with the limit at 670.
double RowAfter(double p, int steps) {
  for (int k = 0; k < steps; ++k) {
    p += 0.2;
    if (p > 670) p = 670;
  }
  return p;
}

// A first fan that runs into the strip's limit, a second one well inside the
// canvas and far from the first: the rays' colours, the last ray and the gap.
TEST(RayFans, RaysSweepFromTheStartAngleInTheirRows) {
  const std::uint64_t seed = FindState(kPerFan + 4, [](const std::vector<double>& v) {
    const Fan a = FanAt(v, 0), b = FanAt(v, 1);
    const double dx = a.i - b.i, dy = a.j - b.j;
    return a.p0 > 490 && b.p0 < 400 && b.i > 200 && b.i < 700 && b.j > 200 && b.j < 475 &&
           dx * dx + dy * dy > 260 * 260;
  });
  State s;
  Prepare(s, seed);
  const auto v = Replay(seed, 2 * kPerFan);
  DrawRayFans(s);
  const Fan a = FanAt(v, 0), b = FanAt(v, 1);

  // Colours come from each fan's own run of rows; the first fan ends on row 670.
  int row670 = 0;
  for (int y = 0; y < kCanvasPixelsH; ++y) {
    for (int x = 0; x < kCanvasPixelsW; ++x) {
      const Colour c = static_cast<Colour>(s.Picture1.image().at(x, y));
      if (c == kBack) continue;
      const int row = RowOf(c);
      const bool in_a = row >= a.p0 && row <= 670;
      const bool in_b = row >= b.p0 && row <= b.p0 + 180;
      ASSERT_TRUE(in_a || in_b) << "pixel " << x << "," << y << " row " << row;
      row670 += row == 670;
    }
  }
  EXPECT_GT(row670, 0);

  // The last ray is drawn last, 900 steps of 0.2 rows on: both its ends carry its colour.
  EXPECT_EQ(s.barva, RowColour(static_cast<int>(CInt(RowAfter(b.p0, 900)))));
  const double r = Int(v[kPerFan + 4 + 3 * 899] * 100 + 80);
  const double ea = Int(v[kPerFan + 5 + 3 * 899] * 11 - 5);
  const double eb = Int(v[kPerFan + 6 + 3 * 899] * 11 - 5);
  EXPECT_EQ(s.Picture1.Point(b.i + ea, b.j + eb), s.barva);
  EXPECT_EQ(s.Picture1.Point(b.i + r * Cos(s.fi), b.j + r * Sin(s.fi)), s.barva);

  // 40 units out (inside every ray, past the jitter): the middle of the sweep is
  // painted, the middle of the open gap is not. Cosine runs along x.
  const double mid = b.fi0 + 2.25, gap = b.fi0 + 4.5 + (6.2832 - 4.5) / 2;
  EXPECT_NE(s.Picture1.Point(b.i + 40 * Cos(mid), b.j + 40 * Sin(mid)), kBack);
  EXPECT_EQ(s.Picture1.Point(b.i + 40 * Cos(gap), b.j + 40 * Sin(gap)), kBack);
}

}  // namespace
}  // namespace mirelune
