// Disc fans: draw order, what the call leaves behind, and the fan's shape.
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

constexpr std::size_t kPerFan = 804;

struct Fan {
  double fi0, i, j, p0;
};
Fan FanAt(const std::vector<double>& v, int f) {
  const std::size_t b = f * kPerFan;
  return {v[b] * 6.28, Int(v[b + 1] * 900 + 1), Int(v[b + 2] * 675 + 1), Int(v[b + 3] * 500 + 1)};
}

TEST(DiscFans, DrawsAndLeavesTheLastDisc) {
  State s;  // shared by the cases: each one resets the canvas and the generator
  for (std::uint64_t seed : {8ULL, 0x13579BDF2468ULL, 0x7FFFFFFFFFFFFFFFULL}) {
    SCOPED_TRACE(seed);
    Prepare(s, seed);
    s.Picture1.FillStyle = 1;
    s.Picture1.FillColor = 135;
    s.Picture1.ForeColor = 246;
    s.x = s.y = -7;  // the disc's offsets are the call's own
    const auto v = Replay(seed, 2 * kPerFan);

    const std::uint64_t before = s.rng.draws();
    DrawDiscFans(s);
    EXPECT_EQ(s.rng.draws() - before, 1608u);

    const Fan second = FanAt(v, 1);
    double fi = second.fi0, p = second.p0;
    for (int k = 0; k < 800; ++k) {
      fi += 0.006;
      p += 0.3;
      if (p > 670) p = 670;
    }
    EXPECT_EQ(s.nn, 3);
    EXPECT_EQ(s.fi, fi);
    EXPECT_EQ(s.i, second.i);
    EXPECT_EQ(s.j, second.j);
    EXPECT_EQ(s.r, Int(v[2 * kPerFan - 1] * 150 + 30));
    EXPECT_EQ(s.barva, RowColour(static_cast<int>(CInt(p))));
    EXPECT_EQ(s.Picture1.FillStyle, 0);
    EXPECT_EQ(s.Picture1.FillColor, s.barva);
    EXPECT_EQ(s.Picture1.ForeColor, 246);
    EXPECT_EQ(s.x, -7);
    EXPECT_EQ(s.y, -7);
  }
}

// A first fan that runs into the strip's limit, a second one well inside the
// canvas and far from the first.
TEST(DiscFans, DiscsFanOutAroundAHole) {
  const std::uint64_t seed = FindState(kPerFan + 4, [](const std::vector<double>& v) {
    const Fan a = FanAt(v, 0), b = FanAt(v, 1);
    const double dx = a.i - b.i, dy = a.j - b.j;
    return a.p0 > 440 && b.p0 < 400 && b.i > 200 && b.i < 700 && b.j > 200 && b.j < 475 &&
           dx * dx + dy * dy > 300 * 300;
  });
  State s;
  Prepare(s, seed);
  const auto v = Replay(seed, 2 * kPerFan);
  DrawDiscFans(s);
  const Fan a = FanAt(v, 0), b = FanAt(v, 1);
  const Surface& c = s.Picture1;

  int row670 = 0;
  for (int y = 0; y < kCanvasPixelsH; ++y) {
    for (int x = 0; x < kCanvasPixelsW; ++x) {
      const Colour px = static_cast<Colour>(c.image().at(x, y));
      if (px == kBack) continue;
      const int row = RowOf(px);
      ASSERT_TRUE((row >= a.p0 && row <= 670) || (row >= b.p0 && row <= b.p0 + 240)) << x << "," << y;
      row670 += row == 670;
    }
  }
  EXPECT_GT(row670, 0);

  // The last disc lies on top, filled in its colour; cosine runs along x.
  const double lx = b.i + s.r * Cos(s.fi), ly = b.j + s.r * Sin(s.fi);
  EXPECT_EQ(c.Point(lx, ly), s.barva);
  EXPECT_EQ(c.Point(lx + 5, ly), s.barva);
  EXPECT_EQ(c.Point(lx, ly - 5), s.barva);

  // An empty hole at the centre, and an open gap behind the last disc.
  EXPECT_EQ(c.Point(b.i, b.j), kBack);
  EXPECT_EQ(c.Point(b.i + 15, b.j - 10), kBack);
  const double gap = b.fi0 + 4.8 + (6.2832 - 4.8) / 2;
  EXPECT_EQ(c.Point(b.i + 100 * Cos(gap), b.j + 100 * Sin(gap)), kBack);
}

TEST(DiscFans, FansAtOrFarPastTheEdges) {
  struct Case {
    const char* name;
    double sir, vis;
    int corner;  // 0 none, 1 top-left, 2 bottom-right
    bool canvas_untouched;
  };
  const Case cases[] = {
      {"bottom-right corner", 900, 675, 2, false},
      {"top-left corner", 900, 675, 1, false},
      {"far right and below", 1e9, 1e9, 0, true},
      {"far left and above", -1e9, -1e9, 0, true},
      {"a billion canvases away", 1e9 * 900, -1e9 * 675, 0, true},
  };
  State s;  // shared by the cases: each one resets the canvas and the generator
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::uint64_t seed = 77;
    if (c.corner) {
      seed = FindState(3, [&](const std::vector<double>& v) {
        return c.corner == 2 ? v[1] > 0.995 && v[2] > 0.995 : v[1] < 0.005 && v[2] < 0.005;
      });
    }
    Prepare(s, seed);
    s.sir = c.sir;
    s.vis = c.vis;
    const std::uint64_t before = s.rng.draws();
    DrawDiscFans(s);
    EXPECT_EQ(s.rng.draws() - before, 1608u);
    EXPECT_EQ(Untouched(s.Picture1), c.canvas_untouched);
  }
}

}  // namespace
}  // namespace mirelune
