// The palette chooser; the table and the strip's pixels are pinned by the golden digests.
#include <gtest/gtest.h>

#include "commands/commands.h"
#include "palette/palette.h"
#include "palette/palette_table.h"
#include "test_util.h"

namespace mirelune {
namespace {

// 0 leaves, 1..26 are taken, anything else has no number and is asked for
// again. The colour button shows a palette as typed; 0 leaves its caption as it was.
TEST(PaletteChooser, TakesZeroToTwentySixAndNothingElse) {
  const struct { const char* answer; std::optional<int> number; } answers[] = {
      {"0", 0}, {"1", 1}, {"26", 26}, {"27", {}}, {"-1", {}}, {"abc", {}}, {"", {}}, {"26.4", {}}, {"1e1", {}},
      {"0x1A", {}}, {"5x", {}}, {" 7 ", 7}, {"5.0", 5}, {"00000000000000000000000003", 3}};
  for (const auto& a : answers) EXPECT_EQ(PaletteNumber(a.answer), a.number) << '"' << a.answer << '"';
  for (const auto& [number, caption] : {std::pair(0, ""), std::pair(7, "ba= 7 ")}) {
    Session s;
    for (int k = 0; k < 3; ++k) CommandColor(s);
    const Image strip = s.carry.strip.Snapshot();
    const std::uint64_t before = s.carry.rng.draws();
    EXPECT_EQ(CommandChoosePalette(s, number, " 7 ").value_or(""), caption);
    EXPECT_EQ(s.settings.colour_mode, number);
    // A strip in the chosen palette draws 400; 0 draws nothing and keeps the strip.
    EXPECT_EQ(s.carry.rng.draws() - before, number != 0 ? 400u : 0u);
    EXPECT_EQ(s.carry.strip.image() == strip, number == 0);
  }
}

TEST(PaletteChooser, ShowsEveryPaletteAsARowOfSwatches) {
  Surface card = NewCanvas();
  const Colour back = 0x123456;
  card.SetBackground(back);
  card.Plot(600, 300, 0xFF);
  Fonts fonts(FontFolder());
  DrawPaletteSwatches(card, fonts);
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
