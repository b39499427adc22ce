// Over a few hundred name pairs every style gets chosen, and the cards that
// between them run all 23 styles are made without a fault.
#include <gtest/gtest.h>

#include <array>
#include <bitset>
#include <vector>

#include "card/card.h"
#include "commands/commands.h"
#include "styles/styles.h"
#include "test_util.h"

namespace mirelune {
namespace {

const char* const kFirst[] = {"Mary", "Bob", "Ana", "Luka", "Sofia", "Marko", "Eva", "Jan", "Nina", "Tom",
                              "Zoe",  "Ivo", "Lea", "Max",  "Iris",  "Otto",  "Uma", "Ed",  "Kim",  "Rui"};
const char* const kSecond[] = {"Bob", "Alice", "Petra", "Jure", "Mila", "Oskar", "Tea", "Val", "Ines", "Gal",
                               "Ada", "Noah",  "Lina",  "Emil", "Vera"};

// The style flags the pass will choose for these names, from a copy of the generator.
std::bitset<kStyleCount> ChosenStyles(const std::string& friend_name, const std::string& sender) {
  Generator g;
  g.Rnd(-1);
  g.Randomize(SeedFromNames(friend_name, sender));
  for (int k = 0; k < 401 + 15; ++k) g.Rnd();  // the strip, then L, ffi, bb1..bb7 and the anchors
  std::bitset<kStyleCount> flags;
  do {
    flags.reset();
    for (int k = 0; k < kStyleCount; ++k) flags[k] = Int(g.Rnd() * 2) == 1;
  } while (!(flags.count() >= 1 && flags.count() <= 15));
  return flags;
}

TEST(ManyCards, EveryStyleIsChosenAndRunsInARealCard) {
  struct Pair {
    std::string friend_name, sender;
    std::bitset<kStyleCount> flags;
  };
  std::vector<Pair> pairs;
  std::array<int, kStyleCount> times{};
  for (const char* a : kFirst)
    for (const char* b : kSecond) {
      pairs.push_back({a, b, ChosenStyles(a, b)});
      for (int k = 0; k < kStyleCount; ++k) times[k] += pairs.back().flags[k];
    }
  ASSERT_EQ(pairs.size(), 300u);
  for (int k = 0; k < kStyleCount; ++k) EXPECT_GT(times[k], 0) << "style " << k + 1 << " never chosen";

  // A few pairs that between them choose every style: make those cards for real.
  std::bitset<kStyleCount> covered;
  while (!covered.all()) {
    const Pair* best = nullptr;
    for (const Pair& p : pairs)
      if (!best || (p.flags & ~covered).count() > (best->flags & ~covered).count()) best = &p;
    ASSERT_GT((best->flags & ~covered).count(), 0u);
    covered |= best->flags;
    testing::Fixture f;
    SetNamesAndSeed(*f, best->friend_name, best->sender);
    DrawPaletteStrip(*f);
    MakeCard(*f);
    for (int k = 0; k < kStyleCount; ++k) EXPECT_EQ(f->stats.flags[k] == 1, best->flags[k]);
    EXPECT_EQ(f->Picture4.pixel_width(), 896);
    EXPECT_EQ(f->i, 896);  // the greeting was written to its end
  }
}

}  // namespace
}  // namespace mirelune
