// palette_chooser.cpp — every palette of the table as a row of swatches on the
// card, then a palette number asked for and made the colour mode.
#include <cctype>
#include <optional>
#include <string>

#include "palette/palette.h"
#include "palette/palette_table.h"
#include "text/text.h"

namespace mirelune {
namespace {

constexpr int kHighestPalette = kPaletteCount;

}  // namespace

std::optional<int> PaletteNumber(const std::string& answer) {
  std::size_t k = 0, end = answer.size();
  while (k < end && answer[k] == ' ') ++k;
  while (end > k && answer[end - 1] == ' ') --end;
  if (k == end) return std::nullopt;
  int value = 0;
  bool digits = false;
  for (; k < end && std::isdigit(static_cast<unsigned char>(answer[k])); ++k) {
    digits = true;
    value = value * 10 + (answer[k] - '0');
    if (value > kHighestPalette) return std::nullopt;
  }
  if (!digits) return std::nullopt;
  if (k < end && answer[k] == '.') {
    // "5.0" is five; "26.4" is above 26.
    for (++k; k < end; ++k)
      if (answer[k] != '0') return std::nullopt;
  }
  if (k != end) return std::nullopt;
  return value;
}

// Row k (palette k, 1..30) at y = 5 + 22 (k - 1): its number, then its ten
// colours as swatches ten lines wide from x = 31.
void DrawPaletteSwatches(Surface& card, Fonts& fonts) {
  card.Clear();
  card.font_points = 10;
  int palette = 0;
  for (double y = 5; y <= 650; y += 22) {
    double x = 30;
    palette += 1;
    card.cursor_x = 10;
    card.cursor_y = y;
    PrintText(fonts, card, NumberText(palette));
    for (int colour = 1; colour <= kPaletteColours; ++colour) {
      const PaletteRgb rgb = PaletteColour(palette, colour);
      const Colour c = RGB(rgb.red, rgb.green, rgb.blue);
      for (int line = 0; line < 10; ++line) {
        x += 1;
        card.Line(x, y - 2, x, y + 18, c);
      }
    }
  }
}

}  // namespace mirelune
