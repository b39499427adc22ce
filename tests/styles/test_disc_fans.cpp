// Disc fans: the fan's rows, its hole and gap, the last disc on top.
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
using testing::RowOf;
using testing::kBack;

constexpr std::size_t kPerFan = 804;

struct Fan {
  double fi0, i, j, p0;
};
Fan FanAt(const std::vector<double>& v, int f) {
  const std::size_t b = f * kPerFan;
  return {v[b] * 6.28, Int(v[b + 1] * 900 + 1), Int(v[b + 2] * 675 + 1), Int(v[b + 3] * 500 + 1)};
}

// A first fan that runs into the strip's limit, a second one well inside the
// canvas and far from the first.
TEST(DiscFans, DiscsFanOutAroundAHole) {
  const std::uint64_t seed = FindState(kPerFan + 4, [](const std::vector<double>& v) {
    const Fan a = FanAt(v, 0), b = FanAt(v, 1);
    const double dx = a.i - b.i, dy = a.j - b.j;
    return a.p0 > 440 && b.p0 < 400 && b.i > 200 && b.i < 700 && b.j > 200 && b.j < 475 &&
           dx * dx + dy * dy > 300 * 300;
  });
  State s;
  Prepare(s, seed);
  const auto v = Replay(seed, 2 * kPerFan);
  DrawDiscFans(s);
  const Fan a = FanAt(v, 0), b = FanAt(v, 1);
  const Surface& c = s.Picture1;

  int row670 = 0;
  for (int y = 0; y < kCanvasPixelsH; ++y) {
    for (int x = 0; x < kCanvasPixelsW; ++x) {
      const Colour px = static_cast<Colour>(c.image().at(x, y));
      if (px == kBack) continue;
      const int row = RowOf(px);
      ASSERT_TRUE((row >= a.p0 && row <= 670) || (row >= b.p0 && row <= b.p0 + 240)) << x << "," << y;
      row670 += row == 670;
    }
  }
  EXPECT_GT(row670, 0);

  // The last disc lies on top, filled in its colour; cosine runs along x.
  const double lx = b.i + s.r * Cos(s.fi), ly = b.j + s.r * Sin(s.fi);
  EXPECT_EQ(c.Point(lx, ly), s.barva);
  EXPECT_EQ(c.Point(lx + 5, ly), s.barva);
  EXPECT_EQ(c.Point(lx, ly - 5), s.barva);

  // An empty hole at the centre, and an open gap behind the last disc.
  EXPECT_EQ(c.Point(b.i, b.j), kBack);
  EXPECT_EQ(c.Point(b.i + 15, b.j - 10), kBack);
  const double gap = b.fi0 + 4.8 + (6.2832 - 4.8) / 2;
  EXPECT_EQ(c.Point(b.i + 100 * Cos(gap), b.j + 100 * Sin(gap)), kBack);
}

}  // namespace
}  // namespace mirelune
