// Square clusters: data-dependent draw count, solid fill and the square side left in
// `d` for whatever runs next, squares coloured and sized by their distance.
#include <gtest/gtest.h>

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
  c.rr = Int(g.Rnd() * 40 + 70);
  c.i = Int(g.Rnd() * 900 + 1);
  c.j = Int(g.Rnd() * 675 + 1);
  c.p = Int(g.Rnd() * 500 + 1);
  return c;
}

struct Replay {
  Cluster a, b;
  double last_r, last_fi;
  std::uint64_t draws, state;
};

Replay ReplayCall(Generator g) {
  Replay out{};
  const std::uint64_t start = g.draws();
  out.a = NextCluster(g);
  for (double k = 0; k < out.a.rr * 2 * 2; ++k) g.Rnd();
  out.b = NextCluster(g);
  for (double k = 0; k < out.b.rr * 2 * 2 - 2; ++k) g.Rnd();
  out.last_r = Int(g.Rnd() * out.b.rr + 1);
  out.last_fi = g.Rnd() * 6.28;
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

int RowOf(std::uint32_t c) {
  const int r = c & 255, g = (c >> 8) & 255, b = (c >> 16) & 255;
  if (b != 200 || g < 1 || (g - 1) % 40 != 0) return -1;
  return r + 256 * ((g - 1) / 40);
}

TEST(SquareClusters, DrawCountFollowsTheRadiiAndSideIsLeftInD) {
  for (std::uint64_t st : {0x3ULL, 0x13579BDFULL, 0xA5A5A5A5A5ULL}) {
    SCOPED_TRACE(st);
    Fixture f;
    State& s = *f;
    PaintRowStrip(s);
    s.d = 2;  // as the generation pass leaves it
    s.Picture1.FillStyle = 1;
    s.rng.set_state(st);
    const Replay want = ReplayCall(s.rng);
    EXPECT_EQ(want.draws, 8 + 4 * (want.a.rr + want.b.rr));

    DrawSquareClusters(s);
    EXPECT_EQ(s.rng.draws(), want.draws);
    EXPECT_EQ(s.rng.state(), want.state);
    EXPECT_EQ(s.nn, 3);
    EXPECT_EQ(s.rr, want.b.rr);
    EXPECT_EQ(s.i, want.b.i);
    EXPECT_EQ(s.j, want.b.j);
    EXPECT_EQ(s.r, want.last_r);
    EXPECT_EQ(s.fi, want.last_fi);
    EXPECT_EQ(s.d, Int(want.last_r / 3 + 5));
    EXPECT_GE(s.d, 5);
    EXPECT_LE(s.d, 41);
    const Colour last = RowColour(static_cast<int>(want.b.p + want.last_r));
    EXPECT_EQ(s.barva, last);
    EXPECT_EQ(s.Picture1.FillStyle, 0);
    EXPECT_EQ(s.Picture1.FillColor, last);
  }
}

TEST(SquareClusters, SquaresAreColouredAndPlacedByDistance) {
  const std::uint64_t st = FindState([](Generator& g) {
    const Replay r = ReplayCall(g);
    return r.b.i > 120 && r.b.i < 730 && r.b.j > 120 && r.b.j < 500;
  });
  Fixture f;
  State& s = *f;
  PaintRowStrip(s);
  s.Picture1.SetBackColor(0);
  s.rng.set_state(st);
  const Replay want = ReplayCall(s.rng);
  DrawSquareClusters(s);

  // The last square lies on top, its top-left corner on the sampled point.
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

TEST(SquareClusters, ClustersOffTheEdgesAreClipped) {
  struct Case {
    const char* name;
    double lo, hi;  // range of the first cluster's centre draws
    double sir, vis;
  };
  const Case cases[] = {{"top-left", 0.0, 0.01, 900, 675},
                        {"bottom-right", 0.99, 1.0, 900, 675},
                        {"far away", 0.1, 1.0, 1e12, 1e12}};
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
    DrawSquareClusters(s);
    EXPECT_EQ(s.rng.draws(), want);
    if (c.sir > 1e6) {
      EXPECT_EQ(s.Picture1.image(), blank);
    } else {
      EXPECT_NE(s.Picture1.image(), blank);  // clipped, but there
    }
  }
}

}  // namespace
}  // namespace mirelune
