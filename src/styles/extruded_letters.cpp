// extruded_letters.cpp — style 8: two huge capitals, each printed twenty times one
// unit down-right of the last, so the copies form a shaded side behind the front.
#include "styles/styles.h"
#include "text/text.h"

namespace mirelune {

void DrawExtrudedLetters(State& s) {
  Surface& canvas = s.canvas;
  const Surface& strip = s.strip;

  for (s.nn = 1; s.nn <= 2; s.nn += 1) {
    canvas.typeface = Typeface::kSerif;
    canvas.font_points = 250;
    // Up to 100 units above and left of the canvas, so letters may be cut at any edge.
    s.i = Int(s.rng.Rnd() * s.settings.canvas_width - 100);
    s.j = Int(s.rng.Rnd() * s.settings.canvas_height - 100);
    double p = Int(s.rng.Rnd() * 500 + 1);
    // Codes 65..91: rounding lets the top draws reach '['.
    s.character = std::string(1, static_cast<char>(CInt(s.rng.Rnd() * 26 + 65)));
    for (double k = 1; k <= 20; k += 1) {
      p += 2;
      if (p > 670) p = 670;
      s.left.colour = strip.ColourAt(10, p);
      canvas.pen_colour = static_cast<Colour>(s.left.colour);
      // Print moves the cursor, so every copy sets its own place.
      canvas.cursor_x = s.i + k;
      canvas.cursor_y = s.j + k;
      PrintText(canvas, s.character);
    }
  }
}

}  // namespace mirelune
