// Bar combs: draw order, what the call leaves behind, and the bars of each comb.
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

TEST(BarCombs, DrawsAndLeavesTheLastBars) {
  State s;  // shared by the cases: each one resets the canvas and the generator
  for (std::uint64_t seed : {4ULL, 0x2468ACE13579ULL, 0xC0FFEE0000000000ULL}) {
    SCOPED_TRACE(seed);
    Prepare(s, seed);
    s.Picture1.FillStyle = 0;
    s.Picture1.FillColor = 147;
    s.Picture1.ForeColor = 258;
    s.d = 2;  // the effect's offset mode: the combs' line offsets are their own
    const auto v = Replay(seed, 204);

    const std::uint64_t before = s.rng.draws();
    DrawBarCombs(s);
    EXPECT_EQ(s.rng.draws() - before, 204u);

    const Comb falling = CombAt(v, kFalling);
    EXPECT_EQ(s.i, falling.i);
    EXPECT_EQ(s.j, falling.j);
    EXPECT_EQ(s.r, Length(v, kFalling, 31));
    EXPECT_EQ(s.r1, Length(v, kLying, 31, 0));
    EXPECT_EQ(s.r2, Length(v, kLying, 31, 1));
    EXPECT_EQ(s.barva, RowColour(static_cast<int>(falling.p0) + 64));
    EXPECT_EQ(s.d, 2);
    EXPECT_EQ(s.Picture1.FillStyle, 0);
    EXPECT_EQ(s.Picture1.FillColor, 147);
    EXPECT_EQ(s.Picture1.ForeColor, 258);
  }
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

TEST(BarCombs, CombsAtOrFarPastTheEdges) {
  struct Case {
    const char* name;
    double sir, vis;
    int corner;  // 0 none, 1 top-left, 2 bottom-right (the upright comb)
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
      seed = FindState(2, [&](const std::vector<double>& v) {
        return c.corner == 2 ? v[0] > 0.995 && v[1] > 0.995 : v[0] < 0.005 && v[1] < 0.005;
      });
    }
    Prepare(s, seed);
    s.sir = c.sir;
    s.vis = c.vis;
    const std::uint64_t before = s.rng.draws();
    DrawBarCombs(s);
    EXPECT_EQ(s.rng.draws() - before, 204u);
    EXPECT_EQ(Untouched(s.Picture1), c.canvas_untouched);
  }
}

}  // namespace
}  // namespace mirelune
