// Random walks: 60,004 draws per bundle, threads in consecutive rows, and the walker
// ends where the sum of its steps puts it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "styles/styles.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::Fixture;
using testing::PaintRowStrip;
using testing::RowColour;

constexpr std::uint64_t kBundleDraws = 4 + 30 * 1000 * 2;

// The second bundle's anchor and row, and where its last thread ends, computed
// from a copy of the generator: a then b per step, the step before the dot.
struct LastThread {
  double nacin, i0, j0, p, end_i, end_j;
};

LastThread Replay(std::uint64_t state) {
  Generator g;
  g.set_state(state);
  for (std::uint64_t k = 0; k < kBundleDraws; ++k) g.Rnd();
  LastThread t{};
  t.nacin = Int(g.Rnd() * 2 + 1);
  t.i0 = Int(g.Rnd() * 900 + 1);
  t.j0 = Int(g.Rnd() * 675 + 1);
  t.p = Int(g.Rnd() * 500 + 1);
  for (int k = 0; k < 29 * 1000 * 2; ++k) g.Rnd();
  t.end_i = t.nacin == 1 ? t.i0 + 150 : t.i0;
  t.end_j = t.nacin == 1 ? t.j0 : t.j0 + 150;
  for (int m = 0; m < 1000; ++m) {
    t.end_i += Int(g.Rnd() * 3 - 1);
    t.end_j += Int(g.Rnd() * 3 - 1);
  }
  return t;
}

// Both row directions: draw count, state left, and the last dot at the walker's end
// in the colour of row P + 30.
TEST(RandomWalks, DrawsStateAndLastDotForBothDirections) {
  Fixture f;
  PaintRowStrip(*f);
  for (double dir : {1.0, 2.0}) {
    f->Picture1.SetBackColor(0);
    std::uint64_t st = 1;
    LastThread t = Replay(st);
    // The first state whose second bundle runs this way and ends on the canvas.
    while (t.nacin != dir || t.end_i < 3 || t.end_j < 3 || t.end_i > 896 || t.end_j > 671) t = Replay(++st);
    f->rng.set_state(st);
    const auto before = f->rng.draws();
    DrawRandomWalks(*f);
    EXPECT_EQ(f->rng.draws() - before, 2 * kBundleDraws) << dir;
    EXPECT_EQ(f->nn, 3);
    EXPECT_EQ(f->kk, 31);
    EXPECT_EQ(f->nacin, dir);
    EXPECT_EQ(f->i0, t.i0);
    EXPECT_EQ(f->j0, t.j0);
    EXPECT_EQ(f->i, t.end_i);
    EXPECT_EQ(f->j, t.end_j);
    const Colour c = RowColour(static_cast<int>(t.p + 30));
    EXPECT_EQ(f->barva, c);
    EXPECT_EQ(f->Picture1.FillStyle, 0);
    EXPECT_EQ(f->Picture1.FillColor, c);
    // A filled dot of radius 2 around the end point.
    for (double d : {-1.0, 0.0, 1.0}) {
      EXPECT_EQ(f->Picture1.Point(t.end_i + d, t.end_j), c);
      EXPECT_EQ(f->Picture1.Point(t.end_i, t.end_j + d), c);
    }
  }
}

// Each bundle shades through 30 consecutive rows and no others: with every thread
// on the canvas, exactly the colours of rows P+1..P+30 of both bundles appear.
TEST(RandomWalks, BundlesUseThirtyConsecutiveRows) {
  Fixture f;
  PaintRowStrip(*f);
  f->Picture1.SetBackColor(0);
  f->rng.set_state(11);
  Generator g;
  g.set_state(11);
  double rows[2];
  for (int b = 0; b < 2; ++b) {
    g.Rnd();
    g.Rnd();
    g.Rnd();
    rows[b] = Int(g.Rnd() * 500 + 1);
    for (int k = 0; k < 60000; ++k) g.Rnd();
  }
  DrawRandomWalks(*f);
  std::vector<std::uint32_t> present = f->Picture1.image().pixels;
  std::sort(present.begin(), present.end());
  present.erase(std::unique(present.begin(), present.end()), present.end());
  int seen = 0;
  for (int y = 1; y <= 670; ++y) {
    const bool used = (y > rows[0] && y <= rows[0] + 30) || (y > rows[1] && y <= rows[1] + 30);
    const bool shown = std::binary_search(present.begin(), present.end(), static_cast<std::uint32_t>(RowColour(y)));
    if (!used) {
      EXPECT_FALSE(shown) << y;
    }
    seen += shown;
  }
  // Only the background and row colours are on the canvas.
  EXPECT_LE(present.size(), 61u);
  // Threads that wander wholly off the canvas or under later ones may hide a row,
  // but most rows must show.
  EXPECT_GE(seen, 40);
}

TEST(RandomWalks, FarOffCanvasBundlesAreClipped) {
  struct Case { double sir, vis; } cases[] = {{-2000, -2000}, {5e8, 700}, {1e12, -1e12}};
  Fixture f;
  PaintRowStrip(*f);
  for (const Case& c : cases) {
    f->Picture1.SetBackColor(0);
    f->sir = c.sir;
    f->vis = c.vis;
    f->rng.set_state(3);
    const auto before = f->rng.draws();
    DrawRandomWalks(*f);
    EXPECT_EQ(f->rng.draws() - before, 2 * kBundleDraws);
    EXPECT_EQ(testing::CountColour(f->Picture1.image(), 0), kCanvasPixelsW * kCanvasPixelsH) << c.sir;
  }
}

}  // namespace
}  // namespace mirelune
