// Ragged bands: four reaches per stroke in a fixed order, a last stroke that spans
// exactly its two reaches, and the colour's walk along a band.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "styles/styles.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::Fixture;
using testing::PaintRowStrip;
using testing::RowColour;

constexpr int kCallDraws = 2 * (4 + 200 * 4);

std::vector<double> Draws(std::uint64_t state) {
  Generator g;
  g.set_state(state);
  std::vector<double> u(kCallDraws + 1);
  for (int k = 1; k <= kCallDraws; ++k) u[k] = g.Rnd();
  return u;
}

// The first generator state from `from` on whose second band runs this way and
// whose last stroke, with its reaches, lies on the canvas.
std::uint64_t FindState(double dir, std::uint64_t from) {
  for (std::uint64_t st = from;; ++st) {
    const auto u = Draws(st);
    const double nacin = Int(u[805] * 2 + 1), i0 = Int(u[806] * 900 + 1), j0 = Int(u[807] * 675 + 1);
    if (nacin != dir) continue;
    const double i = dir == 1 ? i0 + 200 : i0, j = dir == 1 ? j0 : j0 + 200;
    if (i - 60 > 0 && j - 60 > 0 && i + 60 < 899 && j + 60 < 674) return st;
  }
}

TEST(RaggedBands, LastStrokeSpansItsReachesInTheRowOfItsPlace) {
  Fixture f;
  PaintRowStrip(*f);
  for (double dir : {1.0, 2.0}) {
    f->Picture1.SetBackColor(0);
    const std::uint64_t st = FindState(dir, 1);
    const auto u = Draws(st);
    f->rng.set_state(st);
    DrawRaggedBands(*f);
    // The reaches of the last stroke are the last four draws, in this order.
    EXPECT_EQ(f->di1, Int(u[1605] * 30 + 30));
    EXPECT_EQ(f->di2, Int(u[1606] * 30 + 30));
    EXPECT_EQ(f->dj1, Int(u[1607] * 30 + 30));
    EXPECT_EQ(f->dj2, Int(u[1608] * 30 + 30));
    EXPECT_EQ(f->i, dir == 1 ? f->i0 + 200 : f->i0);
    EXPECT_EQ(f->j, dir == 1 ? f->j0 : f->j0 + 200);
    // 200 steps of 0.7 rows: the last stroke samples row P + 140.
    const Colour c = RowColour(static_cast<int>(Int(u[808] * 500 + 1) + 140));
    EXPECT_EQ(f->barva, c);
    const Surface& canvas = f->Picture1;
    EXPECT_EQ(canvas.Point(f->i, f->j), c);
    if (dir == 1) {
      EXPECT_EQ(canvas.Point(f->i, f->j - f->dj1), c);
      EXPECT_EQ(canvas.Point(f->i, f->j + f->dj2), c);
      EXPECT_NE(canvas.Point(f->i, f->j + f->dj2 + 2), c);
    } else {
      EXPECT_EQ(canvas.Point(f->i - f->di1, f->j), c);
      EXPECT_EQ(canvas.Point(f->i + f->di2, f->j), c);
      EXPECT_NE(canvas.Point(f->i + f->di2 + 2, f->j), c);
    }
  }
}

// The colour walks 0.7 rows per stroke and the strip rounds the fractional row:
// along the centre line of a band that the other band does not cross, stroke k
// shows the row P + 0.7 k (accumulated) rounded.
TEST(RaggedBands, ColourWalksSevenTenthsOfARowPerStroke) {
  Fixture f;
  PaintRowStrip(*f);
  for (std::uint64_t st = 1;; ++st) {
    const auto u = Draws(st);
    const double n1 = Int(u[1] * 2 + 1), i1 = Int(u[2] * 900 + 1), j1 = Int(u[3] * 675 + 1);
    const double i2 = Int(u[806] * 900 + 1), j2 = Int(u[807] * 675 + 1);
    // First band lying wholly on the canvas, second band far from it.
    if (n1 != 1 || i1 + 200 > 895 || j1 < 60 || j1 > 610) continue;
    if (!(i2 > i1 + 270 || i2 + 270 < i1 || j2 > j1 + 270 || j2 + 270 < j1)) continue;
    f->Picture1.SetBackColor(0);
    f->rng.set_state(st);
    DrawRaggedBands(*f);
    const double p = Int(u[4] * 500 + 1);
    int matched = 0;
    for (int k = 1; k <= 200; ++k) {
      double row = p;
      for (int m = 0; m < k; ++m) row += 0.7;
      matched += f->Picture1.Point(i1 + k, j1) == RowColour(static_cast<int>(CInt(row)));
    }
    // Where two unit columns share a pixel the later stroke wins; every other
    // stroke shows its own row.
    EXPECT_GE(matched, 198) << st;
    break;
  }
}

}  // namespace
}  // namespace mirelune
