// The raster: clipping, rounding of coordinates, the shapes' pixels, text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "raster/surface.h"
#include "text/text.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::CountColour;

constexpr Colour kRed = 0x0000FF, kBlue = 0xFF0000, kWhite = 0xFFFFFF;

// A black raster with one pixel per unit; shapes on it filled with `fill` unless it is -1 (transparent).
Surface PixelSurface(int w = 40, int h = 30, Colour fill = -1) {
  Surface s(w, h, w, h);
  s.SetBackground(0);
  if (fill != -1) s.fill_solid = true, s.fill_colour = fill;
  return s;
}

// The pixels a line lights, listed column by column: both ends, and on the minor
// axis the exact rounding of the ideal line with halves rounded up.
TEST(Surface, LinesLightExactlyTheRoundedPixelsClippedOrNot) {
  const struct { double x1, y1, x2, y2; const char* lit; } cases[] = {  // lit: on a 10 x 6 raster
      {2, 2, 5, 2, "2,2 3,2 4,2 5,2"},
      {3, 4, 3, 1, "3,1 3,2 3,3 3,4"},
      {0, 0, 4, 1, "0,0 1,0 2,1 3,1 4,1"},            // 0.5 at x = 2 rounds up
      {4, 1, 0, 0, "0,0 1,0 2,1 3,1 4,1"},            // either way round
      {0, 2, 4, 0, "0,2 1,2 2,1 3,1 4,0"},
      {0, 0, 1, 4, "0,0 0,1 1,2 1,3 1,4"},            // steep: rounded across
      {0, 0, 9, 4, "0,0 1,0 2,1 3,1 4,2 5,2 6,3 7,3 8,4 9,4"},
      {-1e6, 3, 1e6, 3, "0,3 1,3 2,3 3,3 4,3 5,3 6,3 7,3 8,3 9,3"},
      {-1e9, -1e9, 1e9, 1e9, "0,0 1,1 2,2 3,3 4,4 5,5"},
      {3, 3, 3, 3, "3,3"},
      {100, 100, 200, 200, ""},
  };
  for (const auto& c : cases) {
    Surface s = PixelSurface(10, 6);
    s.Line(c.x1, c.y1, c.x2, c.y2, kRed);
    std::string lit;
    for (int x = 0; x < 10; ++x)
      for (int y = 0; y < 6; ++y)
        if (s.ColourAt(x, y) == kRed) lit += {' ', static_cast<char>('0' + x), ',', static_cast<char>('0' + y)};
    EXPECT_EQ(lit.erase(0, 1), c.lit) << c.x1 << "," << c.y1 << " - " << c.x2 << "," << c.y2;
  }
  // A long shallow line drawn on a big raster, then on a small one that sees only
  // part of it: the common part must agree pixel for pixel.
  Surface big = PixelSurface(400, 300), small = PixelSurface();
  big.Line(-137, 3, 391, 26, kRed);
  small.Line(-137, 3, 391, 26, kRed);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) ASSERT_EQ(small.ColourAt(x, y), big.ColourAt(x, y)) << x << "," << y;
  EXPECT_GT(CountColour(small.image(), kRed), 30);
}

// Lines and ellipses as their definitions say, pixel by pixel, each pixel
// clipped on its own: the span drawing must light exactly these, on the raster
// or cut by its edges, for thin lines, rings and discs of every size, and for
// small ones after others of the same radii, or of one radius the same.
TEST(Surface, SpansLightThePixelsOfThePlainDefinitions) {
  std::uint64_t seed = 12345;
  const auto next = [&seed](long lo, long hi) {  // lo..hi
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return lo + static_cast<long>((seed >> 33) % static_cast<std::uint64_t>(hi - lo + 1));
  };
  const auto row_width = [](double rx, double ry, long k) -> long {  // -1 past the caps
    if (k > static_cast<long>(RoundEven(ry))) return -1;
    if (ry <= 0) return static_cast<long>(RoundEven(rx));
    const double t = static_cast<double>(k) / ry, u = 1.0 - t * t;
    return u > 0 ? static_cast<long>(RoundEven(rx * std::sqrt(u))) : 0;
  };
  const auto plain_ring = [&](Surface& s, long cx, long cy, double rx, double ry, Colour c) {
    for (long k = 0; row_width(rx, ry, k) >= 0; ++k) {
      const long wk = row_width(rx, ry, k), lo = std::min(wk, row_width(rx, ry, k + 1) + 1);
      for (long x = lo; x <= wk; ++x)
        for (long sx : {cx + x, cx - x})
          for (long sy : {cy - k, cy + k}) s.set_pixel(sx, sy, c);
    }
  };
  const auto plain_disc = [&](Surface& s, long cx, long cy, double rx, double ry, Colour c) {
    for (long k = 0; row_width(rx, ry, k) >= 0; ++k)
      for (long x = -row_width(rx, ry, k); x <= row_width(rx, ry, k); ++x)
        for (long sy : {cy - k, cy + k}) s.set_pixel(cx + x, sy, c);
  };
  for (int round = 0; round < 400; ++round) {
    Surface spans = PixelSurface(120, 90), plain = PixelSurface(120, 90);
    const long x0 = next(-60, 180), y0 = next(-60, 150), x1 = next(-60, 180), y1 = next(-60, 150);
    const long most = round % 2 ? 1600 : 256;  // every other round radii of fewer than 16 rows, mostly
    const double rx = static_cast<double>(next(0, most)) / 16, ry = static_cast<double>(next(0, most)) / 16;
    const double rz = round % 3 ? static_cast<double>(next(0, most)) / 16 : ry;
    spans.draw_line(x0, y0, x1, y1, kRed);
    spans.draw_ellipse(x1, y1, rx, ry, kWhite);
    spans.fill_ellipse(x0, y0, ry, rx, kBlue);
    spans.fill_ellipse(x1, y0, rz, rx, kRed);    // the last one's second radius
    spans.draw_ellipse(x0, y1, rz, rx, kWhite);  // the last one's radii
    const bool steep = std::labs(y1 - y0) > std::labs(x1 - x0);
    const long a0 = steep ? y0 : x0, b0 = steep ? x0 : y0, a1 = steep ? y1 : x1, b1 = steep ? x1 : y1;
    for (long a = std::min(a0, a1); a <= std::max(a0, a1); ++a) {  // both ends, halves rounded up
      const long da = a1 - a0, num = (a - a0) * 2 * (b1 - b0) + da;
      const long b = da == 0 ? b0 : b0 + static_cast<long>(std::floor(static_cast<double>(num) / (2.0 * da)));
      steep ? plain.set_pixel(b, a, kRed) : plain.set_pixel(a, b, kRed);
    }
    plain_ring(plain, x1, y1, rx, ry, kWhite);
    plain_disc(plain, x0, y0, ry, rx, kBlue);
    plain_disc(plain, x1, y0, rz, rx, kRed);
    plain_ring(plain, x0, y1, rz, rx, kWhite);
    ASSERT_EQ(spans.image(), plain.image()) << "line " << x0 << "," << y0 << " - " << x1 << "," << y1 << ", radii "
                                            << rx << ", " << ry << ", " << rz;
  }
}

TEST(Surface, BoxesAndCirclesOutlinedAndFilled) {
  Surface s = PixelSurface();
  s.Box(5, 5, 14, 10, kRed);  // transparent: outline only
  EXPECT_EQ(CountColour(s.image(), kRed), 2 * 10 + 2 * 4);
  EXPECT_EQ(s.ColourAt(8, 8), 0);
  s.fill_solid = true, s.fill_colour = kBlue;
  s.Box(20, 20, 29, 25, kRed);
  EXPECT_EQ(std::pair(s.ColourAt(24, 22), s.ColourAt(20, 22)), std::pair(kBlue, kRed));
  EXPECT_EQ(CountColour(s.image(), kBlue), 8 * 4);
  // A filled circle: the fill colour inside, the colour on the rim.
  s = PixelSurface(60, 60, kBlue);
  s.Circle(30, 30, 10, kRed);
  EXPECT_EQ(std::vector<Colour>({s.ColourAt(30, 30), s.ColourAt(40, 30), s.ColourAt(30, 20), s.ColourAt(41, 30)}),
            std::vector<Colour>({kBlue, kRed, kRed, 0}));
  s.Circle(5, 5, 0, kRed);  // radius 0: one pixel
  EXPECT_EQ(std::vector<Colour>({s.ColourAt(5, 5), s.ColourAt(4, 5), s.ColourAt(6, 5), s.ColourAt(5, 4), s.ColourAt(5, 6)}),
            std::vector<Colour>({kRed, 0, 0, 0, 0}));
}

// Ellipse radii follow the aspect rule; shapes far off the raster are ignored.
TEST(Surface, EllipseRadiiFollowTheAspectRuleAndFarShapesAreIgnored) {
  const struct { double r, aspect; int half_w, half_h; } cases[] = {
      {10, 1, 10, 10}, {10, 0.5, 10, 5}, {10, 2, 5, 10}, {12, 1.5, 8, 12}};
  for (const auto& c : cases) {
    Surface s = PixelSurface(60, 60);
    s.Circle(30, 30, c.r, kRed, c.aspect);
    int minx = 99, maxx = -1, miny = 99, maxy = -1;
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 60; ++x)
        if (s.ColourAt(x, y) == kRed)
          minx = std::min(minx, x), maxx = std::max(maxx, x), miny = std::min(miny, y), maxy = std::max(maxy, y);
    EXPECT_EQ(std::vector<int>({maxx - 30, 30 - minx, maxy - 30, 30 - miny}),
              std::vector<int>({c.half_w, c.half_w, c.half_h, c.half_h})) << c.r << "/" << c.aspect;
    EXPECT_EQ(s.ColourAt(30, 30), 0) << "outline only";
  }
  Surface s = PixelSurface(40, 30, kBlue);
  s.Circle(-5000, 20, 4000, kRed, 0.5);
  s.Circle(1e12, 1e12, 1e12, kRed);
  s.Circle(20, 15, 1e9, kRed);  // a rim far outside, the fill covers everything
  s.Box(-1e9, -1e9, 1e9, 1e9, kRed);
  s.Plot(-1, 0, kRed), s.Plot(40, 0, kRed);
  EXPECT_EQ(CountColour(s.image(), kBlue), 40 * 30);
}

}  // namespace
}  // namespace mirelune
