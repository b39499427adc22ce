// text.h — text on a surface through FreeType, faces found by fontconfig.
//
//   TextMetrics m = DrawText(surface, "Times New Roman", 250, px, py, "A", colour);
//
// (px, py) is the top-left corner of the text cell in pixels: the baseline lies
// one ascender below it. One point is 96/72 pixels. Glyphs are anti-aliased and
// blended in integer arithmetic, so the result is the same on every run.
//
// Any UTF-8 text: a character the named face lacks is drawn from the first face of
// fontconfig's fallback list that has it (colour emoji scaled to the text size);
// right-to-left runs are laid out in visual order inside a left-to-right line and
// shaped with HarfBuzz, so Arabic letters join. Control characters are not drawn.
// Text made only of Windows-1252 characters that the named face holds keeps the
// plain one-face placement (FreeType advances and kerning), so such text looks the
// same as it always has.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mirelune {

class Surface;

struct TextMetrics {
  long width = 0;        // advance of the whole text, pixels
  long line_height = 0;  // distance to the next line, pixels
};

TextMetrics DrawText(Surface& s, const std::string& family, double points, long px, long py,
                     std::string_view utf8_text, std::uint32_t colour);

// Measures without drawing.
TextMetrics MeasureText(const std::string& family, double points, std::string_view utf8_text);

// One glyph of a laid-out line, left to right.
struct PlacedGlyph {
  unsigned glyph = 0;      // glyph id in its face; 0 is the face's missing-glyph box
  std::size_t cluster = 0;  // index of the (first) character it draws, in the decoded text
  long x = 0;              // left edge of its advance, pixels from the start of the line
  std::string font_file;
};

// The glyphs DrawText would draw, in visual order.
std::vector<PlacedGlyph> LayOutText(const std::string& family, double points, std::string_view utf8_text);

// The font file fontconfig picks for a family name ("" when none is found).
std::string FontFileFor(const std::string& family);

// Whether any installed font has a glyph for the character.
bool AnyFontHas(char32_t c);

// The Windows-1252 code of a character, or -1 when that code page cannot hold it.
int Windows1252Code(char32_t c);

// Decodes UTF-8; malformed bytes give U+FFFD. Returns false if any were malformed.
bool DecodeUtf8(std::string_view s, std::u32string* out);
std::string EncodeUtf8(char32_t c);

}  // namespace mirelune
