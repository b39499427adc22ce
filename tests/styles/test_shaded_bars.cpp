// Shaded bars: a bar darkening by 8 per line out to its edges,
// and the darkest lines of the last bar where its place and direction say.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "styles/styles.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::Fixture;
using testing::PaintRowStrip;
using testing::RowColour;

constexpr int kCallDraws = 2 * (4 + 20 * 3);

std::array<double, kCallDraws + 1> Draws(std::uint64_t state) {
  Generator g;
  g.set_state(state);
  std::array<double, kCallDraws + 1> u{};
  for (int k = 1; k <= kCallDraws; ++k) u[k] = g.Rnd();
  return u;
}

// The last bar of a call: cluster draws rr, P, i, j (65..68), bar draws nacin, r,
// fi (126..128). Checked for both directions: its outermost lines, ten units either
// side of its centre, carry the darkest colour, 88 below the row P + r per component.
TEST(ShadedBars, LastBarEdgesAreEightyEightDarkerThanItsRow) {
  Fixture f;
  PaintRowStrip(*f);
  f->barva = 12345;
  for (double dir : {1.0, 2.0}) {
    f->Picture1.SetBackColor(RGB(0, 0, 255));
    double x = 0, y = 0, r = 0, row = 0;
    std::uint64_t st = 0;
    while (true) {
      const auto u = Draws(++st);
      r = Int(u[127] * Int(u[65] * 40 + 50) + 1);
      const double fi = u[128] * 6.28;
      x = Int(u[67] * 900 + 1) + r * Sin(fi);
      y = Int(u[68] * 675 + 1) + r * Cos(fi);
      row = Int(u[66] * 500 + 1) + r;
      if (Int(u[126] * 2 + 1) == dir && x > 100 && y > 100 && x < 800 && y < 575) break;
    }
    f->rng.set_state(st);
    DrawShadedBars(*f);
    const Colour base = RowColour(static_cast<int>(row));
    const int red = base & 255, green = (base >> 8) & 255, blue = base >> 16;
    const Colour darkest = RGB(std::max(red - 88, 0), std::max(green - 88, 0), std::max(blue - 88, 0));
    const Surface& canvas = f->Picture1;
    if (dir == 1) {
      for (double dy : {-r, 0.0, r}) {
        EXPECT_EQ(canvas.Point(x + 10, y + dy), darkest) << st;
        EXPECT_EQ(canvas.Point(x - 10, y + dy), darkest) << st;
      }
    } else {
      for (double dx : {-r, 0.0, r}) {
        EXPECT_EQ(canvas.Point(x + dx, y + 10), darkest) << st;
        EXPECT_EQ(canvas.Point(x + dx, y - 10), darkest) << st;
      }
    }
    EXPECT_EQ(f->barva, 12345);
  }
}

// A uniform strip shows which shades a bar can have: 8 to 88 below the strip colour
// in steps of 8, each component floored at 0, and nothing else.
TEST(ShadedBars, ShadesRunInStepsOfEightAndStopAtBlack) {
  struct Case {
    Colour strip;
    std::vector<Colour> shades;
  };
  std::vector<Colour> greys, reds;
  for (int k = 1; k <= 11; ++k) greys.push_back(RGB(255 - 8 * k, 255 - 8 * k, 255 - 8 * k));
  for (int k = 1; k <= 11; ++k) reds.push_back(RGB(std::max(40 - 8 * k, 0), 0, 0));
  const Case cases[] = {{RGB(255, 255, 255), greys}, {RGB(40, 0, 0), reds}, {0, {0}}};
  Fixture f;
  for (const Case& c : cases) {
    f->Picture3.SetBackColor(c.strip);
    const Colour back = RGB(1, 2, 250);
    f->Picture1.SetBackColor(back);
    f->rng.set_state(99);
    DrawShadedBars(*f);
    std::vector<std::uint32_t> present = f->Picture1.image().pixels;
    std::sort(present.begin(), present.end());
    present.erase(std::unique(present.begin(), present.end()), present.end());
    std::vector<std::uint32_t> expected{static_cast<std::uint32_t>(back)};
    for (Colour s : c.shades) expected.push_back(static_cast<std::uint32_t>(s));
    std::sort(expected.begin(), expected.end());
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    EXPECT_EQ(present, expected) << c.strip;
  }
}

}  // namespace
}  // namespace mirelune
