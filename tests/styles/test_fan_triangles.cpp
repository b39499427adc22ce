// Fan triangles: eight draws, a hanging and a standing triangle of the right shape.
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

struct Triangle {
  double r, i, j, p0;
};
Triangle TriangleAt(const std::vector<double>& v, int t) {
  const std::size_t b = 4 * t;
  return {Int(v[b] * 150 + 300), Int(v[b + 1] * 900 + 1), Int(v[b + 2] * 675 + 1), Int(v[b + 3] * 500 + 1)};
}

// The strip row of a triangle's last line.
int LastRow(const Triangle& t) {
  double p = t.p0;
  for (int k = 0; k <= t.r; ++k) p += 0.3;
  return static_cast<int>(CInt(p));
}

TEST(FanTriangles, DrawsAndLeavesTheSecondTriangle) {
  State s;  // shared by the cases: each one resets the canvas and the generator
  for (std::uint64_t seed : {3ULL, 0x5555AAAA5555ULL, 0x8000000000000000ULL}) {
    SCOPED_TRACE(seed);
    Prepare(s, seed);
    s.Picture1.FillStyle = 0;
    s.Picture1.FillColor = 111;
    s.Picture1.ForeColor = 222;
    const Triangle second = TriangleAt(Replay(seed, 8), 1);

    const std::uint64_t before = s.rng.draws();
    DrawFanTriangles(s);
    EXPECT_EQ(s.rng.draws() - before, 8u);
    EXPECT_EQ(s.r, second.r);
    EXPECT_EQ(s.i, second.i);
    EXPECT_EQ(s.j, second.j);
    EXPECT_EQ(s.barva, RowColour(LastRow(second)));
    EXPECT_EQ(s.Picture1.FillStyle, 0);
    EXPECT_EQ(s.Picture1.FillColor, 111);
    EXPECT_EQ(s.Picture1.ForeColor, 222);
  }
}

// Two triangles wholly inside the canvas and apart from each other; the first
// has an odd base, so rounding its apex matters, and lies where half a unit
// lower is one pixel lower.
TEST(FanTriangles, ApexBelowThenApexAbove) {
  const Surface grid(kCanvasPixelsW, kCanvasPixelsH, kCanvasUnitsW, kCanvasUnitsH);
  const std::uint64_t seed = FindState(8, [&](const std::vector<double>& v) {
    const Triangle a = TriangleAt(v, 0), b = TriangleAt(v, 1);
    const double ay = a.j + Int(a.r / 2);
    if (Mod(a.r, 2) != 1 || grid.PixelY(ay + 0.5) == grid.PixelY(ay)) return false;
    const bool a_in = a.i + a.r < 895 && a.j + a.r / 2 < 670;
    const bool b_in = b.i + b.r < 895 && b.j - b.r / 2 > 5;
    const bool apart =
        a.i > b.i + b.r + 3 || b.i > a.i + a.r + 3 || a.j > b.j + 3 || b.j - b.r / 2 > a.j + a.r / 2 + 3;
    return a_in && b_in && apart;
  });
  State s;
  Prepare(s, seed);
  const auto v = Replay(seed, 8);
  const Triangle a = TriangleAt(v, 0), b = TriangleAt(v, 1);
  DrawFanTriangles(s);
  Surface& c = s.Picture1;

  for (int y = 0; y < kCanvasPixelsH; ++y) {
    for (int x = 0; x < kCanvasPixelsW; ++x) {
      const Colour px = static_cast<Colour>(c.image().at(x, y));
      if (px == kBack) continue;
      const int row = RowOf(px);
      ASSERT_TRUE((row >= a.p0 && row <= a.p0 + 136) || (row >= b.p0 && row <= b.p0 + 136)) << x << "," << y;
    }
  }

  // Hanging triangle: apex on whole units below the middle of the base, in the
  // colour of the last line; nothing below it, nothing outside its left side.
  const double ax = a.i + Int(a.r / 2), ay = a.j + Int(a.r / 2);
  EXPECT_EQ(c.Point(ax, ay), RowColour(LastRow(a)));
  for (long x = c.PixelX(ax) - 3; x <= c.PixelX(ax) + 3; ++x)
    EXPECT_EQ(c.image().at(static_cast<int>(x), static_cast<int>(c.PixelY(ay) + 1)),
              static_cast<std::uint32_t>(kBack));
  EXPECT_EQ(c.Point(a.i + 10, a.j + 20), kBack);
  EXPECT_NE(c.Point(a.i + 20, a.j + 10), kBack);
  EXPECT_LE(RowOf(c.Point(a.i, a.j)), a.p0 + 1);  // one of the first lines

  // Standing triangle: every line ends at its apex, the last one in `barva`.
  EXPECT_EQ(c.Point(b.i + b.r / 2, b.j - b.r / 2), s.barva);
  EXPECT_EQ(c.Point(b.i + b.r / 2, b.j - b.r / 2 - 3), kBack);
  EXPECT_EQ(c.Point(b.i + b.r, b.j), s.barva);
  EXPECT_EQ(c.Point(b.i + 10, b.j - 20), kBack);
  EXPECT_NE(c.Point(b.i + 20, b.j - 10), kBack);
}

TEST(FanTriangles, TrianglesAtOrFarPastTheEdges) {
  struct Case {
    const char* name;
    double sir, vis;
    int corner;  // 0 none, 1 both bases at the top, 2 both at the bottom
    bool canvas_untouched;
  };
  const Case cases[] = {
      {"bases on the bottom edge", 900, 675, 2, false},
      {"bases on the top edge", 900, 675, 1, false},
      {"far right and below", 1e9, 1e9, 0, true},
      {"far left and above", -1e9, -1e9, 0, true},
      {"a billion canvases away", 1e9 * 900, -1e9 * 675, 0, true},
  };
  State s;  // shared by the cases: each one resets the canvas and the generator
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::uint64_t seed = 77;
    if (c.corner) {
      seed = FindState(8, [&](const std::vector<double>& v) {
        return c.corner == 2 ? v[1] > 0.7 && v[2] > 0.99 && v[6] > 0.99 : v[2] < 0.01 && v[6] < 0.01;
      });
    }
    Prepare(s, seed);
    s.sir = c.sir;
    s.vis = c.vis;
    const std::uint64_t before = s.rng.draws();
    DrawFanTriangles(s);
    EXPECT_EQ(s.rng.draws() - before, 8u);
    EXPECT_EQ(Untouched(s.Picture1), c.canvas_untouched);
  }
}

}  // namespace
}  // namespace mirelune
