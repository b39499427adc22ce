// extruded_letters.cpp — style 8: two huge capitals, each printed twenty times one
// unit down-right of the last, so the copies form a shaded side behind the front.
#include "styles/common.h"
#include "text/text.h"

namespace mirelune {

void DrawExtrudedLetters(StyleContext& c) {
  Surface& canvas = c.canvas;
  for (int letter_number = 1; letter_number <= 2; ++letter_number) {
    canvas.typeface = Typeface::kSerif;
    canvas.font_points = 250;
    // Up to 100 units above and left of the canvas, so letters may be cut at any edge.
    const double x = Floor(c.rng.Uniform() * c.width - 100);
    const double y = Floor(c.rng.Uniform() * c.height - 100);
    double row = Floor(c.rng.Uniform() * 500 + 1);
    // Codes 65..91: rounding lets the top draws reach '['.
    const char letter = static_cast<char>(RoundEven(c.rng.Uniform() * 26 + 65));
    for (double k = 1; k <= 20; k += 1) {
      row += 2;
      if (row > 670) row = 670;
      canvas.pen_colour = c.strip.ColourAt(10, row);
      // Printing moves the cursor, so every copy sets its own place.
      canvas.cursor_x = x + k;
      canvas.cursor_y = y + k;
      PrintText(c.fonts, canvas, std::string_view(&letter, 1));
    }
  }
}

}  // namespace mirelune
