// Dot discs: data-dependent draw count, the fill settings left behind, dots coloured
// by their distance from the centre.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "styles/styles.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::Fixture;
using testing::PaintRowStrip;
using testing::RowColour;

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
  std::uint64_t draws, state;
};

Replay ReplayCall(Generator g) {
  Replay out{};
  const std::uint64_t start = g.draws();
  out.a = NextCluster(g);
  Skip(g, out.a.rr * 20 * 2);
  out.b = NextCluster(g);
  Skip(g, out.b.rr * 20 * 2 - 2);
  out.last_r = Int(g.Rnd() * out.b.rr + 1);
  g.Rnd();
  out.draws = g.draws() - start;
  out.state = g.state();
  return out;
}

template <class Ok>
std::uint64_t FindState(Ok ok) {
  for (std::uint64_t k = 1;; ++k) {
    const std::uint64_t st = k * 0x2545F4914F6CDD1DULL;
    Generator g;
    g.set_state(st);
    if (ok(g)) return st;
  }
}

// Strip row a canvas colour came from (RowColour's inverse), or -1.
int RowOf(std::uint32_t c) {
  const int r = c & 255, g = (c >> 8) & 255, b = (c >> 16) & 255;
  if (b != 200 || g < 1 || (g - 1) % 40 != 0) return -1;
  return r + 256 * ((g - 1) / 40);
}

TEST(DotDiscs, DrawCountFollowsTheRadiiAndFillIsLeftSolid) {
  for (std::uint64_t st : {0x1ULL, 0xABCDEF01ULL, 0x5EED5EED5EEDULL}) {
    SCOPED_TRACE(st);
    Fixture f;
    State& s = *f;
    PaintRowStrip(s);
    s.Picture1.FillStyle = 1;
    s.rng.set_state(st);
    const Replay want = ReplayCall(s.rng);
    EXPECT_EQ(want.draws, 8 + 40 * (want.a.rr + want.b.rr));

    DrawDotDiscs(s);
    EXPECT_EQ(s.rng.draws(), want.draws);
    EXPECT_EQ(s.rng.state(), want.state);
    EXPECT_EQ(s.nn, 3);
    EXPECT_EQ(s.rr, want.b.rr);
    EXPECT_EQ(s.i, want.b.i);
    EXPECT_EQ(s.j, want.b.j);
    EXPECT_EQ(s.r, want.last_r);
    EXPECT_GE(s.fi, 0);
    EXPECT_LT(s.fi, 6.28);
    const Colour last = RowColour(static_cast<int>(want.b.p + want.last_r));
    EXPECT_EQ(s.barva, last);
    EXPECT_EQ(s.Picture1.FillStyle, 0);
    EXPECT_EQ(s.Picture1.FillColor, last);
  }
}

TEST(DotDiscs, DotsLieInRingsColouredByDistance) {
  const std::uint64_t st = FindState([](Generator& g) {
    const Replay r = ReplayCall(g);
    return r.b.i > 100 && r.b.i < 800 && r.b.j > 100 && r.b.j < 575;
  });
  Fixture f;
  State& s = *f;
  PaintRowStrip(s);
  s.Picture1.SetBackColor(0);
  s.rng.set_state(st);
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

TEST(DotDiscs, ClustersOffTheEdgesAreClipped) {
  struct Case {
    const char* name;
    double lo, hi;  // range of the first cluster's centre draws
    double sir, vis;
  };
  const Case cases[] = {{"top-left", 0.0, 0.01, 900, 675},
                        {"bottom-right", 0.99, 1.0, 900, 675},
                        {"far away", 0.1, 1.0, -1e12, 1e12}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::uint64_t st = FindState([&](Generator& g) {
      g.Rnd();
      const double u = g.Rnd(), v = g.Rnd();
      return u >= c.lo && u < c.hi && v >= c.lo && v < c.hi;
    });
    Fixture f;
    State& s = *f;
    PaintRowStrip(s);
    s.sir = c.sir;
    s.vis = c.vis;
    s.rng.set_state(st);
    const Image blank = s.Picture1.GetImage();
    const std::uint64_t want = ReplayCall(s.rng).draws;
    DrawDotDiscs(s);
    EXPECT_EQ(s.rng.draws(), want);
    if (c.sir < -1e6) {
      EXPECT_EQ(s.Picture1.image(), blank);
    } else {
      EXPECT_NE(s.Picture1.image(), blank);  // clipped, but there
    }
  }
}

}  // namespace
}  // namespace mirelune
