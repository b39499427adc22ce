// Whole cards: the greeting, the same names giving the same card, the names.
#include <gtest/gtest.h>

#include "card/card.h"
#include "commands/commands.h"
#include "files/files.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::Fixture;

constexpr Colour kBand = 250 + 256 * 250 + 65536 * 150;

void NewCard(Fixture& f, const std::string& friend_name, const std::string& own) {
  SetNamesAndSeed(*f, friend_name, own);
  DrawPaletteStrip(*f);
  MakeCard(*f);
}

TEST(CardText, BandAndBlueLineOnlyWithAnOwnName) {
  struct Case {
    const char *friend_name, *own;
    bool band;
  } cases[] = {{"Mary", "Bob", true}, {"Mary", "", false}, {"", "Bob", true}, {"", "", false}};
  for (const Case& c : cases) {
    Fixture f;
    f->Picture4.SetBackColor(0);
    f->tt = c.friend_name;
    f->t = c.own;
    DrawCardText(*f);
    EXPECT_EQ(f->Picture4.FontSize, 14);
    const Image& img = f->Picture4.image();
    EXPECT_EQ(f->Picture4.Point(6, 650) == kBand, c.band) << c.friend_name << "/" << c.own;
    EXPECT_EQ(f->Picture4.Point(894, 636) == kBand, c.band);
    EXPECT_EQ(f->Picture4.Point(4, 650), 0);
    EXPECT_EQ(f->Picture4.Point(897, 650), 0);
    EXPECT_EQ(f->Picture4.Point(450, 633), 0);  // nothing above the band
    if (c.band) {
      EXPECT_EQ(f->i, 896);
      int blue = 0;
      for (std::uint32_t p : img.pixels) blue += (p & 0xFFFF) == 0 && (p >> 16) > 150;
      EXPECT_GT(blue, 150) << "the greeting is written in blue";
    } else {
      EXPECT_EQ(testing::CountColour(img, 0), 896 * 671);
    }
  }
}

TEST(CardText, TheGreetingLine) {
  Fixture f;
  f->tt = "Mary";
  f->t = "Bob";
  EXPECT_EQ(GreetingLine(*f), "dear Mary, I wish you a happy new year 2017! Bob           mirelune.art ");
  f->tt = "";
  EXPECT_EQ(GreetingLine(*f).substr(0, 41), "dear , I wish you a happy new year 2017! ");
}

TEST(MakeCard, SameNamesGiveTheSameCardAndSwappedNamesTheSamePicture) {
  Fixture a, b, c;
  NewCard(a, "Mary", "Bob");
  NewCard(b, "Mary", "Bob");
  NewCard(c, "Bob", "Mary");
  EXPECT_EQ(a->Picture4.image(), b->Picture4.image());
  EXPECT_EQ(a->Picture6.image(), c->Picture6.image());
  // Above the band the cards agree; the band carries different greetings.
  const Image &x = a->Picture4.image(), &y = c->Picture4.image();
  for (int row = 0; row < 630; ++row)
    for (int col = 0; col < 896; ++col) ASSERT_EQ(x.at(col, row), y.at(col, row)) << col << "," << row;
  EXPECT_NE(x, y);
  EXPECT_EQ(a->imeslike, "GR-20170102090503");
}

TEST(MakeCard, TheSameNamesAgainInOneRunGiveTheSameCard) {
  Fixture f;
  NewCard(f, "Mary", "Bob");
  const Image first = f->Picture4.GetImage();
  NewCard(f, "Someone", "Else");
  NewCard(f, "Mary", "Bob");
  EXPECT_EQ(f->Picture4.image(), first);
}

TEST(MakeCard, CaseMattersAndEmptyNamesGiveTheAnonymousCard) {
  Fixture a, b, e;
  NewCard(a, "Mary", "Bob");
  NewCard(b, "mary", "Bob");
  NewCard(e, "", "");
  EXPECT_NE(a->Picture6.image(), b->Picture6.image());
  EXPECT_EQ(e->seed, 4396645);
  int band_row = 0;
  for (int x = 0; x < 896; ++x) band_row += e->Picture4.image().at(x, 650) == static_cast<std::uint32_t>(kBand);
  EXPECT_LT(band_row, 100);
}

TEST(MakeCard, StageDrawsAddUp) {
  Fixture f;
  SetNamesAndSeed(*f, "Mary", "Bob");
  const auto start = f->rng.draws();
  DrawPaletteStrip(*f);
  const auto strip = f->rng.draws() - start;
  MakeCard(*f);
  EXPECT_EQ(strip, 401u);
  EXPECT_EQ(f->rng.draws() - start,
            strip + f->stats.pass + f->stats.styles + f->stats.effect + f->stats.ornaments);
  EXPECT_GE(f->stats.ornaments, 2u + 2 * 400 + 2 * 400);
}

}  // namespace
}  // namespace mirelune
