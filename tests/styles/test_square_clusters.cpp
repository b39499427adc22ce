// Square clusters: squares coloured and sized by their distance, and the last
// square's side left in `d` for whatever runs next.
#include <gtest/gtest.h>

#include <cstdint>

#include "styles/styles.h"
#include "style_test_util.h"

namespace mirelune {
namespace {

using testing::FindState;
using testing::Fixture;
using testing::PaintRowStrip;
using testing::RowOf;

struct Cluster {
  double rr, i, j, p;
};

Cluster NextCluster(Generator& g) {
  Cluster c{};
  c.rr = Int(g.Rnd() * 40 + 70);
  c.i = Int(g.Rnd() * 900 + 1);
  c.j = Int(g.Rnd() * 675 + 1);
  c.p = Int(g.Rnd() * 500 + 1);
  return c;
}

struct Replay {
  Cluster a, b;
  double last_r, last_fi;
};

Replay ReplayCall(Generator g) {
  Replay out{};
  out.a = NextCluster(g);
  for (double k = 0; k < out.a.rr * 2 * 2; ++k) g.Rnd();
  out.b = NextCluster(g);
  for (double k = 0; k < out.b.rr * 2 * 2 - 2; ++k) g.Rnd();
  out.last_r = Int(g.Rnd() * out.b.rr + 1);
  out.last_fi = g.Rnd() * 6.28;
  return out;
}

TEST(SquareClusters, SquaresAreColouredAndPlacedByDistance) {
  const std::uint64_t st = FindState([](Generator& g) {
    const Replay r = ReplayCall(g);
    return r.b.i > 120 && r.b.i < 730 && r.b.j > 120 && r.b.j < 500;
  });
  Fixture f;
  State& s = *f;
  testing::Prepare(s, st, 0);
  const Replay want = ReplayCall(s.rng);
  DrawSquareClusters(s);

  // The last square's side stays in `d`; it lies on top, its top-left corner on the
  // sampled point.
  EXPECT_EQ(s.r, want.last_r);
  EXPECT_EQ(s.fi, want.last_fi);
  EXPECT_EQ(s.d, Int(want.last_r / 3 + 5));
  const double x0 = s.i + s.r * Sin(s.fi), y0 = s.j + s.r * Cos(s.fi);
  EXPECT_EQ(s.Picture1.Point(x0 + s.d / 2, y0 + s.d / 2), s.barva);
  EXPECT_EQ(s.Picture1.Point(x0 + 1, y0 + 1), s.barva);
  EXPECT_EQ(s.Picture1.Point(x0 + s.d - 1, y0 + s.d - 1), s.barva);

  // Every painted pixel has the colour of row P + r of one cluster and lies in the
  // reach of that cluster's squares: r left or above, r + side right or below.
  const double px = 896.0 / 900, py = 671.0 / 675;
  int painted = 0, bad = 0;
  const Image& img = s.Picture1.image();
  for (int y = 0; y < img.height; ++y) {
    for (int x = 0; x < img.width; ++x) {
      const std::uint32_t c = img.at(x, y);
      if (c == 0) continue;
      ++painted;
      const int row = RowOf(c);
      bool ok = false;
      for (const Cluster& k : {want.a, want.b}) {
        const double r = row - k.p, side = Int(r / 3 + 5);
        const double ux = x / px - k.i, uy = y / py - k.j;
        ok |= r >= 1 && r <= k.rr && ux >= -r - 1 && ux <= r + side + 1 && uy >= -r - 1 &&
              uy <= r + side + 1;
      }
      bad += !ok;
    }
  }
  EXPECT_GT(painted, 5000);
  EXPECT_EQ(bad, 0);
}

}  // namespace
}  // namespace mirelune
