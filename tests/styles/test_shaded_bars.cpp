// Shaded bars: 64 draws per cluster, a bar darkening by 8 per line out to its edges,
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
  f->Picture1.FillStyle = 1;
  f->Picture1.FillColor = RGB(7, 8, 9);
  f->barva = 12345;
  for (double dir : {1.0, 2.0}) {
    f->Picture1.SetBackColor(RGB(0, 0, 255));
    std::uint64_t st = 1;
    for (;; ++st) {
      const auto u = Draws(st);
      if (Int(u[126] * 2 + 1) != dir) continue;
      const double r = Int(u[127] * Int(u[65] * 40 + 50) + 1), fi = u[128] * 6.28;
      const double x = Int(u[67] * 900 + 1) + r * Sin(fi), y = Int(u[68] * 675 + 1) + r * Cos(fi);
      if (x > 100 && y > 100 && x < 800 && y < 575) break;
    }
    const auto u = Draws(st);
    f->rng.set_state(st);
    const auto before = f->rng.draws();
    DrawShadedBars(*f);
    EXPECT_EQ(f->rng.draws() - before, static_cast<std::uint64_t>(kCallDraws));
    EXPECT_EQ(f->nn, 3);
    EXPECT_EQ(f->kk, 11);
    EXPECT_EQ(f->rr, Int(u[65] * 40 + 50));
    EXPECT_EQ(f->i, Int(u[67] * 900 + 1));
    EXPECT_EQ(f->j, Int(u[68] * 675 + 1));
    EXPECT_EQ(f->nacin, dir);
    EXPECT_EQ(f->r, Int(u[127] * f->rr + 1));
    EXPECT_EQ(f->fi, u[128] * 6.28);

    const int row = static_cast<int>(Int(u[66] * 500 + 1) + f->r);
    const Colour base = RowColour(row);
    const int red = base & 255, green = (base >> 8) & 255, blue = base >> 16;
    EXPECT_EQ(f->re1, std::max(red - 88, 0));
    EXPECT_EQ(f->gr1, std::max(green - 88, 0));
    EXPECT_EQ(f->bl1, std::max(blue - 88, 0));
    EXPECT_EQ(f->barvap, base - red);  // what the colour split leaves behind
    const Colour darkest = RGB(f->re1, f->gr1, f->bl1);

    const double x = f->i + f->r * Sin(f->fi), y = f->j + f->r * Cos(f->fi);
    const Surface& canvas = f->Picture1;
    if (dir == 1) {
      for (double dy : {-f->r, 0.0, f->r}) {
        EXPECT_EQ(canvas.Point(x + 10, y + dy), darkest) << st;
        EXPECT_EQ(canvas.Point(x - 10, y + dy), darkest) << st;
      }
    } else {
      for (double dx : {-f->r, 0.0, f->r}) {
        EXPECT_EQ(canvas.Point(x + dx, y + 10), darkest) << st;
        EXPECT_EQ(canvas.Point(x + dx, y - 10), darkest) << st;
      }
    }
    EXPECT_EQ(canvas.FillStyle, 1);
    EXPECT_EQ(canvas.FillColor, RGB(7, 8, 9));
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

TEST(ShadedBars, FarOffCanvasClustersAreClipped) {
  struct Case { double sir, vis; } cases[] = {{-3000, 100}, {1e6, -1e6}, {5e9, 5e9}};
  Fixture f;
  PaintRowStrip(*f);
  for (const Case& c : cases) {
    f->Picture1.SetBackColor(RGB(0, 0, 255));
    f->sir = c.sir;
    f->vis = c.vis;
    f->rng.set_state(17);
    const auto before = f->rng.draws();
    DrawShadedBars(*f);
    EXPECT_EQ(f->rng.draws() - before, static_cast<std::uint64_t>(kCallDraws));
    EXPECT_EQ(testing::CountColour(f->Picture1.image(), RGB(0, 0, 255)), kCanvasPixelsW * kCanvasPixelsH)
        << c.sir;
  }
}

}  // namespace
}  // namespace mirelune
