// The palette table, the strip and the splitting of colours.
#include <gtest/gtest.h>

#include "palette/palette.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::Fixture;

TEST(PaletteTable, HoldsTheTwentySixPalettesAndZerosElsewhere) {
  Fixture f;
  const auto& t = f->table;
  EXPECT_EQ(t[1][1][1], 246);
  EXPECT_EQ(t[26][10][3], 120);
  EXPECT_EQ(t[3][2][1], 0);
  EXPECT_EQ(t[3][2][2], 84);
  EXPECT_EQ(t[3][2][3], 1143);
  for (int c = 0; c <= 10; ++c)
    for (int k = 0; k <= 3; ++k) {
      EXPECT_EQ(t[27][c][k], 0);
      EXPECT_EQ(t[0][c][k], 0);
    }
  for (int p = 1; p <= 26; ++p) EXPECT_EQ(t[p][0][1] + t[p][0][2] + t[p][0][3] + t[p][4][0], 0) << p;
  for (int c = 1; c <= 10; ++c) EXPECT_EQ(t[8][c][1], 115 + 5 * c);  // the grey ramp
}

TEST(PaletteStrip, DrawsFourHundredAndOneInModeZeroAndFourHundredOtherwise) {
  for (double mode : {0.0, 1.0, 8.0, 26.0}) {
    Fixture f;
    f->colorr = mode;
    const auto before = f->rng.draws();
    DrawPaletteStrip(*f);
    EXPECT_EQ(f->rng.draws() - before, mode == 0 ? 401u : 400u) << mode;
    if (mode != 0) {
      EXPECT_EQ(f->tipp, mode);
    }
    EXPECT_EQ(f->n, 101);
    EXPECT_EQ(f->nn, f->rr + 1);
    EXPECT_EQ(f.host.events, 100);  // one yield per blob
  }
}

TEST(PaletteStrip, ModeZeroPicksThePaletteFromTheFirstDraw) {
  Fixture f;
  Generator g = f->rng;
  const double expected = Int(g.Rnd() * 26 + 1);
  DrawPaletteStrip(*f);
  EXPECT_EQ(f->tipp, expected);
}

TEST(PaletteStrip, GreyPaletteGivesGreysNoBrighterThan203) {
  Fixture f;
  f->colorr = 8;
  f->rng.Randomize(99);
  DrawPaletteStrip(*f);
  int brightest = 0;
  for (int y = 0; y < 671; ++y) {
    const Colour c = f->Picture3.Point(10, y);
    if (c == kDefaultBackColor) continue;  // a row no blob reached
    const int r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
    ASSERT_EQ(r, g) << y;
    ASSERT_EQ(g, b) << y;
    brightest = std::max(brightest, r);
  }
  EXPECT_LE(brightest, 203);
  EXPECT_GE(brightest, 160);
}

TEST(PaletteStrip, OverbrightBlueOfPaletteThreeStaysAt255) {
  // Colour 2 of palette 3 is (0, 84, 1143): every ring of such a blob has blue 255.
  Fixture f;
  f->colorr = 3;
  DrawPaletteStrip(*f);
  int blue255 = 0;
  for (int y = 0; y < 671; ++y)
    for (int x = 0; x < 21; ++x) {
      const Colour c = f->Picture3.Point(x, y);
      if ((c & 0xFF) == 0 && ((c >> 16) & 0xFF) == 255) ++blue255;
    }
  EXPECT_GT(blue255, 0);
}

TEST(PaletteStrip, SameGeneratorStateGivesTheSameStrip) {
  Fixture a, b;
  a->rng.Randomize(7);
  b->rng.Randomize(7);
  DrawPaletteStrip(*a);
  DrawPaletteStrip(*b);
  EXPECT_EQ(a->Picture3.image(), b->Picture3.image());
}

TEST(SplitColour, TakesAColourApart) {
  struct Case {
    double in;
    double r, g, b, left;
  } cases[] = {
      {0, 0, 0, 0, 0},
      {double(RGB(255, 255, 255)), 255, 255, 255, 256 * 255 + 65536 * 255},
      {-1, 0, 0, 0, 0},
      {double(RGB(1, 2, 3)), 1, 2, 3, 256 * 2 + 65536 * 3},
      {double(RGB(0, 84, 1143)), 0, 84, 255, 256 * 84 + 65536 * 255},
  };
  for (const Case& c : cases) {
    Fixture f;
    f->barvap = c.in;
    SplitColour(*f);
    EXPECT_EQ(f->re1, c.r) << c.in;
    EXPECT_EQ(f->gr1, c.g) << c.in;
    EXPECT_EQ(f->bl1, c.b) << c.in;
    EXPECT_EQ(f->barvap, c.left) << c.in;
  }
}

}  // namespace
}  // namespace mirelune
