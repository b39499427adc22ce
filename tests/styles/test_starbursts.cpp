// Starbursts: rays of the drawn length pointing where the angle says, the last on top.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>

#include "styles/styles.h"
#include "style_test_util.h"

namespace mirelune {
namespace {

using testing::FindState;
using testing::Fixture;
using testing::PaintRowStrip;
using testing::RowColour;

struct Burst {
  double p, i, j;
  std::array<double, 210> rays;
};

Burst NextBurst(Generator& g) {
  Burst b{};
  b.p = Int(g.Rnd() * 500 + 1);
  b.i = Int(g.Rnd() * 900 + 1);
  b.j = Int(g.Rnd() * 675 + 1);
  for (double& r : b.rays) r = Int(g.Rnd() * 50 + 100);
  return b;
}

// Whether any pixel of the 3 x 3 block around a canvas point has colour c.
bool NearHas(const Surface& canvas, double x, double y, std::uint32_t c) {
  const long px = canvas.PixelX(x), py = canvas.PixelY(y);
  for (long dy = -1; dy <= 1; ++dy)
    for (long dx = -1; dx <= 1; ++dx) {
      const long qx = px + dx, qy = py + dy;
      if (qx >= 0 && qy >= 0 && qx < canvas.pixel_width() && qy < canvas.pixel_height() &&
          canvas.image().at(qx, qy) == c)
        return true;
    }
  return false;
}

bool NearAll(const Surface& canvas, double x, double y, std::uint32_t c) {
  const long px = canvas.PixelX(x), py = canvas.PixelY(y);
  for (long dy = -1; dy <= 1; ++dy)
    for (long dx = -1; dx <= 1; ++dx)
      if (canvas.image().at(px + dx, py + dy) != c) return false;
  return true;
}

TEST(Starbursts, RaysReachTheirDrawnLength) {
  // The second burst whole on the canvas and clear of the first; the probed rays
  // (0, pointing down, and 30) longer than their neighbours, so that what lies
  // near their tips is theirs alone.
  const std::uint64_t st = FindState([](Generator& g) {
    const Burst a = NextBurst(g), b = NextBurst(g);
    const auto& r = b.rays;
    return b.i > 160 && b.i < 740 && b.j > 160 && b.j < 515 && b.p <= 450 &&
           std::hypot(a.i - b.i, a.j - b.j) > 320 && r[1] < r[0] - 10 && r[209] < r[0] - 10 &&
           r[29] < r[30] - 10 && r[31] < r[30] - 10;
  });
  Fixture f;
  State& s = *f;
  testing::Prepare(s, st, 0);
  Generator g = s.rng;
  NextBurst(g);
  const Burst b = NextBurst(g);
  DrawStarbursts(s);

  const Surface& c = s.Picture1;
  const int p = static_cast<int>(b.p);
  // Every ray starts at the centre; the last one (angle about 6.27) is on top.
  EXPECT_EQ(c.Point(b.i, b.j), RowColour(p + 63));

  struct Probe {
    const char* name;
    int ray;
    double angle;
    int row;  // P + 10 * angle, rounded
  };
  const Probe probes[] = {{"first ray, straight down", 0, 0.0, p}, {"ray 30", 30, 0.9, p + 9}};
  for (const Probe& pr : probes) {
    SCOPED_TRACE(pr.name);
    const double len = b.rays[pr.ray];
    const double sx = Sin(pr.angle), cy = Cos(pr.angle);
    EXPECT_TRUE(NearHas(c, b.i + (len - 3) * sx, b.j + (len - 3) * cy,
                        static_cast<std::uint32_t>(RowColour(pr.row))));
    EXPECT_TRUE(NearAll(c, b.i + (len + 5) * sx, b.j + (len + 5) * cy, 0));
  }
}

}  // namespace
}  // namespace mirelune
