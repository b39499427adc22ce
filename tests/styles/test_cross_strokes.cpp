// Cross strokes: draws per call depend on the two cluster radii; the last stroke is
// drawn in the row P + r at its own place.
#include <gtest/gtest.h>

#include <cstdint>

#include "styles/styles.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::Fixture;
using testing::PaintRowStrip;
using testing::RowColour;

// What a call must draw, read from a copy of the generator: per cluster
// rr, i, j, P, nacin and two draws for each of rr * 10 strokes.
struct Expected {
  std::uint64_t draws = 0;
  double rr2 = 0, i2 = 0, j2 = 0, p2 = 0, nacin2 = 0;
};

Expected Replay(std::uint64_t state) {
  Generator g;
  g.set_state(state);
  Expected e;
  for (int cluster = 0; cluster < 2; ++cluster) {
    e.rr2 = Int(g.Rnd() * 40 + 50);
    e.i2 = Int(g.Rnd() * 900 + 1);
    e.j2 = Int(g.Rnd() * 675 + 1);
    e.p2 = Int(g.Rnd() * 500 + 1);
    e.nacin2 = Int(g.Rnd() * 3 + 1);
    for (int k = 0; k < e.rr2 * 10 * 2; ++k) g.Rnd();
    e.draws += 5 + static_cast<std::uint64_t>(e.rr2) * 20;
  }
  return e;
}

bool OnCanvas(double x, double y) { return x >= 0 && y >= 0 && x < 899 && y < 674; }

TEST(CrossStrokes, DrawCountFollowsTheRadiiAndSettingsStay) {
  Fixture f;
  f->Picture1.FillStyle = 1;
  f->Picture1.FillColor = RGB(1, 2, 3);
  for (std::uint64_t st : {1ull, 77ull, 0xDEADBEEFull, 123456789ull}) {
    f->rng.set_state(st);
    const Expected e = Replay(st);
    const auto before = f->rng.draws();
    DrawCrossStrokes(*f);
    EXPECT_EQ(f->rng.draws() - before, e.draws) << st;
    EXPECT_GE(e.draws, 2u * (5 + 500));
    EXPECT_EQ(f->nn, 3);
    EXPECT_EQ(f->rr, e.rr2);
    EXPECT_EQ(f->i, e.i2);
    EXPECT_EQ(f->j, e.j2);
    EXPECT_EQ(f->nacin, e.nacin2);
    EXPECT_GE(f->r, 1);
    EXPECT_LE(f->r, f->rr);
    EXPECT_EQ(f->Picture1.FillStyle, 1);
    EXPECT_EQ(f->Picture1.FillColor, RGB(1, 2, 3));
  }
}

// For each stroke kind, the last stroke of a call shows at its ends (vertical
// ends, horizontal ends, or all four) in the colour of row P + r.
TEST(CrossStrokes, LastStrokeEndsCarryTheRowOfItsDistance) {
  Fixture f;
  PaintRowStrip(*f);
  for (double kind : {1.0, 2.0, 3.0}) {
    bool found = false;
    for (std::uint64_t st = 1; st < 400 && !found; ++st) {
      const Expected e = Replay(st);
      if (e.nacin2 != kind) continue;
      f->Picture1.SetBackColor(0);
      f->rng.set_state(st);
      DrawCrossStrokes(*f);
      double sn, cs;
      SinCos(f->fi, &sn, &cs);
      const double x = f->i + f->r * sn, y = f->j + f->r * cs;
      if (!OnCanvas(x - f->r, y - f->r) || !OnCanvas(x + f->r, y + f->r)) continue;
      found = true;
      const Colour c = RowColour(static_cast<int>(e.p2 + f->r));
      EXPECT_EQ(f->barva, c) << st;
      auto& canvas = f->Picture1;
      if (kind != 2) {
        EXPECT_EQ(canvas.Point(x, y - f->r), c) << st;
        EXPECT_EQ(canvas.Point(x, y + f->r), c) << st;
      }
      if (kind != 1) {
        EXPECT_EQ(canvas.Point(x - f->r, y), c) << st;
        EXPECT_EQ(canvas.Point(x + f->r, y), c) << st;
      }
    }
    EXPECT_TRUE(found) << kind;
  }
}

// Clusters far off the canvas (a stretched or negative canvas size) draw nothing
// and crash nothing, and still take the same draws.
TEST(CrossStrokes, FarOffCanvasClustersAreClipped) {
  struct Case { double sir, vis; } cases[] = {{-5000, -5000}, {1e6, 3000}, {2e9, -2e9}, {900, 675}};
  Fixture f;
  PaintRowStrip(*f);
  for (const Case& c : cases) {
    f->Picture1.SetBackColor(0);
    f->sir = c.sir;
    f->vis = c.vis;
    f->rng.set_state(42);
    const auto before = f->rng.draws();
    DrawCrossStrokes(*f);
    EXPECT_EQ(f->rng.draws() - before, Replay(42).draws);
    const int untouched = testing::CountColour(f->Picture1.image(), 0);
    if (c.sir == 900) {
      EXPECT_LT(untouched, kCanvasPixelsW * kCanvasPixelsH);
    } else {
      EXPECT_EQ(untouched, kCanvasPixelsW * kCanvasPixelsH) << c.sir;
    }
  }
}

}  // namespace
}  // namespace mirelune
