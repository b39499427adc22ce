// Extruded letters: the rounded character code, and the front copy whole and on top.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "styles/styles.h"
#include "style_test_util.h"

namespace mirelune {
namespace {

using testing::FindState;
using testing::Fixture;
using testing::PaintRowStrip;
using testing::RowColour;

struct Letter {
  double i, j, p;
  char znak;
};

// The meaning of one letter's four draws, replayed on a copy of the generator.
Letter NextLetter(Generator& g) {
  Letter l{};
  l.i = Int(g.Rnd() * 900 - 100);
  l.j = Int(g.Rnd() * 675 - 100);
  l.p = Int(g.Rnd() * 500 + 1);
  l.znak = static_cast<char>(CInt(g.Rnd() * 26 + 65));
  return l;
}

// The code draw is rounded, halves to even: the extremes give 'A' and '['.
TEST(ExtrudedLetters, CharacterCodeIsRoundedIntoAToBracket) {
  struct Case {
    double lo, hi;  // range of the second letter's code draw
    const char* expected;
  };
  const Case cases[] = {
      {0.0, 0.4 / 26, "A"}, {0.6 / 26, 1.4 / 26, "B"}, {24.6 / 26, 25.4 / 26, "Z"}, {25.6 / 26, 1.0, "["}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    const std::uint64_t st = FindState([&](Generator& g) {
      for (int k = 0; k < 7; ++k) g.Rnd();
      const double u = g.Rnd();
      return u >= c.lo && u < c.hi;
    });
    Fixture f;
    f->rng.set_state(st);
    DrawExtrudedLetters(*f);
    EXPECT_EQ(f->znak, c.expected);
  }
}

TEST(ExtrudedLetters, FrontCopyIsWholeAndOnTop) {
  // Second letter well inside the canvas, with a letter that has a solid body.
  const std::uint64_t st = FindState([](Generator& g) {
    NextLetter(g);
    const Letter l = NextLetter(g);
    return l.i >= 50 && l.i <= 450 && l.j >= 0 && l.j <= 200 && l.znak >= 'A' && l.znak <= 'Z';
  });
  Fixture f;
  State& s = *f;
  testing::Prepare(s, st, 0);
  Generator g = s.rng;
  NextLetter(g);
  const Letter l = NextLetter(g);
  DrawExtrudedLetters(s);

  // The same glyph printed alone in white at the front copy's place marks the
  // pixels it covers fully; on the canvas they must all hold the front colour.
  Surface ref(kCanvasPixelsW, kCanvasPixelsH, kCanvasUnitsW, kCanvasUnitsH);
  ref.SetBackColor(0);
  ref.FontName = "Times New Roman";
  ref.FontSize = 250;
  ref.ForeColor = 0xFFFFFF;
  ref.CurrentX = l.i + 20;
  ref.CurrentY = l.j + 20;
  ref.Print(std::string(1, l.znak));
  const auto front = static_cast<std::uint32_t>(RowColour(static_cast<int>(l.p) + 40));
  int solid = 0, wrong = 0;
  for (std::size_t k = 0; k < ref.image().pixels.size(); ++k) {
    if (ref.image().pixels[k] != 0xFFFFFFu) continue;
    ++solid;
    wrong += s.Picture1.image().pixels[k] != front;
  }
  if (solid == 0) GTEST_SKIP() << "no font renders here";
  EXPECT_GT(solid, 500);
  EXPECT_EQ(wrong, 0);
  // Behind the front, the copies cover pixels the front does not: the extrusion
  // reaches up and left of the front glyph.
  int behind = 0;
  for (std::size_t k = 0; k < ref.image().pixels.size(); ++k)
    behind += ref.image().pixels[k] == 0 && s.Picture1.image().pixels[k] != 0;
  EXPECT_GT(behind, 100);
}

}  // namespace
}  // namespace mirelune
