// Dot discs: dots coloured by their distance from the centre, the last one on top.
#include <gtest/gtest.h>

#include <cmath>
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
  c.rr = Int(g.Rnd() * 40 + 50);
  c.i = Int(g.Rnd() * 900 + 1);
  c.j = Int(g.Rnd() * 675 + 1);
  c.p = Int(g.Rnd() * 500 + 1);
  return c;
}

void Skip(Generator& g, double n) {
  for (double k = 0; k < n; ++k) g.Rnd();
}

// Replays a whole call: both clusters, and the last dot's distance.
struct Replay {
  Cluster a, b;
  double last_r;
};

Replay ReplayCall(Generator g) {
  Replay out{};
  out.a = NextCluster(g);
  Skip(g, out.a.rr * 20 * 2);
  out.b = NextCluster(g);
  Skip(g, out.b.rr * 20 * 2 - 2);
  out.last_r = Int(g.Rnd() * out.b.rr + 1);
  return out;
}

TEST(DotDiscs, DotsLieInRingsColouredByDistance) {
  const std::uint64_t st = FindState([](Generator& g) {
    const Replay r = ReplayCall(g);
    return r.b.i > 100 && r.b.i < 800 && r.b.j > 100 && r.b.j < 575;
  });
  Fixture f;
  State& s = *f;
  testing::Prepare(s, st, 0);
  const Replay want = ReplayCall(s.rng);
  DrawDotDiscs(s);

  // The last dot is drawn over everything: its whole disc (radius 3) has its colour.
  const double cx = s.i + s.r * Sin(s.fi), cy = s.j + s.r * Cos(s.fi);
  for (auto [dx, dy] : {std::pair{0, 0}, {2, 0}, {-2, 0}, {0, 2}, {0, -2}})
    EXPECT_EQ(s.Picture1.Point(cx + dx, cy + dy), s.barva) << dx << "," << dy;

  // Every painted pixel has the colour of row P + r of one cluster, and lies no
  // further from that cluster's centre than its radius plus the dot.
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
        const double d = std::hypot(x / px - k.i, y / py - k.j);
        ok |= row > k.p && row <= k.p + k.rr && d <= k.rr + 4.5;
      }
      bad += !ok;
    }
  }
  EXPECT_GT(painted, 5000);
  EXPECT_EQ(bad, 0);
}

}  // namespace
}  // namespace mirelune
