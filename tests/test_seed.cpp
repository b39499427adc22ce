// Names to seed: the formula, the code page, the dialogs.
#include <gtest/gtest.h>

#include "card/card.h"
#include "test_util.h"

namespace mirelune {
namespace {


// The longest names, 200 characters of the largest code, pass 2^31 and stay exact.
TEST(Seed, FollowsTheCharacterCodesOfTheJoinedNames) {
  std::string y255, u65535;  // y-diaeresis, U+FFFF
  for (int k = 0; k < 100; ++k) y255 += "\xC3\xBF", u65535 += "\xEF\xBF\xBF";
  const struct { std::string friend_name, own; double seed; } cases[] = {
      {"Mary", "Bob", 4396645 + 733 * 7}, {"mary", "Bob", 4396645 + 765 * 7},
      {"Bob", "Mary", 4396645 + 733 * 7},  // swapped: same seed
      {"", "", 4396645}, {"A", "", 4396645 + (65 + 1) * 1},
      {"\xE2\x82\xAC", "", 4396645 + 129},  // the euro sign is 128 in Windows-1252
      {"\xC3\xBC", "", 4396645 + 253}, {"\xC5\xB8", "", 4396645 + 160},  // u-umlaut is 252, Y-diaeresis 159
      {"\xC5\x81", "", 4396645 + 0x142},    // Polish L-stroke: in Windows-1250, not 1252
      {"\t", "", 4396645 + 10}, {"\xC2\x80", "", 4396645 + 129},  // a control character, U+0080: their codes
      {"\xD0\x9D", "", 4396645 + 1054}, {"\xE6\x9D\x8E", "", 4396645 + 26447},  // Cyrillic En 1053; 26446
      {"\xEA\xB0\x80", "", 4396645 + 44033},  // Hangul, past the range of 16 bits signed
      {"\xF0\x9F\x8E\x89", "", 4396645 + 64},  // beyond the BMP: counts as '?'
      {"\xF0\x81\x80\x80", "", 4396645 + 4.0 * (65533 * 4) + 4 * 4 * 4},  // overlong U+1000: four U+FFFD
      {y255, y255, 4396645 + 200.0 * (255 * 200) + 200.0 * 200 * 200},
      {u65535, u65535, 4396645 + 200.0 * (65535 * 200) + 200.0 * 200 * 200},
  };
  for (const auto& c : cases) EXPECT_EQ(SeedFromNames(c.friend_name, c.own), c.seed) << c.friend_name << "/" << c.own;
}

TEST(SeedGenerator, ResetsTheGeneratorWhateverWasDrawnBefore) {
  Generator a, b;
  for (int k = 0; k < 77; ++k) b.Uniform();
  SeedGenerator(a, SeedFromNames("Ann", "Eve")), SeedGenerator(b, SeedFromNames("Ann", "Eve"));
  EXPECT_EQ(a.state(), b.state());
}

}  // namespace
}  // namespace mirelune
