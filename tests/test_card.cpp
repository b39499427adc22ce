// Whole cards: the band and the greeting, and the promises about names that no
// single golden card shows (swapped names, a card made again later in one run).
#include <gtest/gtest.h>

#include "card/card.h"
#include "commands/commands.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::Fixture;

constexpr Colour kBand = 250 + 256 * 250 + 65536 * 150;

TEST(CardText, BandAndBlueLineOnlyWithAnOwnName) {
  struct Case {
    const char *friend_name, *own;
    bool band;
  } cases[] = {{"Mary", "Bob", true}, {"Mary", "", false}, {"", "Bob", true}, {"", "", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.friend_name << "/" << c.own);
    Fixture f;
    f->Picture4.SetBackColor(0);
    f->tt = c.friend_name;
    f->t = c.own;
    DrawCardText(*f);
    // The band spans units 5..895 across and 635..665 down; nothing beyond it.
    EXPECT_EQ(f->Picture4.Point(6, 650) == kBand, c.band);
    EXPECT_EQ(f->Picture4.Point(894, 636) == kBand, c.band);
    EXPECT_EQ(f->Picture4.Point(4, 650), 0);
    EXPECT_EQ(f->Picture4.Point(897, 650), 0);
    EXPECT_EQ(f->Picture4.Point(450, 633), 0);
    EXPECT_EQ(f->Picture4.Point(450, 667), 0);
    int blue = 0;
    for (std::uint32_t p : f->Picture4.image().pixels) blue += (p & 0xFFFF) == 0 && (p >> 16) > 150;
    EXPECT_EQ(blue > 150, c.band) << "the greeting is written in blue";
  }
}

TEST(CardText, TheGreetingLine) {
  Fixture f;
  f->tt = "Mary";
  f->t = "Bob";
  EXPECT_EQ(GreetingLine(*f), "dear Mary, I wish you a happy new year 2017! Bob           mirelune.art ");
}

void NewCard(State& s, const std::string& friend_name, const std::string& own) {
  SetNamesAndSeed(s, friend_name, own);
  DrawPaletteStrip(s);
  MakeCard(s);
}

TEST(MakeCard, SwappedNamesGiveThePictureAndTheSameNamesLaterTheSameCard) {
  Fixture f;
  NewCard(*f, "Mary", "Bob");
  const Image first = f->Picture4.GetImage(), plain = f->Picture6.GetImage();
  NewCard(*f, "Bob", "Mary");
  EXPECT_EQ(f->Picture6.image(), plain);
  // Above the band the cards agree; the band carries another greeting.
  const Image& swapped = f->Picture4.image();
  for (int row = 0; row < 630; ++row)
    for (int col = 0; col < 896; ++col) ASSERT_EQ(swapped.at(col, row), first.at(col, row)) << col << "," << row;
  EXPECT_NE(swapped, first);
  NewCard(*f, "Mary", "Bob");
  EXPECT_EQ(f->Picture4.image(), first);
}

}  // namespace
}  // namespace mirelune
