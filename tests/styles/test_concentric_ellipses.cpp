// Concentric ellipses: the yield between the draws, and a disc of the right shape.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "style_test_util.h"
#include "styles/styles.h"

namespace mirelune {
namespace {

using testing::FindState;
using testing::Prepare;
using testing::Replay;
using testing::RowColour;
using testing::RowOf;
using testing::kBack;

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

// The window gets its turn once, after the place and before the colour is drawn;
// without a window the disc is drawn all the same.
TEST(ConcentricEllipses, YieldsOnceBetweenPlaceAndColour) {
  State s;
  Prepare(s, 0x1234567890ULL);
  ProbeHost host;
  host.rng = &s.rng;
  s.host = &host;
  DrawConcentricEllipses(s);
  EXPECT_EQ(host.draws_at_yield, std::vector<std::uint64_t>{4});

  State bare;
  Prepare(bare, 0x1234567890ULL);
  DrawConcentricEllipses(bare);
  EXPECT_EQ(bare.rng.draws(), 5u);
  EXPECT_EQ(bare.Picture1.image(), s.Picture1.image());
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

}  // namespace
}  // namespace mirelune
