// The generation pass, the displacement effect and the ornament tree: draw
// counts and orders replayed from a copy of the generator, and pixel facts.
#include <gtest/gtest.h>

#include <cmath>

#include "card/card.h"
#include "commands/commands.h"
#include "effects/effects.h"
#include "styles/styles.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::Fixture;
using testing::PaintRowStrip;
using testing::RowColour;

// The pass's own draws: L, ffi, bb1..bb7, six anchors, 23 per attempt, f, d.
struct PassReplay {
  int attempts = 0;
  double f = 0, d = 0, L = 0;
  std::array<int, kStyleCount> flags{};
  explicit PassReplay(Generator g, double nnn) {
    L = Int(g.Rnd() * 600 + 1);
    for (int k = 0; k < 14; ++k) g.Rnd();
    int kksk;
    do {
      ++attempts;
      kksk = 0;
      for (int& fl : flags) kksk += fl = static_cast<int>(Int(g.Rnd() * 2));
    } while (!(kksk >= 1 && kksk <= nnn));
    f = Int(g.Rnd() * 13 + 1);
    d = Int(g.Rnd() * 3 + 1);
  }
};

TEST(GenerationPass, DrawsItsParametersInOrderAndCountsThem) {
  for (double nnn : {15.0, 24.0, 3.0}) {
    Fixture f;
    f->nnn = nnn;
    SetNamesAndSeed(*f, "Mary", "Bob");
    DrawPaletteStrip(*f);
    const PassReplay replay(f->rng, nnn);
    MakeCard(*f);
    EXPECT_EQ(f->stats.pass, 15u + 23u * replay.attempts + 2u) << nnn;
    EXPECT_EQ(f->stats.flags, replay.flags);
    EXPECT_EQ(f->stats.background_row, replay.L);
    EXPECT_EQ(f->f, replay.f);
    EXPECT_EQ(f->stats.offset_mode, replay.d);
    EXPECT_GE(f->kksk, 1);
    EXPECT_LE(f->kksk, nnn);
    EXPECT_EQ(f->no, Int(nnn / f->kksk) + 1);
    EXPECT_EQ(f->n, 401);  // the ornament counter ran last
  }
}

TEST(GenerationPass, OneStyleLimitRunsExactlyOneStyleTwice) {
  Fixture f;
  f->nnn = 1;
  f->rng.Randomize(3);
  DrawPaletteStrip(*f);
  MakeCard(*f);
  int chosen = 0;
  for (int fl : f->stats.flags) chosen += fl;
  EXPECT_EQ(chosen, 1);
  EXPECT_EQ(f->no, 2);
}

TEST(GenerationPass, PrintsOneMarkPerPassThenTheEffectsMarks) {
  Fixture f;
  SetNamesAndSeed(*f, "Ann", "Eve");
  DrawPaletteStrip(*f);
  MakeCard(*f);
  std::vector<std::string> expected(static_cast<std::size_t>(f->no), "lllll");
  expected.insert(expected.end(), 31, "#");
  EXPECT_EQ(f.host.progress, expected);
}

TEST(GenerationPass, KeepsThePlainPictureAndPaintsTheBackgroundFromTheStrip) {
  Fixture f;
  f->nnn = 1;
  PaintRowStrip(*f);
  // With one style, only its figures cover the background: most of the plain
  // picture is the colour of row L.
  Generator g = f->rng;
  const int L = static_cast<int>(Int(g.Rnd() * 600 + 1));
  MakeCard(*f);
  EXPECT_LE(L, 600);
  const int background = testing::CountColour(f->Picture6.image(), RowColour(L));
  EXPECT_GT(background, 896 * 671 / 3);
  EXPECT_FALSE(f->Picture6.Visible);
  EXPECT_NE(f->Picture6.image(), f->Picture4.image());
}

// A state ready for single pixels: rule f, offset mode d, one vector of length
// r1 at angle 0 after the first advance.
void SetUpRule(State& s, double f, double d, double r1, double angle) {
  s.f = f;
  s.d = d;
  s.r1 = r1;
  s.r2 = s.r3 = 0;
  s.dfi1 = s.dfi2 = s.dfi3 = 0.001;
  s.fi1 = angle - 0.001;
  s.fi2 = s.fi3 = -0.001;
  s.d1 = s.d2 = s.d3 = 0;
  for (int y = 0; y < 671; ++y)
    for (int x = 0; x < 896; ++x) s.Picture2.set_pixel(x, y, static_cast<std::uint32_t>(RGB(x % 256, y % 256, x / 256)));
}

TEST(DisplacePixel, MovesByTheVectorsAndFoldsAtTheEdges) {
  struct Case {
    double i, j, r1, angle;
    double id, jd;
  } cases[] = {
      {100, 100, 10, 0, 110, 100},             // straight right
      {100, 100, 10, M_PI / 2, 100, 110},      // straight down
      {2, 50, 5, M_PI, 8, 50},                 // -3 is reflected to 8
      {890, 50, 10, 0, 890, 50},               // 900 is mirrored to 890
      {50, 668, 10, M_PI / 2, 50, 662},        // 678 is mirrored to 662
      {50, 3, 10, -M_PI / 2, 50, 12},          // -7 reflected to 12
  };
  for (const Case& c : cases) {
    Fixture f;
    SetUpRule(*f, 2, 1, c.r1, c.angle);
    f->i = c.i;
    f->j = c.j;
    f->cikel = 1;
    DisplacePixel(*f);
    EXPECT_EQ(f->id, c.id) << c.i << "," << c.j;
    EXPECT_EQ(f->jd, c.jd) << c.i << "," << c.j;
    EXPECT_EQ(f->Picture1.Point(c.i, c.j), f->Picture2.Point(c.id, c.jd));
    EXPECT_EQ(f->barva, f->Picture2.Point(c.id, c.jd));
  }
}

TEST(DisplacePixel, OffsetModesAddTheStoredDistances) {
  struct Case {
    double mode, id, jd;
  } cases[] = {{1, 110, 100}, {2, 110 + 4, 100 + 7}, {3, 110 + 7, 100 + 2}, {5, 110, 100}};
  for (const Case& c : cases) {
    Fixture f;
    SetUpRule(*f, 2, c.mode, 10, 0);
    f->d1 = 45;  // Int(45 / 10) = 4
    f->d2 = 79;
    f->d3 = 20;
    f->i = f->j = 100;
    f->cikel = 1;
    DisplacePixel(*f);
    EXPECT_EQ(f->id, c.id) << c.mode;
    EXPECT_EQ(f->jd, c.jd) << c.mode;
  }
}

TEST(DisplacePixel, DistanceRulesMeasureFromTheAnchors) {
  Fixture f;
  SetUpRule(*f, 12, 1, 10, 0);
  f->i1 = 103, f->j1 = 104;  // 3-4-5
  f->i2 = 100, f->j2 = 100;
  f->i3 = 400, f->j3 = 100;
  f->i = f->j = 100;
  f->cikel = 1;
  DisplacePixel(*f);
  EXPECT_EQ(f->d1, 5);
  EXPECT_EQ(f->d2, 0);
  EXPECT_EQ(f->d3, 300);
  EXPECT_EQ(f->id, CInt(100 + 10 * Sin(0.05)));
}

TEST(DisplacePixel, RuleFiveWithAZeroDivisorDropsThatVector) {
  Fixture f;
  SetUpRule(*f, 5, 1, 10, 0);
  f->r2 = 1;
  f->bb1 = 0;  // the first vector would divide by zero: it vanishes
  f->bb2 = 4;
  f->bb3 = 1;
  f->fi2 = M_PI / 2 - 0.001;
  f->i = 300;
  f->j = 200;
  f->cikel = 1;
  DisplacePixel(*f);
  // Unit row 200 is pixel row 199, whose green on the pattern is 199.
  EXPECT_EQ((f->Picture2.Point(300, 200) >> 8) & 0xFF, 199);
  EXPECT_EQ(f->id, 300);
  EXPECT_EQ(f->jd, 250);  // 200 + 199 / 4
  EXPECT_EQ(f->di1, 0);
}

TEST(DisplacePixel, SecondSweepAddsBrightnessAndPixModeStores) {
  Fixture f;
  SetUpRule(*f, 2, 1, 0, 0);
  f->i = 50;
  f->j = 60;
  f->cikel = 2;
  f->drgb = -1000;  // everything clamps to black
  DisplacePixel(*f);
  EXPECT_EQ(f->Picture4.Point(50, 60), 0);
  f->linepix = 2;
  f->drgb = 0;
  DisplacePixel(*f);
  const Colour src = f->Picture2.Point(50, 60);
  ASSERT_FALSE(f->colour_store.empty());
  EXPECT_EQ(static_cast<Colour>(f->colour_store[60 * 901 + 50]), src);
}

// Draws of one effect: 12 for the parameters, 6 per pixel and sweep under rule 3,
// and in "pix" mode the reveal: 3 per revealed pixel and 2 per rejected position.
TEST(DisplacementEffect, DrawCountsByRuleAndMode) {
  struct Case {
    double rule;
    std::int16_t linepix;
  } cases[] = {{2, 1}, {3, 1}, {13, 1}, {2, 2}};
  for (const Case& c : cases) {
    Fixture f;
    f->f = c.rule;
    f->d = 1;
    f->linepix = c.linepix;
    Generator replay = f->rng;
    for (int k = 0; k < 12; ++k) replay.Rnd();
    std::uint64_t expected = 12;
    if (c.rule == 3) expected += 6ull * 2 * 901 * 676;
    if (c.linepix == 2) {
      for (int k = 0; k < 6 * 2 * 901 * 676 && c.rule == 3; ++k) replay.Rnd();
      std::vector<std::uint8_t> marks(900 * 675, 0);
      for (int n = 0; n < 900 * 675; ++n) {
        int i, j;
        do {
          i = static_cast<int>(Int(900 * replay.Rnd()));
          j = static_cast<int>(Int(675 * replay.Rnd()));
          expected += 2;
        } while (marks[j * 900 + i]);
        marks[j * 900 + i] = 1;
        replay.Rnd();
        expected += 1;
      }
    }
    const auto before = f->rng.draws();
    ApplyDisplacementEffect(*f);
    EXPECT_EQ(f->rng.draws() - before, expected) << c.rule << "/" << c.linepix;
    EXPECT_EQ(f->cikel, 2);
    EXPECT_EQ(f->Picture4.FontSize, 8);
  }
}

TEST(DisplacementEffect, LineAndPixModesEndWithTheSamePicture) {
  Fixture a, b;
  for (Fixture* f : {&a, &b}) {
    SetNamesAndSeed(**f, "Mary", "Bob");
    DrawPaletteStrip(**f);
    (*f)->Picture1.SetBackColor(0x204060);
    (*f)->Picture1.Circle(300, 300, 200, 0x00FFFF, 0.6);
    (*f)->f = 6;
    (*f)->d = 1;
  }
  b->linepix = 2;
  ApplyDisplacementEffect(*a);
  ApplyDisplacementEffect(*b);
  EXPECT_EQ(a->Picture4.image(), b->Picture4.image());
  EXPECT_EQ(a->Picture1.image(), b->Picture1.image());
}

TEST(OrnamentTree, PlacesFourHundredBaublesInsideTheTriangle) {
  Fixture f;
  f->Picture1.SetBackColor(0);  // black samples: dim grey centres, black rims
  f->Picture4.SetBackColor(0x00FF00);
  f->rng.Randomize(11);
  // Replay: H, M, then per bauble its tries and its sampled point.
  Generator g = f->rng;
  const float h = static_cast<float>(g.Rnd()) * 40.0f + 70.0f;
  const double H = h, T = 675 - H, S = T / 2, M = Int(g.Rnd() * 200 + 600);
  std::uint64_t expected = 2;
  double last_i = 0, last_j = 0;
  for (int n = 0; n < 400; ++n) {
    double i, j;
    do {
      i = (M - S / 2) + g.Rnd() * S;
      j = (675 - T) + g.Rnd() * T;
      expected += 2;
    } while (!(std::fabs(i - M) <= (j - H) / 4));
    ASSERT_GE(i, M - S / 2);
    ASSERT_LE(i, M + S / 2);
    g.Rnd();
    g.Rnd();
    expected += 2;
    last_i = i, last_j = j;
  }
  const auto before = f->rng.draws();
  DrawOrnamentTree(*f);
  EXPECT_EQ(f->rng.draws() - before, expected);
  EXPECT_EQ(f->i1, M - S / 2);
  EXPECT_EQ(f->i2, M + S / 2);
  EXPECT_EQ(f->j1, H);
  EXPECT_EQ(f->i, last_i);
  EXPECT_EQ(f->j, last_j);
  EXPECT_EQ(f->n, 401);
  EXPECT_EQ(f->rk, 31);
  EXPECT_EQ(f->Picture1.FillStyle, 1);
  // The last bauble: a grey centre of 62..66 and black from radius 17 out.
  const Colour centre = f->Picture4.Point(last_i, last_j);
  EXPECT_TRUE(centre == RGB(66, 66, 66) || centre == RGB(62, 62, 62)) << std::hex << centre;
  EXPECT_EQ(f->Picture4.Point(last_i, last_j - 22), 0);
  // Nothing left of the box.
  for (int y = 0; y < 671; ++y)
    for (int x = 0; x < static_cast<int>(M - S / 2 - 33); ++x) ASSERT_EQ(f->Picture4.image().at(x, y), 0x00FF00u);
}

}  // namespace
}  // namespace mirelune

namespace mirelune {
namespace {

// The colour rules look their sines up; the lengths must be the formula's own.
TEST(DisplacePixel, ColourRulesGiveTheFormulasLengths) {
  for (double rule : {7.0, 8.0, 9.0, 10.0, 11.0}) {
    Fixture f;
    SetUpRule(*f, rule, 1, 60, 0);
    f->bb4 = 57;
    f->bb5 = 333;
    f->bb6 = 1999;
    f->i = 700;
    f->j = 300;
    f->cikel = 1;
    const Colour own = f->Picture2.Point(700, 300);
    const double r = own & 0xFF, g = (own >> 8) & 0xFF, b = (own >> 16) & 0xFF;
    const double v = rule == 7 ? Sin(r / 57) : rule == 8 ? Sin(r / 333) : rule == 9 ? Sin(g / 333)
                     : rule == 10 ? Sin(b / 333) : Sin((r + g + b) / 1999);
    DisplacePixel(*f);
    EXPECT_EQ(f->id, CInt(700 + 60 * v)) << rule;
    EXPECT_NE(v, 0) << rule;
  }
}

}  // namespace
}  // namespace mirelune
