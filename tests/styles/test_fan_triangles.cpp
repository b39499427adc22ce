// Fan triangles: a hanging and a standing triangle of the right shape.
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

struct Triangle {
  double r, i, j, p0;
};
Triangle TriangleAt(const std::vector<double>& v, int t) {
  const std::size_t b = 4 * t;
  return {Int(v[b] * 150 + 300), Int(v[b + 1] * 900 + 1), Int(v[b + 2] * 675 + 1), Int(v[b + 3] * 500 + 1)};
}

// The strip row of a triangle's last line.
int LastRow(const Triangle& t) {
  double p = t.p0;
  for (int k = 0; k <= t.r; ++k) p += 0.3;
  return static_cast<int>(CInt(p));
}

// Two triangles wholly inside the canvas and apart from each other; the first
// has an odd base, so rounding its apex matters, and lies where half a unit
// lower is one pixel lower.
TEST(FanTriangles, ApexBelowThenApexAbove) {
  const Surface grid(kCanvasPixelsW, kCanvasPixelsH, kCanvasUnitsW, kCanvasUnitsH);
  const std::uint64_t seed = FindState(8, [&](const std::vector<double>& v) {
    const Triangle a = TriangleAt(v, 0), b = TriangleAt(v, 1);
    const double ay = a.j + Int(a.r / 2);
    if (Mod(a.r, 2) != 1 || grid.PixelY(ay + 0.5) == grid.PixelY(ay)) return false;
    const bool a_in = a.i + a.r < 895 && a.j + a.r / 2 < 670;
    const bool b_in = b.i + b.r < 895 && b.j - b.r / 2 > 5;
    const bool apart =
        a.i > b.i + b.r + 3 || b.i > a.i + a.r + 3 || a.j > b.j + 3 || b.j - b.r / 2 > a.j + a.r / 2 + 3;
    return a_in && b_in && apart;
  });
  State s;
  Prepare(s, seed);
  const auto v = Replay(seed, 8);
  const Triangle a = TriangleAt(v, 0), b = TriangleAt(v, 1);
  DrawFanTriangles(s);
  Surface& c = s.Picture1;

  for (int y = 0; y < kCanvasPixelsH; ++y) {
    for (int x = 0; x < kCanvasPixelsW; ++x) {
      const Colour px = static_cast<Colour>(c.image().at(x, y));
      if (px == kBack) continue;
      const int row = RowOf(px);
      ASSERT_TRUE((row >= a.p0 && row <= a.p0 + 136) || (row >= b.p0 && row <= b.p0 + 136)) << x << "," << y;
    }
  }

  // Hanging triangle: apex on whole units below the middle of the base, in the
  // colour of the last line; nothing below it, nothing outside its left side.
  const double ax = a.i + Int(a.r / 2), ay = a.j + Int(a.r / 2);
  EXPECT_EQ(c.Point(ax, ay), RowColour(LastRow(a)));
  for (long x = c.PixelX(ax) - 3; x <= c.PixelX(ax) + 3; ++x)
    EXPECT_EQ(c.image().at(static_cast<int>(x), static_cast<int>(c.PixelY(ay) + 1)),
              static_cast<std::uint32_t>(kBack));
  EXPECT_EQ(c.Point(a.i + 10, a.j + 20), kBack);
  EXPECT_NE(c.Point(a.i + 20, a.j + 10), kBack);
  EXPECT_LE(RowOf(c.Point(a.i, a.j)), a.p0 + 1);  // one of the first lines

  // Standing triangle: every line ends at its apex, the last one in `barva`.
  EXPECT_EQ(c.Point(b.i + b.r / 2, b.j - b.r / 2), s.barva);
  EXPECT_EQ(c.Point(b.i + b.r / 2, b.j - b.r / 2 - 3), kBack);
  EXPECT_EQ(c.Point(b.i + b.r, b.j), s.barva);
  EXPECT_EQ(c.Point(b.i + 10, b.j - 20), kBack);
  EXPECT_NE(c.Point(b.i + 20, b.j - 10), kBack);
}

}  // namespace
}  // namespace mirelune
