// Concentric ellipses: five draws around one yield, and a disc of the right shape.
#include <gtest/gtest.h>

#include <cmath>
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

struct Disc {
  double r, el, i, j, p0;
};
Disc DiscOf(const std::vector<double>& v) {
  return {Int(v[0] * 100 + 80), v[1] + 0.5, Int(v[2] * 900 + 1), Int(v[3] * 675 + 1), Int(v[4] * 500 + 1)};
}

// Records how many draws had been taken when the window got its turn.
struct ProbeHost : ScriptedHost {
  const Generator* rng = nullptr;
  std::vector<std::uint64_t> draws_at_yield;
  void DoEvents() override { draws_at_yield.push_back(rng->draws()); }
};

TEST(ConcentricEllipses, FiveDrawsAroundOneYield) {
  State s;  // shared by the cases: each one resets the canvas and the generator
  for (std::uint64_t seed : {5ULL, 0x1234567890ULL, 0xFEDCBA9876543210ULL}) {
    SCOPED_TRACE(seed);
    Prepare(s, seed);
    ProbeHost host;
    host.rng = &s.rng;
    s.host = &host;
    s.Picture1.FillStyle = 0;
    s.Picture1.FillColor = 321;
    s.Picture1.ForeColor = 654;
    const Disc d = DiscOf(Replay(seed, 5));

    const std::uint64_t before = s.rng.draws();
    DrawConcentricEllipses(s);
    EXPECT_EQ(s.rng.draws() - before, 5u);
    ASSERT_EQ(host.draws_at_yield.size(), 1u);
    EXPECT_EQ(host.draws_at_yield[0] - before, 4u);  // after the place, before the colour

    EXPECT_EQ(s.r, d.r);
    EXPECT_EQ(s.el, d.el);
    EXPECT_EQ(s.i, d.i);
    EXPECT_EQ(s.j, d.j);
    double p = d.p0;
    for (int k = 0; k <= d.r; ++k) p += 0.3;
    EXPECT_EQ(s.barva, RowColour(static_cast<int>(CInt(p))));
    EXPECT_EQ(s.Picture1.FillStyle, 1);
    EXPECT_EQ(s.Picture1.FillColor, 321);
    EXPECT_EQ(s.Picture1.ForeColor, 654);
  }
}

TEST(ConcentricEllipses, RunsWithoutAHost) {
  State s;
  Prepare(s, 99);
  const std::uint64_t before = s.rng.draws();
  DrawConcentricEllipses(s);
  EXPECT_EQ(s.rng.draws() - before, 5u);
  EXPECT_FALSE(Untouched(s.Picture1));
}

// A disc wholly inside the canvas, once wider than high and once taller than
// wide: its extent follows the aspect rule, its rim carries the last ring's
// colour, and every colour comes from the rows the rings walk through.
TEST(ConcentricEllipses, DiscShapeAndColours) {
  State s;  // shared by the cases: each one resets the canvas and the generator
  for (const bool wide : {true, false}) {
    SCOPED_TRACE(wide ? "wide" : "tall");
    const std::uint64_t seed = FindState(5, [&](const std::vector<double>& v) {
      const Disc d = DiscOf(v);
      return (d.el < 0.8) == wide && (d.el > 1.25) == !wide && d.i > 200 && d.i < 690 && d.j > 190 &&
             d.j < 480;
    });
    Prepare(s, seed);
    const Disc d = DiscOf(Replay(seed, 5));
    DrawConcentricEllipses(s);

    const Image& img = s.Picture1.image();
    for (int y = 0; y < kCanvasPixelsH; ++y) {
      for (int x = 0; x < kCanvasPixelsW; ++x) {
        const Colour c = static_cast<Colour>(img.at(x, y));
        if (c == kBack) continue;
        ASSERT_GE(RowOf(c), d.p0) << x << "," << y;
        ASSERT_LE(RowOf(c), d.p0 + 55) << x << "," << y;
      }
    }

    // Horizontal and vertical radius in drawing units.
    const double rx = d.el < 1 ? d.r : d.r / d.el, ry = d.el < 1 ? d.r * d.el : d.r;
    const long cy = s.Picture1.PixelY(d.j), cx = s.Picture1.PixelX(d.i);
    long right = -1, bottom = -1;
    for (int x = 0; x < kCanvasPixelsW; ++x)
      if (img.at(x, cy) != static_cast<std::uint32_t>(kBack)) right = x;
    for (int y = 0; y < kCanvasPixelsH; ++y)
      if (img.at(cx, y) != static_cast<std::uint32_t>(kBack)) bottom = y;
    // The shifted copies reach one unit further right and down.
    EXPECT_LE(std::labs(right - s.Picture1.PixelX(d.i + 1 + rx)), 1);
    EXPECT_LE(std::labs(bottom - s.Picture1.PixelY(d.j + 1 + ry)), 1);
    EXPECT_EQ(static_cast<Colour>(img.at(right, cy)), s.barva);
    EXPECT_EQ(static_cast<Colour>(img.at(cx, bottom)), s.barva);
    // The centre comes from the first few rings.
    EXPECT_LE(RowOf(static_cast<Colour>(img.at(cx, cy))), d.p0 + 2);
  }
}

TEST(ConcentricEllipses, DiscsAtOrFarPastTheEdges) {
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
      seed = FindState(4, [&](const std::vector<double>& v) {
        return c.corner == 2 ? v[2] > 0.995 && v[3] > 0.995 : v[2] < 0.005 && v[3] < 0.005;
      });
    }
    Prepare(s, seed);
    s.sir = c.sir;
    s.vis = c.vis;
    const std::uint64_t before = s.rng.draws();
    DrawConcentricEllipses(s);
    EXPECT_EQ(s.rng.draws() - before, 5u);
    EXPECT_EQ(Untouched(s.Picture1), c.canvas_untouched);
  }
}

}  // namespace
}  // namespace mirelune
