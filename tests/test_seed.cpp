// Names to seed: the formula, the code page, the dialogs.
#include <gtest/gtest.h>

#include "card/card.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::Fixture;

TEST(Seed, FollowsTheCharacterCodesOfTheJoinedNames) {
  struct Case {
    const char *friend_name, *own;
    double seed;
  } cases[] = {
      {"Mary", "Bob", 4396645 + 733 * 7},
      {"mary", "Bob", 4396645 + 765 * 7},
      {"Bob", "Mary", 4396645 + 733 * 7},  // swapped: same seed
      {"", "", 4396645},
      {"A", "", 4396645 + (65 + 1) * 1},
      {"\xE2\x82\xAC", "", 4396645 + 129},  // the euro sign is 128 in Windows-1252
      {"\xC3\xBC", "", 4396645 + 253},      // u-umlaut is 252
      {"\t", "", 4396645 + 10},                // a control character keeps its code
      {"\xC2\x80", "", 4396645 + 129},          // U+0080, not in Windows-1252: its code point
      {"\xD0\x9D", "", 4396645 + 1054},         // Cyrillic En, 1053
      {"\xE6\x9D\x8E", "", 4396645 + 26447},   // 26446
      {"\xEA\xB0\x80", "", 4396645 + 44033},   // Hangul, past the range of 16 bits signed
      {"\xF0\x9F\x8E\x89", "", 4396645 + 64},  // beyond the BMP: counts as '?'
  };
  for (const Case& c : cases) EXPECT_EQ(SeedFromNames(c.friend_name, c.own), c.seed) << c.friend_name << "/" << c.own;
}

TEST(Seed, LongestNamesStayExact) {
  const auto repeat = [](const char* c) {
    std::string s;
    for (int k = 0; k < 100; ++k) s += c;
    return s;
  };
  const std::string y100 = repeat("\xC3\xBF");  // y-diaeresis, code 255
  EXPECT_EQ(SeedFromNames(y100, y100), 4396645 + 200.0 * (255 * 200) + 200.0 * 200 * 200);
  const std::string top100 = repeat("\xEF\xBF\xBF");  // U+FFFF, the largest code: past 2^31 in all
  EXPECT_EQ(SeedFromNames(top100, top100), 4396645 + 200.0 * (65535 * 200) + 200.0 * 200 * 200);
}

TEST(Seed, NamesOutsideWindows1252GiveDistinctSeeds) {
  // Both pairs once counted every letter as '?' and gave 4411737.
  EXPECT_NE(SeedFromNames("\xD0\x9D\xD0\xB0\xD1\x82\xD0\xB0\xD0\xBB\xD1\x8C\xD1\x8F",
                          "\xD0\x94\xD0\xBC\xD0\xB8\xD1\x82\xD1\x80\xD0\xB8\xD0\xB9"),
            SeedFromNames("\xD0\xA2\xD0\xB0\xD1\x82\xD1\x8C\xD1\x8F\xD0\xBD\xD0\xB0",
                          "\xD0\x9D\xD0\xB8\xD0\xBA\xD0\xBE\xD0\xBB\xD0\xB0\xD0\xB9"));
  EXPECT_EQ(SeedCode(U'\u20AC'), 128);
  EXPECT_EQ(SeedCode(U'\u0178'), 159);
  EXPECT_EQ(SeedCode(U'\u0141'), 0x141);  // Polish L-stroke: in Windows-1250, not 1252
}

TEST(AskNamesAndSeed, AsksFriendThenOwnNameAtTheirPlaces) {
  Fixture f;
  f.host.answers = {"Mary", "Bob"};
  AskNamesAndSeed(*f);
  ASSERT_EQ(f.host.asked.size(), 2u);
  EXPECT_EQ(f.host.asked[0].prompt, "ENTER YOUR FRIEND'S NAME\rCASE SENSITIVE (Mary not equal mary)");
  EXPECT_EQ(f.host.asked[1].prompt, "ENTER YOUR NAME\rCASE SENSITIVE (Mary not equal mary)");
  EXPECT_EQ(f.host.asked[0].title, "");
  EXPECT_EQ(f.host.asked[0].x, 33);
  EXPECT_EQ(f.host.asked[0].y, 200);
  EXPECT_EQ(f.host.asked[1].y, 400);
  EXPECT_EQ(f->tt, "Mary");
  EXPECT_EQ(f->t, "Bob");
  EXPECT_EQ(f->dolz, 7);
  EXPECT_EQ(f->seed, 4396645 + 733 * 7);
  EXPECT_EQ(f->znak, "b");
}

TEST(AskNamesAndSeed, ANameOverOneHundredCharactersIsAskedAgain) {
  Fixture f;
  std::string umlauts;
  for (int k = 0; k < 100; ++k) umlauts += "\xC3\xBC";  // 100 characters, 200 bytes
  f.host.answers = {std::string(101, 'x'), std::string(150, 'y'), umlauts, std::string(100, 'z')};
  AskNamesAndSeed(*f);
  EXPECT_EQ(f.host.asked.size(), 4u);
  EXPECT_EQ(f.host.asked[2].prompt, f.host.asked[0].prompt);
  EXPECT_EQ(f->tt, umlauts);
  EXPECT_EQ(f->t, std::string(100, 'z'));
  EXPECT_EQ(f->dolz, 200);
}

TEST(AskNamesAndSeed, CancelGivesEmptyNamesAndTheAnonymousSeed) {
  Fixture f;
  f.host.answers = {"", ""};  // both dialogs cancelled
  AskNamesAndSeed(*f);
  EXPECT_EQ(f->seed, 4396645);
  EXPECT_EQ(f->dolz, 0);
}

TEST(AskNamesAndSeed, ResetsTheGeneratorWhateverWasDrawnBefore) {
  Fixture a, b;
  for (int k = 0; k < 77; ++k) b->rng.Rnd();
  a.host.answers = {"Ann", "Eve"};
  b.host.answers = {"Ann", "Eve"};
  AskNamesAndSeed(*a);
  AskNamesAndSeed(*b);
  EXPECT_EQ(a->rng.state(), b->rng.state());
}

TEST(SeedNewImage, FoldsTheClockInWithoutAReset) {
  Fixture a, b;
  a->tekst = b->tekst = 0;
  b.host.timer += 1;
  SeedNewImage(*a);
  SeedNewImage(*b);
  EXPECT_NE(a->rng.state(), b->rng.state());
  Fixture c;
  c->tekst = 1;
  const auto before = c->rng.state();
  SeedNewImage(*c);
  EXPECT_EQ(c->rng.state(), before);
}

}  // namespace
}  // namespace mirelune
