// The palette chooser; the table and the strip's pixels are pinned by the golden digests.
#include <gtest/gtest.h>

#include "commands/commands.h"
#include "palette/palette.h"
#include "palette/palette_table.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::Fixture;

// 0 leaves, 1..26 are taken, anything else is asked for again; a script that
// runs out fails at once instead of answering Cancel for ever. The colour button
// shows a palette as typed; 0 leaves its caption (nothing here) as it was.
TEST(PaletteChooser, TakesZeroToTwentySixAndAsksAgainForAnythingElse) {
  const struct { std::vector<std::string> answers; double mode; const char* caption; } cases[] = {
      {{"0"}, 0, ""},              {{"1"}, 1, "ba=1"},       {{"26"}, 26, "ba=26"},
      {{"27", "25"}, 25, "ba=25"}, {{"-1", "0"}, 0, ""},     {{"abc", "", "26.4", "1e1", "0x1A", "5x", "7"}, 7, "ba=7"},
      {{" 7 "}, 7, "ba= 7 "},      {{"5.0"}, 5, "ba=5.0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answers.front());
    Fixture f;
    StartUp(*f);
    for (int k = 0; k < 3; ++k) CommandColor(*f);
    const Image strip = f->strip.Snapshot();
    f.host.answers.assign(c.answers.begin(), c.answers.end());
    const std::uint64_t before = f->rng.draws();
    const std::string caption = CommandPalette(*f).value_or("");
    EXPECT_EQ(std::pair(f->settings.colour_mode, caption), std::pair(c.mode, std::string(c.caption)));
    ASSERT_EQ(f.host.asked.size(), c.answers.size());
    const auto& asked = f.host.asked[0];
    EXPECT_EQ(asked.prompt + "|" + asked.title, "vnesi \xC5\xA1tevilko palete\r0 za izhod|IZBOR PALETE");
    EXPECT_EQ(std::pair(asked.x, asked.y), std::pair(300, 333));
    // The swatches draw nothing random; a strip in the chosen palette draws 400.
    EXPECT_EQ(f->rng.draws() - before, c.mode != 0 ? 400u : 0u);
    EXPECT_EQ(f->strip.image() == strip, c.mode == 0);
  }
  Fixture f;
  f.host.answers = {"27"};
  EXPECT_THROW(CommandPalette(*f), ScriptExhausted);
}

TEST(PaletteChooser, ShowsEveryPaletteAsARowOfSwatches) {
  Fixture f;
  StartUp(*f);
  const Colour back = 0x123456;
  f->card.SetBackground(back);
  f->card.Plot(600, 300, 0xFF);
  f.host.answers = {"0"};
  CommandPalette(*f);
  const Surface& card = f->card;
  // Row k at j = 5 + 22 (k - 1); colour c covers x = 31 + 10 (c - 1) .. 40 + 10 (c - 1), j - 2 .. j + 18.
  for (int row : {1, 3, 26}) {
    const double j = 5 + 22 * (row - 1);
    for (int c = 1; c <= 10; ++c) {
      const PaletteRgb rgb = PaletteColour(row, c);
      const Colour want = RGB(rgb.red, rgb.green, rgb.blue);
      for (double x : {31.0 + 10 * (c - 1), 40.0 + 10 * (c - 1)})
        for (double y : {j - 2, j + 18}) EXPECT_EQ(card.ColourAt(x, y), want) << row << "/" << c << " at " << x << "," << y;
    }
    EXPECT_EQ(card.ColourAt(30, j + 8), back);
  }
  // Rows 27 to 30 are empty palettes (black), row 30 is the last, and the card was cleared first.
  EXPECT_EQ(std::vector({card.ColourAt(80, 643 + 8), card.ColourAt(80, 665 + 8), card.ColourAt(131, 57), card.ColourAt(600, 300)}),
            std::vector<Colour>({0, back, back, back}));
  int number_pixels = 0;  // the numbers stand left of the swatches
  for (double x = 10; x < 30; ++x)
    for (double y = 5; y < 20; ++y) number_pixels += card.ColourAt(x, y) != back;
  EXPECT_GT(number_pixels, 5);
}

}  // namespace
}  // namespace mirelune
