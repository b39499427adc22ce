// palette_chooser.cpp — every palette of the table as a row of swatches on the
// card, then a palette number asked for and made the colour mode.
#include <cctype>
#include <optional>
#include <string>

#include "palette/palette.h"
#include "text/text.h"

namespace mirelune {
namespace {

constexpr int kHighestPalette = 26;

// The answer as a palette number: digits, optionally with a fractional part of
// zeros and blanks around. Anything else (text, a sign, an empty answer, a
// Cancel) has no palette and is asked for again, and so is a number above 26.
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

void DrawSwatches(State& s) {
  Surface& card = s.card;
  card.Clear();
  s.n = 0;
  card.font_points = 10;
  for (s.j = 5; s.j <= 650; s.j += 22) {
    s.i = 30;
    s.n = s.n + 1;
    card.cursor_x = 10;
    card.cursor_y = s.j;
    PrintText(card, NumberText(s.n));
    const int palette = static_cast<int>(s.n);
    for (s.nn = 1; s.nn <= 10; s.nn += 1) {
      const int colour = static_cast<int>(s.nn);
      s.re = s.palette_table[palette][colour][1];
      s.gr = s.palette_table[palette][colour][2];
      s.bl = s.palette_table[palette][colour][3];
      const Colour c = RGB(s.re, s.gr, s.bl);
      for (int line = 0; line < 10; ++line) {
        s.i = s.i + 1;
        card.Line(s.i, s.j - 2, s.i, s.j + 18, c);
      }
    }
  }
}

}  // namespace

void ChoosePalette(State& s) {
  DrawSwatches(s);
  const std::string prompt = s.palette_prompt + "\r" + s.palette_exit_prompt;
  std::string answer;
  std::optional<int> number;
  do {
    answer = s.host ? s.host->InputBox(prompt, s.palette_prompt_title, 4500 / 15, 5000 / 15) : "0";
    number = PaletteNumber(answer);
  } while (!number);
  s.settings.colour_mode = *number;
  if (s.settings.colour_mode != 0) {
    s.colour_mode_caption = "ba=" + answer;
    DrawPaletteStrip(s);
  }
}

}  // namespace mirelune
