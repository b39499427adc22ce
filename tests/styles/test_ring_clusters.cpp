// Ring clusters: draw order, what the call leaves behind, and where the rings lie.
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

constexpr std::size_t kPerCluster = 303;

struct Cluster {
  double i, j, p0;
};
Cluster ClusterAt(const std::vector<double>& v, int c) {
  const std::size_t b = c * kPerCluster;
  return {Int(v[b] * 900 + 1), Int(v[b + 1] * 675 + 1), Int(v[b + 2] * 500 + 1)};
}

// The colour of the outermost pixel of a circle of radius r around (x, y), in
// the direction (dx, dy) of one axis; the radius scales to pixels per axis.
Colour Extreme(const Surface& canvas, double x, double y, double r, int dx, int dy) {
  const long px = canvas.PixelX(x) + dx * static_cast<long>(CInt(r * kCanvasPixelsW / kCanvasUnitsW));
  const long py = canvas.PixelY(y) + dy * static_cast<long>(CInt(r * kCanvasPixelsH / kCanvasUnitsH));
  return static_cast<Colour>(canvas.image().at(static_cast<int>(px), static_cast<int>(py)));
}

TEST(RingClusters, DrawsAndLeavesTheLastRing) {
  State s;  // shared by the cases: each one resets the canvas and the generator
  for (std::uint64_t seed : {21ULL, 0xDEADBEEFCAFEULL, 0x0123456789ABCDEFULL}) {
    SCOPED_TRACE(seed);
    Prepare(s, seed);
    s.Picture1.FillStyle = 0;
    s.Picture1.FillColor = 987;
    s.Picture1.ForeColor = 654;
    const auto v = Replay(seed, 2 * kPerCluster);

    const std::uint64_t before = s.rng.draws();
    DrawRingClusters(s);
    EXPECT_EQ(s.rng.draws() - before, 606u);

    const Cluster second = ClusterAt(v, 1);
    double p = second.p0;
    for (int k = 0; k < 100; ++k) p += 0.3;
    EXPECT_EQ(s.nn, 3);
    EXPECT_EQ(s.i, second.i);
    EXPECT_EQ(s.j, second.j);
    EXPECT_EQ(s.r, Int(v[2 * kPerCluster - 3] * 40 + 50));
    EXPECT_EQ(s.barva, RowColour(static_cast<int>(CInt(p))));
    EXPECT_EQ(s.Picture1.FillStyle, 1);
    EXPECT_EQ(s.Picture1.FillColor, 987);
    EXPECT_EQ(s.Picture1.ForeColor, 654);
  }
}

// Two clusters wholly inside the canvas and apart from each other.
TEST(RingClusters, ThickRingsShakenAroundTheCentre) {
  const std::uint64_t seed = FindState(kPerCluster + 3, [](const std::vector<double>& v) {
    const Cluster a = ClusterAt(v, 0), b = ClusterAt(v, 1);
    const double dx = a.i - b.i, dy = a.j - b.j;
    return a.i > 120 && a.i < 775 && a.j > 120 && a.j < 550 && b.i > 120 && b.i < 775 && b.j > 120 &&
           b.j < 550 && dx * dx + dy * dy > 250 * 250;
  });
  State s;
  Prepare(s, seed);
  const auto v = Replay(seed, 2 * kPerCluster);
  DrawRingClusters(s);
  const Surface& c = s.Picture1;

  for (int n = 0; n < 2; ++n) {
    SCOPED_TRACE(n);
    const Cluster cl = ClusterAt(v, n);
    // Colours from the cluster's own 30 rows; nothing within 20 units of its
    // centre (a ring's centre may sit 20 units off in both directions), nothing
    // beyond 110.
    const int wrong_rows = [&] {
      int bad = 0;
      for (int y = 0; y < kCanvasPixelsH; ++y)
        for (int x = 0; x < kCanvasPixelsW; ++x) {
          const Colour px = static_cast<Colour>(c.image().at(x, y));
          const double ux = x * 900.0 / 896, uy = y * 675.0 / 671;
          const double dx = ux - cl.i, dy = uy - cl.j;
          if (px == kBack || dx * dx + dy * dy > 120 * 120) continue;
          bad += RowOf(px) < cl.p0 || RowOf(px) > cl.p0 + 30;
        }
      return bad;
    }();
    EXPECT_EQ(wrong_rows, 0);
    for (double dx = -15; dx <= 15; dx += 5) EXPECT_EQ(c.Point(cl.i + dx, cl.j + dx / 2), kBack);
    EXPECT_EQ(c.Point(cl.i - 113, cl.j), kBack);
    EXPECT_EQ(c.Point(cl.i + 113, cl.j), kBack);
    EXPECT_EQ(c.Point(cl.i, cl.j - 113), kBack);
    EXPECT_EQ(c.Point(cl.i, cl.j + 113), kBack);
  }

  // The last ring lies on top: its left, right and top extremes, one from each copy.
  const Cluster b = ClusterAt(v, 1);
  const double a_off = Int(v[2 * kPerCluster - 2] * 41 - 20), b_off = Int(v[2 * kPerCluster - 1] * 41 - 20);
  const double x0 = b.i + a_off, y0 = b.j + b_off;
  EXPECT_EQ(Extreme(c, x0, y0, s.r, -1, 0), s.barva);
  EXPECT_EQ(Extreme(c, x0, y0, s.r, 0, -1), s.barva);
  EXPECT_EQ(Extreme(c, x0 + 1, y0, s.r, 1, 0), s.barva);
  EXPECT_EQ(Extreme(c, x0, y0 + 1, s.r, 0, 1), s.barva);
}

TEST(RingClusters, ClustersAtOrFarPastTheEdges) {
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
      seed = FindState(2, [&](const std::vector<double>& v) {
        return c.corner == 2 ? v[0] > 0.995 && v[1] > 0.995 : v[0] < 0.005 && v[1] < 0.005;
      });
    }
    Prepare(s, seed);
    s.sir = c.sir;
    s.vis = c.vis;
    const std::uint64_t before = s.rng.draws();
    DrawRingClusters(s);
    EXPECT_EQ(s.rng.draws() - before, 606u);
    EXPECT_EQ(Untouched(s.Picture1), c.canvas_untouched);
  }
}

}  // namespace
}  // namespace mirelune
