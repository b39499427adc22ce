// Bar combs: bars and gaps along each of the four combs, in their strip rows.
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
using testing::kBack;

enum CombKind { kUpright, kLying, kRising, kFalling };
constexpr std::size_t kCombStart[4] = {0, 67, 134, 169};  // first draw of each comb

struct Comb {
  double i, j, p0;
};
Comb CombAt(const std::vector<double>& v, int c) {
  const std::size_t b = kCombStart[c];
  return {Int(v[b] * 900 + 1), Int(v[b + 1] * 675 + 1), Int(v[b + 2] * 500 + 1)};
}
// The n-th length drawn for bar m of comb c (n = 1 for r2 of upright and lying bars).
double Length(const std::vector<double>& v, int c, int m, int n = 0) {
  const std::size_t per_bar = c <= kLying ? 2 : 1;
  return Int(v[kCombStart[c] + 3 + per_bar * m + n] * 40 + 50);
}

// Bounding box of a comb, in drawing units.
struct Box {
  double x0, y0, x1, y1;
};
Box BoxOf(const Comb& c, int kind) {
  switch (kind) {
    case kUpright: return {c.i, c.j - 89, c.i + 251, c.j + 89};
    case kLying: return {c.i - 89, c.j, c.i + 89, c.j + 251};
    case kRising: return {c.i, c.j - 89, c.i + 340, c.j};
    default: return {c.i, c.j, c.i + 340, c.j + 89};
  }
}

// Four combs wholly inside the canvas, none touching another: bar by bar, four
// units of colour two rows further down the strip, then four units of gap.
TEST(BarCombs, BarsAndGapsAlongEachComb) {
  const std::uint64_t seed = FindState(172, [](const std::vector<double>& v) {
    Box b[4];
    for (int k = 0; k < 4; ++k) {
      b[k] = BoxOf(CombAt(v, k), k);
      if (b[k].x0 < 2 || b[k].y0 < 2 || b[k].x1 > 897 || b[k].y1 > 672) return false;
    }
    for (int p = 0; p < 4; ++p)
      for (int q = p + 1; q < 4; ++q)
        if (b[p].x0 < b[q].x1 + 3 && b[q].x0 < b[p].x1 + 3 && b[p].y0 < b[q].y1 + 3 && b[q].y0 < b[p].y1 + 3)
          return false;
    return true;
  });
  State s;
  Prepare(s, seed);
  const auto v = Replay(seed, 204);
  DrawBarCombs(s);
  const Surface& c = s.Picture1;

  for (int kind = kUpright; kind <= kFalling; ++kind) {
    SCOPED_TRACE(kind);
    const Comb comb = CombAt(v, kind);
    for (int m = 0; m < 32; ++m) {
      SCOPED_TRACE(m);
      const double k = (kind == kLying ? comb.j : comb.i) + 8 * m;
      const Colour colour = RowColour(static_cast<int>(comb.p0) + 2 * (m + 1));
      // Along the comb's axis: the middle of the bar, then the middle of the gap.
      const auto on_axis = [&](double along) {
        return kind == kLying ? c.Point(comb.i, along) : c.Point(along, comb.j);
      };
      EXPECT_EQ(on_axis(k + 1.5), colour);
      EXPECT_EQ(on_axis(k + 5.5), kBack);
      // The bar's own lengths, each side drawn separately.
      if (kind == kUpright || kind == kLying) {
        const double r1 = Length(v, kind, m, 0), r2 = Length(v, kind, m, 1);
        const auto across = [&](double off) {
          return kind == kLying ? c.Point(comb.i + off, k + 1.5) : c.Point(k + 1.5, comb.j + off);
        };
        EXPECT_EQ(across(-r1 + 1), colour);
        EXPECT_EQ(across(-r1 - 2), kBack);
        EXPECT_EQ(across(r2 - 1), colour);
        EXPECT_EQ(across(r2 + 2), kBack);
      } else {
        const double r = Length(v, kind, m), dir = kind == kRising ? -1 : 1;
        EXPECT_EQ(c.Point(k + r, comb.j + dir * r), colour);
        EXPECT_EQ(c.Point(k + 3 + r, comb.j + dir * r), colour);
        EXPECT_EQ(c.Point(k + r, comb.j + dir * (r + 3)), kBack);
      }
    }
  }
}

}  // namespace
}  // namespace mirelune
