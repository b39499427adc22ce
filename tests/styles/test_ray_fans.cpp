// Ray fans: draw order, what the call leaves behind, and where the rays land.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "app/state.h"
#include "styles/styles.h"

namespace mirelune {
namespace {

// Every strip row gets its own colour, so a canvas pixel tells which row it came from.
Colour RowColour(int row) { return RGB(row % 256, row / 256 * 40, 7); }
int RowOf(Colour c) { return (c & 0xFF) + ((c >> 8) & 0xFF) / 40 * 256; }
constexpr Colour kBack = 0xC80000;  // blue 200: no strip row has it

void Prepare(State& s, std::uint64_t state) {
  for (int y = 0; y < kStripPixelsH; ++y)
    for (int x = 0; x < kStripPixelsW; ++x) s.Picture3.PSet(x, y, RowColour(y));
  s.Picture1.SetBackColor(kBack);
  s.rng.set_state(state);
}

bool Untouched(const Surface& canvas) {
  for (std::uint32_t px : canvas.image().pixels)
    if (px != static_cast<std::uint32_t>(kBack)) return false;
  return true;
}

std::vector<double> Replay(std::uint64_t state, std::size_t n) {
  Generator g;
  g.set_state(state);
  std::vector<double> v(n);
  for (double& x : v) x = g.Rnd();
  return v;
}

// The first state of a fixed walk whose first n draws satisfy `ok`.
std::uint64_t FindState(std::size_t n, const std::function<bool(const std::vector<double>&)>& ok) {
  for (std::uint64_t k = 1; k < 2'000'000; ++k) {
    const std::uint64_t st = k * 0x2545F4914F6CDD1DULL;
    if (ok(Replay(st, n))) return st;
  }
  ADD_FAILURE() << "no generator state fits";
  return 0;
}

constexpr std::size_t kPerFan = 2704;

struct Fan {
  double fi0, i, j, p0;
};
Fan FanAt(const std::vector<double>& v, int f) {
  const std::size_t b = f * kPerFan;
  return {v[b] * 6.28, Int(v[b + 1] * 900 + 1), Int(v[b + 2] * 675 + 1), Int(v[b + 3] * 500 + 1)};
}

// Row of the strip after `steps` advances of 0.2 with the limit at 670.
double RowAfter(double p, int steps) {
  for (int k = 0; k < steps; ++k) {
    p += 0.2;
    if (p > 670) p = 670;
  }
  return p;
}

TEST(RayFans, DrawsAndLeavesTheLastRay) {
  State s;  // shared by the cases: each one resets the canvas and the generator
  for (std::uint64_t seed : {11ULL, 0xABCDEF12345ULL, 0xFFFFFFFFFFFFFFFFULL}) {
    SCOPED_TRACE(seed);
    Prepare(s, seed);
    s.Picture1.FillStyle = 0;
    s.Picture1.FillColor = 123;
    s.Picture1.ForeColor = 456;
    s.x = s.y = -7;  // the ray's offsets are the call's own
    const auto v = Replay(seed, 2 * kPerFan);

    const std::uint64_t before = s.rng.draws();
    DrawRayFans(s);
    EXPECT_EQ(s.rng.draws() - before, 5408u);

    const Fan second = FanAt(v, 1);
    double fi = second.fi0;
    for (int k = 0; k < 900; ++k) fi += 0.005;
    EXPECT_EQ(s.nn, 3);
    EXPECT_EQ(s.fi, fi);
    EXPECT_EQ(s.i, second.i);
    EXPECT_EQ(s.j, second.j);
    EXPECT_EQ(s.r, Int(v[kPerFan + 4 + 3 * 899] * 100 + 80));
    EXPECT_EQ(s.barva, RowColour(static_cast<int>(CInt(RowAfter(second.p0, 900)))));
    EXPECT_EQ(s.Picture1.FillStyle, 0);
    EXPECT_EQ(s.Picture1.FillColor, 123);
    EXPECT_EQ(s.Picture1.ForeColor, 456);
    EXPECT_EQ(s.x, -7);
    EXPECT_EQ(s.y, -7);
  }
}

// A first fan that runs into the strip's limit, a second one well inside the
// canvas and far from the first: the rays' colours, the last ray and the gap.
TEST(RayFans, RaysSweepFromTheStartAngleInTheirRows) {
  const std::uint64_t seed = FindState(kPerFan + 4, [](const std::vector<double>& v) {
    const Fan a = FanAt(v, 0), b = FanAt(v, 1);
    const double dx = a.i - b.i, dy = a.j - b.j;
    return a.p0 > 490 && b.p0 < 400 && b.i > 200 && b.i < 700 && b.j > 200 && b.j < 475 &&
           dx * dx + dy * dy > 260 * 260;
  });
  State s;
  Prepare(s, seed);
  const auto v = Replay(seed, 2 * kPerFan);
  DrawRayFans(s);
  const Fan a = FanAt(v, 0), b = FanAt(v, 1);

  // Colours come from each fan's own run of rows; the first fan ends on row 670.
  int row670 = 0;
  for (int y = 0; y < kCanvasPixelsH; ++y) {
    for (int x = 0; x < kCanvasPixelsW; ++x) {
      const Colour c = static_cast<Colour>(s.Picture1.image().at(x, y));
      if (c == kBack) continue;
      const int row = RowOf(c);
      const bool in_a = row >= a.p0 && row <= 670;
      const bool in_b = row >= b.p0 && row <= b.p0 + 180;
      ASSERT_TRUE(in_a || in_b) << "pixel " << x << "," << y << " row " << row;
      row670 += row == 670;
    }
  }
  EXPECT_GT(row670, 0);

  // The last ray is drawn last: both its ends carry its colour.
  const double r = Int(v[kPerFan + 4 + 3 * 899] * 100 + 80);
  const double ea = Int(v[kPerFan + 5 + 3 * 899] * 11 - 5);
  const double eb = Int(v[kPerFan + 6 + 3 * 899] * 11 - 5);
  EXPECT_EQ(s.Picture1.Point(b.i + ea, b.j + eb), s.barva);
  EXPECT_EQ(s.Picture1.Point(b.i + r * Cos(s.fi), b.j + r * Sin(s.fi)), s.barva);

  // 40 units out (inside every ray, past the jitter): the middle of the sweep is
  // painted, the middle of the open gap is not. Cosine runs along x.
  const double mid = b.fi0 + 2.25, gap = b.fi0 + 4.5 + (6.2832 - 4.5) / 2;
  EXPECT_NE(s.Picture1.Point(b.i + 40 * Cos(mid), b.j + 40 * Sin(mid)), kBack);
  EXPECT_EQ(s.Picture1.Point(b.i + 40 * Cos(gap), b.j + 40 * Sin(gap)), kBack);
}

TEST(RayFans, FansAtOrFarPastTheEdges) {
  struct Case {
    const char* name;
    double sir, vis;
    bool low_corner, high_corner;
    bool canvas_untouched;
  };
  const Case cases[] = {
      {"bottom-right corner", 900, 675, false, true, false},
      {"top-left corner", 900, 675, true, false, false},
      {"far right and below", 1e9, 1e9, false, false, true},
      {"far left and above", -1e9, -1e9, false, false, true},
      {"a billion canvases away", 1e9 * 900, -1e9 * 675, false, false, true},
  };
  State s;  // shared by the cases: each one resets the canvas and the generator
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::uint64_t seed = 77;
    if (c.low_corner || c.high_corner) {
      seed = FindState(3, [&](const std::vector<double>& v) {
        return c.high_corner ? v[1] > 0.995 && v[2] > 0.995 : v[1] < 0.005 && v[2] < 0.005;
      });
    }
    Prepare(s, seed);
    s.sir = c.sir;
    s.vis = c.vis;
    const std::uint64_t before = s.rng.draws();
    DrawRayFans(s);
    EXPECT_EQ(s.rng.draws() - before, 5408u);
    EXPECT_EQ(Untouched(s.Picture1), c.canvas_untouched);
  }
}

}  // namespace
}  // namespace mirelune
