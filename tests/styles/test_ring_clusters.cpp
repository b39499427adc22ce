// Ring clusters: thick rings in their rows, shaken around the centre.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "style_test_util.h"
#include "styles/styles.h"

namespace mirelune {
namespace {

using testing::FindState;
using testing::Prepare;
using testing::Replay;
using testing::RowOf;
using testing::kBack;

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

}  // namespace
}  // namespace mirelune
