// text.h — text on a surface through FreeType, from font files pinned by path,
// with the faces of a Fonts value (text/fonts.h) that the caller owns.
//
//   Fonts fonts(FontFolder());
//   TextMetrics m = DrawText(fonts, surface, Typeface::kSerif, 250, px, py, "A", colour);
//   PrintText(fonts, surface, "dear Mary");   // at the cursor, in its typeface and colour
//
// (px, py) is the top-left corner of the text cell in pixels: the baseline lies
// one ascender below it. One point is 96/72 pixels. Glyphs are anti-aliased and
// blended in integer arithmetic, so the result is the same on every run.
//
// Any UTF-8 text: right-to-left runs are laid out in visual order inside a
// left-to-right line and shaped with HarfBuzz, so Arabic letters join. Control
// characters are not drawn. Text made only of Windows-1252 characters that the
// typeface holds keeps the plain one-face placement (FreeType advances and
// kerning), so such text looks the same as it always has.
//
// The faces that drew and whatever went wrong go to the value's record
// (Fonts::TakeRecord), which the card takes when it is done.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "raster/surface.h"
#include "text/fonts.h"

namespace mirelune {

struct TextMetrics {
  long width = 0;        // advance of the whole text, pixels
  long line_height = 0;  // distance to the next line, pixels
};

// The text laid out at `points` with its top-left at pixel (px, py); `scale`
// times larger (glyphs, places and metrics) on a surface drawn larger.
TextMetrics DrawText(Fonts& fonts, Surface& s, Typeface face, double points, long px, long py,
                     std::string_view utf8_text, std::uint32_t colour, int scale = 1);

// The width and line height DrawText would give, without drawing.
TextMetrics MeasureText(Fonts& fonts, Typeface face, double points, std::string_view utf8_text);

// Writes the text at the surface's cursor in its typeface, size and pen colour,
// then moves the cursor to the start of the next line.
void PrintText(Fonts& fonts, Surface& s, std::string_view utf8_text);

// One glyph of a laid-out line, left to right.
struct PlacedGlyph {
  unsigned glyph = 0;      // glyph id in its face; 0 is the face's missing-glyph box
  std::size_t cluster = 0;  // index of the (first) character it draws, in the decoded text
  long x = 0;              // left edge of its advance, pixels from the start of the line
  std::string font_file;
};

// The glyphs DrawText would draw, in visual order (nothing is recorded as drawn).
std::vector<PlacedGlyph> LayOutText(Fonts& fonts, Typeface face, double points, std::string_view utf8_text);

}  // namespace mirelune
